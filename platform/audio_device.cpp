// The tune's block output over the one audio device. The callback plays the queued blocks one after another
// and hands every finished block to a worker thread, which reports it; the report (where the tune renders
// the block afresh) thus never runs on the device's thread. A backend without threads mixes from the frame
// loop: there the callback itself reports, once it has let go of the lock. Closing a playing stream first
// lets the device ramp the tune down over a few milliseconds, since a wave cut mid-swing clicks.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/backend.h"
#include "platform/mixer.h"

namespace {

constexpr int QUEUE_LENGTH = 4;        // the tune keeps two blocks in circulation
constexpr int FADE_FRAMES = DEVICE_RATE / 100;  // the closing ramp: 10 ms
constexpr auto FADE_WAIT = std::chrono::milliseconds(60); // a device buffer lasts 23 ms; a silent one never calls

struct QueuedBlock {
    int block;
    const int16_t* samples;
    int count;
};

std::mutex streamMutex;                // guards everything below
std::condition_variable streamWake;    // wakes the worker: a block was played, or the stream closes
std::condition_variable fadeDone;      // wakes CloseStream: the closing ramp has been played
bool streamOpen, streamPaused, streamClosing;
bool reportInMix;                      // no worker: the mix call reports (a backend without threads)
void (*doneRoutine)(void* user, int block);
void* doneUser;
QueuedBlock queue[QUEUE_LENGTH];       // a ring: queueLength blocks from queueHead
int queueHead, queueLength, playedSamples;
int played[QUEUE_LENGTH];              // blocks played and not yet reported, oldest first
int playedLength;
int fadeLeft;                          // frames of the closing ramp still to play; 0 when not closing
std::thread worker;

// Reports the played blocks oldest first, without the lock during each report (the tune renders and queues
// there); when waiting, for ever until the stream closes, else until none is left.
void ReportPlayedBlocks(std::unique_lock<std::mutex>& lock, bool waiting) {
    for (;;) {
        if (waiting) streamWake.wait(lock, [] { return streamClosing || playedLength > 0; });
        if (streamClosing || playedLength == 0) return;
        const int block = played[0];
        std::copy(played + 1, played + playedLength, played);
        --playedLength;
        const auto routine = doneRoutine;
        void* user = doneUser;
        lock.unlock();
        routine(user, block);
        lock.lock();
    }
}

void RunWorker() {
    std::unique_lock<std::mutex> lock(streamMutex);
    ReportPlayedBlocks(lock, true);
}

// Adds the queued blocks' next frames at a gain falling to 0 over the ramp; no block is reported any more.
// Returns true when the ramp is over. Called with the lock held.
bool PlayFade(int32_t* sum, int frames) {
    for (; frames > 0 && fadeLeft > 0 && queueLength > 0; --frames, --fadeLeft) {
        const QueuedBlock& head = queue[queueHead];
        *sum++ += head.samples[playedSamples] * fadeLeft / (FADE_FRAMES + 1);
        if (++playedSamples < head.count) continue;
        queueHead = (queueHead + 1) % QUEUE_LENGTH;
        --queueLength;
        playedSamples = 0;
    }
    if (queueLength == 0) fadeLeft = 0;
    return fadeLeft == 0;
}

void CloseStream() {
    {
        std::unique_lock<std::mutex> lock(streamMutex);
        if (!streamOpen) return;
        // A playing stream is ramped down by the device first, unless the device is the frame loop itself.
        if (!streamPaused && queueLength > 0 && !reportInMix) {
            fadeLeft = FADE_FRAMES;
            fadeDone.wait_for(lock, FADE_WAIT, [] { return fadeLeft == 0; });
            fadeLeft = 0;
        }
        streamOpen = false;
        streamClosing = true;          // drops the queue and what was played but not yet reported
    }
    streamWake.notify_one();
    if (worker.joinable()) worker.join();  // waits for a report under way
    std::lock_guard<std::mutex> lock(streamMutex);
    streamClosing = false;
}

bool OpenStream(void (*done)(void* user, int block), void* user) {
    std::lock_guard<std::mutex> lock(streamMutex);
    if (streamOpen || streamClosing || !done || !AudioDeviceOpen()) return false;
    try {
        reportInMix = BackendMixesOnFrameLoop();
        if (!reportInMix) worker = std::thread(RunWorker);
    } catch (const std::system_error&) {
        return false;
    }
    streamOpen = streamPaused = true;
    doneRoutine = done;
    doneUser = user;
    queueHead = queueLength = playedSamples = playedLength = 0;
    return true;
}

bool QueueBlock(int block, const int16_t* samples, int count) {
    std::lock_guard<std::mutex> lock(streamMutex);
    // A block counts until it is reported, so a played one still takes its place.
    if (!streamOpen || !samples || count <= 0 || queueLength + playedLength == QUEUE_LENGTH) return false;
    queue[(queueHead + queueLength++) % QUEUE_LENGTH] = {block, samples, count};
    return true;
}

void ResumeStream() {
    std::lock_guard<std::mutex> lock(streamMutex);
    streamPaused = false;
}

} // namespace

const OutputDevice audioBlockDevice = {OpenStream, QueueBlock, ResumeStream, CloseStream};

void MixBlocks(int32_t* sum, int frames) {
    bool wake = false, reportHere = false;
    {
        // Held for at most one addition per frame: the blocks' samples stay put until they are reported.
        std::lock_guard<std::mutex> lock(streamMutex);
        if (!streamOpen || streamPaused) return;
        if (fadeLeft > 0) {
            if (PlayFade(sum, frames)) fadeDone.notify_one();
            return;
        }
        while (frames > 0 && queueLength > 0) {
            const QueuedBlock& head = queue[queueHead];
            const int n = std::min(frames, head.count - playedSamples);
            for (int f = 0; f < n; ++f) sum[f] += head.samples[playedSamples + f];
            sum += n;
            frames -= n;
            playedSamples += n;
            if (playedSamples < head.count) break;
            played[playedLength++] = head.block;
            queueHead = (queueHead + 1) % QUEUE_LENGTH;
            --queueLength;
            playedSamples = 0;
            wake = true;
        }
        reportHere = reportInMix;
    }
    if (!wake) return;
    if (!reportHere) {
        streamWake.notify_one();
        return;
    }
    std::unique_lock<std::mutex> lock(streamMutex);
    ReportPlayedBlocks(lock, false);
}
