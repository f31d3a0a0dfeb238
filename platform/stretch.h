#pragma once
// Nearest-neighbour stretch of a picture into a window's pixels, for presenting without a graphics card.
#include <cstdint>

// Stretches source (sourceWidth x sourceHeight, rows packed) over target (targetWidth x targetHeight, rows
// targetPitch pixels apart); swapRedBlue exchanges bytes 0 and 2 of every pixel on the way.
void StretchPixels(const uint32_t* source, int sourceWidth, int sourceHeight, uint32_t* target, int targetWidth,
                   int targetHeight, int targetPitch, bool swapRedBlue);

// Tests: false stretches with the plain code; true with the processor's vector code where it has some.
// Returns whether the vector code is in use.
bool SetVectorStretch(bool enable);
