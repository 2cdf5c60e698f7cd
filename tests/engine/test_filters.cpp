#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/filters.h"

using namespace kf;

namespace {
SoundBuffer view(std::vector<int16_t>& v) { return SoundBuffer{static_cast<int32_t>(v.size()), v.data()}; }
}  // namespace

TEST(AverageFilter, UnitBassWindowShiftsAndShowsTheEndEffect) {
    std::vector<int16_t> x{1, 2, 3, 4, 5, 6, 7, 8};
    averageFilter(view(x), 1, 0, 256);
    // x[i] := x[i+1] up to N-4, then 0, -x[N-2], -(x[N-2] + x[N-1]).
    EXPECT_EQ(x, (std::vector<int16_t>{2, 3, 4, 5, 6, 0, -7, -15}));
}

TEST(AverageFilter, FullTrebleAndBassPassesButClampsTo32512) {
    std::vector<int16_t> x(12, 32767);
    x[3] = -32768;
    x[4] = 1000;
    std::vector<int16_t> in = x;
    averageFilter(view(x), 3, 256, 256);
    for (size_t i = 0; i + 3 < x.size(); ++i)
        EXPECT_EQ(x[i], std::clamp<int>(in[i], -32512, 32512)) << i;
}

TEST(AverageFilter, ZeroWidthDoesNothing) {
    std::vector<int16_t> x{5, -5, 32767};
    averageFilter(view(x), 0, 0, 256);
    EXPECT_EQ(x, (std::vector<int16_t>{5, -5, 32767}));
}

TEST(AverageFilter, WindowWiderThanBufferReadsNothingBeyondIt) {
    // Storage beyond the count holds loud samples that must not be summed.
    std::vector<int16_t> store{100, 100, 100, 100, 30000, 30000, 30000, 30000, 30000, 30000, 30000, 30000};
    averageFilter(SoundBuffer{4, store.data()}, 10, 0, 256);
    EXPECT_EQ(store[0], 30);  // (100+100+100)/10
    EXPECT_EQ(store[1], 20);
    EXPECT_EQ(store[2], 10);
    EXPECT_EQ(store[3], 0);
    EXPECT_EQ(store[4], 30000);
}

TEST(CutOffLowPass, LargestChainCoefficientSettlesByTruncation) {
    std::vector<int16_t> x(6, 10000);
    CutOffState st;
    st.yLp = 1234;  // reset must clear it
    cutOffLowPass(view(x), 32640, nullptr, true, st);
    EXPECT_EQ(x[0], 9960);
    for (size_t i = 1; i < x.size(); ++i) EXPECT_EQ(x[i], 9999);
    EXPECT_EQ(st.yLp, 9999);
}

TEST(CutOffLowPass, CurveReplacesCoefficientAndUnstableCurveWrapsIn32Bits) {
    std::vector<int16_t> x(4, 10000), curve(4, 0);
    CutOffState st;
    SoundBuffer cv = view(curve);
    cutOffLowPass(view(x), 32640, &cv, true, st);  // k = 0 per sample: holds 0
    EXPECT_EQ(x, (std::vector<int16_t>(4, 0)));

    // A negative coefficient (c = 65536) makes the memory grow until the
    // 32-bit sum x*k + c*y wraps: -20000, -60000, then
    // (-655360000 - 3932160000) wraps to -292552704, so y = -8928.
    std::vector<int16_t> y(6, 20000), c2(6, -32768);
    SoundBuffer cv2 = view(c2);
    cutOffLowPass(view(y), 0, &cv2, true, st);
    EXPECT_EQ(y, (std::vector<int16_t>{-20000, -32767, -8928, -32767, 32767, 32767}));
    EXPECT_EQ(st.yLp, 50720);  // the memory keeps the unclamped value
}

TEST(CutOffHighPass, ZeroCoefficientIsSilentAndConstantInputDecays) {
    std::vector<int16_t> x(50, 12345);
    CutOffState st;
    cutOffHighPass(view(x), 0, nullptr, true, st);
    EXPECT_EQ(x, (std::vector<int16_t>(50, 0)));

    std::vector<int16_t> y(20000, 10000);
    cutOffHighPass(view(y), 32767, nullptr, true, st);
    EXPECT_EQ(y[0], 9999);  // k = 32767^2/32768 = 32766
    for (size_t i = 1; i < y.size(); ++i) ASSERT_LE(y[i], y[i - 1]) << i;
    EXPECT_EQ(y.back(), 0);
    EXPECT_EQ(st.xPrev, 10000);
}

TEST(Resonance, CoefficientAndFirstStepsTruncateTowardZero) {
    EXPECT_EQ(resonanceCoefficient(8000, 8000), 40426);  // (2*pi/8)^2 * 65536
    EXPECT_EQ(resonanceCoefficient(0, 44100), 0);
    EXPECT_EQ(resonanceCoefficient(100, 0), 0);

    std::vector<int16_t> x(4, 10000);
    Resonator r;
    r.sound = view(x);
    r.volume = 256;
    r.calmingSpeed = 1024;
    r.dependence = 0;
    r.frequency = 8000;
    resonanceFilter(r, 8000);
    EXPECT_EQ(x, (std::vector<int16_t>{0, 6168, 14699, 20334}));
}

TEST(Resonance, VolumeZeroPassesAndUntunedNeverMoves) {
    std::vector<int16_t> x{-32768, 100, -5, 32767, 7};
    Resonator r;
    r.sound = view(x);
    r.volume = 0;
    r.frequency = 4000;
    resonanceFilter(r, 22050);
    EXPECT_EQ(x, (std::vector<int16_t>{-32767, 100, -5, 32767, 7}));

    std::vector<int16_t> y{1000, -1001, 30000, 3};
    Resonator u;
    u.sound = view(y);
    u.volume = 128;
    u.frequency = 0;
    resonanceFilter(u, 22050);
    EXPECT_EQ(y, (std::vector<int16_t>{500, -500, 15000, 1}));
    EXPECT_EQ(u.position, 0);
    EXPECT_EQ(u.velocity, 0);
}

TEST(Resonance, CurveMatchesSampleBySampleTuning) {
    // The curve (with its coefficient cache) must behave as if each sample
    // were processed alone with that tuning.
    const int n = 300;
    std::vector<int16_t> x(n), curve(n);
    for (int i = 0; i < n; ++i) {
        x[i] = static_cast<int16_t>((i * 2654435761u) % 50000 - 25000);
        curve[i] = static_cast<int16_t>(i < 100 ? 3000 : (i < 150 ? -20 : (i % 3) * 1500));
    }
    std::vector<int16_t> ref = x;
    Resonator r;
    r.sound = view(x);
    SoundBuffer cv = view(curve);
    r.modulation = &cv;
    r.frequency = 999;  // ignored while the curve is present
    resonanceFilter(r, 11025);

    int32_t pos = 0, vel = 0;
    for (int i = 0; i < n; ++i) {
        Resonator one;
        one.sound = SoundBuffer{1, &ref[i]};
        one.frequency = curve[i] < 0 ? 0 : curve[i];
        one.position = pos;
        one.velocity = vel;
        resonanceFilter(one, 11025);
        pos = one.position;
        vel = one.velocity;
    }
    EXPECT_EQ(x, ref);
    EXPECT_EQ(r.position, pos);
    EXPECT_EQ(r.velocity, vel);
}

TEST(Resonance, TuningBeyondThirtyTwoBitsCalmsAgain) {
    // Curve 32767 at 1000 Hz gives k ~ 4.3e7: d*k needs more than 32 bits
    // (formed wide) and the resonator is unstable; once untuned it calms.
    const int n = 4000;
    std::vector<int16_t> x(n), curve(n, 32767);
    for (int i = 0; i < n / 2; ++i) x[i] = static_cast<int16_t>(i % 2 ? 32767 : -32768);
    std::fill(curve.begin() + n / 2, curve.end(), 0);
    Resonator r;
    r.sound = view(x);
    SoundBuffer cv = view(curve);
    r.modulation = &cv;
    resonanceFilter(r, 1000);
    for (int16_t v : x) ASSERT_GE(v, -32767);
    EXPECT_EQ(x.back(), 0);
    EXPECT_EQ(r.position, 0);
    EXPECT_EQ(r.velocity, 0);
}

TEST(Resonance, StateProductsWrapIn32Bits) {
    // Untuned (k = 0): q = 1024 * 55706 / 65536 = 870. Position 3000000
    // times 870 wraps to -1684967296, so the position turns negative.
    std::vector<int16_t> x(3, 0);
    Resonator r;
    r.sound = view(x);
    r.volume = 256;
    r.calmingSpeed = 1024;
    r.dependence = 0;
    r.position = 3000000;
    resonanceFilter(r, 22050);
    EXPECT_EQ(x, (std::vector<int16_t>{32767, -32767, -32767}));
    EXPECT_EQ(r.position, -1187762);
    EXPECT_EQ(r.velocity, 0);
}
