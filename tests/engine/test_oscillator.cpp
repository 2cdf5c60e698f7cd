#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/oscillator.h"

using namespace kf;

namespace {

constexpr double kTwoPi = 2.0 * 3.14159265358979323846;

OscillatorRecord baseOsc() {
    OscillatorRecord o;
    for (int k = 1; k <= 16; ++k) o.harmonics[static_cast<size_t>(k - 1)] = Harmonic{static_cast<uint16_t>(256 / k), 0};
    o.volume = 16384;
    o.frequency = 440;
    o.relativeFrequency = 1000;
    o.shape = 1024;
    o.phase = 0;
    o.active = 1;
    o.harmonicsActive = 0;
    o.flags = 0;
    o.waveForm = kWaveSine;
    o.resetState();
    return o;
}

struct Rig {
    OscillatorRecord osc = baseOsc();
    OscillatorInputs in;
    Random rnd;
    Rig() {
        in.sampleRate = 44100;
        in.random = &rnd;
    }
    std::vector<int16_t> run(std::vector<int16_t> buf, uint8_t calm = 0, int32_t bank = 256) {
        renderOscillator(SoundBuffer{static_cast<int32_t>(buf.size()), buf.data()}, bank, osc, in, calm);
        return buf;
    }
    std::vector<int16_t> run(int n, uint8_t calm = 0) { return run(std::vector<int16_t>(static_cast<size_t>(n)), calm); }
};

int32_t rnd(double v) { return static_cast<int32_t>(std::nearbyint(v)); }
// Output of a plain sine at level 16384 from zero calm state: -Round(sin(2 pi x) * 16384).
int32_t sineOut(int64_t phi) { return -rnd(std::sin(kTwoPi * (static_cast<double>(phi) / 1048576.0)) * 16384.0); }

// Value of a frozen oscillator (frequency 0) at start phase p/256 of a cycle.
int32_t valueAtPhase(uint8_t code, int phase, int shape = 1024, bool harmonic = false) {
    Rig r;
    r.osc.frequency = 0;
    r.osc.waveForm = code;
    r.osc.phase = static_cast<uint16_t>(phase);
    r.osc.shape = shape;
    if (harmonic) {
        r.osc.harmonicsActive = 1;
        for (auto& h : r.osc.harmonics) h.level = 0;
        r.osc.harmonics[0].level = 256;
    }
    return r.run(1)[0];
}

}  // namespace

TEST(Oscillator, Sine440At44100AdvancesBy10462) {
    Rig r;
    auto out = r.run(3000);
    int64_t phi = 0;
    for (int i = 0; i < 3000; ++i) {
        phi += 10462;
        ASSERT_EQ(out[static_cast<size_t>(i)], sineOut(phi % 1048576)) << i;
    }
    EXPECT_EQ(r.osc.phaseAccumulator(), (3000 * 10462) % 1048576);
    EXPECT_EQ(r.osc.cycleCount(), (3000 * 10462) / 1048576);
}

TEST(Oscillator, Sine440At22050AddsToTheRunningSum) {
    Rig r;
    r.in.sampleRate = 22050;
    const int64_t step = std::llrint(440.0 * 1048576.0 / 22050.0);
    ASSERT_EQ(step, 20924);
    auto out = r.run(std::vector<int16_t>(500, 1000));
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(out[static_cast<size_t>(i)], sineOut(((i + 1) * step) % 1048576) + 1000) << i;
}

TEST(Oscillator, StateCarriesOverBetweenCalls) {
    Rig whole, split;
    whole.osc.phase = split.osc.phase = 37;
    whole.osc.waveForm = split.osc.waveForm = kWaveSaw;
    auto a = whole.run(1000);
    auto b1 = split.run(400);
    auto b2 = split.run(600);
    b1.insert(b1.end(), b2.begin(), b2.end());
    EXPECT_EQ(a, b1);
    EXPECT_EQ(whole.osc.phaseAccumulator(), split.osc.phaseAccumulator());
    EXPECT_EQ(whole.osc.cycleCount(), split.osc.cycleCount());
    // The accumulator holds the phase without the start offset.
    const int64_t total = 37 * 4096 + 1000 * 10462;
    EXPECT_EQ(whole.osc.phaseAccumulator() + 37 * 4096, total % 1048576);
    EXPECT_EQ(whole.osc.cycleCount(), total / 1048576);
}

TEST(Oscillator, PlainWaveformsAtFixedPhases) {
    EXPECT_EQ(valueAtPhase(kWaveSine, 64), -16384);
    EXPECT_EQ(valueAtPhase(kWaveSine, 0), 0);
    EXPECT_EQ(valueAtPhase(kWaveAbsSine, 128), -12288);  // (1 - 0.25)
    EXPECT_EQ(valueAtPhase(kWaveAbsSine, 0), 20480);     // (-1 - 0.25)
    EXPECT_EQ(valueAtPhase(kWaveEvenSine, 64), -10650);  // 0.65
    EXPECT_EQ(valueAtPhase(kWaveEvenSine, 192), 5734);   // 0 - 0.35
    EXPECT_EQ(valueAtPhase(kWaveSquare, 0), -16384);
    EXPECT_EQ(valueAtPhase(kWaveSquare, 128), 16384);
    EXPECT_EQ(valueAtPhase(kWaveTriangle, 0), -16384);
    EXPECT_EQ(valueAtPhase(kWaveTriangle, 64), 0);
    EXPECT_EQ(valueAtPhase(kWaveTriangle, 128), 16384);
    EXPECT_EQ(valueAtPhase(kWaveSaw, 0), 16384);
    EXPECT_EQ(valueAtPhase(kWaveSaw, 192), -8192);
    EXPECT_EQ(valueAtPhase(kWave2xSaw, 64), -8192);
    EXPECT_EQ(valueAtPhase(kWave2xSaw, 128), 16384);
    EXPECT_EQ(valueAtPhase(kWave2xSaw, 192), 8192);
    EXPECT_EQ(valueAtPhase(12, 64), 0);   // no such waveform
    EXPECT_EQ(valueAtPhase(255, 10), 0);
}

TEST(Oscillator, ShapeBendsEverythingButSquare) {
    EXPECT_EQ(valueAtPhase(kWaveSine, 32, 0), -16384);  // |A|^0 = 1
    EXPECT_EQ(valueAtPhase(kWaveSine, 160, 0), 16384);
    EXPECT_EQ(valueAtPhase(kWaveSine, 0, 0), 0);        // exactly 0 stays 0
    EXPECT_EQ(valueAtPhase(kWaveSine, 32, 2048), 0);    // o capped at 1.999: huge exponent
    // Shape 1536 -> w = 3.
    EXPECT_EQ(valueAtPhase(kWaveSine, 32, 1536), -rnd(std::pow(std::sin(kTwoPi / 8), 3.0) * 16384.0));
    // Square: duty Shape/2048, no power curve.
    EXPECT_EQ(valueAtPhase(kWaveSquare, 60, 512), -16384);
    EXPECT_EQ(valueAtPhase(kWaveSquare, 68, 512), 16384);
    EXPECT_EQ(valueAtPhase(kWaveSquare, 0, 0), 16384);  // duty 0: always low
}

TEST(Oscillator, CustomAndSampleWaves) {
    std::vector<int16_t> cw(1025, 0);
    cw[256] = 1000;
    cw[1024] = -3000;
    Rig r;
    r.osc.frequency = 0;
    r.osc.phase = 64;  // x = 0.25 -> index 256
    r.osc.waveForm = kWaveCustom;
    r.in.customWave = cw.data();
    EXPECT_EQ(r.run(1)[0], 500);
    r.in.customWave = nullptr;
    EXPECT_EQ(r.run(1)[0], 0);

    // Sample: ten source samples per cycle, wrapping round the sample.
    std::vector<int16_t> smp(25);
    for (int i = 0; i < 25; ++i) smp[static_cast<size_t>(i)] = static_cast<int16_t>(100 * (i + 1));
    Rig s;
    s.osc.frequency = 4410;
    s.osc.waveForm = kWaveSample1;
    s.in.sample1 = SoundBuffer{25, smp.data()};
    auto out = s.run(40);
    const int64_t step = std::llrint(4410.0 * 1048576.0 / 44100.0);
    for (int i = 0; i < 40; ++i) {
        const int64_t total = (i + 1) * step;
        const double jx = static_cast<double>(total / 1048576) + static_cast<double>(total % 1048576) / 1048576.0;
        const int64_t k = std::llrint(jx / 4410.0 * 44100.0) % 25;
        ASSERT_EQ(out[static_cast<size_t>(i)], -rnd(-smp[static_cast<size_t>(k)] / 32768.0 * 16384.0)) << i;
    }
    // An empty sample, or the other slot, renders silence.
    s.osc.waveForm = kWaveSample2;
    auto silent = s.run(40);
    for (auto v : silent) ASSERT_EQ(v, 0);
}

TEST(Oscillator, HarmonicPath) {
    // Harmonic 2 alone: sin(2 pi 2 G / 2^20), level 256 at u = 2048.
    Rig r;
    r.osc.harmonicsActive = 1;
    for (auto& h : r.osc.harmonics) h.level = 0;
    r.osc.harmonics[1].level = 256;
    auto out = r.run(2000);
    for (int i = 0; i < 2000; ++i) {
        const int64_t g = ((i + 1) * 10462) % 1048576;
        const int32_t term = rnd(256 * std::sin(kTwoPi * 2 * g / 1048576.0) * 128) * 2048 / 4096;
        ASSERT_EQ(out[static_cast<size_t>(i)], -term) << i;
    }

    // Detuned harmonic 1 follows the detuned fundamental across cycles.
    Rig d;
    d.osc.harmonicsActive = 1;
    for (auto& h : d.osc.harmonics) h.level = 0;
    d.osc.harmonics[0] = Harmonic{256, 256};
    auto dout = d.run(2000);
    const double f = 1.0 + 256.0 / 4096.0 * 1.1224618484;
    for (int i = 0; i < 2000; ++i) {
        const int64_t total = (i + 1) * 10462;
        const int64_t phi = total % 1048576, j = total / 1048576;
        int64_t g = std::llrint(f * phi + f * j * 1048576.0) % 1048576;
        const int32_t term = rnd(256 * std::sin(kTwoPi * g / 1048576.0) * 128) * 2048 / 4096;
        ASSERT_EQ(dout[static_cast<size_t>(i)], -term) << i;
    }
    EXPECT_GT(d.osc.cycleCount(), 10);

    // All levels 0: nothing.
    Rig z;
    z.osc.harmonicsActive = 1;
    for (auto& h : z.osc.harmonics) h.level = 0;
    for (auto v : z.run(300)) ASSERT_EQ(v, 0);
}

TEST(Oscillator, HarmonicSumClampsAndChosenCodes) {
    // Sixteen full squares at phase 0 saturate after the second harmonic.
    Rig r;
    r.osc.frequency = 0;
    r.osc.waveForm = kWaveSquare;
    r.osc.harmonicsActive = 1;
    for (auto& h : r.osc.harmonics) h.level = 256;
    EXPECT_EQ(r.run(1)[0], -32767);
    // EvenSine: the positive half of the harmonic, minus 0.35 as in plain mode.
    EXPECT_EQ(valueAtPhase(kWaveEvenSine, 64, 1024, true), -10649);
    EXPECT_EQ(valueAtPhase(kWaveEvenSine, 192, 1024, true), rnd(0.35 * 256 * 128) * 2048 / 4096);
    // |Sine| has no offset in harmonic mode.
    EXPECT_EQ(valueAtPhase(kWaveAbsSine, 128, 1024, true), -16384);
    // Custom reads index Round(x * 1023).
    std::vector<int16_t> cw(1025, 0);
    cw[256] = 2000;  // Round(0.25 * 1023) = 256
    Rig c;
    c.osc.frequency = 0;
    c.osc.phase = 64;
    c.osc.waveForm = kWaveCustom;
    c.osc.harmonicsActive = 1;
    for (auto& h : c.osc.harmonics) h.level = 0;
    c.osc.harmonics[0].level = 256;
    c.in.customWave = cw.data();
    EXPECT_EQ(c.run(1)[0], 1000);
    // Noise renders as in plain mode.
    Rig np, nh;
    np.osc.waveForm = nh.osc.waveForm = kWaveNoise;
    nh.osc.harmonicsActive = 1;
    np.rnd.seed = nh.rnd.seed = 77;
    EXPECT_EQ(np.run(3000), nh.run(3000));
}

TEST(Oscillator, SyncRestartsAtASixteenthOfTheStartPhase) {
    Rig r;
    r.osc.flags = kFlagSync;
    r.osc.phase = 16;  // P = 65536, but a sync restarts at 16 * 256 = 4096
    std::vector<int16_t> buf(12, 0);
    buf[5] = 100;
    buf[6] = -100;
    auto out = r.run(buf);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(out[static_cast<size_t>(i)], sineOut(65536 + (i + 1) * 10462)) << i;
    EXPECT_EQ(out[5], sineOut(4096 + 10462));  // the running sum is consumed, not added
    EXPECT_EQ(out[6], sineOut(4096 + 2 * 10462));
    EXPECT_EQ(r.osc.cycleCount(), 0);
    // The last sample never syncs.
    Rig l;
    l.osc.flags = kFlagSync;
    std::vector<int16_t> tail(4, 0);
    tail[3] = -50;
    EXPECT_EQ(l.run(tail)[3], sineOut(4 * 10462));
}

TEST(Oscillator, SyncWithRingModIsSilent) {
    Rig r;
    r.osc.flags = kFlagSync | kFlagRingMod;
    std::vector<int16_t> buf(200);
    for (int i = 0; i < 200; ++i) buf[static_cast<size_t>(i)] = static_cast<int16_t>((i % 7 < 3) ? 9000 : -9000);
    for (auto v : r.run(buf)) ASSERT_EQ(v, 0);
}

TEST(Oscillator, RingModInvertAndCombine) {
    Rig r;
    r.osc.frequency = 0;
    r.osc.phase = 64;  // E = 16384, out = -16384
    r.osc.flags = kFlagRingMod;
    EXPECT_EQ(r.run(std::vector<int16_t>{16384, -16384, 0})[0], -8192);
    r.osc.flags = kFlagRingMod | kFlagInvert;
    EXPECT_EQ(r.run(std::vector<int16_t>{16384})[0], 8192);
    r.osc.flags = kFlagInvert;
    EXPECT_EQ(r.run(std::vector<int16_t>{30000})[0], 32767);  // clamped sum
    r.osc.flags = 0;
    EXPECT_EQ(r.run(std::vector<int16_t>{-30000})[0], -32767);
}

TEST(Oscillator, PhaseModFollowsTheRunningSum) {
    for (uint8_t flags : {uint8_t{kFlagPhaseMod}, uint8_t{kFlagPhaseMod | kFlagFM}}) {
        Rig r;
        r.osc.frequency = 0;
        r.osc.flags = flags;
        auto out = r.run(std::vector<int16_t>{0, 16384, 16384, 0});
        EXPECT_EQ(out[0], 0);
        EXPECT_EQ(out[1], -16384);  // phase moved by 16384 * 16 = a quarter cycle; sum replaced
        EXPECT_EQ(out[2], -16384);
        EXPECT_EQ(out[3], 0);  // back by the same amount
    }
}

TEST(Oscillator, FrequencyModulationByTheRunningSum) {
    Rig r;
    r.osc.frequency = 0;
    r.osc.flags = kFlagFM;
    auto out = r.run(std::vector<int16_t>(50, 441));
    const int64_t step = std::llrint(441.0 * 1048576.0 / 44100.0);
    for (int i = 0; i < 50; ++i) ASSERT_EQ(out[static_cast<size_t>(i)], sineOut((i + 1) * step)) << i;
    // With a frequency curve the accumulated value is reset every sample.
    Rig b;
    b.osc.frequency = 0;
    b.osc.flags = kFlagFM;
    std::vector<int16_t> fm(50, 0);
    b.in.frequencyMod = SoundBuffer{50, fm.data()};
    auto bout = b.run(std::vector<int16_t>(50, 441));
    EXPECT_EQ(bout[0], sineOut(step));
    for (int i = 1; i < 50; ++i) ASSERT_EQ(bout[static_cast<size_t>(i)], sineOut(step)) << i;
}

TEST(Oscillator, ModulationCurves) {
    // Frequency curve in eighths of a hertz equals the plain frequency.
    Rig plain, curved;
    std::vector<int16_t> fm(800, 440 * 8);
    curved.osc.frequency = 1;
    curved.in.frequencyMod = SoundBuffer{800, fm.data()};
    EXPECT_EQ(plain.run(800), curved.run(800));
    // Level curve in Q15.
    Rig v;
    v.osc.frequency = 0;
    v.osc.phase = 64;
    std::vector<int16_t> vm{16384, 32767, 0};
    v.in.volumeMod = SoundBuffer{3, vm.data()};
    auto vout = v.run(3);
    EXPECT_EQ(vout[0], -8192);
    EXPECT_EQ(vout[1], -16376);  // u = 32767 * 16384 / 262144 = 2047
    EXPECT_EQ(vout[2], 0);
    // Shape curve adds to the shape: 1024 + 16384/32 = 1536.
    Rig s;
    s.osc.frequency = 0;
    s.osc.phase = 32;
    std::vector<int16_t> sm{16384};
    s.in.shapeMod = SoundBuffer{1, sm.data()};
    EXPECT_EQ(s.run(1)[0], valueAtPhase(kWaveSine, 32, 1536));
    // Driving the shape below 0 (negative exponent) stays in range.
    Rig n;
    n.osc.shape = 0;
    std::vector<int16_t> neg(3000, -32768);
    n.in.shapeMod = SoundBuffer{3000, neg.data()};
    for (auto x : n.run(3000)) ASSERT_GE(x, -32767);
}

TEST(Oscillator, CalmStage) {
    // Frozen at the sine's peak: a constant E decays through both calm factors.
    Rig r;
    r.osc.frequency = 0;
    r.osc.phase = 64;
    auto out = r.run(6000, 1);
    int32_t level = 0, input = 0;
    for (int i = 0; i < 6000; ++i) {
        level = level * 32512 / 32768;
        level = level * 8180 / 8192;
        level = level + input - 16384;
        input = 16384;
        ASSERT_EQ(out[static_cast<size_t>(i)], level) << i;
    }
    EXPECT_EQ(out.back(), 0);
    // Moving: only the 8180/8192 pole, and the state words carry over.
    Rig m;
    auto a = m.run(500, 1);
    const int32_t lvl = m.osc.calmLevel();
    EXPECT_EQ(lvl, a.back());
    int32_t level2 = 0, input2 = 0;
    int64_t phi = 0;
    for (int i = 0; i < 500; ++i) {
        phi = (phi + 10462) % 1048576;
        const int32_t e = -sineOut(phi);
        level2 = level2 * 8180 / 8192;
        level2 = level2 + input2 - e;
        input2 = e;
        ASSERT_EQ(a[static_cast<size_t>(i)], level2) << i;
    }
    EXPECT_EQ(m.osc.calmInput(), input2);
    // Without calm a constant is output unchanged.
    Rig c;
    c.osc.frequency = 0;
    c.osc.phase = 64;
    for (auto v : c.run(100)) ASSERT_EQ(v, -16384);
}

TEST(Oscillator, NoiseAndLightNoise) {
    // Light noise: same sound whatever the generator held before.
    Rig a, b;
    a.osc.waveForm = b.osc.waveForm = kWaveLightNoise;
    a.rnd.seed = 1;
    b.rnd.seed = 123456789;
    const auto la = a.run(5000), lb = b.run(5000);
    EXPECT_EQ(la, lb);
    EXPECT_EQ(a.rnd.seed, b.rnd.seed);
    // Value for one cycle, frozen at cycle 5.
    Rig f;
    f.osc.waveForm = kWaveLightNoise;
    f.osc.frequency = 0;
    f.osc.cycleCount() = 5;
    Random g;
    g.seed = 5;
    g.seed = g.intDraw(2147483647u);
    g.seed += 5;
    g.seed = g.intDraw(2147483647u);
    g.seed = g.intDraw(2147483647u) * 19u;
    const double av = g.intDraw(65536u) / 32768.0 - 1.0;
    auto fo = f.run(3);
    for (auto v : fo) EXPECT_EQ(v, -rnd(av * 16384.0));
    EXPECT_EQ(f.rnd.seed, g.seed);

    // Noise: held within a cycle, redrawn at each boundary, seed dependent.
    Rig n1, n2, n3;
    n1.osc.waveForm = n2.osc.waveForm = n3.osc.waveForm = kWaveNoise;
    n1.rnd.seed = n2.rnd.seed = 42;
    n3.rnd.seed = 43;
    const auto o1 = n1.run(5000), o2 = n2.run(5000), o3 = n3.run(5000);
    EXPECT_EQ(o1, o2);
    EXPECT_NE(o1, o3);
    EXPECT_EQ(o1[0], 0);  // nothing drawn before the first boundary
    int changes = 0;
    for (size_t i = 1; i < o1.size(); ++i) changes += o1[i] != o1[i - 1];
    EXPECT_LE(changes, (5000 * 10462) / 1048576);
    EXPECT_GE(changes, 40);
}

TEST(Oscillator, ValuesBeyondFullScaleReachTheSumUnclamped) {
    // |Sine| at phase 0: A = -1, minus the 0.25 offset; at full level
    // E = -40960, and the sum gets 40960 - 10000.
    Rig r;
    r.osc.frequency = 0;
    r.osc.waveForm = kWaveAbsSine;
    r.osc.volume = 32768;
    EXPECT_EQ(r.run(std::vector<int16_t>(3, -10000)), std::vector<int16_t>(3, 30960));

    // A value no 32-bit integer holds (sin(pi) ~ 1.2e-16 bent by the
    // exponent -1/3 gives ~6.6e9) is held at the 16-bit edge: 30000 - 32768.
    Rig b;
    b.osc.frequency = 0;
    b.osc.phase = 128;
    b.osc.shape = 0;
    b.osc.volume = 32768;
    std::vector<int16_t> shape(3, -32768);
    b.in.shapeMod = SoundBuffer{3, shape.data()};
    EXPECT_EQ(b.run(std::vector<int16_t>(3, 30000)), std::vector<int16_t>(3, -2768));
}

TEST(Oscillator, DegenerateInputsStayDefined) {
    // Damaged state words and extreme settings must not hang or overflow.
    Rig r;
    r.in.sampleRate = 1000;
    r.osc.frequency = 2147483647;
    r.osc.relativeFrequency = 4000;
    r.osc.phaseAccumulator() = 2147483647;
    r.osc.cycleCount() = 2147483647;
    r.osc.calmLevel() = -2147483647 - 1;
    r.osc.calmInput() = 2147483647;
    r.osc.volume = 2147483647;
    r.osc.harmonicsActive = 1;
    for (auto& h : r.osc.harmonics) h = Harmonic{65535, 65535};
    auto out = r.run(2000, 1);
    for (auto v : out) ASSERT_GE(v, -32767);
    Rig z;
    z.in.sampleRate = 0;
    std::vector<int16_t> buf(10, 7);
    EXPECT_EQ(z.run(buf), buf);
    EXPECT_EQ(z.run(0).size(), 0u);
}

TEST(Oscillator, WaveformList) {
    const char* names[] = {"Sine", "|Sine|", "EvenSine", "Square", "Triangle", "Saw",
                           "2xSaw", "Noise", "Light noise", "Custom", "Sample 1", "Sample 2"};
    const uint8_t codes[] = {0, 1, 11, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(std::string(waveListName(i)), names[i]);
        EXPECT_EQ(waveListToCode(i), codes[i]);
        EXPECT_EQ(waveCodeToList(codes[i]), i);
    }
    EXPECT_EQ(waveCodeToList(12), -1);
    EXPECT_EQ(waveListName(12), nullptr);
}

TEST(Oscillator, HarmonicSineCodesMatchTheLibrarySine) {
    // Reference: the harmonic formulas evaluated with std::sin throughout,
    // all sixteen harmonics at mixed levels, summed with the per-step clamp.
    const double pi = 3.14159265358979323846;
    for (uint8_t code : {uint8_t{kWaveSine}, uint8_t{kWaveAbsSine}, uint8_t{kWaveEvenSine}}) {
        for (int levelSet = 0; levelSet < 3; ++levelSet) {
            Rig r;
            r.osc.frequency = 1237;
            r.osc.volume = 9000;
            r.osc.waveForm = code;
            r.osc.harmonicsActive = 1;
            for (int k = 1; k <= 16; ++k)
                r.osc.harmonics[static_cast<size_t>(k - 1)].level =
                    static_cast<uint16_t>(levelSet == 0 ? 256 : levelSet == 1 ? 256 / k : (k * 37) % 257);
            auto out = r.run(6000);
            const int64_t step = std::llrint(1237.0 * 1048576.0 / 44100.0);
            const int64_t u = int64_t{9000} * 256 / 256 / 8;
            for (int i = 0; i < 6000; ++i) {
                const int64_t g = ((i + 1) * step) % 1048576;
                int64_t e = 0;
                for (int k = 1; k <= 16; ++k) {
                    const int level = r.osc.harmonics[static_cast<size_t>(k - 1)].level;
                    if (level == 0) continue;
                    double a;
                    if (code == kWaveSine) {
                        a = std::sin(2.0 * pi * k * static_cast<double>(g) / 1048576.0);
                    } else if (code == kWaveAbsSine) {
                        a = 2.0 * std::fabs(std::sin(pi * k * static_cast<double>(g) / 1048576.0)) - 1.0;
                    } else {
                        const double xk = static_cast<double>((k * g) % 1048576) / 1048576.0;
                        a = (xk < 0.5 ? std::sin(2.0 * pi * k * static_cast<double>(g) / 1048576.0) : 0.0) - 0.35;
                    }
                    e += static_cast<int64_t>(rnd(level * a * 128.0)) * u / 4096;
                    e = std::clamp<int64_t>(e, -32767, 32767);
                }
                ASSERT_EQ(out[static_cast<size_t>(i)], -e) << "code " << int{code} << " set " << levelSet << " i " << i;
            }
        }
    }
}
