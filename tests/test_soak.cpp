// A long scripted session of the whole game on the headless backend, at full speed: a player who waits on
// the attract pages, starts games, steers, fires, skips rounds, dies or gives up, and types names into the
// hall of fame, over and over. Every frame checks that the game's lists stay within their bounds; every
// thousand frames the resident memory is sampled, and after the warm-up it must stay flat.
// VD_SOAK_FRAMES sets the length (./build.sh soak runs 100,000 frames under the sanitizers); the default
// is a short run for the ordinary test jobs.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "gameplay/game.h"
#include "gameplay/objects.h"
#include "gameplay/particles.h"
#include "gameplay/ship.h"
#include "platform/headless.h"
#include "platform/input.h"
#include "platform/random.h"
#include "platform/video.h"
#include "shell/hall_of_fame.h"
#include "shell/shell.h"
#include "tests/test_shell_support.h"

// AddressSanitizer holds freed blocks back for a while (256 MiB by default) before reusing them; with the
// lists' steady churn that reads as growth. A small quarantine keeps the check about the game's memory.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }

namespace {

constexpr int DEFAULT_FRAMES = 4000;
constexpr int LONG_RUN = 20000;                    // frames enough for every screen several times
constexpr int SAMPLE_EVERY = 1000;                 // frames between two memory samples
constexpr long MAX_GROWTH_KIB = 8 * 1024;          // after the warm-up
// Far above what a round can hold (its table is set up once; a missile lives a few dozen frames and
// leaves a few trail particles a frame), and far below what a list that never shrinks would reach.
constexpr int32_t MAX_OBJECTS = 100, MAX_MISSILES = 64, MAX_PARTICLES = 1500;
constexpr int GIVE_UP_FRAMES = 9000;               // a game still going after this many ends by Escape
constexpr int AUDIO_FRAMES = 44100 / 61 + 1;       // what the device plays in one capped frame

enum Phase { ATTRACT, PLAY, NAME_ENTRY };

// The process's memory in RAM (Windows calls it the working set); 0 when it cannot be read.
long ResidentKiB() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return long(counters.WorkingSetSize / 1024);
#else
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
#endif
}

struct Player {
    std::mt19937 rng{20261206};
    Phase phase = ATTRACT;
    int phaseFrame = 0;
    int waitFrames = 0;            // attract: frames to watch before pressing fire
    std::vector<int> heading;      // play: the arrow keys held
    int headingLeft = 0;
    std::string name;              // name entry: what is still to type
    int lastFrame = 0;
    // What happened, for the report and the checks.
    int games = 0, nameEntries = 0, maxRound = 0, roundsSkipped = 0, escapes = 0;
    int32_t maxObjects = 0, maxMissiles = 0, maxParticles = 0;
    std::vector<long> residentKiB;

    int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    void Enter(Phase next) {
        phase = next;
        phaseFrame = 0;
        HeadlessReleaseAllKeys();
        if (next == ATTRACT) waitFrames = Uniform(20, 1600);  // sometimes past a page change (20 s)
        if (next == NAME_ENTRY) {
            // Sometimes longer than the eight places, sometimes nothing at all ("nobody").
            const std::string letters = "abcdefghijklmnopqrstuvwxyz0123456789";
            name.clear();
            for (int n = Uniform(0, 11); n > 0; --n) name += letters[size_t(Uniform(0, 35))];
        }
    }

    // Called after each presented frame: checks, then the keys for the next frame.
    void OnFrame(int frame) {
        lastFrame = frame;
        maxObjects = std::max(maxObjects, objectList.count);
        maxMissiles = std::max(maxMissiles, missileList.count);
        maxParticles = std::max(maxParticles, particleList.count);
        maxRound = std::max(maxRound, game.round);
        ASSERT_LE(objectList.count, MAX_OBJECTS) << "frame " << frame;
        ASSERT_LE(missileList.count, MAX_MISSILES) << "frame " << frame;
        ASSERT_LE(particleList.count, MAX_PARTICLES) << "frame " << frame;
        ASSERT_LE(entryName.size(), 8u) << "frame " << frame;
        if (frame % SAMPLE_EVERY == 0) residentKiB.push_back(ResidentKiB());
        int16_t audio[AUDIO_FRAMES];
        HeadlessPumpAudio(audio, AUDIO_FRAMES);

        // The last frame of a lost or abandoned game: what follows is name entry, or the attract mode
        // (the test's loop switches to it when RunGame returns).
        if (phase == PLAY && game.leaveLoop == 1) Enter(NAME_ENTRY);
        else ++phaseFrame;
        if (phase == ATTRACT) Attract();
        else if (phase == PLAY) Play();
        else NameEntry();
    }

    void Attract() {
        HeadlessReleaseAllKeys();
        if (phaseFrame >= waitFrames) HeadlessSetKey(KEY_LEFT_CONTROL, true);
    }

    void Play() {
        HeadlessReleaseAllKeys();
        if (--headingLeft <= 0) {
            static const std::vector<std::vector<int>> headings = {
                {}, {KEY_UP}, {KEY_DOWN}, {KEY_LEFT}, {KEY_RIGHT}, {KEY_UP, KEY_LEFT}, {KEY_UP, KEY_RIGHT},
                {KEY_DOWN, KEY_LEFT}, {KEY_DOWN, KEY_RIGHT}};
            heading = headings[size_t(Uniform(0, int(headings.size()) - 1))];
            headingLeft = Uniform(10, 60);
        }
        for (int key : heading) HeadlessSetKey(key, true);
        if (phaseFrame % 2 == 0) HeadlessSetKey(KEY_LEFT_CONTROL, true);  // a missile on every press
        if (Uniform(0, 599) == 0) {
            HeadlessSetKey(KEY_1, true);  // ends the round at once, with its bonus
            ++roundsSkipped;
        }
        if (phaseFrame > GIVE_UP_FRAMES || Uniform(0, 19999) == 0) {
            HeadlessSetKey(KEY_ESCAPE, true);  // the game ends when it is released, next frame
            ++escapes;
            phaseFrame = 0;
        }
    }

    void NameEntry() {
        if (phaseFrame == 1) ++nameEntries;
        HeadlessReleaseAllKeys();
        if (phaseFrame % 2 == 1) return;  // every key goes up before the next goes down
        if (!name.empty()) {
            const char c = name.front();
            name.erase(0, 1);
            HeadlessSetKey(KeyFor(c), true);
        } else if (phaseFrame > 2 && Uniform(0, 3) == 0) {
            HeadlessSetKey(KEY_BACKSPACE, true);
        } else {
            HeadlessSetKey(Uniform(0, 1) ? KEY_RETURN : KEY_LEFT_CONTROL, true);  // either ends the entry
        }
    }
};

int SoakFrames() {
    const char* text = std::getenv("VD_SOAK_FRAMES");
    return text ? std::max(SAMPLE_EVERY * 4, std::atoi(text)) : DEFAULT_FRAMES;
}

TEST(Soak, ScriptedGamesKeepMemoryFlatAndListsBounded) {
    const int frames = SoakFrames();
    Player player;
    HeadlessReset();
    SeedRandom(7);
    HeadlessOnFrame([&player, frames](int frame) {
        player.OnFrame(frame);
        // Ends the program from whatever screen is showing, at the end or at the first fault.
        if (frame >= frames || testing::Test::HasFailure()) {
            HeadlessRequestClose();
            HeadlessSetKey(KEY_ESCAPE, true);
        }
    });
    int exitCode = -1;
    try {
        StartUp();
        attractPage = 0;
        for (;;) {
            player.Enter(ATTRACT);
            RunAttractMode();
            player.Enter(PLAY);
            ++player.games;
            RunGame();
        }
    } catch (const HeadlessExit& exit) {
        exitCode = exit.code;
    }
    HeadlessOnFrame(nullptr);
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(testing::Test::HasFailure()) << "stopped at frame " << player.lastFrame;
    ASSERT_GE(player.lastFrame, frames);

    const std::vector<long>& kib = player.residentKiB;
    const size_t warm = kib.size() / 4;  // the first quarter warms up: sprites, voices, the allocator's pools
    const long settled = kib[warm], peak = *std::max_element(kib.begin() + long(warm), kib.end());
    std::printf("soak: %d frames, %d games, %d name entries, round %d reached, %d rounds skipped, %d escapes\n"
                "soak: most objects %d, missiles %d, particles %d; resident %ld KiB after warm-up, %ld KiB peak, "
                "%ld KiB at the end\n",
                player.lastFrame, player.games, player.nameEntries, player.maxRound, player.roundsSkipped,
                player.escapes, player.maxObjects, player.maxMissiles, player.maxParticles, settled, peak,
                kib.back());
    EXPECT_LE(peak - settled, MAX_GROWTH_KIB);
    // The script really played; a long run must also have gone through several games and name entries.
    EXPECT_GE(player.games, 1);
    EXPECT_GT(player.maxMissiles, 0);
    EXPECT_GT(player.maxParticles, 0);
    if (frames >= LONG_RUN) {
        EXPECT_GE(player.games, 5);
        EXPECT_GE(player.nameEntries, 2);
        EXPECT_GE(player.maxRound, 3);
    }
}

} // namespace
