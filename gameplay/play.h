#pragma once
// Small helpers shared by the gameplay files: rounding, the round clock and the sounds of play.
#include <cmath>
#include <cstdint>

constexpr int SOUND_SPEED = 104, SOUND_POINTS = 105, SOUND_AIMED_FIRE = 106, SOUND_EXTRA_SHIP = 107,
              SOUND_AUTO_FIRE = 108;

// Floats become whole pixels by rounding to the nearest integer, halves to even (the default rounding mode).
inline int32_t RoundToInt(float value) { return int32_t(std::lrint(value)); }

int32_t RoundTime(uint32_t now); // milliseconds since StartRound, a signed difference of two readings

// Every sound of play is started through these two, which count the starts per SoundId so that a
// test can see what the game played.
extern int32_t soundStarts[SOUND_AUTO_FIRE + 1];
int PlayGameSound(int id);            // StartSoundEffect: the sound's main voice, restarted
uintptr_t PlayGameSoundVoice(int id); // StartSoundEffectEx(id, 2): a new overlapping voice; its handle
