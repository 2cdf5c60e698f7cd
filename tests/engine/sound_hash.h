// A fingerprint of a rendered sound: 32-bit FNV-1a over its samples as
// little-endian bytes. Pinned values catch any change of any sample.
#pragma once

#include <cstdint>
#include <vector>

namespace kf::test {

inline uint32_t soundHash(const int16_t* s, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; ++i) {
        const auto u = static_cast<uint16_t>(s[i]);
        for (int b = 0; b < 2; ++b) {
            h ^= static_cast<uint8_t>(u >> (8 * b));
            h *= 16777619u;
        }
    }
    return h;
}

inline uint32_t soundHash(const std::vector<int16_t>& s) { return soundHash(s.data(), s.size()); }

}  // namespace kf::test
