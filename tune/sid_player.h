#pragma once
// The tune player: a 64 KiB 6502 machine whose only devices are the sound chip and the sample channel. The
// game owns one player (tunePlayer) and drives it through StartTune, ResumeTune and StopTune; every other
// function works on any SidPlayer, which is how the tests, the benchmark and render-tune use it.
#include <cstdint>

constexpr int MixRate = 44100;          // output samples per second, mono
constexpr int SamplesPerFrame = 882;    // samples rendered after each play call: 50 frames per second
constexpr int FramesPerBlock = 8;       // frames in one output block (160 ms)
constexpr int BlockCount = 2;           // output blocks in circulation
constexpr int SamplesPerBlock = SamplesPerFrame * FramesPerBlock;
constexpr long RoutineInstructionLimit = 1000000; // a routine still running after this many is abandoned

// Status register bits.
constexpr uint8_t FLAG_C = 0x01;
constexpr uint8_t FLAG_Z = 0x02;
constexpr uint8_t FLAG_I = 0x04;
constexpr uint8_t FLAG_D = 0x08;
constexpr uint8_t FLAG_V = 0x40;
constexpr uint8_t FLAG_N = 0x80;

// Envelope phases.
constexpr uint8_t ENVELOPE_ATTACK = 0;
constexpr uint8_t ENVELOPE_DECAY = 1;
constexpr uint8_t ENVELOPE_SUSTAIN = 2;
constexpr uint8_t ENVELOPE_RELEASE = 3;

struct SidVoice {
    uint32_t step;            // phase increment per sample
    uint32_t pulseThreshold;  // (pulse width AND $FFF) << 16
    uint8_t control;          // control register as of the start of the frame
    uint8_t filtered;         // 1 when routed through the filter
    int32_t attackRate;
    int32_t decayRate;
    int32_t sustainLevel;     // 0 to 240 in steps of 16
    int32_t releaseRate;
    uint32_t phase;           // 28-bit phase accumulator
    int32_t envelope;         // 0 to $FFFFFF
    uint8_t envelopePhase;
    uint32_t noisePosition;   // phase bits 23-27 when the noise register was last clocked
    uint32_t noiseRegister;
    uint8_t noiseOutput;
};

struct SidFilter {
    int32_t cutoff;
    uint8_t lowPass, bandPass, highPass, voice3On;
    int32_t volume;
    int32_t damping;
    int32_t high, band, low;
};

struct SidChip {
    uint8_t registers[25];    // registers 0 to 24; 25 to 31 are ignored
    SidVoice voices[3];
    SidFilter filter;
    int32_t stepFactor;
    int32_t cutoffFactor;
    int32_t mixRate;
    int32_t attackRates[16];
    int32_t releaseRates[16]; // also the decay rates
};

struct SidCpu {
    uint8_t a, x, y, s, p;
    uint16_t pc;
};

struct SampleChannel {
    // Prepared by the tune's register writes, copied into the live channel by a command.
    uint16_t preparedPeriod;
    uint8_t preparedOrder;
    uint16_t preparedStart, preparedEnd;
    uint8_t preparedRepeatCount;
    uint16_t preparedRepeatAddress;
    // Live channel.
    uint8_t active;
    uint32_t position;
    uint16_t start, end, repeatAddress;
    int32_t fraction;
    uint16_t period;
    int32_t step;             // 985248 / period, worked out by the command; 0 for a period of 0
    uint8_t repeatCount;
    uint8_t order;
    int32_t selector;         // nibble selector, 0 or 1
    int32_t value;            // added to every output sample while the channel plays
};

struct SidPlayer {
    SidChip chip;
    SidCpu cpu;
    uint8_t memory[65536];
    SampleChannel samples;
    uint16_t loadAddress, initAddress, playAddress;
};

extern SidPlayer tunePlayer; // the game's player

// Processor.
void CpuReset(SidPlayer& player);                                // A = X = Y = P = 0, S = $FF
void ExecuteInstruction(SidPlayer& player);                      // executes the one instruction at pc
void WriteMemory(SidPlayer& player, uint16_t address, uint8_t value); // $D400-$D7FF go to the devices
// Runs the routine at address with A = a until it returns; false when it was abandoned after
// RoutineInstructionLimit instructions.
bool RunRoutine(SidPlayer& player, uint16_t address, uint8_t a);

// Sound chip.
void SidReset(SidPlayer& player, int rate);                      // clears the chip, prepares the rate tables
void WriteSidRegister(SidPlayer& player, int reg, uint8_t value); // reg 0 to 31
void RenderSamples(SidPlayer& player, int16_t* buffer, int count);

// Sample channel.
void WriteSampleRegister(SidPlayer& player, uint16_t address, uint8_t value);
int32_t MixSampleChannel(SidPlayer& player, int32_t x);          // x plus the channel's contribution

// Loader and player.
const char* TuneImageFault(const uint8_t* image, uint32_t length); // why the image cannot load; null: it can
bool LoadTune(SidPlayer& player, const uint8_t* image, uint32_t length); // false: refused, player untouched
// Resets the player, loads the image and runs its init routine for song (its low 8 bits). False: refused.
bool PrepareTune(SidPlayer& player, const uint8_t* image, uint32_t length, int song);
void RenderFrame(SidPlayer& player, int16_t* buffer, int count); // play routine, then count samples
// PrepareTune on the game's player, then opens the output paused with 16 frames queued. False: the image
// was refused (see TuneImageFault) and nothing plays. A tune already playing is stopped first.
bool StartTune(const uint8_t* image, uint32_t length, int song);
void ResumeTune(); // lets the output play; nothing before StartTune
void StopTune();   // detaches the refill, stops and closes the output; nothing when it is not open
