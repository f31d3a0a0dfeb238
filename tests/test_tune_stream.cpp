// The block streaming over a fake device whose reporting thread plays every queued block at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tune/audio_stream.h"
#include "tune/sid_player.h"

namespace {

// The fake device. Everything it records is guarded by its mutex.
struct FakeDevice {
    std::mutex lock;
    std::condition_variable wake;
    std::thread reporter;
    std::deque<int> queue;
    std::vector<int> queued; // every block queued, in order
    int opens = 0, resumes = 0, closes = 0;
    bool playing = false, stopping = false;
    void (*done)(void*, int) = nullptr;
    void* user = nullptr;
} fake;

void Report() {
    std::unique_lock hold(fake.lock);
    for (;;) {
        fake.wake.wait(hold, [] { return fake.stopping || (fake.playing && !fake.queue.empty()); });
        if (fake.stopping) return;
        int block = fake.queue.front();
        fake.queue.pop_front();
        hold.unlock();
        fake.done(fake.user, block);
        hold.lock();
    }
}

const OutputDevice FAKE_DEVICE = {
    [](void (*done)(void*, int), void* user) {
        std::lock_guard hold(fake.lock);
        fake.opens++;
        fake.done = done;
        fake.user = user;
        fake.playing = fake.stopping = false;
        fake.queue.clear();
        fake.reporter = std::thread(Report);
        return true;
    },
    [](int block, const int16_t* samples, int count) {
        EXPECT_EQ(count, SamplesPerBlock);
        EXPECT_NE(samples, nullptr);
        std::lock_guard hold(fake.lock);
        fake.queue.push_back(block);
        fake.queued.push_back(block);
        fake.wake.notify_all();
        return true;
    },
    [] {
        std::lock_guard hold(fake.lock);
        fake.resumes++;
        fake.playing = true;
        fake.wake.notify_all();
    },
    [] {
        {
            std::lock_guard hold(fake.lock);
            fake.closes++;
            fake.stopping = true;
            fake.queue.clear();
            fake.wake.notify_all();
        }
        fake.reporter.join();
    },
};

// Starts a tune whose init installs nothing and whose play counts its calls at $F2.
bool StartCountingTune() {
    std::vector<uint8_t> image(0x7E + 4);
    image[7] = 0x7C;
    image[10] = 0x10; // init $1000
    image[12] = 0x10; // play $1001
    image[13] = 0x01;
    image[0x7D] = 0x10; // load $1000
    const uint8_t code[] = {0x60, 0xE6, 0xF2, 0x60}; // RTS; INC $F2; RTS
    std::memcpy(image.data() + 0x7E, code, sizeof code);
    return StartTune(image.data(), uint32_t(image.size()), 0);
}

size_t QueuedCount() {
    std::lock_guard hold(fake.lock);
    return fake.queued.size();
}

TEST(TuneStream, BlocksAlternateUntilStopAndNoneAfter) {
    SetOutputDevice(&FAKE_DEVICE);
    fake.queued.clear();
    ASSERT_TRUE(StartCountingTune());
    EXPECT_EQ(tunePlayer.memory[0xF2], 16); // both blocks rendered before anything plays
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(QueuedCount(), 2u); // paused until resumed

    ResumeTune();
    while (QueuedCount() < 40) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    StopTune();
    size_t queued = QueuedCount();
    uint8_t frames = tunePlayer.memory[0xF2];
    EXPECT_EQ(frames, uint8_t(8 * queued));
    for (size_t i = 0; i < queued; i++) EXPECT_EQ(fake.queued[i], int(i % 2)) << i;

    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    StopTune(); // a second stop does nothing
    ResumeTune();
    EXPECT_EQ(fake.closes, fake.opens);
    EXPECT_EQ(fake.resumes, fake.opens);
    EXPECT_EQ(QueuedCount(), queued);
    EXPECT_EQ(tunePlayer.memory[0xF2], frames);
}

TEST(TuneStream, StartingAgainStopsTheFirstOutput) {
    SetOutputDevice(&FAKE_DEVICE);
    ASSERT_TRUE(StartCountingTune());
    ResumeTune();
    ASSERT_TRUE(StartCountingTune());
    EXPECT_EQ(fake.closes, fake.opens - 1);
    StopTune();
    EXPECT_EQ(fake.closes, fake.opens);
}

TEST(TuneStream, WithoutDeviceTheTuneStillLoadsAndRendersSilently) {
    SetOutputDevice(nullptr);
    ASSERT_TRUE(StartCountingTune());
    EXPECT_EQ(tunePlayer.memory[0xF2], 16);
    EXPECT_NE(OutputFault(), nullptr);
    ResumeTune();
    StopTune();
}

TEST(TuneStream, ARefusedBlockIsSaidOnceAndQueuedAgainAfterTheNextReport) {
    // A device without a reporting thread, whose first queue of block 0 fails; reports are made by hand.
    static std::vector<int> accepted;
    static int refusals;
    static const OutputDevice REFUSING = {
        [](void (*)(void*, int), void*) { return true; },
        [](int block, const int16_t*, int) {
            if (block == 0 && refusals++ == 0) return false;
            accepted.push_back(block);
            return true;
        },
        [] {}, [] {}};
    accepted.clear();
    refusals = 0;
    SetOutputDevice(&REFUSING);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(StartCountingTune());
    EXPECT_EQ(accepted, std::vector<int>({1}));
    OnOutputEvent(nullptr, 1);  // block 1 played: it is refilled, and block 0 is tried again
    OnOutputEvent(nullptr, 1);
    OnOutputEvent(nullptr, 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(accepted, std::vector<int>({1, 1, 0, 1, 0}));
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    StopTune();
}

} // namespace
