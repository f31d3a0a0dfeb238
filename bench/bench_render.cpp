// The software renderer on a play-like frame and on the background alone (bilinear filtering), with the
// vector spans where the processor has them and with the plain code. The scene is in render_scene.h.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "bench/render_scene.h"
#include "platform/sprites_internal.h"

namespace {
void PlayFrame(benchmark::State& state, bool vector, bool wide = true) {
    SetUpScene();
    SetVectorSpans(vector);
    SetWideVectorSpans(wide);
    int frame = 0;
    for (auto _ : state) {
        DrawPlayFrame(frame++);
        benchmark::DoNotOptimize(BackBufferPixels()[400 * SCREEN_WIDTH + 300]);
    }
    SetVectorSpans(true);
    SetWideVectorSpans(true);
}
void BM_PlayFrame(benchmark::State& state) { PlayFrame(state, true); }
BENCHMARK(BM_PlayFrame)->Unit(benchmark::kMicrosecond);
void BM_PlayFramePlain(benchmark::State& state) { PlayFrame(state, false); }
BENCHMARK(BM_PlayFramePlain)->Unit(benchmark::kMicrosecond);
// The AVX2 spans also where AVX-512 would be chosen.
void BM_PlayFrameAVX2(benchmark::State& state) { PlayFrame(state, true, false); }
BENCHMARK(BM_PlayFrameAVX2)->Unit(benchmark::kMicrosecond);

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
        for (int path = 0; path < 3; ++path) {
            SetUpScene();
            const bool vector = SetVectorSpans(path < 2), wide = SetWideVectorSpans(path == 0);
            if (path == 1 && !vector) continue;
            if (path == 0 && !wide) continue;
            DrawPlayFrame(7);
            uint64_t hash = 14695981039346656037ull;
            for (int i = 0; i < SCREEN_WIDTH * SCREEN_HEIGHT; ++i) hash = (hash ^ BackBufferPixels()[i]) * 1099511628211ull;
            std::printf("frame 7 checksum %016llx (%s spans)\n", (unsigned long long)hash,
                        !vector ? "plain" : wide ? "AVX-512" : "vector");
        }
        SetVectorSpans(true);
        SetWideVectorSpans(true);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
