// The web page's audio thread: a module of its own, run by platform/web/audio-worklet.js inside the page's
// AudioWorklet, that mixes with the game's own mixer and block stream. The main thread's mixer sends it
// every voice and every tune block (RemoteMixer, in web_backend.cpp); a late frame on the main thread then
// never starves the speakers, and an effect is mixed as soon as its message arrives. This module has no
// runtime around it: the worklet calls these functions and reads its memory directly.
#include <emscripten.h>

#include <cstdint>
#include <cstdlib>

#include "platform/backend.h"
#include "platform/mixer.h"

namespace {
int blocksPlayed;  // not yet taken by the worklet, which knows their order

void Played(void*, int) { ++blocksPlayed; }
}  // namespace

// What the block stream asks of its surroundings: the device is this worklet, and it has no threads, so the
// mix call itself reports the played blocks.
bool AudioDeviceOpen() { return true; }
bool BackendMixesOnFrameLoop() { return true; }

extern "C" {
EMSCRIPTEN_KEEPALIVE void* AudioAllocate(int bytes) { return bytes > 0 ? std::malloc(size_t(bytes)) : nullptr; }
EMSCRIPTEN_KEEPALIVE void AudioFree(void* memory) { std::free(memory); }

EMSCRIPTEN_KEEPALIVE void AudioStartVoice(uint32_t handle, int owner, int extra, const int16_t* samples, int count,
                                          uint32_t rate, int gain, int loop) {
    StartVoiceAs(handle, owner, extra != 0, samples, count, rate, gain, loop != 0);
}
EMSCRIPTEN_KEEPALIVE void AudioStopVoice(int owner, int extra, uint32_t handle) { StopVoice(owner, extra != 0, handle); }
EMSCRIPTEN_KEEPALIVE void AudioSetVoiceGain(uint32_t handle, int gain) { SetVoiceGain(handle, gain); }
EMSCRIPTEN_KEEPALIVE void AudioReleaseVoices(int owner) { ReleaseVoices(owner); }

EMSCRIPTEN_KEEPALIVE int AudioOpenBlocks() {
    blocksPlayed = 0;
    return audioBlockDevice.open(Played, nullptr);
}
EMSCRIPTEN_KEEPALIVE int AudioQueueBlock(int block, const int16_t* samples, int count) {
    return audioBlockDevice.queue(block, samples, count);
}
EMSCRIPTEN_KEEPALIVE void AudioResumeBlocks() { audioBlockDevice.resume(); }
EMSCRIPTEN_KEEPALIVE void AudioCloseBlocks() {
    audioBlockDevice.close();
    blocksPlayed = 0;
}
// How many blocks were played to their end since the last call.
EMSCRIPTEN_KEEPALIVE int AudioTakePlayed() {
    const int played = blocksPlayed;
    blocksPlayed = 0;
    return played;
}

EMSCRIPTEN_KEEPALIVE void AudioMix(int16_t* out, int frames) { MixAudio(nullptr, out, frames); }
}
