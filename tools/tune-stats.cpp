// tune-stats [--song N] [--frames F] [--bar B] [--file PATH]
// Plays a song of the embedded tune (or a PSID file) through the game's player and prints what a
// listener would measure: loudness over the whole and per second, peak, DC, when the lead (voice 2)
// first sounds, how many of its bars (B frames each) are distinct, and how its notes move.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "assets/catalogue.h"
#include "tune/sid_player.h"

namespace {

SidPlayer player;
long mostInstructions = 0;

// Runs a routine one instruction at a time as RunRoutine does; true when the lead's gate was off at
// some point and is on at the end: a note started.
bool RunWatchingTheLead(uint16_t address, uint8_t a) {
    player.cpu = SidCpu{a, 0, 0, 0xFD, 0, address};
    player.memory[0x01FF] = player.memory[0x01FE] = 0;
    bool gateOff = false;
    long count = 0;
    for (; player.cpu.pc > 1 && count < 100000; ++count) {
        ExecuteInstruction(player);
        gateOff |= !(player.chip.registers[11] & 1);
    }
    mostInstructions = std::max(mostInstructions, count);
    return gateOff && (player.chip.registers[11] & 1);
}

// Nearest note number (semitones from 8.18 Hz at 0.0596 Hz per unit), from a frequency register value.
int NoteOf(int frequency) {
    return frequency ? int(std::lround(12 * std::log2(frequency * 0.0596 / 8.1758))) : -1;
}

} // namespace

int main(int argc, char** argv) {
    long song = 0, frames = 4800, bar = 80;
    const char* file = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--song")) song = std::atol(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--frames")) frames = std::atol(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--bar")) bar = std::atol(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--file")) file = argv[i + 1];
        else return std::fprintf(stderr, "usage: tune-stats [--song N] [--frames F] [--bar B] [--file PATH]\n"), 1;
    }
    if (frames < 50 || frames > 360000 || bar < 1) return std::fprintf(stderr, "tune-stats: bad frames or bar\n"), 1;
    std::vector<uint8_t> image;
    if (file) {
        std::ifstream in(file, std::ios::binary);
        image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
        EmbeddedFile tune = TuneFile();
        image.assign(tune.data, tune.data + tune.size);
    }
    if (image.empty() || TuneImageFault(image.data(), uint32_t(image.size())) ||
        !PrepareTune(player, image.data(), uint32_t(image.size()), 0))
        return std::fprintf(stderr, "tune-stats: cannot load the tune\n"), 1;
    RunWatchingTheLead(player.initAddress, uint8_t(song));
    long initInstructions = mostInstructions;
    mostInstructions = 0;

    std::vector<int16_t> samples(size_t(frames) * SamplesPerFrame);
    std::vector<long> onsets;
    std::vector<int> pitches;
    for (long frame = 0; frame < frames; ++frame) {
        if (RunWatchingTheLead(player.playAddress, 0)) onsets.push_back(frame);
        if (!onsets.empty() && onsets.back() == frame - 3)
            pitches.push_back(NoteOf(player.chip.registers[7] | player.chip.registers[8] << 8));
        RenderSamples(player, samples.data() + frame * SamplesPerFrame, SamplesPerFrame);
    }
    if (pitches.size() < onsets.size()) onsets.pop_back();

    double energy = 0, sum = 0, quietest = 0, loudest = -200;
    int peak = 0;
    long quietSecond = 0, loudSecond = 0;
    for (size_t second = 0; (second + 1) * MixRate <= samples.size(); ++second) {
        double e = 0;
        for (size_t i = second * MixRate; i < (second + 1) * MixRate; ++i) e += double(samples[i]) * samples[i];
        double db = 10 * std::log10(e / MixRate / (32768.0 * 32768) + 1e-12);
        if (second == 0 || db < quietest) quietest = db, quietSecond = long(second);
        if (db > loudest) loudest = db, loudSecond = long(second);
    }
    for (int16_t s : samples) energy += double(s) * s, sum += s, peak = std::max(peak, std::abs(int(s)));
    std::printf("song %ld, %ld frames: %.1f dBFS, peak %.1f dBFS, DC %.0f\n", song, frames,
                10 * std::log10(energy / double(samples.size()) / (32768.0 * 32768)), 20 * std::log10(peak / 32768.0),
                sum / double(samples.size()));
    std::printf("instructions: init %ld, play at most %ld\n", initInstructions, mostInstructions);
    std::printf("per second: quietest %.1f dB (s %ld), loudest %.1f dB (s %ld), span %.1f dB\n", quietest,
                quietSecond, loudest, loudSecond, loudest - quietest);
    if (onsets.empty()) return std::printf("no lead notes\n"), 0;

    std::vector<std::vector<long>> bars(size_t((frames + bar - 1) / bar));
    for (size_t n = 0; n < onsets.size(); ++n) {
        auto& b = bars[size_t(onsets[n] / bar)];
        b.push_back(onsets[n] % bar);
        b.push_back(pitches[n]);
    }
    std::set<std::vector<long>> distinct(bars.begin(), bars.end());
    int steps = 0, repeats = 0, leaps = 0;
    for (size_t n = 1; n < pitches.size(); ++n) {
        int d = std::abs(pitches[n] - pitches[n - 1]);
        (d == 0 ? repeats : d <= 2 ? steps : leaps)++;
    }
    int intervals = steps + repeats + leaps;
    std::printf("lead: first note at %.2f s, %zu notes, %zu of %zu bars distinct\n", onsets[0] / 50.0,
                onsets.size(), distinct.size(), bars.size());
    std::printf("intervals: %d steps (%.0f%%), %d repeats, %d leaps (%.0f%% steps without repeats)\n", steps,
                100.0 * steps / std::max(intervals, 1), repeats, leaps, 100.0 * steps / std::max(steps + leaps, 1));
    return 0;
}
