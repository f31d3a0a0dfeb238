#pragma once
// The RIFF WAVE chunk walk for the embedded sound effects: the format fields and where the samples lie.
// A pure function over bytes: every size and offset is checked against the length before it is read.
#include <cstddef>
#include <cstdint>
#include <string>

struct WaveSound {
    uint16_t formatTag = 0;      // 1 = PCM, the only format accepted
    uint16_t channels = 0;       // 1 or 2
    uint32_t samplesPerSecond = 0;
    uint32_t bytesPerSecond = 0;
    uint16_t blockAlign = 0;     // channels x bytes per sample
    uint16_t bitsPerSample = 0;  // 8 (unsigned) or 16 (signed)
    const uint8_t* samples = nullptr; // inside the given data
    size_t sampleBytes = 0;
};

// The walk: the data must begin with "RIFF" and have "fmt " at byte 12 whose body starts at byte 20;
// chunks are walked from the end of the format chunk, each next one size + 8 bytes on (no pad byte is
// added for odd sizes, so other chunks such as "LIST" are skipped only when they are even or unpadded);
// the first "data" chunk holds the samples. The RIFF size and the "WAVE" id are not checked. A "data"
// chunk that claims more bytes than are left is refused, as is a walk that runs off the end.
bool ParseWave(const uint8_t* data, size_t length, WaveSound& out, std::string* error);
