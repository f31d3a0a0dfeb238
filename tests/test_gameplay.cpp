// One game as a player meets it: real frames of play on the headless backend, scripted keys, a fake
// clock and a fixed random sequence. Tests set up a start state (ship, objects) and read the results.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "assets/catalogue.h"
#include "gameplay/collisions.h"
#include "gameplay/game.h"
#include "gameplay/objects.h"
#include "gameplay/particles.h"
#include "gameplay/play.h"
#include "gameplay/ship.h"
#include "platform/headless.h"
#include "platform/input.h"
#include "platform/random.h"
#include "platform/sprites.h"
#include "platform/timing.h"
#include "shell/shell.h"

namespace {

class Gameplay : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        HeadlessReset();
        HeadlessSetAudioAvailable(false);
        StartUp();
    }
    void SetUp() override {
        HeadlessReleaseAllKeys();
        SeedRandom(1);
        roundState = RoundState{};
        ResetGameState();
        CreateGameLists();
        std::fill(std::begin(soundStarts), std::end(soundStarts), 0);
    }
    // A new game begins in `round` with the ship at (x, y).
    static void Begin(int round, int x = 368, int y = 300) {
        game.round = round;
        game.shipX = x;
        game.shipY = y;
        StartRound();
    }
};

PlayOutcome Frames(int count) {
    PlayOutcome outcome = PLAY_GOES_ON;
    for (int i = 0; i < count && outcome == PLAY_GOES_ON; ++i) outcome = RunGameFrame();
    return outcome;
}

std::vector<SpaceObject*> Objects() {
    std::vector<SpaceObject*> objects;
    for (SpaceObject* o = ListFirst(objectList); o; o = ListNext(objectList)) objects.push_back(o);
    return objects;
}

SpaceObject* FirstOfKind(int kind, bool planet = false) {
    for (SpaceObject* o : Objects())
        if (o->kind == kind && (o->targetSize > 0) == planet) return o;
    return nullptr;
}

bool Listed(const SpaceObject* object) {
    std::vector<SpaceObject*> objects = Objects();
    return std::find(objects.begin(), objects.end(), object) != objects.end();
}

// The object has come into play, at rest, centred on (cx, cy).
void Place(SpaceObject* o, float cx, float cy) {
    o->x = cx - float(o->half);
    o->y = cy - float(o->half);
    o->vx = o->vy = 0.0f;
    o->appearMs = -1000;
}

void Fire(bool down) { HeadlessSetKey(KEY_LEFT_CONTROL, down); }

} // namespace

TEST(GameplayLists, APassMayRemoveTheRecordItVisitsAndGoOn) {
    GameList<int> list;
    for (int i = 1; i <= 5; ++i) *ListAdd(list) = i;
    std::vector<int> seen;
    for (int* r = ListFirst(list); r; r = ListNext(list)) {
        seen.push_back(*r);
        if (*r % 2 == 1) ListDeleteCurrent(list); // the first record too
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(list.count, 2);
    *ListAdd(list) = 6; // after a finished pass the last record is current: a new one lands at the end
    seen.clear();
    for (int* r = ListFirst(list); r; r = ListNext(list)) seen.push_back(*r);
    EXPECT_EQ(seen, (std::vector<int>{2, 4, 6}));
    ListFirst(list);
    *ListAdd(list) = 3; // inserted after the current record
    seen.clear();
    for (int* r = ListFirst(list); r; r = ListNext(list)) seen.push_back(*r);
    EXPECT_EQ(seen, (std::vector<int>{2, 3, 4, 6}));
    EXPECT_EQ(ListNext(list), nullptr); // at the end the last stays current
    ListClear(list);
    EXPECT_EQ(ListFirst(list), nullptr);
    EXPECT_EQ(*ListAdd(list), 0); // zero-filled
    ListClear(list);
}

TEST(GameplayGeometry, CirclesAimAndSizeClasses) {
    EXPECT_EQ(CirclesOverlap(0, 0, 10, 20, 0, 10), 0); // touching is not overlapping
    EXPECT_EQ(CirclesOverlap(0, 0, 10, 19, 0, 10), 1);
    EXPECT_EQ(CirclesOverlap(-2000000000, 5, 10, 2000000000, 0, 10), 0); // far apart, no wrap-around
    EXPECT_EQ(CirclesOverlap(0, 0, -10, 5, 0, -10), 1);                   // the radii count by their sum's square
    EXPECT_EQ(CirclesOverlap(-2000000000, 0, 2000000000, 2000000000, 0, 2000000000), 0); // huge radii, touching
    EXPECT_EQ(CirclesOverlap(-2000000000, 0, 2000000000, 1999999999, 0, 2000000000), 1);
    // The caller turns by AimAngle - 90: 1 degree for an object straight below, -269 for one to the left.
    EXPECT_FLOAT_EQ(AimAngle(100, 100, 100, 200) - 90.0f, 1.0f);
    EXPECT_FLOAT_EQ(AimAngle(100, 100, 0, 100) - 90.0f, -269.0f);
    EXPECT_FLOAT_EQ(AimAngle(100, 100, 100, 100), -179.0f); // on the target point: a fixed angle, no NaN

    SpaceObject planet{};
    planet.targetSize = 96;
    planet.strength = 20;
    planet.size = 40.0f;
    EXPECT_EQ(StrikesNeeded(planet), 10);
    planet.size = 12.0f; // exactly half a class rounds away from zero
    EXPECT_EQ(SizeClass(planet), 1);
    planet.targetSize = 0; // seekers, pick-ups and the giant planet: no class, one strike
    EXPECT_EQ(SizeClass(planet), -1);
    EXPECT_EQ(StrikesNeeded(planet), 0);
    EXPECT_EQ(ClassPoints(SizeClass(planet)), 100);
}

TEST_F(Gameplay, WorkedStrikeCounts) {
    // A missile at age 3 whose circle sits on the planet's centre.
    Missile missile{0, 100 - 32, 100 - 32, 0, -16, 3};
    auto addPlanet = [](float size) {
        SpaceObject* p = ListAdd(objectList);
        p->targetSize = 64;
        p->strength = 30;
        p->size = size;
        p->half = RoundToInt(size / 2);
        p->x = p->y = 100.0f - float(p->half);
        ++roundState.targetsLeft;
        return p;
    };
    auto strikeUntilGone = [&](SpaceObject* p, int most) {
        int strikes = 0;
        while (objectList.count > 0 && strikes < most) {
            ListFirst(objectList);
            strikes += StrikeObject(*p, missile);
        }
        return strikes;
    };
    EXPECT_EQ(strikeUntilGone(addPlanet(64.0f), 100), 28);
    EXPECT_EQ(game.score, 500);
    EXPECT_EQ(strikeUntilGone(addPlanet(10.0f), 100), 7);
    EXPECT_EQ(game.score, 600);
    SpaceObject* planet = addPlanet(10.0f);
    EXPECT_EQ(strikeUntilGone(planet, 6), 6);
    planet->size = 64.0f; // grown to full size since
    EXPECT_EQ(strikeUntilGone(planet, 100), 22);
    EXPECT_EQ(game.score, 1100);
    EXPECT_EQ(roundState.targetsLeft, 0);
    EXPECT_EQ(soundStarts[SOUND_BLAST], 28 + 7 + 28);
    missile.age = 2; // too young to strike
    SpaceObject* fresh = addPlanet(64.0f);
    ListFirst(objectList);
    EXPECT_EQ(StrikeObject(*fresh, missile), 0);
    EXPECT_EQ(fresh->hits, 0);
}

TEST_F(Gameplay, AMissileFliesFromTheShipsCentreAndStrikesFromItsThirdFrame) {
    Begin(1, 368, 400);
    SpaceObject* planet = FirstOfKind(KIND_HOSTILE, true);
    Place(planet, 416, 420); // growing, so the ship passes it harmlessly; the missile starts on top of it
    Fire(true);
    Frames(1);
    ASSERT_EQ(missileList.count, 1);
    const Missile& missile = missileList.first->record;
    EXPECT_EQ(missile.x, 368 + 16);
    EXPECT_EQ(missile.y, 400 + 16 - 16); // launched and moved in the same frame
    EXPECT_EQ(missile.age, 1);
    EXPECT_EQ(soundStarts[SOUND_LAUNCH], 1);
    EXPECT_EQ(particleList.count, 2); // the small and the large trail glow
    Frames(1);
    EXPECT_EQ(missile.y, 400 + 16 - 32);
    EXPECT_EQ(planet->hits, 0);
    Frames(1);
    EXPECT_EQ(planet->hits, 1);
    EXPECT_EQ(missileList.count, 0);
    EXPECT_EQ(planet->frame, 851.0f); // the strike flash begins
    Frames(1);
    EXPECT_EQ(planet->sprite, 851);
    EXPECT_EQ(soundStarts[SOUND_LAUNCH], 1); // fire held: one launch only
}

TEST_F(Gameplay, OneMissileStrikesTwoOverlappingObjects) {
    Begin(1, 368, 400);
    SpaceObject* speed = FirstOfKind(KIND_SPEED);
    SpaceObject* points = FirstOfKind(KIND_POINTS);
    Place(speed, 416, 300);
    Place(points, 420, 300);
    Fire(true);
    int frames = 0;
    while (Listed(speed) && frames < 20) {
        EXPECT_TRUE(Listed(points));
        Frames(1);
        ++frames;
    }
    EXPECT_FALSE(Listed(points));
    EXPECT_EQ(game.score, 200); // shot pick-ups: 100 each and no effect
    EXPECT_EQ(game.shipSpeed, 4);
    EXPECT_EQ(missileList.count, 0);
    EXPECT_EQ(soundStarts[SOUND_BLAST], 2);
}

TEST_F(Gameplay, MissilesLeaveAtTheEdgeAndAfterTheirSixteenthFrame) {
    Begin(2, 368, 0); // round 2 releases nothing in the first three seconds
    Fire(true);
    std::vector<int> counts;
    for (int i = 0; i < 4; ++i) {
        Frames(1);
        counts.push_back(missileList.count);
    }
    EXPECT_EQ(counts, (std::vector<int>{1, 1, 1, 0})); // y 0, -16, -32, then -48 is past the edge

    Fire(false);
    Frames(1);
    game.shipY = 536;
    Fire(true);
    int frames = 0;
    do {
        Frames(1);
        ++frames;
    } while (missileList.count > 0 && frames < 30);
    EXPECT_EQ(frames, 16);
}

TEST_F(Gameplay, AimedFireRulesApplyInOrder) {
    Begin(2);
    game.aimedFire = 1; // as after the aimed-fire pick-up
    HeadlessSetKey(KEY_UP, true);
    HeadlessSetKey(KEY_DOWN, true);
    Fire(true);
    Frames(1);
    EXPECT_EQ(game.shipY, 300); // up and down cancel out
    EXPECT_EQ(missileList.first->record.dy, -16); // the launch flies in the previous frame's direction
    EXPECT_EQ(game.fireDy, 16);
    EXPECT_EQ(game.fireAngle, 180);
    HeadlessSetKey(KEY_RIGHT, true);
    Frames(1);
    EXPECT_EQ(game.fireAngle, 135);
    EXPECT_EQ(game.fireDx, 16);
    EXPECT_EQ(game.fireDy, 16);
    Fire(false);
    HeadlessSetKey(KEY_DOWN, false);
    Frames(1); // without fire held the direction stays
    EXPECT_EQ(game.fireAngle, 135);
    EXPECT_EQ(game.shipY, 296);
}

TEST_F(Gameplay, EachPickUpGivesItsEffectAndSound) {
    struct Case { int kind, round, sound; };
    for (Case c : {Case{KIND_SPEED, 1, SOUND_SPEED}, Case{KIND_POINTS, 1, SOUND_POINTS},
                   Case{KIND_AIMED_FIRE, 1, SOUND_AIMED_FIRE}, Case{KIND_AUTO_FIRE, 1, SOUND_AUTO_FIRE},
                   Case{KIND_EXTRA_SHIP, 3, SOUND_EXTRA_SHIP}}) {
        SCOPED_TRACE(c.kind);
        SetUp();
        Begin(c.round);
        SpaceObject* pickUp = FirstOfKind(c.kind);
        ASSERT_NE(pickUp, nullptr);
        Place(pickUp, 400, 332);
        Frames(1);
        EXPECT_FALSE(Listed(pickUp));
        EXPECT_EQ(soundStarts[c.sound], 1);
        EXPECT_EQ(game.shipSpeed, c.kind == KIND_SPEED ? 5 : 4);
        EXPECT_EQ(game.score, c.kind == KIND_POINTS ? 250 : 0);
        EXPECT_EQ(game.aimedFire, c.kind == KIND_AIMED_FIRE ? 1 : 0);
        EXPECT_EQ(game.autoFire, c.kind == KIND_AUTO_FIRE ? 1 : 0);
        EXPECT_EQ(game.autoFireCount, c.kind == KIND_AUTO_FIRE ? 1 : 0);
        EXPECT_EQ(game.lives, c.kind == KIND_EXTRA_SHIP ? 4 : 3);
    }
}

TEST_F(Gameplay, AutomaticFireLaunchesWithoutTheKeyAndEndsWithTheRound) {
    Begin(2);
    SpaceObject* autoFire = FirstOfKind(KIND_AUTO_FIRE);
    Place(autoFire, 400, 332);
    Frames(40);
    EXPECT_GT(soundStarts[SOUND_LAUNCH], 3);
    EXPECT_LT(soundStarts[SOUND_LAUNCH], 10); // one every 150 ms
    HeadlessSetKey(KEY_1, true);
    Frames(1);
    HeadlessSetKey(KEY_1, false);
    while (game.round == 2) Frames(1);
    EXPECT_EQ(game.autoFire, 0);
    EXPECT_EQ(game.autoFireCount, 1);
}

TEST_F(Gameplay, AShipLostToASeekerAndTheGameEndsWithNoShipLeft) {
    game.lives = 1;
    Begin(2); // nothing else comes in the first three seconds
    SpaceObject* seeker = FirstOfKind(KIND_HOSTILE);
    Place(seeker, 400, 560); // released below the ship
    int frames = 0;
    PlayOutcome outcome = PLAY_GOES_ON;
    while (outcome == PLAY_GOES_ON && frames < 1000) {
        outcome = Frames(1);
        ++frames;
    }
    EXPECT_EQ(outcome, PLAY_GAME_OVER);
    EXPECT_EQ(game.lives, 0);
    EXPECT_EQ(roundState.deathsThisRound, 1);
    EXPECT_EQ(roundState.targetsLeft, 3); // the seeker went with the ship
    EXPECT_FALSE(Listed(seeker));
    EXPECT_LT(frames, 100);
    EXPECT_EQ(soundStarts[SOUND_BLAST], 1);
    EXPECT_GE(particleList.count, 8); // ship and seeker explosions
    EXPECT_EQ(game.score, 0); // running into the ship scores nothing
}

TEST_F(Gameplay, TwoHostileTouchesInOneFrameTakeTheLastShipAndOneMore) {
    game.lives = 1;
    Begin(1);
    SpaceObject* seeker = FirstOfKind(KIND_HOSTILE);
    SpaceObject* planet = FirstOfKind(KIND_HOSTILE, true);
    planet->growing = 0; // full grown
    planet->size = 64.0f;
    planet->half = 32;
    Place(seeker, 400, 332);
    Place(planet, 400, 332);
    EXPECT_EQ(Frames(1), PLAY_GAME_OVER);
    EXPECT_EQ(game.lives, -1);
    EXPECT_EQ(roundState.deathsThisRound, 2);
    EXPECT_EQ(soundStarts[SOUND_BLAST], 2);
}

TEST_F(Gameplay, AGrowingPlanetPassesThroughTheShip) {
    Begin(1);
    SpaceObject* planet = FirstOfKind(KIND_HOSTILE, true);
    Place(planet, 400, 332);
    Frames(20);
    EXPECT_EQ(game.lives, 3);
    EXPECT_TRUE(Listed(planet));
    EXPECT_EQ(planet->growing, 1);
    planet->size = 63.9f; // nearly grown
    Frames(1);
    EXPECT_FALSE(Listed(planet));
    EXPECT_EQ(game.lives, 2);
}

TEST_F(Gameplay, WaitingPlanetsAndPickUpsAreCalledInEarlyButNotBehindASeeker) {
    Begin(2);
    std::vector<SpaceObject*> objects = Objects();
    Frames(1);
    EXPECT_EQ(objects[0]->appearMs, 3170); // a waiting seeker first: nothing is called in
    EXPECT_EQ(objects[1]->appearMs, 3200);
    ListFirst(objectList);
    ListDeleteCurrent(objectList); // the seeker is gone
    Frames(1);
    EXPECT_LT(objects[1]->appearMs, RoundTime(NowMilliseconds())); // the first pick-up comes at once
    EXPECT_NE(objects[1]->y, objects[1]->y + objects[1]->vy); // and moves
    EXPECT_EQ(objects[2]->appearMs, 3250); // the next one keeps its time
}

TEST_F(Gameplay, TheOneKeyAwardsTheBonusOnceAndEndsTheRoundThreeSecondsAfterRelease) {
    Begin(1);
    game.lives = 2;
    HeadlessSetKey(KEY_1, true);
    Frames(10);
    EXPECT_EQ(game.score, 2000);
    EXPECT_EQ(soundStarts[SOUND_POINTS], 1);
    HeadlessSetKey(KEY_1, false);
    uint32_t released = NowMilliseconds();
    EXPECT_LT(int32_t(released - roundState.bonusStartMs), 50); // restarted by every frame the key was down
    while (game.round == 1) Frames(1);
    int32_t shown = int32_t(NowMilliseconds() - roundState.bonusStartMs); // the round ended in this frame
    EXPECT_GT(shown, 3000);
    EXPECT_LT(shown, 3050);
    // Awarded once; the pick-ups go on meanwhile, and points pick-ups collected add their own.
    EXPECT_EQ(game.score, 2000 + 250 * (soundStarts[SOUND_POINTS] - 1));
    EXPECT_EQ(roundState.targetsLeft, 4); // round 2 is set up
}

namespace {
// Steers the ship below the first hostile object in play and fires up at it while lined up.
void AimAndFire(int frame) {
    SpaceObject* target = nullptr;
    for (SpaceObject* o : Objects())
        if (!target && o->kind == KIND_HOSTILE && o->appearMs < RoundTime(NowMilliseconds()) && o->inside) target = o;
    HeadlessReleaseAllKeys();
    if (!target) return;
    int cx = RoundToInt(target->x + float(target->half)), cy = RoundToInt(target->y + float(target->half));
    int wantX = cx - 48, wantY = std::min(536, cy + 160); // the missile's circle is centred 48 right of the ship's corner
    HeadlessSetKey(KEY_RIGHT, game.shipX < wantX - 2);
    HeadlessSetKey(KEY_LEFT, game.shipX > wantX + 2);
    HeadlessSetKey(KEY_DOWN, game.shipY < wantY - 2);
    HeadlessSetKey(KEY_UP, game.shipY > wantY + 2);
    Fire(frame % 2 == 0 && std::abs(game.shipX + 48 - cx) < 24 && cy < game.shipY);
}

} // namespace

TEST_F(Gameplay, AScriptThatAimsAndFiresWinsRoundsUntilTheGameEnds) {
    Begin(1, 368, 536);
    int frames = 0;
    PlayOutcome outcome = PLAY_GOES_ON;
    int roundsWon = 0;
    bool firstRoundBonus = false;
    while (outcome == PLAY_GOES_ON && frames < 20000) {
        int round = game.round;
        AimAndFire(frames++);
        outcome = RunGameFrame();
        if (round == 1) firstRoundBonus = firstRoundBonus || roundState.bonusShowing;
        if (game.round != round) ++roundsWon;
    }
    EXPECT_GE(roundsWon, 1);
    EXPECT_TRUE(firstRoundBonus);
    EXPECT_GE(game.score, 500 + 3000); // five targets shot, then the bonus for three ships
    EXPECT_TRUE(outcome == PLAY_GAME_OVER || outcome == PLAY_ROUNDS_DONE);
    if (outcome == PLAY_GAME_OVER) {
        EXPECT_LE(game.lives, 0);
    }
    EXPECT_LT(missileList.count + particleList.count, 200); // nothing piles up
}

TEST_F(Gameplay, TheBonusComesAfterARoundWithoutLossAndNotOtherwise) {
    for (bool loseOne : {false, true}) {
        SCOPED_TRACE(loseOne);
        SetUp();
        Begin(1, 368, 400);
        // Every hostile object of the round lined up above the ship, the seeker last, or on the ship.
        float y = 330;
        for (SpaceObject* o : Objects()) {
            if (o->kind != KIND_HOSTILE) continue;
            bool seeker = o->targetSize == 0;
            if (seeker && loseOne) Place(o, 400, 432);
            else Place(o, 416, seeker ? 120 : y);
            y -= 20;
        }
        int frames = 0;
        while (game.round == 1 && frames < 400) {
            Fire(frames % 2 == 0);
            Frames(1);
            ++frames;
        }
        EXPECT_EQ(game.round, 2);
        EXPECT_EQ(soundStarts[SOUND_POINTS], loseOne ? 0 : 1);
        if (loseOne) {
            EXPECT_EQ(game.lives, 2);
        } else {
            EXPECT_EQ(game.lives, 3);
            EXPECT_GT(game.score, 3000); // the bonus: 1000 for each ship left, on top of the strikes
            int32_t shown = int32_t(NowMilliseconds() - roundState.bonusStartMs); // the round ended in this frame
            EXPECT_GT(shown, 3000);
            EXPECT_LT(shown, 3050);
        }
    }
}

TEST_F(Gameplay, ParticleLives) {
    // Explosions and sparks: sprites 130..139 over 23 frames, removed after the one that shows 139.
    for (float sizeStep : {-0.5f, 1.0f}) {
        ListClear(particleList);
        AddBurst(64, sizeStep, 100, 100);
        Particle* p = &particleList.first->record;
        std::vector<int> sprites; // while it lives on after its pass
        float size = 0;
        int passes = 0;
        while (particleList.count > 0 && passes < 100) {
            RunParticlesPass();
            if (++passes, particleList.count > 0) sprites.push_back(p->sprite), size = p->size;
        }
        EXPECT_EQ(passes, 23); // the 23rd pass shows 139 and removes it
        ASSERT_EQ(sprites.size(), 22u);
        EXPECT_EQ(std::vector<int>(sprites.begin(), sprites.begin() + 6), (std::vector<int>{130, 130, 131, 131, 131, 132}));
        EXPECT_EQ(sprites.back(), 138);
        EXPECT_FLOAT_EQ(size, 64 + 22 * sizeStep);
    }
    // The trail glows end by their size: 28 .. -4 in nine frames, and 0 then -64.
    for (auto [size, sizeStep, expected] : {std::tuple{32, -4.0f, std::vector<float>{28, 24, 20, 16, 12, 8, 4, 0, -4}},
                                            std::tuple{64, -64.0f, std::vector<float>{0, -64}}}) {
        ListClear(particleList);
        AddParticle(SPRITE_GLOW, 0, 0.0f, size, sizeStep, 1.0f, 100, 100, 0, 0.0f);
        Particle* p = &particleList.first->record;
        std::vector<float> sizes;
        while (particleList.count > 0 && sizes.size() < 100) {
            sizes.push_back(p->size + sizeStep); // the size drawn in the next pass
            RunParticlesPass();
        }
        EXPECT_EQ(sizes, expected);
    }
}
