#pragma once
// The background of every screen: a soft blue glow at the centre and 301 stars flying out of it while
// the field slowly turns; the turn rate wanders toward a new random target every seven seconds.
#include <cstdint>

constexpr int STAR_COUNT = 301;
extern int32_t starX[STAR_COUNT], starY[STAR_COUNT], starZ[STAR_COUNT];
extern float starSpin, starSpinTarget;
extern uint32_t spinStartMs;

void ResetStarField();               // start-up: spin 0.01, target 0, the timer set so the first UpdateStarSpin draws a target
void InitStarField();                // start-up: a random place for every star
void DrawBackground();               // every frame, first thing inside a transformed batch; leaves blend (5, 7)
void UpdateStarSpin(uint32_t now);   // attract and name-entry frames only, after the background
int RandomBetween(int min, int max); // min..max inclusive: max - RandomUpTo(max - min), 16-bit arithmetic
