// The two default sample files, synthesised with integer arithmetic only so
// that every machine produces the same bytes (a test compares them with the
// files shipped in data/).
#pragma once

#include <cstdint>
#include <vector>

namespace kf::tools {

// sin(2 pi phase / 65536) in Q30 from a 7th-order polynomial on a quarter wave.
inline int64_t sineQ30(uint32_t phase) {
    phase &= 0xFFFF;
    const uint32_t quadrant = phase >> 14, frac = phase & 0x3FFF;
    const int64_t x = static_cast<int64_t>((quadrant & 1) ? 16384 - frac : frac) << 16;  // Q30, 0..1
    constexpr int64_t a = 1686629713, b = 693598668, c = 85569306, d = 5026995;  // pi/2, pi^3/48, ...
    const int64_t x2 = (x * x) >> 30;
    const int64_t poly = a - ((x2 * (b - ((x2 * (c - ((x2 * d) >> 30))) >> 30))) >> 30);
    const int64_t s = (x * poly) >> 30;
    return quadrant >= 2 ? -s : s;
}

struct ToneRecipe {
    int32_t period;       // samples per cycle of the fundamental
    int32_t length;       // samples in the file
    int decayShift;       // envelope loses 1/2^decayShift per sample
    bool hollow;          // even harmonics at half strength
};

// Sixteen harmonics (amplitude 1/k) under an exponential decay.
inline std::vector<int16_t> makeTone(const ToneRecipe& r) {
    std::vector<int16_t> out(static_cast<size_t>(r.length));
    int64_t env = int64_t{1} << 30;  // Q30
    for (int32_t i = 0; i < r.length; ++i) {
        int64_t sum = 0;  // Q30 times amplitude
        for (int k = 1; k <= 16; ++k) {
            int64_t amp = 16000 / k;
            if (r.hollow && k % 2 == 0) amp /= 2;
            const uint32_t phase = static_cast<uint32_t>((static_cast<int64_t>(i) * k * 65536 / r.period) & 0xFFFF);
            sum += amp * sineQ30(phase);
        }
        int64_t v = ((sum >> 15) * (env >> 15)) >> 30;
        if (v > 32767) v = 32767;
        if (v < -32767) v = -32767;
        out[static_cast<size_t>(i)] = static_cast<int16_t>(v);
        env -= env >> r.decayShift;
    }
    return out;
}

inline std::vector<int16_t> tone3() { return makeTone({256, 32768, 13, false}); }  // "16tone3.smp"
inline std::vector<int16_t> tone2() { return makeTone({200, 32768, 14, true}); }   // "16tone2.smp"

// Raw signed 16-bit little-endian bytes.
inline std::vector<uint8_t> toBytes(const std::vector<int16_t>& s) {
    std::vector<uint8_t> b(s.size() * 2);
    for (size_t i = 0; i < s.size(); ++i) {
        const uint16_t v = static_cast<uint16_t>(s[i]);
        b[2 * i] = static_cast<uint8_t>(v);
        b[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    return b;
}

}  // namespace kf::tools
