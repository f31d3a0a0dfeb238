// Each target column takes the source column x * sourceWidth / targetWidth, from a map made once per pair
// of widths; a target row whose source row is the previous row's is a copy of that row. Only the first
// target row of each source row is stretched pixel by pixel, so the cost is about one copy of the target.
#include "platform/stretch.h"

#include <cstddef>
#include <cstring>
#include <vector>
#if defined(__x86_64__) && defined(__GNUC__)
#define VD_STRETCH_X86 1
#endif

namespace {
std::vector<uint32_t> columnMap;       // target column -> source column
std::vector<uint32_t> runStarts;       // source column -> its first target column; one more entry: the width
int mapSourceWidth, mapTargetWidth;

void MakeColumnMap(int sourceWidth, int targetWidth) {
    if (sourceWidth == mapSourceWidth && targetWidth == mapTargetWidth) return;
    columnMap.resize(size_t(targetWidth));
    runStarts.assign(size_t(sourceWidth) + 1, uint32_t(targetWidth));
    for (int x = targetWidth - 1; x >= 0; --x) {
        columnMap[size_t(x)] = uint32_t(int64_t(x) * sourceWidth / targetWidth);
        runStarts[columnMap[size_t(x)]] = uint32_t(x);
    }
    mapSourceWidth = sourceWidth;
    mapTargetWidth = targetWidth;
}

uint32_t Swapped(uint32_t p) { return (p & 0xFF00FF00u) | (p & 0xFFu) << 16 | (p >> 16 & 0xFFu); }

// Enlarging at most 8 times, each source pixel fills its run of target pixels with one 8-pixel store that
// the next run partly overwrites: a load and a store per source pixel instead of one per target pixel.
// The last runs, whose store would pass the row's end, are filled pixel by pixel. The body is compiled
// twice, plainly and (on x86-64) for AVX2, where the 8-pixel store is a single instruction.
inline __attribute__((always_inline)) void StretchRowBody(const uint32_t* source, int sourceWidth, uint32_t* target,
                                                          int width, bool swap) {
    const uint32_t* columns = columnMap.data();
    int x = 0;
    if (width >= sourceWidth && width <= 8 * sourceWidth) {
        for (int s = 0; s < sourceWidth && x + 8 <= width; ++s) {
            const uint32_t p = swap ? Swapped(source[s]) : source[s];
            const uint32_t run[8] = {p, p, p, p, p, p, p, p};
            std::memcpy(target + x, run, sizeof run);
            x = int(runStarts[size_t(s) + 1]);
        }
    }
    for (; x < width; ++x) target[x] = swap ? Swapped(source[columns[x]]) : source[columns[x]];
}

void StretchRowPlain(const uint32_t* source, int sourceWidth, uint32_t* target, int width, bool swap) {
    StretchRowBody(source, sourceWidth, target, width, swap);
}

using RowFunction = void (*)(const uint32_t*, int, uint32_t*, int, bool);
#ifdef VD_STRETCH_X86
__attribute__((target("avx2"))) void StretchRowAvx2(const uint32_t* source, int sourceWidth, uint32_t* target,
                                                    int width, bool swap) {
    StretchRowBody(source, sourceWidth, target, width, swap);
}
// Chosen by asking the processor, which works wherever the program runs (no loader support needed).
RowFunction StretchRow = __builtin_cpu_supports("avx2") ? StretchRowAvx2 : StretchRowPlain;
#else
RowFunction StretchRow = StretchRowPlain;
#endif
}  // namespace

void StretchPixels(const uint32_t* source, int sourceWidth, int sourceHeight, uint32_t* target, int targetWidth,
                   int targetHeight, int targetPitch, bool swapRedBlue) {
    if (sourceWidth <= 0 || sourceHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) return;
    MakeColumnMap(sourceWidth, targetWidth);
    int lastRow = -1;
    for (int y = 0; y < targetHeight; ++y) {
        const int row = int(int64_t(y) * sourceHeight / targetHeight);
        uint32_t* out = target + std::ptrdiff_t(y) * targetPitch;
        if (row == lastRow)
            std::memcpy(out, out - targetPitch, size_t(targetWidth) * sizeof(uint32_t));
        else
            StretchRow(source + std::ptrdiff_t(row) * sourceWidth, sourceWidth, out, targetWidth, swapRedBlue);
        lastRow = row;
    }
}

bool SetVectorStretch(bool enable) {
#ifdef VD_STRETCH_X86
    StretchRow = enable && __builtin_cpu_supports("avx2") ? StretchRowAvx2 : StretchRowPlain;
#else
    (void)enable;  // no vector row to choose here
#endif
    return StretchRow != StretchRowPlain;
}
