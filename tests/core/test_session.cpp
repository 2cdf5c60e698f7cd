#include <gtest/gtest.h>

#include "core/session.h"

using namespace kf;

TEST(Session, TimbreSwitchRoundTripRestoresEveryControl) {
    Session s;
    s.waitForRender();
    s.panel.cutOffModulation = srcBit(kSrcNone) | srcBit(kSrcLfo2);
    s.panel.reverbLength = 1234;
    s.chordEdit = "C-5,G-5,E-6";
    CurveData c;
    c.count = 3;
    c.points[1] = {8192, 30000};
    c.points[2] = {16384, 0};
    s.envelopeGraph.setData(c);
    s.osc.frequency = 777;
    s.osc.volumeSources = srcBit(kSrcEnv1);
    s.activeLights[0] = true;
    s.oscillatorControlChanged();
    s.waitForRender();
    TimbreRecord before;
    s.getTimbre(before);

    s.selectTimbre(1);
    EXPECT_EQ(s.panel.reverbLength, 200);
    EXPECT_EQ(s.osc.frequency, 523);
    s.selectTimbre(0);
    TimbreRecord after;
    s.getTimbre(after);
    EXPECT_EQ(toImage(before), toImage(after));
    EXPECT_EQ(s.osc.frequency, 777);
    EXPECT_EQ(s.envelopeGraph.data().points[1].y, 30000);
    EXPECT_TRUE(s.oscillatorsChanged || s.rendersDone() > 0);
}

TEST(Session, ChordTextIsCutAndWaveCodeAbove11KeepsTheList) {
    Session s;
    s.waitForRender();
    s.chordEdit = std::string(40, 'x');
    s.getTimbre(s.current());
    EXPECT_EQ(s.current().chordText().size(), 30u);
    s.osc.waveList = 4;
    s.current().oscillators[0].waveForm = 12;
    s.setOscillatorParams();
    EXPECT_EQ(s.osc.waveList, 4);
}

TEST(Session, NormalizeLeavesSilenceAndPresetRoundTrips) {
    Session s;
    s.waitForRender();
    s.normalize();
    s.waitForRender();
    EXPECT_EQ(s.panel.oscillatorsVolume, 256);
    PresetRecord p = s.getPreset();
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
    s.waitForRender();
    for (int k = 0; k < 4; ++k) {
        s.selectOscillator(k);
        s.activeLights[static_cast<size_t>(k)] = true;
        s.osc.volume = 256;
        s.oscillatorControlChanged();
    }
    s.panel.oscillatorsVolume = 256;
    s.timbreControlChanged();
    s.waitForRender();
    ASSERT_TRUE(s.clip.load());
    s.normalize();
    s.waitForRender();
    int32_t peak = 0;
    for (int16_t v : s.playBuffer.copy()) peak = std::max<int32_t>(peak, std::abs(int32_t{v}));
    EXPECT_LT(s.panel.oscillatorsVolume, 256);
    // Halved until at most 32700; a scaling after that aims at full scale.
    EXPECT_GE(peak, 16000) << s.panel.oscillatorsVolume;
    EXPECT_LE(peak, 32767);
}

TEST(Session, StreamStartResetsStateAndTakesTheLengthFromTheTempo) {
    Session s;
    s.waitForRender();
    s.selectOscillator(0);
    s.activeLights[0] = true;
    s.oscillatorControlChanged();
    s.waitForRender();
    s.midiQueue.push(5, 0x90u | 60u << 8 | 100u << 16);
    s.current().oscillators[0].phaseAccumulator() = 1234;
    s.panel.tempo = 112;
    s.realTimeMark = true;
    s.getTimbre(s.current());
    s.startStream();
    // 22050 / 112 * 0.000943529744775204 * 16384 * 32 notes.
    EXPECT_EQ(s.current().renderLength, 97390);
    EXPECT_EQ(s.current().oscillators[0].phaseAccumulator(), 0);
    EXPECT_EQ(s.midiQueue.writeIndex(), 0);
    s.panel.tempo = 0;
    s.tempoChanged();
    EXPECT_EQ(s.current().renderLength, 1);

    // Blocks continue one another: two halves equal one whole block.
    s.panel.tempo = 112;
    s.startStream();
    std::vector<int16_t> whole(1024), halves(1024);
    s.renderBlock(SoundBuffer{1024, whole.data()}, 0);
    s.startStream();
    s.renderBlock(SoundBuffer{512, halves.data()}, 0);
    s.renderBlock(SoundBuffer{512, halves.data() + 512}, 512);
    EXPECT_EQ(whole, halves);
    EXPECT_NE(whole, std::vector<int16_t>(1024, 0));
}
