// The program's frame loops as a player meets them: start-up, the attract loop, and the ways out.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "gameplay/game.h"
#include "platform/headless.h"
#include "platform/input.h"
#include "platform/timing.h"
#include "platform/video.h"
#include "shell/shell.h"

namespace {
// Runs the whole program until it ends, with `script` called at every presented frame; returns the exit
// code, or -1 when the program was still running after `frames` frames.
int RunProgram(const std::function<void(int)>& script, bool audioDevice = true, int frames = 2000) {
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
}  // namespace

TEST(ShellMain, EscapeOnTheAttractPagesEndsTheProgramWithCodeZero) {
    int attractFrames = 0;
    int code = RunProgram([&](int frame) {
        if (frame > 11) ++attractFrames;  // the loading screen shows eleven frames first
        if (frame == 40) HeadlessSetKey(KEY_ESCAPE, true);
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(attractFrames, 29);  // nothing is presented after the frame that saw Escape
}

TEST(ShellMain, ClosingTheWindowEndsTheProgram) {
    EXPECT_EQ(RunProgram([](int frame) {
                  if (frame == 30) HeadlessRequestClose();
              }),
              0);
}

TEST(ShellMain, FireOnTheAttractPagesStartsAGameAndEscapeInPlayEndsIt) {
    int framesAfterFire = -1;
    int code = RunProgram([&](int frame) {
        if (frame == 20) HeadlessSetKey(KEY_LEFT_CONTROL, true);
        if (frame == 21) HeadlessSetKey(KEY_LEFT_CONTROL, false);
        if (frame > 20 && game.round == 1 && roundState.roundStartMs != 0 && framesAfterFire < 0) framesAfterFire = frame;
        if (frame == 60) HeadlessSetKey(KEY_ESCAPE, true);   // in play Escape ends the game on release
        if (frame == 61) HeadlessSetKey(KEY_ESCAPE, false);
        if (frame == 90) HeadlessSetKey(KEY_ESCAPE, true);   // back on the attract pages: quit
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(framesAfterFire, 22);  // frame 21 saw fire; the first frame of play is the next one
}

TEST(ShellMain, TheGameRunsSilentlyWithoutAnAudioDevice) {
    int code = RunProgram([](int frame) {
        if (frame == 30) HeadlessSetKey(KEY_ESCAPE, true);
    }, false);
    EXPECT_EQ(code, 0);
}

namespace {
int ThreadCount() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
    return -1;
}
}  // namespace

TEST(ShellMain, EveryEndingStopsTheAudioAndSaysWhyOnFailure) {
    // Ends while the tune's reporting thread runs, and a start that fails; the fake clock shows how long
    // the loading hold takes to answer a close request made as its first frame is shown.
    const int threads = ThreadCount();
    const struct { const char* name; std::function<void(int)> script; bool display; int code, lines; } endings[] = {
        {"escape", [](int f) { if (f == 40) HeadlessSetKey(KEY_ESCAPE, true); }, true, 0, 0},
        {"close box", [](int f) { if (f == 40) HeadlessRequestClose(); }, true, 0, 0},
        {"close while loading", [](int f) { if (f == 11) HeadlessRequestClose(); }, true, 0, 0},
        {"no display", [](int) {}, false, 1, 1},
    };
    for (const auto& ending : endings) {
        uint32_t closedAt = 0;
        testing::internal::CaptureStderr();
        int code = -2;
        if (ending.display) {
            code = RunProgram([&](int frame) {
                ending.script(frame);
                if (frame == 11) closedAt = NowMilliseconds();
            });
        } else {
            HeadlessReset();
            HeadlessSetDisplayAvailable(false);
            try {
                GameMain();
            } catch (const HeadlessExit& exit) {
                code = exit.code;
            }
        }
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, ending.code) << ending.name;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), ending.lines) << ending.name << ": " << said;
        EXPECT_EQ(ThreadCount(), threads) << ending.name;
        if (std::string(ending.name) == "close while loading") {
            EXPECT_LE(NowMilliseconds() - closedAt, 10u);
        }
    }
}

TEST(ShellMain, AJoystickPluggedInAfterStartUpStartsAGame) {
    int firstPlayFrame = -1;
    uint32_t staleStart = 0;                   // a round start left over from an earlier test
    const int code = RunProgram([&](int frame) {
        if (frame == 30) {
            staleStart = roundState.roundStartMs;
            HeadlessPlugJoystick(0, true);
            HeadlessSetJoystick(0, 0, 0, 1u);
        }
        if (frame == 31) HeadlessPlugJoystick(0, false);  // pulled out with fire held: read as released
        if (frame > 30 && firstPlayFrame < 0 && roundState.roundStartMs != staleStart) firstPlayFrame = frame;
        if (frame == 60) HeadlessSetKey(KEY_ESCAPE, true);
        if (frame == 61) HeadlessSetKey(KEY_ESCAPE, false);
        if (frame == 90) HeadlessSetKey(KEY_ESCAPE, true);
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(firstPlayFrame, 32);  // and code 0: back on the attract pages no game starts by itself
}
