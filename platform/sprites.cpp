// Sprites: the registry, 2D drawing onto the draw target, tinting, pixel access and the back buffer.
#include "platform/sprites.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "assets/bitmap.h"
#include "platform/sprites_internal.h"
#include "platform/video.h"

namespace {
// Ids are table indices; a bound keeps a wild id from growing the table without limit.
constexpr int MAX_SPRITE_ID = 65535;
// The size fields are 16-bit; a bound on the pixel count keeps a wild size from exhausting memory.
constexpr int MAX_SPRITE_SIDE = 32767;
constexpr int64_t MAX_SPRITE_PIXELS = int64_t(1) << 24;

std::vector<SpriteRecord> sprites;
uint32_t defaultKeyColour = 0;

std::shared_ptr<SpritePicture> MakeBackBuffer() {
    auto screen = std::make_shared<SpritePicture>();
    screen->width = SCREEN_WIDTH;
    screen->height = SCREEN_HEIGHT;
    screen->pixels.assign(size_t(SCREEN_WIDTH) * SCREEN_HEIGHT, 0);
    return screen;
}
const std::shared_ptr<SpritePicture> backBuffer = MakeBackBuffer();
std::shared_ptr<SpritePicture> drawTarget = backBuffer;
std::shared_ptr<SpritePicture> accessPicture;  // the picture under pixel access, null while none is open

SpriteRecord* Find(int id) {
    if (id < 0 || id >= int(sprites.size()) || !sprites[size_t(id)].picture) return nullptr;
    return &sprites[size_t(id)];
}

// A fresh record under id (the old sprite released first); null for an id out of range or a bad size.
SpriteRecord* MakeSprite(int id, int width, int height, int flags) {
    if (id < 0 || id > MAX_SPRITE_ID) return nullptr;
    ReleaseSprite(id);
    if (width <= 0 || height <= 0 || width > MAX_SPRITE_SIDE || height > MAX_SPRITE_SIDE ||
        int64_t(width) * height > MAX_SPRITE_PIXELS)
        return nullptr;
    if (id >= int(sprites.size())) sprites.resize(size_t(id) + 1);
    SpriteRecord& sprite = sprites[size_t(id)];
    sprite.picture = std::make_shared<SpritePicture>();
    sprite.picture->width = width;
    sprite.picture->height = height;
    sprite.picture->keyColour = defaultKeyColour;
    sprite.picture->pixels.assign(size_t(width) * height, 0);
    sprite.clipX = 0;
    sprite.clipY = 0;
    sprite.clipWidth = width;
    sprite.clipHeight = height;
    sprite.flags = flags;
    return &sprite;
}

// The 2D copy of the sprite's clip rectangle with its top-left corner at (x, y) of the draw target.
void CopySprite(int id, int x, int y, bool keyed) {
    const SpriteRecord* sprite = Find(id);
    if (!sprite) return;
    const SpritePicture& source = *sprite->picture;
    SpritePicture& target = *drawTarget;
    int cx = sprite->clipX, cy = sprite->clipY, cw = sprite->clipWidth, ch = sprite->clipHeight;
    // A clip rectangle that leaves the picture is refused as a whole, as the blit it stands for would be.
    if (cx < 0 || cy < 0 || cw <= 0 || ch <= 0 || cx + cw > source.width || cy + ch > source.height) return;
    if (x >= target.width || y >= target.height || x <= -cw || y <= -ch) return;
    int w = std::min(cw, target.width - x), h = std::min(ch, target.height - y);
    int sx = 0, sy = 0;
    if (x < 0) sx = -x, x = 0;
    if (y < 0) sy = -y, y = 0;
    const uint32_t key = source.keyColour;
    for (int row = sy; row < h; ++row) {
        const uint32_t* from = &source.pixels[size_t(cy + row) * size_t(source.width) + size_t(cx + sx)];
        uint32_t* to = &target.pixels[size_t(y + row - sy) * size_t(target.width) + size_t(x)];
        if (!keyed) {
            std::memmove(to, from, size_t(w - sx) * sizeof(uint32_t));
            continue;
        }
        for (int i = 0; i < w - sx; ++i)
            if (from[i] != key) to[i] = from[i];
    }
    ++target.version;
}
}  // namespace

const SpriteRecord* FindSprite(int id) { return Find(id); }

int LoadSpriteFromMemory(int id, const uint8_t* data, size_t length, int flags) {
    ReleaseSprite(id);
    DecodedBitmap bitmap;
    if (!data || !DecodeBitmap(data, length, bitmap, nullptr)) return 0;
    SpriteRecord* sprite = MakeSprite(id, bitmap.width, bitmap.height, flags);
    if (!sprite) return 0;
    sprite->picture->pixels = std::move(bitmap.pixels);
    return 1;
}

int CreateBlankSprite(int id, int width, int height, int flags) {
    return MakeSprite(id, width, height, flags) ? 1 : 0;
}

int SpriteExists(int id) { return Find(id) ? 1 : 0; }

void ReleaseSprite(int id) {
    if (SpriteRecord* sprite = Find(id)) *sprite = SpriteRecord{};
}

int GetSpriteWidth(int id) {
    const SpriteRecord* sprite = Find(id);
    return sprite ? sprite->clipWidth : 0;
}

int GetSpriteHeight(int id) {
    const SpriteRecord* sprite = Find(id);
    return sprite ? sprite->clipHeight : 0;
}

void SetSpriteClip(int id, int x, int y, int width, int height) {
    SpriteRecord* sprite = Find(id);
    if (!sprite) return;
    const int fullWidth = sprite->picture->width, fullHeight = sprite->picture->height;
    if (x == -1 && y == -1 && width == -1 && height == -1) {
        x = 0, y = 0, width = fullWidth, height = fullHeight;
    } else {
        if (int64_t(x) + width > fullWidth) width = fullWidth - x;
        if (int64_t(y) + height > fullHeight) height = fullHeight - y;
    }
    sprite->clipX = x;
    sprite->clipY = y;
    sprite->clipWidth = width;
    sprite->clipHeight = height;
}

void SetSpriteKeyColour(int id, uint32_t colour) {
    if (id == -1) {
        defaultKeyColour = colour;
    } else if (SpriteRecord* sprite = Find(id)) {
        sprite->picture->keyColour = colour;
        ++sprite->picture->version;
    }
}

void SetDrawTarget(int id) {
    if (id == -1) {
        drawTarget = backBuffer;
    } else if (const SpriteRecord* sprite = Find(id)) {
        drawTarget = sprite->picture;
    }
}

void DrawSprite(int id, int x, int y) { CopySprite(id, x, y, false); }

void DrawSpriteKeyed(int id, int x, int y) { CopySprite(id, x, y, true); }

void ClearFrame(uint32_t colour) {
    std::vector<uint32_t>& pixels = drawTarget->pixels;
    if (colour == (colour & 0xFFu) * 0x01010101u)  // one byte over and over (black, mostly): the C library's fill is faster
        std::memset(pixels.data(), int(colour & 0xFFu), pixels.size() * sizeof(uint32_t));
    else
        std::fill(pixels.begin(), pixels.end(), colour);
    ++drawTarget->version;
}

void TintRectangle(int x, int y, int width, int height, int red, int green, int blue) {
    SpritePicture& target = *drawTarget;
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = int(std::min<int64_t>(int64_t(x) + width, target.width));
    const int y1 = int(std::min<int64_t>(int64_t(y) + height, target.height));
    // Amounts outside 0..255 are taken at the nearest end: a tint only ever adds light.
    const int add[3] = {std::clamp(red, 0, 255), std::clamp(green, 0, 255), std::clamp(blue, 0, 255)};
    for (int row = y0; row < y1; ++row) {
        uint32_t* pixel = &target.pixels[size_t(row) * size_t(target.width)];
        for (int column = x0; column < x1; ++column) {
            uint32_t result = 0;
            for (int channel = 0; channel < 3; ++channel) {
                const int value = int((pixel[column] >> (8 * channel)) & 0xFF) + add[channel];
                result |= uint32_t(std::min(value, 255)) << (8 * channel);
            }
            pixel[column] = result;
        }
    }
    ++target.version;
}

// A handle is the sprite id + 2, so that every id from -1 (the back buffer) up gives a non-zero handle.
int SpritePixelTarget(int id) {
    if (accessPicture || (id != -1 && !Find(id))) return 0;
    return id + 2;
}

int BeginPixelAccess(int handle) {
    if (accessPicture) return 0;
    const int id = handle - 2;
    if (id == -1) {
        accessPicture = backBuffer;
    } else if (const SpriteRecord* sprite = Find(id)) {
        accessPicture = sprite->picture;
    }
    return accessPicture ? 1 : 0;
}

uint32_t ReadPixel(int x, int y) {
    const SpritePicture* picture = accessPicture.get();
    if (!picture || x < 0 || y < 0 || x >= picture->width || y >= picture->height) return 0;
    return picture->pixels[size_t(y) * size_t(picture->width) + size_t(x)];
}

void WritePixel(int x, int y, uint32_t colour) {
    SpritePicture* picture = accessPicture.get();
    if (!picture || x < 0 || y < 0 || x >= picture->width || y >= picture->height) return;
    picture->pixels[size_t(y) * size_t(picture->width) + size_t(x)] = colour;
    ++picture->version;
}

void EndPixelAccess() { accessPicture.reset(); }

void ShutdownSpriteSystem() {
    sprites.clear();
    drawTarget = backBuffer;
    accessPicture.reset();
}

uint32_t* BackBufferPixels() { return backBuffer->pixels.data(); }
