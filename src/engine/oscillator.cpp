#include "engine/oscillator.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "engine/arith.h"

namespace kf {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int64_t kCycle = 1048576;       // one cycle in phase units
constexpr double kInvCycle = 1.0 / 1048576.0;  // 2^-20, exact

constexpr std::array<uint8_t, kWaveListSize> kListToCode{
    kWaveSine, kWaveAbsSine, kWaveEvenSine, kWaveSquare, kWaveTriangle, kWaveSaw,
    kWave2xSaw, kWaveNoise, kWaveLightNoise, kWaveCustom, kWaveSample1, kWaveSample2};
constexpr std::array<const char*, kWaveListSize> kListNames{
    "Sine", "|Sine|", "EvenSine", "Square", "Triangle", "Saw",
    "2xSaw", "Noise", "Light noise", "Custom", "Sample 1", "Sample 2"};

// The oscillator value is a plain 32-bit rounding: the |Sine| and EvenSine
// offsets take a full-level value past -32768 and the calm stage and the
// running sum see it as it is. Only a value no 32-bit integer holds (a
// negative shape exponent blowing up values of A near 0) is held at the
// 16-bit edge instead.
inline int32_t toLevel(double v) {
    if (v >= 2147483647.5) return 32768;
    if (v < -2147483648.5) return -32768;
    return roundToInt32(v);
}

inline double bend(double a, double w) {
    if (a != 0.0 && w != 1.0) a = a * std::exp(w * std::log(std::fabs(a))) / std::fabs(a);
    return a;
}

// Values a waveform keeps between samples of one call.
struct WaveState {
    double t = 0.0;  // held noise value
    double a = 0.0;  // last waveform value
    // Light noise depends on the cycle only; the last cycle's result and the
    // generator state it leaves behind are kept so a cycle is computed once.
    bool lightValid = false;
    int32_t lightCycle = 0;
    double lightValue = 0.0;
    uint32_t lightSeed = 0;
};

inline double sampleValue(const SoundBuffer& s, int32_t j, double x) {
    const int64_t len = s.count;
    int64_t k = roundHalfEven((static_cast<double>(j) + x) / 4410.0 * 44100.0) % len;
    if (k < 0) k += len;
    return -static_cast<double>(s.samples[k]) / 32768.0;
}

// Plain-path waveform value into st.a (left as it was when the waveform
// does not set it).
inline void plainWave(uint8_t code, int64_t phi, int32_t j, int32_t j0, double o, const OscillatorInputs& in,
                      Random& rnd, WaveState& st) {
    const double x = static_cast<double>(phi) * kInvCycle;
    switch (code) {
        case kWaveSine: st.a = std::sin(2.0 * static_cast<double>(phi) * kPi * kInvCycle); break;
        case kWaveAbsSine: st.a = 2.0 * std::fabs(std::sin(kPi * x)) - 1.0; break;
        case kWaveEvenSine:
            st.a = phi < 524288 ? std::sin(2.0 * static_cast<double>(phi) * kPi * kInvCycle) : 0.0;
            break;
        case kWaveSquare: st.a = 2.0 * x < o ? 1.0 : -1.0; break;
        case kWaveTriangle: st.a = std::fabs(2.0 - 4.0 * x) - 1.0; break;
        case kWaveSaw: st.a = 2.0 * x - 1.0; break;
        case kWave2xSaw: st.a = x < 0.5 ? 1.0 - 2.0 * x : 2.0 * x - 2.0; break;
        case kWaveNoise:
            if (j != j0) st.t = 2.0 * rnd.realDraw() - 1.0;
            st.a = st.t;
            break;
        case kWaveLightNoise:
            if (st.lightValid && st.lightCycle == j) {
                rnd.seed = st.lightSeed;
                st.a = st.lightValue;
            } else {
                const uint32_t uj = static_cast<uint32_t>(j);
                rnd.seed = uj;
                rnd.seed = rnd.intDraw(2147483647u);
                rnd.seed = rnd.seed + uj;
                rnd.seed = rnd.intDraw(2147483647u);
                rnd.seed = rnd.intDraw(2147483647u) * 19u;
                st.a = static_cast<double>(rnd.intDraw(65536u)) * (1.0 / 32768.0) - 1.0;
                st.lightValid = true;
                st.lightCycle = j;
                st.lightValue = st.a;
                st.lightSeed = rnd.seed;
            }
            break;
        case kWaveCustom:
            st.a = in.customWave ? -static_cast<double>(in.customWave[roundToInt32(x * 1024.0)]) / 32768.0 : 0.0;
            break;
        case kWaveSample1:
            if (in.sample1.count > 0 && in.sample1.samples) st.a = sampleValue(in.sample1, j, x);
            break;
        case kWaveSample2:
            if (in.sample2.count > 0 && in.sample2.samples) st.a = sampleValue(in.sample2, j, x);
            break;
        default: break;  // unknown code: no value
    }
}

// Sine for the harmonic path's arguments (0 .. 32 pi): Cody-Waite reduction
// and the classic minimax kernels. Its error is below 3e-16, so it is only
// used where that cannot change an integer result (see harmonicTrig).
inline double fastSin(double x) {
    constexpr double kTwoOverPi = 6.36619772367581382433e-01;
    constexpr double kPio2Hi = 1.57079632673412561417e+00;  // 33 bits: n * hi is exact
    constexpr double kPio2Lo = 6.07710050650619224932e-11;
    // Arguments are never negative; any nearest quadrant works for the reduction.
    const double n = static_cast<double>(static_cast<int64_t>(x * kTwoOverPi + 0.5));
    const double r = (x - n * kPio2Hi) - n * kPio2Lo;
    const double z = r * r;
    const int q = static_cast<int>(static_cast<int64_t>(n) & 3);
    if (q & 1) {
        const double c =
            1.0 - 0.5 * z +
            z * z *
                (4.16666666666666019037e-02 +
                 z * (-1.38888888888741095749e-03 +
                      z * (2.48015872894767294178e-05 +
                           z * (-2.75573143513906633035e-07 +
                                z * (2.08757232129817482790e-09 + z * -1.13596475577881948265e-11)))));
        return q == 1 ? c : -c;
    }
    const double sn =
        r + r * z *
                (-1.66666666666666324348e-01 +
                 z * (8.33333333332248946124e-03 +
                      z * (-1.98412698298579493134e-04 +
                           z * (2.75573137070700676789e-06 +
                                z * (-2.50507602534068634195e-08 + z * 1.58969099521155010221e-10)))));
    return q == 0 ? sn : -sn;
}

// True when v lies so near a rounding boundary (n + 0.5) that a sine a few
// ulps off could round it differently.
inline bool nearHalf(double v) {
    const double a = std::fabs(v);  // |v| is n + 0.5 exactly when v is
    return std::fabs(a - static_cast<double>(static_cast<int64_t>(a)) - 0.5) < 1e-9;
}

// Sine-based harmonic value before shaping (Sine, |Sine|, EvenSine).
inline double harmonicTrig(uint8_t code, double sineArg, double absArg, double xk, bool exact) {
    switch (code) {
        case kWaveSine: return exact ? std::sin(sineArg) : fastSin(sineArg);
        case kWaveAbsSine: return 2.0 * std::fabs(exact ? std::sin(absArg) : fastSin(absArg)) - 1.0;
        default:  // EvenSine: positive half of harmonic k, as in plain mode
            return xk < 0.5 ? (exact ? std::sin(sineArg) : fastSin(sineArg)) : 0.0;
    }
}

struct HarmonicTerm {
    int k;
    double level;
    double f;       // detune factor
    bool unity;     // f == 1: the detuned phase is the phase itself
    double twoPiK;  // 2*pi*k, the leading factors of the sine argument
    double piK;
};

// Codes the harmonic sum is defined for; noise and samples render as in
// plain mode.
inline bool harmonicCode(uint8_t code) {
    return code <= kWave2xSaw || code == kWaveCustom || code == kWaveEvenSine || code > kWaveEvenSine;
}

}  // namespace

uint8_t waveListToCode(int listPos) {
    return listPos >= 0 && listPos < kWaveListSize ? kListToCode[static_cast<size_t>(listPos)] : uint8_t{kWaveSine};
}

int waveCodeToList(uint8_t code) {
    for (int i = 0; i < kWaveListSize; ++i)
        if (kListToCode[static_cast<size_t>(i)] == code) return i;
    return -1;
}

const char* waveListName(int listPos) {
    return listPos >= 0 && listPos < kWaveListSize ? kListNames[static_cast<size_t>(listPos)] : nullptr;
}

void renderOscillator(SoundBuffer target, int32_t bankLevel, OscillatorRecord& osc, const OscillatorInputs& in,
                      uint8_t calm) {
    const int32_t n = target.count;
    // Without a rate there is no phase step; render nothing rather than divide by zero.
    if (n <= 0 || target.samples == nullptr || in.sampleRate <= 0) return;

    Random localRandom;  // only when the caller gives no shared generator
    Random& rnd = in.random ? *in.random : localRandom;

    const uint8_t code = osc.waveForm;
    const uint8_t flags = osc.flags;
    const bool sync = flags & kFlagSync;
    const bool ringMod = flags & kFlagRingMod;
    const bool phaseMod = flags & kFlagPhaseMod;
    const bool fmFlag = flags & kFlagFM;
    const bool invert = flags & kFlagInvert;
    const bool calmOn = calm != 0;
    const bool addToSum = !phaseMod && !fmFlag;

    const int16_t* vm = in.volumeMod.samples;
    const int16_t* fm = in.frequencyMod.samples;
    const int16_t* sm = in.shapeMod.samples;

    const int64_t P = int64_t{osc.phase} * 4096;
    int64_t phi = int64_t{osc.phaseAccumulator()} + P;
    int32_t j = osc.cycleCount();
    const double rf = static_cast<double>(osc.relativeFrequency);
    double v = static_cast<double>(osc.frequency) * rf * 0.001;
    const int64_t U0 = int64_t{osc.volume} * bankLevel / 256;
    int64_t u = U0 / 8;
    const double m = static_cast<double>(osc.shape) * (1.0 / 1024.0);
    double o = m > 1.999 ? 1.999 : m;
    double w = o / (2.0 - o);
    int32_t calmLevel = osc.calmLevel();
    int32_t calmInput = osc.calmInput();
    int32_t r = 0;
    WaveState st;

    const double rate = static_cast<double>(in.sampleRate);
    const bool varStep = fm != nullptr || fmFlag;
    const int32_t constStep = roundToInt32(v * 1048576.0 / rate);

    const bool harmonic = osc.harmonicsActive != 0 && harmonicCode(code);
    std::array<HarmonicTerm, 16> terms;
    int termCount = 0;
    if (harmonic) {
        for (int k = 1; k <= 16; ++k) {
            const Harmonic& h = osc.harmonics[static_cast<size_t>(k - 1)];
            if (h.level == 0) continue;
            const double f = 1.0 + static_cast<double>(h.detune) * (1.0 / 4096.0) * 1.1224618484;
            terms[static_cast<size_t>(termCount++)] =
                HarmonicTerm{k, static_cast<double>(h.level), f, f == 1.0, 2.0 * kPi * k, kPi * k};
        }
    }

    int16_t* s = target.samples;
    for (int32_t i = 0; i < n; ++i) {
        int32_t cur = s[i];
        // 1. Sync: a sign change of the running sum restarts the cycle; the sum is consumed.
        if (sync) {
            if (i < n - 1 && cur * int32_t{s[i + 1]} < 0) {
                j = 0;
                phi = int64_t{osc.phase} * 256;
            }
            cur = 0;
            s[i] = 0;
        }
        // 2., 3. Modulation curves.
        if (fm) v = static_cast<double>(fm[i]) * 0.125 * rf * 0.001;
        if (vm) u = int64_t{vm[i]} * U0 / 262144;
        // 4., 5. The running sum as modulator (PhaseMod and FM share r).
        if (phaseMod) {
            phi += int64_t{cur - r} * 16;
            r = cur;
        }
        if (fmFlag) {
            v = v + static_cast<double>((cur - r) * 16) * 0.0625;
            r = cur;
        }
        // 6. At standstill the calm stage decays faster.
        if (calmOn && v == 0.0) calmLevel = static_cast<int32_t>(int64_t{calmLevel} * 32512 / 32768);
        // 7. Shape curve.
        if (sm) {
            o = m + static_cast<double>(sm[i]) * 0.03125 * (1.0 / 1024.0);
            if (o > 1.999) o = 1.999;
            w = o / (2.0 - o);
        }
        // 8. Advance.
        const int32_t j0 = j;
        phi += varStep ? roundToInt32(v * 1048576.0 / rate) : constStep;
        if (phi >= kCycle || phi < 0) {
            j = wrap32(int64_t{j} + (phi >> 20));  // floor: whole cycles crossed either way
            phi &= kCycle - 1;
        }
        // 9. Waveform.
        int32_t e;
        if (harmonic) {
            int64_t acc = 0;
            for (int h = 0; h < termCount; ++h) {
                const HarmonicTerm& t = terms[static_cast<size_t>(h)];
                int64_t g;
                if (t.unity) {
                    g = phi;  // 1*phi + 1*j*2^20 is exact, and reduces to phi
                } else {
                    g = roundHalfEven(t.f * static_cast<double>(phi) + t.f * static_cast<double>(j) * 1048576.0);
                    g &= kCycle - 1;  // floor modulo one cycle
                }
                const double gd = static_cast<double>(g);
                // Frac(k*G/2^20): k*G is an exact integer, so its low 20 bits are the fraction.
                const double xk = static_cast<double>((t.k * g) & (kCycle - 1)) * kInvCycle;
                double a;
                double tv;
                if (code == kWaveSine || code == kWaveAbsSine || code == kWaveEvenSine) {
                    const double sineArg = t.twoPiK * gd / 1048576.0;
                    const double absArg = t.piK * gd / 1048576.0;
                    // Without shaping and at in-range levels (|tv| <= 32768) the fast
                    // sine gives the same integer unless tv sits at a rounding
                    // boundary; then the library sine decides.
                    const bool approx = w == 1.0 && t.level <= 256.0;
                    a = harmonicTrig(code, sineArg, absArg, xk, !approx);
                    a = bend(a, w);
                    if (code == kWaveEvenSine) a -= 0.35;
                    tv = t.level * a * 128.0;
                    if (approx && nearHalf(tv)) {
                        a = harmonicTrig(code, sineArg, absArg, xk, true);
                        if (code == kWaveEvenSine) a -= 0.35;
                        tv = t.level * a * 128.0;
                    }
                } else {
                    switch (code) {
                        case kWaveSquare: a = xk < o / 2.0 ? 1.0 : -1.0; break;
                        case kWaveTriangle: a = std::fabs(2.0 - 4.0 * xk) - 1.0; break;
                        case kWaveSaw: a = 2.0 * xk - 1.0; break;
                        case kWave2xSaw: a = xk < 0.5 ? 1.0 - 2.0 * xk : 2.0 * xk - 2.0; break;
                        case kWaveCustom:
                            a = in.customWave
                                    ? -static_cast<double>(in.customWave[roundToInt32(xk * 1023.0)]) / 32768.0
                                    : 0.0;
                            break;
                        default: a = 0.0; break;  // unknown code: contributes nothing
                    }
                    if (code != kWaveSquare) a = bend(a, w);
                    tv = t.level * a * 128.0;
                }
                const int64_t term = toLevel(tv);
                acc = clampSample(acc + term * u / 4096);
            }
            e = static_cast<int32_t>(acc);
        } else {
            plainWave(code, phi, j, j0, o, in, rnd, st);
            double a = st.a;
            if (code != kWaveSquare) a = bend(a, w);
            if (code == kWaveAbsSine) a -= 0.25;
            else if (code == kWaveEvenSine) a -= 0.35;
            st.a = a;
            e = toLevel(a * 32768.0 * static_cast<double>(u) * (1.0 / 4096.0));
        }
        // 10. Invert.
        if (invert) e = wrap32(-int64_t{e});
        // 11. Calm: leaky differentiator (pole 8180/8192); without calm it is out = -E.
        if (calmOn) calmLevel = static_cast<int32_t>(int64_t{calmLevel} * 8180 / 8192);
        calmLevel = wrap32(int64_t{calmLevel} + calmInput - e);
        calmInput = e;
        int64_t out = calmLevel;
        // 12. Combine with the running sum.
        if (ringMod) out = out * cur / 32768;
        else if (addToSum) out += cur;
        s[i] = static_cast<int16_t>(clampSample(out));
    }

    osc.phaseAccumulator() = static_cast<int32_t>(phi - P);
    osc.cycleCount() = j;
    osc.calmLevel() = calmLevel;
    osc.calmInput() = calmInput;
}

}  // namespace kf
