// The stretch of the 800 x 600 back buffer into a window of each common size, with the red-blue swap that
// an X server's 24-bit visual needs (the usual case on the processor path).
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/stretch.h"

namespace {
void Stretch(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    std::vector<uint32_t> source(800 * 600);
    for (size_t i = 0; i < source.size(); ++i) source[i] = uint32_t(i * 2654435761u);
    std::vector<uint32_t> target(size_t(width) * size_t(height));
    for (auto _ : state) {
        StretchPixels(source.data(), 800, 600, target.data(), width, height, width, true);
        benchmark::DoNotOptimize(target.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * width * height);
}
}  // namespace

BENCHMARK(Stretch)->Args({800, 600})->Args({1280, 720})->Args({1920, 1080})->Args({2560, 1440})
    ->Args({3000, 2000})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
