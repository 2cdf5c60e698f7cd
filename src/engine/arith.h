// Arithmetic helpers shared by every stage. Rendered sounds are compared
// sample by sample, so each rounding rule lives here exactly once.
#pragma once

#include <cmath>
#include <cstdint>

namespace kf {

// Real -> integer, round half to even (the conversion every stage uses).
inline int64_t roundHalfEven(long double v) {
    return static_cast<int64_t>(std::nearbyintl(v));  // default FE_TONEAREST
}
inline int64_t roundHalfEven(double v) {
    return static_cast<int64_t>(std::nearbyint(v));
}

// Round half to even into 32 bits; values outside the int32 range are
// clamped instead of being undefined behaviour.
inline int32_t roundToInt32(long double v) {
    if (!(v == v)) return 0;  // NaN
    if (v >= 2147483647.0L) return 2147483647;
    if (v <= -2147483648.0L) return -2147483647 - 1;
    return static_cast<int32_t>(std::nearbyintl(v));
}
inline int32_t roundToInt32(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int32_t>(std::nearbyint(v));
}

// Division truncated toward zero (C++ '/' already does this; named so
// call sites read like the formulas).
template <typename T>
constexpr T truncDiv(T a, T b) { return a / b; }

// Arithmetic shift right that floors for negative values.
constexpr int64_t floorShift(int64_t a, int n) {
    return a >= 0 ? (a >> n) : -((-a + ((int64_t{1} << n) - 1)) >> n);
}

// Keep the low 16 bits as a signed sample.
constexpr int16_t wrap16(int64_t v) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(v) & 0xFFFFu));
}

constexpr int32_t kSampleMax = 32767;

constexpr int32_t clampSample(int64_t v) {
    return v > 32767 ? 32767 : (v < -32767 ? -32767 : static_cast<int32_t>(v));
}

constexpr int32_t clampProduct(int64_t v) {
    return v > 1073709056 ? 1073709056 : (v < -1073709056 ? -1073709056 : static_cast<int32_t>(v));
}

// Frac as the engine uses it for interpolation: part after truncation
// toward zero (frac(-3.4) = -0.4).
inline long double fracTrunc(long double v) { return v - std::truncl(v); }
inline double fracTrunc(double v) { return v - std::trunc(v); }

}  // namespace kf
