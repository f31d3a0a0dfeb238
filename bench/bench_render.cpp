// The software renderer on a play-like frame and on the background alone (bilinear filtering), with the
// vector spans where the processor has them and with the plain code. The scene is in render_scene.h.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

// Draws the play frames 0, 1, 2, ... in turn with another process (see tools/frames_in_turn.py): each
// waits for a byte from in, then draws and times one frame, then sends a byte to out; at the end the
// times in microseconds go to the file named times, one a line. Two builds compared this way share
// every slow spell of a busy machine, frame by frame.
int DrawInTurn(const char* in, const char* out, int frames, const char* times, const std::string& path) {
    if (frames <= 0 || (path != "avx2" && path != "wide" && path != "plain")) {
        std::fprintf(stderr, "bench_render --turns: cannot draw %d frames with the %s spans\n", frames, path.c_str());
        return 2;
    }
    std::FILE* from = std::fopen(in, "rb");
    std::FILE* to = from ? std::fopen(out, "wb") : nullptr;
    if (!to) {
        std::fprintf(stderr, "bench_render --turns: cannot open %s and %s\n", in, out);
        if (from) std::fclose(from);
        return 2;
    }
    SetUpScene();
    SetVectorSpans(path != "plain");
    SetWideVectorSpans(path == "wide");
    std::vector<double> taken;
    for (int frame = 0; frame < frames && std::fgetc(from) != EOF; ++frame) {
        const auto start = std::chrono::steady_clock::now();
        DrawPlayFrame(frame);
        taken.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        std::fputc('.', to);
        std::fflush(to);
    }
    std::fclose(from);
    std::fclose(to);
    std::FILE* file = std::fopen(times, "w");
    if (!file) return 2;
    for (double microseconds : taken) std::fprintf(file, "%.2f\n", microseconds);
    return std::fclose(file) == 0 && int(taken.size()) == frames ? 0 : 1;
}
}  // namespace

// With --checksum, prints the checksum of play frame 7 on each path instead, to compare with
// wasm_play_frame's: every path must draw the same bytes. With --turns IN OUT FRAMES TIMES [avx2|wide|plain]
// draws play frames in turn with another build (DrawInTurn).
int main(int argc, char** argv) {
    if ((argc == 6 || argc == 7) && std::string(argv[1]) == "--turns")
        return DrawInTurn(argv[2], argv[3], std::atoi(argv[4]), argv[5], argc == 7 ? argv[6] : "avx2");
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
