// The tune image loader with its init and play routines: what StartTune does to the image, on a player of
// our own (so no output opens), then a few frames of play and synthesis. Every routine is bounded by the
// player's instruction limit, so no image can hang it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "tune/sid_player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SidPlayer player;
    const uint32_t length = uint32_t(std::min<size_t>(size, UINT32_MAX));
    const bool loadable = TuneImageFault(data, length) == nullptr;
    if (!PrepareTune(player, data, length, int(size % 16))) {
        if (loadable) std::abort();
        return 0;
    }
    if (!loadable) std::abort();
    int16_t buffer[SamplesPerFrame];
    for (int frame = 0; frame < 3; ++frame) RenderFrame(player, buffer, SamplesPerFrame);
    return 0;
}
