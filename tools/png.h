#pragma once
// PNG files of 0x00BBGGRR pictures: frames and sprites to look at during development, the README's
// screenshots and the desktop icons (and the Windows icon file, which holds them as PNG images). The image data is compressed here (one deflate block with the fixed
// Huffman codes, repeats found through a hash chain), so no compression library is needed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

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

inline std::string Deflate(const std::string& raw) {
    static constexpr int LENGTH_BASE[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                            31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr int LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                             2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static constexpr int DISTANCE_BASE[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                              33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                              1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static constexpr int WINDOW = 32768, CHAIN = 16, LONGEST = 258;
    std::string out;
    uint32_t bits = 0;
    int pending = 0;
    auto put = [&](uint32_t value, int count) { // extra bits and header fields: least significant first
        bits |= value << pending;
        for (pending += count; pending >= 8; pending -= 8, bits >>= 8) out += char(bits);
    };
    auto code = [&](uint32_t value, int count) { // Huffman codes: most significant first
        for (int i = count - 1; i >= 0; --i) put(value >> i & 1, 1);
    };
    auto symbol = [&](int v) {
        if (v < 144) code(0x30 + v, 8);
        else if (v < 256) code(0x190 + v - 144, 9);
        else if (v < 280) code(v - 256, 7);
        else code(0xC0 + v - 280, 8);
    };
    const size_t size = raw.size();
    std::vector<int> head(1 << 15, -1), previous(size, -1);
    auto hash = [&](size_t at) {
        return (uint8_t(raw[at]) << 10 ^ uint8_t(raw[at + 1]) << 5 ^ uint8_t(raw[at + 2])) & 0x7FFF;
    };
    auto insert = [&](size_t at) {
        if (at + 2 >= size) return;
        previous[at] = head[hash(at)];
        head[hash(at)] = int(at);
    };
    put(1, 1); // the last block
    put(1, 2); // fixed Huffman codes
    for (size_t at = 0; at < size;) {
        int best = 0, distance = 0;
        if (at + 2 < size) {
            const int longest = int(std::min<size_t>(LONGEST, size - at));
            for (int from = head[hash(at)], step = 0; from >= 0 && at - size_t(from) <= WINDOW && step < CHAIN;
                 from = previous[size_t(from)], ++step) {
                int length = 0;
                while (length < longest && raw[size_t(from) + length] == raw[at + length]) ++length;
                if (length > best) best = length, distance = int(at) - from;
                if (length == longest) break;
            }
        }
        if (best < 3) {
            symbol(uint8_t(raw[at]));
            insert(at++);
            continue;
        }
        int l = 0, d = 0;
        while (l < 28 && LENGTH_BASE[l + 1] <= best) ++l;
        while (d < 29 && DISTANCE_BASE[d + 1] <= distance) ++d;
        symbol(257 + l);
        put(uint32_t(best - LENGTH_BASE[l]), LENGTH_EXTRA[l]);
        code(uint32_t(d), 5);
        put(uint32_t(distance - DISTANCE_BASE[d]), d < 4 ? 0 : d / 2 - 1);
        for (int k = 0; k < best; ++k) insert(at++);
    }
    symbol(256); // end of block
    if (pending > 0) out += char(bits);
    return out;
}
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
    std::string z = "\x78\x01" + Deflate(raw);
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) a = (a + c) % 65521, b = (b + a) % 65521;
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

// A Windows icon file holding one PNG image per size (square images of 16..256 pixels), as Windows reads
// them since Vista: a directory of 16-byte entries, each with the image's size and offset, then the images.
struct IconImage {
    int size;
    std::string png;
};
inline std::string EncodeIco(const std::vector<IconImage>& images) {
    auto little = [](uint32_t v, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i) out += char(v >> (8 * i));
        return out;
    };
    std::string directory = little(0, 2) + little(1, 2) + little(uint32_t(images.size()), 2), data;
    uint32_t offset = uint32_t(6 + 16 * images.size());
    for (const IconImage& image : images) {
        const uint32_t side = image.size >= 256 ? 0 : uint32_t(image.size);  // 0 stands for 256
        directory += little(side, 1) + little(side, 1) + little(0, 1) + little(0, 1) + little(1, 2) + little(32, 2) +
                     little(uint32_t(image.png.size()), 4) + little(offset, 4);
        offset += uint32_t(image.png.size());
        data += image.png;
    }
    return directory + data;
}
