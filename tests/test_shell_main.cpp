// The program's frame loops as a player meets them: start-up, the attract loop, and the ways out.
#include <string>

#include "platform/timing.h"
#include "tests/test_shell_support.h"

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

TEST(ShellMain, ClosingTheWindowEndsTheProgram) {
    EXPECT_EQ(RunProgram([](int frame) {
                  if (frame == 30) HeadlessRequestClose();
              }),
              0);
}

