// Number padding and the background scene's star field and spin, drawn with a hand-made glow so that the
// results do not depend on the art; the font and the whole screens are pinned by the golden frames.
#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "assets/catalogue.h"
#include "platform/headless.h"
#include "platform/random.h"
#include "platform/sprites.h"
#include "platform/video.h"
#include "shell/background.h"
#include "shell/font.h"

namespace {
uint32_t Screen(int x, int y) { return BackBufferPixels()[y * SCREEN_WIDTH + x]; }

void MakeGlow(int side) {
    ASSERT_TRUE(CreateBlankSprite(SPRITE_GLOW, side, side, SPRITE_FLAG_TEXTURE));
    ASSERT_TRUE(BeginPixelAccess(SpritePixelTarget(SPRITE_GLOW)));
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) WritePixel(x, y, MakeColour(50, 100, 200));  // blue 200
    EndPixelAccess();
    ASSERT_TRUE(CreateTransformedSprite(SPRITE_GLOW, SPRITE_GLOW));
}

class Graphics : public ::testing::Test {
protected:
    void SetUp() override {
        HeadlessReset();
        ShutdownSpriteSystem();
        InitTransformedSprites();
        SetDrawTarget(-1);
        ClearFrame(0);
    }
    void BackgroundFrame() {
        ClearFrame(0);
        ASSERT_TRUE(BeginTransformedBatch());
        DrawBackground();
        EndTransformedBatch();
    }
};
}  // namespace

TEST_F(Graphics, PadDigitsKeepsTheLastDigits) {
    for (auto [value, width, text] : {std::tuple{12345, 6, "012345"}, {999999, 6, "999999"}, {1000000, 6, "000000"},
                                      {7, 2, "07"}, {0, 0, ""}})
        EXPECT_EQ(PadDigits(value, width), text) << value;
}

TEST_F(Graphics, StarsRestartFarAwayAndGrowAsTheyNear) {
    MakeGlow(32);
    SeedRandom(7);
    InitStarField();
    starSpin = 0;  // no turn: positions stay as set
    for (int i = 0; i < STAR_COUNT; ++i) starX[i] = 1 << 20, starY[i] = 0, starZ[i] = 100;  // off the screen
    starX[0] = -900, starY[0] = -600, starZ[0] = 4;      // next frame depth 3 at (100, 100)
    starX[1] = -76500, starY[1] = 0, starZ[1] = 256;     // next frame depth 255 at (100, 300)
    starX[2] = 5, starY[2] = 7, starZ[2] = 3;            // reaches 2: starts again at 255
    BackgroundFrame();
    EXPECT_EQ(starZ[0], 3);
    EXPECT_EQ(std::make_tuple(starX[2], starY[2], starZ[2]), std::make_tuple(5, 7, 255));
    // Depth 3: size 12, alpha 252, added light.
    EXPECT_NEAR(int(Screen(100, 100) >> 16), 200 * 253 / 256, 1);
    EXPECT_NE(Screen(111, 111), 0u);
    for (auto [x, y] : {std::pair{112, 105}, {105, 112}, {99, 105}}) EXPECT_EQ(Screen(x, y), 0u) << x << "," << y;
    // Depth 255: size 4 and alpha 0, so nothing shows.
    EXPECT_EQ(starZ[1], 255);
    for (int x = 98; x < 106; ++x) EXPECT_EQ(Screen(x, 301), 0u);
}

// Start-up resets the field at clock 0 and the first attract frame comes about a second later: the turn
// must get its first random target there, not seven seconds on, and a new one only after more than 7000 ms.
TEST_F(Graphics, SpinDrawsItsFirstTargetAtOnceThenAfterMoreThanSevenSeconds) {
    ResetStarField();
    SeedRandom(5);
    const uint32_t draws[2] = {RandomUpTo(700), RandomUpTo(700)};
    SeedRandom(5);
    HeadlessSetClock(1200);
    UpdateStarSpin(1200);
    EXPECT_EQ(spinStartMs, 1200u);
    EXPECT_FLOAT_EQ(starSpinTarget, (int(draws[0]) - 350) / 10000.0f);
    const float target = starSpinTarget;
    HeadlessSetClock(8200);
    UpdateStarSpin(8200);  // exactly 7000 ms: not yet
    EXPECT_EQ(spinStartMs, 1200u);
    EXPECT_EQ(starSpinTarget, target);
    HeadlessSetClock(8205);
    UpdateStarSpin(8201);  // the timer restarts from a fresh reading, not from the frame's
    EXPECT_EQ(spinStartMs, 8205u);
    EXPECT_FLOAT_EQ(starSpinTarget, (int(draws[1]) - 350) / 10000.0f);
}

