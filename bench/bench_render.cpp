// The software renderer on a play-like frame and on the background alone (bilinear filtering), with the
// vector spans where the processor has them and with the plain code. The scene is in render_scene.h.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

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

// With --checksum, prints the checksum of play frame 7 on each path instead, to compare with
// wasm_play_frame's: every path must draw the same bytes.
int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--checksum") {
        for (bool vector : {true, false}) {
            SetUpScene();
            const bool used = SetVectorSpans(vector);
            DrawPlayFrame(7);
            uint64_t hash = 14695981039346656037ull;
            for (int i = 0; i < SCREEN_WIDTH * SCREEN_HEIGHT; ++i) hash = (hash ^ BackBufferPixels()[i]) * 1099511628211ull;
            std::printf("frame 7 checksum %016llx (%s spans)\n", (unsigned long long)hash, used ? "vector" : "plain");
        }
        SetVectorSpans(true);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
