#pragma once
// PNG files of 0x00BBGGRR pictures for looking at frames and sprites during development. The image data
// goes into stored (uncompressed) deflate blocks, so no compression library is needed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace png_detail {
inline uint32_t Crc(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; k++) crc = crc >> 1 ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}
inline std::string BigEndian(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
}  // namespace png_detail

inline std::string EncodePng(const uint32_t* pixels, int width, int height) {
    using namespace png_detail;
    std::string raw;
    for (int y = 0; y < height; y++) {
        raw += '\0';  // no filter on the line
        for (int x = 0; x < width; x++) {
            const uint32_t c = pixels[size_t(y) * width + x];
            raw += {char(c), char(c >> 8), char(c >> 16)};
        }
    }
    std::string z = "\x78\x01";
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) a = (a + c) % 65521, b = (b + a) % 65521;
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        z += char(at + n >= raw.size());
        z += {char(n), char(n >> 8), char(~n), char(~n >> 8)};
        z += raw.substr(at, n);
    }
    z += BigEndian(b << 16 | a);
    auto chunk = [](const std::string& type, const std::string& body) {
        return BigEndian(uint32_t(body.size())) + type + body + BigEndian(Crc(type + body));
    };
    const std::string header = BigEndian(width) + BigEndian(height) + std::string("\x08\x02\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", z) + chunk("IEND", "");
}

inline bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height) {
    std::ofstream out(path, std::ios::binary);
    out << EncodePng(pixels, width, height);
    return bool(out);
}
