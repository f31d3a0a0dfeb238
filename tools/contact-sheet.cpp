// contact-sheet OUT.png: every embedded sprite decoded as the game decodes it, drawn three times enlarged
// on a dark grey sheet for review, and below that once more at its own size on black, as in the game.
#include <cstdio>
#include <string>
#include <vector>

#include "assets/bitmap.h"
#include "assets/catalogue.h"
#include "tools/png.h"

namespace {

struct Sheet {
    int width, height;
    std::vector<uint32_t> pixels; // 0x00BBGGRR
    void Fill(int x0, int y0, int w, int h, uint32_t colour) {
        for (int y = y0; y < y0 + h && y < height; y++)
            for (int x = x0; x < x0 + w && x < width; x++) pixels[size_t(y) * width + x] = colour;
    }
    void Draw(const DecodedBitmap& b, int x0, int y0, int scale) {
        for (int y = 0; y < b.height * scale; y++)
            for (int x = 0; x < b.width * scale; x++)
                if (x0 + x < width && y0 + y < height)
                    pixels[size_t(y0 + y) * width + x0 + x] = b.pixels[size_t(y / scale) * b.width + x / scale];
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: contact-sheet OUT.png\n");
        return 2;
    }
    std::vector<DecodedBitmap> sprites;
    for (const int* ids : {TEXTURE_SPRITE_IDS, PLAIN_SPRITE_IDS}) {
        const size_t count = ids == TEXTURE_SPRITE_IDS ? std::size(TEXTURE_SPRITE_IDS) : std::size(PLAIN_SPRITE_IDS);
        for (size_t i = 0; i < count; i++) {
            if (ids[i] == SPRITE_PLANET_FIRST + 1 || ids[i] == SPRITE_PLANET_FIRST + 2) continue;
            const EmbeddedFile file = SpriteFile(ids[i]);
            DecodedBitmap bitmap;
            std::string error;
            if (!DecodeBitmap(file.data, file.size, bitmap, &error)) {
                std::fprintf(stderr, "contact-sheet: sprite %d: %s\n", ids[i], error.c_str());
                return 1;
            }
            sprites.push_back(bitmap);
        }
    }
    constexpr int WIDTH = 1800, GAP = 12, SCALE = 3;
    // Lay the sprites out in rows, enlarged, then once more at their own size.
    std::vector<int> xs, ys;
    int x = GAP, y = GAP, rowHeight = 0;
    auto place = [&](const DecodedBitmap& b, int scale) {
        if (x + b.width * scale + GAP > WIDTH) x = GAP, y += rowHeight + GAP, rowHeight = 0;
        xs.push_back(x), ys.push_back(y);
        x += b.width * scale + GAP;
        rowHeight = std::max(rowHeight, b.height * scale);
    };
    for (const DecodedBitmap& b : sprites) place(b, SCALE);
    const int blackTop = y + rowHeight + GAP;
    x = GAP, y = blackTop + GAP, rowHeight = 0;
    for (const DecodedBitmap& b : sprites) place(b, 1);
    Sheet sheet{WIDTH, y + rowHeight + GAP, {}};
    sheet.pixels.assign(size_t(sheet.width) * sheet.height, 0x2C2828);
    sheet.Fill(0, blackTop, sheet.width, sheet.height - blackTop, 0);
    for (size_t i = 0; i < sprites.size(); i++) sheet.Draw(sprites[i], xs[i], ys[i], SCALE);
    for (size_t i = 0; i < sprites.size(); i++) sheet.Draw(sprites[i], xs[sprites.size() + i], ys[sprites.size() + i], 1);
    return WritePng(argv[1], sheet.pixels.data(), sheet.width, sheet.height) ? 0 : 1;
}
