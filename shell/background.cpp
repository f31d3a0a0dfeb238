// The background scene: the central glow and the turning star field.
#include "shell/background.h"

#include <cmath>

#include "assets/catalogue.h"
#include "platform/random.h"
#include "platform/sprites.h"
#include "platform/timing.h"

int32_t starX[STAR_COUNT], starY[STAR_COUNT], starZ[STAR_COUNT];
float starSpin, starSpinTarget;
uint32_t spinStartMs;

namespace {
constexpr float APPROACH_SPEED = 1.2f;
constexpr int CENTRE_X = 400, CENTRE_Y = 300;
constexpr int32_t SPIN_PERIOD_MS = 7000;  // a new target spin after more than this

// Whole pixels from floats round to nearest, halves to even (the default rounding mode).
int32_t Round(float value) { return int32_t(std::lrint(value)); }
}  // namespace

void ResetStarField() {
    starSpin = 0.01f;
    starSpinTarget = 0;
    // Our clock counts from start-up, not from boot, so a timer start of 0 would hold the first target
    // back for seven seconds; one period and a millisecond ago lets the first call draw it at once.
    spinStartMs = NowMilliseconds() - SPIN_PERIOD_MS - 1;
}

void InitStarField() {
    for (int i = 0; i < STAR_COUNT; ++i) {
        starX[i] = RandomBetween(-400, 400) * 64;
        starY[i] = RandomBetween(-300, 300) * 64;
        starZ[i] = RandomBetween(2, 255);
    }
}

void DrawBackground() {
    const float c = std::cos(starSpin), s = std::sin(starSpin);
    SetTransformedBlend(5, 6);
    RotateTransformedSprite(SPRITE_GLOW, 0, 0);
    SetTransformedSize(SPRITE_GLOW, 256, 256);
    DrawTransformedSpriteAlpha(SPRITE_GLOW, 272, 172, 150);
    SetTransformedBlend(5, 7);
    for (int i = 0; i < STAR_COUNT; ++i) {
        starZ[i] = Round(float(starZ[i]) - APPROACH_SPEED);
        const float x0 = float(starX[i]), y0 = float(starY[i]);
        starY[i] = Round(y0 * c - x0 * s);
        starX[i] = Round(x0 * c + y0 * s);
        if (starZ[i] <= 2) starZ[i] = 255;  // starts again far away, near the centre
        const int sx = starX[i] / starZ[i] + CENTRE_X, sy = starY[i] / starZ[i] + CENTRE_Y;
        const int b = 255 - starZ[i];
        const int size = Round(float(b) / 30 + 4);
        SetTransformedSize(SPRITE_GLOW, size, size);
        DrawTransformedSpriteAlpha(SPRITE_GLOW, sx, sy, b);
    }
}

void UpdateStarSpin(uint32_t now) {
    if (int32_t(now - spinStartMs) > SPIN_PERIOD_MS) {
        spinStartMs = NowMilliseconds();
        starSpinTarget = float(int(RandomUpTo(700)) - 350) / 10000;
    }
    if (starSpinTarget < starSpin) starSpin -= 0.001f;
    if (starSpin < starSpinTarget) starSpin += 0.001f;
}

int RandomBetween(int min, int max) {
    return int16_t(max - int(RandomUpTo(uint32_t(uint16_t(max - min)))));
}
