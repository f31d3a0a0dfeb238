#include "platform/sound.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

#include "assets/bytes.h"
#include "assets/wave.h"
#include "platform/backend.h"
#include "platform/mixer.h"
#include "tune/audio_stream.h"

namespace {

// A loaded sound: its samples made 16-bit mono at the sound's own rate, and its main voice. The samples
// stay put while the sound is loaded, so the voices playing them read them in place.
struct Sound {
    std::vector<int16_t> samples;
    uint32_t rate;
    int volume;                        // the main voice's, 0..100; extra voices play at full volume
    uintptr_t mainVoice;               // the main voice's latest start; stale once it has ended
};

struct VolumeTable {
    int attenuation[101];
    int gain[101];
};

std::unordered_map<int, Sound> sounds;
bool audioOpen;

const VolumeTable& Volumes() {
    static const VolumeTable table = [] {
        VolumeTable t{};
        for (int k = 1; k <= 100; ++k) {
            // The nudge keeps the exact powers of ten (k = 1, 10, 100) from truncating one below.
            t.attenuation[k] = int(2000 * std::log10(1000.0 * k) + 1e-9);
            t.gain[k] = int(std::lround(FULL_GAIN * std::pow(10.0, (t.attenuation[k] - 10000) / 2000.0)));
        }
        return t;
    }();
    return table;
}

Sound* FindSound(int id) {
    const auto found = sounds.find(id);
    return found == sounds.end() ? nullptr : &found->second;
}

// Stops the tune's output and the device, so that no thread of theirs outlives the process's end.
void CloseAudio() {
    CloseOutput();                     // no block is rendered or queued from here on
    audioBlockDevice.close();          // joins the reporting thread
    if (audioOpen) BackendCloseAudio();
    audioOpen = false;
}

} // namespace

int VolumeAttenuation(int volume) { return Volumes().attenuation[std::clamp(volume, 0, 100)]; }
int VolumeGain(int volume) { return Volumes().gain[std::clamp(volume, 0, 100)]; }
bool AudioDeviceOpen() { return audioOpen; }

int InitSoundEffects() {
    ShutdownSoundEffects();
    // An end that bypasses the shutdown (the display's connection lost, std::exit anywhere) still stops
    // the audio first: a thread left joinable at the process's end aborts it.
    static const bool atExit = std::atexit(CloseAudio) == 0;
    (void)atExit;
    std::string error;
    audioOpen = BackendOpenAudio(MixAudio, nullptr, error);
    // The game goes on without sound; this line is the only word about it.
    if (!audioOpen) std::fprintf(stderr, "vexed-drifts: no sound: %s\n", error.c_str());
    const RemoteMixer* remote = CurrentRemoteMixer();
    SetOutputDevice(remote ? &remote->blocks : &audioBlockDevice);
    return 1;
}

int LoadSoundFromMemory(int id, const uint8_t* data, size_t length) {
    if (FindSound(id)) {
        ReleaseVoices(id);
        sounds.erase(id);
    }
    WaveSound wave;
    if (!ParseWave(data, length, wave, nullptr)) return 0;
    const size_t frames = wave.sampleBytes / wave.blockAlign;
    if (frames > size_t(INT32_MAX)) return 0;
    Sound sound{std::vector<int16_t>(frames), wave.samplesPerSecond, 100, 0};
    const int bytes = wave.bitsPerSample / 8;
    for (size_t i = 0; i < frames; ++i) {
        int32_t total = 0;
        for (int c = 0; c < wave.channels; ++c) {
            const uint8_t* p = wave.samples + i * wave.blockAlign + c * bytes;
            total += bytes == 1 ? (p[0] - 128) * 256 : int16_t(ReadU16(p));
        }
        sound.samples[i] = int16_t(total / wave.channels);
    }
    sounds[id] = std::move(sound);
    return 1;
}

int StartSoundEffect(int id) { return int(StartSoundEffectEx(id, 0)); }

uintptr_t StartSoundEffectEx(int id, int flags) {
    Sound* sound = FindSound(id);
    if (!sound || sound->samples.empty()) return 0;
    const bool loop = flags & 1;
    const int count = int(sound->samples.size());
    // Finished extra voices free their slots by themselves; their handles are stale from then on.
    if (flags & 2) return StartVoice(id, true, sound->samples.data(), count, sound->rate, FULL_GAIN, loop);
    StopVoice(id, false, sound->mainVoice);
    sound->mainVoice = StartVoice(id, false, sound->samples.data(), count, sound->rate, VolumeGain(sound->volume), loop);
    return 1;
}

void StopSoundEffect(int id) {
    if (const Sound* sound = FindSound(id)) StopVoice(id, false, sound->mainVoice);
}

void StopSoundVoice(int id, uintptr_t handle) {
    if (handle == 0) StopSoundEffect(id);   // the game passes 0 before its first blast: the main voice
    else StopVoice(id, true, handle);
}

void SetSoundEffectVolume(int id, int volume) {
    Sound* sound = FindSound(id);
    if (!sound) return;
    sound->volume = std::clamp(volume, 0, 100);
    SetVoiceGain(sound->mainVoice, VolumeGain(sound->volume));
}

void ShutdownSoundEffects() {
    CloseAudio();
    for (const auto& entry : sounds) ReleaseVoices(entry.first);
    sounds.clear();
}
