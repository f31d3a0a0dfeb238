// The decoders of the embedded files: the BMP decoder and the RIFF WAVE chunk walk. The catalogue's
// forms decode exactly; extra chunks between "fmt " and "data" and odd chunk sizes are walked as the
// loader walks them; every malformed or truncated input is refused without reading past its end (the
// suite also runs under AddressSanitizer, and every truncated input is an exact-size copy).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "assets/bitmap.h"
#include "assets/wave.h"

namespace {

void Put(std::vector<uint8_t>& f, size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++) f[at + i] = uint8_t(value >> (8 * i));
}

// One malformed field of an otherwise good file.
struct Patch {
    const char* what;
    size_t at;
    uint32_t value;
    int bytes;
};
// Each patch of the good file is refused with a message.
template <size_t N, class Parse> void ExpectEachRefused(const std::vector<uint8_t>& good, const Patch (&cases)[N], Parse parse) {
    for (const Patch& c : cases) {
        std::vector<uint8_t> f = good;
        Put(f, c.at, c.value, c.bytes);
        std::string error;
        EXPECT_FALSE(parse(f, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
}

// ---- bitmaps -------------------------------------------------------------------------------------------
// A 3 x 2 picture in the embedded form (but with a 4-colour palette, so the pixel data starts at 70):
// top row palette indices 1 2 3, bottom row 0 3 1; rows padded to 4 bytes and stored bottom-up.
std::vector<uint8_t> SmallBitmap(int height = 2) {
    std::vector<uint8_t> f(70 + 8, 0);
    f[0] = 'B', f[1] = 'M';
    Put(f, 2, uint32_t(f.size()), 4), Put(f, 10, 70, 4), Put(f, 14, 40, 4), Put(f, 18, 3, 4);
    Put(f, 22, uint32_t(height), 4), Put(f, 26, 1, 2), Put(f, 28, 8, 2), Put(f, 34, 8, 4), Put(f, 46, 4, 4);
    const uint8_t palette[] = {0, 0, 0, 0, 3, 2, 1, 0, 30, 20, 10, 0, 255, 255, 255, 0}; // blue, green, red, 0
    std::memcpy(&f[54], palette, sizeof palette);
    const uint8_t rows[] = {0, 3, 1, 0xEE, 1, 2, 3, 0xEE}; // first stored row is the bottom one
    std::memcpy(&f[70], rows, sizeof rows);
    if (height < 0) std::swap_ranges(f.begin() + 70, f.begin() + 74, f.begin() + 74);
    return f;
}

bool Decodes(const std::vector<uint8_t>& f, std::string* error = nullptr) {
    DecodedBitmap out;
    return DecodeBitmap(f.data(), f.size(), out, error);
}

const uint32_t RED1 = 0x030201, DARK = 0x1E140A, WHITE = 0xFFFFFF; // 0x00BBGGRR

// Also with trailing bytes, and with a 108-byte info header that pushes palette and pixels along.
TEST(DecodeBitmap, RowsThroughThePaletteBottomUpOrTopDown) {
    std::vector<uint8_t> trailing = SmallBitmap(), v4 = SmallBitmap();
    trailing.push_back(0);
    v4.insert(v4.begin() + 54, 68, 0);
    Put(v4, 14, 108, 4), Put(v4, 10, 70 + 68, 4);
    for (const std::vector<uint8_t>& f : {SmallBitmap(2), SmallBitmap(-2), trailing, v4}) {
        DecodedBitmap out;
        std::string error = "stale";
        ASSERT_TRUE(DecodeBitmap(f.data(), f.size(), out, &error));
        EXPECT_EQ(error, "");
        EXPECT_EQ(std::make_pair(out.width, out.height), std::make_pair(3, 2));
        EXPECT_EQ(out.pixels, (std::vector<uint32_t>{RED1, DARK, WHITE, 0, WHITE, RED1}));
    }
}

TEST(DecodeBitmap, EveryTruncationIsRefused) {
    const std::vector<uint8_t> f = SmallBitmap();
    for (size_t length = 0; length < f.size(); length++) {
        const std::vector<uint8_t> cut(f.begin(), f.begin() + length); // exact-size copy: ASan sees any overread
        DecodedBitmap out;
        out.width = 9;
        std::string error;
        EXPECT_FALSE(DecodeBitmap(cut.data(), cut.size(), out, &error)) << length;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(out.width, 0);
        EXPECT_TRUE(out.pixels.empty());
    }
    EXPECT_FALSE(DecodeBitmap(nullptr, 100, *std::make_unique<DecodedBitmap>(), nullptr));
}

TEST(DecodeBitmap, MalformedHeadersAreRefused) {
    const Patch cases[] = {
        {"wrong magic", 0, 'B' | 'A' << 8, 2}, {"24 bits per pixel", 28, 24, 2},
        {"two planes", 26, 2, 2}, {"run-length compressed", 30, 1, 4},
        {"12-byte core header", 14, 12, 4}, {"huge info header", 14, 0xFFFFFFF0u, 4},
        {"zero width", 18, 0, 4}, {"negative width", 18, uint32_t(-3), 4},
        {"huge width", 18, 0x7FFFFFFF, 4}, {"zero height", 22, 0, 4},
        {"most negative height", 22, 0x80000000u, 4}, {"huge height", 22, 0x7FFFFFFF, 4},
        {"height one row too many", 22, 3, 4}, {"pixel offset past the end", 10, 0xFFFFFFFFu, 4},
        {"pixel offset one byte late", 10, 71, 4}, {"pixel offset inside the palette", 10, 66, 4},
        {"more than 256 colours", 46, 300, 4},
    };
    ExpectEachRefused(SmallBitmap(), cases, [](const std::vector<uint8_t>& f, std::string* error) { return Decodes(f, error); });
}

TEST(DecodeBitmap, PaletteIndicesMustLieInThePalette) {
    std::vector<uint8_t> f = SmallBitmap();
    f[72] = 4; // the 4-colour palette has indices 0..3
    std::string error;
    EXPECT_FALSE(Decodes(f, &error));
    EXPECT_NE(error.find("palette"), std::string::npos);
    Put(f, 46, 0, 4); // colours used 0 means all 256, whose entries 4.. lie in the pixel area: refused too
    EXPECT_FALSE(Decodes(f));

    std::vector<uint8_t> full = SmallBitmap();
    full.insert(full.begin() + 70, 1024 - 16, 0x7F); // a full 256-entry palette; index 255 is grey 0x7F7F7F
    Put(full, 10, 54 + 1024, 4), Put(full, 46, 256, 4);
    full[54 + 1024] = 255;
    DecodedBitmap out;
    ASSERT_TRUE(DecodeBitmap(full.data(), full.size(), out, nullptr));
    EXPECT_EQ(out.pixels[3], 0x7F7F7Fu); // bottom-left pixel
}

// ---- waves ---------------------------------------------------------------------------------------------
void Chunk(std::vector<uint8_t>& f, const char* id, const std::vector<uint8_t>& body, uint32_t size) {
    f.insert(f.end(), id, id + 4);
    f.resize(f.size() + 4);
    Put(f, f.size() - 4, size, 4);
    f.insert(f.end(), body.begin(), body.end());
}

const std::vector<uint8_t> SAMPLES = {128, 200, 60, 128, 129};

// The embedded form: 8-bit mono 6000 Hz, five samples and a pad byte; extra chunks go before "data".
std::vector<uint8_t> SmallWave(const std::vector<uint8_t>& between = {}) {
    std::vector<uint8_t> f = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    std::vector<uint8_t> format(16);
    Put(format, 0, 1, 2), Put(format, 2, 1, 2), Put(format, 4, 6000, 4), Put(format, 8, 6000, 4);
    Put(format, 12, 1, 2), Put(format, 14, 8, 2);
    Chunk(f, "fmt ", format, 16);
    f.insert(f.end(), between.begin(), between.end());
    std::vector<uint8_t> data = SAMPLES;
    data.push_back(0);
    Chunk(f, "data", data, uint32_t(SAMPLES.size()));
    Put(f, 4, uint32_t(f.size() - 8), 4);
    return f;
}

std::vector<uint8_t> ListChunk(uint32_t size, bool padded) {
    std::vector<uint8_t> f;
    std::vector<uint8_t> body(size, 'x');
    if (padded) body.push_back(0);
    Chunk(f, "LIST", body, size);
    return f;
}

bool Parses(const std::vector<uint8_t>& f, WaveSound* out = nullptr, std::string* error = nullptr) {
    WaveSound sound;
    const bool ok = ParseWave(f.data(), f.size(), sound, error);
    if (out) *out = sound;
    return ok;
}

// The RIFF size and the WAVE id are not checked; 16-bit stereo is read as well.
TEST(ParseWave, EmbeddedAndSixteenBitStereoFormsGiveFormatAndSamples) {
    std::vector<uint8_t> f = SmallWave();
    Put(f, 4, 0xFFFFFFFFu, 4);
    f[8] = 'X';
    WaveSound w;
    std::string error = "stale";
    ASSERT_TRUE(Parses(f, &w, &error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(std::make_tuple(w.formatTag, w.channels, w.samplesPerSecond, w.bytesPerSecond, w.blockAlign, w.bitsPerSample),
              std::make_tuple(1, 1, 6000u, 6000u, 1, 8));
    EXPECT_EQ(w.samples, f.data() + 44);
    EXPECT_EQ(std::vector<uint8_t>(w.samples, w.samples + w.sampleBytes), SAMPLES);
    Put(f, 22, 2, 2), Put(f, 32, 4, 2), Put(f, 34, 16, 2);
    ASSERT_TRUE(Parses(f, &w));
    EXPECT_EQ(w.blockAlign, 4);
}

TEST(ParseWave, ChunksBetweenFormatAndDataAreSkipped) {
    WaveSound sound;
    ASSERT_TRUE(Parses(SmallWave(ListChunk(26, false)), &sound));
    EXPECT_EQ(sound.sampleBytes, SAMPLES.size());
    // The walk adds no pad byte after an odd chunk: an unpadded odd "LIST" is found past, a padded one
    // puts the walk one byte off and no "data" chunk is found.
    const std::vector<uint8_t> odd = SmallWave(ListChunk(7, false));
    ASSERT_TRUE(Parses(odd, &sound));
    EXPECT_EQ(sound.samples, odd.data() + 36 + 15 + 8);
    EXPECT_FALSE(Parses(SmallWave(ListChunk(7, true))));
    // A longer format chunk (with its extra size field) is walked from its own end.
    std::vector<uint8_t> f = SmallWave();
    f.insert(f.begin() + 36, {0, 0});
    Put(f, 16, 18, 4);
    ASSERT_TRUE(Parses(f, &sound));
    EXPECT_EQ(sound.samples, f.data() + 46);
    f = SmallWave(ListChunk(4, false));
    Put(f, 40, 0xFFFFFFF8u, 4); // the LIST chunk claims nearly 4 GiB: the walk steps past the end
    std::string error;
    EXPECT_FALSE(Parses(f, nullptr, &error));
    EXPECT_EQ(error, "no \"data\" chunk");
}

TEST(ParseWave, EveryTruncationOfTheSamplesIsRefused) {
    const std::vector<uint8_t> f = SmallWave();
    const size_t complete = 44 + SAMPLES.size(); // only the pad byte may go
    for (size_t length = 0; length < f.size(); length++) {
        const std::vector<uint8_t> cut(f.begin(), f.begin() + length); // exact-size copy: ASan sees any overread
        WaveSound sound;
        sound.channels = 9;
        std::string error;
        const bool ok = ParseWave(cut.data(), cut.size(), sound, &error);
        EXPECT_EQ(ok, length >= complete) << length;
        if (!ok) {
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(sound.samples, nullptr);
            EXPECT_EQ(sound.channels, 0);
        }
    }
    EXPECT_FALSE(ParseWave(nullptr, 44, *std::make_unique<WaveSound>(), nullptr));
}

TEST(ParseWave, MalformedInputIsRefused) {
    const Patch cases[] = {
        {"not RIFF", 0, 'R' | 'I' << 8 | 'F' << 16 | 'X' << 24, 4},
        {"no fmt at byte 12", 12, 'L' | 'I' << 8 | 'S' << 16 | 'T' << 24, 4}, {"format chunk too small", 16, 14, 4},
        {"format chunk past the end", 16, 0xFFFFFFF0u, 4}, {"compressed format", 20, 2, 2},
        {"no channels", 22, 0, 2}, {"zero sample rate", 24, 0, 4},
        {"12 bits per sample", 34, 12, 2}, {"block align wrong", 32, 2, 2},
        {"data longer than what is left", 40, 7, 4}, {"data size near 4 GiB", 40, 0xFFFFFFFFu, 4},
        {"data chunk id missing", 36, 'd' | 'a' << 8 | 't' << 16 | 'x' << 24, 4},
    };
    ExpectEachRefused(SmallWave(), cases, [](const std::vector<uint8_t>& f, std::string* error) { return Parses(f, nullptr, error); });
}

} // namespace
