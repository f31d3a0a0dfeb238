// The sound chip: rate tables, oscillator, envelope, sync, voice 3 off, mixing and saturation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "tune/sid_player.h"

namespace {

SidPlayer player;

void Reset() {
    std::memset(&player, 0, sizeof player);
    SidReset(player, MixRate);
}

std::vector<int16_t> Render(int count) {
    std::vector<int16_t> samples(count);
    RenderSamples(player, samples.data(), count);
    return samples;
}

void SetFrequency(int voice, uint16_t frequency) {
    WriteSidRegister(player, voice * 7, uint8_t(frequency));
    WriteSidRegister(player, voice * 7 + 1, uint8_t(frequency >> 8));
}

TEST(TuneChip, RateTablesAndFactorsAt44100) {
    const int32_t attack[16] = {168867, 47495, 24124, 15998, 10200, 6908, 5692, 4855,
                                3877,   1555,  777,   486,   389,   129,  77,   48};
    const int32_t release[16] = {42660, 15468, 7857, 5210, 3322, 2250, 1853, 1581,
                                 1262,  506,   253,  158,  126,  42,   25,   15};
    Reset();
    EXPECT_EQ(player.chip.stepFactor, 359);
    EXPECT_EQ(player.chip.cutoffFactor, 32);
    EXPECT_TRUE(std::equal(attack, attack + 16, player.chip.attackRates));
    EXPECT_TRUE(std::equal(release, release + 16, player.chip.releaseRates));
    for (const SidVoice& voice : player.chip.voices) EXPECT_EQ(voice.noiseRegister, 0xFFFFFFu);
}

TEST(TuneChip, AttackZeroPeaksOnSample100DecaysToSustainAndReleasesToItsFloor) {
    Reset();
    WriteSidRegister(player, 4, 0x01); // gate, no waveform
    WriteSidRegister(player, 6, 0xF0); // sustain 15
    Render(99);
    EXPECT_LT(player.chip.voices[0].envelope, 0xFFFFFF);
    EXPECT_EQ(player.chip.voices[0].envelopePhase, ENVELOPE_ATTACK);
    Render(1);
    EXPECT_EQ(player.chip.voices[0].envelope, 0xFFFFFF);
    EXPECT_EQ(player.chip.voices[0].envelopePhase, ENVELOPE_DECAY);
    Render(2000);
    EXPECT_EQ(player.chip.voices[0].envelope, 0xF00000);
    EXPECT_EQ(player.chip.voices[0].envelopePhase, ENVELOPE_SUSTAIN);

    WriteSidRegister(player, 4, 0x01); // gate again while sustaining: no new attack
    EXPECT_EQ(player.chip.voices[0].envelopePhase, ENVELOPE_SUSTAIN);
    WriteSidRegister(player, 6, 0xF1); // release 1, the lowest bit of the rate
    WriteSidRegister(player, 4, 0x00);
    Render(2);
    EXPECT_EQ(player.chip.voices[0].envelope, 0xF00000 - 2 * 15468);

    // Decay 1 (the lowest bit of the rate) steps at release's rate 1 from the peak on sample 100.
    Reset();
    WriteSidRegister(player, 5, 0x01);
    WriteSidRegister(player, 4, 0x01);
    Render(102);
    EXPECT_EQ(player.chip.voices[0].envelope, 0xFFFFFF - 2 * 15468);

    // Release stops at its floor, even when the envelope is below it.
    Reset();
    WriteSidRegister(player, 5, 0xF0); // slowest attack: 48 per sample
    WriteSidRegister(player, 4, 0x01);
    Render(10);
    EXPECT_EQ(player.chip.voices[0].envelope, 480);
    WriteSidRegister(player, 4, 0x00);
    EXPECT_EQ(player.chip.voices[0].envelopePhase, ENVELOPE_RELEASE);
    Render(1);
    EXPECT_EQ(player.chip.voices[0].envelope, 0x40000);
    WriteSidRegister(player, 4, 0x01); // gate from release restarts the attack
    EXPECT_EQ(player.chip.voices[0].envelopePhase, ENVELOPE_ATTACK);
}

// Every voice starts in the attack phase: all three climb to full together. The high-pass output at
// cutoff 0 is the filter's input itself.
TEST(TuneChip, FullVoicesWithoutWaveformAddTheirMaximumUnlessVoiceThreeIsOff) {
    for (uint8_t routing : {0x00, 0x04}) {
        Reset();
        for (int voice = 0; voice < 3; voice++) WriteSidRegister(player, voice * 7 + 5, 0x0F); // slow decay
        WriteSidRegister(player, 23, routing);
        WriteSidRegister(player, 24, 0x41); // high-pass, volume 1
        EXPECT_EQ(Render(100).back(), 3 * 507);
        WriteSidRegister(player, 24, 0xC1); // voice 3 off: heard neither directly nor through the filter
        EXPECT_EQ(Render(1).back(), 2 * 507) << int(routing);
    }
}

TEST(TuneChip, SyncedVoiceOneTakesVoiceThreesPreviousPhase) {
    Reset();
    SetFrequency(0, 1000);
    SetFrequency(2, 30000);
    WriteSidRegister(player, 4, 0x02); // voice 1 synced to voice 3
    Render(1);
    int synced = 0;
    for (int i = 0; i < 2000; i++) {
        SidVoice before1 = player.chip.voices[0], before3 = player.chip.voices[2];
        Render(1);
        const SidVoice& voice1 = player.chip.voices[0];
        if (before3.phase < before3.step) {
            EXPECT_EQ(voice1.phase, uint32_t(uint64_t(before3.phase) * voice1.step / before3.step));
            synced++;
        } else {
            EXPECT_EQ(voice1.phase, (before1.phase + voice1.step) & 0x0FFFFFFF);
        }
    }
    EXPECT_GT(synced, 10);
}

// The noise register clocks once per change of phase bits 23-27, whether the voice plays the noise or not.
TEST(TuneChip, NoiseClocksAgreeWhetherHeardOrNot) {
    SidVoice voices[2];
    for (uint8_t control : {0x01, 0x81}) {
        Reset();
        SetFrequency(0, 2000);
        WriteSidRegister(player, 4, control);
        Render(SamplesPerFrame);
        SetFrequency(0, 40000);
        Render(SamplesPerFrame);
        voices[control >> 7] = player.chip.voices[0];
    }
    EXPECT_EQ(voices[0].noiseRegister, voices[1].noiseRegister);
    EXPECT_EQ(voices[0].noiseOutput, voices[1].noiseOutput);
    EXPECT_NE(voices[0].noiseRegister, 0xFFFFFFu);
}

// The test bit holds the oscillator and restarts the noise: released, the voice's noise goes on as a voice
// just reset would.
TEST(TuneChip, TheTestBitRestartsTheNoise) {
    SidVoice voices[2];
    for (bool testFirst : {false, true}) {
        Reset();
        SetFrequency(0, 7000);
        if (testFirst) {
            WriteSidRegister(player, 4, 0x80);  // noise for a frame, then held by the test bit
            Render(SamplesPerFrame);
            WriteSidRegister(player, 4, 0x88);
            Render(1);
        }
        WriteSidRegister(player, 4, 0x80);
        Render(SamplesPerFrame);
        voices[testFirst] = player.chip.voices[0];
    }
    EXPECT_NE(voices[0].noiseRegister, 0xFFFFFFu) << "the noise moved on";
    EXPECT_EQ(voices[1].noiseRegister, voices[0].noiseRegister);
    EXPECT_EQ(voices[1].noiseOutput, voices[0].noiseOutput);
}

// Voice 2 plays synced noise, which clocks sample by sample: whether voice 1's own noise may be caught up
// once a frame (as without sync) must not change that.
TEST(TuneChip, EachVoiceClocksItsNoiseByItsOwnControl) {
    std::vector<int16_t> outputs[2];
    for (uint8_t control1 : {0x00, 0x02}) {  // voice 1 silent, synced or not to voice 3, which never wraps
        Reset();
        SetFrequency(0, 300);
        SetFrequency(1, 9000);
        WriteSidRegister(player, 7 + 6, 0xF0);  // voice 2 sustains at full level
        WriteSidRegister(player, 7 + 4, 0x83);  // noise, synced to voice 1, gate on
        WriteSidRegister(player, 4, control1);
        WriteSidRegister(player, 24, 0x0F);
        outputs[control1 >> 1] = Render(2 * SamplesPerFrame);
    }
    EXPECT_GT(std::set<int16_t>(outputs[1].begin(), outputs[1].end()).size(), 20u) << "the noise moves";
    EXPECT_EQ(outputs[0], outputs[1]);
}

TEST(TuneChip, ResonantFilterSaturatesInsteadOfWrapping) {
    Reset();
    // Three square waves in step near the cutoff frequency, through the band-pass at full resonance.
    for (int voice = 0; voice < 3; voice++) {
        SetFrequency(voice, 60000);
        WriteSidRegister(player, voice * 7 + 3, 0x08);
        WriteSidRegister(player, voice * 7 + 4, 0x41);
        WriteSidRegister(player, voice * 7 + 6, 0xF0);
    }
    WriteSidRegister(player, 22, 0x40);
    WriteSidRegister(player, 23, 0xF7);
    WriteSidRegister(player, 24, 0x2F);
    std::vector<int16_t> samples = Render(4000);
    int clipped = 0;
    for (size_t i = 1; i < samples.size(); i++) {
        clipped += samples[i] == 32767 || samples[i] == -32768;
        ASSERT_LT(std::abs(samples[i] - samples[i - 1]), 40000) << i;
    }
    EXPECT_GT(clipped, 0);
}

} // namespace

// Every part of the chip at once: each step sets a few registers and renders 3000 samples, whose FNV-1a
// is pinned. Waveforms, pulse width, sync and ring, noise, envelope phases, each filter mode with its
// cutoff (up to the limit; the unused bits of its low register ignored) and resonance, voice 3 off and
// the volume all leave their mark on one hash.
TEST(TuneChip, ARegisterProgramRendersItsGoldenOutput) {
    const std::vector<std::vector<std::pair<int, uint8_t>>> steps = {
        {{0, 0x2E}, {1, 0x1D}, {5, 0x22}, {6, 0xA8}, {4, 0x11}, {24, 0x0F}},               // triangle
        {{4, 0x21}, {14, 0x00}, {15, 0x30}, {11, 0x11}, {12, 0x09}, {13, 0xF4}},           // sawtooth, voice 2 triangle
        {{4, 0x23}, {7, 0x00}, {8, 0x08}, {9, 0x00}, {10, 0x08}, {11, 0x15}, {13, 0xF0}},  // sync to voice 3; 2 ring
        {{18, 0x80}, {18, 0x81}, {20, 0xF0}, {15, 0x10}, {4, 0x40}, {2, 0x00}, {3, 0x02}},  // noise on voice 3
        {{21, 0xFD}, {22, 0x40}, {23, 0xA3}, {24, 0x1F}},                                  // low-pass, resonance 10
        {{24, 0x2F}, {23, 0x57}},                                                          // band-pass, voice 3 in
        {{24, 0xCF}, {21, 0x07}, {22, 0xFF}},                                              // high-pass at the limit, 3 off
        {{24, 0x7A}, {22, 0x08}, {23, 0xF6}},                                              // all modes, quieter
        {{4, 0x40}, {11, 0x14}, {18, 0x88}},                                               // release, test bit
    };
    Reset();
    std::vector<uint32_t> hashes;
    for (const auto& step : steps) {
        for (auto [reg, value] : step) WriteSidRegister(player, reg, value);
        uint32_t hash = 2166136261u;
        int peak = 0;
        for (int16_t sample : Render(3000)) hash = (hash ^ uint16_t(sample)) * 16777619u, peak = std::max(peak, std::abs(int(sample)));
        EXPECT_GT(peak, 500) << hashes.size(); // every step is heard
        hashes.push_back(hash);
    }
    EXPECT_EQ(hashes, (std::vector<uint32_t>{2618826837u, 2355334144u, 3110494678u, 1732914840u, 3334327828u, 2348481230u,
                                          393563709u, 1242860927u, 3565450463u}));
}
