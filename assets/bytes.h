#pragma once
// Little-endian field reads shared by the bitmap and wave decoders; callers check the bounds first.
#include <cstdint>

inline uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t ReadU32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline int32_t ReadS32(const uint8_t* p) { return static_cast<int32_t>(ReadU32(p)); }
