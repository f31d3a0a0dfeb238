// Both paths of the stretch (the plain one, and the vector one where the processor has it) against the plain
// definition: target (x, y) shows source (x * sw / tw, y * sh / th), with red and blue exchanged when asked,
// and nothing written past a row's width.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "platform/stretch.h"

TEST(Stretch, EveryPixelIsTheNearestSourcePixel) {
    struct Case { int sw, sh, tw, th; bool swap; };
    const Case cases[] = {
        {800, 600, 800, 600, false}, {800, 600, 1920, 1080, true}, {800, 600, 3840, 2160, true},
        {800, 600, 801, 599, false}, {800, 600, 640, 480, true},   {7, 5, 100, 9, true},    // runs longer than 8
        {8, 3, 63, 3, false},        {800, 600, 1, 1, true},
    };
    for (const bool vector : {false, true}) {
        if (SetVectorStretch(vector) != vector) {
            std::printf("no vector stretch on this processor: only the plain path is checked\n");
            continue;
        }
        for (const Case& c : cases) {
            std::vector<uint32_t> source(size_t(c.sw) * size_t(c.sh));
            for (size_t i = 0; i < source.size(); ++i) source[i] = uint32_t(i * 2654435761u);
            const int pitch = c.tw + 3;                          // the margin beside each row stays untouched
            std::vector<uint32_t> target(size_t(pitch) * size_t(c.th), 0xDEADBEEFu);
            StretchPixels(source.data(), c.sw, c.sh, target.data(), c.tw, c.th, pitch, c.swap);
            int wrong = 0;
            for (int y = 0; y < c.th; ++y)
                for (int x = 0; x < pitch; ++x) {
                    uint32_t want = 0xDEADBEEFu;
                    if (x < c.tw) {
                        want = source[size_t(int64_t(y) * c.sh / c.th) * size_t(c.sw) + size_t(int64_t(x) * c.sw / c.tw)];
                        if (c.swap) want = (want & 0xFF00FF00u) | (want & 0xFFu) << 16 | (want >> 16 & 0xFFu);
                    }
                    wrong += target[size_t(y) * size_t(pitch) + size_t(x)] != want;
                }
            EXPECT_EQ(wrong, 0) << (vector ? "vector" : "plain") << " path, " << c.sw << "x" << c.sh << " to " << c.tw
                                << "x" << c.th;
        }
    }
    SetVectorStretch(true);
}
