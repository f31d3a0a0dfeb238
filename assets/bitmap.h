#pragma once
// Decoding of the 8-bit palettised BMP images the game embeds, to RGB pixels through the palette.
// A pure function over bytes: every size and offset is checked against the length before it is read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DecodedBitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // row after row from the top, colours 0x00BBGGRR (red in the low byte)
};

constexpr int BITMAP_MAX_SIDE = 16384; // larger pictures are refused rather than allocated

// Accepts uncompressed 8-bit BMPs with a 40-byte or larger info header, rows bottom-up (positive height)
// or top-down (negative height), each row padded to 4 bytes. Refuses everything else; on failure out is
// left empty and *error (when given) says why.
bool DecodeBitmap(const uint8_t* data, size_t length, DecodedBitmap& out, std::string* error);
