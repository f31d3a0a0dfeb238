// RANROT-W: two 17-word tables stepped together with rotations; the game's only source of chance.
#include "platform/random.h"

#include "platform/backend.h"

namespace {
uint32_t tableA[17], tableB[17];
int indexI, indexJ;
bool seeded;

uint32_t Rotl(uint32_t value, int bits) { return (value << bits) | (value >> (32 - bits)); }

uint32_t Step() {
    uint32_t y = Rotl(tableB[indexI], 19) + tableB[indexJ];
    uint32_t z = Rotl(tableA[indexI], 27) + tableA[indexJ];
    tableA[indexI] = y;
    tableB[indexI] = z;
    if (--indexI < 0) indexI = 16;
    if (--indexJ < 0) indexJ = 16;
    return y;
}
}  // namespace

void SeedRandom(uint32_t seed) {
    for (int k = 0; k <= 16; ++k) {
        seed = 1 - seed * 0x53A9B4FBu;
        tableB[k] = seed;
        seed = 1 - seed * 0x53A9B4FBu;
        tableA[k] = seed;
    }
    indexI = 0;
    indexJ = 10;
    for (int k = 0; k < 31; ++k) Step();
    seeded = true;
}

uint32_t RandomWord() {
    if (!seeded) SeedRandom(BackendRandomSeed());
    return Step();
}

uint32_t RandomUpTo(uint32_t max) {
    uint32_t y = RandomWord();
    if (max == 0xFFFFFFFFu) return y;
    return uint32_t((uint64_t(y) * (uint64_t(max) + 1)) >> 32);
}
