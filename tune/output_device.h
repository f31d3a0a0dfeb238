#pragma once
// The device that plays the tune's blocks: 16-bit signed mono PCM at 44100 Hz, played in the order they
// were queued. The platform layer provides one over the audio device; tests provide their own. The tune
// library only calls through this table, so it needs neither SDL nor any other library of the project.
#include <cstdint>

struct OutputDevice {
    // Opens the device paused. Each block is reported by done(user, block) once the device is done with its
    // samples (it has played them, or has started to play a copy of them), on a thread of the device's own,
    // never inside the audio callback, one report at a time. False: no device.
    bool (*open)(void (*done)(void* user, int block), void* user);
    // Queues block 0 or 1 of count samples behind the blocks already queued; the samples stay untouched
    // by the device's owner until that block is reported. False when the device refuses it.
    bool (*queue)(int block, const int16_t* samples, int count);
    // Lets the device play its queue.
    void (*resume)();
    // Stops playing, drops the queue without reports, closes the device and joins the reporting thread.
    void (*close)();
};

// The device used by later OpenOutput calls; null (the default) means there is none and the tune is silent.
void SetOutputDevice(const OutputDevice* device);
