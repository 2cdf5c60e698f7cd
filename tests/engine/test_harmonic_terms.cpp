// The vectorised harmonic terms: the error bounds they rely on hold, and on
// every instruction set this machine has they give the library's samples.
#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/harmonic_terms.h"
#include "engine/oscillator.h"

using namespace kf;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Sine arguments as the harmonic path forms them, dense near the zero
// crossings where a relative bound is hardest to keep.
std::vector<double> sineArgs() {
    std::vector<double> x;
    std::mt19937 rng(7);
    for (int k = 1; k <= 16; ++k) {
        const double twoPiK = 2.0 * kPi * k, piK = kPi * k;
        for (int i = 0; i < 4000; ++i) {
            const int64_t g = static_cast<int64_t>(rng() & 0xFFFFF);
            x.push_back(twoPiK * static_cast<double>(g) / 1048576.0);
            x.push_back(piK * static_cast<double>(g) / 1048576.0);
        }
        for (int64_t m = 0; m <= 2 * k; ++m)
            for (int64_t d = -3; d <= 3; ++d) {
                const int64_t g = (m << 19) / k + d;
                if (g > 0 && g < 1048576) x.push_back(twoPiK * static_cast<double>(g) / 1048576.0);
            }
    }
    return x;
}

struct TargetScope {
    explicit TargetScope(int64_t t) { hwy::SetSupportedTargetsForTest(t); }
    ~TargetScope() { hwy::SetSupportedTargetsForTest(0); }
};

}  // namespace

TEST(HarmonicTerms, ErrorBoundsHoldOnEveryTarget) {
    const std::vector<double> sx = sineArgs();
    std::vector<double> lx, ex;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < 50000; ++i) {
        lx.push_back(std::ldexp(0.5 + 0.5 * unit(rng), -static_cast<int>(rng() % 22)));  // 2^-22 .. 1
        ex.push_back(-700.0 + 1400.0 * unit(rng));
    }
    lx.push_back(1.0);
    lx.push_back(std::nextafter(1.0, 0.0));
    for (int64_t target : hwy::SupportedAndGeneratedTargets()) {
        TargetScope scope(target);
        SCOPED_TRACE(hwy::TargetName(target));
        std::vector<double> y(sx.size());
        fastSinArray(sx.data(), y.data(), static_cast<int>(sx.size()));
        for (size_t i = 0; i < sx.size(); ++i) {
            const double s = std::sin(sx[i]);
            ASSERT_LE(std::fabs(y[i] - s), kSinRel * std::fabs(s) + kSinAbs) << "sin(" << sx[i] << ")";
        }
        y.resize(lx.size());
        fastLogArray(lx.data(), y.data(), static_cast<int>(lx.size()));
        for (size_t i = 0; i < lx.size(); ++i) {
            const double l = std::log(lx[i]);
            ASSERT_LE(std::fabs(y[i] - l), kLogRel * std::fabs(l)) << "log(" << lx[i] << ")";
        }
        y.resize(ex.size());
        fastExpArray(ex.data(), y.data(), static_cast<int>(ex.size()));
        for (size_t i = 0; i < ex.size(); ++i) {
            const double e = std::exp(ex[i]);
            ASSERT_LE(std::fabs(y[i] - e), kExpRel * e) << "exp(" << ex[i] << ")";
        }
    }
}

// Random harmonic (and plain sine) oscillators, shaped and shape-modulated, rendered with the
// library functions and with the vector terms, on every instruction set.
TEST(HarmonicTerms, OscillatorsRenderTheLibrarySamplesOnEveryTarget) {
    std::mt19937 rng(3);
    constexpr int32_t n = 3000;
    std::vector<int16_t> shape(n);
    for (int32_t i = 0; i < n; ++i) shape[i] = static_cast<int16_t>((i * 37) % 60000 - 30000);
    int undecided = 0, terms = 0;
    for (int64_t target : hwy::SupportedAndGeneratedTargets()) {
        TargetScope scope(target);
        SCOPED_TRACE(hwy::TargetName(target));
        for (int trial = 0; trial < 40; ++trial) {
            OscillatorRecord o = OscillatorRecord::defaults();
            o.active = 1;
            o.harmonicsActive = trial % 5 == 4 ? 0 : 1;  // and some plain ones
            const uint8_t codes[] = {kWaveSine, kWaveAbsSine, kWaveEvenSine, kWaveTriangle, kWaveSaw, kWave2xSaw};
            o.waveForm = o.harmonicsActive ? codes[trial % 6] : uint8_t{kWaveSine};
            o.frequency = static_cast<int32_t>(rng() % 3000);
            o.relativeFrequency = static_cast<int32_t>(500 + rng() % 3500);
            o.shape = trial % 4 == 0 ? 1024 : static_cast<int32_t>(rng() % 2049);
            o.volume = 32768;
            for (auto& h : o.harmonics) {
                h.level = static_cast<uint16_t>(rng() % 257);
                h.detune = static_cast<uint16_t>(rng() % 257);
            }
            o.cycleCount() = static_cast<int32_t>(rng() % 2000000);  // a long real-time stream
            OscillatorInputs in;
            in.sampleRate = 44100;
            if (trial % 3 == 0) in.shapeMod = SoundBuffer{n, shape.data()};
            std::vector<int16_t> a(n, 0), b(n, 0);
            OscillatorRecord oa = o, ob = o;
            in.fastMath = false;
            renderOscillator(SoundBuffer{n, a.data()}, 256, oa, in, 0);
            in.fastMath = true;
            renderOscillator(SoundBuffer{n, b.data()}, 256, ob, in, 0);
            for (int32_t i = 0; i < n; ++i) ASSERT_EQ(a[i], b[i]) << "trial " << trial << " sample " << i;
            EXPECT_EQ(oa.phaseAccumulator(), ob.phaseAccumulator());
            EXPECT_EQ(oa.cycleCount(), ob.cycleCount());
        }
        // How often the bound leaves the rounding to the library.
        TermParams p;
        p.code = kWaveSine;
        p.level = 256;
        std::vector<double> phi(kTermBlock), cyc(kTermBlock, 5.0), w(kTermBlock, 0.7);
        std::vector<int32_t> term(kTermBlock);
        for (int k = 1; k <= 16; ++k) {
            p.k = k;
            p.twoPiK = 2.0 * kPi * k;
            p.f = 1.0 + 7.0 * k / 4096.0 * 1.1224618484;
            p.unity = false;
            for (auto& x : phi) x = static_cast<double>(rng() & 0xFFFFF);
            harmonicTermsFast(p, TermBlock{kTermBlock, phi.data(), cyc.data(), w.data()}, term.data());
            for (int32_t t : term) undecided += t == kUndecided;
            terms += kTermBlock;
        }
    }
    EXPECT_LT(undecided * 1000, terms) << undecided << " of " << terms << " terms left to the library";
}
