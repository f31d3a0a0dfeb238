// Sound effects, the mixer and the tune's block output, played through the headless device pumped by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "assets/catalogue.h"
#include "platform/headless.h"
#include "platform/mixer.h"
#include "platform/sound.h"
#include "tune/audio_stream.h"

namespace {

// A RIFF WAVE file (8-bit mono unless said); extra chunks go between "fmt " and "data".
std::vector<uint8_t> MakeWave(const std::vector<uint8_t>& samples, uint32_t rate = 6000,
                              const std::string& extraChunks = "", uint16_t channels = 1, uint16_t bits = 8) {
    std::vector<uint8_t> file;
    auto text = [&](const std::string& s) { file.insert(file.end(), s.begin(), s.end()); };
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) file.push_back(uint8_t(v >> (8 * i))); };
    auto u16 = [&](uint16_t v) { file.push_back(uint8_t(v)); file.push_back(uint8_t(v >> 8)); };
    text("RIFF"); u32(0); text("WAVE");
    const uint16_t align = uint16_t(channels * bits / 8);
    text("fmt "); u32(16); u16(1); u16(channels); u32(rate); u32(rate * align); u16(align); u16(bits);
    text(extraChunks);
    text("data"); u32(uint32_t(samples.size()));
    file.insert(file.end(), samples.begin(), samples.end());
    return file;
}

bool Load(int id, const std::vector<uint8_t>& samples) {
    const std::vector<uint8_t> file = MakeWave(samples);
    return LoadSoundFromMemory(id, file.data(), file.size()) != 0;
}

// frames of device output, fetched in device-sized buffers
std::vector<int16_t> Pump(int frames) {
    std::vector<int16_t> out(size_t(frames), 0);
    for (int at = 0; at < frames; at += 1024) EXPECT_TRUE(HeadlessPumpAudio(out.data() + at, std::min(1024, frames - at)));
    return out;
}

int Highest(const std::vector<int16_t>& out) { return *std::max_element(out.begin(), out.end()); }

int LastSounding(const std::vector<int16_t>& out) {
    for (int i = int(out.size()) - 1; i >= 0; --i)
        if (out[i] != 0) return i;
    return -1;
}

int FramesFor(int milliseconds) { return milliseconds * 441 / 10; }

// 8-bit sample 200 plays as 72 x 256.
constexpr uint8_t LOUD = 200;
constexpr int LOUD_LEVEL = 72 * 256;

class Sound : public ::testing::Test {
protected:
    void SetUp() override {
        HeadlessReset();
        ASSERT_NE(InitSoundEffects(), 0);
    }
    void TearDown() override { ShutdownSoundEffects(); }
};

TEST_F(Sound, VolumeTableSetsTheMainVoiceAndClamps) {
    const int expected[][2] = {{-5, 0}, {0, 0}, {1, 6000}, {2, 6602}, {10, 8000}, {50, 9397}, {99, 9991}, {100, 10000},
                               {150, 10000}};
    for (const auto& [k, t] : expected) EXPECT_EQ(VolumeAttenuation(k), t) << k;
    EXPECT_NEAR(VolumeGain(50), FULL_GAIN * 0.5, FULL_GAIN * 0.001);   // amplitude k / 100 within 0.01 dB
    ASSERT_TRUE(Load(SOUND_ROUND_START, std::vector<uint8_t>(2625, LOUD)));
    SetSoundEffectVolume(SOUND_ROUND_START, 50);
    ASSERT_EQ(StartSoundEffect(SOUND_ROUND_START), 1);
    EXPECT_NEAR(Highest(Pump(1000)), LOUD_LEVEL / 2, LOUD_LEVEL / 200);
    SetSoundEffectVolume(SOUND_ROUND_START, 150);        // as 100, on the voice already playing
    EXPECT_EQ(Highest(Pump(1000)), LOUD_LEVEL);
    SetSoundEffectVolume(SOUND_ROUND_START, -5);         // as 0: silent
    EXPECT_EQ(Highest(Pump(1000)), 0);
    StartSoundEffect(SOUND_ROUND_START);                 // a restart keeps the volume
    EXPECT_EQ(Highest(Pump(1000)), 0);
    StartSoundEffectEx(SOUND_ROUND_START, 2);            // extra voices play at the volume read at loading
    EXPECT_EQ(Highest(Pump(1000)), LOUD_LEVEL);
}

TEST_F(Sound, RestartIsOneVoiceEndingAfterTheSecondStart) {
    ASSERT_TRUE(Load(SOUND_LAUNCH, std::vector<uint8_t>(5263, LOUD)));
    ASSERT_EQ(StartSoundEffect(SOUND_LAUNCH), 1);
    std::vector<int16_t> out = Pump(FramesFor(100));
    ASSERT_EQ(StartSoundEffect(SOUND_LAUNCH), 1);
    const std::vector<int16_t> rest = Pump(FramesFor(1200));
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_EQ(Highest(out), LOUD_LEVEL);                    // never two voices at once
    EXPECT_EQ(LastSounding(out) * 1000 / 44100, 977);
}

TEST_F(Sound, ExtraVoicesOverlap) {
    ASSERT_TRUE(Load(SOUND_BLAST, std::vector<uint8_t>(7160, 150)));
    const int level = 22 * 256;
    const uintptr_t first = StartSoundEffectEx(SOUND_BLAST, 2);
    const std::vector<int16_t> alone = Pump(FramesFor(100));
    const uintptr_t second = StartSoundEffectEx(SOUND_BLAST, 2);
    EXPECT_NE(first, 0u);
    EXPECT_NE(second, 0u);
    EXPECT_NE(first, second);
    const std::vector<int16_t> both = Pump(FramesFor(1000));
    const std::vector<int16_t> tail = Pump(FramesFor(200));
    EXPECT_EQ(Highest(alone), level);
    EXPECT_EQ(*std::min_element(both.begin(), both.end()), 2 * level);
    EXPECT_EQ(tail[FramesFor(150)], level);              // the first has ended at 1193 ms, the second plays on
    EXPECT_EQ(LastSounding(tail) * 1000 / 44100 + 1100, 1293);
}

TEST_F(Sound, FinishedVoicesLeaveTheirSlotsToLaterOnes) {
    // A looping hum holds the oldest voice; 80 short blasts, each over before the next, must take the
    // slots the ones before left, not steal the hum's when the 64 slots seem full.
    ASSERT_TRUE(Load(SOUND_BLAST, std::vector<uint8_t>(60, 150)));  // 10 ms
    ASSERT_TRUE(Load(SOUND_LAUNCH, std::vector<uint8_t>(600, LOUD)));
    ASSERT_NE(StartSoundEffectEx(SOUND_LAUNCH, 1 | 2), 0u);
    for (int i = 0; i < 80; ++i) {
        ASSERT_NE(StartSoundEffectEx(SOUND_BLAST, 2), 0u);
        Pump(FramesFor(20));
    }
    EXPECT_EQ(Highest(Pump(FramesFor(50))), LOUD_LEVEL);  // the hum, alone
}

TEST_F(Sound, StopsReachOnlyTheirOwnVoices) {
    ASSERT_TRUE(Load(SOUND_LAUNCH, std::vector<uint8_t>(5263, 130)));   // 2 x 256
    ASSERT_TRUE(Load(SOUND_BLAST, std::vector<uint8_t>(7160, 132)));    // 4 x 256
    StartSoundEffect(SOUND_LAUNCH);
    StartSoundEffect(SOUND_BLAST);
    const uintptr_t blast = StartSoundEffectEx(SOUND_BLAST, 2);
    StartSoundEffectEx(SOUND_BLAST, 2);
    EXPECT_EQ(Pump(100)[50], (2 + 3 * 4) * 256);
    StopSoundEffect(SOUND_BLAST);                        // the main voice only
    EXPECT_EQ(Pump(100)[50], (2 + 2 * 4) * 256);
    StopSoundVoice(SOUND_LAUNCH, blast);                 // another sound's handle
    StopSoundVoice(SOUND_BLAST, blast + 1000);           // a handle never given
    EXPECT_EQ(Pump(100)[50], (2 + 2 * 4) * 256);
    StopSoundVoice(SOUND_BLAST, blast);
    EXPECT_EQ(Pump(100)[50], (2 + 4) * 256);
    StopSoundVoice(SOUND_LAUNCH, 0);                     // handle 0 names the main voice
    EXPECT_EQ(Pump(100)[50], 4 * 256);
}

TEST_F(Sound, StaleHandleNeverReachesALaterVoice) {
    ASSERT_TRUE(Load(SOUND_BLAST, std::vector<uint8_t>(60, 129)));      // 10 ms at 256
    const uintptr_t stale = StartSoundEffectEx(SOUND_BLAST, 2);
    Pump(FramesFor(20));                                 // it has finished
    for (int i = 0; i < 100; ++i) StartSoundEffectEx(SOUND_BLAST, 2 | 1);   // more voices than the mixer holds
    const int level = Pump(100)[50];
    EXPECT_GT(level, 0);
    StopSoundVoice(SOUND_BLAST, stale);
    EXPECT_EQ(Pump(100)[50], level);
    const uintptr_t dropped = StartSoundEffectEx(SOUND_BLAST, 2 | 1);
    ASSERT_TRUE(Load(SOUND_BLAST, std::vector<uint8_t>(60, 130)));      // reloading drops every voice
    EXPECT_EQ(Highest(Pump(100)), 0);
    StartSoundEffectEx(SOUND_BLAST, 2 | 1);
    StopSoundVoice(SOUND_BLAST, dropped);
    EXPECT_EQ(Highest(Pump(100)), 2 * 256);
}

TEST_F(Sound, ResamplesByStraightLinesNotStairSteps) {
    std::vector<uint8_t> source(60);
    for (size_t i = 0; i < source.size(); ++i) source[i] = i % 2 ? 208 : 48;   // large steps, within the knee
    ASSERT_TRUE(Load(SOUND_PICKUP_FIRST, source));
    // Once through, and looped past its end, where the last sample leads on to the first.
    for (const auto& [frames, loop] : {std::pair{400, 0}, std::pair{900, 1}}) {
        StartSoundEffectEx(SOUND_PICKUP_FIRST, loop);
        const std::vector<int16_t> out = Pump(frames);  // 54 and 122 source samples
        for (size_t f = 0; f < out.size(); ++f) {
            const double at = double(f) * 6000 / 44100, fraction = at - std::floor(at);
            const size_t i = size_t(at) % source.size(), next = (i + 1) % source.size();
            const double a = (source[i] - 128) * 256.0, b = (source[next] - 128) * 256.0;
            ASSERT_NEAR(out[f], a + (b - a) * fraction, 3.0) << loop << " " << f;
        }
        StopSoundEffect(SOUND_PICKUP_FIRST);
        Pump(1000);
    }
}

TEST_F(Sound, SumsSaturate) {
    for (const auto& [id, sample, sum] : {std::tuple{SOUND_BLAST, 255, 3 * 127 * 256}, std::tuple{SOUND_LAUNCH, 0, -3 * 128 * 256}}) {
        ASSERT_TRUE(Load(id, std::vector<uint8_t>(600, uint8_t(sample))));
        for (int i = 0; i < 3; ++i) StartSoundEffectEx(id, 2);
        const std::vector<int16_t> out = Pump(500);
        EXPECT_EQ(std::count(out.begin(), out.end(), SoftLimit(sum)), 500) << sample;
        Pump(5000);
    }
}

TEST_F(Sound, LoadingWalksChunksAndRefusesWhatItCannotRead) {
    const std::string list = std::string("LIST", 4) + std::string("\x04\0\0\0", 4) + "INFO";
    std::vector<uint8_t> file = MakeWave(std::vector<uint8_t>(101, LOUD), 6000, list);
    EXPECT_EQ(LoadSoundFromMemory(SOUND_LAUNCH, file.data(), file.size()), 1);
    EXPECT_EQ(StartSoundEffect(SOUND_LAUNCH), 1);
    EXPECT_EQ(LoadSoundFromMemory(SOUND_LAUNCH, file.data(), file.size() - 1), 0);   // data runs past the end
    EXPECT_EQ(StartSoundEffect(SOUND_LAUNCH), 0);       // a failed load leaves the id empty ...
    EXPECT_EQ(Highest(Pump(500)), 0);                       // ... and silences what it held
    std::memcpy(file.data(), "RIFX", 4);
    EXPECT_EQ(LoadSoundFromMemory(SOUND_LAUNCH, file.data(), file.size()), 0);
    // 16-bit stereo at the device rate plays as the mean of its channels: (-1000 + 3000) / 2.
    file = MakeWave({0x18, 0xFC, 0xB8, 0x0B, 0x18, 0xFC, 0xB8, 0x0B}, 44100, "", 2, 16);
    EXPECT_EQ(LoadSoundFromMemory(SOUND_LAUNCH, file.data(), file.size()), 1);
    StartSoundEffect(SOUND_LAUNCH);
    EXPECT_EQ(Pump(1)[0], 1000);
    EXPECT_EQ(StartSoundEffectEx(103, 2), 0u);           // nothing under the id: nothing happens
    StopSoundEffect(103);
    StopSoundVoice(103, 1);
    SetSoundEffectVolume(103, 50);
}

// The page's audio thread mixes with a mirror of this mixer: it is sent what the sound effects do and replays
// it with StartVoiceAs and the rest. Whatever it is sent, replayed at the same points of the output, must
// sound exactly as the mixer here does on its own; meanwhile nothing is mixed here.
struct MirrorCall {
    char what;                         // s start, x stop, g gain, r release, p the output pumped this far
    uintptr_t handle;
    int owner, count, gain;
    bool extra, loop;
    std::vector<int16_t> samples;      // copied as they were sent: the sound may be gone by the replay
    uint32_t rate;
};
std::vector<MirrorCall> mirrorCalls;
int mirrorBlocksOpened;

const RemoteMixer RECORDING = {
    [](uintptr_t handle, int owner, bool extra, const int16_t* samples, int count, uint32_t rate, int gain, bool loop) {
        mirrorCalls.push_back({'s', handle, owner, count, gain, extra, loop, {samples, samples + count}, rate});
    },
    [](int owner, bool extra, uintptr_t handle) { mirrorCalls.push_back({'x', handle, owner, 0, 0, extra, false, {}, 0}); },
    [](uintptr_t handle, int gain) { mirrorCalls.push_back({'g', handle, 0, 0, gain, false, false, {}, 0}); },
    [](int owner) { mirrorCalls.push_back({'r', 0, owner, 0, 0, false, false, {}, 0}); },
    {[](void (*)(void*, int), void*) { return ++mirrorBlocksOpened, true; }, [](int, const int16_t*, int) { return true; },
     [] {}, [] {}},
};

// Sound effects at work: restarts of the main voice, extra voices beyond the mixer's slots, stops by stale and
// live handles, a volume change, a reload. pump(frames) is called between the steps.
template <class Pump>
void PlayEffects(Pump pump) {
    ASSERT_TRUE(Load(SOUND_LAUNCH, std::vector<uint8_t>(5263, 130)));
    ASSERT_TRUE(Load(SOUND_BLAST, std::vector<uint8_t>(60, 140)));
    StartSoundEffect(SOUND_LAUNCH);
    const uintptr_t first = StartSoundEffectEx(SOUND_BLAST, 2);
    pump(700);
    StartSoundEffect(SOUND_LAUNCH);
    for (int i = 0; i < 80; ++i) StartSoundEffectEx(SOUND_BLAST, 2 | 1);
    const uintptr_t looping = StartSoundEffectEx(SOUND_BLAST, 2 | 1);
    pump(300);
    StopSoundVoice(SOUND_BLAST, first);
    StopSoundVoice(SOUND_BLAST, looping);
    SetSoundEffectVolume(SOUND_LAUNCH, 40);
    pump(900);
    ASSERT_TRUE(Load(SOUND_BLAST, std::vector<uint8_t>(600, 120)));
    StartSoundEffectEx(SOUND_BLAST, 2);
    pump(2000);
}

TEST_F(Sound, AMirroredMixerPlaysExactlyWhatThisOneWould) {
    std::vector<int16_t> local;
    PlayEffects([&](int frames) {
        const std::vector<int16_t> part = Pump(frames);
        local.insert(local.end(), part.begin(), part.end());
    });
    ShutdownSoundEffects();

    mirrorCalls.clear();
    mirrorBlocksOpened = 0;
    SetRemoteMixer(&RECORDING);
    ASSERT_NE(InitSoundEffects(), 0);
    ASSERT_TRUE(OpenOutput());                          // the tune goes to the remote's block stream too
    EXPECT_EQ(mirrorBlocksOpened, 1);
    CloseOutput();
    std::vector<int16_t> unmixed;
    PlayEffects([&](int frames) {
        mirrorCalls.push_back({'p', 0, 0, frames, 0, false, false, {}, 0});
        const std::vector<int16_t> part = Pump(frames);
        unmixed.insert(unmixed.end(), part.begin(), part.end());
    });
    EXPECT_EQ(Highest(unmixed), 0);
    EXPECT_EQ(*std::min_element(unmixed.begin(), unmixed.end()), 0);
    SetRemoteMixer(nullptr);

    // The mirror's side, on the same mixer.
    std::vector<int16_t> mirrored;
    for (const MirrorCall& c : mirrorCalls) {
        switch (c.what) {
            case 's': StartVoiceAs(c.handle, c.owner, c.extra, c.samples.data(), c.count, c.rate, c.gain, c.loop); break;
            case 'x': StopVoice(c.owner, c.extra, c.handle); break;
            case 'g': SetVoiceGain(c.handle, c.gain); break;
            case 'r': ReleaseVoices(c.owner); break;
            case 'p': {
                const std::vector<int16_t> part = Pump(c.count);
                mirrored.insert(mirrored.end(), part.begin(), part.end());
                break;
            }
        }
    }
    ASSERT_EQ(mirrored.size(), local.size());
    EXPECT_GT(Highest(local), 0);
    for (size_t f = 0; f < local.size(); ++f) ASSERT_EQ(mirrored[f], local[f]) << f;
}

// The tune's side: blocks reported on the device's worker, in order, and never after close.
struct Reports {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> blocks;
    std::vector<std::thread::id> threads;
    std::vector<int16_t> samples[2];

    bool WaitFor(size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [&] { return blocks.size() >= count; });
    }
};

void Refill(void* user, int block) {
    auto* reports = static_cast<Reports*>(user);
    {
        std::lock_guard<std::mutex> lock(reports->mutex);
        reports->blocks.push_back(block);
        reports->threads.push_back(std::this_thread::get_id());
    }
    audioBlockDevice.queue(block, reports->samples[block].data(), 700);
    reports->changed.notify_all();
}

class BlockStream : public Sound {
protected:
    Reports reports;
    bool onFrameLoop = false;            // as in a web page: no worker, the mix call reports
    void SetUp() override {
        Sound::SetUp();
        HeadlessSetMixOnFrameLoop(onFrameLoop);
        reports.samples[0].assign(700, 1000);
        reports.samples[1].assign(700, 2000);
        ASSERT_TRUE(audioBlockDevice.open(Refill, &reports));
        ASSERT_TRUE(audioBlockDevice.queue(0, reports.samples[0].data(), 700));
        ASSERT_TRUE(audioBlockDevice.queue(1, reports.samples[1].data(), 700));
    }
};

TEST_F(BlockStream, PlaysInOrderAndRefillsOnTheWorker) {
    EXPECT_EQ(Highest(Pump(3000)), 0);                      // paused until resumed
    ASSERT_TRUE(Load(SOUND_LAUNCH, std::vector<uint8_t>(5263, 130)));
    StartSoundEffect(SOUND_LAUNCH);                      // effects mix on top of the blocks
    audioBlockDevice.resume();
    std::vector<int16_t> out;
    for (size_t played = 1; played <= 4; ++played) {
        const std::vector<int16_t> part = Pump(700);
        out.insert(out.end(), part.begin(), part.end());
        ASSERT_TRUE(reports.WaitFor(played));
    }
    EXPECT_EQ(reports.blocks, (std::vector<int>{0, 1, 0, 1}));
    for (std::thread::id id : reports.threads) EXPECT_NE(id, std::this_thread::get_id());
    for (size_t f = 0; f < out.size(); ++f) ASSERT_EQ(out[f], (f / 700 % 2 ? 2000 : 1000) + 512) << f;
}

TEST_F(BlockStream, NothingIsReportedAfterCloseOrShutdown) {
    audioBlockDevice.resume();
    Pump(700);
    ASSERT_TRUE(reports.WaitFor(1));
    Pump(300);                                           // block 1 is part played
    audioBlockDevice.close();
    const size_t reported = reports.blocks.size();
    EXPECT_EQ(Highest(Pump(3000)), 0);                      // the queue is gone
    EXPECT_FALSE(audioBlockDevice.queue(0, reports.samples[0].data(), 700));
    audioBlockDevice.close();                            // a second close does nothing
    EXPECT_EQ(reports.blocks.size(), reported);
    EXPECT_TRUE(audioBlockDevice.open(Refill, &reports));   // and the device opens again
    for (int block : {0, 1}) EXPECT_TRUE(audioBlockDevice.queue(block, reports.samples[block].data(), 700));
    audioBlockDevice.resume();
    ShutdownSoundEffects();                              // which closes the stream too
    int16_t out[16];
    EXPECT_FALSE(HeadlessPumpAudio(out, 16));
    EXPECT_FALSE(audioBlockDevice.queue(0, reports.samples[0].data(), 700));
    audioBlockDevice.close();
    EXPECT_EQ(reports.blocks.size(), reported);
}

// Closing a playing stream ramps it down over 10 ms of device output instead of cutting the wave.
// From out[start] on, the closing ramp and then silence: falling without a step, over 441 frames at gains
// 441/442 down to 1/442.
void ExpectOneRampDown(const std::vector<int16_t>& out, size_t start) {
    for (size_t f = start; f + 1 < out.size(); ++f) ASSERT_LE(out[f + 1] - out[f], 0) << f;
    for (size_t f = start; f + 1 < out.size(); ++f) ASSERT_GE(out[f + 1] - out[f], -3) << f;  // no step
    EXPECT_EQ(LastSounding(out) - int(start), 440);
}

TEST_F(BlockStream, CloseRampsThePlayingBlockDown) {
    reports.samples[1].assign(700, 1000);                // one level throughout: only the ramp moves it
    audioBlockDevice.resume();
    std::thread closer([] { audioBlockDevice.close(); });
    std::vector<int16_t> out;
    while (out.size() < 70000 && (out.empty() || out.back() == 1000)) {
        out.push_back(Pump(1)[0]);
        if (out.size() % 700 == 0 && !reports.WaitFor(out.size() / 700)) break; // two blocks stay queued
        std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    const std::vector<int16_t> rest = Pump(1024);
    closer.join();
    out.insert(out.end(), rest.begin(), rest.end());
    const size_t start = out.size() - rest.size() - 1;
    ASSERT_LT(out[start], 1000);
    ExpectOneRampDown(out, start);
}

// A stream closed near the end of its block ramps on through the next queued one.
TEST_F(BlockStream, TheCloseRampGoesOnIntoTheNextBlock) {
    reports.samples[1].assign(700, 1000);
    audioBlockDevice.resume();
    std::vector<int16_t> out = Pump(600);
    std::thread closer([] { audioBlockDevice.close(); });
    // One frame a millisecond until the ramp begins, which must be in the first block's last 100 frames;
    // then the rest at once, as the closer waits only so long for the ramp.
    while (out.size() < 690 && out.back() == 1000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        out.push_back(Pump(1)[0]);
    }
    const bool begun = out.back() < 1000;
    const std::vector<int16_t> rest = Pump(1024);
    closer.join();
    if (!begun) GTEST_SKIP() << "the closing thread did not start within 90 ms";
    out.insert(out.end(), rest.begin(), rest.end());
    ExpectOneRampDown(out, out.size() - rest.size() - 1);
    EXPECT_GT(LastSounding(out), 700) << "past the first block";
}

// Without threads every block is reported inside the mix call that finishes it, and the next one follows
// without a gap, whatever the pieces the frame loop mixes.
class FrameLoopBlockStream : public BlockStream {
protected:
    FrameLoopBlockStream() { onFrameLoop = true; }
};

TEST_F(FrameLoopBlockStream, ReportsInsideTheMixCallThatFinishesABlock) {
    audioBlockDevice.resume();
    std::vector<int16_t> out;
    for (const int piece : {350, 300, 100, 650, 1000, 400}) {
        const std::vector<int16_t> part = Pump(piece);
        out.insert(out.end(), part.begin(), part.end());
        EXPECT_EQ(reports.blocks.size(), out.size() / 700) << out.size();
    }
    EXPECT_EQ(reports.blocks, (std::vector<int>{0, 1, 0, 1}));
    for (std::thread::id id : reports.threads) EXPECT_EQ(id, std::this_thread::get_id());
    for (size_t f = 0; f < out.size(); ++f) ASSERT_EQ(out[f], f / 700 % 2 ? 2000 : 1000) << f;
    audioBlockDevice.close();
    EXPECT_EQ(Highest(Pump(1400)), 0);
    EXPECT_EQ(reports.blocks.size(), 4u);
}

TEST(SoundWithoutDevice, RunsSilentlyAndSaysWhyOnce) {
    HeadlessReset();
    HeadlessSetAudioAvailable(false);
    ::testing::internal::CaptureStderr();
    EXPECT_NE(InitSoundEffects(), 0);
    const std::vector<uint8_t> file = MakeWave(std::vector<uint8_t>(600, LOUD));
    EXPECT_EQ(LoadSoundFromMemory(SOUND_LAUNCH, file.data(), file.size()), 1);
    EXPECT_EQ(StartSoundEffect(SOUND_LAUNCH), 1);
    EXPECT_NE(StartSoundEffectEx(SOUND_LAUNCH, 2), 0u);
    Reports reports;
    EXPECT_FALSE(audioBlockDevice.open(Refill, &reports)); // the tune is silent without a word
    audioBlockDevice.close();
    ShutdownSoundEffects();
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("no sound"), std::string::npos);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
    int16_t out[16];
    EXPECT_FALSE(HeadlessPumpAudio(out, 16));
    HeadlessSetAudioAvailable(true);
}

// The device's thread mixes while the main thread starts, stops, reloads and streams.
TEST_F(BlockStream, DeviceThreadRunsAlongsideTheMainThread) {
    audioBlockDevice.resume();
    std::atomic<bool> stop{false};
    std::thread device([&] {
        int16_t out[512];
        while (!stop) HeadlessPumpAudio(out, 512);
    });
    for (int round = 0; round < 200; ++round) {
        ASSERT_TRUE(Load(SOUND_BLAST, std::vector<uint8_t>(size_t(100 + round), uint8_t(round))));
        StartSoundEffect(SOUND_BLAST);
        const uintptr_t voice = StartSoundEffectEx(SOUND_BLAST, 2 | (round & 1));
        SetSoundEffectVolume(SOUND_BLAST, round % 101);
        if (round % 3 == 0) StopSoundVoice(SOUND_BLAST, voice);
        if (round % 5 == 0) StopSoundEffect(SOUND_BLAST);
    }
    ASSERT_TRUE(reports.WaitFor(4));
    audioBlockDevice.close();
    stop = true;
    device.join();
}

} // namespace

TEST(SoundMix, ExactUpToTheKneeThenRoundedOffShortOfFullScale) {
    for (int32_t sum : {0, 1, -1, 1000, -20000, KNEE, -KNEE}) EXPECT_EQ(SoftLimit(sum), sum);
    // Past the knee: rising, the step never steeper than the straight line, full scale never reached.
    int64_t previousSum = KNEE;
    int previous = KNEE;
    for (int64_t sum = KNEE + 1; sum <= INT32_MAX; sum += sum / 64 + 1) {
        const int level = SoftLimit(int32_t(sum));
        ASSERT_EQ(SoftLimit(int32_t(-sum)), -level) << sum;
        ASSERT_GE(level, previous) << sum;
        ASSERT_LE(level - previous, sum - previousSum) << sum;
        ASSERT_LT(level, 32767) << sum;
        previousSum = sum;
        previous = level;
    }
    EXPECT_EQ(SoftLimit(INT32_MIN), -32766);
    EXPECT_GT(SoftLimit(32767), 31000);  // a lone full-scale sample stays loud
}
