#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "engine/arith.h"
#include "engine/effects.h"

using namespace kf;

namespace {
SoundBuffer view(std::vector<int16_t>& v) { return SoundBuffer{static_cast<int32_t>(v.size()), v.data()}; }

std::vector<int16_t> noise(size_t n, uint32_t seed) {
    Random r;
    r.seed = seed;
    std::vector<int16_t> v(n);
    for (auto& s : v) s = static_cast<int16_t>(r.draw(65536) - 32768);
    return v;
}
}  // namespace

// --- feedback delay -------------------------------------------------------

TEST(FeedbackDelay, ImpulseReturnsEveryDelay) {
    std::vector<int16_t> x(8000, 0);
    x[0] = 10000;
    EffectsState st;
    feedbackDelay(view(x), st, 32768, 32768, 3520, 256, false, true);
    for (size_t i = 0; i < x.size(); ++i) {
        const int expected = (i == 0 || i == 3520 || i == 7040) ? 10000 : 0;
        ASSERT_EQ(x[i], expected) << i;
    }
}

TEST(FeedbackDelay, NoDecayKeepsSoundButOldCutOffMemoryLeaks) {
    std::vector<int16_t> x = noise(1000, 7), in = x;
    EffectsState st;
    st.feedbackMem = 10000;
    feedbackDelay(view(x), st, 32768, 0, 100, 256, false, true);
    EXPECT_EQ(x, in);

    // The memory survives a reset; with Cut 128 it halves into the ring.
    std::vector<int16_t> z(300, 0);
    EffectsState s2;
    s2.feedbackMem = 10000;
    feedbackDelay(view(z), s2, 32768, 0, 100, 128, false, true);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(z[i], 0);
    EXPECT_EQ(z[100], 5000);
    EXPECT_EQ(z[101], 2500);
    EXPECT_EQ(z[102], 1250);
    EXPECT_EQ(z[103], 625);
    EXPECT_EQ(z[200], 0);
}

TEST(FeedbackDelay, CyclicWrapsTheTailIntoTheStart) {
    std::vector<int16_t> x(1000, 0);
    x[950] = 10000;
    EffectsState st;
    feedbackDelay(view(x), st, 32768, 32768, 300, 256, true, true);
    EXPECT_EQ(x[50], 10000);
    EXPECT_EQ(x[350], 10000);
    EXPECT_EQ(x[650], 10000);
    EXPECT_EQ(x[950], 20000);
    EXPECT_EQ(x[0], 0);
    EXPECT_EQ(x[949], 0);
}

TEST(FeedbackDelay, ZeroDelayIsInertAndLongDelayIsLimitedToTheRing) {
    std::vector<int16_t> x = noise(500, 3), in = x;
    EffectsState st;
    feedbackDelay(view(x), st, 32768, 32768, 0, 200, true, true);
    EXPECT_EQ(x, in);
    EXPECT_EQ(st.feedbackPos, 0);

    std::vector<int16_t> y(70000, 0);
    y[0] = 10000;
    feedbackDelay(view(y), st, 32768, 32768, 70000, 256, false, true);
    EXPECT_EQ(y[65536], 10000);
    EXPECT_EQ(std::count(y.begin(), y.end(), 0), 70000 - 2);
}

TEST(FeedbackDelay, RealTimeBlocksContinueTheRing) {
    std::vector<int16_t> whole = noise(3000, 11);
    std::vector<int16_t> a(whole.begin(), whole.begin() + 1100), b(whole.begin() + 1100, whole.end());
    EffectsState s1, s2;
    feedbackDelay(view(whole), s1, 23040, 25000, 777, 192, false, true);
    feedbackDelay(view(a), s2, 23040, 25000, 777, 192, false, true);
    feedbackDelay(view(b), s2, 23040, 25000, 777, 192, false, false);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), whole.begin()));
    EXPECT_TRUE(std::equal(b.begin(), b.end(), whole.begin() + 1100));
    EXPECT_EQ(s1.feedbackPos, s2.feedbackPos);
    EXPECT_EQ(s1.feedbackMem, s2.feedbackMem);
}

// --- reverb ---------------------------------------------------------------

TEST(Reverb, ZeroLengthChangesNothingAndZeroWetOnlyScalesDry) {
    std::vector<int16_t> x = noise(2000, 5), in = x, scratch(2000);
    EffectsState st;
    CutOffState cut;
    Random rng;
    rng.seed = 42;
    reverb(view(x), view(scratch), 32767, 15000, 0, 15, 192 * 127, 22050, rng, cut, st);
    EXPECT_EQ(x, in);
    EXPECT_EQ(rng.seed, 42u);

    reverb(view(x), view(scratch), 16384, 0, 50, 10, 192 * 127, 22050, rng, cut, st);
    for (size_t i = 0; i < x.size(); ++i) ASSERT_EQ(x[i], in[i] / 2) << i;  // truncated toward zero
}

TEST(Reverb, OneTapLandsAtItsDrawnOffsetWithCubicGain) {
    std::vector<int16_t> x(40, 0), scratch(40);
    x[0] = 10000;
    EffectsState st;
    CutOffState cut;
    Random rng, expectRng;
    rng.seed = expectRng.seed = 987654321u;
    // 1000 Hz: Length 8 ms = 8 samples (one slot), Attack 5 ms = 5 samples.
    reverb(view(x), view(scratch), 0, 20000, 8, 5, 32767, 1000, rng, cut, st);
    const int r = expectRng.draw(8);
    const int64_t g = int64_t{expectRng.draw(40001)} - 20000;
    const int64_t gain = roundHalfEven(static_cast<long double>(g * 8) / 9 * 8 / 9 * 8 / 9);
    EXPECT_EQ(rng.seed, expectRng.seed);
    for (int i = 0; i < 40; ++i) {
        // scratch[0] = 10000 low-passed once = 9999; nothing else is non-zero.
        const int64_t expected = i == 5 + r ? 9999 * gain / 32768 : 0;
        ASSERT_EQ(x[i], expected) << i;
    }
}

// A negative pre-delay (a damaged record) moves taps before the sound's
// start; those taps lose their head instead of reading past the scratch.
TEST(Reverb, NegativeAttackTapsStayInsideTheSound) {
    std::vector<int16_t> x(40, 0), scratch(40);
    x[10] = 10000;
    EffectsState st;
    CutOffState cut;
    Random rng;
    rng.seed = 5;
    reverb(view(x), view(scratch), 0, 20000, 8, -6, 32767, 1000, rng, cut, st);
    // The one tap lands at -6 + r (r < 8): the impulse appears at 4 + r.
    int nonZero = 0;
    for (int i = 0; i < 40; ++i) nonZero += x[i] != 0;
    EXPECT_LE(nonZero, 2);
}

TEST(Reverb, SameSeedSameSoundAndTwoDrawsPerTap) {
    std::vector<int16_t> in = noise(3000, 9);
    auto run = [&](uint32_t seed, Random& rng) {
        std::vector<int16_t> x = in, scratch(x.size());
        EffectsState st;
        CutOffState cut;
        rng.seed = seed;
        reverb(view(x), view(scratch), 32767, 15000, 100, 0, 192 * 127, 1000, rng, cut, st);
        return x;
    };
    Random r1, r2, r3;
    auto a = run(1, r1), b = run(1, r2), c = run(2, r3);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    Random ref;
    ref.seed = 1;
    for (int i = 0; i < 2 * 13; ++i) ref.step();  // Ls = 100: taps j = 0..12
    EXPECT_EQ(r1.seed, ref.seed);
}

TEST(Reverb, LoudLongReverbKeepsTheTapSign) {
    // Wet 32767 with a 2 s reverb at 48 kHz: g*h exceeds 32 bits.
    Random probe;
    uint32_t seed = 1;
    for (;; ++seed) {
        probe.seed = seed;
        probe.draw(8);
        if (std::abs(probe.draw(65535) - 32767) > 30000) break;
    }
    probe.seed = seed;
    const int r = probe.draw(8);
    const int g = probe.draw(65535) - 32767;

    const int n = 96000;
    std::vector<int16_t> x(n, 0), scratch(n);
    x[0] = 10000;
    EffectsState st;
    CutOffState cut;
    Random rng;
    rng.seed = seed;
    reverb(view(x), view(scratch), 0, 32767, 2000, 0, 32767, 48000, rng, cut, st);
    const int expected = 9999 * g / 32768;
    EXPECT_NEAR(x[r], expected, 1);
    EXPECT_EQ(x[r] > 0, g > 0);
}

// --- flanger --------------------------------------------------------------

TEST(Flanger, NoCrossFadeOrNoDelayGivesTheInput) {
    std::vector<int16_t> x = noise(3000, 21), in = x;
    EffectsState st;
    flanger(view(x), st, 0, 0, 0, 20, 50, 22050);
    EXPECT_EQ(x, in);
    flanger(view(x), st, 3000, 32768, 0, 0, 500, 22050);
    EXPECT_EQ(x, in);
}

TEST(Flanger, FixedDelayReadsTheRingBehind) {
    std::vector<int16_t> x = noise(200, 22), in = x;
    EffectsState st;
    flanger(view(x), st, 0, 32768, 5, 5, 300, 44100);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(x[i], 0);  // the ring starts silent
    for (int i = 5; i < 200; ++i) ASSERT_EQ(x[i], in[i - 5]) << i;
}

TEST(Flanger, BlocksAtAbsolutePositionsMatchOneCall) {
    std::vector<int16_t> whole = noise(5000, 23);
    std::vector<int16_t> a(whole.begin(), whole.begin() + 1234), b(whole.begin() + 1234, whole.end());
    EffectsState s1, s2;
    flanger(view(whole), s1, 10000, 16384, 20, 2, 137, 22050);  // min > max is swapped
    flanger(view(a), s2, 10000, 16384, 2, 20, 137, 22050);
    flanger(view(b), s2, 10000 + 1234, 16384, 2, 20, 137, 22050);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), whole.begin()));
    EXPECT_TRUE(std::equal(b.begin(), b.end(), whole.begin() + 1234));
}

// --- chorus ---------------------------------------------------------------

TEST(Chorus, OneVoiceHalvesAndAddsOneCopy) {
    std::vector<int16_t> x = noise(1000, 31), in = x;
    EffectsState st;
    Random rng;
    chorus(view(x), 256, 1, 0, 800, rng, st);  // no delay: the copy lines up
    for (size_t i = 0; i < x.size(); ++i) ASSERT_EQ(x[i], 2 * (in[i] / 2)) << i;

    // With a delay the added copy lies between the ramp's values at i and i + M + 1.
    const int n = 3000, m = 70;
    std::vector<int16_t> ramp(n);
    for (int i = 0; i < n; ++i) ramp[i] = static_cast<int16_t>(i);
    chorus(view(ramp), 256, 1, m, 800, rng, st);
    for (int i = 0; i + m + 1 < n; ++i) {
        const int added = ramp[i] - i / 2;
        ASSERT_GE(added, i / 2 - 1) << i;
        ASSERT_LE(added, (i + m + 1) / 2 + 1) << i;
    }
}

TEST(Chorus, SegmentCarriesOverVoicesAndOnlyPhaseIsRedrawn) {
    std::vector<int16_t> x = noise(1000, 32);
    EffectsState st;
    Random rng, ref;
    rng.seed = ref.seed = 77;
    // R = 800: segments of 5512 samples, so one segment draw serves both voices.
    chorus(view(x), 512, 2, 70, 800, rng, st);
    for (int i = 0; i < 3; ++i) ref.step();
    EXPECT_EQ(rng.seed, ref.seed);
}

TEST(Chorus, DegenerateSettingsDoNotDivideByZeroOrReadOutside) {
    std::vector<int16_t> x = noise(100, 33), in = x;
    EffectsState st;
    Random rng;
    chorus(view(x), 0, 3, 70, 800, rng, st);  // no volume: untouched
    EXPECT_EQ(x, in);
    chorus(view(x), 1 << 30, 1, 70, 800, rng, st);  // e would round to 0
    chorus(view(x), 256, 20, 500, 0, rng, st);       // delay past the end, rate 0
    chorus(view(x), 256, 20, 5, 2000000000, rng, st);
    SUCCEED();
}

// --- every processor on bounded input ------------------------------------

TEST(Effects, EveryProcessorStaysInRangeOnExtremeInput) {
    struct Proc {
        const char* name;
        std::function<void(std::vector<int16_t>&)> run;
        int lo, hi;
    };
    const std::vector<Proc> procs = {
        {"average", [](auto& v) { averageFilter(view(v), 7, 200, 256); }, -32512, 32512},
        {"window", [](auto& v) { averageFilter(view(v), 100, 255, 0); averageFilter(view(v), 40, 0, 255); },
         -32512, 32512},
        {"lowpass", [](auto& v) { CutOffState s; cutOffLowPass(view(v), 32640, nullptr, true, s); }, -32767, 32767},
        {"lowpass-curve", [](auto& v) {
             std::vector<int16_t> c = noise(v.size(), 5);
             SoundBuffer cv = view(c);
             CutOffState s;
             cutOffLowPass(view(v), 0, &cv, true, s);
         }, -32767, 32767},
        {"highpass", [](auto& v) {
             std::vector<int16_t> c = noise(v.size(), 6);
             SoundBuffer cv = view(c);
             CutOffState s;
             cutOffHighPass(view(v), 0, &cv, true, s);
         }, -32767, 32767},
        {"resonance", [](auto& v) {
             std::vector<int16_t> c = noise(v.size(), 8);
             SoundBuffer cv = view(c);
             Resonator r;
             r.sound = view(v);
             r.volume = 512;
             r.dependence = 512;
             r.calmingSpeed = 1024;
             r.modulation = &cv;
             resonanceFilter(r, 1000);
         }, -32767, 32767},
        {"feedback", [](auto& v) { EffectsState s; feedbackDelay(view(v), s, 32768, 32768, 16, 0, true, true); },
         -32767, 32767},
        {"reverb", [](auto& v) {
             std::vector<int16_t> scratch(v.size());
             EffectsState s;
             CutOffState c;
             Random rng;
             reverb(view(v), view(scratch), 32767, 32767, 2000, 0, 32512, 1000, rng, c, s);
         }, -32767, 32767},
        {"flanger", [](auto& v) { EffectsState s; flanger(view(v), s, 0, 32768, 0, 100, 500, 1000); }, -32768, 32767},
        {"chorus", [](auto& v) { EffectsState s; Random r; chorus(view(v), 1024, 20, 500, 10000, r, s); },
         -32768, 32767},
    };
    std::vector<std::vector<int16_t>> inputs = {std::vector<int16_t>(2500, 32767), std::vector<int16_t>(2500, -32767),
                                                std::vector<int16_t>(2500, -32768), noise(2500, 99)};
    std::vector<int16_t> alt(2500);
    for (size_t i = 0; i < alt.size(); ++i) alt[i] = i % 2 ? 32767 : -32768;
    inputs.push_back(alt);
    for (const auto& p : procs) {
        std::vector<int16_t> zero(2500, 0);
        p.run(zero);
        EXPECT_EQ(std::count(zero.begin(), zero.end(), 0), 2500) << p.name;
        for (auto in : inputs) {
            p.run(in);
            const auto [mn, mx] = std::minmax_element(in.begin(), in.end());
            EXPECT_GE(*mn, p.lo) << p.name;
            EXPECT_LE(*mx, p.hi) << p.name;
        }
    }
}
