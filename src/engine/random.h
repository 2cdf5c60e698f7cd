// The program-wide linear congruential generator. One instance lives in each
// engine; nothing here is global, so several engines can run side by side.
#pragma once

#include <cstdint>

namespace kf {

class Random {
public:
    uint32_t seed = 0;

    void step() { seed = seed * 134775813u + 1u; }

    // Integer draw in 0..n-1: high 32 bits of seed*n after one step.
    uint32_t intDraw(uint32_t n) {
        step();
        return static_cast<uint32_t>((static_cast<uint64_t>(seed) * n) >> 32);
    }
    // Same with a signed range argument (n <= 0 gives 0, as an unsigned
    // product with a zero or wrapped range would in the callers' use).
    int32_t draw(int32_t n) {
        return static_cast<int32_t>(intDraw(static_cast<uint32_t>(n)));
    }
    // Real draw in [0, 1).
    double realDraw() {
        step();
        return static_cast<double>(seed) / 4294967296.0;
    }
};

}  // namespace kf
