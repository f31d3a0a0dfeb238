#include "platform/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

constexpr int VOICE_SLOTS = 64;
constexpr int CHUNK_FRAMES = 1024;     // the callback mixes in pieces of this many frames on the stack

// One voice. The position is a 32.32 fixed-point index into the samples; step advances it per device frame.
struct Voice {
    uintptr_t handle;                  // 0: the slot is free
    int owner;
    bool extra;
    bool loop;
    const int16_t* samples;
    uint32_t count;
    uint64_t position;
    uint64_t step;
    int gain;
};

std::mutex voiceMutex;                 // guards everything below; held only to change or copy voices
Voice voices[VOICE_SLOTS];
uintptr_t lastHandle;
const RemoteMixer* remote;
uint64_t passesStarted, passesDone;    // the callback's passes; one is under way while they differ

Voice* FindVoice(uintptr_t handle) {
    if (handle == 0) return nullptr;
    for (Voice& v : voices)
        if (v.handle == handle) return &v;
    return nullptr;
}

// Adds one voice's next frames to sum; false once a voice that does not loop has run out.
bool PlayVoice(Voice& v, int32_t* sum, int frames) {
    const uint64_t end = uint64_t(v.count) << 32;
    for (int f = 0; f < frames; ++f) {
        if (v.position >= end) {
            if (!v.loop) return false;
            v.position %= end;
        }
        const uint32_t i = uint32_t(v.position >> 32);
        const int32_t a = v.samples[i];
        const int32_t b = i + 1 < v.count ? v.samples[i + 1] : v.loop ? v.samples[0] : 0;
        const int32_t fraction = int32_t((v.position >> 16) & 0xFFFF);
        const int32_t sample = a + int32_t((int64_t(b - a) * fraction) >> 16);   // a full-scale step needs 33 bits
        sum[f] += (sample * v.gain) >> 15;
        v.position += v.step;
    }
    return v.position < end || v.loop;
}

void MixVoices(int32_t* sum, int frames) {
    Voice playing[VOICE_SLOTS];
    int count = 0;
    {
        std::lock_guard<std::mutex> lock(voiceMutex);
        for (const Voice& v : voices)
            if (v.handle) playing[count++] = v;
        ++passesStarted;
    }
    bool finished[VOICE_SLOTS];
    for (int n = 0; n < count; ++n) finished[n] = !PlayVoice(playing[n], sum, frames);
    std::lock_guard<std::mutex> lock(voiceMutex);
    // Voices stopped or replaced meanwhile keep what the main thread gave them.
    for (int n = 0; n < count; ++n) {
        if (Voice* v = FindVoice(playing[n].handle)) {
            v->position = playing[n].position;
            if (finished[n]) v->handle = 0;
        }
    }
    ++passesDone;
}

} // namespace

void MixAudio(void*, int16_t* out, int frames) {
    int32_t sum[CHUNK_FRAMES];
    while (frames > 0) {
        const int n = std::min(frames, CHUNK_FRAMES);
        std::fill(sum, sum + n, 0);
        MixVoices(sum, n);
        MixBlocks(sum, n);
        for (int f = 0; f < n; ++f) out[f] = SoftLimit(sum[f]);
        out += n;
        frames -= n;
    }
}

int16_t SoftLimit(int32_t sum) {
    // Past the knee the curve k + r tanh(e / r) leaves the straight line with its slope and approaches
    // full scale without reaching it: loud sums are rounded off instead of cut flat (a crackle).
    const int64_t excess = std::abs(int64_t(sum)) - KNEE;
    if (excess <= 0) return int16_t(sum);
    constexpr double room = 32767 - KNEE;
    const int level = std::min(KNEE + int(room * std::tanh(double(excess) / room)), 32766);
    return int16_t(sum < 0 ? -level : level);
}

namespace {
void PlaceVoice(uintptr_t handle, int owner, bool extra, const int16_t* samples, int count, uint32_t rate, int gain,
                bool loop) {
    Voice* slot = &voices[0];
    for (Voice& v : voices) {
        if (!v.handle) { slot = &v; break; }
        if (v.handle < slot->handle) slot = &v;   // handles grow, so the smallest is the oldest voice
    }
    *slot = {handle, owner, extra, loop, samples, uint32_t(count), 0, (uint64_t(rate) << 32) / DEVICE_RATE, gain};
}
} // namespace

uintptr_t StartVoice(int owner, bool extra, const int16_t* samples, int count, uint32_t rate, int gain,
                     bool loop) {
    std::lock_guard<std::mutex> lock(voiceMutex);
    if (++lastHandle == 0) ++lastHandle;
    if (remote) remote->startVoice(lastHandle, owner, extra, samples, count, rate, gain, loop);
    else PlaceVoice(lastHandle, owner, extra, samples, count, rate, gain, loop);
    return lastHandle;
}

void StartVoiceAs(uintptr_t handle, int owner, bool extra, const int16_t* samples, int count, uint32_t rate,
                  int gain, bool loop) {
    std::lock_guard<std::mutex> lock(voiceMutex);
    lastHandle = handle;
    PlaceVoice(handle, owner, extra, samples, count, rate, gain, loop);
}

void StopVoice(int owner, bool extra, uintptr_t handle) {
    std::lock_guard<std::mutex> lock(voiceMutex);
    if (remote) return remote->stopVoice(owner, extra, handle);
    Voice* v = FindVoice(handle);
    if (v && v->owner == owner && v->extra == extra) v->handle = 0;
}

void SetVoiceGain(uintptr_t handle, int gain) {
    std::lock_guard<std::mutex> lock(voiceMutex);
    if (remote) return remote->setVoiceGain(handle, gain);
    if (Voice* v = FindVoice(handle)) v->gain = gain;
}

void ReleaseVoices(int owner) {
    std::unique_lock<std::mutex> lock(voiceMutex);
    if (remote) return remote->releaseVoices(owner);
    for (Voice& v : voices)
        if (v.handle && v.owner == owner) v.handle = 0;
    // A pass already under way may still read the samples from its copy: wait for it to end.
    const uint64_t started = passesStarted;
    while (passesDone < started) {
        lock.unlock();
        std::this_thread::yield();
        lock.lock();
    }
}

void SetRemoteMixer(const RemoteMixer* mixer) {
    std::lock_guard<std::mutex> lock(voiceMutex);
    remote = mixer;
    for (Voice& v : voices) v.handle = 0;  // the voices played on either side end with the switch
}

const RemoteMixer* CurrentRemoteMixer() {
    std::lock_guard<std::mutex> lock(voiceMutex);
    return remote;
}
