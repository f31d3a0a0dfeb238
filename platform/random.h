#pragma once
// RANROT-W: the one generator of all the game's random decisions. Main thread only.
#include <cstdint>

void SeedRandom(uint32_t seed); // fixes the sequence (tests); otherwise the first draw seeds from the backend
uint32_t RandomWord();          // the next 32-bit word
uint32_t RandomUpTo(uint32_t max); // 0..max inclusive: the high half of word x (max + 1)
