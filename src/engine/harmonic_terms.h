// The harmonic path's per-harmonic term, Round(level * A * 128) limited to
// +-32768, for a block of samples at once: vectorised sin / log / exp with
// known error bounds. Where the bound cannot decide the rounding the term is
// left undecided and the caller evaluates it exactly, so the result is the
// same integer as the library functions give.
#pragma once

#include <cstdint>

namespace kf {

constexpr int kTermBlock = 256;            // samples per block
constexpr int32_t kUndecided = INT32_MIN;  // term left to the exact evaluation

struct TermParams {
    uint8_t code = 0;       // waveform code: Sine, |Sine|, EvenSine, Triangle, Saw, 2xSaw
    double k = 1;           // harmonic number
    double level = 0;       // 1..256
    double f = 1;           // detune factor
    bool unity = true;      // f == 1
    double twoPiK = 0, piK = 0;
    bool unbent = false;    // every w of the block is 1
};

struct TermBlock {
    int n = 0;                      // samples, <= kTermBlock
    const double* phi = nullptr;    // phase 0..2^20-1
    const double* cycles = nullptr; // cycle count
    const double* w = nullptr;      // shape exponent
};

// Codes the vector kernel evaluates; the others always go the exact way.
constexpr bool fastTermCode(uint8_t code) {
    return code == 0 || code == 1 || code == 11 || code == 3 || code == 4 || code == 5;
}

// term[i] for i < b.n; kUndecided where the exact evaluation must decide.
void harmonicTermsFast(const TermParams& p, const TermBlock& b, int32_t* term);

// Name of the instruction set the kernel runs with on this machine.
const char* harmonicTermsTarget();

// Vectorised sin, log and exp over arrays, for tests of their error bounds.
void fastSinArray(const double* x, double* y, int n);
void fastLogArray(const double* x, double* y, int n);
void fastExpArray(const double* x, double* y, int n);

// Error bounds the kernel relies on (relative to the result, plus an
// absolute floor for the sine's argument reduction); the tests check them.
constexpr double kUlp = 2.220446049250313e-16;  // 2^-52
constexpr double kSinRel = 4 * kUlp, kSinAbs = 1e-19;
constexpr double kLogRel = 5 * kUlp;  // against the library log, both erring
constexpr double kExpRel = 2 * kUlp;

}  // namespace kf
