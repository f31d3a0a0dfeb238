// The sample channel: commands, stepping, nibble order, the end, the repeat count and a period of 0.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tune/sid_player.h"

namespace {

SidPlayer player;

// Prepares a sample of the given bytes at $2000 and sends the command through the processor's write path.
void Program(std::vector<uint8_t> bytes, uint16_t period, uint8_t order, uint8_t command, uint8_t repeats = 0) {
    std::memcpy(player.memory + 0x2000, bytes.data(), bytes.size());
    uint16_t end = uint16_t(0x2000 + bytes.size());
    const std::pair<uint16_t, uint8_t> writes[] = {
        {0xD41E, 0x00}, {0xD41F, 0x20}, {0xD43D, uint8_t(end)}, {0xD43E, uint8_t(end >> 8)},
        {0xD45D, uint8_t(period)}, {0xD45E, uint8_t(period >> 8)}, {0xD47D, order}, {0xD43F, repeats},
        {0xD47E, 0x00}, {0xD47F, 0x20}, {0xD41D, command}};
    for (auto [address, value] : writes) WriteMemory(player, address, value);
}

void Reset() {
    std::memset(&player, 0, sizeof player);
}

// The channel's contribution for count output samples.
std::vector<int32_t> Mix(int count) {
    std::vector<int32_t> values;
    for (int i = 0; i < count; i++) values.push_back(MixSampleChannel(player, 0));
    return values;
}

// The distinct values heard, in order.
std::vector<int32_t> Nibbles(const std::vector<int32_t>& values) {
    std::vector<int32_t> heard;
    for (int32_t value : values)
        if (heard.empty() || heard.back() != value) heard.push_back(value);
    return heard;
}

TEST(TuneSamples, TunePeriodStepsEvery29Or30Samples) {
    Reset();
    Program({0x12, 0x34, 0x56, 0x78}, 0x029C, 1, 0xFE);
    EXPECT_EQ(player.samples.step, 1474);
    std::vector<int32_t> values = Mix(200);
    std::vector<int> changes;
    for (size_t i = 1; i < values.size(); i++)
        if (values[i] != values[i - 1]) changes.push_back(int(i));
    ASSERT_GE(changes.size(), 4u);
    EXPECT_EQ(values[0], 0); // the previous value until the first step
    for (size_t i = 1; i < changes.size(); i++) {
        int gap = changes[i] - changes[i - 1];
        EXPECT_TRUE(gap == 29 || gap == 30) << gap;
    }
}

TEST(TuneSamples, NibbleOrderAndSelectorCarryOver) {
    // A nibble n is heard as (n - 7) x 1024, from the sample after its fetch. Order 0 from selector 0
    // starts on the high nibble of the start byte, then plays each byte low nibble first.
    Reset();
    Program({0x12, 0x34, 0x56}, 1, 0, 0xFF);
    EXPECT_EQ(Nibbles(Mix(6)), (std::vector<int32_t>{0, -6 * 1024, -3 * 1024, -4 * 1024, -1024, -2 * 1024}));
    // Another order from selector 0 starts on the high nibble of the byte after the start.
    Reset();
    Program({0x12, 0x34, 0x56}, 1, 1, 0xFF);
    EXPECT_EQ(Nibbles(Mix(5)), (std::vector<int32_t>{0, -4 * 1024, -3 * 1024, -2 * 1024, -1024}));
}

TEST(TuneSamples, EndStartCommandsAndPeriodZero) {
    Reset();
    Program({0x99}, 1, 0, 0xFF);
    player.samples.end = player.samples.start; // an end equal to the start plays nothing
    EXPECT_EQ(Mix(10), std::vector<int32_t>(10, 0));

    Program({0xF0, 0xF0}, 1, 0, 0xFF);
    Mix(10); // plays to the end, then falls silent while still flagged active
    EXPECT_EQ(player.samples.active, 1);
    EXPECT_EQ(Mix(3), std::vector<int32_t>(3, 0));

    Program({0xAA, 0xAA}, 1, 0, 0x00); // below $FD: reloads and restarts without starting or stopping
    EXPECT_EQ(player.samples.position, 0x2000u);
    EXPECT_EQ(player.samples.active, 1);
    EXPECT_NE(Mix(1)[0], 0);
    Program({0xAA, 0xAA}, 1, 0, 0xFD);
    EXPECT_EQ(Mix(3), std::vector<int32_t>(3, 0));

    Reset();
    player.samples.value = 4096;
    Program({0xFF, 0xFF}, 0, 0, 0xFF); // a period of 0 is silent
    EXPECT_EQ(Mix(100), std::vector<int32_t>(100, 0));
}

TEST(TuneSamples, RepeatCountReplaysFromTheRepeatAddress) {
    Reset();
    Program({0x00, 0xFF}, 1, 0, 0xFF, 2); // three passes of 4 nibbles in all
    std::vector<int32_t> values = Mix(30);
    int steps = 0;
    for (size_t i = 1; i < values.size(); i++) steps += values[i] != values[i - 1];
    EXPECT_EQ(player.samples.repeatCount, 0);
    EXPECT_EQ(values.back(), 0);
    EXPECT_GE(steps, 6);
}

} // namespace
