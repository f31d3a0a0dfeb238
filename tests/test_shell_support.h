#pragma once
// Scripted play for the shell suites: a fresh headless platform per test, and keys held frame by frame.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "gameplay/game.h"
#include "platform/headless.h"
#include "platform/input.h"
#include "platform/random.h"
#include "platform/sprites.h"
#include "platform/video.h"
#include "shell/hall_of_fame.h"
#include "shell/shell.h"
#include "tools/png.h"

using KeyFrames = std::vector<std::vector<int>>;  // the keys held in each frame, first frame first

constexpr int KEY_LEFT_SHIFT = 0x2A;

// The set-1 key that types c on the headless backend's US layout; 0 for none.
inline int KeyFor(char c) {
    static const struct {
        int first;
        const char* keys;
    } rows[] = {{0x02, "1234567890-="}, {0x10, "qwertyuiop[]"}, {0x1E, "asdfghjkl;'`"}, {0x2B, "\\zxcvbnm,./"}};
    for (const auto& row : rows)
        for (int i = 0; row.keys[i]; ++i)
            if (row.keys[i] == c) return row.first + i;
    return c == ' ' ? 0x39 : 0;
}

// Each key pressed for one frame and released in the next, Shift held through both when asked.
inline KeyFrames Press(const std::vector<int>& keys, bool shift = false) {
    KeyFrames frames;
    for (int key : keys) {
        frames.push_back(shift ? std::vector<int>{KEY_LEFT_SHIFT, key} : std::vector<int>{key});
        frames.push_back(shift ? std::vector<int>{KEY_LEFT_SHIFT} : std::vector<int>{});
    }
    return frames;
}

inline KeyFrames Typing(const std::string& text, bool shift = false) {
    std::vector<int> keys;
    for (char c : text) keys.push_back(KeyFor(c));
    return Press(keys, shift);
}

inline KeyFrames operator+(KeyFrames a, const KeyFrames& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Holds the keys of frames[0] now and those of frames[n] after the n-th frame presented from here on,
// after calling seen(n) with that frame still in the back buffer; every key is up once the script has run out.
inline void PlayKeys(const KeyFrames& frames, std::function<void(int)> seen = nullptr) {
    auto hold = [frames](size_t n) {
        HeadlessReleaseAllKeys();
        if (n < frames.size())
            for (int key : frames[n]) HeadlessSetKey(key, true);
    };
    hold(0);
    int first = PresentedFrameCount();
    HeadlessOnFrame([hold, first, seen](int) {
        int n = PresentedFrameCount() + 1 - first;
        if (seen) seen(n);
        hold(size_t(n));
    });
}

// Runs the whole program until it ends, with `script` called at every presented frame; returns the exit
// code, or -1 when the program was still running after `frames` frames.
inline int RunProgram(const std::function<void(int)>& script, bool audioDevice = true, int frames = 2000) {
    HeadlessReset();
    HeadlessSetAudioAvailable(audioDevice);
    HeadlessSetRandomSeed(7);
    struct StillRunning {};
    HeadlessOnFrame([&](int frame) {
        if (frame > frames) throw StillRunning{};
        script(frame);
    });
    try {
        GameMain();
    } catch (const HeadlessExit& exit) {
        return exit.code;
    } catch (const StillRunning&) {
        return -1;
    }
    return -2;
}

// FNV-1a over the back buffer. With VD_FRAME_DIR set the frame is also written there as name.png, to be
// looked at before its checksum is taken as the golden one.
inline uint64_t FrameChecksum(const std::string& name) {
    const uint32_t* pixels = BackBufferPixels();
    if (const char* dir = std::getenv("VD_FRAME_DIR"))
        WritePng(std::string(dir) + "/" + name + ".png", pixels, SCREEN_WIDTH, SCREEN_HEIGHT);
    uint64_t hash = 14695981039346656037ull;
    for (int i = 0; i < SCREEN_WIDTH * SCREEN_HEIGHT; ++i) hash = (hash ^ pixels[i]) * 1099511628211ull;
    return hash;
}

// A headless platform with an open screen and the shell's globals at their start-up values; no
// graphics are loaded, so the frames stay black but every loop runs as in the game.
class ShellTest : public testing::Test {
protected:
    void SetUp() override {
        HeadlessReset();
        ASSERT_EQ(InitSpriteSystem(), 1);
        ASSERT_EQ(InitTransformedSprites(), 1);
        ResetShellState();
        joystickCount = DetectJoysticks();
        ASSERT_NE(OpenScreenInWindow(OpenGameWindow(0, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, "test", WINDOW_FLAGS),
                                     0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, 1, 0, 0),
                  0);
        ResetHallOfFame();
        game = GameState{};
    }
    void TearDown() override { EXPECT_EQ(ExitCode([] { ExitGame(); }), 0); }

    // Runs body and returns the exit code it ended the program with, or -1 when it returned.
    template <class Body> static int ExitCode(Body body) {
        try {
            body();
        } catch (const HeadlessExit& exit) {
            return exit.code;
        }
        return -1;
    }
};

// The whole start-up with a fixed random seed: graphics, font, star field and tune as in the game, so that
// frames can be compared with golden checksums.
class LoadedShellTest : public ShellTest {
protected:
    void SetUp() override {
        HeadlessReset();
        SeedRandom(7);
        StartUp();
        ResetGameState();
    }
};
