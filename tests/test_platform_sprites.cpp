// The software renderer: 2D copies, clipping, tinting, pixel access and transformed quads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <numbers>
#include <utility>

#include "platform/sprites.h"
#include "platform/sprites_internal.h"
#include "platform/video.h"
#include "tools/png.h"

namespace {
constexpr int SPRITE = 10, OTHER = 11, THIRD = 12;

uint32_t Screen(int x, int y) { return BackBufferPixels()[y * SCREEN_WIDTH + x]; }

std::vector<uint32_t> CopyOfFrame() { return {BackBufferPixels(), BackBufferPixels() + SCREEN_WIDTH * SCREEN_HEIGHT}; }

// FNV-1a over the back buffer. With VD_FRAME_DIR set the frame is also written there as name.png, to be
// looked at before its checksum is taken as the golden one.
uint64_t FrameChecksum(const std::string& name) {
    if (const char* dir = std::getenv("VD_FRAME_DIR")) WritePng(std::string(dir) + "/" + name + ".png", BackBufferPixels(), SCREEN_WIDTH, SCREEN_HEIGHT);
    uint64_t hash = 14695981039346656037ull;
    for (int i = 0; i < SCREEN_WIDTH * SCREEN_HEIGHT; ++i) hash = (hash ^ BackBufferPixels()[i]) * 1099511628211ull;
    return hash;
}

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

// One frame of every kind of drawing, checked by eye (it is written to VD_FRAME_DIR as sprites.png when
// that is set) and pinned by its checksum: plain and keyed copies clipped at the edges or wholly outside,
// a clip cut to its picture and reset, tinting that saturates and is clipped to its sprite, a draw target
// that stays when the new one is empty, and transformed quads turned absolutely and relatively, mirrored
// by a negative size, blended three ways at alphas whose low eight bits count, filtered both ways and
// clipped far off the screen; a twin sees what is drawn into its sprite later, and outlives it.
TEST_F(Sprites, AFrameOfEveryKindOfDrawingMatchesItsGoldenChecksum) {
    MakeSprite(SPRITE, 32, 4, 0, [](int x, int y) { return uint32_t(x + 1) * 0x070503u + uint32_t(y); });
    MakeSprite(OTHER, 2, 1, 0, [](int x, int) { return x == 0 ? 0u : 0xFFFFFFu; });
    DrawSprite(SPRITE, -10, 0);
    DrawSprite(SPRITE, 790, 10);
    DrawSprite(SPRITE, -32, 20);
    DrawSpriteKeyed(OTHER, 0, 30);
    SetSpriteKeyColour(OTHER, 0xFFFFFF); // the masks' white key
    DrawSpriteKeyed(OTHER, 4, 30);
    MakeSprite(12, 575, 23, 0, Pattern);
    SetSpriteClip(12, 560, 0, 16, 24);
    EXPECT_EQ(std::make_pair(GetSpriteWidth(12), GetSpriteHeight(12)), std::make_pair(15, 23));
    DrawSprite(12, 100, 40);
    SetSpriteClip(12, 600, 0, 16, 24); // beyond the picture: nothing to copy, nothing read
    DrawSprite(12, 100, 40);
    SetSpriteClip(12, -1, 0, 16, 24); // one -1 alone is a clip off the picture, not the whole picture
    DrawSprite(12, 100, 40);
    SetSpriteClip(12, -1, -1, -1, -1);
    DrawSprite(12, 120, 40);
    SetDrawTarget(SPRITE);
    TintRectangle(-2, -2, 4, 100, 250, 90, 0);
    SetDrawTarget(-1);
    DrawSprite(SPRITE, 200, 80);
    MakeSprite(13, 24, 20, SPRITE_FLAG_TEXTURE, Pattern);
    ASSERT_TRUE(CreateTransformedSprite(13, 13));
    SetDrawTarget(13);
    SetDrawTarget(14); // empty: the target stays
    TintRectangle(0, 0, 24, 4, 0, 0, 200); // drawn after the twin was made, as tinted sprites are
    SetDrawTarget(-1);
    ASSERT_TRUE(BeginPixelAccess(SpritePixelTarget(13)));
    EXPECT_EQ(SpritePixelTarget(13), 0); // one access at a time
    EndPixelAccess();
    const int blends[3][2] = {{5, 6}, {5, 7}, {7, 7}};
    for (int i = 0; i < 24; ++i) {
        ASSERT_TRUE(BeginTransformedBatch());
        SetTransformedFilter(i % 2);
        SetTransformedBlend(blends[i % 3][0], blends[i % 3][1]);
        SetTransformedSize(13, 8 + 9 * i % 70, (i % 4 == 3 ? -1 : 1) * (6 + 11 * i % 60));
        RotateTransformedSprite(13, 37.0f * float(i), i % 5 == 4);
        DrawTransformedSpriteAlpha(13, (i * 131) % 900 - 50, 120 + (i * 71) % 520 - 40, 23 * i + 256 * (i % 2));
        EndTransformedBatch();
    }
    MakeSprite(13, 4, 4, SPRITE_FLAG_TEXTURE, [](int, int) { return 0xFFu; }); // a new sprite, the old twin
    ASSERT_TRUE(BeginTransformedBatch());
    SetTransformedSize(13, 2000, 2000);
    DrawTransformedSpriteAlpha(13, -600, -700, 40);
    EndTransformedBatch();
    EXPECT_EQ(FrameChecksum("sprites"), 13006827545393975542u);
}

// Sprite and transformed-sprite ids run from 0 to 65535; others are refused and leave nothing behind.
// A released sprite no longer exists.
TEST_F(Sprites, IdsOutsideTheirRangeAreRefused) {
    for (int id : {0, 65535}) {
        EXPECT_EQ(CreateBlankSprite(id, 4, 3, SPRITE_FLAG_TEXTURE), 1) << id;
        EXPECT_EQ(std::make_pair(GetSpriteWidth(id), SpriteExists(id)), std::make_pair(4, 1)) << id;
        EXPECT_EQ(CreateTransformedSprite(id, id), 1) << id;
    }
    ReleaseSprite(0);
    EXPECT_EQ(std::make_pair(SpriteExists(0), SpriteExists(65535)), std::make_pair(0, 1));
    for (int id : {-1, 65536}) {
        EXPECT_EQ(CreateBlankSprite(id, 4, 3, SPRITE_FLAG_TEXTURE), 0) << id;
        EXPECT_EQ(std::make_pair(GetSpriteWidth(id), SpriteExists(id)), std::make_pair(0, 0)) << id;
        EXPECT_EQ(CreateTransformedSprite(id, 0), 0) << id;
    }
}

// Pixel access outside the picture, on any side, or with no access open, reads 0 and writes nothing.
TEST_F(Sprites, PixelsOutsideThePictureAreNeitherReadNorWritten) {
    MakeSprite(SPRITE, 4, 3, 0, [](int x, int y) { return MakeColour(10 * x + 1, 10 * y + 1, 7); });
    const auto unchanged = [] {
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                if (ReadPixel(x, y) != MakeColour(10 * x + 1, 10 * y + 1, 7)) return false;
        return true;
    };
    ASSERT_TRUE(BeginPixelAccess(SpritePixelTarget(SPRITE)));
    const int outside[][2] = {{-1, 1}, {1, -1}, {4, 1}, {1, 3}, {-1, -1}, {4, 3}, {INT32_MIN, 0}, {0, INT32_MAX}};
    for (const auto& [x, y] : outside) {
        WritePixel(x, y, 0xABCDEF);
        EXPECT_EQ(ReadPixel(x, y), 0u) << x << ", " << y;
        EXPECT_TRUE(unchanged()) << x << ", " << y;
    }
    EndPixelAccess();
    WritePixel(1, 1, 0xABCDEF);
    EXPECT_EQ(ReadPixel(1, 1), 0u);
    ASSERT_TRUE(BeginPixelAccess(SpritePixelTarget(SPRITE)));
    EXPECT_TRUE(unchanged());
    EndPixelAccess();
}

// Factor 2 is one on either side: the source added whole whatever the alpha, the destination kept whole.
TEST_F(Sprites, FactorOneTakesAColourWhole) {
    MakeSprite(SPRITE, 8, 8, SPRITE_FLAG_TEXTURE, [](int, int) { return MakeColour(100, 50, 20); });
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    SetTransformedFilter(0);
    ClearFrame(MakeColour(10, 20, 30));
    Draw(SPRITE, 100, 100, 64, 2, 7);
    Draw(SPRITE, 200, 100, 255, 5, 2);
    EXPECT_EQ(Screen(104, 104), MakeColour(110, 70, 50));
    EXPECT_EQ(Screen(204, 104), MakeColour(110, 70, 50));
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

TEST_F(Sprites, SharedEdgeOfTheTwoTrianglesIsDrawnOnce) {
    MakeSprite(SPRITE, 16, 16, SPRITE_FLAG_TEXTURE, [](int, int) { return MakeColour(10, 10, 10); });
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    for (float degrees : {0.0f, 30.0f, 45.0f, 90.0f, 137.0f, 180.0f}) {
        for (int size : {16, 45, -33}) {
            int covered = 0; // turned by quarter turns, exactly the size squared: no edge row or column twice
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
                    covered += value != 0;
                    const double dx = x - 300 - centre, dy = y - 200 - centre;
                    if (std::abs(c * dx + s * dy) < half && std::abs(-s * dx + c * dy) < half) {
                        ASSERT_EQ(value, MakeColour(10, 10, 10)) << degrees << " " << size << " " << x << "," << y;
                    }
                }
            EXPECT_TRUE(int(degrees) % 90 != 0 || covered == size * size) << degrees << " " << size << ": " << covered;
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

// The span paths there are here: 0 the plain code, 1 the vector spans (AVX2 or WebAssembly SIMD),
// 2 the wide vector spans (AVX-512). Returns false when the path is not there.
bool UseSpanPath(int path) {
    const bool vector = SetVectorSpans(path > 0), wide = SetWideVectorSpans(path == 2);
    return path == 0 || (path == 1 && vector) || (path == 2 && wide);
}

TEST_F(Sprites, VectorSpansGiveThePlainResults) {
    // Holes of key colour wide enough for pixels that sample no visible texel.
    MakeSprite(SPRITE, 24, 20, SPRITE_FLAG_TEXTURE, [](int x, int y) { return (x / 4 + y / 5) % 3 == 0 ? 0u : Pattern(x, y); });
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    // A tall picture squeezed to a sliver and turned a little: at some two thousand texels to a pixel, the
    // corners' rounding to 1/256 pixel moves its long sides by several texels, so rows along them leave
    // the band part-way, which no other drawing here does. A wide picture squeezed the other way, to a
    // standing sliver, leaves it along the rows, in its columns.
    MakeSprite(OTHER, 8, 4096, SPRITE_FLAG_TEXTURE, [](int x, int y) { return MakeColour(30 * x, y & 0xFF, 99); });
    ASSERT_TRUE(CreateTransformedSprite(OTHER, OTHER));
    MakeSprite(THIRD, 4096, 8, SPRITE_FLAG_TEXTURE, [](int x, int y) { return MakeColour(x & 0xFF, 30 * y, 99); });
    ASSERT_TRUE(CreateTransformedSprite(THIRD, THIRD));
    SetTransformedFilter(1);
    std::vector<uint32_t> frames[3];
    for (int path = 0; path < 3; ++path) {
        if (!UseSpanPath(path)) continue;
        // With a top byte set, which every path clears in the pixels it draws and keeps in the others.
        ClearFrame(MakeColour(40, 80, 120) | 0x5A000000u);
        // The last two blends weigh one colour fully and the other not.
        const int blends[5][2] = {{5, 6}, {5, 7}, {7, 7}, {2, 6}, {5, 1}};
        for (int i = 0; i < 60; ++i) {
            ASSERT_TRUE(BeginTransformedBatch());
            SetTransformedBlend(blends[i % 5][0], blends[i % 5][1]);
            SetTransformedSize(SPRITE, 3 + 7 * i % 90, 3 + 7 * i % 90 * (i % 2 ? -1 : 1));
            RotateTransformedSprite(SPRITE, 17.0f * float(i), 0);
            // Ordinary translucency also at alpha 255, where it weighs both colours fully.
            DrawTransformedSpriteAlpha(SPRITE, (i * 97) % 820 - 20, (i * 61) % 620 - 20, i % 10 == 0 ? 255 : 40 * i);
            for (int j = 0; j < 4; ++j) {
                SetTransformedSize(OTHER, 300 * (j % 2 + 1), 3 - j % 2);
                RotateTransformedSprite(OTHER, 0.003f * float(i % 2 ? 4 * i + j : -4 * i - j), 0);
                DrawTransformedSpriteAlpha(OTHER, 400 + j % 7, 120 + 7 * i + j, 40 * i + 64 * j);
                SetTransformedSize(THIRD, 3 - j % 2, 300 * (j % 2 + 1));
                RotateTransformedSprite(THIRD, 0.003f * float(i % 2 ? 4 * i + j : -4 * i - j), 0);
                DrawTransformedSpriteAlpha(THIRD, 7 * i + j, 150 + j % 7, 40 * i + 64 * j);
            }
            EndTransformedBatch();
        }
        frames[path] = CopyOfFrame();
    }
    UseSpanPath(2);
    if (frames[1].empty()) GTEST_SKIP() << "no vector spans here";
    EXPECT_TRUE(frames[1] == frames[0]);
    EXPECT_TRUE(frames[2].empty() || frames[2] == frames[0]);
}

// Spans of every length up to 24 that end at the back buffer's last pixel, on every span path: the
// vector spans work in groups of eight and fetch ahead, and must neither write past a span's end (past
// the buffer, which the address sanitizer reports) nor draw other pixels than the plain code.
TEST_F(Sprites, SpansEndingAtTheBuffersLastPixelStayWithinIt) {
    MakeSprite(SPRITE, 8, 8, SPRITE_FLAG_TEXTURE, [](int x, int y) { return MakeColour(30 * x + 9, 30 * y + 9, 200); });
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    SetTransformedFilter(1);
    std::vector<uint32_t> frames[3];
    for (int path = 0; path < 3; ++path) {
        if (!UseSpanPath(path)) continue;
        ClearFrame(MakeColour(10, 20, 30));
        for (int width = 1; width <= 24; ++width) {
            SetTransformedSize(SPRITE, width, 3);
            Draw(SPRITE, SCREEN_WIDTH - width, SCREEN_HEIGHT - 3, 200, 5, 6);
        }
        frames[path] = CopyOfFrame();
    }
    UseSpanPath(2);
    EXPECT_NE(frames[0].back(), MakeColour(10, 20, 30));  // the last pixel was drawn
    if (frames[1].empty()) GTEST_SKIP() << "no vector spans here";
    EXPECT_TRUE(frames[1] == frames[0]);
    EXPECT_TRUE(frames[2].empty() || frames[2] == frames[0]);
}

// Two shortcuts must not change a byte: rows cut to where a quad may sample a visible texel, and a
// convex quad walked by its four outer edges instead of as two triangles. Each sprite shape is drawn
// over a sweep of angles, sizes (magnified, shrunk, mirrored, corners on pixel centres after a quarter
// turn), places (also off the screen's edges), filters and blends, on every span path there is, once
// with the shortcuts and once without, and every frame must match the plain path's without them.
// Visible texels touch the picture's edges and corners, so the bilinear reach past the last visible
// texel counts.
TEST_F(Sprites, RowShortcutsDrawExactlyWhatWholeTrianglesDraw) {
    const std::function<uint32_t(int, int)> shapes[] = {
        [](int x, int y) { return MakeColour(9 * x + 3, 7 * y + 5, 200); },                            // opaque
        [](int, int) { return 0u; },                                                                   // all key
        [](int x, int y) { return std::hypot(x - 15.5, y - 11.5) < 11 ? MakeColour(250, 40 + x, y) : 0u; },  // round
        [](int x, int y) {                                                                             // a ring
            const double r = std::hypot(x - 15.5, y - 11.5);
            return r < 12 && r > 6 ? MakeColour(x * 8, 255, y * 10) : 0u;
        },
        [](int x, int y) { return y % 4 == 1 || x == 5 ? 0u : MakeColour(x, 255 - y, 99); },           // empty rows, a hole
        [](int x, int y) { return (x == 0 && y == 0) || (x == 31 && y == 23) ? 0xFFFFFFu : 0u; },      // two corners
        [](int x, int y) { return x + y < 6 || x - y > 26 ? MakeColour(255, 255, 255) : 0u; },          // two far corners
        [](int x, int) { return x == 31 ? MakeColour(10, 200, 30) : 0u; },                              // the last column
    };
    const int blends[3][2] = {{5, 6}, {5, 7}, {7, 7}};
    for (int shape = 0; shape < 8; ++shape) {
        MakeSprite(SPRITE, 32, 24, SPRITE_FLAG_TEXTURE, shapes[shape]);
        ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
        std::vector<uint32_t> reference;  // the plain path without the shortcuts
        for (int path = 0; path < 3; ++path) {
            if (!UseSpanPath(path)) continue;
            for (int shortcuts = 0; shortcuts <= 1; ++shortcuts) {
                SetRowShortcuts(shortcuts == 1);
                ClearFrame(MakeColour(30, 60, 90));
                for (int i = 0; i < 48; ++i) {
                    ASSERT_TRUE(BeginTransformedBatch());
                    SetTransformedFilter(i % 5 != 0);
                    SetTransformedBlend(blends[i % 3][0], blends[i % 3][1]);
                    const int sizes[6] = {32, 96, 11, 250, 3, 57};
                    const int width = sizes[i % 6] * (i % 7 == 3 ? -1 : 1), height = sizes[(i / 6 + i) % 6] * 3 / 4;
                    // After a quarter turn, a width and height of odd sum put the corners on pixel centres.
                    SetTransformedSize(SPRITE, width, i % 8 == 0 ? width + 1 : i % 4 == 0 ? width * 3 / 4 : height);
                    RotateTransformedSprite(SPRITE, i % 8 == 0 ? 90.0f * float(i / 8) : 7.3f * float(i * i), 0);
                    DrawTransformedSpriteAlpha(SPRITE, (i * 173) % 880 - 40, (i * 97) % 680 - 40, 90 + 11 * i);
                    EndTransformedBatch();
                }
                std::vector<uint32_t> frame = CopyOfFrame();
                if (reference.empty()) reference = std::move(frame);
                else ASSERT_TRUE(frame == reference) << "shape " << shape << ", span path " << path << ", shortcuts " << shortcuts;
            }
        }
    }
    SetRowShortcuts(true);
    UseSpanPath(2);
}

// Unturned and quarter-turned quads, mirrored or not, of sizes whose corners fall between pixel centres:
// their top and bottom sides are level, and the rows beyond them must stay undrawn by the shortcuts too.
TEST_F(Sprites, QuarterTurnsDrawExactlyWhatWholeTrianglesDraw) {
    MakeSprite(SPRITE, 32, 24, SPRITE_FLAG_TEXTURE, [](int x, int y) { return MakeColour(9 * x + 3, 7 * y + 5, 200); });
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    SetTransformedBlend(7, 7);
    for (int i = 0; i < 24; ++i) {
        std::vector<uint32_t> frames[2];
        for (int shortcuts = 0; shortcuts <= 1; ++shortcuts) {
            SetRowShortcuts(shortcuts == 1);
            ClearFrame(0);
            ASSERT_TRUE(BeginTransformedBatch());
            SetTransformedFilter(i % 3 != 0);
            SetTransformedSize(SPRITE, (2 + (i * 7) % 90) * (i % 5 == 2 ? -1 : 1), (2 + (i * 13) % 70) * (i % 7 == 3 ? -1 : 1));
            RotateTransformedSprite(SPRITE, 90.0f * float(i % 4), 0);
            DrawTransformedSpriteAlpha(SPRITE, 100 + (i * 31) % 500, 100 + (i * 17) % 300, 255);
            EndTransformedBatch();
            frames[shortcuts] = CopyOfFrame();
        }
        ASSERT_TRUE(frames[0] == frames[1]) << i;
    }
    SetRowShortcuts(true);
}

// Quads far larger than the screen walk their edges in 64 bits, where the 32-bit lanes would overflow,
// and so do the whole triangles the shortcuts are checked against; so the frame is also pinned, checked
// by eye (huge-quads.png in VD_FRAME_DIR): twelve faint quads whose sides cross the middle of the screen.
TEST_F(Sprites, QuadsTooLargeForTheLanesMatchTheirGoldenFrame) {
    MakeSprite(SPRITE, 32, 24, SPRITE_FLAG_TEXTURE, [](int x, int y) { return (x + y) % 3 ? Pattern(x, y) : 0u; });
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    std::vector<uint32_t> frames[2];
    for (int shortcuts = 0; shortcuts <= 1; ++shortcuts) {
        SetRowShortcuts(shortcuts == 1);
        ClearFrame(MakeColour(0, 0, 40));
        ASSERT_TRUE(BeginTransformedBatch());
        SetTransformedBlend(5, 7);
        for (int i = 0; i < 12; ++i) {
            SetTransformedFilter(i % 2);
            // The quad's right side through the middle of the screen.
            const int width = 900000 - 70000 * i, height = 600000 + 30000 * i;
            const double angle = 30.7 * i + 0.3, radians = angle * std::numbers::pi / 180;
            SetTransformedSize(SPRITE, width, height);
            RotateTransformedSprite(SPRITE, float(angle), 0);
            DrawTransformedSpriteAlpha(SPRITE, int(400 - (width - 1) / 2.0 - width / 2.0 * std::cos(radians)),
                                       int(300 - (height - 1) / 2.0 - width / 2.0 * std::sin(radians)), 40);
        }
        EndTransformedBatch();
        frames[shortcuts] = CopyOfFrame();
    }
    SetRowShortcuts(true);
    EXPECT_TRUE(frames[0] == frames[1]);
    EXPECT_EQ(FrameChecksum("huge-quads"), 389495233516055467u);  // the frame with the shortcuts
}

// Where a picture's visible texels lie is worked out again whenever its pixels change: texels that become
// visible after a twin has been drawn (a key-colour sprite painted later, a tint over its key colour)
// must be drawn, exactly as without the row shortcuts.
TEST_F(Sprites, RowShortcutsFollowPixelsDrawnLater) {
    MakeSprite(SPRITE, 20, 16, SPRITE_FLAG_TEXTURE, [](int x, int y) { return x == 2 && y == 2 ? MakeColour(200, 100, 50) : 0u; });
    ASSERT_TRUE(CreateTransformedSprite(SPRITE, SPRITE));
    SetTransformedFilter(1);
    SetTransformedSize(SPRITE, 60, 48);
    RotateTransformedSprite(SPRITE, 30, 0);
    const auto frame = [this](bool shortcuts) {
        SetRowShortcuts(shortcuts);
        ClearFrame(MakeColour(10, 20, 30));
        Draw(SPRITE, 300, 200, 255, 7, 7);
        SetRowShortcuts(true);
        return CopyOfFrame();
    };
    const std::vector<uint32_t> before = frame(true);
    EXPECT_TRUE(before == frame(false));
    ASSERT_TRUE(BeginPixelAccess(SpritePixelTarget(SPRITE)));
    WritePixel(19, 15, MakeColour(20, 250, 90));  // the far corner, outside the bounds seen so far
    EndPixelAccess();
    const std::vector<uint32_t> painted = frame(true);
    EXPECT_TRUE(painted == frame(false));
    EXPECT_FALSE(painted == before);
    SetDrawTarget(SPRITE);
    TintRectangle(0, 8, 20, 8, 0, 0, 90);  // the key colour tinted: the lower half all visible
    SetDrawTarget(-1);
    const std::vector<uint32_t> tinted = frame(true);
    EXPECT_TRUE(tinted == frame(false));
    EXPECT_FALSE(tinted == painted);
}
