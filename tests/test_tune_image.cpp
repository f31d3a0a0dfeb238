// The embedded tune image: its header and layout, its regeneration from the assembly source, and how its
// routines behave on our player: instruction counts, the registers they touch, the sample drums, the
// game song's length before it repeats and its levels.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tune/sid_player.h"

namespace {

constexpr uint32_t IMAGE_LENGTH = 21598;
constexpr int SONG_COUNT = 9;
constexpr int GAME_SONG = 0;
constexpr int FRAMES = 3000;
constexpr long INIT_BOUND = 400;          // instructions
constexpr long PLAY_BOUND = 500;          // instructions per play call
constexpr int LOOP_FRAMES = 4800;         // the game song repeats after 96 s
constexpr int SHORTEST_LOOP = 4500;       // 90 s
constexpr uint8_t CONTROL_GATE = 0x01, CONTROL_SYNC = 0x02, CONTROL_RING = 0x04, CONTROL_TEST = 0x08,
                  CONTROL_TRIANGLE = 0x10, CONTROL_SAWTOOTH = 0x20, CONTROL_PULSE = 0x40, CONTROL_NOISE = 0x80;

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

std::string HeaderText(size_t offset) {
    const char* text = reinterpret_cast<const char*>(Image().data() + offset);
    return std::string(text, strnlen(text, 32));
}

// A player with the image loaded and nothing run yet.
std::unique_ptr<SidPlayer> LoadedPlayer() {
    auto player = std::make_unique<SidPlayer>();
    SidReset(*player, MixRate);
    CpuReset(*player);
    EXPECT_TRUE(LoadTune(*player, Image().data(), uint32_t(Image().size())));
    return player;
}

// Runs a routine exactly as RunRoutine does, one instruction at a time, calling afterEach after every
// instruction. Returns the instructions executed, or -1 when the routine has not returned within bound.
template <typename AfterEach>
long CountRoutine(SidPlayer& player, uint16_t address, uint8_t a, long bound, AfterEach afterEach) {
    player.cpu = SidCpu{a, 0, 0, 0xFD, 0, address};
    player.memory[0x01FF] = player.memory[0x01FE] = 0; // the return sentinel
    long count = 0;
    while (player.cpu.pc > 1) {
        if (count == bound) return -1;
        ExecuteInstruction(player);
        ++count;
        afterEach();
    }
    return count;
}

long CountRoutine(SidPlayer& player, uint16_t address, uint8_t a, long bound) {
    return CountRoutine(player, address, a, bound, [] {});
}

} // namespace

TEST(TuneImage, HeaderAndLayout) {
    const std::vector<uint8_t>& image = Image();
    ASSERT_EQ(image.size(), IMAGE_LENGTH);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 4), "PSID");
    // Version, data offset, load address (0: from the data), init, play, songs, start song, speed flags.
    const int words[] = {2, 0x7C, 0, 0x582D, 0x583C, SONG_COUNT, 1, 0, 0};
    for (size_t i = 0; i < std::size(words); ++i) EXPECT_EQ(Word(4 + 2 * i), words[i]) << 4 + 2 * i;
    EXPECT_EQ(HeaderText(22), "vexed drifts");
    EXPECT_EQ(HeaderText(54), "vexed drifts team");
    EXPECT_EQ(HeaderText(86), "2026 vexed drifts team");
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

// The game song sets the master volume on every call and moves it, sweeps the filter's cutoff, plays
// gate, ring modulation, triangle, pulse and noise, and never sync, test, sawtooth nor the cutoff's low
// bits; voices, filter and volume repeat after 96 s.
TEST(TuneImage, GameSongRegisterUseAndLength) {
    auto player = LoadedPlayer();
    ASSERT_GT(CountRoutine(*player, player->initAddress, GAME_SONG, INIT_BOUND), 0);
    uint8_t* regs = player->chip.registers;
    regs[21] = regs[22] = regs[23] = 0xA5;
    uint8_t used = 0;
    int forbidden = 0;
    std::vector<std::string> frames;
    std::set<uint8_t> cutoffs, volumes;
    for (int frame = 0; frame < 3 * LOOP_FRAMES; ++frame) {
        regs[24] = 0;
        long count = CountRoutine(*player, player->playAddress, 0, PLAY_BOUND, [&] {
            for (int voice = 0; voice < 3; ++voice) {
                uint8_t control = regs[voice * 7 + 4];
                used |= control;
                forbidden += (control & (CONTROL_SYNC | CONTROL_TEST | CONTROL_SAWTOOTH)) != 0;
            }
        });
        ASSERT_GT(count, 0) << "frame " << frame;
        ASSERT_GT(regs[24] & 15, 0) << "frame " << frame;
        if (frame >= LOOP_FRAMES) { // once round: the first frames fade in
            cutoffs.insert(regs[22]);
            volumes.insert(regs[24] & 15);
        }
        frames.emplace_back(reinterpret_cast<const char*>(regs), 25);
    }
    EXPECT_EQ(used & (CONTROL_GATE | CONTROL_RING | CONTROL_TRIANGLE | CONTROL_PULSE | CONTROL_NOISE),
              CONTROL_GATE | CONTROL_RING | CONTROL_TRIANGLE | CONTROL_PULSE | CONTROL_NOISE);
    EXPECT_EQ(forbidden, 0);
    EXPECT_EQ(regs[21], 0xA5);
    EXPECT_GT(cutoffs.size(), 50u);
    EXPECT_GE(*volumes.rbegin() - *volumes.begin(), 4);

    // Once round (the first pass starts from silent voices), the registers repeat after exactly
    // LOOP_FRAMES, and no period shorter than SHORTEST_LOOP fits.
    for (int frame = LOOP_FRAMES; frame < 2 * LOOP_FRAMES; ++frame)
        ASSERT_EQ(frames[frame], frames[frame + LOOP_FRAMES]) << "frame " << frame;
    for (int period = 1; period < SHORTEST_LOOP; ++period) {
        int frame = LOOP_FRAMES;
        while (frame < 2 * LOOP_FRAMES && frames[frame] == frames[frame + period]) ++frame;
        EXPECT_LT(frame, 2 * LOOP_FRAMES) << "repeats after " << period << " frames";
    }
}

// Rendered through our synthesis, the game song stays well clear of clipping, sits near -16 dBFS, and
// has no silent second once the intro has begun.
TEST(TuneImage, GameSongLevels) {
    auto player = std::make_unique<SidPlayer>();
    ASSERT_TRUE(PrepareTune(*player, Image().data(), uint32_t(Image().size()), GAME_SONG));
    std::vector<int16_t> samples(size_t(FRAMES) * SamplesPerFrame);
    for (int frame = 0; frame < FRAMES; ++frame)
        RenderFrame(*player, samples.data() + size_t(frame) * SamplesPerFrame, SamplesPerFrame);
    int peak = 0;
    double energy = 0;
    for (int16_t s : samples) {
        peak = std::max(peak, std::abs(int(s)));
        energy += double(s) * s;
    }
    double rmsDb = 10 * std::log10(energy / double(samples.size()) / (32768.0 * 32768.0));
    EXPECT_LT(peak, 16384);           // below -6 dBFS
    EXPECT_GT(rmsDb, -19.0);
    EXPECT_LT(rmsDb, -14.0);
    for (size_t second = 0; second + MixRate <= samples.size(); second += MixRate) {
        double windowEnergy = 0;
        for (size_t i = second; i < second + MixRate; ++i) windowEnergy += double(samples[i]) * samples[i];
        EXPECT_GT(windowEnergy / MixRate, 100.0 * 100.0) << "second " << second / MixRate;
    }
}

// Every song: init returns quickly and leaves the chip alone; then, for longer than its loop, every play
// call is back within its bound. Songs 2 to 9 play their drums on the sample channel with the channel
// settings the player expects; the game song never touches it. At the end of each play call, every
// voice's frequency is a note of the scale table (C-0 to B-6, the top octave halved with rounding), or
// lies between the last table note that voice played and one of that note's neighbours (vibrato, a
// slide). A read past the note table shows up as a squeak, a click or a wrong pitch, far from any neighbour.
TEST(TuneImage, EverySongPlaysWithinItsBoundOnTableNotes) {
    constexpr uint16_t TOP_OCTAVE[12] = {17744, 18799, 19917, 21101, 22356, 23685,
                                         25094, 26586, 28167, 29841, 31616, 33496};
    std::vector<uint16_t> notes;
    for (int octave = 0; octave < 7; ++octave)
        for (uint16_t top : TOP_OCTAVE) notes.push_back(uint16_t((top + (1 << (6 - octave)) / 2) >> (6 - octave)));
    for (int song = 0; song < SONG_COUNT; ++song) {
        SCOPED_TRACE(song);
        auto player = LoadedPlayer();
        for (uint8_t& reg : player->chip.registers) reg = 0xA5;
        ASSERT_GT(CountRoutine(*player, player->initAddress, uint8_t(song), INIT_BOUND), 0);
        for (uint8_t reg : player->chip.registers) EXPECT_EQ(reg, 0xA5);
        EXPECT_EQ(player->samples.preparedPeriod, 0);
        EXPECT_EQ(player->samples.active, 0);
        int sampleStarts = 0;
        size_t last[3] = {0, 0, 0}; // index of each voice's last table note
        for (int frame = 0; frame < LOOP_FRAMES + 200; ++frame) {
            player->samples.active = 0;
            ASSERT_GT(CountRoutine(*player, player->playAddress, 0, PLAY_BOUND), 0) << "frame " << frame;
            sampleStarts += player->samples.active;
            for (int voice = 0; voice < 3; ++voice) {
                const uint8_t* regs = player->chip.registers + voice * 7;
                uint16_t frequency = uint16_t(regs[0] | regs[1] << 8);
                auto at = std::lower_bound(notes.begin(), notes.end(), frequency);
                if (at != notes.end() && *at == frequency) {
                    last[voice] = size_t(at - notes.begin());
                    continue;
                }
                uint16_t below = notes[last[voice] - (last[voice] > 0)];
                uint16_t above = notes[last[voice] + (last[voice] + 1 < notes.size())];
                ASSERT_TRUE(frequency > below && frequency < above)
                    << "frame " << frame << " voice " << voice << ": frequency " << frequency << " after note "
                    << last[voice];
            }
        }
        if (song == GAME_SONG) {
            EXPECT_EQ(sampleStarts, 0);
            EXPECT_EQ(player->samples.preparedPeriod, 0);
        } else {
            EXPECT_GT(sampleStarts, 100);
            EXPECT_EQ(player->samples.period, 0x029C);
            EXPECT_EQ(player->samples.order, 1);
            EXPECT_EQ(player->samples.repeatCount, 0);
            EXPECT_GE(player->samples.start, 0x0500);
            EXPECT_LE(player->samples.end, 0x58E0);
            EXPECT_LT(player->samples.start, player->samples.end);
        }
    }
}
