#include "gameplay/objects.h"
#include "assets/catalogue.h"
#include "gameplay/collisions.h"
#include "gameplay/game.h"
#include "gameplay/play.h"
#include "platform/random.h"
#include "platform/sprites.h"
#include <cmath>
#include <utility>
#include <vector>

GameList<SpaceObject> objectList;

namespace {

// A run of growing planets: the i-th of count (i from 1) appears at firstAppearMs + appearStepMs x i.
struct PlanetRun {
    int32_t targetSize;
    float growth;
    int32_t strength, firstAppearMs, appearStepMs, count;
};

struct RoundTable {
    int red, green, blue;
    std::vector<std::pair<int, int>> objects; // AddObject (type, appearMs), in order
    std::vector<PlanetRun> planets;
    bool giantPlanet;                         // a full-size planet from beyond the right edge, after the others
};

const RoundTable roundTables[5] = {
    {0, 0, 255, {{0, 170}, {1, 200}, {1, 220}, {2, 250}, {3, 200}, {4, 300}, {4, 340}}, {{64, 0.2f, 10, 0, 2000, 4}}, false},
    {0, 50, 155, {{0, 3170}, {1, 3200}, {2, 3250}, {3, 3200}, {4, 3340}, {2, 3380}}, {{96, 0.25f, 20, 3000, 4000, 3}}, false},
    {100, 50, 0, {{0, 3170}, {1, 3200}, {3, 3200}, {4, 3340}, {5, 3220}},
     {{64, 0.25f, 15, 4500, 0, 1}, {64, 0.25f, 30, 3000, 4000, 2}}, true},
    {200, 0, 0, {{0, 3170}, {1, 3200}, {2, 3380}, {2, 3400}, {4, 3340}},
     {{64, 0.25f, 15, 3300, 0, 1}, {96, 0.25f, 30, 5000, 4000, 4}}, false},
    {10, 50, 0, {{0, 3170}, {1, 3200}, {2, 3380}, {2, 3400}, {4, 3340}, {5, 3400}, {5, 3000}, {0, 6170}, {0, 10000}},
     {{64, 0.25f, 15, 3300, 0, 1}, {96, 0.25f, 30, 5000, 4000, 4}}, false},
};

SpaceObject& AddPlanet(float x, float y, int32_t appearMs) {
    SpaceObject& planet = *ListAdd(objectList);
    planet.sprite = SPRITE_PLANET_TINTED_FIRST;
    planet.x = x;
    planet.y = y;
    planet.accelMin = 100.0f;
    planet.accelMax = 2000.0f;
    planet.appearMs = appearMs;
    planet.frame = float(SPRITE_PLANET_WHITE);
    planet.loopFrame = SPRITE_PLANET_WHITE;
    planet.endFrame = SPRITE_PLANET_TINTED_FIRST + 1;
    planet.kind = KIND_HOSTILE;
    ++roundState.targetsLeft;
    return planet;
}

void AddGrowingPlanet(int32_t targetSize, float growth, int32_t strength, int32_t appearMs) {
    float x = float(RandomUpTo(800));
    float y = float(RandomUpTo(550));
    SpaceObject& planet = AddPlanet(x, y, appearMs);
    planet.size = 10.0f;
    planet.half = 5;
    planet.targetSize = targetSize;
    planet.growth = growth;
    planet.growing = 1;
    planet.strength = strength;
}

// Ship's corner against the object's rounded corner; objects overshoot and swing back.
float HomeIn(float velocity, float position, int32_t ship, float accel) {
    int32_t rounded = RoundToInt(position);
    if (ship < rounded) velocity -= accel;
    if (rounded < ship) velocity += accel;
    return velocity;
}

void Move(SpaceObject& o) {
    float accel = (float(RandomUpTo(uint32_t(RoundToInt(o.accelMax - o.accelMin)))) + o.accelMin) / 10000.0f;
    o.vx = HomeIn(o.vx, o.x, game.shipX, accel);
    o.vy = HomeIn(o.vy, o.y, game.shipY, accel);
    o.x += o.vx;
    o.y += o.vy;
    if (o.growing) {
        if (o.size < float(o.targetSize)) o.size += o.growth;
        o.half = RoundToInt(o.size / 2.0f);
        if (o.size >= float(o.targetSize)) o.growing = 0;
    }
    if (o.inside) {
        // A rebound takes away the speed on that axis but a slow drift away from the edge.
        if (o.x < 0.0f) { o.x = 0.0f; o.vx = 0.1f; }
        if (o.y < 0.0f) { o.y = 0.0f; o.vy = 0.1f; }
        if (o.x > 800.0f - o.size) { o.x = 800.0f - o.size; o.vx = -0.1f; }
        if (o.y > 600.0f - o.size) { o.y = 600.0f - o.size; o.vy = -0.1f; }
    } else if (o.x > 0.0f && o.y > 0.0f && o.x < 800.0f - o.size && o.y < 600.0f - o.size) {
        o.inside = 1;
    }
}

void AnimateAndDraw(SpaceObject& o) {
    if (o.aims)
        RotateTransformedSprite(o.sprite, AimAngle(float(game.shipX + 24), float(game.shipY + 32), o.x, o.y) - 90.0f, 0);
    if (o.frameStep != 0.0f) {
        o.frame += o.frameStep;
        if (o.frame > float(o.endFrame)) {
            if (o.loops == 0) {
                o.frameStep = 0.0f;
                o.sprite = o.endFrame;
            } else {
                o.frame = float(o.loopFrame);
            }
        }
        o.sprite = int32_t(o.frame);
    }
    SetTransformedBlend(5, 7);
    SetTransformedSize(o.sprite, RoundToInt(o.size), RoundToInt(o.size));
    DrawTransformedSprite(o.sprite, RoundToInt(o.x), RoundToInt(o.y));
}

} // namespace

void MakeTintedSprite(int source, int target, int mask, int red, int green, int blue) {
    int width = GetSpriteWidth(source), height = GetSpriteHeight(source);
    if (SpriteExists(target)) {
        ReleaseSprite(target);
        ReleaseTransformedSprite(target);
    }
    CreateBlankSprite(target, width, height, SPRITE_FLAG_TEXTURE);
    CreateTransformedSprite(target, target);
    SetDrawTarget(target);
    DrawSprite(source, 0, 0);
    TintRectangle(0, 0, width, height, red, green, blue);
    // The mask's black, where the source is black, puts the tinted background back to transparent black.
    SetSpriteKeyColour(mask, 0xFFFFFF);
    DrawSpriteKeyed(mask, 0, 0);
    SetDrawTarget(-1);
}

void TintRoundSprites(int red, int green, int blue) {
    MakeTintedSprite(SPRITE_SEEKER, SPRITE_SEEKER_WHITE, SPRITE_MASK_SEEKER, 255, 255, 255);
    MakeTintedSprite(SPRITE_SEEKER, SPRITE_SEEKER_TINTED, SPRITE_MASK_SEEKER, red, green, blue);
    MakeTintedSprite(SPRITE_PLANET_FIRST, SPRITE_PLANET_WHITE, SPRITE_MASK_PLANET_FIRST, 255, 255, 255);
    for (int i = 1; i <= 2; ++i)
        MakeTintedSprite(SPRITE_PLANET_FIRST + i, SPRITE_PLANET_WHITE + i, SPRITE_MASK_PLANET_FIRST + i, red, green, blue);
    for (int i = 0; i <= 4; ++i)
        MakeTintedSprite(SPRITE_PICKUP_FIRST + i, SPRITE_PICKUP_TINTED_FIRST + i, SPRITE_MASK_PICKUP_FIRST + i, red, green, blue);
}

void AddObject(int type, int appearMs) {
    if (type < KIND_HOSTILE || type > KIND_EXTRA_SHIP) return;
    float x = float(RandomUpTo(800));
    float y = float(600 + RandomUpTo(80)); // starts below the bottom edge
    SpaceObject& o = *ListAdd(objectList);
    o.x = x;
    o.y = y;
    o.size = 32.0f;
    o.half = 16;
    o.appearMs = appearMs;
    o.kind = type;
    if (type == KIND_HOSTILE) {
        o.sprite = SPRITE_SEEKER_TINTED;
        o.aims = 1;
        o.accelMin = 1000.0f;
        o.accelMax = 2000.0f;
        o.strength = 1;
        o.frame = float(SPRITE_SEEKER_TINTED);
        o.frameStep = 0.08f;
        o.loopFrame = SPRITE_SEEKER_WHITE;
        o.endFrame = SPRITE_PLANET_WHITE;
        o.loops = 1;
        ++roundState.targetsLeft;
    } else {
        o.sprite = SPRITE_PICKUP_TINTED_FIRST - 1 + type;
        o.accelMin = 500.0f;
        o.accelMax = 1000.0f;
    }
}

void SetUpRound(int round) {
    if (round < 1 || round > 5) return;
    const RoundTable& table = roundTables[round - 1];
    TintRoundSprites(table.red, table.green, table.blue);
    for (auto [type, appearMs] : table.objects) AddObject(type, appearMs);
    for (const PlanetRun& run : table.planets)
        for (int32_t i = 1; i <= run.count; ++i)
            AddGrowingPlanet(run.targetSize, run.growth, run.strength, run.firstAppearMs + run.appearStepMs * i);
    if (table.giantPlanet) {
        SpaceObject& giant = AddPlanet(800.0f, 100.0f, 16000);
        giant.size = 128.0f;
        giant.half = 64;
        giant.strength = 40;
    }
}

float AimAngle(float targetX, float targetY, float objectX, float objectY) {
    float dx = targetX - objectX, dy = objectY - targetY;
    float d = std::sqrt(dx * dx + dy * dy);
    // On the target point itself there is no direction: turn as for a target straight to the right.
    float a = d == 0.0f ? 0.0f : std::acos(dx / d) * 57.2957763671875f;
    if (objectY > targetY) a = 360.0f - a;
    return a - 179.0f;
}

void RunObjectsPass(uint32_t now) {
    int32_t roundTime = RoundTime(now);
    for (SpaceObject* o = ListFirst(objectList); o; o = ListNext(objectList)) {
        // Once every earlier object is gone, the next waiting planet or pick-up is called in at once.
        if (objectList.current == objectList.first && o->appearMs > roundTime && o->sprite > SPRITE_SEEKER_TINTED)
            o->appearMs = roundTime - 100;
        if (o->appearMs >= roundTime) continue;
        Move(*o);
        AnimateAndDraw(*o);
        if (!o->growing) TouchShip(*o); // may remove the object
    }
}
