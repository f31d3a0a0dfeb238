// The tune loader and the player: header fields, refused images, init and play calls, rendered frames.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tune/sid_player.h"

namespace {

SidPlayer player;

// A PSID image with data offset $7C whose data block is code at load; with headerLoad 0 the data block
// starts with the load address.
std::vector<uint8_t> MakeImage(uint16_t headerLoad, uint16_t load, uint16_t init, uint16_t play,
                               const std::vector<uint8_t>& code) {
    std::vector<uint8_t> image(0x7C + (headerLoad == 0 ? 2 : 0) + code.size());
    std::memcpy(image.data(), "PSID", 4);
    const uint16_t header[] = {2, 0x7C, headerLoad, init, play, 1, 1};
    for (size_t i = 0; i < std::size(header); i++) {
        image[4 + 2 * i] = uint8_t(header[i] >> 8);
        image[5 + 2 * i] = uint8_t(header[i]);
    }
    if (headerLoad == 0) {
        image[0x7C] = uint8_t(load);
        image[0x7D] = uint8_t(load >> 8);
    }
    std::copy(code.begin(), code.end(), image.end() - code.size());
    return image;
}

// At $1000: init stores A at $F0, counts its runs at $F1 and installs $1020 at $0314; at $1020: play
// counts at $F2 and sweeps voice 1 (triangle) and voice 2 (pulse, through the filter).
const std::vector<uint8_t> TEST_CODE = [] {
    std::vector<uint8_t> code(0x40, 0xEA);
    const uint8_t init[] = {0x85, 0xF0, 0xE6, 0xF1, 0xA9, 0x20, 0x8D, 0x14, 0x03, 0xA9, 0x10, 0x8D, 0x15, 0x03,
                            0xA9, 0x11, 0x8D, 0x04, 0xD4, 0xA9, 0x41, 0x8D, 0x0B, 0xD4, 0xA9, 0x3F, 0x8D, 0x18,
                            0xD4, 0x60};
    const uint8_t play[] = {0xE6, 0xF2, 0xA5, 0xF2, 0x8D, 0x01, 0xD4, 0x0A, 0x8D, 0x08, 0xD4, 0x8D, 0x16, 0xD4,
                            0xA9, 0x82, 0x8D, 0x17, 0xD4, 0x60};
    std::memcpy(code.data(), init, sizeof init);
    std::memcpy(code.data() + 0x20, play, sizeof play);
    return code;
}();

// Prepares code loaded at $1000 (init $1000, play $1020 unless given) for the song.
bool PrepareTestTune(uint16_t play = 0x1020, const std::vector<uint8_t>& code = TEST_CODE, int song = 0) {
    const std::vector<uint8_t> image = MakeImage(0, 0x1000, 0x1000, play, code);
    return PrepareTune(player, image.data(), uint32_t(image.size()), song);
}

TEST(TunePlayer, HeaderLoadAddressZeroTakesItFromTheData) {
    std::vector<uint8_t> image = MakeImage(0, 0x0500, 0x0500, 0x0520, TEST_CODE);
    ASSERT_TRUE(PrepareTune(player, image.data(), uint32_t(image.size()), 0));
    EXPECT_EQ(player.loadAddress, 0x0500);
    EXPECT_EQ(player.memory[0x0500], 0x85);
    EXPECT_EQ(player.memory[0x0500 + TEST_CODE.size() - 1], 0xEA);
    EXPECT_EQ(player.memory[0x0500 + TEST_CODE.size()], 0);
    EXPECT_EQ(player.memory[0xF1], 1); // init ran once

    image = MakeImage(0x1000, 0x1000, 0x1000, 0x1020, TEST_CODE);
    ASSERT_TRUE(PrepareTune(player, image.data(), uint32_t(image.size()), 0));
    EXPECT_EQ(player.loadAddress, 0x1000);
    EXPECT_EQ(player.memory[0x1000], 0x85);
    EXPECT_EQ(player.memory[0x0500], 0); // memory was cleared
}

TEST(TunePlayer, PlayAddressZeroRunsInitTwiceAndPlaysTheInstalledAddressAndEndlessInitIsAbandoned) {
    ASSERT_TRUE(PrepareTestTune(0, TEST_CODE, 0x105));
    EXPECT_EQ(player.memory[0xF1], 2);
    EXPECT_EQ(player.memory[0xF0], 5); // the song's low 8 bits
    EXPECT_EQ(player.playAddress, 0x1020);
    int16_t samples[SamplesPerFrame];
    RenderFrame(player, samples, SamplesPerFrame);
    EXPECT_EQ(player.memory[0xF2], 1);
    EXPECT_EQ(player.chip.registers[1], 1); // heard from the frame's first sample

    std::vector<uint8_t> code = TEST_CODE;  // an init that never returns is abandoned, and play goes on
    code[0] = 0x4C, code[1] = 0x00, code[2] = 0x10;  // JMP $1000
    ASSERT_TRUE(PrepareTestTune(0x1020, code));
    RenderFrame(player, samples, SamplesPerFrame);
    EXPECT_EQ(player.memory[0xF2], 1);
}

TEST(TunePlayer, UnreadableImagesAreRefusedAndLeaveThePlayerAlone) {
    std::vector<uint8_t> good = MakeImage(0, 0x1000, 0x1000, 0x1020, TEST_CODE);
    std::vector<uint8_t> pastEnd = MakeImage(0, 0xFFF0, 0xFFF0, 0xFFF0, TEST_CODE);
    std::vector<uint8_t> pastEndHeader = MakeImage(0xFFC1, 0, 0xFFC1, 0xFFC1, TEST_CODE);
    std::vector<uint8_t> big(70000, 0);
    std::memcpy(big.data(), good.data(), 0x7C);
    // A header cut one byte short of the play address, in a buffer of its own so that the sanitizers see
    // any read past it.
    const std::vector<uint8_t> cut(good.begin(), good.begin() + 13);
    const struct { const uint8_t* image; uint32_t length; } refused[] = {
        {nullptr, 100}, {good.data(), 0}, {cut.data(), 13}, {good.data(), 0x7C}, {good.data(), 0x7D},
        {pastEnd.data(), uint32_t(pastEnd.size())}, {pastEndHeader.data(), uint32_t(pastEndHeader.size())},
        {big.data(), uint32_t(big.size())}};
    std::memset(&player, 0, sizeof player);
    player.memory[0x1234] = 0x56;
    for (const auto& image : refused) {
        EXPECT_NE(TuneImageFault(image.image, image.length), nullptr) << image.length;
        EXPECT_FALSE(LoadTune(player, image.image, image.length));
        EXPECT_FALSE(PrepareTune(player, image.image, image.length, 0));
        EXPECT_FALSE(StartTune(image.image, image.length, 0));
    }
    EXPECT_EQ(player.memory[0x1234], 0x56);

    // Data that ends exactly at $FFFF loads.
    std::vector<uint8_t> last = MakeImage(0, uint16_t(0x10000 - TEST_CODE.size()), 0xFFC0, 0xFFE0, TEST_CODE);
    EXPECT_EQ(TuneImageFault(last.data(), uint32_t(last.size())), nullptr);
    ASSERT_TRUE(LoadTune(player, last.data(), uint32_t(last.size())));
    EXPECT_EQ(player.memory[0xFFFF], 0xEA);
}

// 16 frames of the test tune, as StartTune renders them: a regression check of the whole chain.
TEST(TunePlayer, RenderedBlocksMatchTheirChecksum) {
    ASSERT_TRUE(PrepareTestTune());
    std::vector<int16_t> samples(2 * SamplesPerBlock);
    for (int frame = 0; frame < 2 * FramesPerBlock; frame++)
        RenderFrame(player, samples.data() + frame * SamplesPerFrame, SamplesPerFrame);
    uint32_t hash = 2166136261u; // FNV-1a over the little-endian samples
    int peak = 0;
    for (int16_t sample : samples) {
        for (int shift : {0, 8}) hash = (hash ^ uint8_t(uint16_t(sample) >> shift)) * 16777619u;
        peak = std::max(peak, std::abs(int(sample)));
    }
    EXPECT_GT(peak, 1000);
    EXPECT_EQ(hash, 2212304909u);
}

} // namespace

TEST(TunePlayer, TheBoundsCheckHoldsForLengthsUpTo4GiB) {
    // Only the header is read to judge an image, so a short buffer stands for images of any length.
    const std::vector<uint8_t> header = MakeImage(0x1000, 0x1000, 0x1000, 0x1020, TEST_CODE);
    const std::vector<uint8_t> dataHeader = MakeImage(0, 0x1000, 0x1000, 0x1020, TEST_CODE);
    const struct { const std::vector<uint8_t>& image; uint64_t length; bool loads; } cases[] = {
        {header, 0x7C + 0xF000, true},      {header, 0x7C + 0xF001, false},  // data from $7C to $FFFF, one more
        {dataHeader, 0x7E + 0xF000, true},  {dataHeader, 0x7E + 0xF001, false},
        {header, 0x100000000 - 0x1000 + 0x7C, false},  // a 32-bit sum would wrap to exactly 0
        {header, 0xFFFFFFFF, false},        {dataHeader, 0xFFFFFFFF, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TuneImageFault(c.image.data(), uint32_t(c.length)) == nullptr, c.loads) << std::hex << c.length;
}
