#include <gtest/gtest.h>

#include <numeric>

#include "core/session.h"
#include "core/wave_view.h"

using namespace kf;

namespace {
std::vector<int16_t> ramp(size_t n) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<int16_t>(i % 32768);
    return s;
}
}  // namespace

TEST(WaveView, FullSpreadsTheWholeSoundOverTheDisplay) {
    DisplayBuffer d{};
    fullView(ramp(10240), d);
    for (int i = 0; i < kDisplaySamples; ++i) ASSERT_EQ(d[static_cast<size_t>(i)], 20 * i);
    d.fill(7);
    fullView({}, d);  // nothing rendered yet: a flat line, no read past the end
    EXPECT_EQ(d[0], 0);
    EXPECT_EQ(d[511], 0);
}

TEST(WaveView, ZoomedWindowFollowsTheTrackBar) {
    const auto s = ramp(10240);
    DisplayBuffer d{};
    zoomedView(s, 0, d);
    EXPECT_EQ(d[0], 0);
    EXPECT_EQ(d[511], 1022);
    zoomedView(s, 256, d);  // ends at the last 1024 samples
    EXPECT_EQ(d[0], 10240 - 1024);
    EXPECT_EQ(d[511], 10240 - 2);
    zoomedView(s, 128, d);
    EXPECT_EQ(d[0], (10240 - 1024) / 2);
}

TEST(WaveView, ShortSoundsKeepTheRestOfTheDisplayAndNeverReadBeforeTheStart) {
    const auto s = ramp(600);
    DisplayBuffer d;
    d.fill(-5);
    zoomedView(s, 256, d);  // the window would start before sample 0
    EXPECT_EQ(d[0], 0);
    EXPECT_EQ(d[299], 598);
    EXPECT_EQ(d[300], -5);  // past half the sound: unchanged
}

TEST(WaveView, CurveViewsFollowTheControls) {
    Session s;
    s.render().waitForRender();
    WaveViewer v;
    DisplayBuffer d{};
    // Envelope 1 with iterations 1 spans the display once: attack 0 starts at
    // full amplitude, release 720 falls to 0 before the end.
    v.fill(s, WaveView::Env1, 0, d);
    EXPECT_GT(d[0], 30000);
    EXPECT_EQ(d[511], 0);
    s.params().set(ParamId::Env1Amplitude, 512);  // amplitude halved
    s.render().waitForRender();
    v.fill(s, WaveView::Env1, 0, d);
    EXPECT_LT(d[0], 17000);
    EXPECT_GT(d[0], 15000);
    // LFO 1: 2 Hz sine at amplitude 256 x 4 starts at its top.
    v.fill(s, WaveView::Lfo1, 0, d);
    EXPECT_EQ(d[0], 1024);
    s.params().set(ParamId::Lfo1Amplitude, 0);
    s.render().waitForRender();
    v.fill(s, WaveView::Lfo1, 0, d);
    EXPECT_EQ(d[0], 0);
}
