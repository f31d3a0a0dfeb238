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
// Bilinear spans run eight pixels at a time with AVX2 where the processor has it, with the same results.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "platform/sprites.h"
#include "platform/sprites_internal.h"
#include "platform/video.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
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

const uint32_t* Texels(SpritePicture& picture) {
    if (picture.texelsBuilt && picture.texelVersion == picture.version) return picture.texels.data();
    const size_t stride = size_t(picture.width) + 2;
    picture.texels.assign(stride * size_t(picture.height + 2), 0);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const uint32_t colour = picture.pixels[size_t(y) * size_t(picture.width) + size_t(x)];
            if (colour != picture.keyColour)
                picture.texels[size_t(y + 1) * stride + size_t(x + 1)] = (colour & COLOUR_BYTES) | 0xFF000000u;
        }
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
enum BlendMode { BLEND_ADD_FULL, BLEND_ADD, BLEND_GENERAL };

struct Setup {
    const uint32_t* texels;
    int stride;
    int32_t bandX, bandY;      // texel coordinates must lie in [-1, band) (16.16), else the pixel is transparent
    uint32_t stepX, stepY;     // 16.16 texel steps per pixel to the right
    uint32_t sourceWeight;     // 0..256
    uint32_t destinationLoss;  // 0..256: how much of the destination a fully covered pixel gives up
};

// Draws one span of count pixels; (tx, ty) is the 16.16 texel coordinate of its first pixel (for
// nearest sampling already moved by half a texel, so that truncation rounds).
template <bool Bilinear, BlendMode Mode>
void FillSpan(const Setup& setup, uint32_t* target, int count, uint32_t tx, uint32_t ty) {
    const uint32_t* const texels = setup.texels;
    const int stride = setup.stride;
    const uint32_t bandX = uint32_t(setup.bandX) + 65536u, bandY = uint32_t(setup.bandY) + 65536u;
    const uint32_t stepX = setup.stepX, stepY = setup.stepY;
    const uint32_t sourceWeight = setup.sourceWeight, destinationLoss = setup.destinationLoss;
    for (; count > 0; --count, ++target, tx += stepX, ty += stepY) {
        // Beyond the border texel everything is transparent.
        if (tx + 65536u >= bandX || ty + 65536u >= bandY) continue;
        const uint32_t* texel = texels + ((int32_t(ty) >> 16) + 1) * stride + ((int32_t(tx) >> 16) + 1);
        uint32_t source;
        if constexpr (Bilinear) {
            const uint32_t a = texel[0], b = texel[1], c = texel[stride], d = texel[stride + 1];
            if ((a | b | c | d) == 0) continue;
            const uint32_t fx = (tx >> 8) & 0xFF, fy = (ty >> 8) & 0xFF;
            const uint32_t wd = (fx * fy) >> 8, wb = fx - wd, wc = fy - wd, wa = 256 - fx - fy + wd;
            const uint32_t redBlue = (a & LOW_BYTES) * wa + (b & LOW_BYTES) * wb + (c & LOW_BYTES) * wc + (d & LOW_BYTES) * wd;
            const uint32_t greenCover = ((a >> 8) & LOW_BYTES) * wa + ((b >> 8) & LOW_BYTES) * wb +
                                        ((c >> 8) & LOW_BYTES) * wc + ((d >> 8) & LOW_BYTES) * wd;
            source = ((redBlue >> 8) & LOW_BYTES) | (greenCover & ~LOW_BYTES);
        } else {
            source = *texel;
            if (source == 0) continue;
        }
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

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same for eight pixels at a time with AVX2, which the bilinear play frame needs to keep within its
// time; it gives exactly the results of FillSpan<true, Mode>. Pixels past the end of the span are
// masked off; pixels outside the band sample the all-zero border texel with weight 1.
#define VD_AVX2_SPANS 1
__attribute__((target("avx2"))) __m256i Scale8(__m256i colour, __m256i weight) {
    const __m256i low = _mm256_set1_epi32(int(LOW_BYTES));
    const __m256i redBlue = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_and_si256(colour, low), weight), 8);
    const __m256i greenCover = _mm256_andnot_si256(low, _mm256_mullo_epi16(_mm256_srli_epi16(colour, 8), weight));
    return _mm256_or_si256(redBlue, greenCover);
}

// (left, right) texel pairs of pixels 0..3 and 4..7 into the left and the right texels of pixels 0..7.
__attribute__((target("avx2"))) void SplitPairs(__m256i first, __m256i second, __m256i& left, __m256i& right) {
    const __m256 p = _mm256_castsi256_ps(first), q = _mm256_castsi256_ps(second);
    left = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(p, q, 0x88)), 0xD8);
    right = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(p, q, 0xDD)), 0xD8);
}

template <BlendMode Mode>
__attribute__((target("avx2"))) void FillSpan8(const Setup& setup, uint32_t* target, int count, uint32_t tx, uint32_t ty) {
    const auto* const top = reinterpret_cast<const long long*>(setup.texels);
    const auto* const bottom = reinterpret_cast<const long long*>(setup.texels + setup.stride);
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i x = _mm256_add_epi32(_mm256_set1_epi32(int(tx)), _mm256_mullo_epi32(lane, _mm256_set1_epi32(int(setup.stepX))));
    __m256i y = _mm256_add_epi32(_mm256_set1_epi32(int(ty)), _mm256_mullo_epi32(lane, _mm256_set1_epi32(int(setup.stepY))));
    const __m256i stepX = _mm256_set1_epi32(int(setup.stepX * 8)), stepY = _mm256_set1_epi32(int(setup.stepY * 8));
    const __m256i below = _mm256_set1_epi32(-65537);
    const __m256i bandX = _mm256_set1_epi32(setup.bandX), bandY = _mm256_set1_epi32(setup.bandY);
    const __m256i stride = _mm256_set1_epi32(setup.stride), one = _mm256_set1_epi32(1);
    const __m256i fraction = _mm256_set1_epi32(0xFF), full = _mm256_set1_epi32(256);
    const __m256i low = _mm256_set1_epi32(int(LOW_BYTES)), colourBytes = _mm256_set1_epi32(int(COLOUR_BYTES));
    const __m256i both = _mm256_set1_epi32(0x10001);  // a weight copied into both 16-bit halves
    const __m256i sourceWeight = _mm256_set1_epi32(int(setup.sourceWeight * 0x10001));
    const __m256i destinationLoss = _mm256_set1_epi32(int(setup.destinationLoss));
    for (; count > 0; count -= 8, target += 8, x = _mm256_add_epi32(x, stepX), y = _mm256_add_epi32(y, stepY)) {
        const __m256i valid = _mm256_and_si256(
            _mm256_and_si256(_mm256_cmpgt_epi32(x, below), _mm256_cmpgt_epi32(bandX, x)),
            _mm256_and_si256(_mm256_cmpgt_epi32(y, below), _mm256_cmpgt_epi32(bandY, y)));
        const __m256i tail = _mm256_cmpgt_epi32(_mm256_set1_epi32(count), lane);
        if (_mm256_testz_si256(valid, tail)) continue;
        const __m256i index = _mm256_and_si256(valid, _mm256_add_epi32(
            _mm256_mullo_epi32(_mm256_add_epi32(_mm256_srai_epi32(y, 16), one), stride),
            _mm256_add_epi32(_mm256_srai_epi32(x, 16), one)));
        // Each texel with its right-hand neighbour in one 64-bit gather: half the gathered elements.
        __m256i a, b, c, d;
        SplitPairs(_mm256_i32gather_epi64(top, _mm256_castsi256_si128(index), 4),
                   _mm256_i32gather_epi64(top, _mm256_extracti128_si256(index, 1), 4), a, b);
        SplitPairs(_mm256_i32gather_epi64(bottom, _mm256_castsi256_si128(index), 4),
                   _mm256_i32gather_epi64(bottom, _mm256_extracti128_si256(index, 1), 4), c, d);
        if (_mm256_testz_si256(_mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d)), tail)) continue;
        const __m256i fx = _mm256_and_si256(valid, _mm256_and_si256(_mm256_srli_epi32(x, 8), fraction));
        const __m256i fy = _mm256_and_si256(valid, _mm256_and_si256(_mm256_srli_epi32(y, 8), fraction));
        const __m256i wd = _mm256_srli_epi32(_mm256_mullo_epi16(fx, fy), 8);
        const __m256i wb = _mm256_sub_epi32(fx, wd), wc = _mm256_sub_epi32(fy, wd);
        const __m256i wa = _mm256_add_epi32(_mm256_sub_epi32(full, _mm256_add_epi32(fx, fy)), wd);
        const __m256i w[4] = {_mm256_or_si256(wa, _mm256_slli_epi32(wa, 16)), _mm256_or_si256(wb, _mm256_slli_epi32(wb, 16)),
                              _mm256_or_si256(wc, _mm256_slli_epi32(wc, 16)), _mm256_or_si256(wd, _mm256_slli_epi32(wd, 16))};
        const __m256i t[4] = {a, b, c, d};
        __m256i redBlue = _mm256_setzero_si256(), greenCover = _mm256_setzero_si256();
        for (int k = 0; k < 4; ++k) {
            redBlue = _mm256_add_epi16(redBlue, _mm256_mullo_epi16(_mm256_and_si256(t[k], low), w[k]));
            greenCover = _mm256_add_epi16(greenCover, _mm256_mullo_epi16(_mm256_srli_epi16(t[k], 8), w[k]));
        }
        const __m256i source = _mm256_or_si256(_mm256_srli_epi16(redBlue, 8), _mm256_andnot_si256(low, greenCover));
        __m256i* const where = reinterpret_cast<__m256i*>(target);
        const __m256i destination = count >= 8 ? _mm256_loadu_si256(where)
                                               : _mm256_maskload_epi32(reinterpret_cast<const int*>(target), tail);
        __m256i result;
        if constexpr (Mode == BLEND_ADD_FULL) {
            result = _mm256_adds_epu8(destination, source);
        } else if constexpr (Mode == BLEND_ADD) {
            result = _mm256_adds_epu8(destination, Scale8(source, sourceWeight));
        } else {
            const __m256i loss = _mm256_srli_epi32(_mm256_mullo_epi32(_mm256_srli_epi32(source, 24), destinationLoss), 8);
            const __m256i keep = _mm256_mullo_epi32(_mm256_sub_epi32(full, loss), both);
            result = _mm256_adds_epu8(Scale8(destination, keep), Scale8(source, sourceWeight));
        }
        result = _mm256_and_si256(result, colourBytes);
        if (count >= 8)
            _mm256_storeu_si256(where, result);
        else
            _mm256_maskstore_epi32(reinterpret_cast<int*>(target), tail, result);
    }
}
#endif

using SpanFunction = void (*)(const Setup&, uint32_t*, int, uint32_t, uint32_t);
constexpr SpanFunction PLAIN_SPANS[2][3] = {
    {FillSpan<false, BLEND_ADD_FULL>, FillSpan<false, BLEND_ADD>, FillSpan<false, BLEND_GENERAL>},
    {FillSpan<true, BLEND_ADD_FULL>, FillSpan<true, BLEND_ADD>, FillSpan<true, BLEND_GENERAL>},
};
#ifdef VD_AVX2_SPANS
constexpr SpanFunction VECTOR_SPANS[3] = {FillSpan8<BLEND_ADD_FULL>, FillSpan8<BLEND_ADD>, FillSpan8<BLEND_GENERAL>};
bool vectorSpans = __builtin_cpu_supports("avx2");
#else
bool vectorSpans = false;
#endif

SpanFunction ChooseSpan(bool bilinear, BlendMode mode) {
#ifdef VD_AVX2_SPANS
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
struct EdgeWalk {
    int64_t a, k, step;          // step: the change of k per row
    int64_t bound, slack;        // floor(k / |a|) and k - |a| x bound, 0 <= slack < |a|
    int64_t boundStep, slackStep;
};

EdgeWalk StartEdge(const Vertex& p, const Vertex& q, int64_t sign, int64_t row) {
    EdgeWalk edge;
    edge.a = -sign * (q.y - p.y) * 256;
    const int64_t b = sign * (q.x - p.x) * 256;
    const int64_t bias = (edge.a > 0 || (edge.a == 0 && b > 0)) ? 0 : 1;
    edge.k = b * row + sign * ((q.y - p.y) * p.x - (q.x - p.x) * p.y) - bias;
    edge.step = b;
    if (edge.a != 0) {
        const int64_t divisor = edge.a > 0 ? edge.a : -edge.a;
        edge.bound = FloorDivide(edge.k, divisor);
        edge.slack = edge.k - divisor * edge.bound;
        edge.boundStep = FloorDivide(b, divisor);
        edge.slackStep = b - divisor * edge.boundStep;
    }
    return edge;
}

// Narrows [left, right] to the edge's inside on the current row, then moves the edge to the next row.
void WalkEdge(EdgeWalk& edge, int64_t& left, int64_t& right) {
    if (edge.a > 0) {
        left = std::max(left, -edge.bound);
    } else if (edge.a < 0) {
        right = std::min(right, edge.bound);
    } else if (edge.k < 0) {
        right = -1;  // a horizontal edge with the row outside
    }
    edge.k += edge.step;
    if (edge.a != 0) {
        const int64_t divisor = edge.a > 0 ? edge.a : -edge.a;
        edge.bound += edge.boundStep;
        edge.slack += edge.slackStep;
        if (edge.slack >= divisor) edge.slack -= divisor, ++edge.bound;
    }
}

struct Triangle {
    EdgeWalk edges[3];
    bool drawn;  // false for a triangle without area
};

Triangle StartTriangle(const Vertex& v0, const Vertex& v1, const Vertex& v2, int64_t row) {
    Triangle triangle;
    const int64_t area = (v1.x - v0.x) * (v2.y - v0.y) - (v1.y - v0.y) * (v2.x - v0.x);
    triangle.drawn = area != 0;
    const int64_t sign = area > 0 ? 1 : -1;
    triangle.edges[0] = StartEdge(v0, v1, sign, row);
    triangle.edges[1] = StartEdge(v1, v2, sign, row);
    triangle.edges[2] = StartEdge(v2, v0, sign, row);
    return triangle;
}

// The triangle's pixels of the current row as [left, right] (empty when left > right); moves to the next row.
void WalkTriangle(Triangle& triangle, int64_t& left, int64_t& right) {
    left = 0, right = triangle.drawn ? SCREEN_WIDTH - 1 : -1;
    for (EdgeWalk& edge : triangle.edges) WalkEdge(edge, left, right);
}

// The quad's two triangles row by row. They share the edge top-right to bottom-left, whose pixels the
// rule gives to exactly one of them, so on every row their spans abut and are filled as one span.
void DrawQuad(const Vertex (&vertex)[4], const Setup& setup, const TexelMap& map, SpanFunction fill) {
    int64_t top = vertex[0].y, bottom = vertex[0].y;
    for (const Vertex& v : vertex) top = std::min(top, v.y), bottom = std::max(bottom, v.y);
    const int64_t firstRow = std::max<int64_t>(0, top / 256);
    const int64_t lastRow = std::min<int64_t>(SCREEN_HEIGHT - 1, bottom / 256 + 1);
    Triangle first = StartTriangle(vertex[0], vertex[1], vertex[2], firstRow);
    Triangle second = StartTriangle(vertex[1], vertex[2], vertex[3], firstRow);
    uint32_t* const back = BackBufferPixels();
    for (int64_t row = firstRow; row <= lastRow; ++row) {
        int64_t left, right, left2, right2;
        WalkTriangle(first, left, right);
        WalkTriangle(second, left2, right2);
        if (left > right) {
            left = left2, right = right2;
        } else if (left2 <= right2) {
            left = std::min(left, left2), right = std::max(right, right2);
        }
        if (left > right) continue;
        const double tx = map.originX + map.perXx * double(left) + map.perYx * double(row);
        const double ty = map.originY + map.perXy * double(left) + map.perYy * double(row);
        fill(setup, back + row * SCREEN_WIDTH + left, int(right - left + 1),
             uint32_t(int32_t(std::clamp(tx * 65536.0, -1073741824.0, 1073741824.0))),
             uint32_t(int32_t(std::clamp(ty * 65536.0, -1073741824.0, 1073741824.0))));
    }
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
#endif
    return enable && vectorSpans;
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
        vertex[i] = {std::llround(cornerX[i] * 256), std::llround(cornerY[i] * 256)};
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
    setup.stride = picture.width + 2;
    setup.bandX = (picture.width + (bilinear ? 0 : 1)) << 16;
    setup.bandY = (picture.height + (bilinear ? 0 : 1)) << 16;
    setup.stepX = uint32_t(int32_t(std::lround(map.perXx * 65536)));
    setup.stepY = uint32_t(int32_t(std::lround(map.perXy * 65536)));
    const BlendMode mode = setup.destinationLoss != 0 ? BLEND_GENERAL
                           : setup.sourceWeight == 256 ? BLEND_ADD_FULL : BLEND_ADD;
    const SpanFunction fill = ChooseSpan(bilinear, mode);
    DrawQuad(vertex, setup, map, fill);
}

void EndTransformedBatch() { batchActive = false; }
