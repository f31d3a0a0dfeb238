#pragma once
// The scene of bench_render's play frame, shared with wasm_play_frame (the same frame in WebAssembly).
// Sprites are made by hand in the shapes of the game's art, so the figures do not depend on it.
#include <cmath>

#include "assets/catalogue.h"
#include "platform/headless.h"
#include "platform/random.h"
#include "platform/sprites.h"
#include "platform/video.h"
#include "shell/background.h"

// A round soft blob of the given colour on the black key, like the glow, smoke and planet pictures.
inline void MakeBlob(int id, int side, int red, int green, int blue) {
    CreateBlankSprite(id, side, side, SPRITE_FLAG_TEXTURE);
    BeginPixelAccess(SpritePixelTarget(id));
    const double centre = (side - 1) / 2.0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const double fall = 1 - std::hypot(x - centre, y - centre) / (side / 2.0);
            const double k = fall > 0 ? fall : 0;
            WritePixel(x, y, MakeColour(int(red * k), int(green * k), int(blue * k)));
        }
    EndPixelAccess();
    CreateTransformedSprite(id, id);
}

inline void SetUpScene() {
    HeadlessReset();
    ShutdownSpriteSystem();
    InitTransformedSprites();
    MakeBlob(SPRITE_GLOW, 32, 60, 120, 255);
    MakeBlob(SPRITE_MISSILE, 32, 255, 220, 120);
    MakeBlob(SPRITE_SEEKER, 32, 200, 200, 200);
    MakeBlob(SPRITE_PLANET_FIRST, 128, 180, 90, 40);
    for (int i = 0; i < 10; ++i) MakeBlob(SPRITE_EXPLOSION_FIRST + i, 32, 255, 200 - 15 * i, 60);
    SetTransformedFilter(1);
    SeedRandom(1);
    ResetStarField();
    InitStarField();
}

inline void DrawPlayFrame(int frame) {
    ClearFrame(0);
    BeginTransformedBatch();
    DrawBackground();
    // 30 objects of 32 to 128 pixels, turning, with ordinary translucency.
    SetTransformedBlend(5, 6);
    for (int i = 0; i < 30; ++i) {
        const int id = i % 3 == 0 ? SPRITE_SEEKER : SPRITE_PLANET_FIRST, size = 32 + i * 96 / 29;
        SetTransformedSize(id, size, size);
        RotateTransformedSprite(id, float(frame + 12 * i), 0);
        DrawTransformedSprite(id, (i * 137) % 700, (i * 91) % 500);
    }
    // 60 missiles, additive light weighted by alpha.
    SetTransformedBlend(5, 7);
    for (int i = 0; i < 60; ++i) {
        RotateTransformedSprite(SPRITE_MISSILE, float(6 * i), 0);
        DrawTransformedSpriteAlpha(SPRITE_MISSILE, (i * 53) % 770, (i * 71) % 570, 255);
    }
    // 300 particles in pure additive light: per missile a 64-pixel flash turned half a turn, and trail
    // glows; then explosions.
    SetTransformedBlend(7, 7);
    for (int i = 0; i < 300; ++i) {
        int id = SPRITE_GLOW, size = 28 - 4 * (i % 8);
        if (i < 60) size = -64;
        if (i >= 240) id = SPRITE_EXPLOSION_FIRST + i % 10, size = 40;
        SetTransformedSize(id, size, size);
        RotateTransformedSprite(id, float(i + frame), 0);
        DrawTransformedSpriteAlpha(id, (i * 29) % 780, (i * 43) % 580, 255);
    }
    EndTransformedBatch();
}
