// The embedded tune image: its header and layout, its regeneration from the assembly source, and that
// every song starts and plays on our player. What the music sounds like is left to the ears.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tune/sid_player.h"

namespace {

constexpr uint32_t IMAGE_LENGTH = 21598;
constexpr int SONG_COUNT = 9;

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const std::vector<uint8_t>& Image() {
    static const std::vector<uint8_t> image = ReadFile(VD_SOURCE_DIR "/assets/data/tune.sid");
    return image;
}

uint16_t Word(size_t offset) {
    return uint16_t(Image()[offset] << 8 | Image()[offset + 1]);
}

// A player with the image loaded and nothing run yet.
std::unique_ptr<SidPlayer> LoadedPlayer() {
    auto player = std::make_unique<SidPlayer>();
    SidReset(*player, MixRate);
    CpuReset(*player);
    EXPECT_TRUE(LoadTune(*player, Image().data(), uint32_t(Image().size())));
    return player;
}

} // namespace

TEST(TuneImage, HeaderAndLayout) {
    const std::vector<uint8_t>& image = Image();
    ASSERT_EQ(image.size(), IMAGE_LENGTH);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 4), "PSID");
    EXPECT_EQ(Word(4), 2);            // version
    EXPECT_EQ(Word(6), 0x7C);         // data offset
    EXPECT_EQ(Word(8), 0);            // load address: from the data
    EXPECT_EQ(Word(10), 0x582D);      // init
    EXPECT_EQ(Word(12), 0x583C);      // play
    EXPECT_EQ(Word(14), SONG_COUNT);
    EXPECT_EQ(Word(16), 1);           // start song
    EXPECT_EQ(Word(18), 0);           // speed flags
    EXPECT_EQ(Word(20), 0);
    EXPECT_EQ(image[0x7C], 0x00);
    EXPECT_EQ(image[0x7D], 0x05);

    auto player = LoadedPlayer();
    EXPECT_EQ(player->loadAddress, 0x0500);
    EXPECT_EQ(player->initAddress, 0x582D);
    EXPECT_EQ(player->playAddress, 0x583C);
    EXPECT_EQ(std::memcmp(player->memory + 0x0500, image.data() + 0x7E, 0x58E0 - 0x0500), 0);
}

TEST(TuneImage, BuildScriptReproducesTheCommittedImage) {
    if (std::system("command -v ca65 >/dev/null 2>&1 && command -v ld65 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ca65/ld65 not installed";
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("tune_build_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::path out = dir / "tune.sid";
    std::string command = std::string("sh '" VD_SOURCE_DIR "/assets/tune/build.sh' '") + out.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::vector<uint8_t> built = ReadFile(out.string());
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(built == Image()) << "assets/data/tune.sid differs from what assets/tune/build.sh makes";
}

// Whatever the music, every song's init returns and so do its first play calls.
TEST(TuneImage, EverySongStartsAndPlays) {
    for (int song = 0; song < SONG_COUNT; ++song) {
        auto player = LoadedPlayer();
        ASSERT_TRUE(RunRoutine(*player, player->initAddress, uint8_t(song))) << song;
        for (int frame = 0; frame < 50; ++frame) ASSERT_TRUE(RunRoutine(*player, player->playAddress, 0)) << song;
    }
}
