// One game as a player meets it: real frames of play on the headless backend, scripted keys, a fake
// clock and a fixed random sequence. The round tables and colours are compared as data; the rest as
// scripted play with exact outcomes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "assets/catalogue.h"
#include "gameplay/collisions.h"
#include "gameplay/objects.h"
#include "gameplay/particles.h"
#include "gameplay/play.h"
#include "gameplay/ship.h"
#include "platform/timing.h"
#include "shell/background.h"
#include "tests/test_shell_support.h"

namespace {

class Gameplay : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        HeadlessReset();
        HeadlessSetAudioAvailable(false);
        SeedRandom(1);
        StartUp();
    }
    void SetUp() override {
        HeadlessSetClock(NowMilliseconds() + 1000); // past the frame cap's last release: frames start afresh
        HeadlessReleaseAllKeys();
        HeadlessSetJoystickCount(0);
        joystickCount = 0;
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

template <class... Args> std::string Format(const char* format, Args... args) {
    char text[160];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

// Every field of an object but its random position, as the round table and the object kinds set them.
std::string Fields(const SpaceObject& o) {
    return Format("sprite %d aims %d size %g/%d accel %g-%g grow %d %g %d strength %d kind %d at %d "
                  "frame %g+%g %d-%d loops %d",
                  o.sprite, o.aims, double(o.size), o.half, double(o.accelMin), double(o.accelMax), o.targetSize,
                  double(o.growth), o.growing, o.strength, o.kind, o.appearMs, double(o.frame), double(o.frameStep),
                  o.loopFrame, o.endFrame, o.loops);
}
std::string Seeker(int at) {
    return Format("sprite 850 aims 1 size 32/16 accel 1000-2000 grow 0 0 0 strength 1 kind 0 at %d "
                  "frame 850+0.08 849-851 loops 1", at);
}
std::string PickUp(int kind, int at) {
    return Format("sprite %d aims 0 size 32/16 accel 500-1000 grow 0 0 0 strength 0 kind %d at %d frame 0+0 0-0 loops 0",
                  859 + kind, kind, at);
}
std::string Planet(int size, double growth, int strength, int at) {
    return Format("sprite 852 aims 0 size 10/5 accel 100-2000 grow %d %g 1 strength %d kind 0 at %d "
                  "frame 851+0 851-853 loops 0", size, growth, strength, at);
}
const std::string GIANT = "sprite 852 aims 0 size 128/64 accel 100-2000 grow 0 0 0 strength 40 kind 0 at 16000 "
                          "frame 851+0 851-853 loops 0";

} // namespace

TEST_F(Gameplay, EveryRoundSetsUpItsTableAndColour) {
    const std::vector<std::string> tables[5] = {
        {Seeker(170), PickUp(1, 200), PickUp(1, 220), PickUp(2, 250), PickUp(3, 200), PickUp(4, 300), PickUp(4, 340),
         Planet(64, 0.2, 10, 2000), Planet(64, 0.2, 10, 4000), Planet(64, 0.2, 10, 6000), Planet(64, 0.2, 10, 8000)},
        {Seeker(3170), PickUp(1, 3200), PickUp(2, 3250), PickUp(3, 3200), PickUp(4, 3340), PickUp(2, 3380),
         Planet(96, 0.25, 20, 7000), Planet(96, 0.25, 20, 11000), Planet(96, 0.25, 20, 15000)},
        {Seeker(3170), PickUp(1, 3200), PickUp(3, 3200), PickUp(4, 3340), PickUp(5, 3220), Planet(64, 0.25, 15, 4500),
         Planet(64, 0.25, 30, 7000), Planet(64, 0.25, 30, 11000), GIANT},
        {Seeker(3170), PickUp(1, 3200), PickUp(2, 3380), PickUp(2, 3400), PickUp(4, 3340), Planet(64, 0.25, 15, 3300),
         Planet(96, 0.25, 30, 9000), Planet(96, 0.25, 30, 13000), Planet(96, 0.25, 30, 17000), Planet(96, 0.25, 30, 21000)},
        {Seeker(3170), PickUp(1, 3200), PickUp(2, 3380), PickUp(2, 3400), PickUp(4, 3340), PickUp(5, 3400),
         PickUp(5, 3000), Seeker(6170), Seeker(10000), Planet(64, 0.25, 15, 3300), Planet(96, 0.25, 30, 9000),
         Planet(96, 0.25, 30, 13000), Planet(96, 0.25, 30, 17000), Planet(96, 0.25, 30, 21000)}};
    const int colours[5][3] = {{0, 0, 255}, {0, 50, 155}, {100, 50, 0}, {200, 0, 0}, {10, 50, 0}};
    const int targets[5] = {5, 4, 5, 6, 8};
    // Tinted sprites with their source: 849 and 851 take white, the others the round colour.
    const int tints[][2] = {{849, 500}, {850, 500}, {851, 501}, {852, 502}, {853, 503}, {860, 160}, {861, 161},
                            {862, 162}, {863, 163}, {864, 164}};
    uint64_t positions = 0;
    for (int round = 1; round <= 5; ++round) {
        SCOPED_TRACE(round);
        Begin(round);
        std::vector<std::string> fields;
        for (SpaceObject* o : Objects()) {
            fields.push_back(Fields(*o));
            positions = positions * 1000003 + uint64_t(o->x) * 1009 + uint64_t(o->y);
        }
        EXPECT_EQ(fields, tables[round - 1]);
        EXPECT_EQ(roundState.targetsLeft, targets[round - 1]);
        for (auto [tinted, source] : tints) {
            const bool white = tinted == 849 || tinted == 851;
            ASSERT_TRUE(BeginPixelAccess(SpritePixelTarget(source)));
            std::vector<uint32_t> pixels;
            for (int y = 0; y < GetSpriteHeight(source); ++y)
                for (int x = 0; x < GetSpriteWidth(source); ++x) pixels.push_back(ReadPixel(x, y));
            EndPixelAccess();
            ASSERT_TRUE(BeginPixelAccess(SpritePixelTarget(tinted)));
            const int width = GetSpriteWidth(source);
            for (size_t i = 0; i < pixels.size(); i += 7) { // black stays black; the rest gains the colour
                uint32_t expected = 0;
                for (int c = 0; c < 3 && pixels[i]; ++c)
                    expected |= uint32_t(std::min(255, int(pixels[i] >> (8 * c) & 0xFF) + (white ? 255 : colours[round - 1][c])))
                                << (8 * c);
                ASSERT_EQ(ReadPixel(int(i) % width, int(i) / width), expected) << tinted;
            }
            EndPixelAccess();
        }
    }
    EXPECT_EQ(positions, 16931691901387691453u); // the random positions of all five rounds from seed 1
}

// Objects add their light to what lies behind them: over grey, no pixel they cover comes out darker.
TEST_F(Gameplay, ObjectsAddTheirLightToWhatIsBehindThem) {
    Begin(1, 0, 0);
    while (RoundTime(NowMilliseconds()) < 600) Frames(1);  // the seeker and the pick-ups are out
    ASSERT_GE(Objects().size(), 5u);
    constexpr uint32_t GREY = 0x404040;
    ClearFrame(GREY);
    BeginTransformedBatch();
    RunObjectsPass(NowMilliseconds());
    EndTransformedBatch();
    int lit = 0;
    for (int i = 0; i < SCREEN_WIDTH * SCREEN_HEIGHT; ++i) {
        const uint32_t pixel = BackBufferPixels()[i];
        for (int shift : {0, 8, 16}) ASSERT_GE(pixel >> shift & 0xFF, 0x40u) << i;
        lit += (pixel & 0xFFFFFF) != GREY;
    }
    EXPECT_GT(lit, 300);
}

TEST(GameplayGeometry, CirclesAimAndSizeClasses) {
    // Touching is not overlapping; diagonal 392 < 400; far apart, no wrap-around; the radii count by their
    // sum's square.
    const int circles[][7] = {{0, 0, 10, 20, 0, 10, 0}, {0, 0, 10, 19, 0, 10, 1}, {0, 0, 10, 14, 14, 10, 1},
        {0, 0, 10, 15, 14, 10, 0}, {-2000000000, 5, 10, 2000000000, 0, 10, 0}, {0, 0, -10, 5, 0, -10, 1},
        {-2000000000, 0, 2000000000, 1999999999, 0, 2000000000, 1}};
    for (auto [x1, y1, r1, x2, y2, r2, overlap] : circles) EXPECT_EQ(CirclesOverlap(x1, y1, r1, x2, y2, r2), overlap) << x2 << "," << y2;
    // The caller turns by AimAngle - 90: 1 degree for an object straight below, -269 for one to the left.
    // On the target point: a fixed angle, no NaN.
    for (auto [x, y, angle] : {std::tuple{100, 200, 91.0f}, {0, 100, -179.0f}, {200, 100, 1.0f}, {100, 0, -89.0f}, {100, 100, -179.0f}})
        EXPECT_FLOAT_EQ(AimAngle(100, 100, x, y), angle) << x << "," << y;

    SpaceObject planet{};
    planet.targetSize = 96;
    planet.strength = 20;
    const int classes[][3] = {{40, 2, 10}, {12, 1, 5}, {11, 0, 0}, {60, 3, 15}, {96, 4, 20}}; // size, class, strikes
    for (auto [size, sizeClass, strikes] : classes) {
        planet.size = float(size); // exactly half a class rounds away from zero
        EXPECT_EQ(SizeClass(planet), sizeClass) << size;
        EXPECT_EQ(StrikesNeeded(planet), strikes) << size;
    }
    planet.targetSize = 0; // seekers, pick-ups and the giant planet: no class, one strike
    EXPECT_EQ(SizeClass(planet), -1);
    EXPECT_EQ(StrikesNeeded(planet), 0);
    const int points[][2] = {{-1, 100}, {0, 100}, {1, 100}, {2, 200}, {3, 300}, {4, 500}};
    for (auto [sizeClass, value] : points) EXPECT_EQ(ClassPoints(sizeClass), value) << sizeClass;
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
    EXPECT_EQ(particleList.count, 28 * 4 + 4); // four sparks a strike, four explosions at the end
    EXPECT_EQ(strikeUntilGone(addPlanet(10.0f), 100), 7);
    EXPECT_EQ(game.score, 600);
    SpaceObject* planet = addPlanet(10.0f);
    EXPECT_EQ(strikeUntilGone(planet, 6), 6);
    EXPECT_EQ(planet->frame, float(SPRITE_PLANET_WHITE)); // a strike flashes it white
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
    EXPECT_NE(fresh->frame, float(SPRITE_PLANET_WHITE));
}

TEST_F(Gameplay, AMissileFliesFromTheShipsCentreAndStrikesFromItsThirdFrame) {
    Begin(1, 368, 400);
    SpaceObject* planet = FirstOfKind(KIND_HOSTILE, true);
    Place(planet, 416, 420); // growing, so the ship passes it harmlessly; the missile starts on top of it
    Fire(true);
    Frames(1);
    ASSERT_EQ(missileList.count, 1);
    const Missile& missile = missileList.first->record;
    EXPECT_EQ(std::make_tuple(missile.x, missile.y, missile.age), std::make_tuple(368 + 16, 400 + 16 - 16, 1));
    EXPECT_EQ(soundStarts[SOUND_LAUNCH], 1);
    EXPECT_EQ(particleList.count, 2); // the small and the large trail glow
    Frames(1);
    EXPECT_EQ(missile.y, 400 + 16 - 32);
    EXPECT_EQ(planet->hits, 0);
    Frames(1);
    EXPECT_EQ(planet->hits, 1);
    EXPECT_EQ(missileList.count, 0);
    EXPECT_EQ(planet->frame, 851.0f); // the strike flash: 851 for three frames, 852 for three, then 853
    std::vector<int> sprites;
    for (int i = 0; i < 8; ++i) Frames(1), sprites.push_back(planet->sprite);
    EXPECT_EQ(sprites, (std::vector<int>{851, 851, 851, 852, 852, 852, 853, 853}));
    EXPECT_EQ(soundStarts[SOUND_LAUNCH], 1); // fire held: one launch only
}

// Each case steers for one frame with fire pressed, from (x, y) at the given speed, with aimed fire off
// and on; then, with aimed fire, a new launch flies until it leaves at an edge or after its 16th frame. A
// launch starts from where the keys moved the ship, before the ship is held back at the edge.
TEST_F(Gameplay, KeysSteerAndAimUntilTheEdges) {
    struct Case { std::vector<int> keys; int x, y, speed, toX, toY, angle, dx, dy, flight; };
    const Case cases[] = {
        {{KEY_UP}, 368, 300, 4, 368, 296, 0, 0, -16, 16},         {{KEY_DOWN}, 368, 300, 4, 368, 304, 180, 0, 16, 16},
        {{KEY_LEFT}, 368, 300, 5, 363, 300, 270, -16, 0, 16},     {{KEY_RIGHT}, 368, 300, 4, 372, 300, 90, 16, 0, 16},
        {{KEY_UP, KEY_RIGHT}, 368, 300, 4, 372, 296, 45, 16, -16, 16},
        {{KEY_DOWN, KEY_RIGHT}, 368, 300, 4, 372, 304, 135, 16, 16, 16},
        {{KEY_UP, KEY_LEFT}, 2, 2, 4, 0, 0, 315, -16, -16, 3},    {{KEY_DOWN, KEY_LEFT}, 735, 535, 4, 731, 536, 225, -16, 16, 3},
        {{KEY_RIGHT, KEY_DOWN}, 735, 535, 4, 736, 536, 135, 16, 16, 3},
        {{KEY_UP, KEY_DOWN}, 368, 300, 4, 368, 300, 180, 0, 16, 16}, {{KEY_LEFT, KEY_RIGHT}, 368, 300, 4, 368, 300, 270, -16, 0, 16},
        {{KEY_UP}, 368, 0, 4, 368, 0, 0, 0, -16, 3},              {{}, 368, 0, 4, 368, 0, 0, 0, -16, 4},
        {{KEY_LEFT}, 0, 300, 4, 0, 300, 270, -16, 0, 3},          {{KEY_RIGHT}, 736, 300, 4, 736, 300, 90, 16, 0, 3},
        {{KEY_DOWN}, 368, 536, 4, 368, 536, 180, 0, 16, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.keys.size() << " keys from " << c.x << "," << c.y);
        for (bool aimed : {false, true}) {
            SetUp();
            Begin(2, c.x, c.y); // round 2 releases nothing in the first three seconds
            game.shipSpeed = c.speed;
            game.aimedFire = aimed;
            for (int key : c.keys) HeadlessSetKey(key, true);
            Fire(true);
            Frames(1);
            EXPECT_EQ(std::make_pair(game.shipX, game.shipY), std::make_pair(c.toX, c.toY));
            EXPECT_EQ(std::make_tuple(game.fireAngle, game.fireDx, game.fireDy),
                      aimed ? std::make_tuple(c.angle, c.dx, c.dy) : std::make_tuple(0, 0, -16));
            EXPECT_EQ(missileList.first->record.dy, -16); // the launch flies in the previous frame's direction
            Fire(false);
            Frames(1); // without fire held the direction stays
            EXPECT_EQ(game.fireAngle, aimed ? c.angle : 0);
            if (!aimed) continue;
            while (missileList.count > 0) Frames(1);
            game.shipX = c.x, game.shipY = c.y;
            Fire(true);
            int frames = 0;
            do Frames(1), ++frames;
            while (missileList.count > 0 && frames < 30);
            EXPECT_EQ(frames, c.flight);
        }
    }
    // The joystick steers and fires as the keys do.
    SetUp();
    HeadlessSetJoystickCount(1);
    joystickCount = DetectJoysticks();
    Begin(2);
    HeadlessSetJoystick(0, -1000, 1000, 1u);
    Fire(true); // each control launches its own missile
    Frames(3);
    EXPECT_EQ(std::make_tuple(game.shipX, game.shipY, soundStarts[SOUND_LAUNCH]), std::make_tuple(356, 312, 2));
    HeadlessSetJoystick(0, 0, 0, 0);
}

TEST_F(Gameplay, EachPickUpGivesItsEffectAndSound) {
    struct Case { int kind, round, sound, speed, score, aimed, autoFire, lives; };
    for (Case c : {Case{KIND_SPEED, 1, SOUND_SPEED, 5, 0, 0, 0, 3}, Case{KIND_POINTS, 1, SOUND_POINTS, 4, 250, 0, 0, 3},
                   Case{KIND_AIMED_FIRE, 1, SOUND_AIMED_FIRE, 4, 0, 1, 0, 3}, Case{KIND_AUTO_FIRE, 1, SOUND_AUTO_FIRE, 4, 0, 0, 1, 3},
                   Case{KIND_EXTRA_SHIP, 3, SOUND_EXTRA_SHIP, 4, 0, 0, 0, 4}}) {
        SCOPED_TRACE(c.kind);
        SetUp();
        Begin(c.round);
        SpaceObject* pickUp = FirstOfKind(c.kind);
        ASSERT_NE(pickUp, nullptr);
        Place(pickUp, 400, 332);
        Frames(1);
        EXPECT_FALSE(Listed(pickUp));
        EXPECT_EQ(soundStarts[c.sound], 1);
        EXPECT_EQ(std::accumulate(std::begin(soundStarts), std::end(soundStarts), 0), 2); // its own and the fanfare
        EXPECT_EQ(std::make_tuple(game.shipSpeed, game.score, game.aimedFire, game.autoFire, game.autoFireCount, game.lives),
                  std::make_tuple(c.speed, c.score, c.aimed, c.autoFire, c.autoFire, c.lives));
    }
}

TEST_F(Gameplay, AutomaticFireLaunchesEveryOneHundredAndFiftyMsUntilTheRoundEnds) {
    Begin(2);
    game.autoFire = 1;
    roundState.lastAutoFireMs = NowMilliseconds() - 200;
    Fire(true); // the key launches nothing under automatic fire
    std::vector<uint32_t> starts, launches;
    for (int i = 0; i < 40; ++i) {
        starts.push_back(NowMilliseconds());
        Frames(1);
        if (soundStarts[SOUND_LAUNCH] > int(launches.size())) launches.push_back(starts.back());
    }
    ASSERT_GE(launches.size(), 3u);
    for (size_t i = 1; i < launches.size(); ++i) { // in the first frame more than 150 ms after the last
        EXPECT_GT(launches[i] - launches[i - 1], 150u);
        EXPECT_LE(*(std::find(starts.begin(), starts.end(), launches[i]) - 1) - launches[i - 1], 150u);
    }
    HeadlessSetKey(KEY_1, true);
    Frames(1);
    HeadlessReleaseAllKeys();
    while (game.round == 2) Frames(1);
    EXPECT_EQ(game.autoFire, 0);
    EXPECT_EQ(std::make_tuple(game.shipSpeed, game.missileLifetime, game.fireDy), std::make_tuple(4, 15, -16));
}

TEST_F(Gameplay, AShipLostToASeekerAndTheGameEndsWithNoShipLeft) {
    game.lives = 1;
    Begin(2); // nothing else comes in the first three seconds
    SpaceObject* seeker = FirstOfKind(KIND_HOSTILE);
    Place(seeker, 400, 560); // released below the ship
    int frames = 0;
    PlayOutcome outcome = PLAY_GOES_ON;
    while (outcome == PLAY_GOES_ON && frames < 1000) outcome = Frames(1), ++frames;
    EXPECT_EQ(outcome, PLAY_GAME_OVER);
    EXPECT_EQ(std::make_tuple(game.lives, roundState.deathsThisRound, roundState.targetsLeft), std::make_tuple(0, 1, 3));
    EXPECT_FALSE(Listed(seeker));
    EXPECT_EQ(frames, 51);
    EXPECT_EQ(soundStarts[SOUND_BLAST], 1);
    EXPECT_EQ(particleList.count, 8); // ship and seeker explosions
    int onShip = 0;
    for (Particle* p = ListFirst(particleList); p; p = ListNext(particleList))
        onShip += p->x == game.shipX + 32 && p->y == game.shipY + 32;
    EXPECT_EQ(onShip, 4) << "the ship's four bursts on its centre";
    EXPECT_EQ(game.score, 0); // running into the ship scores nothing
}

TEST_F(Gameplay, TheHeadsUpShowsAnIconAShipUpToEight) {
    // The first frame of round 1 from the same start, and the strip of ship icons in it (with room for a
    // ninth) over the high score's row.
    const auto strip = [this](int lives) {
        SetUp();
        ResetStarField();
        InitStarField();
        game.lives = lives;
        Begin(1);
        Frames(1);
        std::vector<uint32_t> pixels;
        for (int y = 16; y < 40; ++y)
            for (int x = 120; x < 400; ++x) pixels.push_back(BackBufferPixels()[y * SCREEN_WIDTH + x]);
        return pixels;
    };
    const std::vector<uint32_t> seven = strip(7), eight = strip(8), twelve = strip(12);
    EXPECT_NE(seven, eight);
    EXPECT_EQ(eight, twelve);
}

// A growing planet passes through the ship; grown, it and a seeker touching the ship in the same frame
// take the last ship and one more.
TEST_F(Gameplay, AGrowingPlanetPassesThroughTheShipAndTwoTouchesInOneFrameTakeTwoShips) {
    game.lives = 1;
    Begin(1);
    SpaceObject* planet = FirstOfKind(KIND_HOSTILE, true);
    Place(planet, 400, 332);
    Frames(20);
    EXPECT_EQ(game.lives, 1);
    EXPECT_TRUE(Listed(planet));
    EXPECT_EQ(planet->growing, 1);
    EXPECT_FLOAT_EQ(planet->size, 14.0f); // 0.2 a frame
    planet->size = 63.9f; // nearly grown
    Place(FirstOfKind(KIND_HOSTILE), 400, 332);
    EXPECT_EQ(Frames(1), PLAY_GAME_OVER);
    EXPECT_FALSE(Listed(planet));
    EXPECT_EQ(std::make_tuple(game.lives, roundState.deathsThisRound, soundStarts[SOUND_BLAST]), std::make_tuple(-1, 2, 2));
}

TEST_F(Gameplay, WaitingPlanetsAndPickUpsAreCalledInEarlyButNotBehindASeeker) {
    Begin(2);
    std::vector<SpaceObject*> objects = Objects();
    Frames(1);
    EXPECT_EQ(objects[0]->appearMs, 3170); // a waiting seeker first: nothing is called in
    EXPECT_EQ(objects[1]->appearMs, 3200);
    ListFirst(objectList);
    ListDeleteCurrent(objectList); // the seeker is gone
    const int32_t frameTime = RoundTime(NowMilliseconds());
    Frames(1);
    EXPECT_EQ(objects[1]->appearMs, frameTime - 100); // the first pick-up comes at once
    EXPECT_NE(objects[1]->vy, 0.0f); // and moves
    EXPECT_EQ(objects[2]->appearMs, 3250); // the next one keeps its time
}

TEST_F(Gameplay, TheOneKeyAwardsTheBonusOnceAndEndsTheRoundThreeSecondsAfterRelease) {
    Begin(1);
    game.lives = 2;
    HeadlessSetKey(KEY_1, true);
    Frames(9);
    const uint32_t lastDown = NowMilliseconds();
    Frames(1);
    EXPECT_EQ(roundState.bonusStartMs, lastDown); // restarted by every frame the key is down
    EXPECT_EQ(game.score, 2000);
    EXPECT_EQ(soundStarts[SOUND_POINTS], 1);
    HeadlessSetKey(KEY_1, false);
    const uint32_t bonusStart = roundState.bonusStartMs;
    uint32_t frameStart = 0, lastShown = 0;
    while (game.round == 1) lastShown = frameStart, frameStart = NowMilliseconds(), Frames(1);
    EXPECT_EQ(roundState.bonusStartMs, bonusStart);
    EXPECT_LE(lastShown - bonusStart, 3000u); // the round ended in the first frame more than 3000 ms after
    EXPECT_GT(frameStart - bonusStart, 3000u);
    EXPECT_EQ(game.score, 2000 + 250 * (soundStarts[SOUND_POINTS] - 1)); // points pick-ups add their own
    EXPECT_EQ(roundState.targetsLeft, 4); // round 2 is set up
    // Round 2 awards its own bonus.
    const int32_t scoreBefore = game.score, pointsBefore = soundStarts[SOUND_POINTS];
    HeadlessSetKey(KEY_1, true);
    Frames(1);
    HeadlessSetKey(KEY_1, false);
    EXPECT_EQ(game.score, scoreBefore + game.lives * 1000 + 250 * (soundStarts[SOUND_POINTS] - pointsBefore - 1));
    // Escape ends the game when it goes up; round 5 won hands the game back without the end-of-game check.
    HeadlessSetKey(KEY_ESCAPE, true);
    EXPECT_EQ(Frames(5), PLAY_GOES_ON);
    HeadlessSetKey(KEY_ESCAPE, false);
    EXPECT_EQ(Frames(1), PLAY_GAME_OVER);
    Begin(5);
    HeadlessSetKey(KEY_1, true);
    Frames(1);
    HeadlessReleaseAllKeys();
    EXPECT_EQ(Frames(400), PLAY_ROUNDS_DONE);
}

// The frames a player sees: the first of round 1, one with the seeker turned towards the ship, the last
// with the round message and the first without it, and the bonus display. Checked by eye (VD_FRAME_DIR) before being taken as golden.
TEST_F(Gameplay, FramesOfARoundMatchTheirGoldenChecksums) {
    ResetStarField(); // the same stars whichever tests ran before
    InitStarField();
    Begin(1, 368, 500);
    std::vector<uint64_t> sums;
    for (int frame = 0; RoundTime(NowMilliseconds()) < 3100; ++frame) {
        const int32_t time = RoundTime(NowMilliseconds());
        Fire(frame % 8 == 0);
        Frames(1);
        const int32_t next = RoundTime(NowMilliseconds());
        if (frame == 0 || (time < 1000 && next >= 1000) || (time < 3000 && next >= 3000) || (time >= 3000 && sums.size() == 3))
            sums.push_back(FrameChecksum("round-" + std::to_string(sums.size())));
    }
    EXPECT_EQ(soundStarts[SOUND_ROUND_START], 1);
    HeadlessSetKey(KEY_1, true);
    Frames(1);
    sums.push_back(FrameChecksum("bonus"));
    EXPECT_EQ(sums, (std::vector<uint64_t>{7361125408785461842u, 1102186048717592985u, 5567172078881245719u,
                                          17576016320042554746u, 14283312574313105748u}));
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

// A whole game played by a script that aims and fires: every round's outcome is pinned.
TEST_F(Gameplay, AScriptedGameEndsWithItsExactScore) {
    Begin(1, 368, 536);
    int frames = 0;
    PlayOutcome outcome = PLAY_GOES_ON;
    std::vector<std::tuple<int, int, int>> rounds; // score, lives and frame at the end of each round
    while (outcome == PLAY_GOES_ON && frames < 20000) {
        int round = game.round;
        AimAndFire(frames++);
        outcome = RunGameFrame();
        if (game.round != round || outcome != PLAY_GOES_ON) rounds.emplace_back(game.score, game.lives, frames);
        ASSERT_LT(missileList.count + particleList.count, 400); // nothing piles up
    }
    EXPECT_EQ(outcome, PLAY_GAME_OVER);
    EXPECT_EQ(rounds, (std::vector<std::tuple<int, int, int>>{{1200, 2, 759}, {4350, 2, 1959}, {4350, 0, 2603}}));
}

TEST_F(Gameplay, ParticleLives) {
    // Explosions and sparks: sprites 130..139 over 23 frames, removed after the one that shows 139.
    for (float sizeStep : {-0.5f, 1.0f}) {
        ListClear(particleList);
        AddBurst(64, sizeStep, 100, 100);
        Particle* p = &particleList.first->record;
        std::vector<int> sprites; // while it lives on after its pass
        float size = 0, alpha = 0;
        int passes = 0;
        while (particleList.count > 0 && passes < 100) {
            RunParticlesPass();
            if (++passes, particleList.count > 0) sprites.push_back(p->sprite), size = p->size, alpha = p->alpha;
        }
        EXPECT_EQ(passes, 23); // the 23rd pass shows 139 and removes it
        ASSERT_EQ(sprites.size(), 22u);
        EXPECT_EQ(std::vector<int>(sprites.begin(), sprites.begin() + 6), (std::vector<int>{130, 130, 131, 131, 131, 132}));
        EXPECT_EQ(sprites.back(), 138);
        EXPECT_FLOAT_EQ(size, 64 + 22 * sizeStep);
        EXPECT_EQ(alpha, 255.0f);
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
