// One device buffer (1024 frames, 23 ms) of the mixer with looping voices, with and without a tune block.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/headless.h"
#include "platform/mixer.h"
#include "platform/sound.h"

namespace {

void Ignore(void*, int) {}

void MixBuffer(benchmark::State& state) {
    HeadlessReset();
    InitSoundEffects();
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                 16, 0, 0, 0, 1, 0, 1, 0, 0x70, 0x17, 0, 0, 0x70, 0x17, 0, 0, 1, 0, 8, 0,
                                 'd', 'a', 't', 'a', 0xE0, 0x1B, 0, 0};   // 6000 Hz, 7136 samples
    for (int i = 0; i < 7136; ++i) file.push_back(uint8_t(128 + (i * 7) % 64));
    LoadSoundFromMemory(101, file.data(), file.size());
    for (int v = 0; v < state.range(0); ++v) StartSoundEffectEx(101, 2 | 1);
    std::vector<int16_t> block(7056, 1000);
    if (state.range(1)) {
        audioBlockDevice.open(Ignore, nullptr);
        audioBlockDevice.queue(0, block.data(), int(block.size()));
        audioBlockDevice.resume();
    }
    int16_t out[1024];
    for (auto _ : state) {
        MixAudio(nullptr, out, 1024);
        benchmark::DoNotOptimize(out);
        if (state.range(1)) audioBlockDevice.queue(0, block.data(), int(block.size()));
    }
    state.SetItemsProcessed(state.iterations() * 1024);
    ShutdownSoundEffects();
}
BENCHMARK(MixBuffer)->ArgsProduct({{0, 1, 8, 64}, {0, 1}});

} // namespace

BENCHMARK_MAIN();
