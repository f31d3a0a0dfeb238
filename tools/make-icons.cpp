// make-icons DIR SIZE...: the desktop icons, DIR/<SIZE>x<SIZE>/apps/vexed-drifts.png for each size (the
// freedesktop hicolor layout). make-icons --ico FILE SIZE...: the same pictures in one Windows icon file. Each is the player's ship from the embedded sprite, resampled with a
// Catmull-Rom filter (widened when shrinking, so that every source pixel counts), over the game's blue glow
// on a dark square. The build runs it, so the installed icons always show the art that the game carries.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "assets/bitmap.h"
#include "assets/catalogue.h"
#include "tools/png.h"

namespace {

struct Texel {
    float r, g, b, a; // colour premultiplied by coverage, each 0..1
};
struct Picture {
    int width, height;
    std::vector<Texel> texels; // row after row
};

// The sprite as the game shows it: black is the key colour, so it is transparent here.
bool LoadSprite(int id, Picture& out) {
    const EmbeddedFile file = SpriteFile(id);
    DecodedBitmap bitmap;
    std::string error;
    if (!DecodeBitmap(file.data, file.size, bitmap, &error)) {
        std::fprintf(stderr, "make-icons: sprite %d: %s\n", id, error.c_str());
        return false;
    }
    out = {bitmap.width, bitmap.height, {}};
    for (uint32_t c : bitmap.pixels)
        out.texels.push_back(c == 0 ? Texel{0, 0, 0, 0}
                                    : Texel{(c & 255) / 255.f, (c >> 8 & 255) / 255.f, (c >> 16 & 255) / 255.f, 1});
    return true;
}

float CatmullRom(float x) {
    x = std::fabs(x);
    if (x < 1) return (1.5f * x - 2.5f) * x * x + 1;
    if (x < 2) return ((-0.5f * x + 2.5f) * x - 4) * x + 2;
    return 0;
}

// One pass of the separable resampling: rows of from.width texels become rows of size texels, and the
// result comes out turned a quarter (x and y swapped), so that two passes scale both directions.
Picture ResizeRowsAndTurn(const Picture& from, int size) {
    const float scale = float(size) / float(from.width);
    const float widen = std::max(1.f, 1 / scale);
    Picture out{from.height, size, std::vector<Texel>(size_t(from.height) * size_t(size))};
    for (int x = 0; x < size; ++x) {
        const float centre = (float(x) + 0.5f) / scale - 0.5f;
        std::vector<std::pair<int, float>> taps;
        float total = 0;
        for (int s = int(std::floor(centre - 2 * widen)); s <= int(std::ceil(centre + 2 * widen)); ++s) {
            const float w = CatmullRom((float(s) - centre) / widen);
            if (s < 0 || s >= from.width || w == 0) continue;
            taps.push_back({s, w});
            total += w;
        }
        for (int y = 0; y < from.height; ++y) {
            Texel sum{0, 0, 0, 0};
            for (auto [s, w] : taps) {
                const Texel& t = from.texels[size_t(y) * size_t(from.width) + size_t(s)];
                sum = {sum.r + w * t.r, sum.g + w * t.g, sum.b + w * t.b, sum.a + w * t.a};
            }
            // The filter's negative lobes may overshoot: keep coverage in 0..1 and colour within coverage.
            const float a = std::clamp(sum.a / total, 0.f, 1.f);
            out.texels[size_t(x) * size_t(from.height) + size_t(y)] = {std::clamp(sum.r / total, 0.f, a),
                                                                       std::clamp(sum.g / total, 0.f, a),
                                                                       std::clamp(sum.b / total, 0.f, a), a};
        }
    }
    return out;
}

Picture Resize(const Picture& from, int size) { return ResizeRowsAndTurn(ResizeRowsAndTurn(from, size), size); }

uint32_t Pack(float r, float g, float b) {
    auto channel = [](float v) { return uint32_t(std::lround(std::clamp(v, 0.f, 1.f) * 255)); };
    return channel(r) | channel(g) << 8 | channel(b) << 16;
}

// The ship at seven eighths of the icon, centred, in front of the glow at full size on a dark gradient.
std::vector<uint32_t> DrawIcon(const Picture& ship, const Picture& glow, int size) {
    const int box = (size * 7 + 4) / 8, offset = (size - box) / 2;
    const Picture shipScaled = Resize(ship, box), glowScaled = Resize(glow, size);
    std::vector<uint32_t> pixels(size_t(size) * size_t(size));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float fall = float(y) / float(size - 1);
            const Texel& light = glowScaled.texels[size_t(y) * size_t(size) + size_t(x)];
            float r = 0.055f - 0.04f * fall + 0.6f * light.r, g = 0.07f - 0.05f * fall + 0.6f * light.g,
                  b = 0.16f - 0.11f * fall + 0.6f * light.b;
            const int sx = x - offset, sy = y - offset;
            if (sx >= 0 && sy >= 0 && sx < box && sy < box) {
                const Texel& t = shipScaled.texels[size_t(sy) * size_t(box) + size_t(sx)];
                r = t.r + r * (1 - t.a), g = t.g + g * (1 - t.a), b = t.b + b * (1 - t.a);
            }
            pixels[size_t(y) * size_t(size) + size_t(x)] = Pack(r, g, b);
        }
    return pixels;
}

} // namespace

int main(int argc, char** argv) {
    const bool ico = argc > 1 && std::string(argv[1]) == "--ico";
    const int first = ico ? 3 : 2;
    if (argc <= first) {
        std::fprintf(stderr, "usage: make-icons DIR SIZE... | make-icons --ico FILE SIZE...\n");
        return 2;
    }
    Picture ship, glow;
    if (!LoadSprite(SPRITE_PLAYER_SHIP, ship) || !LoadSprite(SPRITE_GLOW, glow)) return 1;
    std::vector<IconImage> images;
    for (int i = first; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 16 || size > (ico ? 256 : 1024)) {
            std::fprintf(stderr, "make-icons: size %s is not within 16..%d\n", argv[i], ico ? 256 : 1024);
            return 2;
        }
        const std::vector<uint32_t> pixels = DrawIcon(ship, glow, size);
        if (ico) {
            images.push_back({size, EncodePng(pixels.data(), size, size)});
            continue;
        }
        const std::string side = std::to_string(size);
        const std::filesystem::path dir = std::filesystem::path(argv[1]) / (side + "x" + side) / "apps";
        std::filesystem::create_directories(dir);
        const std::string file = (dir / "vexed-drifts.png").string();
        if (!WritePng(file, pixels.data(), size, size)) {
            std::fprintf(stderr, "make-icons: cannot write %s\n", file.c_str());
            return 1;
        }
    }
    if (ico) {
        std::ofstream out(argv[2], std::ios::binary);
        if (!(out << EncodeIco(images))) {
            std::fprintf(stderr, "make-icons: cannot write %s\n", argv[2]);
            return 1;
        }
    }
    return 0;
}
