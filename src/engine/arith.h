// Arithmetic helpers shared by every stage. Rendered sounds are compared
// sample by sample, so each rounding rule lives here exactly once.
#pragma once

#include <cmath>
#include <cstdint>

namespace kf {

// Round half to even to an integral value, as nearbyint does in the default
// rounding mode, without the library call (it dominated render time).
// Adding and removing 2^63 (2^52 for double) leaves no fraction bits, so the
// addition itself rounds to nearest, ties to even. Valid for |v| < 2^62
// (2^51); callers clamp to the int32 range first.
inline long double rintNearest(long double v) {
    constexpr long double kShift = 9223372036854775808.0L;  // 2^63
    return v >= 0 ? (v + kShift) - kShift : (v - kShift) + kShift;
}
inline double rintNearest(double v) {
    constexpr double kShift = 4503599627370496.0;  // 2^52
    return v >= 0 ? (v + kShift) - kShift : (v - kShift) + kShift;
}

// Real -> integer, round half to even (the conversion every stage uses).
inline int64_t roundHalfEven(long double v) {
    if (std::fabs(v) < 4611686018427387904.0L) return static_cast<int64_t>(rintNearest(v));
    return static_cast<int64_t>(std::nearbyintl(v));  // default FE_TONEAREST
}
inline int64_t roundHalfEven(double v) {
    if (std::fabs(v) < 2251799813685248.0) return static_cast<int64_t>(rintNearest(v));
    return static_cast<int64_t>(std::nearbyint(v));
}

// Round half to even into 32 bits; values outside the int32 range are
// clamped instead of being undefined behaviour.
inline int32_t roundToInt32(long double v) {
    if (!(v == v)) return 0;  // NaN
    if (v >= 2147483647.0L) return 2147483647;
    if (v <= -2147483648.0L) return -2147483647 - 1;
    return static_cast<int32_t>(rintNearest(v));
}
inline int32_t roundToInt32(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int32_t>(rintNearest(v));
}

// a / 2^n rounded half to even (n = 1..62): a fixed-point gain's result.
constexpr int64_t roundShiftHalfEven(int64_t a, int n) {
    const int64_t q = a >> n;  // floors: C++20 shifts signed values arithmetically
    const int64_t r = a - q * (int64_t{1} << n);
    const int64_t half = int64_t{1} << (n - 1);
    return (r > half || (r == half && (q & 1))) ? q + 1 : q;
}

// Keep the low 16 bits as a signed sample.
constexpr int16_t wrap16(int64_t v) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(v) & 0xFFFFu));
}

// Keep the low 32 bits as a signed value: the two's-complement wrap of the
// 32-bit integers the sound arithmetic is defined in (no undefined overflow).
constexpr int32_t wrap32(int64_t v) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

// A 32-bit product: the low 32 bits of a * b.
constexpr int32_t mul32(int32_t a, int32_t b) { return wrap32(int64_t{a} * b); }

// The loudest sample a 16-bit sound holds; clipping is symmetric, so -32768
// never comes out of the arithmetic.
constexpr int32_t kSampleMax = 32767;

constexpr int32_t clampSample(int64_t v) {
    return v > kSampleMax ? kSampleMax : (v < -kSampleMax ? -kSampleMax : static_cast<int32_t>(v));
}

constexpr int32_t clampProduct(int64_t v) {
    return v > 1073709056 ? 1073709056 : (v < -1073709056 ? -1073709056 : static_cast<int32_t>(v));
}

// Frac as the engine uses it for interpolation: part after truncation
// toward zero (frac(-3.4) = -0.4).
inline long double fracTrunc(long double v) { return v - std::truncl(v); }
inline double fracTrunc(double v) { return v - std::trunc(v); }

}  // namespace kf
