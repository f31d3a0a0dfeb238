// The program's frame loops as a player meets them: start-up, the attract loop, and the ways out.
#include <gtest/gtest.h>

#include "gameplay/game.h"
#include "platform/headless.h"
#include "platform/input.h"
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
