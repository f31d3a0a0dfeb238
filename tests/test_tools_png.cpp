// The PNG writer of tools/png.h read back: the chunk layout and checksums, and the image data inflated by
// zlib, which refuses a stream whose codes, distances or Adler-32 are wrong.
#include <gtest/gtest.h>
#include <zlib.h>

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

uint32_t Crc(const std::string& s, size_t at, size_t length) {
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(s.data() + at), uInt(length)));
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
    EXPECT_EQ(BigEndianAt(png, 29), Crc(png, 12, 17)) << "CRC of IHDR";
    EXPECT_EQ(BigEndianAt(png, idat + 8 + length), Crc(png, idat + 4, 4 + length)) << "CRC of IDAT";
    const std::string z = png.substr(idat + 8, length);
    EXPECT_EQ(z.substr(0, 2), "\x78\x01");
    std::string raw(size_t(height) * (1 + 3 * size_t(width)), '\xFF');
    uLongf size = raw.size();
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &size, reinterpret_cast<const Bytef*>(z.data()), z.size()), Z_OK);
    EXPECT_EQ(size, raw.size());
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
    std::vector<uint32_t> sparse(800 * 600, 0);  // mostly black, like every screen of the game
    for (size_t i = 0; i < sparse.size(); i += 997) sparse[i] = 0xFFC080;
    cases.push_back({800, 600, sparse});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        const std::string png = EncodePng(c.pixels.data(), c.width, c.height);
        EXPECT_EQ(Decode(png, c.width, c.height), c.pixels);
        EXPECT_TRUE(c.width != 800 || png.size() < 800u * 600 * 3 / 50) << png.size();  // the README's screenshots stay small
    }
}

} // namespace

// The Windows icon file: its directory must point at each image with the right size and length, or Windows
// shows a blank icon (or none).
TEST(Png, IconFileDirectoryPointsAtEachImage) {
    std::vector<IconImage> images;
    for (int size : {16, 48, 256}) {
        const std::vector<uint32_t> pixels(size_t(size) * size_t(size), 0x00336699u);
        images.push_back({size, EncodePng(pixels.data(), size, size)});
    }
    const std::string ico = EncodeIco(images);
    auto little = [&ico](size_t at, int bytes) {
        uint32_t v = 0;
        for (int i = bytes - 1; i >= 0; --i) v = v << 8 | uint8_t(ico.at(at + size_t(i)));
        return v;
    };
    ASSERT_GE(ico.size(), 6u + 16 * images.size());
    EXPECT_EQ(little(0, 2), 0u);
    EXPECT_EQ(little(2, 2), 1u) << "type 1: icon";
    EXPECT_EQ(little(4, 2), images.size());
    size_t end = 6 + 16 * images.size();
    for (size_t i = 0; i < images.size(); ++i) {
        const size_t entry = 6 + 16 * i;
        const uint32_t side = images[i].size == 256 ? 0 : uint32_t(images[i].size);
        EXPECT_EQ(little(entry, 1), side);
        EXPECT_EQ(little(entry + 1, 1), side);
        EXPECT_EQ(little(entry + 4, 2), 1u) << "planes";
        const uint32_t length = little(entry + 8, 4), offset = little(entry + 12, 4);
        EXPECT_EQ(offset, end) << "images follow each other";
        ASSERT_LE(size_t(offset) + length, ico.size());
        const std::string png = ico.substr(offset, length);
        EXPECT_EQ(png, images[i].png);
        Decode(png, images[i].size, images[i].size);
        end = offset + length;
    }
    EXPECT_EQ(end, ico.size());
}
