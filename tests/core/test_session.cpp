#include <gtest/gtest.h>

#include "core/session.h"

using namespace kf;

namespace {

void activate(Session& s, int k, int32_t freq, int32_t volume = 128) {
    s.params().selectOscillator(k);
    s.params().set(offsetId(ParamId::Active1, k), 1);
    s.params().set(ParamId::OscFrequency, freq);
    s.params().set(ParamId::OscVolume, volume);
}

}  // namespace

TEST(Session, TimbreSwitchRoundTripRestoresEveryControl) {
    Session s;
    s.params().set(ParamId::CutOffModulation, srcBit(kSrcNone) | srcBit(kSrcLfo2));
    s.params().set(ParamId::ReverbLength, 1234);
    s.params().setChordText("C-5,G-5,E-6");
    CurveData c;
    c.count = 3;
    c.points[1] = {8192, 30000};
    c.points[2] = {16384, 0};
    s.params().setEnvelopeGraph(c);
    s.params().set(ParamId::OscVolumeModulation, srcBit(kSrcEnv1));
    activate(s, 0, 777);
    s.render().waitForRender();
    // The oscillators' running state is what the last render left: zero when
    // it reused the cached oscillators, which depends on how requests merged.
    auto controls = [](TimbreRecord t) {
        for (auto& o : t.oscillators) o.resetState();
        return toImage(t);
    };
    const TimbreRecord before = s.params().timbre();

    s.params().selectTimbre(1);
    EXPECT_EQ(s.params().get(ParamId::ReverbLength), 200);
    EXPECT_EQ(s.params().get(ParamId::OscFrequency), 523);
    s.params().selectTimbre(0);
    s.render().waitForRender();
    EXPECT_EQ(controls(before), controls(s.params().timbre()));
    EXPECT_EQ(s.params().get(ParamId::OscFrequency), 777);
    EXPECT_EQ(s.params().envelopeGraph().points[1].y, 30000);
    s.render().waitForRender();
}

TEST(Session, ChordTextIsCutAndWaveCodeAbove11KeepsTheList) {
    Session s;
    s.params().setChordText(std::string(40, 'x'));
    EXPECT_EQ(s.params().timbre().chordText().size(), 30u);
    s.params().set(ParamId::OscWaveForm, kWaveSaw);
    TimbreRecord t = s.params().timbre();
    t.oscillators[1].waveForm = 12;
    s.render().setAutoRender(false);
    s.params().replaceTimbre(t);
    s.params().selectOscillator(1);
    EXPECT_EQ(s.params().get(ParamId::OscWaveForm), kWaveSaw);  // the list keeps its item
    s.params().set(ParamId::OscWaveForm, 12);                   // no item: ignored
    EXPECT_EQ(s.params().get(ParamId::OscWaveForm), kWaveSaw);
}

TEST(Session, NormalizeLeavesSilenceAndPresetRoundTrips) {
    Session s;
    s.render().normalize();
    s.render().waitForRender();
    EXPECT_EQ(s.params().get(ParamId::OscillatorsVolume), 256);
    PresetRecord p = s.files().getPreset();
    EXPECT_EQ(p.ratePosition(), 4410);
    EXPECT_EQ(p.timbre.realTime, 0);
}

TEST(Session, NormalizeStepScalesHalvesOrStops) {
    // 128 * 32767 / 15000 + 1 = 280.6 -> 281, held at 256 by the scroll bar.
    NormalizeStep s = normalizeStep(128, 15000);
    EXPECT_EQ(s.position, 256);
    EXPECT_FALSE(s.again);
    EXPECT_EQ(normalizeStep(100, 20000).position, 165);  // 164.8 rounds up
    s = normalizeStep(256, 32701);
    EXPECT_EQ(s.position, 128);
    EXPECT_TRUE(s.again);
    EXPECT_FALSE(normalizeStep(0, 40000).changed);       // nothing left to halve
    EXPECT_FALSE(normalizeStep(128, 32700).changed);
    EXPECT_FALSE(normalizeStep(128, 30000).changed);
    EXPECT_FALSE(normalizeStep(128, 0).changed);
}

TEST(Session, NormalizeBringsAClippingSoundBelowFullScale) {
    Session s;
    for (int k = 0; k < 4; ++k) activate(s, k, 440 + 110 * k, 256);
    s.params().set(ParamId::OscillatorsVolume, 256);
    s.render().renderClick();
    s.render().waitForRender();
    ASSERT_TRUE(s.render().clip());
    s.render().normalize();
    s.render().waitForRender();
    int32_t peak = 0;
    for (int16_t v : s.render().playBuffer().copy()) peak = std::max<int32_t>(peak, std::abs(int32_t{v}));
    EXPECT_LT(s.params().get(ParamId::OscillatorsVolume), 256);
    // Halved until at most 32700; a scaling after that aims at full scale.
    EXPECT_GE(peak, 16000) << s.params().get(ParamId::OscillatorsVolume);
    EXPECT_LE(peak, 32767);
}

TEST(Session, StreamStartResetsStateAndTakesTheLengthFromTheTempo) {
    Session s;
    activate(s, 0, 440);
    s.render().waitForRender();
    s.params().set(ParamId::Tempo, 112);
    s.live().setRealTimeMark(true);
    s.live().midiQueue().push(5, 0x90u | 60u << 8 | 100u << 16);
    s.live().startStream();
    // 22050 / 112 * 0.000943529744775204 * 16384 * 32 notes.
    EXPECT_EQ(s.live().publishSnapshot()->timbre.renderLength, 97390);
    EXPECT_EQ(s.live().midiQueue().writeIndex(), 0);
    // A start puts the voices back at rest: the first block again.
    std::vector<int16_t> first(1024), again(1024);
    s.live().renderBlock(SoundBuffer{1024, first.data()}, 0);
    s.live().renderBlock(SoundBuffer{1024, again.data()}, 1024);
    s.live().startStream();
    s.live().renderBlock(SoundBuffer{1024, again.data()}, 0);
    EXPECT_EQ(first, again);
    s.params().set(ParamId::Tempo, 0);
    EXPECT_EQ(s.params().timbre(0).renderLength, 1);

    // Blocks continue one another: two halves equal one whole block.
    s.params().set(ParamId::Tempo, 112);
    s.live().startStream();
    std::vector<int16_t> whole(1024), halves(1024);
    s.live().renderBlock(SoundBuffer{1024, whole.data()}, 0);
    s.live().startStream();
    s.live().renderBlock(SoundBuffer{512, halves.data()}, 0);
    s.live().renderBlock(SoundBuffer{512, halves.data() + 512}, 512);
    EXPECT_EQ(whole, halves);
    EXPECT_NE(whole, std::vector<int16_t>(1024, 0));

    // The controllers' numbers and sensitivities reach the streaming voices at once.
    s.live().setControllerNumber(0, 20);
    s.live().setControllerSensitivity(1, 128);
    EXPECT_EQ(s.live().liveEngine()->latest()->controllerNumbers[0], 20);
    EXPECT_EQ(s.live().liveEngine()->latest()->gen.midiSensitivity[1], 128);
}

TEST(Session, ConstructionStartsNoRenderAndNotificationsWaitForTheDrain) {
    Session s;
    EXPECT_EQ(s.render().rendersDone(), 0u);
    std::vector<Notification> seen;
    int wakeups = 0;
    s.params().setWakeup([&] { ++wakeups; });
    s.params().subscribe([&](const Notification& n) {
        if (n.change != Change::History) seen.push_back(n);  // the undo menu's news is apart
    });
    s.render().setAutoRender(false);
    s.params().set(ParamId::CutOff, 300);  // above the bar: held at 255
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(wakeups, 1);
    s.params().set(ParamId::CutOff, 255);  // unchanged: nothing to tell
    s.params().drainNotifications();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].change, Change::Param);
    EXPECT_EQ(seen[0].id, ParamId::CutOff);
    EXPECT_EQ(seen[0].value, 255);
    EXPECT_EQ(s.render().rendersDone(), 0u);  // Auto Render off: no render
    s.render().renderClick();
    s.render().waitForRender();
    EXPECT_EQ(s.render().rendersDone(), 1u);
}
