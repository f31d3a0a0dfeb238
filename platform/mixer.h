#pragma once
// The mixer behind the one audio device: sound-effect voices and the tune's block stream, summed with
// a soft limit on the device's thread. The main thread starts and stops voices; the device's thread only
// copies their state under a short lock and plays the copy.
#include <cstdint>

#include "tune/output_device.h"

constexpr int DEVICE_RATE = 44100;      // samples per second of the device
constexpr int FULL_GAIN = 32768;        // a voice's amplitude factor 1.0

void MixAudio(void* user, int16_t* out, int frames); // the device's callback: fills out with frames samples
constexpr int KNEE = 26000;             // sums up to this size (-2 dB) are played exactly
int16_t SoftLimit(int32_t sum);         // the mix's output: exact up to the knee, then a soft curve short of full scale
int VolumeAttenuation(int volume);      // t[volume] of the table, in hundredths of a dB; volume clamped to 0..100
int VolumeGain(int volume);             // the amplitude factor of t[volume] - 10000, FULL_GAIN for full level

// Voices of samples at rate per second. A handle is never 0 and never names a later voice, so a stale one
// does nothing. A new voice takes a free slot, else the oldest voice's slot (whose handle then goes stale).
uintptr_t StartVoice(int owner, bool extra, const int16_t* samples, int count, uint32_t rate, int gain,
                     bool loop);
void StopVoice(int owner, bool extra, uintptr_t handle); // stops it if it is owner's voice of that kind
void SetVoiceGain(uintptr_t handle, int gain);           // a stale handle does nothing
void ReleaseVoices(int owner);          // stops owner's voices; returns once the device no longer reads their samples
// A voice started by another mixer that this one mirrors, under that mixer's handle (handles keep growing).
void StartVoiceAs(uintptr_t handle, int owner, bool extra, const int16_t* samples, int count, uint32_t rate,
                  int gain, bool loop);

// A mixer on a thread of the backend's own (the web page's audio thread, which mixes with this same code):
// while one is set, every voice change and the tune's blocks go there instead, and MixAudio here is not
// called. The remote mixer copies samples it is given: they may go as soon as ReleaseVoices returns.
struct RemoteMixer {
    void (*startVoice)(uintptr_t handle, int owner, bool extra, const int16_t* samples, int count, uint32_t rate,
                       int gain, bool loop);
    void (*stopVoice)(int owner, bool extra, uintptr_t handle);
    void (*setVoiceGain)(uintptr_t handle, int gain);
    void (*releaseVoices)(int owner);
    OutputDevice blocks;                // the block stream there; it reports on the main thread
};
void SetRemoteMixer(const RemoteMixer* remote); // by the backend as it opens (or with null, closes) its device
const RemoteMixer* CurrentRemoteMixer();        // null: the mixing is done here

// The block stream (audio_device.cpp): the tune's output over this device, open only while the device is.
bool AudioDeviceOpen();                 // whether InitSoundEffects opened the device (sound.cpp)
extern const OutputDevice audioBlockDevice;
void MixBlocks(int32_t* sum, int frames); // the callback adds the queued blocks' next frames to sum
