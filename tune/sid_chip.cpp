// The sound chip: three voices (oscillator, waveforms, envelope), one state-variable filter and the master
// volume, all in integer arithmetic per sample. Register writes are stored at once; the voices and the
// filter take their parameters from the registers at the start of each RenderSamples call.
#include <algorithm>
#include <cstring>

#include "tune/sid_player.h"

namespace {

// Attack, and decay-or-release, times in seconds for the 16 register values.
constexpr float ATTACK_TIMES[16] = {
    0.00225286069f, 0.00800995808f, 0.0157696046f, 0.0237795617f, 0.0372963659f, 0.0550684594f,
    0.0668330863f, 0.0783473998f, 0.0981219783f, 0.244554028f, 0.489108056f, 0.78247273f,
    0.977715433f, 2.93364692f, 4.88907814f, 7.82272482f};
constexpr float RELEASE_TIMES[16] = {
    0.00891777687f, 0.0245940518f, 0.0484185889f, 0.0730116665f, 0.114512473f, 0.16907835f,
    0.205199435f, 0.240551978f, 0.301266134f, 0.750858247f, 1.50171554f, 2.40243673f,
    3.00189304f, 9.00721359f, 15.0109978f, 24.0182114f};

constexpr uint8_t CONTROL_GATE = 0x01;
constexpr uint8_t CONTROL_SYNC = 0x02;
constexpr uint8_t CONTROL_RING = 0x04;
constexpr uint8_t CONTROL_TEST = 0x08;
constexpr uint8_t WAVE_TRIANGLE = 0x10;
constexpr uint8_t WAVE_SAWTOOTH = 0x20;
constexpr uint8_t WAVE_PULSE = 0x40;
constexpr uint8_t WAVE_NOISE = 0x80;

constexpr int32_t ENVELOPE_FULL = 0xFFFFFF;
constexpr int32_t RELEASE_FLOOR = 0x40000;
constexpr uint32_t PHASE_MASK = 0x0FFFFFFF;
constexpr uint32_t PHASE_TOP = 0x8000000; // bit 27
constexpr uint32_t NOISE_RESET = 0xFFFFFF;

// The per-frame parameters of one voice.
struct VoiceMix {
    int32_t directMask, filterMask; // -1 where the voice's value goes to that sum
    bool batchNoise;                // the noise register is caught up once at the end of the frame
    uint32_t startPhase;
};

void PrepareVoice(SidChip& chip, int index, VoiceMix& mix) {
    SidVoice& voice = chip.voices[index];
    const uint8_t* reg = chip.registers + index * 7;
    voice.step = uint32_t(reg[0] | reg[1] << 8) * uint32_t(chip.stepFactor);
    voice.pulseThreshold = uint32_t((reg[2] | reg[3] << 8) & 0xFFF) << 16;
    voice.control = reg[4];
    voice.filtered = (chip.registers[23] >> index) & 1;
    voice.attackRate = chip.attackRates[reg[5] >> 4];
    voice.decayRate = chip.releaseRates[reg[5] & 15];
    voice.sustainLevel = reg[6] & 0xF0;
    voice.releaseRate = chip.releaseRates[reg[6] & 15];
    mix.batchNoise = !(voice.control & (WAVE_NOISE | CONTROL_TEST | CONTROL_SYNC));
    mix.startPhase = voice.phase;
    bool heard = index != 2 || chip.filter.voice3On;
    mix.directMask = heard && !voice.filtered ? -1 : 0;
    mix.filterMask = heard && voice.filtered ? -1 : 0;
}

void PrepareFilter(SidChip& chip) {
    SidFilter& filter = chip.filter;
    uint8_t mode = chip.registers[24];
    filter.cutoff = std::min(((chip.registers[21] & 7) + chip.registers[22] * 16) * chip.cutoffFactor, 65536);
    filter.lowPass = (mode >> 4) & 1;
    filter.bandPass = (mode >> 5) & 1;
    filter.highPass = (mode >> 6) & 1;
    filter.voice3On = (mode & 0x80) == 0;
    filter.volume = mode & 15;
    filter.damping = (78643 - 2621 * (chip.registers[23] >> 4)) >> 8;
}

// Bits 22, 20, 16, 13, 11, 7, 4, 2 of the noise register as output bits 7 to 0.
uint8_t NoiseOutput(uint32_t noise) {
    return uint8_t(((noise >> 15) & 0x80) | ((noise >> 14) & 0x40) | ((noise >> 11) & 0x20) |
                   ((noise >> 9) & 0x10) | ((noise >> 8) & 0x08) | ((noise >> 5) & 0x04) |
                   ((noise >> 3) & 0x02) | ((noise >> 2) & 0x01));
}

void ClockNoise(SidVoice& voice, uint32_t clocks) {
    if (clocks == 0) return;
    uint32_t noise = voice.noiseRegister;
    for (uint32_t i = 0; i < clocks; i++) noise = noise << 1 | (((noise >> 22) ^ (noise >> 17)) & 1);
    voice.noiseRegister = noise;
    voice.noiseOutput = NoiseOutput(noise);
}

// The noise clocks of a frame of count samples from startPhase, for a voice that neither plays the
// noise nor has test or sync set, so its phase just steps: the register is clocked once for every change
// of phase bits 23-27, which with a step of 2^23 or more is every sample.
void CatchUpNoise(SidVoice& voice, uint32_t startPhase, int count) {
    uint32_t clocks = voice.step >= (1u << 23) ? uint32_t(count)
                    : uint32_t(((startPhase + uint64_t(count) * voice.step) >> 23) - (startPhase >> 23));
    voice.noisePosition = voice.phase >> 23;
    ClockNoise(voice, clocks);
}

void StepEnvelope(SidVoice& voice) {
    int32_t sustain = voice.sustainLevel << 16;
    switch (voice.envelopePhase) {
    case ENVELOPE_ATTACK:
        voice.envelope += voice.attackRate;
        if (voice.envelope >= ENVELOPE_FULL) {
            voice.envelope = ENVELOPE_FULL;
            voice.envelopePhase = ENVELOPE_DECAY;
        }
        break;
    case ENVELOPE_DECAY:
        voice.envelope -= voice.decayRate;
        if (voice.envelope <= sustain) {
            voice.envelope = sustain;
            voice.envelopePhase = ENVELOPE_SUSTAIN;
        }
        break;
    case ENVELOPE_SUSTAIN:
        if (voice.envelope != sustain) voice.envelopePhase = ENVELOPE_DECAY;
        break;
    default:
        voice.envelope = std::max(voice.envelope - voice.releaseRate, RELEASE_FLOOR);
        break;
    }
}

// One sample of one voice against its modulator: the wave times the envelope, -512 to 507.
int32_t StepVoice(SidVoice& voice, const SidVoice& modulator, const VoiceMix& mix) {
    uint32_t phase = (voice.phase + voice.step) & PHASE_MASK;
    if (voice.control & CONTROL_TEST) {
        phase = 0;
        voice.noisePosition = 0;
        voice.noiseRegister = NOISE_RESET;
    }
    // The modulator wrapped on its last step: restart at the same fraction of this voice's step.
    if ((voice.control & CONTROL_SYNC) && modulator.phase < modulator.step)
        phase = uint32_t(uint64_t(modulator.phase) * voice.step / modulator.step);
    voice.phase = phase;

    if (!mix.batchNoise && phase >> 23 != voice.noisePosition) {
        voice.noisePosition = phase >> 23;
        ClockNoise(voice, 1);
    }
    // Only the selected waveforms are computed; the control bits are steady through a frame.
    uint32_t wave = 0xFF;
    if (voice.control & WAVE_TRIANGLE) {
        wave = ((phase >> 19) ^ (0u - (phase >> 27))) & 0xFF; // falls while bit 27 is set
        // Ring modulation inverts it while the modulator's bit 27 is 0.
        if ((voice.control & CONTROL_RING) && modulator.phase < PHASE_TOP) wave ^= 0xFF;
    }
    if (voice.control & WAVE_SAWTOOTH) wave &= phase >> 20;
    if ((voice.control & WAVE_PULSE) && phase > voice.pulseThreshold) wave = 0;
    if (voice.control & WAVE_NOISE) wave &= voice.noiseOutput;

    StepEnvelope(voice);
    return (int32_t(wave) - 128) * voice.envelope >> 22;
}

int16_t Saturate(int32_t sample) {
    return int16_t(std::clamp(sample, -32768, 32767));
}

} // namespace

void SidReset(SidPlayer& player, int rate) {
    SidChip& chip = player.chip;
    std::memset(&chip, 0, sizeof chip);
    for (SidVoice& voice : chip.voices) voice.noiseRegister = NOISE_RESET;
    chip.mixRate = rate;
    chip.stepFactor = 15872000 / rate;
    chip.cutoffFactor = 1411200 / rate;
    for (int i = 0; i < 16; i++) {
        chip.attackRates[i] = int32_t(16777216.0 / (double(ATTACK_TIMES[i]) * rate));
        chip.releaseRates[i] = int32_t(16777216.0 / (double(RELEASE_TIMES[i]) * rate));
    }
}

void WriteSidRegister(SidPlayer& player, int reg, uint8_t value) {
    SidChip& chip = player.chip;
    if (reg > 24) return;
    chip.registers[reg] = value;
    if (reg > 20 || reg % 7 != 4) return;
    SidVoice& voice = chip.voices[reg / 7];
    if (!(value & CONTROL_GATE)) voice.envelopePhase = ENVELOPE_RELEASE;
    else if (voice.envelopePhase == ENVELOPE_RELEASE) voice.envelopePhase = ENVELOPE_ATTACK;
}

void RenderSamples(SidPlayer& player, int16_t* buffer, int count) {
    SidChip& chip = player.chip;
    PrepareFilter(chip); // first: the voices need voice3On
    VoiceMix mix[3];
    for (int index = 0; index < 3; index++) PrepareVoice(chip, index, mix[index]);
    // The sample loop runs on local copies, which the compiler can keep in registers.
    SidVoice voice1 = chip.voices[0], voice2 = chip.voices[1], voice3 = chip.voices[2];
    SidFilter filter = chip.filter;
    const int32_t frequency = filter.cutoff >> 8;
    const SampleChannel& channel = player.samples;
    for (int i = 0; i < count; i++) {
        // Each voice is modulated by the one before it: voice 1 sees voice 3 as of the previous sample.
        int32_t value1 = StepVoice(voice1, voice3, mix[0]);
        int32_t value2 = StepVoice(voice2, voice1, mix[1]);
        int32_t value3 = StepVoice(voice3, voice2, mix[2]);
        int32_t direct = (value1 & mix[0].directMask) + (value2 & mix[1].directMask) + (value3 & mix[2].directMask);
        int32_t input = (value1 & mix[0].filterMask) + (value2 & mix[1].filterMask) + (value3 & mix[2].filterMask);
        // 32-bit wrapping arithmetic, as the filter's state may overflow with high resonance.
        filter.high = int32_t(int64_t(input) * 65536 - int64_t(filter.band >> 8) * filter.damping - filter.low);
        filter.band = int32_t(int64_t(frequency) * (filter.high >> 8) + filter.band);
        filter.low = int32_t(int64_t(frequency) * (filter.band >> 8) + filter.low);
        int32_t filtered = 0;
        if (filter.lowPass) filtered = filter.low >> 16;
        if (filter.bandPass) filtered += filter.band >> 16;
        if (filter.highPass) filtered += filter.high >> 16;
        int32_t sample = (direct + filtered) * filter.volume;
        if (channel.active) sample = MixSampleChannel(player, sample);
        // Saturated rather than wrapped: a strongly resonant filter can exceed 16 bits, and a wrap is a crack.
        buffer[i] = Saturate(sample);
    }
    chip.voices[0] = voice1;
    chip.voices[1] = voice2;
    chip.voices[2] = voice3;
    for (int index = 0; index < 3; index++)
        if (mix[index].batchNoise) CatchUpNoise(chip.voices[index], mix[index].startPhase, count);
    chip.filter = filter;
}
