#pragma once
// Shared by the 2D sprite code (sprites.cpp) and the transformed-sprite rasteriser (transformed.cpp).
#include <cstdint>
#include <memory>
#include <vector>

// A sprite's picture. Transformed sprites hold it by shared pointer, so they keep drawing the pixels
// their sprite had when they were made, also after the sprite's id has been released or reused, and
// they see whatever is drawn into those pixels later (tinted sprites are drawn after their twin is made).
struct SpritePicture {
    int width = 0, height = 0;
    uint32_t keyColour = 0;
    std::vector<uint32_t> pixels;   // row after row, 0x00BBGGRR
    uint32_t version = 0;           // bumped by every write to pixels or keyColour

    // The form the rasteriser samples (built in transformed.cpp when version has moved on): a border of
    // one transparent texel on every side; key-colour texels stored as 0 and every other texel with
    // coverage 255 in its top byte, so that a bilinear sum leaves key texels out by itself.
    std::vector<uint32_t> texels;
    std::vector<uint64_t> wideTexels;  // the same with each byte in its own 16-bit lane, for the plain code
    uint32_t texelVersion = 0;
    bool texelsBuilt = false;
    // For the AVX2 and AVX-512 code, when it runs: each texel with the one below it, so that one 16-byte
    // load holds a sample's four texels; built from texels, again when texelVersion has moved on.
    std::vector<uint64_t> columnPairs;
    uint32_t columnPairsVersion = 0;
    bool columnPairsBuilt = false;
    // Where the visible texels lie, as bounds on column, row, column + row and column - row (in that
    // order, each low then high); all empty (low > high) when no texel is visible.
    int visibleBounds[8] = {};
};

struct SpriteRecord {
    std::shared_ptr<SpritePicture> picture;  // null: the id holds nothing
    int clipX = 0, clipY = 0, clipWidth = 0, clipHeight = 0;
    int flags = 0;
};

const SpriteRecord* FindSprite(int id);  // null for an empty id

bool SetVectorSpans(bool enable);  // tests: false draws with the plain code everywhere; true when AVX2 or WebAssembly SIMD is in use
bool SetWideVectorSpans(bool enable);  // tests: false keeps the vector spans to AVX2 where AVX-512 is there too; true when AVX-512 is in use
bool SetRowShortcuts(bool enable);  // tests: false walks every quad as two triangles and fills whole rows; returns the old setting
