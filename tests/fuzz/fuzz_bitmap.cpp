// The bitmap loader: the pure decoder, then the platform's loader over it, whose sprite must have the
// decoder's size and must draw (opaque and keyed, half off the screen) without touching outside memory.
#include <cstdlib>

#include "assets/bitmap.h"
#include "platform/sprites.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodedBitmap bitmap;
    std::string error;
    const bool decoded = DecodeBitmap(data, size, bitmap, &error);
    if (decoded && (bitmap.width <= 0 || bitmap.height <= 0 ||
                    bitmap.pixels.size() != size_t(bitmap.width) * size_t(bitmap.height)))
        std::abort();
    if (!decoded && (!bitmap.pixels.empty() || error.empty())) std::abort();

    constexpr int ID = 100;
    if (LoadSpriteFromMemory(ID, data, size, SPRITE_FLAG_TEXTURE)) {
        if (!decoded || GetSpriteWidth(ID) != bitmap.width || GetSpriteHeight(ID) != bitmap.height) std::abort();
        DrawSprite(ID, -bitmap.width / 2, 600 - bitmap.height / 2);
        DrawSpriteKeyed(ID, 800 - bitmap.width / 2, -bitmap.height / 2);
    }
    ReleaseSprite(ID);
    return 0;
}
