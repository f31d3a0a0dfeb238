#pragma once
// The objects of a round in one list: seekers and planets (hostile) and the five pick-ups, set up from
// the round tables, released over the round's time, homing in on the ship, growing and rebounding.
#include "gameplay/lists.h"
#include <cstdint>

constexpr int KIND_HOSTILE = 0, KIND_SPEED = 1, KIND_POINTS = 2, KIND_AIMED_FIRE = 3, KIND_AUTO_FIRE = 4,
              KIND_EXTRA_SHIP = 5;

struct SpaceObject {
    int32_t sprite;             // transformed sprite drawn this frame
    int32_t aims;               // 1: turned towards the ship every frame
    float x, y;                 // top-left corner of the drawn square
    float vx, vy;               // pixels per frame
    float size;
    int32_t half;               // collision radius; the centre is (x + half, y + half)
    float accelMin, accelMax;   // homing acceleration range, 1/10000 pixel per frame per frame
    int32_t inside;             // has been wholly on screen: rebounds off the edges from then on
    int32_t targetSize;         // growing stops here; 0 for objects that never grow
    float growth;
    int32_t growing;            // a growing planet cannot touch the ship
    int32_t strength, hits;
    int32_t kind;               // KIND_*
    int32_t appearMs;           // round time after which the object takes part
    float frame, frameStep;     // animation position, its step (0 stops it)
    int32_t loopFrame, endFrame, loops;
};
extern GameList<SpaceObject> objectList;

void SetUpRound(int round);              // tints the round's sprites and appends its table; counts targetsLeft
void AddObject(int type, int appearMs);  // type 0 a seeker, 1..5 a pick-up of that kind; others add nothing
void MakeTintedSprite(int source, int target, int mask, int red, int green, int blue); // (re)makes target and its twin
void TintRoundSprites(int red, int green, int blue); // sprites 849..853 and 860..864
float AimAngle(float targetX, float targetY, float objectX, float objectY); // degrees for turning towards the target
void RunObjectsPass(uint32_t now);       // step 8 of a play frame, with the ship's touch test
