// The program's frame loops as a player meets them: start-up, the attract loop, and the ways out.
#include <algorithm>
#include <fstream>
#include <string>

#include "platform/timing.h"
#include "tests/test_shell_support.h"

// The loading screen shows eleven frames, its bar growing; Escape on the attract pages stops the music,
// waits 100 ms and ends the program with code 0, presenting nothing after the frame that saw it.
TEST(ShellMain, LoadingThenEscapeOnTheAttractPagesEndsTheProgram) {
    int attractFrames = 0;
    uint32_t lastFrameMs = 0;
    uint64_t loading = 0;
    int code = RunProgram([&](int frame) {
        if (frame <= 11) loading = loading * 31 + FrameChecksum("loading-" + std::to_string(frame));
        if (frame > 11) ++attractFrames;
        if (frame == 40) HeadlessSetKey(KEY_ESCAPE, true);
        lastFrameMs = NowMilliseconds();
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(attractFrames, 29);
    EXPECT_EQ(NowMilliseconds() - lastFrameMs, 10u + 100u);
    EXPECT_EQ(loading, 8436605661404217086u);
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
        EXPECT_TRUE(std::string(ending.name) != "close while loading" || NowMilliseconds() - closedAt <= 10u) << closedAt;
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
