// The embedded catalogue: every picture and sound in its exact form, decodable, drawn to the rules the
// renderer relies on (black only where transparent, no dark fringe, a grey planet, a glow fading to
// black), and byte for byte what tools/make-assets makes from the generator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <tuple>
#include <unistd.h>

#include "assets/bitmap.h"
#include "assets/catalogue.h"
#include "assets/wave.h"

namespace {

struct SpriteForm {
    int id, width, height;
    size_t bytes;
};
const SpriteForm SPRITES[] = {
    {100, 64, 64, 5174}, {110, 32, 32, 2102}, {130, 32, 32, 2102}, {131, 32, 32, 2102}, {132, 32, 32, 2102},
    {133, 32, 32, 2102}, {134, 32, 32, 2102}, {135, 32, 32, 2102}, {136, 32, 32, 2102}, {137, 32, 32, 2102},
    {138, 32, 32, 2102}, {139, 32, 32, 2102}, {140, 32, 32, 2102}, {160, 32, 32, 2102}, {161, 32, 32, 2102},
    {162, 32, 32, 2102}, {163, 32, 32, 2102}, {164, 32, 32, 2102}, {500, 32, 32, 2102}, {501, 128, 128, 17462},
    {502, 128, 128, 17462}, {503, 128, 128, 17462}, {600, 575, 23, 14326}, {120, 32, 23, 1814}, {121, 406, 118, 49222},
};
struct SoundForm {
    int id;
    uint32_t riffSize, dataBytes;
};
const SoundForm SOUNDS[] = {{100, 5300, 5263}, {101, 7196, 7160}, {102, 2662, 2625}, {104, 1776, 1740},
                            {105, 5658, 5621}, {106, 2648, 2612}, {107, 3008, 2972}, {108, 2650, 2613}};

uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
int Brightest(uint32_t c) { return std::max({c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF}); }

DecodedBitmap Sprite(int id) {
    const EmbeddedFile file = SpriteFile(id);
    DecodedBitmap out;
    std::string error;
    EXPECT_TRUE(DecodeBitmap(file.data, file.size, out, &error)) << id << ": " << error;
    return out;
}

TEST(Catalogue, EverySpriteInItsExactForm) {
    EXPECT_EQ(std::size(SPRITES), std::size(TEXTURE_SPRITE_IDS) + std::size(PLAIN_SPRITE_IDS));
    for (const SpriteForm& form : SPRITES) {
        SCOPED_TRACE(form.id);
        const EmbeddedFile file = SpriteFile(form.id);
        ASSERT_EQ(file.size, form.bytes);
        EXPECT_EQ(U32(file.data + 2), form.bytes);
        EXPECT_EQ(U32(file.data + 10), 1078u);
        EXPECT_EQ(U32(file.data + 14), 40u);
        EXPECT_EQ(int32_t(U32(file.data + 22)), form.height); // positive: bottom row first
        EXPECT_EQ(file.data[28], 8);
        EXPECT_EQ(U32(file.data + 46), 256u);
        EXPECT_EQ(std::equal(file.data + 54, file.data + 58, "\0\0\0\0"), true); // index 0 is black
        const DecodedBitmap b = Sprite(form.id);
        EXPECT_EQ(std::make_pair(b.width, b.height), std::make_pair(form.width, form.height));
    }
    for (int id : {502, 503}) EXPECT_EQ(SpriteFile(id).data, SpriteFile(501).data) << id; // one planet array loaded three times
    for (int id : {-1, 0, 101, 129, 141, 165, 504, 800, 900})
        EXPECT_EQ(SpriteFile(id).data, nullptr) << id;
}

TEST(Catalogue, EverySoundInItsExactForm) {
    EXPECT_EQ(std::size(SOUNDS), std::size(SOUND_IDS));
    for (const SoundForm& form : SOUNDS) {
        SCOPED_TRACE(form.id);
        const EmbeddedFile file = SoundFile(form.id);
        ASSERT_EQ(file.size, form.riffSize + 8);
        EXPECT_EQ(U32(file.data + 4), form.riffSize);
        EXPECT_EQ(U32(file.data + 40), form.dataBytes);
        WaveSound sound;
        std::string error;
        ASSERT_TRUE(ParseWave(file.data, file.size, sound, &error)) << error;
        EXPECT_EQ(sound.samples, file.data + 44);
        EXPECT_EQ(sound.sampleBytes, form.dataBytes);
        EXPECT_EQ(std::make_tuple(sound.channels, sound.samplesPerSecond, sound.bitsPerSample), std::make_tuple(1, 6000u, 8));
        // About -3 dBFS at the peak, and silence at both ends so that starting and stopping do not click.
        int peak = 0;
        for (size_t i = 0; i < sound.sampleBytes; i++) peak = std::max(peak, std::abs(sound.samples[i] - 128));
        EXPECT_TRUE(peak >= 80 && peak <= 96) << peak;
        EXPECT_EQ(std::make_pair(int(sound.samples[0]), int(sound.samples[sound.sampleBytes - 1])), std::make_pair(128, 128));
    }
    for (int id : {103, 109}) EXPECT_EQ(SoundFile(id).data, nullptr) << id;
}

TEST(Catalogue, ShapesHaveNoDarkFringe) {
    // Black is transparent; anything drawn is clearly brighter, so bilinear filtering shows no dark halo.
    for (const SpriteForm& form : SPRITES) {
        if (form.id == SPRITE_GLOW) continue;
        const DecodedBitmap b = Sprite(form.id);
        int dimmest = 255;
        for (uint32_t c : b.pixels)
            if (c) dimmest = std::min(dimmest, Brightest(c));
        EXPECT_GE(dimmest, 24) << form.id;
    }
}

TEST(Catalogue, FontLetterIIsAPlainBar) {
    const DecodedBitmap b = Sprite(SPRITE_FONT);
    const int cell = 160 + 16 * ('I' - 'A');
    int first = -1, last = -1, rows = 0;
    for (int y = 0; y < b.height; y++) {
        int left = -1, right = -1;
        for (int x = cell; x < cell + 16; x++)
            if (b.pixels[y * b.width + x]) right = x, left = left < 0 ? x : left;
        if (left < 0) continue;
        if (rows++ == 0) first = left, last = right;
        EXPECT_LE(std::abs(left - first) + std::abs(right - last), 1) << y; // rounded ends may differ by one
    }
    EXPECT_GE(rows, 18);
    EXPECT_LE(last - first, 4);
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Catalogue, GeneratorRemakesEveryFileExactly) {
    namespace fs = std::filesystem;
    const fs::path out = fs::temp_directory_path() / ("vd-assets-" + std::to_string(getpid()));
    fs::create_directories(out);
    const std::string command = std::string(VD_BINARY_DIR "/tools/make-assets ") + out.string();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const fs::path data = fs::path(VD_SOURCE_DIR) / "assets" / "data";
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_TRUE(ReadFile(entry.path()) == ReadFile(data / entry.path().filename()));
        compared++;
    }
    for (const auto& entry : fs::directory_iterator(data)) {
        if (entry.path().filename() == "tune.sid") continue; // made by the tune's own tools
        EXPECT_TRUE(fs::exists(out / entry.path().filename())) << entry.path();
    }
    EXPECT_EQ(compared, 31);
    fs::remove_all(out);
}

} // namespace
