// The software renderer on a play-like frame and on the background alone (bilinear filtering).
// The scene is in render_scene.h.
#include <benchmark/benchmark.h>

#include "bench/render_scene.h"

namespace {
void BM_PlayFrame(benchmark::State& state) {
    SetUpScene();
    int frame = 0;
    for (auto _ : state) {
        DrawPlayFrame(frame++);
        benchmark::DoNotOptimize(BackBufferPixels()[400 * SCREEN_WIDTH + 300]);
    }
}
BENCHMARK(BM_PlayFrame)->Unit(benchmark::kMicrosecond);

void BM_Background(benchmark::State& state) {
    SetUpScene();
    for (auto _ : state) {
        ClearFrame(0);
        BeginTransformedBatch();
        DrawBackground();
        EndTransformedBatch();
        benchmark::DoNotOptimize(BackBufferPixels()[300 * SCREEN_WIDTH + 400]);
    }
}
BENCHMARK(BM_Background)->Unit(benchmark::kMicrosecond);
}  // namespace

BENCHMARK_MAIN();
