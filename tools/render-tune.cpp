// render-tune [--song N] [--seconds S] [--file PATH] OUT.wav
// Renders the embedded tune, or a PSID file, to a 16-bit 44100 Hz mono WAV through the game's own player:
// the reset, load and init of StartTune, then one play call and 882 samples per frame.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "assets/catalogue.h"
#include "tune/sid_player.h"

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "render-tune: %s\n", message.c_str());
    return 1;
}

bool ParseNumber(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

void PutLittleEndian(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++) out.push_back(char(value >> (8 * i)));
}

std::string WaveFile(const std::vector<int16_t>& samples) {
    uint32_t dataBytes = uint32_t(samples.size() * 2);
    std::string out = "RIFF";
    PutLittleEndian(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    PutLittleEndian(out, 16, 4);
    PutLittleEndian(out, 1, 2);           // PCM
    PutLittleEndian(out, 1, 2);           // mono
    PutLittleEndian(out, MixRate, 4);
    PutLittleEndian(out, MixRate * 2, 4); // bytes per second
    PutLittleEndian(out, 2, 2);           // block alignment
    PutLittleEndian(out, 16, 2);          // bits per sample
    out += "data";
    PutLittleEndian(out, dataBytes, 4);
    for (int16_t sample : samples) PutLittleEndian(out, uint16_t(sample), 2);
    return out;
}

SidPlayer player;

} // namespace

int main(int argc, char** argv) {
    const char* usage = "usage: render-tune [--song N] [--seconds S] [--file PATH] OUT.wav";
    long song = 0, seconds = 60;
    const char* file = nullptr;
    const char* out = nullptr;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--song" && hasValue) {
            if (!ParseNumber(argv[++i], 0, 0x7FFFFFFF, song)) return Fail("bad song number; " + std::string(usage));
        } else if (arg == "--seconds" && hasValue) {
            if (!ParseNumber(argv[++i], 1, 3600, seconds)) return Fail("seconds must be 1 to 3600");
        } else if (arg == "--file" && hasValue) {
            file = argv[++i];
        } else if (!out && arg.rfind("--", 0) != 0) {
            out = argv[i];
        } else {
            return Fail(usage);
        }
    }
    if (!out) return Fail(usage);

    std::vector<uint8_t> image;
    if (file) {
        std::ifstream in(file, std::ios::binary);
        if (!in) return Fail(std::string("cannot read ") + file);
        image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad() || image.size() > 0xFFFFFFFFu) return Fail(std::string("cannot read ") + file);
    } else {
        EmbeddedFile tune = TuneFile();
        if (!tune.data || tune.size == 0) return Fail("the embedded tune is empty; give a PSID file with --file");
        image.assign(tune.data, tune.data + tune.size);
    }
    if (const char* fault = TuneImageFault(image.data(), uint32_t(image.size())))
        return Fail(std::string(file ? file : "the embedded tune") + ": " + fault);
    PrepareTune(player, image.data(), uint32_t(image.size()), int(song));

    std::vector<int16_t> samples(size_t(seconds) * MixRate);
    for (size_t frame = 0; frame * SamplesPerFrame < samples.size(); frame++)
        RenderFrame(player, samples.data() + frame * SamplesPerFrame, SamplesPerFrame);

    std::string wave = WaveFile(samples);
    std::ofstream output(out, std::ios::binary);
    output.write(wave.data(), std::streamsize(wave.size()));
    output.close();
    if (!output) return Fail(std::string("cannot write ") + out);
    std::printf("%s: %ld s of song %ld, %zu frames\n", out, seconds, song, samples.size() / SamplesPerFrame);
    return 0;
}
