// Little-endian (and a few big-endian) fixed-size fields in byte images: the
// one place every file format and record image gets them from.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kf {

inline void putLE16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void putLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void putLE64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t getLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t getLE32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline uint64_t getLE64(const uint8_t* p) {
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i) u |= uint64_t{p[i]} << (8 * i);
    return u;
}
// Big-endian fields, as in MIDI files.
inline uint16_t getBE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t getBE32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}
inline void putLEDouble(uint8_t* p, double v) { putLE64(p, std::bit_cast<uint64_t>(v)); }
inline double getLEDouble(const uint8_t* p) { return std::bit_cast<double>(getLE64(p)); }

// The same at an index into a growing byte vector.
inline void putLE16(std::vector<uint8_t>& b, size_t at, uint32_t v) { putLE16(b.data() + at, v); }
inline void putLE32(std::vector<uint8_t>& b, size_t at, uint32_t v) { putLE32(b.data() + at, v); }

}  // namespace kf
