// The processor on random memory. The input is A, a load address and an entry address (two bytes each,
// little-endian), then the memory from the load address on, wrapping at $FFFF. The routine runs under the
// player's instruction limit, then the processor goes on from the entry for a bounded number of single
// instructions (past any return, through the stack's wrap), and the sound chip renders what was written.
#include <cstring>

#include "tune/sid_player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t HEADER = 5;
    constexpr int STEPS = 20000;
    if (size < HEADER) return 0;
    static SidPlayer player;
    std::memset(&player, 0, sizeof player);
    SidReset(player, MixRate);
    CpuReset(player);
    const uint8_t a = data[0];
    const uint16_t load = uint16_t(data[1] | data[2] << 8), entry = uint16_t(data[3] | data[4] << 8);
    for (size_t i = HEADER; i < size && i - HEADER < sizeof player.memory; ++i)
        player.memory[(load + i - HEADER) & 0xFFFF] = data[i];

    RunRoutine(player, entry, a);
    player.cpu.pc = entry;
    for (int step = 0; step < STEPS; ++step) ExecuteInstruction(player);
    int16_t samples[256];
    RenderSamples(player, samples, 256);
    return 0;
}
