// The PNG writer of tools/png.h read back: the chunk layout and checksums, and the image data inflated by
// a small reader of the one kind of deflate stream the writer makes (one block with the fixed Huffman
// codes), whose code tables are worked out here from the format's rules rather than copied.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tools/png.h"

namespace {

uint32_t BigEndianAt(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s.at(at))) << 24 | uint32_t(uint8_t(s.at(at + 1))) << 16 |
           uint32_t(uint8_t(s.at(at + 2))) << 8 | uint8_t(s.at(at + 3));
}

struct BitReader {
    const std::string& data;
    size_t bit = 0;
    uint32_t Next() {
        const uint32_t b = uint8_t(data.at(bit / 8)) >> (bit % 8) & 1;
        ++bit;
        return b;
    }
    uint32_t Bits(int n) { // least significant first
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v |= Next() << i;
        return v;
    }
    uint32_t Code(int n) { // most significant first
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = v << 1 | Next();
        return v;
    }
};

// Literal/length symbols: 256..279 have 7-bit codes from 0, 0..143 8-bit codes from $30, 280..287 8-bit
// codes from $C0, 144..255 9-bit codes from $190.
int Symbol(BitReader& in) {
    uint32_t c = in.Code(7);
    if (c < 24) return 256 + int(c);
    c = c << 1 | in.Code(1);
    if (c >= 0x30 && c < 0xC0) return int(c) - 0x30;
    if (c >= 0xC0 && c < 0xC8) return 280 + int(c) - 0xC0;
    return 144 + int(c << 1 | in.Code(1)) - 0x190;
}

std::string Inflate(const std::string& stream) {
    int lengthBase[29], lengthExtra[29], distanceBase[30], distanceExtra[30];
    for (int i = 0, base = 3; i < 28; base += 1 << lengthExtra[i], ++i)
        lengthBase[i] = base, lengthExtra[i] = i < 8 ? 0 : (i - 4) / 4;
    lengthBase[28] = 258, lengthExtra[28] = 0;
    for (int i = 0, base = 1; i < 30; base += 1 << distanceExtra[i], ++i)
        distanceBase[i] = base, distanceExtra[i] = i < 4 ? 0 : i / 2 - 1;

    BitReader in{stream};
    EXPECT_EQ(in.Bits(1), 1u) << "one block, the last";
    EXPECT_EQ(in.Bits(2), 1u) << "fixed Huffman codes";
    std::string out;
    for (int symbol = Symbol(in); symbol != 256; symbol = Symbol(in)) {
        if (symbol < 256) {
            out += char(symbol);
            continue;
        }
        const int l = symbol - 257;
        const int length = lengthBase[l] + int(in.Bits(lengthExtra[l]));
        const int d = int(in.Code(5));
        const size_t distance = size_t(distanceBase[d]) + in.Bits(distanceExtra[d]);
        if (distance > out.size() || distance > 32768) throw std::runtime_error("distance out of the window");
        for (int k = 0; k < length; ++k) out += out[out.size() - distance];
    }
    return out;
}

// Decodes what EncodePng wrote back to 0x00BBGGRR pixels, checking every structural field on the way.
std::vector<uint32_t> Decode(const std::string& png, int width, int height) {
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(BigEndianAt(png, 8), 13u);
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(BigEndianAt(png, 16), uint32_t(width));
    EXPECT_EQ(BigEndianAt(png, 20), uint32_t(height));
    EXPECT_EQ(png.substr(24, 5), std::string("\x08\x02\x00\x00\x00", 5)) << "8-bit RGB, no interlace";
    const size_t idat = 8 + 12 + 13;
    const uint32_t length = BigEndianAt(png, idat);
    EXPECT_EQ(png.substr(idat + 4, 4), "IDAT");
    EXPECT_EQ(png.substr(idat + 12 + length), std::string("\0\0\0\0IEND\xAE\x42\x60\x82", 12));
    const std::string z = png.substr(idat + 8, length);
    EXPECT_EQ(z.substr(0, 2), "\x78\x01");
    const std::string raw = Inflate(z.substr(2, z.size() - 6));

    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) a = (a + c) % 65521, b = (b + a) % 65521;
    EXPECT_EQ(BigEndianAt(z, z.size() - 4), b << 16 | a) << "Adler-32 of the image data";
    EXPECT_EQ(raw.size(), size_t(height) * (1 + 3 * size_t(width)));
    std::vector<uint32_t> pixels;
    for (int y = 0; y < height; ++y) {
        const size_t row = size_t(y) * (1 + 3 * size_t(width));
        EXPECT_EQ(raw.at(row), '\0') << "no filter";
        for (int x = 0; x < width; ++x) {
            const size_t at = row + 1 + 3 * size_t(x);
            pixels.push_back(uint8_t(raw.at(at)) | uint8_t(raw.at(at + 1)) << 8 | uint8_t(raw.at(at + 2)) << 16);
        }
    }
    return pixels;
}

TEST(Png, PicturesComeBackExactly) {
    std::mt19937 rng(5);
    struct Case {
        int width, height;
        std::vector<uint32_t> pixels;
    };
    std::vector<Case> cases;
    cases.push_back({800, 600, std::vector<uint32_t>(800 * 600, 0)});  // a black frame: the longest runs
    std::vector<uint32_t> noise(37 * 23);                              // nothing to repeat, odd sizes
    for (uint32_t& p : noise) p = rng() & 0xFFFFFF;
    cases.push_back({37, 23, noise});
    std::vector<uint32_t> frame(640 * 480);  // stars and sprites: repeats near and far, up to the window
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = (i / 640) % 50 < 3 ? 0x2040FF : (i * 7919) % 97 == 0 ? rng() & 0xFFFFFF : 0;
    for (size_t i = 20000; i < frame.size(); i += 20011) std::copy_n(frame.begin() + 100, 300, frame.begin() + long(i));
    cases.push_back({640, 480, frame});
    cases.push_back({1, 1, {0x123456}});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        EXPECT_EQ(Decode(EncodePng(c.pixels.data(), c.width, c.height), c.width, c.height), c.pixels);
    }
}

TEST(Png, GameFramesStaySmall) {
    // Mostly black, like every screen of the game: the README's screenshots rely on this.
    std::vector<uint32_t> frame(800 * 600, 0);
    for (size_t i = 0; i < frame.size(); i += 997) frame[i] = 0xFFC080;
    EXPECT_LT(EncodePng(frame.data(), 800, 600).size(), 800u * 600 * 3 / 50);
}

} // namespace
