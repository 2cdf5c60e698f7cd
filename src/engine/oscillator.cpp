#include "engine/oscillator.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "engine/arith.h"
#include "engine/harmonic_terms.h"
#include "engine/reference_rate.h"

namespace kf {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int64_t kCycle = 1048576;       // one cycle in phase units
constexpr double kInvCycle = 1.0 / 1048576.0;  // 2^-20, exact

static_assert(std::size(kWaveList) == kWaveListSize);

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
    int64_t k = roundHalfEven((static_cast<double>(j) + x) / kSampleOwnSpeedHz * kReferenceRate) % len;
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

// One harmonic: its number and what both the vector kernel and the exact
// path read (set up once per render; only `unbent` changes per block).
struct HarmonicTerm {
    int k;
    TermParams p;
};

// Codes the harmonic sum is defined for; noise and samples render as in
// plain mode.
inline bool harmonicCode(uint8_t code) {
    return code <= kWave2xSaw || code == kWaveCustom || code == kWaveEvenSine || code > kWaveEvenSine;
}

// One harmonic's term Round(Lk * A * 128), limited, with the library functions.
inline int32_t exactTerm(uint8_t code, const HarmonicTerm& t, int64_t phi, int32_t j, double o, double w,
                         const int16_t* customWave) {
    int64_t g;
    if (t.p.unity) {
        g = phi;  // 1*phi + 1*j*2^20 is exact, and reduces to phi
    } else {
        g = roundHalfEven(t.p.f * static_cast<double>(phi) + t.p.f * static_cast<double>(j) * 1048576.0);
        g &= kCycle - 1;  // floor modulo one cycle
    }
    const double gd = static_cast<double>(g);
    // Frac(k*G/2^20): k*G is an exact integer, so its low 20 bits are the fraction.
    const double xk = static_cast<double>((t.k * g) & (kCycle - 1)) * kInvCycle;
    double a;
    switch (code) {
        case kWaveSine: a = std::sin(t.p.twoPiK * gd / 1048576.0); break;
        case kWaveAbsSine: a = 2.0 * std::fabs(std::sin(t.p.piK * gd / 1048576.0)) - 1.0; break;
        case kWaveEvenSine:  // positive half of harmonic k, as in plain mode
            a = xk < 0.5 ? std::sin(t.p.twoPiK * gd / 1048576.0) : 0.0;
            break;
        case kWaveSquare: a = xk < o / 2.0 ? 1.0 : -1.0; break;
        case kWaveTriangle: a = std::fabs(2.0 - 4.0 * xk) - 1.0; break;
        case kWaveSaw: a = 2.0 * xk - 1.0; break;
        case kWave2xSaw: a = xk < 0.5 ? 1.0 - 2.0 * xk : 2.0 * xk - 2.0; break;
        case kWaveCustom:
            a = customWave ? -static_cast<double>(customWave[roundToInt32(xk * 1023.0)]) / 32768.0 : 0.0;
            break;
        default: a = 0.0; break;  // unknown code: contributes nothing
    }
    if (code != kWaveSquare) a = bend(a, w);
    if (code == kWaveEvenSine) a -= 0.35;
    return toLevel(t.p.level * a * 128.0);
}

}  // namespace

uint8_t waveListToCode(int listPos) {
    return listPos >= 0 && listPos < kWaveListSize ? uint8_t{kWaveList[listPos].code} : uint8_t{kWaveSine};
}

int waveCodeToList(uint8_t code) {
    for (int i = 0; i < kWaveListSize; ++i)
        if (kWaveList[i].code == code) return i;
    return -1;
}

const char* waveListName(int listPos) {
    return listPos >= 0 && listPos < kWaveListSize ? kWaveList[listPos].name.data() : nullptr;
}

bool oscillatorReadsSum(const OscillatorRecord& osc) {
    return (osc.flags & (kFlagSync | kFlagPhaseMod | kFlagFM)) != 0;
}

bool oscillatorDrawsRandom(const OscillatorRecord& osc) {
    return osc.waveForm == kWaveNoise || osc.waveForm == kWaveLightNoise;
}

// The oscillator of one call, sample block by sample block: the phase and
// modulation steps run first over a block (they read only the running sum
// of the oscillators before), then the waveform for the whole block, then the
// calm stage; the caller combines the result with the running sum.
class OscillatorRun {
public:
    OscillatorRun(int32_t bankLevel, OscillatorRecord& osc, const OscillatorInputs& in, uint8_t calm, int32_t n)
        : osc_(osc), in_(in), n_(n) {
        rnd_ = in.random ? in.random : &localRandom_;
        code_ = osc.waveForm;
        const uint8_t flags = osc.flags;
        sync_ = flags & kFlagSync;
        phaseMod_ = flags & kFlagPhaseMod;
        fmFlag_ = flags & kFlagFM;
        invert_ = flags & kFlagInvert;
        calmOn_ = calm != 0;
        vm_ = in.volumeMod.samples;
        fm_ = in.frequencyMod.samples;
        sm_ = in.shapeMod.samples;

        phaseOffset_ = int64_t{osc.phase} * 4096;
        phase_ = int64_t{osc.phaseAccumulator()} + phaseOffset_;
        cycle_ = osc.cycleCount();
        relativeFrequency_ = static_cast<double>(osc.relativeFrequency);
        frequency_ = static_cast<double>(osc.frequency) * relativeFrequency_ * 0.001;
        volume_ = int64_t{osc.volume} * bankLevel / 256;
        level_ = volume_ / 8;
        shape_ = static_cast<double>(osc.shape) * (1.0 / 1024.0);
        shapeHeld_ = shape_ > 1.999 ? 1.999 : shape_;
        bend_ = shapeHeld_ / (2.0 - shapeHeld_);
        calmLevel_ = osc.calmLevel();
        calmInput_ = osc.calmInput();
        rate_ = static_cast<double>(in.sampleRate);
        varStep_ = fm_ != nullptr || fmFlag_;
        constStep_ = roundToInt32(frequency_ * 1048576.0 / rate_);

        harmonic_ = osc.harmonicsActive != 0 && harmonicCode(code_);
        if (harmonic_) {
            for (int k = 1; k <= 16; ++k) {
                const Harmonic& h = osc.harmonics[static_cast<size_t>(k - 1)];
                if (h.level == 0) continue;
                const double f = 1.0 + static_cast<double>(h.detune) * (1.0 / 4096.0) * 1.1224618484;
                TermParams p;
                p.code = code_;
                p.k = k;
                p.level = static_cast<double>(h.level);
                p.f = f;
                p.unity = f == 1.0;
                p.twoPiK = 2.0 * kPi * k;
                p.piK = kPi * k;
                terms_[static_cast<size_t>(termCount_++)] = HarmonicTerm{k, p};
            }
        }
        fast_ = in.fastMath && fastTermCode(code_);
        fastPlainSine_ = in.fastMath && !harmonic_ && code_ == kWaveSine;
    }

    // Samples i0 .. i0+nb-1 (nb <= kTermBlock) into own[]: the calm stage's
    // output before it meets the running sum. s is the running sum, read by
    // sync, phase and frequency modulation (sync also clears it); it may be
    // null for an oscillator that reads none of it.
    void block(int16_t* s, int32_t i0, int nb, int32_t* own) {
        for (int b = 0; b < nb; ++b) stepPhase(s, i0 + b, b);
        if (harmonic_) {
            harmonicBlock(nb);
        } else if (fastPlainSine_) {
            // The plain sine from the vector sine wherever its error bound
            // decides the rounding (unshaped samples); the rest as below.
            for (int b = 0; b < nb; ++b) phiD_[b] = 2.0 * static_cast<double>(blockPhase[b]) * kPi * kInvCycle;
            fastSinArray(phiD_.data(), jD_.data(), nb);
            for (int b = 0; b < nb; ++b) {
                if (blockBend[b] == 1.0) {
                    const double a = jD_[b];
                    const double v = a * 32768.0 * static_cast<double>(blockLevel[b]) * (1.0 / 4096.0);
                    const double err = 4 * ((kSinRel * std::fabs(a) + kSinAbs) * 8.0 * std::fabs(static_cast<double>(blockLevel[b])) +
                                            kUlp * std::fabs(v)) + 1e-12;
                    if (std::fabs(v) < 1e9 && std::fabs(v - std::floor(v) - 0.5) > err) {
                        st_.a = a;  // Sine sets A afresh every sample; only E must be exact
                        e_[b] = toLevel(v);
                        continue;
                    }
                }
                e_[b] = plainValue(b);
            }
        } else {
            for (int b = 0; b < nb; ++b) e_[b] = plainValue(b);
        }
        for (int b = 0; b < nb; ++b) {
            int32_t e = e_[b];
            // At standstill the calm stage decays faster.
            if (still_[b]) calmLevel_ = static_cast<int32_t>(int64_t{calmLevel_} * 32512 / 32768);
            // Invert.
            if (invert_) e = wrap32(-int64_t{e});
            // Calm: leaky differentiator (pole 8180/8192); without calm it is out = -E.
            if (calmOn_) calmLevel_ = static_cast<int32_t>(int64_t{calmLevel_} * 8180 / 8192);
            calmLevel_ = wrap32(int64_t{calmLevel_} + calmInput_ - e);
            calmInput_ = e;
            own[b] = calmLevel_;
        }
    }

    void finish() {
        osc_.phaseAccumulator() = static_cast<int32_t>(phase_ - phaseOffset_);
        osc_.cycleCount() = cycle_;
        osc_.calmLevel() = calmLevel_;
        osc_.calmInput() = calmInput_;
    }

private:
    // Sample i (block slot b) up to its phase: sync, the modulation curves,
    // the running sum as modulator, the shape, then the phase step.
    void stepPhase(int16_t* s, int32_t i, int b) {
        int32_t cur = s ? s[i] : 0;
        // Sync: a sign change of the running sum restarts the cycle; the sum is consumed.
        if (sync_) {
            if (i < n_ - 1 && cur * int32_t{s[i + 1]} < 0) {
                cycle_ = 0;
                phase_ = int64_t{osc_.phase} * 256;
            }
            cur = 0;
            s[i] = 0;
        }
        // Frequency and volume modulation curves.
        if (fm_) frequency_ = static_cast<double>(fm_[i]) * 0.125 * relativeFrequency_ * 0.001;
        if (vm_) level_ = int64_t{vm_[i]} * volume_ / 262144;
        // The running sum as modulator (PhaseMod and FM share r).
        if (phaseMod_) {
            phase_ += int64_t{cur - r_} * 16;
            r_ = cur;
        }
        if (fmFlag_) {
            frequency_ = frequency_ + static_cast<double>((cur - r_) * 16) * 0.0625;
            r_ = cur;
        }
        still_[b] = calmOn_ && frequency_ == 0.0;
        // Shape curve.
        if (sm_) {
            shapeHeld_ = shape_ + static_cast<double>(sm_[i]) * 0.03125 * (1.0 / 1024.0);
            if (shapeHeld_ > 1.999) shapeHeld_ = 1.999;
            bend_ = shapeHeld_ / (2.0 - shapeHeld_);
        }
        // Advance the phase.
        blockCycleBefore_[b] = cycle_;
        phase_ += varStep_ ? roundToInt32(frequency_ * 1048576.0 / rate_) : constStep_;
        if (phase_ >= kCycle || phase_ < 0) {
            cycle_ = wrap32(int64_t{cycle_} + (phase_ >> 20));  // floor: whole cycles crossed either way
            phase_ &= kCycle - 1;
        }
        blockPhase[b] = phase_;
        blockCycle[b] = cycle_;
        blockShape[b] = shapeHeld_;
        blockBend[b] = bend_;
        blockLevel[b] = level_;
    }

    int32_t plainValue(int b) {
        plainWave(code_, blockPhase[b], blockCycle[b], blockCycleBefore_[b], blockShape[b], in_, *rnd_, st_);
        double a = st_.a;
        if (code_ != kWaveSquare) a = bend(a, blockBend[b]);
        if (code_ == kWaveAbsSine) a -= 0.25;
        else if (code_ == kWaveEvenSine) a -= 0.35;
        st_.a = a;
        return toLevel(a * 32768.0 * static_cast<double>(blockLevel[b]) * (1.0 / 4096.0));
    }

    // The harmonics one after another over the block; each sample's sum is
    // limited after every harmonic, in harmonic order.
    void harmonicBlock(int nb) {
        std::array<int64_t, kTermBlock> acc;
        std::fill_n(acc.begin(), nb, 0);
        TermBlock tb;
        bool unbent = true;
        if (fast_) {
            for (int b = 0; b < nb; ++b) {
                phiD_[b] = static_cast<double>(blockPhase[b]);
                jD_[b] = static_cast<double>(blockCycle[b]);
                unbent = unbent && blockBend[b] == 1.0;
            }
            tb = TermBlock{nb, phiD_.data(), jD_.data(), blockBend.data()};
        }
        // Terms of at most 32768 in size with a level under 65536 keep every product
        // and sum in 32 bits; a larger term (the offset waveforms, a negative
        // shape exponent) moves the block to the wide sums.
        bool narrow = true;
        std::array<int32_t, kTermBlock> acc32, u32;
        for (int b = 0; b < nb; ++b) {
            narrow = narrow && blockLevel[b] > -65536 && blockLevel[b] < 65536;
            u32[b] = static_cast<int32_t>(blockLevel[b]);
            acc32[b] = 0;
        }
        std::array<int32_t, kTermBlock> term;
        for (int h = 0; h < termCount_; ++h) {
            const HarmonicTerm& t = terms_[static_cast<size_t>(h)];
            if (fast_) {
                TermParams p = t.p;
                p.unbent = unbent;
                harmonicTermsFast(p, tb, term.data());
                for (int b = 0; b < nb; ++b)
                    if (term[b] == kUndecided)
                        term[b] = exactTerm(code_, t, blockPhase[b], blockCycle[b], blockShape[b], blockBend[b],
                                            in_.customWave);
            } else {
                for (int b = 0; b < nb; ++b)
                    term[b] = exactTerm(code_, t, blockPhase[b], blockCycle[b], blockShape[b], blockBend[b],
                                        in_.customWave);
            }
            if (narrow) {
                bool small = true;
                for (int b = 0; b < nb; ++b) small = small && term[b] >= -32768 && term[b] <= 32768;
                if (!small) {
                    narrow = false;
                    for (int b = 0; b < nb; ++b) acc[b] = acc32[b];
                }
            }
            if (narrow) {  // the same sums in 32 bits, which vectorise
                for (int b = 0; b < nb; ++b) {
                    const int32_t v = acc32[b] + term[b] * u32[b] / 4096;
                    acc32[b] = v > kSampleMax ? kSampleMax : (v < -kSampleMax ? -kSampleMax : v);
                }
            } else {
                for (int b = 0; b < nb; ++b) acc[b] = clampSample(acc[b] + int64_t{term[b]} * blockLevel[b] / 4096);
            }
        }
        if (narrow)
            for (int b = 0; b < nb; ++b) acc[b] = acc32[b];
        for (int b = 0; b < nb; ++b) e_[b] = static_cast<int32_t>(acc[b]);
    }

    OscillatorRecord& osc_;
    const OscillatorInputs& in_;
    int32_t n_;
    Random localRandom_;  // only when the caller gives no shared generator
    Random* rnd_;
    uint8_t code_;
    bool sync_, phaseMod_, fmFlag_, invert_, calmOn_;
    const int16_t *vm_, *fm_, *sm_;
    int64_t phaseOffset_;  // the start phase, in phase units
    int64_t phase_;        // within the cycle, 0..2^20 - 1 (offset included)
    int32_t cycle_;        // whole cycles run
    double relativeFrequency_;  // in thousandths
    double frequency_;     // Hz heard, relative frequency applied
    int64_t volume_;       // the oscillator's level in the bank, before modulation
    int64_t level_;        // the level after volume modulation
    double shape_;         // the set shape (1.0 = plain)
    double shapeHeld_;     // the shape after modulation, held below 2
    double bend_;          // the exponent the shape bends the wave with
    int32_t calmLevel_, calmInput_;
    int32_t r_ = 0;
    WaveState st_;
    double rate_;
    bool varStep_;
    int32_t constStep_;
    bool harmonic_;
    bool fast_, fastPlainSine_;
    std::array<HarmonicTerm, 16> terms_;
    int termCount_ = 0;

    // Per-sample values of the current block.
    std::array<int64_t, kTermBlock> blockPhase;
    std::array<int32_t, kTermBlock> blockCycle, blockCycleBefore_;  // after and before the sample's step
    std::array<double, kTermBlock> blockShape, blockBend;
    std::array<int64_t, kTermBlock> blockLevel;
    std::array<bool, kTermBlock> still_;
    std::array<int32_t, kTermBlock> e_;
    std::array<double, kTermBlock> phiD_, jD_;
};

void combineOscillator(int16_t* s, const int32_t* own, int32_t n, uint8_t flags) {
    const bool ringMod = flags & kFlagRingMod;
    const bool addToSum = !(flags & kFlagPhaseMod) && !(flags & kFlagFM);
    for (int32_t i = 0; i < n; ++i) {
        // Combine with the running sum.
        int64_t out = own[i];
        const int32_t cur = s[i];
        if (ringMod) out = out * cur / 32768;
        else if (addToSum) out += cur;
        s[i] = static_cast<int16_t>(clampSample(out));
    }
}

void renderOscillatorOwn(int32_t n, int32_t bankLevel, OscillatorRecord& osc, const OscillatorInputs& in,
                         uint8_t calm, int32_t* own) {
    if (n <= 0 || in.sampleRate <= 0) return;
    OscillatorRun run(bankLevel, osc, in, calm, n);
    for (int32_t i0 = 0; i0 < n; i0 += kTermBlock) run.block(nullptr, i0, std::min<int32_t>(kTermBlock, n - i0), own + i0);
    run.finish();
}

void renderOscillator(SoundBuffer target, int32_t bankLevel, OscillatorRecord& osc, const OscillatorInputs& in,
                      uint8_t calm) {
    const int32_t n = target.count;
    // Without a rate there is no phase step; render nothing rather than divide by zero.
    if (n <= 0 || target.samples == nullptr || in.sampleRate <= 0) return;
    OscillatorRun run(bankLevel, osc, in, calm, n);
    std::array<int32_t, kTermBlock> own;
    for (int32_t i0 = 0; i0 < n; i0 += kTermBlock) {
        const int nb = std::min<int32_t>(kTermBlock, n - i0);
        run.block(target.samples, i0, nb, own.data());
        combineOscillator(target.samples + i0, own.data(), nb, osc.flags);
    }
    run.finish();
}

}  // namespace kf
