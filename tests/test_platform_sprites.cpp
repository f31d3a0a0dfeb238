// The software renderer: 2D copies, clipping, tinting, pixel access and transformed quads.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

#include "platform/sprites.h"
#include "platform/sprites_internal.h"
#include "platform/video.h"

namespace {
constexpr int SPRITE = 10, OTHER = 11;

uint32_t Screen(int x, int y) { return BackBufferPixels()[y * SCREEN_WIDTH + x]; }

// A sprite filled by a function of its pixel position, made with the renderer's own calls.
void MakeSprite(int id, int w, int h, int flags, const std::function<uint32_t(int, int)>& colour) {
    ASSERT_TRUE(CreateBlankSprite(id, w, h, flags));
    ASSERT_TRUE(BeginPixelAccess(SpritePixelTarget(id)));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) WritePixel(x, y, colour(x, y));
    EndPixelAccess();
}

// Every texel distinct, with a few key (black) texels.
uint32_t Pattern(int x, int y) { return (x + y) % 7 == 3 ? 0 : MakeColour(8 * x + 1, 8 * y + 1, (x * y) & 0xFF); }

class Sprites : public ::testing::Test {
protected:
    void SetUp() override {
        ShutdownSpriteSystem();
        InitTransformedSprites();
        SetDrawTarget(-1);
        ClearFrame(0);
    }
    void Draw(int id, int x, int y, int alpha, int source, int destination) {
        ASSERT_TRUE(BeginTransformedBatch());
        SetTransformedBlend(source, destination);
        DrawTransformedSpriteAlpha(id, x, y, alpha);
        EndTransformedBatch();
    }
};
}  // namespace

TEST_F(Sprites, CopyClipsAtTheLeftAndRightEdges) {
    MakeSprite(SPRITE, 32, 4, 0, [](int x, int) { return uint32_t(x + 1); });
    DrawSprite(SPRITE, -10, 0);
    EXPECT_EQ(Screen(0, 0), 11u);   // column 10
    EXPECT_EQ(Screen(21, 3), 32u);  // column 31
    EXPECT_EQ(Screen(22, 0), 0u);
    DrawSprite(SPRITE, 790, 10);
    EXPECT_EQ(Screen(790, 10), 1u);
    EXPECT_EQ(Screen(799, 13), 10u);
    DrawSprite(SPRITE, -32, 20);  // wholly outside
    EXPECT_EQ(Screen(0, 20), 0u);
}

TEST_F(Sprites, KeyedCopySkipsTheKeyColour) {
    ClearFrame(MakeColour(1, 2, 3));
    MakeSprite(SPRITE, 2, 1, 0, [](int x, int) { return x == 0 ? 0u : 0xFFFFFFu; });
    DrawSpriteKeyed(SPRITE, 0, 0);
    EXPECT_EQ(Screen(0, 0), MakeColour(1, 2, 3));
    EXPECT_EQ(Screen(1, 0), 0xFFFFFFu);
    SetSpriteKeyColour(SPRITE, 0xFFFFFF);  // the masks' white key
    DrawSpriteKeyed(SPRITE, 0, 1);
    EXPECT_EQ(Screen(0, 1), 0u);
    EXPECT_EQ(Screen(1, 1), MakeColour(1, 2, 3));
}

TEST_F(Sprites, ClipIsCutToThePictureAndReset) {
    ASSERT_TRUE(CreateBlankSprite(SPRITE, 575, 23, 0));
    SetSpriteClip(SPRITE, 560, 0, 16, 24);
    EXPECT_EQ(GetSpriteWidth(SPRITE), 15);
    EXPECT_EQ(GetSpriteHeight(SPRITE), 23);
    SetSpriteClip(SPRITE, -1, -1, -1, -1);
    EXPECT_EQ(GetSpriteWidth(SPRITE), 575);
    SetSpriteClip(SPRITE, 600, 0, 16, 24);  // beyond the picture: nothing to copy, nothing read
    DrawSprite(SPRITE, 0, 0);
}

TEST_F(Sprites, TintSaturatesEachChannelWithinTheTarget) {
    MakeSprite(SPRITE, 4, 4, 0, [](int, int) { return MakeColour(10, 200, 30); });
    SetDrawTarget(SPRITE);
    TintRectangle(-2, -2, 4, 100, 250, 90, 0);  // clipped to columns 0..1
    SetDrawTarget(-1);
    ASSERT_TRUE(BeginPixelAccess(SpritePixelTarget(SPRITE)));
    EXPECT_EQ(ReadPixel(1, 3), MakeColour(255, 255, 30));
    EXPECT_EQ(ReadPixel(2, 0), MakeColour(10, 200, 30));
    EXPECT_EQ(ReadPixel(4, 0), 0u);  // outside
    EndPixelAccess();
}

TEST_F(Sprites, DrawTargetAndClearFrame) {
    ASSERT_TRUE(CreateBlankSprite(SPRITE, 3, 3, 0));
    SetDrawTarget(SPRITE);
    ClearFrame(0x123456);
    SetDrawTarget(OTHER);  // empty: the target stays
    ClearFrame(0x123456);
    SetDrawTarget(-1);
    EXPECT_EQ(Screen(0, 0), 0u);
    ASSERT_TRUE(BeginPixelAccess(SpritePixelTarget(SPRITE)));
    EXPECT_EQ(ReadPixel(2, 2), 0x123456u);
    EXPECT_EQ(SpritePixelTarget(SPRITE), 0);  // one access at a time
    EndPixelAccess();
    EXPECT_NE(SpritePixelTarget(SPRITE), 0);
}

TEST_F(Sprites, UnrotatedQuadReproducesTheSpriteWithEitherFilter) {
    MakeSprite(SPRITE, 24, 20, SPRITE_FLAG_TEXTURE, Pattern);
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    for (int filter = 0; filter <= 1; ++filter) {
        SetTransformedFilter(filter);
        ClearFrame(MakeColour(5, 6, 7));
        Draw(SPRITE, 100, 50, 255, 5, 6);
        for (int y = -1; y <= 20; ++y)
            for (int x = -1; x <= 24; ++x) {
                const bool inside = x >= 0 && y >= 0 && x < 24 && y < 20;
                const uint32_t expected = inside && Pattern(x, y) != 0 ? Pattern(x, y) : MakeColour(5, 6, 7);
                ASSERT_EQ(Screen(100 + x, 50 + y), expected) << "filter " << filter << " at " << x << "," << y;
            }
    }
}

TEST_F(Sprites, QuarterTurnCoversTheSameSquare) {
    MakeSprite(SPRITE, 32, 32, SPRITE_FLAG_TEXTURE, [](int x, int y) { return x == 0 && y == 0 ? 0xFF0000u : 0x000100u; });
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    RotateTransformedSprite(SPRITE, 90, 0);
    Draw(SPRITE, 100, 100, 255, 5, 6);
    int covered = 0;
    for (int y = 90; y < 142; ++y)
        for (int x = 90; x < 142; ++x)
            if (Screen(x, y) != 0) {
                ++covered;
                EXPECT_TRUE(x >= 100 && x < 132 && y >= 100 && y < 132) << x << "," << y;
            }
    EXPECT_EQ(covered, 32 * 32);
    EXPECT_EQ(Screen(131, 100), 0xFF0000u);  // top-left texel, now at the top-right
    // Nine relative turns of 10 degrees land on the same picture.
    ClearFrame(0);
    RotateTransformedSprite(SPRITE, 0, 0);
    for (int i = 0; i < 9; ++i) RotateTransformedSprite(SPRITE, 10, 1);
    Draw(SPRITE, 100, 100, 255, 5, 6);
    EXPECT_EQ(Screen(131, 100), 0xFF0000u);
    EXPECT_EQ(Screen(132, 100), 0u);
}

TEST_F(Sprites, NegativeSizeTurnsHalfAboutTheSameCentre) {
    MakeSprite(SPRITE, 8, 8, SPRITE_FLAG_TEXTURE, [](int x, int y) { return x == 0 && y == 0 ? 0xFF0000u : 0x000100u; });
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    SetTransformedSize(SPRITE, -8, -8);
    Draw(SPRITE, 108, 108, 255, 5, 6);  // placed as a particle is: centre 104 minus half the size (-4)
    EXPECT_EQ(Screen(100, 100), 0x000100u);
    EXPECT_EQ(Screen(107, 107), 0xFF0000u);
    EXPECT_EQ(Screen(108, 108), 0u);
    EXPECT_EQ(Screen(99, 99), 0u);
}

TEST_F(Sprites, AlphaUsesOnlyItsLowEightBits) {
    MakeSprite(SPRITE, 4, 4, SPRITE_FLAG_TEXTURE, [](int, int) { return MakeColour(200, 100, 50); });
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    ClearFrame(MakeColour(10, 20, 30));
    Draw(SPRITE, 0, 0, 256, 5, 6);
    EXPECT_EQ(Screen(1, 1), MakeColour(10, 20, 30));
    Draw(SPRITE, 0, 0, 256 + 255, 5, 6);
    EXPECT_EQ(Screen(1, 1), MakeColour(200, 100, 50));
    ClearFrame(MakeColour(10, 20, 30));
    Draw(SPRITE, 0, 0, 128, 5, 6);  // half and half
    EXPECT_NEAR(int(Screen(1, 1) & 0xFF), 105, 1);
    ClearFrame(MakeColour(10, 20, 30));
    Draw(SPRITE, 0, 0, 128, 5, 7);  // half the light added
    EXPECT_NEAR(int(Screen(1, 1) & 0xFF), 110, 1);
    EXPECT_NEAR(int((Screen(1, 1) >> 16) & 0xFF), 55, 1);
}

TEST_F(Sprites, AdditiveBlendDoublesAndClamps) {
    MakeSprite(SPRITE, 4, 4, SPRITE_FLAG_TEXTURE, [](int, int) { return MakeColour(100, 200, 3); });
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    ASSERT_TRUE(BeginTransformedBatch());
    SetTransformedBlend(7, 7);
    DrawTransformedSpriteAlpha(SPRITE, 0, 0, 0);  // (7, 7) ignores the draw's alpha
    DrawTransformedSprite(SPRITE, 0, 0);
    EndTransformedBatch();
    EXPECT_EQ(Screen(2, 2), MakeColour(200, 255, 6));
}

TEST_F(Sprites, SharedEdgeOfTheTwoTrianglesIsDrawnOnce) {
    MakeSprite(SPRITE, 16, 16, SPRITE_FLAG_TEXTURE, [](int, int) { return MakeColour(10, 10, 10); });
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    for (float degrees : {0.0f, 30.0f, 45.0f, 137.0f}) {
        for (int size : {16, 45, -33}) {
            ClearFrame(0);
            SetTransformedSize(SPRITE, size, size);
            RotateTransformedSprite(SPRITE, degrees, 0);
            Draw(SPRITE, 300, 200, 255, 7, 7);
            // With additive light a doubled pixel shows 20; a missed one inside the quad shows 0.
            const double centre = (size - 1) / 2.0, half = std::abs(size) / 2.0 - 1.0;
            const double c = std::cos(degrees * std::numbers::pi / 180), s = std::sin(degrees * std::numbers::pi / 180);
            for (int y = 100; y < 320; ++y)
                for (int x = 200; x < 420; ++x) {
                    const uint32_t value = Screen(x, y);
                    ASSERT_TRUE(value == 0 || value == MakeColour(10, 10, 10)) << degrees << " " << size;
                    const double dx = x - 300 - centre, dy = y - 200 - centre;
                    if (std::abs(c * dx + s * dy) < half && std::abs(-s * dx + c * dy) < half) {
                        ASSERT_EQ(value, MakeColour(10, 10, 10)) << degrees << " " << size << " " << x << "," << y;
                    }
                }
        }
    }
}

TEST_F(Sprites, BilinearEdgesHaveNoDarkFringe) {
    // A white square on a key background, magnified over grey: no pixel may come out below the grey.
    MakeSprite(SPRITE, 8, 8, SPRITE_FLAG_TEXTURE, [](int x, int y) { return x >= 2 && x < 6 && y >= 2 && y < 6 ? 0xFFFFFFu : 0u; });
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    SetTransformedFilter(1);
    ClearFrame(MakeColour(128, 128, 128));
    SetTransformedSize(SPRITE, 64, 64);
    RotateTransformedSprite(SPRITE, 20, 0);
    Draw(SPRITE, 100, 100, 255, 5, 6);
    int brighter = 0;
    for (int y = 80; y < 190; ++y)
        for (int x = 80; x < 190; ++x) {
            for (int shift : {0, 8, 16}) ASSERT_GE((Screen(x, y) >> shift) & 0xFF, 128u);
            brighter += Screen(x, y) != MakeColour(128, 128, 128);
        }
    EXPECT_GT(brighter, 32 * 32 / 2);
}

TEST_F(Sprites, QuadsAreClippedToTheBackBuffer) {
    MakeSprite(SPRITE, 16, 16, SPRITE_FLAG_TEXTURE, [](int, int) { return 0x0000FFu; });
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    SetTransformedFilter(1);
    SetTransformedSize(SPRITE, 2000, 2000);
    RotateTransformedSprite(SPRITE, 33, 0);
    Draw(SPRITE, -600, -700, 255, 5, 6);
    EXPECT_EQ(Screen(400, 300), 0x0000FFu);
    SetTransformedSize(SPRITE, 40, 40);
    for (int x : {-45, -20, 780, 1 << 24}) Draw(SPRITE, x, x, 255, 7, 7);
    EXPECT_EQ(Screen(799, 599), 0x0000FFu);
}

TEST_F(Sprites, TwinSeesLaterDrawingAndOutlivesItsSprite) {
    ASSERT_TRUE(CreateBlankSprite(SPRITE, 4, 4, SPRITE_FLAG_TEXTURE));
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    SetDrawTarget(SPRITE);
    ClearFrame(0x00FF00);  // drawn after the twin was made, as tinted sprites are
    SetDrawTarget(-1);
    Draw(SPRITE, 0, 0, 255, 5, 6);
    EXPECT_EQ(Screen(0, 0), 0x00FF00u);
    MakeSprite(SPRITE, 4, 4, SPRITE_FLAG_TEXTURE, [](int, int) { return 0xFFu; });  // a new sprite, old twin
    Draw(SPRITE, 10, 0, 255, 5, 6);
    EXPECT_EQ(Screen(10, 0), 0x00FF00u);
}

TEST_F(Sprites, VectorSpansGiveThePlainResults) {
    if (!SetVectorSpans(true)) GTEST_SKIP() << "no AVX2 here";
    MakeSprite(SPRITE, 24, 20, SPRITE_FLAG_TEXTURE, Pattern);
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    SetTransformedFilter(1);
    std::vector<uint32_t> frames[2];
    for (int plain = 0; plain <= 1; ++plain) {
        SetVectorSpans(plain == 0);
        ClearFrame(MakeColour(40, 80, 120));
        const int blends[3][2] = {{5, 6}, {5, 7}, {7, 7}};
        for (int i = 0; i < 60; ++i) {
            ASSERT_TRUE(BeginTransformedBatch());
            SetTransformedBlend(blends[i % 3][0], blends[i % 3][1]);
            SetTransformedSize(SPRITE, 3 + 7 * i % 90, 3 + 7 * i % 90 * (i % 2 ? -1 : 1));
            RotateTransformedSprite(SPRITE, 17.0f * float(i), 0);
            DrawTransformedSpriteAlpha(SPRITE, (i * 97) % 820 - 20, (i * 61) % 620 - 20, 40 * i);
            EndTransformedBatch();
        }
        frames[plain].assign(BackBufferPixels(), BackBufferPixels() + SCREEN_WIDTH * SCREEN_HEIGHT);
    }
    SetVectorSpans(true);
    EXPECT_TRUE(frames[0] == frames[1]);
}
