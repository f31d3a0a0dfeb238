// One second of music: 50 play calls and 44100 samples, with all three voices sounding (triangle, pulse
// and noise), two of them through a resonant low-pass filter whose cutoff the play routine sweeps.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "tune/sid_player.h"

namespace {

constexpr uint16_t INIT = 0x1000;
constexpr uint16_t REGISTER_TABLE = 0x1080;
constexpr uint16_t PLAY = 0x1100;

// Registers 0 to 24: voice 1 triangle, voice 2 pulse, voice 3 noise, all gated; voices 1 and 2 filtered.
constexpr uint8_t REGISTERS[25] = {
    0xD6, 0x1C, 0x00, 0x08, 0x11, 0x22, 0xA8,  // voice 1
    0x00, 0x0E, 0x00, 0x06, 0x41, 0x09, 0xC4,  // voice 2
    0x00, 0x30, 0x00, 0x00, 0x81, 0x05, 0x63,  // voice 3
    0x05, 0x40, 0xC3, 0x1F};                   // cutoff, resonance and routing, low-pass at volume 15

constexpr uint8_t INIT_CODE[] = {
    0xA2, 0x00,             //       LDX #0
    0xBD, 0x80, 0x10,       // loop: LDA REGISTER_TABLE,X
    0x9D, 0x00, 0xD4,       //       STA $D400,X
    0xE8,                   //       INX
    0xE0, 0x19,             //       CPX #25
    0xD0, 0xF5,             //       BNE loop
    0x60};                  //       RTS

constexpr uint8_t PLAY_CODE[] = {
    0xE6, 0xF0,             // INC $F0
    0xA5, 0xF0,             // LDA $F0
    0x8D, 0x01, 0xD4,       // STA $D401   voice 1 frequency
    0x8D, 0x16, 0xD4,       // STA $D416   filter cutoff
    0x49, 0xFF,             // EOR #$FF
    0x8D, 0x0A, 0xD4,       // STA $D40A   voice 2 pulse width
    0x29, 0x10,             // AND #$10
    0x09, 0x41,             // ORA #$41    voice 2 pulse, now and then with triangle
    0x8D, 0x0B, 0xD4,       // STA $D40B
    0x8D, 0x0F, 0xD4,       // STA $D40F   voice 3 frequency
    0x60};                  // RTS

void MakeBenchPlayer(SidPlayer& player) {
    std::memset(&player, 0, sizeof player);
    SidReset(player, MixRate);
    CpuReset(player);
    std::memcpy(player.memory + INIT, INIT_CODE, sizeof INIT_CODE);
    std::memcpy(player.memory + REGISTER_TABLE, REGISTERS, sizeof REGISTERS);
    std::memcpy(player.memory + PLAY, PLAY_CODE, sizeof PLAY_CODE);
    RunRoutine(player, INIT, 0);
    player.playAddress = PLAY;
}

void BM_OneSecondOfMusic(benchmark::State& state) {
    static SidPlayer player;
    MakeBenchPlayer(player);
    std::vector<int16_t> samples(MixRate);
    for (auto _ : state) {
        for (int frame = 0; frame < 50; frame++)
            RenderFrame(player, samples.data() + frame * SamplesPerFrame, SamplesPerFrame);
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetItemsProcessed(state.iterations() * MixRate);
}
BENCHMARK(BM_OneSecondOfMusic)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
