#include "gameplay/collisions.h"
#include "assets/catalogue.h"
#include "gameplay/game.h"
#include "gameplay/particles.h"
#include "gameplay/play.h"
#include "platform/random.h"
#include <cmath>
#include <cstdlib>

namespace {

int32_t OverlapsObject(const SpaceObject& o, int32_t x, int32_t y, int32_t radius) {
    return CirclesOverlap(RoundToInt(o.x + float(o.half)), RoundToInt(o.y + float(o.half)), o.half, x, y, radius);
}

void LoseShip(const SpaceObject& o) {
    for (int i = 0; i < 4; ++i) AddBurst(64, -0.5f, game.shipX + 32, game.shipY + 32);
    ExplodeObject(o);
    --game.lives;
    --roundState.targetsLeft;
    PlayGameSoundVoice(SOUND_BLAST);
}

} // namespace

int32_t CirclesOverlap(int32_t x1, int32_t y1, int32_t r1, int32_t x2, int32_t y2, int32_t r2) {
    // Exact for every input: 32-bit squares of distant circles would wrap into a false overlap. Circles
    // apart by at least r on one axis are settled first; the rest fit 128-bit squares.
    const int64_t dx = std::abs(int64_t(x1) - x2), dy = std::abs(int64_t(y1) - y2);
    const int64_t r = std::abs(int64_t(r1) + r2);
    if (dx >= r || dy >= r) return 0;
    using Wide = __int128;
    return Wide(dx) * dx + Wide(dy) * dy < Wide(r) * r ? 1 : 0;
}

int32_t SizeClass(const SpaceObject& object) {
    int32_t quarter = object.targetSize / 4;
    return quarter == 0 ? -1 : int32_t(std::round(object.size / float(quarter)));
}

int32_t StrikesNeeded(const SpaceObject& object) {
    int32_t sizeClass = SizeClass(object);
    return sizeClass < 0 ? 0 : object.strength / 4 * sizeClass;
}

int32_t ClassPoints(int32_t sizeClass) {
    switch (sizeClass) {
    case 2: return 200;
    case 3: return 300;
    case 4: return 500;
    default: return 100;
    }
}

void TouchShip(SpaceObject& object) {
    if (!OverlapsObject(object, game.shipX + 32, game.shipY + 32, 32)) return;
    switch (object.kind) {
    case KIND_SPEED: ++game.shipSpeed; PlayGameSound(SOUND_SPEED); break;
    case KIND_POINTS: game.score += 250; PlayGameSound(SOUND_POINTS); break;
    case KIND_AIMED_FIRE: game.aimedFire = 1; PlayGameSound(SOUND_AIMED_FIRE); break;
    case KIND_AUTO_FIRE: game.autoFire = 1; ++game.autoFireCount; PlayGameSound(SOUND_AUTO_FIRE); break;
    case KIND_EXTRA_SHIP: ++game.lives; PlayGameSound(SOUND_EXTRA_SHIP); break;
    default: LoseShip(object); ++roundState.deathsThisRound; break;
    }
    ListDeleteCurrent(objectList);
}

int32_t StrikeObject(SpaceObject& object, const Missile& missile) {
    // A missile cannot strike in its first two frames.
    if (missile.age <= 2 || !OverlapsObject(object, missile.x + 32, missile.y + 32, 32)) return 0;
    object.frame = float(SPRITE_PLANET_WHITE);
    object.frameStep = 0.3f;
    roundState.lastBlastVoice = PlayGameSoundVoice(SOUND_BLAST);
    ++object.hits;
    bool destroyed = object.hits >= StrikesNeeded(object);
    if (destroyed) {
        game.score += ClassPoints(SizeClass(object));
        if (object.kind == KIND_HOSTILE) --roundState.targetsLeft;
    }
    for (int i = 0; i < 4; ++i) {
        int32_t x = missile.x + int32_t(RandomUpTo(16));
        int32_t y = missile.y + int32_t(RandomUpTo(16));
        AddBurst(32, 1.0f, x, y);
    }
    if (destroyed) {
        ExplodeObject(object);
        ListDeleteCurrent(objectList);
    }
    return 1;
}

void ExplodeObject(const SpaceObject& object) {
    for (int i = 0; i < 4; ++i) {
        int32_t size = RoundToInt(object.size + float(RandomUpTo(20)));
        int32_t x = RoundToInt(object.x + float(object.half) - 10.0f + float(RandomUpTo(20)));
        int32_t y = RoundToInt(object.y + float(object.half) - 10.0f + float(RandomUpTo(20)));
        AddBurst(size, -0.5f, x, y);
    }
}
