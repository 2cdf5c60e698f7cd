// Little-endian field access for the units' parameter blocks.
#pragma once

#include <cstdint>

#include "engine/byte_io.h"

namespace kf::blockio {

// Signed views of the shared little-endian helpers, as the blocks store them.
inline void put32(uint8_t* p, int32_t v) { putLE32(p, static_cast<uint32_t>(v)); }
inline int32_t get32(const uint8_t* p) { return static_cast<int32_t>(getLE32(p)); }
inline void put16(uint8_t* p, int16_t v) { putLE16(p, static_cast<uint16_t>(v)); }
inline int16_t get16(const uint8_t* p) { return static_cast<int16_t>(getLE16(p)); }
inline void putDouble(uint8_t* p, double v) { putLEDouble(p, v); }
inline double getDouble(const uint8_t* p) { return getLEDouble(p); }

// Modulo that never goes negative, so a step index always lands in the table.
inline int64_t floorMod(int64_t a, int64_t n) {
    const int64_t r = a % n;
    return r < 0 ? r + n : r;
}
inline int64_t floorDiv(int64_t a, int64_t n) {
    const int64_t q = a / n;
    return (a % n != 0 && ((a < 0) != (n < 0))) ? q - 1 : q;
}

}  // namespace kf::blockio
