// The wave loader: the pure chunk walk, then the platform's loader over it, and a loaded sound played
// for a few mixer blocks on the headless audio device, as the game would start it.
#include <cstdlib>
#include <string>

#include "assets/wave.h"
#include "platform/headless.h"
#include "platform/sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (HeadlessReset(), InitSoundEffects() == 1);
    if (!ready) std::abort();

    WaveSound wave;
    std::string error;
    const bool parsed = ParseWave(data, size, wave, &error);
    if (parsed && (wave.samples < data || wave.sampleBytes > size_t(data + size - wave.samples))) std::abort();
    if (!parsed && error.empty()) std::abort();

    constexpr int ID = 100;
    if (LoadSoundFromMemory(ID, data, size)) {
        if (!parsed) std::abort();
        StartSoundEffect(ID);
        StartSoundEffectEx(ID, 2);
        int16_t block[512];
        for (int i = 0; i < 4; ++i) HeadlessPumpAudio(block, 512);
        StopSoundEffect(ID);
    }
    return 0;
}
