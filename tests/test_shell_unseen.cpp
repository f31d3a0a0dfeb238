// A minimised window: the game stands still, silent, with its clock held, and goes on afterwards as if it
// had never been away.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <utility>
#include <vector>

#include "gameplay/game.h"
#include "gameplay/objects.h"
#include "gameplay/play.h"
#include "platform/backend.h"
#include "shell/background.h"
#include "platform/timing.h"
#include "tests/test_shell_support.h"

namespace {

struct PlayState {
    uint64_t frame;
    int32_t score, lives;
    std::vector<float> objects;    // x, y of every listed object
    uint32_t now;                  // the game's clock, from the round's start
};

// The level of what the device plays next, pumped as a device would; music may take a few pumps to come.
int Loudest(int pumps) {
    int loudest = 0;
    for (int i = 0; i < pumps && loudest == 0; ++i) {
        int16_t out[1024];
        if (!HeadlessPumpAudio(out, 1024)) return -1;
        for (int16_t s : out) loudest = std::max(loudest, std::abs(int(s)));
        if (loudest == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return loudest;
}

class Unseen : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        HeadlessReset();
        SeedRandom(1);
        StartUp();                 // with the tune playing on the (threaded) device
        CreateGameLists();
    }

    // Round 1 from the same start every time, fire held: `before` frames, then (when `awayMs` is not 0) a
    // frame at whose end the window is minimised for awayMs, then `after` frames.
    static PlayState Play(int before, uint32_t awayMs, int after, std::function<void()> whileMinimised = nullptr) {
        HeadlessSetClock(uint32_t(BackendTicks() / 1000) + 1000);  // past the frame cap's last release
        HeadlessReleaseAllKeys();
        HeadlessOnFrame(nullptr);
        SeedRandom(1);
        ResetStarField();
        InitStarField();
        roundState = RoundState{};
        ResetGameState();
        CreateGameLists();
        game.round = 1;
        game.shipX = 368;
        game.shipY = 300;
        StartRound();
        HeadlessSetKey(KEY_LEFT_CONTROL, true);
        auto frames = [](int count) {
            for (int i = 0; i < count; ++i) EXPECT_EQ(RunGameFrame(), PLAY_GOES_ON) << i;
        };
        frames(before);
        if (awayMs) HeadlessOnFrame([&](int) { HeadlessMinimise(awayMs, whileMinimised); });
        frames(1);
        HeadlessOnFrame(nullptr);
        frames(after);
        PlayState state{FrameChecksum("unseen"), game.score, game.lives, {}, uint32_t(RoundTime(NowMilliseconds()))};
        for (SpaceObject* o = ListFirst(objectList); o; o = ListNext(objectList)) {
            state.objects.push_back(o->x);
            state.objects.push_back(o->y);
        }
        HeadlessReleaseAllKeys();
        return state;
    }
};

TEST_F(Unseen, AMinuteMinimisedInPlayLeavesNoTraceInTheGame) {
    const PlayState stayed = Play(300, 0, 300);
    ASSERT_GT(Loudest(200), 0) << "the music plays before the window is minimised";

    const int64_t ticksBefore = BackendTicks();
    const uint32_t unseenBefore = UnseenMilliseconds();
    int waits = 0, loudestAway = 0, framesAway = -1;
    uint32_t clockAway = 0;
    bool keysAway = true;
    const PlayState away = Play(300, 60000, 300, [&] {
        uint8_t keys[256];
        if (waits++ == 0) {
            clockAway = NowMilliseconds();
            framesAway = PresentedFrameCount();
        }
        EXPECT_EQ(NowMilliseconds(), clockAway) << "the clock held";
        EXPECT_EQ(PresentedFrameCount(), framesAway) << "no frame ran";
        loudestAway = std::max(loudestAway, Loudest(1));
        keysAway = keysAway && BackendReadKeys(keys);
    });

    EXPECT_GE(waits, 2);
    EXPECT_EQ(loudestAway, 0) << "music and effects stop";
    EXPECT_FALSE(keysAway) << "the held fire key reads as released";
    EXPECT_GE(BackendTicks() - ticksBefore, 60 * BackendTickFrequency());
    EXPECT_EQ(UnseenMilliseconds() - unseenBefore, 60000u);
    // Everything carries on from where it stood: the same objects at the same places, no ship lost, the
    // same picture as a game that was never minimised.
    EXPECT_EQ(away.now, stayed.now);
    EXPECT_EQ(away.score, stayed.score);
    EXPECT_EQ(away.lives, stayed.lives);
    EXPECT_EQ(away.objects, stayed.objects);
    EXPECT_EQ(away.frame, stayed.frame);
    EXPECT_GT(Loudest(200), 0) << "the music resumes";
    EXPECT_FALSE(HeadlessAudioPaused());
}

TEST_F(Unseen, ClosingAMinimisedWindowEndsTheWaitAndTheGame) {
    int waits = 0;
    const uint32_t unseenBefore = UnseenMilliseconds();
    bool first = true;
    HeadlessOnFrame([&](int) {
        if (!std::exchange(first, false)) return;
        HeadlessMinimise(3600000, [&] {
            if (++waits == 3) HeadlessRequestClose();
        });
    });
    int code = -1;
    try {
        for (int i = 0; i < 3; ++i) RunGameFrame();
    } catch (const HeadlessExit& exit) {
        code = exit.code;
    }
    EXPECT_EQ(code, 0);
    EXPECT_EQ(waits, 3);
    EXPECT_LT(UnseenMilliseconds() - unseenBefore, 1000u);
}

}  // namespace
