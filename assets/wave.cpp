#include "assets/wave.h"

#include <cstring>

#include "assets/bytes.h"

namespace {

bool Refuse(WaveSound& out, std::string* error, const char* reason) {
    out = WaveSound{};
    if (error) *error = reason;
    return false;
}

bool IsId(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

} // namespace

bool ParseWave(const uint8_t* data, size_t length, WaveSound& out, std::string* error) {
    if (!data || length < 4 || !IsId(data, "RIFF")) return Refuse(out, error, "does not begin with \"RIFF\"");
    if (length < 20 || !IsId(data + 12, "fmt ")) return Refuse(out, error, "no \"fmt \" chunk at byte 12");
    const uint64_t formatSize = ReadU32(data + 16);
    if (formatSize < 16) return Refuse(out, error, "format chunk smaller than 16 bytes");
    if (20 + formatSize > length) return Refuse(out, error, "format chunk runs past the end");
    const uint8_t* format = data + 20;
    WaveSound sound;
    sound.formatTag = ReadU16(format);
    sound.channels = ReadU16(format + 2);
    sound.samplesPerSecond = ReadU32(format + 4);
    sound.bytesPerSecond = ReadU32(format + 8);
    sound.blockAlign = ReadU16(format + 12);
    sound.bitsPerSample = ReadU16(format + 14);
    if (sound.formatTag != 1) return Refuse(out, error, "not PCM");
    if (sound.channels != 1 && sound.channels != 2) return Refuse(out, error, "not mono or stereo");
    if (sound.bitsPerSample != 8 && sound.bitsPerSample != 16) return Refuse(out, error, "not 8 or 16 bits");
    if (sound.samplesPerSecond == 0) return Refuse(out, error, "zero sample rate");
    if (sound.blockAlign != sound.channels * sound.bitsPerSample / 8)
        return Refuse(out, error, "block align does not match channels and bits");

    for (uint64_t at = 20 + formatSize; at + 8 <= length;) {
        const uint64_t size = ReadU32(data + at + 4);
        if (IsId(data + at, "data")) {
            if (size > length - (at + 8)) return Refuse(out, error, "\"data\" chunk runs past the end");
            sound.samples = data + at + 8;
            sound.sampleBytes = static_cast<size_t>(size);
            out = sound;
            if (error) error->clear();
            return true;
        }
        at += 8 + size;
    }
    return Refuse(out, error, "no \"data\" chunk");
}
