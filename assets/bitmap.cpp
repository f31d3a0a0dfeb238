#include "assets/bitmap.h"

#include "assets/bytes.h"

namespace {

bool Refuse(DecodedBitmap& out, std::string* error, const std::string& reason) {
    out = DecodedBitmap{};
    if (error) *error = reason;
    return false;
}

} // namespace

bool DecodeBitmap(const uint8_t* data, size_t length, DecodedBitmap& out, std::string* error) {
    constexpr size_t FILE_HEADER = 14;
    if (!data || length < FILE_HEADER + 40) return Refuse(out, error, "shorter than the BMP headers");
    if (data[0] != 'B' || data[1] != 'M') return Refuse(out, error, "no \"BM\" signature");
    const uint64_t pixelOffset = ReadU32(data + 10);
    const uint64_t infoSize = ReadU32(data + 14);
    if (infoSize < 40) return Refuse(out, error, "info header smaller than 40 bytes");
    const int32_t width = ReadS32(data + 18);
    const int32_t storedHeight = ReadS32(data + 22);
    if (ReadU16(data + 26) != 1) return Refuse(out, error, "planes is not 1");
    if (ReadU16(data + 28) != 8) return Refuse(out, error, "not 8 bits per pixel");
    if (ReadU32(data + 30) != 0) return Refuse(out, error, "compressed");
    if (width <= 0 || width > BITMAP_MAX_SIDE) return Refuse(out, error, "width out of range");
    if (storedHeight == 0 || storedHeight < -BITMAP_MAX_SIDE || storedHeight > BITMAP_MAX_SIDE)
        return Refuse(out, error, "height out of range");
    const uint64_t colours = ReadU32(data + 46) == 0 ? 256 : ReadU32(data + 46);
    if (colours > 256) return Refuse(out, error, "more than 256 palette colours");

    const uint64_t paletteOffset = FILE_HEADER + infoSize;
    if (paletteOffset + 4 * colours > pixelOffset) return Refuse(out, error, "palette overlaps the pixel data");
    const int height = storedHeight < 0 ? -storedHeight : storedHeight;
    const uint64_t stride = (static_cast<uint64_t>(width) + 3) / 4 * 4;
    if (pixelOffset > length || stride * height > length - pixelOffset)
        return Refuse(out, error, "pixel data runs past the end");

    uint32_t palette[256] = {};
    for (uint64_t i = 0; i < colours; i++) {
        const uint8_t* entry = data + paletteOffset + 4 * i; // blue, green, red, reserved
        palette[i] = entry[2] | entry[1] << 8 | entry[0] << 16;
    }
    out.width = width;
    out.height = height;
    out.pixels.assign(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < height; y++) {
        const int storedRow = storedHeight > 0 ? height - 1 - y : y;
        const uint8_t* row = data + pixelOffset + stride * storedRow;
        for (int x = 0; x < width; x++) {
            if (row[x] >= colours) return Refuse(out, error, "pixel uses a colour beyond the palette");
            out.pixels[static_cast<size_t>(y) * width + x] = palette[row[x]];
        }
    }
    if (error) error->clear();
    return true;
}
