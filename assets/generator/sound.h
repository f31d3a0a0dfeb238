#pragma once
// The sound effects of the game: oscillators, noise and envelopes at 6000 Hz, written as 8-bit unsigned
// mono RIFF WAVE. Deterministic: a fixed-seed noise source and plain double arithmetic.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace gen {

constexpr double RATE = 6000;
constexpr double TAU = 6.28318530717958647692;

// A band-limited pulse-like tone: odd and even harmonics below the Nyquist limit, brightness 0..1.
inline double Tone(double phase, double frequency, double brightness) {
    double sum = 0;
    for (int k = 1; k * frequency < 2800 && k <= 12; k++)
        sum += std::sin(TAU * phase * k) * std::pow(brightness, k - 1) / k * (k % 2 ? 1.0 : 0.5);
    return sum;
}

struct NoiseSource {
    uint32_t state = 0x2545F491u;
    double Next() {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        return state / 2147483648.0 - 1;
    }
};

inline double Attack(double t, double seconds) { return std::min(1.0, t / seconds); }

// Scales to a peak of -3 dBFS, fades the first and last few milliseconds, and writes 8-bit unsigned.
inline std::vector<uint8_t> WaveFileBytes(std::vector<double> samples) {
    double peak = 1e-9;
    for (double s : samples) peak = std::max(peak, std::fabs(s));
    const size_t n = samples.size(), fadeIn = 18, fadeOut = 90;
    std::vector<uint8_t> f(44 + n + n % 2, 0);
    auto put = [&](size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; i++) f[at + i] = uint8_t(value >> (8 * i));
    };
    const char* ids[] = {"RIFF", "WAVE", "fmt ", "data"};
    const size_t idAt[] = {0, 8, 12, 36};
    for (int i = 0; i < 4; i++) std::copy(ids[i], ids[i] + 4, f.begin() + idAt[i]);
    put(4, uint32_t(f.size() - 8), 4), put(16, 16, 4), put(20, 1, 2), put(22, 1, 2);
    put(24, 6000, 4), put(28, 6000, 4), put(32, 1, 2), put(34, 8, 2), put(40, uint32_t(n), 4);
    for (size_t i = 0; i < n; i++) {
        const double fade = std::min({1.0, double(i) / fadeIn, double(n - 1 - i) / fadeOut});
        f[44 + i] = uint8_t(128 + std::lround(samples[i] / peak * 0.707 * 127 * fade));
    }
    return f;
}

// The missile launch: a falling zap over a rushing whoosh.
inline std::vector<double> LaunchSound() {
    std::vector<double> out(5263);
    NoiseSource noise;
    double phase = 0, low = 0;
    for (size_t i = 0; i < out.size(); i++) {
        const double t = i / RATE;
        const double frequency = 180 + 1250 * std::exp(-t / 0.09);
        phase += frequency / RATE;
        const double zap = Tone(phase, frequency, 0.55) * std::exp(-t / 0.16) * Attack(t, 0.004);
        const double cutoff = 0.05 + 0.35 * std::exp(-t / 0.25);
        low += (noise.Next() - low) * cutoff;
        const double whoosh = low * Attack(t, 0.03) * std::exp(-t / 0.28) * 1.6;
        out[i] = zap * 0.7 + whoosh;
    }
    return out;
}

// The blast: a low thump under rumbling noise that darkens as it dies, with a few crackles.
inline std::vector<double> BlastSound() {
    std::vector<double> out(7160);
    NoiseSource noise;
    double phase = 0, low = 0, lower = 0, crackle = 0;
    for (size_t i = 0; i < out.size(); i++) {
        const double t = i / RATE;
        const double frequency = 40 + 90 * std::exp(-t / 0.08);
        phase += frequency / RATE;
        const double thump = std::sin(TAU * phase) * std::exp(-t / 0.18);
        const double cutoff = 0.03 + 0.4 * std::exp(-t / 0.12);
        low += (noise.Next() - low) * cutoff;
        lower += (low - lower) * cutoff;
        const double n = noise.Next();
        if (n > 0.985 - 0.02 * std::exp(-t / 0.3)) crackle = n * std::exp(-t / 0.35);
        crackle *= 0.8;
        out[i] = (thump * 0.9 + lower * 2.6 + crackle * 0.5) * std::exp(-t / 0.38) * Attack(t, 0.002);
    }
    return out;
}

// Notes one after another: (frequency, start seconds); each rings until the next begins or the end.
struct Note {
    double frequency, start;
};
inline std::vector<double> Melody(size_t length, const std::vector<Note>& notes, double brightness, double ring,
                                  double vibrato = 0) {
    std::vector<double> out(length);
    for (size_t k = 0; k < notes.size(); k++) {
        const double end = k + 1 < notes.size() ? notes[k + 1].start + 0.012 : length / RATE;
        double phase = 0;
        for (size_t i = size_t(notes[k].start * RATE); i < length && i < size_t(end * RATE); i++) {
            const double t = i / RATE - notes[k].start;
            const double f = notes[k].frequency * (1 + vibrato * std::sin(TAU * 7 * t) * std::min(1.0, t / 0.1));
            phase += f / RATE;
            const double release = std::min(1.0, (end - i / RATE) / 0.012);
            out[i] += Tone(phase, f, brightness) * Attack(t, 0.003) * std::exp(-t / ring) * release;
        }
    }
    return out;
}

inline std::vector<double> RoundStartSound() { // a rising four-note call
    return Melody(2625, {{392, 0}, {523.3, 0.075}, {659.3, 0.15}, {784, 0.225}}, 0.45, 0.25);
}

inline std::vector<double> SpeedSound() { // a quick upward sweep with a shimmer
    std::vector<double> out(1740);
    double phase = 0;
    for (size_t i = 0; i < out.size(); i++) {
        const double t = i / RATE, p = t / 0.29;
        const double f = 300 * std::pow(6.0, p) * (1 + 0.04 * std::sin(TAU * 30 * t));
        phase += f / RATE;
        out[i] = Tone(phase, f, 0.5) * Attack(t, 0.01) * (1 - p * 0.6);
    }
    return out;
}

inline std::vector<double> PointsSound() { // a bright two-note chime that rings and echoes
    const std::vector<double> chime = Melody(5621, {{987.8, 0}, {1318.5, 0.07}}, 0.15, 0.22);
    std::vector<double> out(chime);
    for (int echo = 1; echo <= 3; echo++) {
        const size_t delay = size_t(0.17 * echo * RATE);
        for (size_t i = delay; i < out.size(); i++) out[i] += chime[i - delay] * std::pow(0.45, echo);
    }
    return out;
}

inline std::vector<double> AimedFireSound() { // three rising lock-on beeps
    std::vector<double> out(2612);
    const double pitches[] = {880, 1175, 1568};
    for (int b = 0; b < 3; b++) {
        double phase = 0;
        const size_t start = size_t(b * 0.12 * RATE), length = size_t((b == 2 ? 0.19 : 0.07) * RATE);
        for (size_t i = 0; i < length && start + i < out.size(); i++) {
            const double t = i / RATE;
            phase += pitches[b] / RATE;
            const double envelope = Attack(t, 0.003) * std::min(1.0, (length - i) / (0.01 * RATE));
            out[start + i] = Tone(phase, pitches[b], 0.7) * envelope * (b == 2 ? std::exp(-t / 0.12) : 1);
        }
    }
    return out;
}

inline std::vector<double> ExtraShipSound() { // a short major fanfare ending on a held note with vibrato
    return Melody(2972, {{523.3, 0}, {659.3, 0.06}, {784, 0.12}, {1046.5, 0.18}}, 0.35, 0.5, 0.012);
}

inline std::vector<double> AutoFireSound() { // a fast rising trill
    std::vector<double> out(2613);
    double phase = 0;
    for (size_t i = 0; i < out.size(); i++) {
        const double t = i / RATE;
        const double f = (int(t / 0.03) % 2 ? 880 : 660) * (1 + t * 0.8);
        phase += f / RATE;
        out[i] = Tone(phase, f, 0.6) * Attack(t, 0.005) * std::exp(-t / 0.3);
    }
    return out;
}

} // namespace gen
