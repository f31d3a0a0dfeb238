#pragma once
// Sound effects: 8-bit mono sounds held whole in memory, played on a main voice that restarts or on extra
// overlapping voices, mixed with the tune's block stream into the one audio device at 44100 Hz.
#include <cstddef>
#include <cstdint>

int InitSoundEffects();       // start-up, before the window: registry, volume table, audio device (runs silent without one)
int LoadSoundFromMemory(int id, const uint8_t* data, size_t length); // RIFF WAVE chunk walk; 0 when refused
int StartSoundEffect(int id); // restarts the main voice; 1 when playing started
uintptr_t StartSoundEffectEx(int id, int flags); // flag 1 loops, flag 2 plays on a new extra voice and returns its handle
void StopSoundEffect(int id); // main voice only
void StopSoundVoice(int id, uintptr_t handle); // one extra voice; a stale or unknown handle does nothing
void SetSoundEffectVolume(int id, int volume); // 0..100, clamped; applies to the main voice
void ShutdownSoundEffects();  // first step of the shutdown: stops and releases every sound, closes the device
