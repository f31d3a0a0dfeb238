// bench_render's play frame built as WebAssembly and run by Node.js (./build.sh web-test prints it), to
// set beside the native figure. Google Benchmark does not build for WebAssembly, so this times batches of
// frames itself and prints the fastest batch's mean, with and without the SIMD spans; it fails when the
// two draw different pictures, which the native tests cannot see.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "bench/render_scene.h"
#include "platform/sprites_internal.h"

namespace {
double MillisecondsPerFrame() {
    constexpr int BATCHES = 10, FRAMES = 40;
    double best = 1e9;
    int frame = 0;
    for (int batch = 0; batch <= BATCHES; ++batch) {  // batch 0 warms up
        const auto start = std::chrono::steady_clock::now();
        for (int f = 0; f < FRAMES; ++f) DrawPlayFrame(frame++);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / FRAMES;
        if (batch > 0 && ms < best) best = ms;
    }
    return best;
}

std::vector<uint32_t> Picture(int frame) {
    SetUpScene();  // the scene from its start, so that only the spans can make a difference
    DrawPlayFrame(frame);
    return std::vector<uint32_t>(BackBufferPixels(), BackBufferPixels() + SCREEN_WIDTH * SCREEN_HEIGHT);
}
}  // namespace

int main() {
    SetUpScene();
    const bool simd = SetVectorSpans(true);
    const double vector = MillisecondsPerFrame();
    const std::vector<uint32_t> fast = Picture(7);
    SetVectorSpans(false);
    const double plain = MillisecondsPerFrame();
    const bool same = Picture(7) == fast;
    // The frame's checksum, to set beside the native build's (bench_render --checksum prints it there).
    uint64_t hash = 14695981039346656037ull;
    for (uint32_t pixel : fast) hash = (hash ^ pixel) * 1099511628211ull;
    std::printf("wasm_play_frame: the crowded play frame takes %.2f ms in WebAssembly%s, %.2f ms without SIMD spans%s"
                " (frame 7 checksum %016llx)\n",
                vector, simd ? " with SIMD spans" : "", plain, same ? "" : "; THE PICTURES DIFFER", (unsigned long long)hash);
    return same ? 0 : 1;
}
