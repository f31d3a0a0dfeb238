// The software renderer on a play-like frame and on the background alone (bilinear filtering), with the
// vector spans where the processor has them and with the plain code. The scene is in render_scene.h.
#include <benchmark/benchmark.h>

#include "bench/render_scene.h"
#include "platform/sprites_internal.h"

namespace {
void PlayFrame(benchmark::State& state, bool vector) {
    SetUpScene();
    SetVectorSpans(vector);
    int frame = 0;
    for (auto _ : state) {
        DrawPlayFrame(frame++);
        benchmark::DoNotOptimize(BackBufferPixels()[400 * SCREEN_WIDTH + 300]);
    }
    SetVectorSpans(true);
}
void BM_PlayFrame(benchmark::State& state) { PlayFrame(state, true); }
BENCHMARK(BM_PlayFrame)->Unit(benchmark::kMicrosecond);
void BM_PlayFramePlain(benchmark::State& state) { PlayFrame(state, false); }
BENCHMARK(BM_PlayFramePlain)->Unit(benchmark::kMicrosecond);

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
