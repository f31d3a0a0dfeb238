// Transformed sprites: a sprite drawn as a textured quad of any size and angle, blended into the back
// buffer by our own rasteriser.
//
// Geometry. Pixel centres sit at whole coordinates, so the corner offset of -0.5 puts the edges of an
// unrotated quad half-way between pixel centres and texel centres land on pixel centres: an unrotated
// quad of the sprite's own size reproduces it pixel for pixel with either filter. The quad is drawn as
// the triangles (top-left, top-right, bottom-left) and (top-right, bottom-left, bottom-right). Corners
// are snapped to 1/256 pixel and the edge functions evaluated exactly in integers with a top-left rule
// (a centre on an edge belongs to the triangle lying right of or below that edge), so a centre on the
// shared edge is drawn by exactly one triangle and abutting quads tile without gaps or double pixels.
// On each row the two triangles' spans therefore abut, and are filled as one span.
//
// Sampling. One affine map from screen to texels serves both triangles; it is stepped along each span
// in 16.16 fixed point. Key-colour texels are stored as 0 and all others with coverage 255, so the
// bilinear sum of the four neighbours is a premultiplied colour together with its coverage: a key
// texel adds neither colour nor coverage, and the picture fades out over the last half texel instead
// of darkening towards black. Coverage acts as the covered fraction of the pixel: the blend applies to
// that fraction and the rest of the pixel keeps the destination, i.e. per channel
//     result = C x sourceFactor + D x (1 - coverage x (1 - destinationFactor))
// with C the premultiplied colour. With nearest sampling coverage is 0 or 1 and this is the plain blend.
// Bilinear spans run eight pixels at a time with AVX2 where the processor has it, and four at a time with
// WebAssembly SIMD in a web page, with the same results.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/sprites.h"
#include "platform/sprites_internal.h"
#include "platform/video.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

namespace {
constexpr int MAX_TRANSFORMED_ID = 65535;
constexpr int MAX_TEXTURE_SIDE = 16384;                // keeps 16.16 texel coordinates in range
constexpr double MAX_CORNER = double(1 << 20);          // farther corners are not drawn (exact 64-bit edge sums)
constexpr uint32_t LOW_BYTES = 0x00FF00FFu;           // red and blue, or green and coverage after >> 8
constexpr uint32_t COLOUR_BYTES = 0x00FFFFFFu;

struct TransformedSprite {
    std::shared_ptr<SpritePicture> picture;  // null: the id holds nothing
    int width = 0, height = 0;               // drawn size
    float angle = 0;                         // radians
    float cornerX[4] = {}, cornerY[4] = {};  // top-left, top-right, bottom-left, bottom-right
    bool cornersValid = false;
};

std::vector<TransformedSprite> transformed;
int filterMode = 0;
bool batchActive = false;
int sourceFactor = 5, destinationFactor = 6;

TransformedSprite* Find(int id) {
    if (id < 0 || id >= int(transformed.size()) || !transformed[size_t(id)].picture) return nullptr;
    return &transformed[size_t(id)];
}

// The four bytes of a colour in 16-bit lanes: red, blue, green, coverage from the lowest lane up. The
// sums of four such lanes times weights up to 256 stay within their lanes.
constexpr uint64_t WIDE_LOW_BYTES = 0x00FF00FF00FF00FFull;
uint64_t Widen(uint32_t colour) { return (colour & LOW_BYTES) | (uint64_t(colour & ~LOW_BYTES) << 24); }
uint32_t Narrow(uint64_t wide) { return uint32_t(wide & LOW_BYTES) | uint32_t(wide >> 24 & ~LOW_BYTES); }

const uint32_t* Texels(SpritePicture& picture) {
    if (picture.texelsBuilt && picture.texelVersion == picture.version) return picture.texels.data();
    const size_t stride = size_t(picture.width) + 2;
    picture.texels.assign(stride * size_t(picture.height + 2), 0);
    int bounds[8] = {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN};
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const uint32_t colour = picture.pixels[size_t(y) * size_t(picture.width) + size_t(x)];
            if (colour == picture.keyColour) continue;
            picture.texels[size_t(y + 1) * stride + size_t(x + 1)] = (colour & COLOUR_BYTES) | 0xFF000000u;
            const int value[4] = {x, y, x + y, x - y};
            for (int k = 0; k < 4; ++k)
                bounds[2 * k] = std::min(bounds[2 * k], value[k]), bounds[2 * k + 1] = std::max(bounds[2 * k + 1], value[k]);
        }
    std::copy(bounds, bounds + 8, picture.visibleBounds);
    picture.wideTexels.resize(picture.texels.size());
    std::transform(picture.texels.begin(), picture.texels.end(), picture.wideTexels.begin(), Widen);
    picture.texelVersion = picture.version;
    picture.texelsBuilt = true;
    return picture.texels.data();
}

// Every byte times weight / 256 (weight 0..256), rounded down.
uint32_t Scale(uint32_t colour, uint32_t weight) {
    return ((((colour & LOW_BYTES) * weight) >> 8) & LOW_BYTES) | ((((colour >> 8) & LOW_BYTES) * weight) & ~LOW_BYTES);
}

// The three colour bytes added, each capped at 255.
uint32_t AddSaturated(uint32_t a, uint32_t b) {
    uint32_t redBlue = (a & LOW_BYTES) + (b & LOW_BYTES), green = (a & 0xFF00u) + (b & 0xFF00u);
    redBlue |= (redBlue & 0x01000100u) - ((redBlue >> 8) & 0x00010001u);
    green |= (green & 0x10000u) - ((green >> 8) & 0x100u);
    return (redBlue & LOW_BYTES) | (green & 0xFF00u);
}

// How the source mixes with the destination, for one draw.
// BLEND_OVER is the general blend where the source weighs 256 and a fully covered pixel gives up all of
// its destination, the usual translucency, where two of the scalings by 256 can go.
enum BlendMode { BLEND_ADD_FULL, BLEND_ADD, BLEND_GENERAL, BLEND_OVER };

struct Setup {
    const uint32_t* texels;
    const uint64_t* wideTexels;
    const uint64_t* columnPairs;  // null unless the spans take them
    int stride;
    int32_t bandX, bandY;      // texel coordinates must lie in [-1, band) (16.16), else the pixel is transparent
    uint32_t stepX, stepY;     // 16.16 texel steps per pixel to the right
    uint32_t sourceWeight;     // 0..256
    uint32_t destinationLoss;  // 0..256: how much of the destination a fully covered pixel gives up
};

// One row's pixels of a quad: count pixels from target on; (tx, ty) is the 16.16 texel coordinate of
// the first (for nearest sampling already moved by half a texel, so that truncation rounds).
struct Span {
    uint32_t* target;
    int count;
    uint32_t tx, ty;
};

// Nearest sampling, one pixel at a time.
template <BlendMode Mode>
void FillSpanNearest(const Setup& setup, const Span& span) {
    const uint32_t* const texels = setup.texels;
    const int stride = setup.stride;
    const uint32_t bandX = uint32_t(setup.bandX) + 65536u, bandY = uint32_t(setup.bandY) + 65536u;
    const uint32_t stepX = setup.stepX, stepY = setup.stepY;
    const uint32_t sourceWeight = setup.sourceWeight, destinationLoss = setup.destinationLoss;
    uint32_t* target = span.target;
    uint32_t tx = span.tx, ty = span.ty;
    for (int count = span.count; count > 0; --count, ++target, tx += stepX, ty += stepY) {
        // Beyond the border texel everything is transparent.
        if (tx + 65536u >= bandX || ty + 65536u >= bandY) continue;
        const uint32_t source = texels[((int32_t(ty) >> 16) + 1) * stride + ((int32_t(tx) >> 16) + 1)];
        if (source == 0) continue;
        if constexpr (Mode == BLEND_ADD_FULL) {
            *target = AddSaturated(*target, source);
        } else if constexpr (Mode == BLEND_ADD) {
            *target = AddSaturated(*target, Scale(source, sourceWeight));
        } else {
            const uint32_t loss = ((source >> 24) * destinationLoss) >> 8;
            *target = AddSaturated(Scale(*target, 256 - loss), Scale(source, sourceWeight));
        }
    }
}

// The colour lanes of a widened sum, each capped at 255 (a lane holds at most 510).
inline uint64_t CapWide(uint64_t sum) {
    const uint64_t over = (sum >> 8) & WIDE_LOW_BYTES;  // bit 8 of each lane, the only one above the byte
    return (sum | ((over << 8) - over)) & WIDE_LOW_BYTES;
}

// Bilinear sampling, one pixel at a time on widened texels: the four texels' lanes times their weights
// (256 in all) summed, then divided by 256 rounding down, so that the source is a premultiplied colour
// with its coverage. Every lane is computed as it would be byte by byte, which the vector code does too.
// texels points at the texel of row 0, column 0.
template <BlendMode Mode>
inline void BlendBilinear(const uint64_t* texels, intptr_t stride, uint64_t sourceWeight, uint64_t destinationLoss,
                          uint32_t* target, uint32_t tx, uint32_t ty) {
    const uint64_t* texel = texels + intptr_t(int32_t(ty) >> 16) * stride + (int32_t(tx) >> 16);
    const uint64_t a = texel[0], b = texel[1], c = texel[stride], d = texel[stride + 1];
    if ((a | b | c | d) == 0) return;
    const uint32_t fx = (tx >> 8) & 0xFF, fy = (ty >> 8) & 0xFF;
    const uint32_t wd = (fx * fy) >> 8, wb = fx - wd, wc = fy - wd, wa = 256 - fx - fy + wd;
    const uint64_t source = ((a * wa + b * wb + c * wc + d * wd) >> 8) & WIDE_LOW_BYTES;
    const uint64_t destination = Widen(*target);
    uint64_t sum;
    if constexpr (Mode == BLEND_ADD_FULL) {
        sum = destination + source;
    } else if constexpr (Mode == BLEND_ADD) {
        sum = destination + ((source * sourceWeight >> 8) & WIDE_LOW_BYTES);
    } else {
        const uint64_t loss = ((source >> 48) * destinationLoss) >> 8;
        sum = ((destination * (256 - loss) >> 8) & WIDE_LOW_BYTES) + ((source * sourceWeight >> 8) & WIDE_LOW_BYTES);
    }
    *target = Narrow(CapWide(sum)) & COLOUR_BYTES;
}

// The pixels of a span; InBand when every pixel samples within the band (two pixels a turn then), else
// each pixel beyond the border texel is transparent.
template <BlendMode Mode, bool InBand>
void FillSpanBilinear(const Setup& setup, const Span& span) {
    // Read once: for all the compiler knows, the pixels written could be the setup.
    const intptr_t stride = setup.stride;
    const uint64_t sourceWeight = Mode == BLEND_OVER ? 256 : setup.sourceWeight;
    const uint64_t destinationLoss = Mode == BLEND_OVER ? 256 : setup.destinationLoss;
    const uint64_t* const texels = setup.wideTexels + stride + 1;
    const uint32_t stepX = setup.stepX, stepY = setup.stepY;
    uint32_t* target = span.target;
    uint32_t* const end = target + span.count;
    uint32_t tx = span.tx, ty = span.ty;
    if constexpr (InBand) {
        for (; end - target >= 2; target += 2, tx += 2 * stepX, ty += 2 * stepY) {
            BlendBilinear<Mode>(texels, stride, sourceWeight, destinationLoss, target, tx, ty);
            BlendBilinear<Mode>(texels, stride, sourceWeight, destinationLoss, target + 1, tx + stepX, ty + stepY);
        }
        if (target != end) BlendBilinear<Mode>(texels, stride, sourceWeight, destinationLoss, target, tx, ty);
    } else {
        const uint32_t bandX = uint32_t(setup.bandX) + 65536u, bandY = uint32_t(setup.bandY) + 65536u;
        for (; target < end; ++target, tx += stepX, ty += stepY)
            if ((tx + 65536u < bandX) & (ty + 65536u < bandY))
                BlendBilinear<Mode>(texels, stride, sourceWeight, destinationLoss, target, tx, ty);
    }
}

// Whether every pixel of the span samples within the band, so that the pixels need no test of their own:
// the coordinates move in a straight line, so the first and last pixel's tell (taken without the 32-bit
// wrap-around, which cannot happen between two values in the band).
bool SpanInBand(const Setup& setup, const Span& span) {
    const int64_t last = span.count - 1;
    const int64_t firstX = int32_t(span.tx), lastX = firstX + last * int32_t(setup.stepX);
    const int64_t firstY = int32_t(span.ty), lastY = firstY + last * int32_t(setup.stepY);
    const auto within = [](int64_t t, int32_t band) { return t >= -65536 && t < band; };
    return within(firstX, setup.bandX) && within(lastX, setup.bandX) && within(firstY, setup.bandY) &&
           within(lastY, setup.bandY);
}

// Draws the spans of one quad (each on its own row).
template <bool Bilinear, BlendMode Mode>
void FillSpans(const Setup& setup, const Span* spans, int spanCount) {
    for (int i = 0; i < spanCount; ++i) {
        if constexpr (Bilinear) {
            if (SpanInBand(setup, spans[i])) FillSpanBilinear<Mode, true>(setup, spans[i]);
            else FillSpanBilinear<Mode, false>(setup, spans[i]);
        } else {
            FillSpanNearest<Mode>(setup, spans[i]);
        }
    }
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same for eight pixels at a time with AVX2, which the bilinear play frame needs to keep within its
// time; it gives exactly the results of FillSpanBilinear. Pixels past the end of a span are masked
// off; pixels outside the band sample four transparent texels.
#define VD_AVX2_SPANS 1
#define VD_AVX2_HELPER inline __attribute__((always_inline, target("avx2")))  // must vanish into the loop

// The texels paired with the ones below them (the last row with transparent ones).
const uint64_t* ColumnPairs(SpritePicture& picture) {
    const uint32_t* const texels = Texels(picture);
    if (picture.columnPairsBuilt && picture.columnPairsVersion == picture.texelVersion) return picture.columnPairs.data();
    const size_t size = picture.texels.size(), stride = size_t(picture.width) + 2;
    picture.columnPairs.resize(size);
    for (size_t i = 0; i < size; ++i)
        picture.columnPairs[i] = texels[i] | uint64_t(i + stride < size ? texels[i + stride] : 0) << 32;
    picture.columnPairsVersion = picture.texelVersion;
    picture.columnPairsBuilt = true;
    return picture.columnPairs.data();
}

// Every byte times its 16-bit half's weight (at most 256) / 256; the same as Scale. The low bytes are
// moved up and taken from the high half of the product, one operation fewer than masking and moving back.
VD_AVX2_HELPER __m256i Scale8(__m256i colour, __m256i weight) {
    const __m256i low = _mm256_set1_epi32(int(LOW_BYTES));
    const __m256i redBlue = _mm256_mulhi_epu16(_mm256_slli_epi16(colour, 8), weight);
    const __m256i greenCover = _mm256_andnot_si256(low, _mm256_mullo_epi16(_mm256_srli_epi16(colour, 8), weight));
    return _mm256_or_si256(redBlue, greenCover);
}

// Byte n of every 32-bit lane copied into both of its 16-bit halves, the way the weights are used.
VD_AVX2_HELPER __m256i SpreadByte(__m256i value, int n) {
    const char b = char(n), z = char(0x80);
    const __m256i order = _mm256_setr_epi8(b, z, b, z, char(b + 4), z, char(b + 4), z, char(b + 8), z, char(b + 8), z,
                                           char(b + 12), z, char(b + 12), z, b, z, b, z, char(b + 4), z, char(b + 4), z,
                                           char(b + 8), z, char(b + 8), z, char(b + 12), z, char(b + 12), z);
    return _mm256_shuffle_epi8(value, order);
}

// Two pixels' samples from the column pairs (see ColumnPairs): one 16-byte load each, at the offsets low
// and high, in the two 128-bit halves. Plain loads, not gathers: the processors we run on gather slowly.
// The high one is loaded into both halves and blended in, which leaves the shuffle unit free for the sort.
VD_AVX2_HELPER __m256i LoadSamples(const uint64_t* pairs, uint64_t low, uint64_t high) {
    return _mm256_blend_epi32(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs + low))),
                              _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs + high))), 0xF0);
}

// The texel offsets of pixels 0..7 (see LoadTexels) in scalar registers, two in each: they leave the
// vector two at a time, the cheapest way.
struct Offsets8 {
    uint64_t at01, at23, at45, at67;
};

VD_AVX2_HELPER Offsets8 ScalarOffsets(__m256i at) {
    const __m128i at0 = _mm256_castsi256_si128(at), at4 = _mm256_extracti128_si256(at, 1);
    return {uint64_t(_mm_cvtsi128_si64(at0)), uint64_t(_mm_extract_epi64(at0, 1)), uint64_t(_mm_cvtsi128_si64(at4)),
            uint64_t(_mm_extract_epi64(at4, 1))};
}

// The four texels of pixels 0..7's samples: top left, top right, bottom left, bottom right.
struct Texels8 {
    __m256i a, b, c, d;
};

// The texels at the given offsets. The offset stride - 1 gives four transparent texels in every picture,
// above and below: the last of a border row or column and the first of the next, which is the left
// border. Each sample is one load from the column pairs (the texel, the one below, the one to the right,
// the one below that); loading pixels k and k + 4 together lets the sort into texels stay within
// 128-bit halves.
VD_AVX2_HELPER Texels8 LoadTexels(const uint64_t* pairs, const Offsets8& at) {
    const __m256i p0 = LoadSamples(pairs, uint32_t(at.at01), uint32_t(at.at45)), p1 = LoadSamples(pairs, at.at01 >> 32, at.at45 >> 32);
    const __m256i p2 = LoadSamples(pairs, uint32_t(at.at23), uint32_t(at.at67)), p3 = LoadSamples(pairs, at.at23 >> 32, at.at67 >> 32);
    // Left column (top, bottom) of pixels k, k + 1 and right column, then the same of k + 2, k + 3.
    const __m256i left01 = _mm256_unpacklo_epi32(p0, p1), right01 = _mm256_unpackhi_epi32(p0, p1);
    const __m256i left23 = _mm256_unpacklo_epi32(p2, p3), right23 = _mm256_unpackhi_epi32(p2, p3);
    return {_mm256_unpacklo_epi64(left01, left23), _mm256_unpacklo_epi64(right01, right23),
            _mm256_unpackhi_epi64(left01, left23), _mm256_unpackhi_epi64(right01, right23)};
}

// What stays the same over a quad's spans, for the group code below.
struct Constants8 {
    __m256i lane, laneX, laneY, stepX, stepY, bandX, bandY, signs, strideAndOne, blank, full, low, coverByte;
    __m256i sourceWeight, destinationLoss;
    const uint64_t* pairs;
};

// The row and column words of the texel coordinates x, y made into offsets in the column pairs. Biased
// coordinates (see FillSpans8) have the words' top bits flipped; coordinates within the band that are
// only moved on by one texel have the words as they are.
template <bool Biased>
VD_AVX2_HELPER __m256i PairOffsets(const Constants8& k, __m256i x, __m256i y) {
    __m256i rowColumn = _mm256_blend_epi16(_mm256_srli_epi32(y, 16), x, 0xAA);
    if constexpr (Biased) rowColumn = _mm256_xor_si256(rowColumn, k.signs);
    return _mm256_madd_epi16(rowColumn, k.strideAndOne);
}

// The offsets of a group within the band whose first pixel has the given number of pixels left in its
// span, itself included: lanes past the end are blank, and with none left the offsets are not used.
VD_AVX2_HELPER Offsets8 GroupOffsets(const Constants8& k, __m256i x, __m256i y, int left) {
    __m256i at = PairOffsets<false>(k, x, y);
    if (left < 8) at = _mm256_blendv_epi8(k.blank, at, _mm256_cmpgt_epi32(_mm256_set1_epi32(left), k.lane));
    return ScalarOffsets(at);
}

// Eight pixels with texel coordinates x, y and the given texels, blended over destination: the pixels
// to store.
template <BlendMode Mode>
VD_AVX2_HELPER __m256i BlendTexels8(const Constants8& k, __m256i x, __m256i y, const Texels8& texels, __m256i destination) {
    const __m256i a = texels.a, b = texels.b, c = texels.c, d = texels.d;
    // Lanes without a visible texel keep their pixel, top byte included, as the plain code does: their
    // source is 0, so the blend gives back the destination. A visible texel's top byte is 255, so the
    // four texels' top bytes or'ed mark the other lanes, whose top byte is cleared. No branch on
    // wholly empty groups.
    const __m256i drawn = _mm256_and_si256(_mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d)), k.coverByte);
    const __m256i fx = SpreadByte(x, 1), fy = SpreadByte(y, 1);
    const __m256i wd = _mm256_srli_epi16(_mm256_mullo_epi16(fx, fy), 8);
    const __m256i wb = _mm256_sub_epi16(fx, wd), wc = _mm256_sub_epi16(fy, wd);
    const __m256i wa = _mm256_add_epi16(_mm256_sub_epi16(k.full, _mm256_add_epi16(fx, fy)), wd);
    const __m256i t[4] = {a, b, c, d}, w[4] = {wa, wb, wc, wd};
    __m256i redBlue = _mm256_setzero_si256(), greenCover = _mm256_setzero_si256();
    for (int i = 0; i < 4; ++i) {
        redBlue = _mm256_add_epi16(redBlue, _mm256_mullo_epi16(_mm256_and_si256(t[i], k.low), w[i]));
        greenCover = _mm256_add_epi16(greenCover, _mm256_mullo_epi16(_mm256_srli_epi16(t[i], 8), w[i]));
    }
    const __m256i source = _mm256_or_si256(_mm256_srli_epi16(redBlue, 8), _mm256_andnot_si256(k.low, greenCover));
    __m256i result;
    if constexpr (Mode == BLEND_ADD_FULL) {
        result = _mm256_adds_epu8(destination, source);
    } else if constexpr (Mode == BLEND_ADD) {
        result = _mm256_adds_epu8(destination, Scale8(source, k.sourceWeight));
    } else {
        if constexpr (Mode == BLEND_OVER) {
            result = _mm256_adds_epu8(Scale8(destination, _mm256_sub_epi16(k.full, SpreadByte(source, 3))), source);
        } else {
            const __m256i loss = _mm256_srli_epi16(_mm256_mullo_epi16(SpreadByte(source, 3), k.destinationLoss), 8);
            result = _mm256_adds_epu8(Scale8(destination, _mm256_sub_epi16(k.full, loss)), Scale8(source, k.sourceWeight));
        }
    }
    return _mm256_andnot_si256(drawn, result);
}

// The same with texel offsets at (blank where nothing is drawn).
template <BlendMode Mode>
VD_AVX2_HELPER __m256i BlendGroup8(const Constants8& k, __m256i x, __m256i y, __m256i at, __m256i destination) {
    return BlendTexels8<Mode>(k, x, y, LoadTexels(k.pairs, ScalarOffsets(at)), destination);
}

// Up to eight pixels from target on, count of them, with the given texels; the lanes past the end are
// left alone.
template <BlendMode Mode>
VD_AVX2_HELPER void BlendPartTexels8(const Constants8& k, uint32_t* target, int count, __m256i x, __m256i y, const Texels8& texels) {
    const __m256i tail = _mm256_cmpgt_epi32(_mm256_set1_epi32(count), k.lane);
    const __m256i destination = _mm256_maskload_epi32(reinterpret_cast<const int*>(target), tail);
    _mm256_maskstore_epi32(reinterpret_cast<int*>(target), tail, BlendTexels8<Mode>(k, x, y, texels, destination));
}

// The same with the texels fetched here, at biased coordinates; valid marks the lanes that sample within
// the band.
template <BlendMode Mode>
VD_AVX2_HELPER void BlendPartGroup8(const Constants8& k, uint32_t* target, int count, __m256i x, __m256i y, __m256i valid) {
    const __m256i tail = _mm256_cmpgt_epi32(_mm256_set1_epi32(count), k.lane);
    const __m256i at = _mm256_blendv_epi8(k.blank, PairOffsets<true>(k, x, y), _mm256_and_si256(valid, tail));
    BlendPartTexels8<Mode>(k, target, count, x, y, LoadTexels(k.pairs, ScalarOffsets(at)));
}

template <BlendMode Mode>
__attribute__((target("avx2"))) void FillSpans8(const Setup& setup, const Span* spans, int spanCount) {
    // In spans that may leave the band, texel coordinates are kept with 1 + 32768 texels added, which
    // leaves the fractions alone. The band test -1 <= t < band is then one signed comparison (it is the
    // unsigned t + 1 < band + 1), and on the band the high half holds the texel's row or column in the
    // bordered picture plus 0x8000: one xor makes them the signed words that a multiply-add turns into
    // row x stride + column. Spans within the band need neither (see below).
    constexpr uint32_t BIAS = 0x80010000u;
    Constants8 k;
    k.lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    k.laneX = _mm256_mullo_epi32(k.lane, _mm256_set1_epi32(int(setup.stepX)));
    k.laneY = _mm256_mullo_epi32(k.lane, _mm256_set1_epi32(int(setup.stepY)));
    k.stepX = _mm256_set1_epi32(int(setup.stepX * 8)), k.stepY = _mm256_set1_epi32(int(setup.stepY * 8));
    k.bandX = _mm256_set1_epi32(int(uint32_t(setup.bandX) + BIAS));
    k.bandY = _mm256_set1_epi32(int(uint32_t(setup.bandY) + BIAS));
    k.signs = _mm256_set1_epi32(int(0x80008000u));
    k.strideAndOne = _mm256_set1_epi32(setup.stride | 0x10000);  // row x stride + column x 1
    k.blank = _mm256_set1_epi32(setup.stride - 1);  // four transparent texels: see LoadTexels
    k.full = _mm256_set1_epi16(256);
    k.low = _mm256_set1_epi32(int(LOW_BYTES)), k.coverByte = _mm256_set1_epi32(int(~COLOUR_BYTES));
    k.sourceWeight = _mm256_set1_epi16(int16_t(setup.sourceWeight));
    k.destinationLoss = _mm256_set1_epi16(int16_t(setup.destinationLoss));
    k.pairs = setup.columnPairs;
    for (const Span* span = spans; span != spans + spanCount; ++span) {
        uint32_t* target = span->target;
        int count = span->count;
        if (SpanInBand(setup, *span)) {
            // No pixel needs the band test, so the coordinates need no bias: moved on by one texel, their
            // whole parts are the row and column in the bordered picture. Whole groups go straight
            // through, the last one is masked.
            __m256i x = _mm256_add_epi32(_mm256_set1_epi32(int32_t(span->tx + 0x10000)), k.laneX);
            __m256i y = _mm256_add_epi32(_mm256_set1_epi32(int32_t(span->ty + 0x10000)), k.laneY);
            if (count >= 8) {
                // In a pipeline: a group's offsets reach the scalar registers two groups ahead of its
                // blend and its texels are loaded one group ahead, so that the moves out of the vector and
                // the loads, the long wait of a group, run while the groups before are blended. Texels
                // are loaded only for whole groups within the span, and for the last one's lanes within it.
                Texels8 texels = LoadTexels(k.pairs, ScalarOffsets(PairOffsets<false>(k, x, y)));
                __m256i nextX = _mm256_add_epi32(x, k.stepX), nextY = _mm256_add_epi32(y, k.stepY);
                Offsets8 next = GroupOffsets(k, nextX, nextY, count - 8);
                for (;;) {
                    __m256i* const where = reinterpret_cast<__m256i*>(target);
                    const __m256i groupX = x, groupY = y;
                    const Texels8 group = texels;
                    count -= 8, target += 8, x = nextX, y = nextY;
                    const bool more = count >= 8;
                    if (more) {
                        texels = LoadTexels(k.pairs, next);
                        nextX = _mm256_add_epi32(nextX, k.stepX), nextY = _mm256_add_epi32(nextY, k.stepY);
                        next = GroupOffsets(k, nextX, nextY, count - 8);
                    }
                    _mm256_storeu_si256(where, BlendTexels8<Mode>(k, groupX, groupY, group, _mm256_loadu_si256(where)));
                    if (!more) break;
                }
                if (count > 0) BlendPartTexels8<Mode>(k, target, count, x, y, LoadTexels(k.pairs, next));
            } else if (count > 0) {
                BlendPartTexels8<Mode>(k, target, count, x, y, LoadTexels(k.pairs, GroupOffsets(k, x, y, count)));
            }
            continue;
        }
        __m256i x = _mm256_add_epi32(_mm256_set1_epi32(int32_t(span->tx + BIAS)), k.laneX);
        __m256i y = _mm256_add_epi32(_mm256_set1_epi32(int32_t(span->ty + BIAS)), k.laneY);
        for (; count > 0; count -= 8, target += 8, x = _mm256_add_epi32(x, k.stepX), y = _mm256_add_epi32(y, k.stepY)) {
            const __m256i valid = _mm256_and_si256(_mm256_cmpgt_epi32(k.bandX, x), _mm256_cmpgt_epi32(k.bandY, y));
            if (count < 8) {
                if (!_mm256_testz_si256(valid, _mm256_cmpgt_epi32(_mm256_set1_epi32(count), k.lane)))
                    BlendPartGroup8<Mode>(k, target, count, x, y, valid);
                break;
            }
            if (_mm256_testz_si256(valid, valid)) continue;
            __m256i* const where = reinterpret_cast<__m256i*>(target);
            const __m256i at = _mm256_blendv_epi8(k.blank, PairOffsets<true>(k, x, y), valid);
            _mm256_storeu_si256(where, BlendGroup8<Mode>(k, x, y, at, _mm256_loadu_si256(where)));
        }
    }
}

// The same sixteen pixels at a time with AVX-512 (F and BW), where the processor has it: mask registers
// take the place of the tail and band vectors and of the masked moves, and each sample's four texels
// come in one load from the column pairs. It gives exactly the results of FillSpans8. (Where GCC's
// plain form of an intrinsic starts from an undefined vector, which it then warns about, the
// zero-masked form with every lane selected stands in; it compiles to the same instruction.)
#define VD_AVX512_SPANS 1
#define VD_AVX512_TARGET "avx2,avx512f,avx512bw"
#define VD_AVX512_HELPER inline __attribute__((always_inline, target(VD_AVX512_TARGET)))

// Every byte times its 16-bit half's weight / 256; the same as Scale.
VD_AVX512_HELPER __m512i Scale16(__m512i colour, __m512i weight) {
    const __m512i low = _mm512_set1_epi32(int(LOW_BYTES)), high = _mm512_set1_epi32(int(~LOW_BYTES));
    const __m512i redBlue = _mm512_srli_epi16(_mm512_mullo_epi16(_mm512_and_si512(colour, low), weight), 8);
    const __m512i greenCover = _mm512_and_si512(high, _mm512_mullo_epi16(_mm512_srli_epi16(colour, 8), weight));
    return _mm512_or_si512(redBlue, greenCover);
}

// Byte n of every 32-bit lane copied into both of its 16-bit halves.
VD_AVX512_HELPER __m512i SpreadByte16(__m512i value, int n) {
    const char b = char(n), z = char(0x80);
    const __m128i order = _mm_setr_epi8(b, z, b, z, char(b + 4), z, char(b + 4), z, char(b + 8), z, char(b + 8), z,
                                        char(b + 12), z, char(b + 12), z);
    return _mm512_shuffle_epi8(value, _mm512_maskz_broadcast_i32x4(0xFFFF, order));
}

// The four texels of pixels 0..15's samples (top left, top right, bottom left, bottom right), each
// pixel's one 16-byte load from the column pairs at its offset: the texel, the one below, the one to
// the right and the one below that. The offsets come back from memory as plain 32-bit loads, cheaper
// than moving them out of the vector. Each 128-bit quarter j of loaded[k] holds pixel 4j + k; a 4 x 4
// transpose within quarters sorts the texels.
VD_AVX512_HELPER void LoadTexels16(const uint64_t* pairs, __m512i at, __m512i (&texels)[4]) {
    uint32_t offsets[16];
    _mm512_storeu_si512(offsets, at);
    const auto block = [pairs, &offsets](int pixel) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs + offsets[pixel])); };
    __m512i loaded[4];
    for (int k = 0; k < 4; ++k) {
        const __m256i low = _mm256_inserti128_si256(_mm256_castsi128_si256(block(k)), block(4 + k), 1);
        const __m256i high = _mm256_inserti128_si256(_mm256_castsi128_si256(block(8 + k)), block(12 + k), 1);
        loaded[k] = _mm512_maskz_inserti64x4(0xFF, _mm512_castsi256_si512(low), high, 1);
    }
    // Left column (top, bottom) and right column of pixels 4j, 4j + 1, then of 4j + 2, 4j + 3.
    const __m512i left01 = _mm512_maskz_unpacklo_epi32(0xFFFF, loaded[0], loaded[1]);
    const __m512i right01 = _mm512_maskz_unpackhi_epi32(0xFFFF, loaded[0], loaded[1]);
    const __m512i left23 = _mm512_maskz_unpacklo_epi32(0xFFFF, loaded[2], loaded[3]);
    const __m512i right23 = _mm512_maskz_unpackhi_epi32(0xFFFF, loaded[2], loaded[3]);
    texels[0] = _mm512_maskz_unpacklo_epi64(0xFF, left01, left23);
    texels[2] = _mm512_maskz_unpackhi_epi64(0xFF, left01, left23);
    texels[1] = _mm512_maskz_unpacklo_epi64(0xFF, right01, right23);
    texels[3] = _mm512_maskz_unpackhi_epi64(0xFF, right01, right23);
}

template <BlendMode Mode>
__attribute__((target(VD_AVX512_TARGET))) void FillSpans16(const Setup& setup, const Span* spans, int spanCount) {
    constexpr uint32_t BIAS = 0x80010000u;  // as in FillSpans8
    const __m512i lane = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i laneX = _mm512_mullo_epi32(lane, _mm512_set1_epi32(int(setup.stepX)));
    const __m512i laneY = _mm512_mullo_epi32(lane, _mm512_set1_epi32(int(setup.stepY)));
    const __m512i stepX = _mm512_set1_epi32(int(setup.stepX * 16)), stepY = _mm512_set1_epi32(int(setup.stepY * 16));
    const __m512i bandX = _mm512_set1_epi32(int(uint32_t(setup.bandX) + BIAS));
    const __m512i bandY = _mm512_set1_epi32(int(uint32_t(setup.bandY) + BIAS));
    const __m512i signs = _mm512_set1_epi32(int(0x80008000u));
    const __m512i strideAndOne = _mm512_set1_epi32(setup.stride | 0x10000);
    const __m512i blank = _mm512_set1_epi32(setup.stride - 1);  // four transparent texels, as in FillSpans8
    const __m512i full = _mm512_set1_epi16(256);
    const __m512i low = _mm512_set1_epi32(int(LOW_BYTES)), high = _mm512_set1_epi32(int(~LOW_BYTES));
    const __m512i colourBytes = _mm512_set1_epi32(int(COLOUR_BYTES));
    const __m512i sourceWeight = _mm512_set1_epi16(int16_t(setup.sourceWeight));
    const __m512i destinationLoss = _mm512_set1_epi16(int16_t(setup.destinationLoss));
    const uint64_t* const pairs = setup.columnPairs;
    for (const Span* span = spans; span != spans + spanCount; ++span) {
        uint32_t* target = span->target;
        __m512i x = _mm512_add_epi32(_mm512_set1_epi32(int32_t(span->tx + BIAS)), laneX);
        __m512i y = _mm512_add_epi32(_mm512_set1_epi32(int32_t(span->ty + BIAS)), laneY);
        const bool inBand = SpanInBand(setup, *span);  // then no pixel needs the band test
        for (int count = span->count; count > 0;
             count -= 16, target += 16, x = _mm512_add_epi32(x, stepX), y = _mm512_add_epi32(y, stepY)) {
            const __mmask16 tail = count >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << count) - 1);
            const __m512i rowColumn = _mm512_xor_si512(_mm512_mask_blend_epi16(0xAAAAAAAAu, _mm512_maskz_srli_epi32(0xFFFF, y, 16), x), signs);
            __m512i at = _mm512_madd_epi16(rowColumn, strideAndOne);
            if (!inBand) {
                const __mmask16 valid = _mm512_mask_cmpgt_epi32_mask(_mm512_cmpgt_epi32_mask(bandX, x), bandY, y);
                if ((valid & tail) == 0) continue;
                at = _mm512_mask_blend_epi32(valid, blank, at);
            } else if (count < 16) {
                at = _mm512_mask_blend_epi32(tail, blank, at);  // lanes past the span's end may leave the band
            }
            __m512i texels[4];
            LoadTexels16(pairs, at, texels);
            const __m512i a = texels[0], b = texels[1], c = texels[2], d = texels[3];
            const __m512i any = _mm512_or_si512(_mm512_or_si512(a, b), _mm512_or_si512(c, d));
            const __mmask16 drawn = _mm512_mask_test_epi32_mask(tail, any, any);  // the rest keep their pixels
            const __m512i fx = SpreadByte16(x, 1), fy = SpreadByte16(y, 1);
            const __m512i wd = _mm512_srli_epi16(_mm512_mullo_epi16(fx, fy), 8);
            const __m512i wb = _mm512_sub_epi16(fx, wd), wc = _mm512_sub_epi16(fy, wd);
            const __m512i wa = _mm512_add_epi16(_mm512_sub_epi16(full, _mm512_add_epi16(fx, fy)), wd);
            const __m512i t[4] = {a, b, c, d}, w[4] = {wa, wb, wc, wd};
            __m512i redBlue = _mm512_setzero_si512(), greenCover = _mm512_setzero_si512();
            for (int k = 0; k < 4; ++k) {
                redBlue = _mm512_add_epi16(redBlue, _mm512_mullo_epi16(_mm512_and_si512(t[k], low), w[k]));
                greenCover = _mm512_add_epi16(greenCover, _mm512_mullo_epi16(_mm512_srli_epi16(t[k], 8), w[k]));
            }
            const __m512i source = _mm512_or_si512(_mm512_srli_epi16(redBlue, 8), _mm512_and_si512(high, greenCover));
            const __m512i destination = count >= 16 ? _mm512_loadu_si512(target) : _mm512_maskz_loadu_epi32(tail, target);
            __m512i result;
            if constexpr (Mode == BLEND_ADD_FULL) {
                result = _mm512_adds_epu8(destination, source);
            } else if constexpr (Mode == BLEND_ADD) {
                result = _mm512_adds_epu8(destination, Scale16(source, sourceWeight));
            } else {
                if constexpr (Mode == BLEND_OVER) {
                    result = _mm512_adds_epu8(Scale16(destination, _mm512_sub_epi16(full, SpreadByte16(source, 3))), source);
                } else {
                    const __m512i loss = _mm512_srli_epi16(_mm512_mullo_epi16(SpreadByte16(source, 3), destinationLoss), 8);
                    result = _mm512_adds_epu8(Scale16(destination, _mm512_sub_epi16(full, loss)), Scale16(source, sourceWeight));
                }
            }
            result = _mm512_and_si512(result, colourBytes);
            _mm512_mask_storeu_epi32(target, drawn, result);
        }
    }
}
#endif

#if defined(__wasm_simd128__)
// The same four pixels at a time with WebAssembly SIMD, the AVX2 code's method on 128-bit vectors: a
// module built with it only runs where the browser has SIMD, so there is nothing to choose at run time.
// Shaped for the code V8 makes of it: a vector constant is built afresh at every use (three to five
// instructions, a byte shuffle's pattern too), while a value it cannot see as constant stays in a
// register. So the loops' constants go through Opaque, bytes are spread by word shuffles and shifts,
// and the spans that lie within the band run a loop of whole groups with few live values.
#define VD_WASM_SPANS 1

// v itself, but no longer a constant to the compiler: kept in a register instead of rebuilt at each use.
inline v128_t Opaque(v128_t v) {
    __asm__("" : "+r"(v));
    return v;
}

struct Constants4 {
    v128_t low, full, coverageByte, sourceWeight, destinationLoss;
};

// The fraction of each lane's 16.16 coordinate (its byte 1) in both 16-bit halves of the lane.
inline v128_t Fraction4(v128_t coordinate) {
    return wasm_u16x8_shr(wasm_i16x8_shuffle(coordinate, coordinate, 0, 0, 2, 2, 4, 4, 6, 6), 8);
}

// The texels at the offsets in at of pixels 0..3 and their right-hand neighbours: one 64-bit load each.
inline void LoadTexels4(const uint32_t* base, v128_t at, v128_t& left, v128_t& right) {
    const v128_t p = wasm_v128_load64_lane(base + wasm_u32x4_extract_lane(at, 1),
                                           wasm_v128_load64_zero(base + wasm_u32x4_extract_lane(at, 0)), 1);
    const v128_t q = wasm_v128_load64_lane(base + wasm_u32x4_extract_lane(at, 3),
                                           wasm_v128_load64_zero(base + wasm_u32x4_extract_lane(at, 2)), 1);
    left = wasm_i32x4_shuffle(p, q, 0, 2, 4, 6);
    right = wasm_i32x4_shuffle(p, q, 1, 3, 5, 7);
}

// The four pixels' texels or'ed: 0 in a lane whose texels are all transparent, else with top byte 255
// (a texel that is not has coverage 255). Its top bits tell whether any pixel is drawn (a lane mask is
// cheaper in V8 than a test of the whole vector).
inline v128_t Visible4(v128_t a, v128_t b, v128_t c, v128_t d) {
    return wasm_v128_or(wasm_v128_or(a, b), wasm_v128_or(c, d));
}

inline bool Transparent4(v128_t visible) { return wasm_i32x4_bitmask(visible) == 0; }

// The bilinear source of four pixels whose texels a, b, c, d were loaded; x holds the column fractions
// in byte 1 of each lane, y the row fractions. Returned as two vectors of 16-bit lanes: red and blue,
// green and coverage.
struct Source4 {
    v128_t redBlue, greenCover;
};

inline Source4 Bilinear4(v128_t a, v128_t b, v128_t c, v128_t d, v128_t x, v128_t y, const Constants4& k) {
    const v128_t fx = Fraction4(x), fy = Fraction4(y);
    const v128_t wd = wasm_u16x8_shr(wasm_i16x8_mul(fx, fy), 8);
    const v128_t wb = wasm_i16x8_sub(fx, wd), wc = wasm_i16x8_sub(fy, wd);
    const v128_t wa = wasm_i16x8_add(wasm_i16x8_sub(k.full, wasm_i16x8_add(fx, fy)), wd);
    const v128_t t[4] = {a, b, c, d}, w[4] = {wa, wb, wc, wd};
    v128_t redBlue = wasm_i16x8_mul(wasm_v128_and(a, k.low), wa), greenCover = wasm_i16x8_mul(wasm_u16x8_shr(a, 8), wa);
    for (int i = 1; i < 4; ++i) {
        redBlue = wasm_i16x8_add(redBlue, wasm_i16x8_mul(wasm_v128_and(t[i], k.low), w[i]));
        greenCover = wasm_i16x8_add(greenCover, wasm_i16x8_mul(wasm_u16x8_shr(t[i], 8), w[i]));
    }
    return {wasm_u16x8_shr(redBlue, 8), wasm_u16x8_shr(greenCover, 8)};
}

// Lanes of a source times weight / 256 (weight 0..256) as a colour; the same as Scale.
inline v128_t Scale4(const Source4& source, v128_t weight, v128_t low) {
    return wasm_v128_or(wasm_u16x8_shr(wasm_i16x8_mul(source.redBlue, weight), 8),
                        wasm_v128_andnot(wasm_i16x8_mul(source.greenCover, weight), low));
}

// The pixels blended; visible from Visible4. A pixel without a visible texel gets its destination back
// from the blend, and keeps its top byte too, as in the plain code; the others have it cleared.
template <BlendMode Mode>
inline v128_t Blend4(v128_t destination, const Source4& source, v128_t visible, const Constants4& k) {
    v128_t result;
    const auto colour = [&source] { return wasm_v128_or(source.redBlue, wasm_i16x8_shl(source.greenCover, 8)); };
    if constexpr (Mode == BLEND_ADD_FULL) {
        result = wasm_u8x16_add_sat(destination, colour());
    } else if constexpr (Mode == BLEND_ADD) {
        result = wasm_u8x16_add_sat(destination, Scale4(source, k.sourceWeight, k.low));
    } else {
        const v128_t coverage = wasm_i16x8_shuffle(source.greenCover, source.greenCover, 1, 1, 3, 3, 5, 5, 7, 7);
        const Source4 kept = {wasm_v128_and(destination, k.low), wasm_u16x8_shr(destination, 8)};
        if constexpr (Mode == BLEND_OVER) {
            result = wasm_u8x16_add_sat(Scale4(kept, wasm_i16x8_sub(k.full, coverage), k.low), colour());
        } else {
            const v128_t loss = wasm_u16x8_shr(wasm_i16x8_mul(coverage, k.destinationLoss), 8);
            result = wasm_u8x16_add_sat(Scale4(kept, wasm_i16x8_sub(k.full, loss), k.low),
                                        Scale4(source, k.sourceWeight, k.low));
        }
    }
    return wasm_v128_andnot(result, wasm_v128_and(visible, k.coverageByte));  // one pandn in V8
}

// The first count (1..3) pixels at target, the rest zero; and writing them back.
inline v128_t LoadPartial4(const uint32_t* target, int count) {
    v128_t pixels = wasm_v128_load32_zero(target);
    if (count > 1) pixels = wasm_v128_load32_lane(target + 1, pixels, 1);
    if (count > 2) pixels = wasm_v128_load32_lane(target + 2, pixels, 2);
    return pixels;
}

inline void StorePartial4(uint32_t* target, v128_t pixels, int count) {
    wasm_v128_store32_lane(target, pixels, 0);
    if (count > 1) wasm_v128_store32_lane(target + 1, pixels, 1);
    if (count > 2) wasm_v128_store32_lane(target + 2, pixels, 2);
}

template <BlendMode Mode>
void FillSpans4(const Setup& setup, const Span* spans, int spanCount) {
    constexpr uint32_t BIAS = 0x80010000u;  // as in FillSpans8
    const v128_t lane = wasm_i32x4_make(0, 1, 2, 3);
    const v128_t laneX = wasm_i32x4_mul(lane, wasm_i32x4_splat(int32_t(setup.stepX)));
    const v128_t laneY = wasm_i32x4_mul(lane, wasm_i32x4_splat(int32_t(setup.stepY)));
    const v128_t stepX = wasm_i32x4_splat(int32_t(setup.stepX * 4)), stepY = wasm_i32x4_splat(int32_t(setup.stepY * 4));
    const v128_t stride = wasm_i32x4_splat(setup.stride);
    const v128_t blank = wasm_i32x4_splat(-2);  // from the first texel: four transparent texels, as in FillSpans8
    const Constants4 k = {Opaque(wasm_i32x4_splat(int32_t(LOW_BYTES))), Opaque(wasm_i16x8_splat(256)),
                          Opaque(wasm_i32x4_splat(int32_t(~COLOUR_BYTES))), wasm_i16x8_splat(int16_t(setup.sourceWeight)),
                          wasm_i16x8_splat(int16_t(setup.destinationLoss))};
    const uint32_t* const top = setup.texels + setup.stride + 1;  // the texel at row 0, column 0
    const uint32_t* const bottom = top + setup.stride;
    // The pixels at target whose lanes sample at the offsets in at and the coordinates x, y: all four,
    // or the first count (1..3) of them.
    const auto group = [&](uint32_t* target, v128_t at, v128_t x, v128_t y, int count) {
        v128_t a, b, c, d;
        LoadTexels4(top, at, a, b);
        LoadTexels4(bottom, at, c, d);
        const v128_t visible = Visible4(a, b, c, d);
        if (Transparent4(visible)) return;
        const Source4 source = Bilinear4(a, b, c, d, x, y, k);
        if (count >= 4)
            wasm_v128_store(target, Blend4<Mode>(wasm_v128_load(target), source, visible, k));
        else
            StorePartial4(target, Blend4<Mode>(LoadPartial4(target, count), source, visible, k), count);
    };
    for (const Span* span = spans; span != spans + spanCount; ++span) {
        uint32_t* target = span->target;
        int count = span->count;
        if (SpanInBand(setup, *span)) {
            // Every pixel samples within the band: whole groups first, then the last one to three pixels.
            v128_t x = wasm_i32x4_add(wasm_i32x4_splat(int32_t(span->tx)), laneX);
            v128_t y = wasm_i32x4_add(wasm_i32x4_splat(int32_t(span->ty)), laneY);
            for (; count >= 4; count -= 4, target += 4, x = wasm_i32x4_add(x, stepX), y = wasm_i32x4_add(y, stepY))
                group(target, wasm_i32x4_add(wasm_i32x4_mul(wasm_i32x4_shr(y, 16), stride), wasm_i32x4_shr(x, 16)), x, y, 4);
            if (count == 0) continue;
            // In a span of four pixels or more, its last four as a whole group, with the lanes of the pixels
            // already drawn pointed at the transparent texels, so that the blend gives them back as they
            // are. In a shorter one, the lanes past its end point there (they may leave the band).
            v128_t skip;
            if (span->count >= 4) {
                const int drawn = 4 - count;
                target -= drawn, count = 4;
                x = wasm_i32x4_sub(x, wasm_i32x4_splat(int32_t(uint32_t(drawn) * setup.stepX)));
                y = wasm_i32x4_sub(y, wasm_i32x4_splat(int32_t(uint32_t(drawn) * setup.stepY)));
                skip = wasm_i32x4_gt(wasm_i32x4_splat(drawn), lane);
            } else {
                skip = wasm_i32x4_le(wasm_i32x4_splat(count), lane);
            }
            const v128_t at = wasm_i32x4_add(wasm_i32x4_mul(wasm_i32x4_shr(y, 16), stride), wasm_i32x4_shr(x, 16));
            group(target, wasm_v128_bitselect(blank, at, skip), x, y, count);
            continue;
        }
        // Texel coordinates biased as in FillSpans8, so that the band test is one signed comparison;
        // pixels outside the band read the transparent texels.
        const v128_t bandX = wasm_i32x4_splat(int32_t(uint32_t(setup.bandX) + BIAS));
        const v128_t bandY = wasm_i32x4_splat(int32_t(uint32_t(setup.bandY) + BIAS));
        const v128_t unbias = wasm_i32x4_splat(int32_t(BIAS));
        v128_t x = wasm_i32x4_add(wasm_i32x4_splat(int32_t(span->tx + BIAS)), laneX);
        v128_t y = wasm_i32x4_add(wasm_i32x4_splat(int32_t(span->ty + BIAS)), laneY);
        for (; count > 0; count -= 4, target += 4, x = wasm_i32x4_add(x, stepX), y = wasm_i32x4_add(y, stepY)) {
            const v128_t tail = wasm_i32x4_gt(wasm_i32x4_splat(count), lane);
            const v128_t valid = wasm_v128_and(tail, wasm_v128_and(wasm_i32x4_gt(bandX, x), wasm_i32x4_gt(bandY, y)));
            if (wasm_i32x4_bitmask(valid) == 0) continue;
            const v128_t row = wasm_i32x4_shr(wasm_i32x4_sub(y, unbias), 16);
            const v128_t column = wasm_i32x4_shr(wasm_i32x4_sub(x, unbias), 16);
            group(target, wasm_v128_bitselect(wasm_i32x4_add(wasm_i32x4_mul(row, stride), column), blank, valid), x, y, count);
        }
    }
}
#endif

using SpanFunction = void (*)(const Setup&, const Span*, int);
constexpr SpanFunction PLAIN_SPANS[2][4] = {
    {FillSpans<false, BLEND_ADD_FULL>, FillSpans<false, BLEND_ADD>, FillSpans<false, BLEND_GENERAL>, FillSpans<false, BLEND_OVER>},
    {FillSpans<true, BLEND_ADD_FULL>, FillSpans<true, BLEND_ADD>, FillSpans<true, BLEND_GENERAL>, FillSpans<true, BLEND_OVER>},
};
#ifdef VD_AVX2_SPANS
constexpr SpanFunction VECTOR_SPANS[4] = {FillSpans8<BLEND_ADD_FULL>, FillSpans8<BLEND_ADD>, FillSpans8<BLEND_GENERAL>,
                                          FillSpans8<BLEND_OVER>};
bool vectorSpans = __builtin_cpu_supports("avx2");
constexpr SpanFunction WIDE_SPANS[4] = {FillSpans16<BLEND_ADD_FULL>, FillSpans16<BLEND_ADD>, FillSpans16<BLEND_GENERAL>,
                                        FillSpans16<BLEND_OVER>};
bool WideSpansSupported() { return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"); }
bool wideSpans = WideSpansSupported();  // AVX-512 instead of AVX2, when vector spans are on
#elif defined(VD_WASM_SPANS)
constexpr SpanFunction VECTOR_SPANS[4] = {FillSpans4<BLEND_ADD_FULL>, FillSpans4<BLEND_ADD>, FillSpans4<BLEND_GENERAL>,
                                          FillSpans4<BLEND_OVER>};
bool vectorSpans = true;
#else
bool vectorSpans = false;
#endif

SpanFunction ChooseSpans(bool bilinear, BlendMode mode) {
#if defined(VD_AVX2_SPANS) || defined(VD_WASM_SPANS)
#ifdef VD_AVX512_SPANS
    if (bilinear && vectorSpans && wideSpans) return WIDE_SPANS[mode];
#endif
    if (bilinear && vectorSpans) return VECTOR_SPANS[mode];
#endif
    return PLAIN_SPANS[bilinear ? 1 : 0][mode];
}

// Screen to texel coordinates: t = origin + perX x column + perY x row.
struct TexelMap {
    double originX, perXx, perYx;
    double originY, perXy, perYy;
};

struct Vertex {
    int64_t x, y;  // 1/256 pixel
};

// Floor division for a positive divisor.
int64_t FloorDivide(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return quotient - (value % divisor < 0 ? 1 : 0);
}

// One edge of a triangle walked down the rows. Its exact integer edge function
// E(column, row) = a x column + b x row + c is positive inside; a pixel centre with E >= bias is inside
// (bias 0 on a top or left edge, where a centre on the edge belongs to this triangle, else 1).
// With k = b x row + c - bias, the row's pixels lie at columns >= -floor(k / a) for a > 0 and
// <= floor(k / -a) for a < 0; that floor is stepped from row to row in integers, Bresenham fashion.
// A horizontal edge (a = 0) instead keeps the rows with k >= 0, a range of rows fixed at the start.
struct EdgeWalk {
    int64_t bound;   // floor(k / divisor)
    int64_t excess;  // k - divisor x (bound + 1), in [-divisor, 0): reaching 0 carries into bound
    int64_t boundStep, excessStep, divisor;
};

void StepEdge(EdgeWalk& edge) {
    edge.excess += edge.excessStep;
    // Without a branch: the carry follows the slope's fraction, which a predictor cannot learn.
    const int64_t carry = edge.excess >= 0 ? 1 : 0;
    edge.bound += edge.boundStep + carry;
    edge.excess -= edge.divisor & -carry;
}

// Edges sorted by the side they bound, so that a row's span takes no decisions: a convex region of
// the plane cut by at most N edges on either side. A missing edge stands still at the screen's side,
// where it narrows nothing.
template <int N>
struct EdgeSet {
    EdgeWalk lefts[N], rights[N];  // columns >= -bound, columns <= bound
    int64_t firstRow, lastRow;     // the rows the horizontal edges (if any) keep
    int leftCount, rightCount;

    void Start(int64_t row, int64_t last) {
        for (EdgeWalk& edge : lefts) edge = {0, -1, 0, 0, 1};
        for (EdgeWalk& edge : rights) edge = {SCREEN_WIDTH - 1, -1, 0, 0, 1};
        firstRow = row, lastRow = last;
        leftCount = rightCount = 0;
    }
    // The edge p -> q of a triangle whose area has the given sign (the rows walked start at row);
    // false when a side has no room left for it.
    bool Add(const Vertex& p, const Vertex& q, int64_t sign, int64_t row) {
        const int64_t a = -sign * (q.y - p.y) * 256, b = sign * (q.x - p.x) * 256;
        const int64_t bias = (a > 0 || (a == 0 && b > 0)) ? 0 : 1;
        const int64_t k = b * row + sign * ((q.y - p.y) * p.x - (q.x - p.x) * p.y) - bias;
        if (a == 0) {  // b x (r - row) + k >= 0; b != 0 for an edge of a triangle with area
            if (b > 0) firstRow = std::max(firstRow, row - FloorDivide(k, b));
            else lastRow = std::min(lastRow, row + FloorDivide(k, -b));
            return true;
        }
        int& count = a > 0 ? leftCount : rightCount;
        if (count == N) return false;
        EdgeWalk& edge = a > 0 ? lefts[count++] : rights[count++];
        edge.divisor = a > 0 ? a : -a;
        edge.bound = FloorDivide(k, edge.divisor);
        edge.excess = k - edge.divisor * edge.bound - edge.divisor;
        edge.boundStep = FloorDivide(b, edge.divisor);
        edge.excessStep = b - edge.divisor * edge.boundStep;
        return true;
    }
    // The region's pixels of the row as [left, right] (empty when left > right); moves to the next row.
    inline void Walk(int64_t row, int64_t& left, int64_t& right) {
        left = 0, right = SCREEN_WIDTH - 1;
        for (EdgeWalk& edge : lefts) left = std::max(left, -edge.bound), StepEdge(edge);
        for (EdgeWalk& edge : rights) right = std::min(right, edge.bound), StepEdge(edge);
        if (row < firstRow || row > lastRow) right = -1;
    }
};

int64_t Cross(const Vertex& origin, const Vertex& p, const Vertex& q) {
    return (p.x - origin.x) * (q.y - origin.y) - (p.y - origin.y) * (q.x - origin.x);
}

// The triangle v0, v1, v2 as edges, starting at row; false when it has no area.
bool StartTriangle(EdgeSet<2>& triangle, const Vertex& v0, const Vertex& v1, const Vertex& v2, int64_t row, int64_t lastRow) {
    triangle.Start(row, lastRow);
    const int64_t area = Cross(v0, v1, v2);
    if (area == 0) return false;
    const int64_t sign = area > 0 ? 1 : -1;
    triangle.Add(v0, v1, sign, row), triangle.Add(v1, v2, sign, row), triangle.Add(v2, v0, sign, row);
    return true;
}

// The quad as its two triangles (top-left, top-right, bottom-left) and (top-right, bottom-left,
// bottom-right). They share the edge top-right to bottom-left, whose pixels the rule gives to exactly
// one of them, so on every row their spans abut and are filled as one span.
struct TwoTriangles {
    EdgeSet<2> first, second;
    bool firstHasArea, secondHasArea;

    void Start(const Vertex (&v)[4], int64_t row, int64_t lastRow) {
        firstHasArea = StartTriangle(first, v[0], v[1], v[2], row, lastRow);
        secondHasArea = StartTriangle(second, v[1], v[2], v[3], row, lastRow);
    }
    inline void Walk(int64_t row, int64_t& left, int64_t& right) {
        int64_t left2, right2;
        first.Walk(row, left, right);
        second.Walk(row, left2, right2);
        if (!firstHasArea) right = -1;
        if (!secondHasArea) right2 = -1;
        if (left > right) {
            left = left2, right = right2;
        } else if (left2 <= right2) {
            left = std::min(left, left2), right = std::max(right, right2);
        }
    }
};

// When the quad is strictly convex, the union of its triangles is the part of the plane inside all four
// outer edges, each with the rule its triangle gives it: the shared edge's two sides split the plane
// without overlap, and each triangle lies strictly inside the other one's outer edges, but for the
// shared edge's ends, which are left to the triangles when a pixel centre falls on one. Then a row
// needs four edges instead of six and no merge.
template <int N>
bool StartConvexQuad(EdgeSet<N>& quad, const Vertex (&v)[4], int64_t row, int64_t lastRow) {
    const int64_t first = Cross(v[0], v[1], v[2]), second = Cross(v[1], v[2], v[3]);
    const int64_t side1 = Cross(v[0], v[3], v[1]), side2 = Cross(v[0], v[3], v[2]);
    if (first == 0 || second == 0 || (first > 0) == (second > 0) || side1 == 0 || side2 == 0 ||
        (side1 > 0) == (side2 > 0))
        return false;
    for (int i : {1, 2})
        if (((v[i].x | v[i].y) & 255) == 0) return false;
    const int64_t sign1 = first > 0 ? 1 : -1, sign2 = -sign1;
    quad.Start(row, lastRow);
    return quad.Add(v[0], v[1], sign1, row) && quad.Add(v[2], v[0], sign1, row) &&
           quad.Add(v[2], v[3], sign2, row) && quad.Add(v[3], v[1], sign2, row);
}

// Where on each row a quad's pixels may sample a visible texel: at columns >= every left bound and
// <= every right bound, each linear in the row (bound = at + perRow x row), in rows firstRow..lastRow.
// The right bounds are kept negated (at[4 + k] = -right at), so that all eight are lower bounds on a
// column or on its negation; negation is exact, so the sums are the negated sums.
// Pixels elsewhere would sample only transparent texels and leave the target as it is, so they are
// neither fetched nor blended.
struct VisibleRows {
    bool clip = false;  // false: every pixel of the quad is filled
    double at[8], perRow[8];  // left bounds 0..3, negated right bounds 4..7
    int64_t firstRow = INT64_MIN, lastRow = INT64_MAX;
};

bool rowShortcuts = true;  // false (tests): whole rows, and every quad walked as two triangles

// The smallest whole number >= value, and the largest <= value, for |value| < 2^62.
int64_t Ceiling(double value) {
    const int64_t whole = int64_t(value);
    return whole + (double(whole) < value ? 1 : 0);
}
int64_t Floor(double value) {
    const int64_t whole = int64_t(value);
    return whole - (double(whole) > value ? 1 : 0);
}

// A texel (column c, row r) can reach a pixel whose sample (u, v) lies in [c - 1, c + 1) x [r - 1, r + 1):
// bilinear sampling takes the texels floor(u), floor(u) + 1, nearest sampling the texel floor(u). The
// picture's visible bounds on u, v, u + v and u - v, widened by that reach, make an octagon that holds
// every such sample, and its image on the screen bounds each row. A sample is stepped along its row in
// 16.16 fixed point, so it can drift from the exact map by at most (1 + 800 / 2) / 65536 texel, which
// SLACK covers.
VisibleRows FindVisibleRows(const SpritePicture& picture, const TexelMap& map) {
    VisibleRows rows;
    // Pixels inside the quad sample within the picture and a few texels around it: far from where the
    // 16.16 coordinates are clamped or wrap, so that the exact map tells where they sample.
    const double largestStep = std::max({std::fabs(map.perXx), std::fabs(map.perYx), std::fabs(map.perXy), std::fabs(map.perYy)});
    const double determinant = map.perXx * map.perYy - map.perYx * map.perXy;
    if (!rowShortcuts || picture.width > 8192 || picture.height > 8192 || !(largestStep < 1024) || determinant == 0)
        return rows;
    rows.clip = true;
    const int* bounds = picture.visibleBounds;
    if (bounds[0] > bounds[1]) {  // nothing visible
        rows.firstRow = 1, rows.lastRow = 0;
        return rows;
    }
    constexpr double SLACK = 1.0 / 64, LARGE = 1e9;
    const double alpha[4] = {1, 0, 1, 1}, beta[4] = {0, 1, 1, -1}, reach[4] = {1, 1, 2, 2};
    double low[4], high[4];
    for (int k = 0; k < 4; ++k) {
        low[k] = bounds[2 * k] - reach[k] * (1 + SLACK), high[k] = bounds[2 * k + 1] + reach[k] * (1 + SLACK);
        // The constrained value alpha u + beta v at (x, row) is perX x + at + perRow x row.
        const double perX = alpha[k] * map.perXx + beta[k] * map.perXy;
        const double perRow = alpha[k] * map.perYx + beta[k] * map.perYy;
        const double at = alpha[k] * map.originX + beta[k] * map.originY;
        rows.at[k] = rows.at[4 + k] = -LARGE, rows.perRow[k] = rows.perRow[4 + k] = 0;
        if (std::fabs(perX) < 1e-6) continue;  // about the same along a row: the rows below bound it
        // Multiplying by the reciprocal rounds once more than dividing: far less than SLACK leaves.
        const double inverse = 1 / perX;
        const double lowAt = (low[k] - at) * inverse, highAt = (high[k] - at) * inverse;
        rows.at[k] = perX > 0 ? lowAt : highAt, rows.at[4 + k] = -(perX > 0 ? highAt : lowAt);
        rows.perRow[k] = -perRow * inverse, rows.perRow[4 + k] = -rows.perRow[k];
    }
    // The octagon lies within the rectangle of the u and v bounds and within the diamond of the u + v and
    // u - v bounds: its rows lie within the rows of either's corners.
    const double inverse = 1 / determinant;
    const auto screenRow = [&](double u, double v) {
        return (map.perXx * (v - map.originY) - map.perXy * (u - map.originX)) * inverse;
    };
    const double corners[2][4] = {
        {screenRow(low[0], low[1]), screenRow(low[0], high[1]), screenRow(high[0], low[1]), screenRow(high[0], high[1])},
        {screenRow((low[2] + low[3]) / 2, (low[2] - low[3]) / 2), screenRow((low[2] + high[3]) / 2, (low[2] - high[3]) / 2),
         screenRow((high[2] + low[3]) / 2, (high[2] - low[3]) / 2), screenRow((high[2] + high[3]) / 2, (high[2] - high[3]) / 2)}};
    for (const auto& corner : corners) {
        const double top = std::min({corner[0], corner[1], corner[2], corner[3]});
        const double bottom = std::max({corner[0], corner[1], corner[2], corner[3]});
        rows.firstRow = std::max(rows.firstRow, Ceiling(std::clamp(top - 1e-6, -LARGE, LARGE)));
        rows.lastRow = std::min(rows.lastRow, Floor(std::clamp(bottom + 1e-6, -LARGE, LARGE)));
    }
    return rows;
}

// Two doubles side by side.
typedef double BoundPair __attribute__((vector_size(16)));

// Per lane a > b ? a : b, and a < b ? a : b (b where either is not a number): one instruction on x86,
// where GCC would otherwise blend.
inline BoundPair Larger(BoundPair a, BoundPair b) {
#ifdef VD_AVX2_SPANS
    return _mm_max_pd(a, b);
#elif defined(VD_WASM_SPANS)
    return BoundPair(wasm_f64x2_pmax(v128_t(b), v128_t(a)));  // b < a ? a : b, which V8 makes one maxpd
#else
    return a > b ? a : b;
#endif
}
inline BoundPair Smaller(BoundPair a, BoundPair b) {
#ifdef VD_AVX2_SPANS
    return _mm_min_pd(a, b);
#elif defined(VD_WASM_SPANS)
    return BoundPair(wasm_f64x2_pmin(v128_t(b), v128_t(a)));  // a < b ? a : b
#else
    return a < b ? a : b;
#endif
}
typedef int32_t WholePair __attribute__((vector_size(8)));

// Both lanes truncated to whole numbers; each must lie within int32.
inline WholePair Truncate(BoundPair value) {
#ifdef VD_WASM_SPANS
    // One conversion for the pair (which the compiler would otherwise split into two scalar ones).
    const v128_t whole = Opaque(wasm_i32x4_trunc_sat_f64x2_zero(v128_t(value)));
    return WholePair{wasm_i32x4_extract_lane(whole, 0), wasm_i32x4_extract_lane(whole, 1)};
#else
    return __builtin_convertvector(value, WholePair);
#endif
}

// Both lanes rounded up to whole numbers; each must lie within int32.
inline WholePair RoundUp(BoundPair value) {
#ifdef VD_WASM_SPANS
    return Truncate(BoundPair(wasm_f64x2_ceil(v128_t(value))));
#else
    const WholePair whole = __builtin_convertvector(value, WholePair);
    return whole - __builtin_convertvector(__builtin_convertvector(whole, BoundPair) < value, WholePair);
#endif
}

// The eight bounds of VisibleRows as four pairs, moved on by one row at a time. Each step rounds once:
// over a screen's rows that drifts by less than 1e-6 texel, well within what SLACK leaves.
struct ClipLines {
    BoundPair value[4], step[4];

    void Start(const VisibleRows& rows, int64_t row) {
        const double r = double(row);
        for (int k = 0; k < 4; ++k) {
            step[k] = BoundPair{rows.perRow[2 * k], rows.perRow[2 * k + 1]};
            value[k] = BoundPair{rows.at[2 * k], rows.at[2 * k + 1]} + step[k] * BoundPair{r, r};
        }
    }
    // Narrows this row's span [left, right] to where it may be visible, and moves to the next row.
    inline void Clip(int64_t& left, int64_t& right) {
        const BoundPair lefts = Larger(value[0], value[1]), rights = Larger(value[2], value[3]);
        for (int k = 0; k < 4; ++k) value[k] += step[k];
        // The first column and the negated last one, both rounded up at once (the floor of a value is
        // minus the ceiling of its negation). Clamped to +-1e9, where a bound past either end still
        // empties the row.
        const BoundPair even = {lefts[0], rights[0]}, odd = {lefts[1], rights[1]};
        const BoundPair lowest = {-1e9, -1e9}, highest = {1e9, 1e9};
        const BoundPair ends = Smaller(Larger(Larger(even, odd), lowest), highest);
        const WholePair rounded = RoundUp(ends);
        left = std::max(left, int64_t(rounded[0]));
        right = std::min(right, -int64_t(rounded[1]));
    }
};

template <class Rows>
void FillRows(Rows& quad, int64_t firstRow, int64_t lastRow, const Setup& setup, const TexelMap& map,
              const VisibleRows& visible, SpanFunction fill) {
    uint32_t* const back = BackBufferPixels();
    const BoundPair origin = {map.originX, map.originY}, perX = {map.perXx, map.perXy}, perY = {map.perYx, map.perYy};
    const BoundPair lowest = {-1073741824.0, -1073741824.0}, highest = {1073741824.0, 1073741824.0};  // within int32
    Span spans[SCREEN_HEIGHT];
    int spanCount = 0;
    ClipLines clip{};
    if (visible.clip) clip.Start(visible, firstRow);
    for (int64_t row = firstRow; row <= lastRow; ++row) {
        int64_t left, right;
        quad.Walk(row, left, right);
        const int64_t start = left;
        if (visible.clip) clip.Clip(left, right);
        if (left > right) continue;
        // Each row's first sample comes from the exact map at the row's first pixel in the quad; a row
        // clipped on the left starts where stepping from there would have reached.
        // (x, y) as a pair: the same operations, in the same order, on both.
        BoundPair texel = origin + perX * double(start) + perY * double(row);
        texel *= 65536.0;
        texel = Smaller(highest, Larger(lowest, texel));  // a value that is not a number stays one
        const uint32_t skipped = uint32_t(left - start);
        const WholePair first = Truncate(texel);
        spans[spanCount++] = {back + row * SCREEN_WIDTH + left, int(right - left + 1),
                              uint32_t(first[0]) + skipped * setup.stepX, uint32_t(first[1]) + skipped * setup.stepY};
    }
    fill(setup, spans, spanCount);
}

// A convex quad's four edges walked side by side in the 32-bit lanes of one vector (two left bounds,
// then two right bounds, the left ones negated so that each lane is the column it bounds), when every
// value the walk reaches fits. The steps are StepEdge's.
typedef int32_t EdgeLanes __attribute__((vector_size(16)));

struct QuadLanes {
    EdgeLanes bound, excess, boundStep, excessStep, divisor, carryStep;
    int64_t firstRow, lastRow;

    bool Start(const EdgeSet<2>& quad, int64_t rows) {
        const EdgeWalk* edges[4] = {&quad.lefts[0], &quad.lefts[1], &quad.rights[0], &quad.rights[1]};
        constexpr int64_t LIMIT = int64_t(1) << 30;
        for (int i = 0; i < 4; ++i) {
            const EdgeWalk& edge = *edges[i];
            const int64_t sign = i < 2 ? -1 : 1;
            if (edge.divisor >= LIMIT || std::abs(edge.bound) + rows * (std::abs(edge.boundStep) + 1) >= LIMIT) return false;
            bound[i] = int32_t(sign * edge.bound), boundStep[i] = int32_t(sign * edge.boundStep), carryStep[i] = int32_t(sign);
            excess[i] = int32_t(edge.excess), excessStep[i] = int32_t(edge.excessStep), divisor[i] = int32_t(edge.divisor);
        }
        firstRow = quad.firstRow, lastRow = quad.lastRow;
        return true;
    }
    inline void Walk(int64_t row, int64_t& left, int64_t& right) {
        left = std::max({bound[0], bound[1], 0});
        right = std::min({bound[2], bound[3], SCREEN_WIDTH - 1});
        if (row < firstRow || row > lastRow) right = -1;
        excess += excessStep;
        const EdgeLanes carry = excess >= 0;  // all ones where the fraction carries
        bound += boundStep + (carry & carryStep);
        excess -= divisor & carry;
    }
};

void DrawQuad(const Vertex (&vertex)[4], const Setup& setup, const TexelMap& map, const VisibleRows& visible,
              SpanFunction fill) {
    int64_t top = vertex[0].y, bottom = vertex[0].y;
    for (const Vertex& v : vertex) top = std::min(top, v.y), bottom = std::max(bottom, v.y);
    const int64_t firstRow = std::max<int64_t>({0, top / 256, visible.firstRow});
    const int64_t lastRow = std::min<int64_t>({SCREEN_HEIGHT - 1, bottom / 256 + 1, visible.lastRow});
    if (firstRow > lastRow) return;
    if (EdgeSet<2> quad; rowShortcuts && StartConvexQuad(quad, vertex, firstRow, lastRow)) {
        if (QuadLanes lanes; lanes.Start(quad, lastRow - firstRow + 1)) {
            FillRows(lanes, firstRow, lastRow, setup, map, visible, fill);
        } else {
            FillRows(quad, firstRow, lastRow, setup, map, visible, fill);
        }
    } else if (EdgeSet<3> wider; rowShortcuts && StartConvexQuad(wider, vertex, firstRow, lastRow)) {
        FillRows(wider, firstRow, lastRow, setup, map, visible, fill);
    } else {
        TwoTriangles triangles;
        triangles.Start(vertex, firstRow, lastRow);
        FillRows(triangles, firstRow, lastRow, setup, map, visible, fill);
    }
}

// The nearest whole number, halves away from zero, as std::llround gives it, for |value| < 2^52 (where
// the rest after truncation is exact), without a library call.
int64_t RoundHalfAway(double value) {
    const int64_t whole = int64_t(value);
    const double rest = value - double(whole);
    return whole + (rest >= 0.5 ? 1 : 0) - (rest <= -0.5 ? 1 : 0);
}

// std::lround, without the library call where RoundHalfAway gives the same (also where long has 32 bits).
long RoundStep(double value) {
    return std::fabs(value) < 0x1p30 ? long(RoundHalfAway(value)) : std::lround(value);
}

// A blend factor on the 0..256 scale; alpha is the draw's alpha on the same scale.
uint32_t FactorWeight(int factor, uint32_t alpha) {
    switch (factor) {
        case 2: case 7: return 256;   // one; destination alpha, which reads as full
        case 5: return alpha;
        case 6: return 256 - alpha;
        default: return 0;            // 1 zero, 8 one minus destination alpha
    }
}

void ComputeCorners(TransformedSprite& sprite) {
    const float w = float(sprite.width), h = float(sprite.height);
    const float x[4] = {-0.5f, w - 0.5f, -0.5f, w - 0.5f}, y[4] = {-0.5f, -0.5f, h - 0.5f, h - 0.5f};
    const double c = std::cos(double(sprite.angle)), s = std::sin(double(sprite.angle));
    const double mx = (double(sprite.width) - 1) / 2, my = (double(sprite.height) - 1) / 2;
    for (int i = 0; i < 4; ++i) {
        sprite.cornerX[i] = x[i];
        sprite.cornerY[i] = y[i];
        if (sprite.angle != 0) {
            sprite.cornerX[i] = float(mx + c * (x[i] - mx) - s * (y[i] - my));
            sprite.cornerY[i] = float(my + s * (x[i] - mx) + c * (y[i] - my));
        }
    }
    sprite.cornersValid = true;
}
}  // namespace

bool SetVectorSpans(bool enable) {
#ifdef VD_AVX2_SPANS
    vectorSpans = enable && __builtin_cpu_supports("avx2");
#elif defined(VD_WASM_SPANS)
    vectorSpans = enable;
#endif
    return enable && vectorSpans;
}

bool SetWideVectorSpans(bool enable) {
#ifdef VD_AVX512_SPANS
    wideSpans = enable && WideSpansSupported();
    return wideSpans;
#else
    (void)enable;
    return false;
#endif
}

bool SetRowShortcuts(bool enable) {
    const bool old = rowShortcuts;
    rowShortcuts = enable;
    return old;
}

int InitTransformedSprites() {
    transformed.clear();
    filterMode = 0;
    batchActive = false;
    sourceFactor = 5, destinationFactor = 6;
    return 1;
}

int CreateTransformedSprite(int id, int spriteId) {
    if (id < 0 || id > MAX_TRANSFORMED_ID) return 0;
    ReleaseTransformedSprite(id);
    const SpriteRecord* sprite = FindSprite(spriteId);
    if (!sprite || !(sprite->flags & SPRITE_FLAG_TEXTURE) || sprite->picture->width > MAX_TEXTURE_SIDE ||
        sprite->picture->height > MAX_TEXTURE_SIDE)
        return 0;
    if (id >= int(transformed.size())) transformed.resize(size_t(id) + 1);
    TransformedSprite& made = transformed[size_t(id)];
    made = TransformedSprite{};
    made.picture = sprite->picture;
    made.width = sprite->clipWidth;
    made.height = sprite->clipHeight;
    return 1;
}

void ReleaseTransformedSprite(int id) {
    if (TransformedSprite* sprite = Find(id)) *sprite = TransformedSprite{};
}

void ReleaseAllTransformedSprites() { transformed.clear(); }

void SetTransformedFilter(int mode) { filterMode = mode; }

int BeginTransformedBatch() {
    batchActive = true;
    sourceFactor = 5, destinationFactor = 6;
    return 1;
}

void SetTransformedBlend(int source, int destination) {
    sourceFactor = source;
    destinationFactor = destination;
}

void SetTransformedSize(int id, int width, int height) {
    if (TransformedSprite* sprite = Find(id)) {
        sprite->width = width;
        sprite->height = height;
        sprite->cornersValid = false;
    }
}

void RotateTransformedSprite(int id, float degrees, int relative) {
    TransformedSprite* sprite = Find(id);
    if (!sprite) return;
    const double turn = std::acos(-1.0) * double(degrees) * 2 / 360;
    sprite->angle = float(relative ? double(sprite->angle) + turn : turn);
    sprite->cornersValid = false;
}

void DrawTransformedSprite(int id, int x, int y) { DrawTransformedSpriteAlpha(id, x, y, 255); }

void DrawTransformedSpriteAlpha(int id, int x, int y, int alpha) {
    TransformedSprite* sprite = Find(id);
    if (!batchActive || !sprite) return;
    if (!sprite->cornersValid) ComputeCorners(*sprite);

    const uint32_t alphaWeight = uint32_t(alpha & 0xFF) + (uint32_t(alpha & 0xFF) >> 7);  // 255 -> 256
    Setup setup;
    setup.sourceWeight = FactorWeight(sourceFactor, alphaWeight);
    setup.destinationLoss = 256 - FactorWeight(destinationFactor, alphaWeight);
    if (setup.sourceWeight == 0 && setup.destinationLoss == 0) return;  // the draw cannot change a pixel

    double cornerX[4], cornerY[4];
    Vertex vertex[4];
    double left = MAX_CORNER, right = -MAX_CORNER, top = MAX_CORNER, bottom = -MAX_CORNER;
    for (int i = 0; i < 4; ++i) {
        cornerX[i] = double(sprite->cornerX[i]) + x;
        cornerY[i] = double(sprite->cornerY[i]) + y;
        if (!(std::fabs(cornerX[i]) < MAX_CORNER && std::fabs(cornerY[i]) < MAX_CORNER)) return;
        vertex[i] = {RoundHalfAway(cornerX[i] * 256), RoundHalfAway(cornerY[i] * 256)};
        left = std::min(left, cornerX[i]), right = std::max(right, cornerX[i]);
        top = std::min(top, cornerY[i]), bottom = std::max(bottom, cornerY[i]);
    }
    if (right < -1 || bottom < -1 || left > SCREEN_WIDTH || top > SCREEN_HEIGHT) return;

    // The inverse of the map from (u, v) in 0..1 over the picture to the screen, along the top and
    // left sides of the quad.
    const double e1x = cornerX[1] - cornerX[0], e1y = cornerY[1] - cornerY[0];
    const double e2x = cornerX[2] - cornerX[0], e2y = cornerY[2] - cornerY[0];
    const double determinant = e1x * e2y - e1y * e2x;
    if (determinant == 0) return;
    SpritePicture& picture = *sprite->picture;
    const double w = picture.width / determinant, h = picture.height / determinant;
    const bool bilinear = filterMode != 0;
    const double offset = bilinear ? -0.5 : 0.0;  // texel centres at whole coordinates; nearest rounds
    TexelMap map;
    map.perXx = e2y * w;
    map.perYx = -e2x * w;
    map.originX = (cornerY[0] * e2x - cornerX[0] * e2y) * w + offset;
    map.perXy = -e1y * h;
    map.perYy = e1x * h;
    map.originY = (cornerX[0] * e1y - cornerY[0] * e1x) * h + offset;

    setup.texels = Texels(picture);
    setup.wideTexels = picture.wideTexels.data();
    setup.columnPairs = nullptr;
    setup.stride = picture.width + 2;
    setup.bandX = (picture.width + (bilinear ? 0 : 1)) << 16;
    setup.bandY = (picture.height + (bilinear ? 0 : 1)) << 16;
    setup.stepX = uint32_t(int32_t(RoundStep(map.perXx * 65536)));
    setup.stepY = uint32_t(int32_t(RoundStep(map.perXy * 65536)));
    const bool fullSource = setup.sourceWeight == 256;
    const BlendMode mode = setup.destinationLoss == 256 && fullSource ? BLEND_OVER
                           : setup.destinationLoss != 0               ? BLEND_GENERAL
                           : fullSource                               ? BLEND_ADD_FULL
                                                                      : BLEND_ADD;
    const SpanFunction fill = ChooseSpans(bilinear, mode);
#ifdef VD_AVX2_SPANS
    if (fill == VECTOR_SPANS[mode] || fill == WIDE_SPANS[mode]) setup.columnPairs = ColumnPairs(picture);  // the spans that read them
#endif
    DrawQuad(vertex, setup, map, FindVisibleRows(picture, map), fill);
}

void EndTransformedBatch() { batchActive = false; }
