#include <gtest/gtest.h>

#include <vector>

#include "engine/arith.h"
#include "engine/engine.h"
#include "engine/oscillator.h"
#include "engine/render_thread.h"

using namespace kf;

namespace {

TimbreRecord oneSine(int32_t freq) {
    TimbreRecord t;
    t.oscillators[0].active = 1;
    t.oscillators[0].frequency = freq;
    t.renderLength = 4096;
    return t;
}

std::vector<int16_t> render(Engine& e, TimbreRecord& t, int32_t n, bool changed = true) {
    std::vector<int16_t> out(static_cast<size_t>(e.capacity()));
    SoundBuffer b{n, out.data()};
    e.renderPosition = 0;
    e.renderTimbre(b, t, changed);
    out.resize(static_cast<size_t>(b.count));
    return out;
}

std::vector<int16_t> plainOscillator(Engine& e, OscillatorRecord o, int32_t n) {
    std::vector<int16_t> out(static_cast<size_t>(n));
    OscillatorInputs in;
    in.sampleRate = e.sampleRate;
    in.customWave = e.customWave.data();
    in.random = &e.random;
    renderOscillator(SoundBuffer{n, out.data()}, 256, o, in, 0);
    return out;
}

}  // namespace

TEST(Chain, ChordTokens) {
    EXPECT_EQ(chordTokenToNote("C-5"), 61);
    EXPECT_EQ(chordTokenToNote("c5"), 61);
    EXPECT_EQ(chordTokenToNote("e5"), 65);
    EXPECT_EQ(chordTokenToNote("G#10"), 129);
    EXPECT_EQ(chordTokenToNote("H-5"), 0);
    EXPECT_EQ(chordTokenToNote(" E-5"), 0);
    EXPECT_EQ(chordTokenToNote("E-05"), 0);
    EXPECT_EQ(chordTokenToNote(""), 0);
}

TEST(Chain, ChordSumsNotesWithPhasesRestarted) {
    Engine e;
    TimbreRecord t = oneSine(523);
    t.chordActive = 1;
    t.setChordText("c5,e5");
    auto chord = render(e, t, 4096);
    EXPECT_EQ(t.oscillators[0].frequency, 523) << "frequencies are restored after the chord";

    OscillatorRecord o = t.oscillators[0];
    o.resetState();
    o.frequency = 262;
    auto c = plainOscillator(e, o, 4096);
    o.resetState();
    o.frequency = 330;
    auto ee = plainOscillator(e, o, 4096);
    for (size_t i = 0; i < c.size(); ++i) ASSERT_EQ(chord[i], clampSample(c[i] + ee[i])) << i;

    // An empty text is one C-5; a bad token repeats the previous note.
    TimbreRecord single = oneSine(523);
    single.chordActive = 1;
    single.setChordText("");
    auto one = render(e, single, 4096);
    for (size_t i = 0; i < c.size(); ++i) ASSERT_EQ(one[i], c[i]);
    single.setChordText("C-5,H-5");
    auto twice = render(e, single, 4096);
    for (size_t i = 0; i < c.size(); ++i) ASSERT_EQ(twice[i], clampSample(2 * c[i]));
    single.setChordText("C-5,");  // two commas in a row: an empty second token
    auto empty = render(e, single, 4096);
    EXPECT_EQ(empty, twice);
}

TEST(Chain, FirstUnknownTokenKeepsOwnFrequencies) {
    Engine e;
    TimbreRecord t = oneSine(440);
    t.chordActive = 1;
    t.setChordText("xx");
    auto a = render(e, t, 2048);
    TimbreRecord plain = oneSine(440);
    auto b = render(e, plain, 2048);
    EXPECT_EQ(a, b);
}

TEST(Chain, CacheReuseIsBitIdentical) {
    Engine e;
    TimbreRecord t = oneSine(300);
    t.oscillators[0].waveForm = kWaveNoise;  // differs between renders unless cached
    t.cutOffActive = 1;
    auto first = render(e, t, 4096);
    t.cutOff = 40;
    auto fromCache = render(e, t, 4096, false);
    EXPECT_NE(first, fromCache);
    t.cutOff = 128;
    auto again = render(e, t, 4096, false);
    EXPECT_EQ(first, again);
}

TEST(Chain, SilenceIsAppendedOnlyWithFeedback) {
    Engine e;
    e.allocate(1024 * 20);
    TimbreRecord t = oneSine(440);
    t.additionalSilence = 10;
    EXPECT_EQ(render(e, t, 4096).size(), 4096u);
    t.feedBackActive = 1;
    EXPECT_EQ(render(e, t, 4096).size(), 4096u + 10 * 44100 / 128);
}

TEST(Bank, NoneOnlyIsUnmodulatedAndInactiveIsUntouched) {
    Engine e;
    TimbreRecord t = oneSine(440);
    t.oscillators[1].frequency = 880;  // inactive
    std::vector<int16_t> out(2048);
    SoundBuffer b{2048, out.data()};
    e.renderOscillatorBank(t, b, 1, false);
    OscillatorRecord o = oneSine(440).oscillators[0];
    EXPECT_EQ(out, plainOscillator(e, o, 2048));
    EXPECT_EQ(t.oscillators[1].phaseAccumulator(), 0);
    // The other pass leaves the target alone.
    std::vector<int16_t> copy = out;
    e.renderOscillatorBank(t, b, 0, false);
    EXPECT_EQ(out, copy);
}

TEST(Bank, SequencerCurveSetsThePitch) {
    Engine e;
    e.sequencerFrequency = [](SoundBuffer& b, int32_t, int32_t) {
        fillSound(b, 3520);  // 440 Hz in eighths
        return Status::success();
    };
    TimbreRecord t = oneSine(523);
    t.oscillators[0].frequencyModulation.sources = srcBit(kSrcSeq);
    std::vector<int16_t> out(2048);
    e.renderOscillatorBank(t, SoundBuffer{2048, out.data()}, 1, false);
    EXPECT_EQ(out, plainOscillator(e, oneSine(440).oscillators[0], 2048));

    TimbreRecord octave = oneSine(1046);
    octave.oscillators[0].frequencyModulation.sources = srcBit(kSrcSeq);
    std::vector<int16_t> up(2048);
    e.renderOscillatorBank(octave, SoundBuffer{2048, up.data()}, 1, false);
    EXPECT_EQ(up, plainOscillator(e, oneSine(880).oscillators[0], 2048));
}

// Sources shared by several oscillators sound as if each use generated them,
// also when a noise oscillator moves the random seed between two uses.
TEST(Bank, SharedSourcesMatchGeneratingEachUse) {
    for (int source : {int(kSrcEnv1), int(kSrcLfo1), int(kSrcLfo2), int(kSrcGraph), int(kSrcNoise)}) {
        Engine e;
        e.gen.env[0] = EnvelopeParams{100, 300, 500, 32768, 0, 200, 2};
        e.gen.lfo[0] = LfoParams{80, 8000, 0, 0, 0};
        e.gen.lfo[1] = LfoParams{200, 8000, 0, 0, 6};  // random steps
        e.gen.noise = NoiseParams{3000, 8000, 0};
        TimbreRecord t;
        t.renderLength = 4096;
        for (size_t k = 0; k < 3; ++k) {
            OscillatorRecord& o = t.oscillators[k];
            o.active = 1;
            o.frequency = 200 + 100 * static_cast<int32_t>(k);
            if (k == 1) o.waveForm = kWaveLightNoise;
            o.volume = 8000;
            o.volumeModulation.sources = srcBit(source);
            o.frequencyModulation.sources = srcBit(source);
        }
        const Random seed = e.random;
        std::vector<int16_t> together = render(e, t, 4096);

        // Each oscillator alone, in order, with the generator where the previous one left it.
        Engine f;
        f.gen = e.gen;
        f.random = seed;
        std::vector<int16_t> sum(4096, 0);
        for (size_t k = 0; k < 3; ++k) {
            TimbreRecord one;
            one.renderLength = 4096;
            one.oscillators[k] = t.oscillators[k];
            one.oscillators[k].resetState();
            std::vector<int16_t> part = render(f, one, 4096);
            for (size_t i = 0; i < sum.size(); ++i) sum[i] = static_cast<int16_t>(clampSample(sum[i] + part[i]));
        }
        EXPECT_EQ(together, sum) << "source " << source;
    }
}

TEST(Driver, OverdriveCheck) {
    std::vector<int16_t> s{100, -32699, 5};
    auto r = checkIfOverdriven(s.data(), 3);
    EXPECT_FALSE(r.clip);
    EXPECT_EQ(r.level, 32699 / 128);
    s = {100, 32700, 32767};
    r = checkIfOverdriven(s.data(), 3);
    EXPECT_TRUE(r.clip);
    EXPECT_EQ(r.level, 32700 / 128);  // the peak stops at the clipping sample
    s = {32767, 0};
    EXPECT_EQ(checkIfOverdriven(s.data(), 2).level, 255);
    s = {-32768};
    EXPECT_EQ(checkIfOverdriven(s.data(), 1).level, 255);
}

// A "Seq" unit without an input writes nothing: the main volume modulation
// then multiplies by what the source buffer holds, the LFO curve the
// unfiltered oscillator's level modulation left there, whether the LFO was
// generated or taken from the source cache.
TEST(Bank, UnitWithoutInputLeavesThePreviousSourceInTheBuffer) {
    Engine e;
    e.gen.lfo[0] = LfoParams{32, 0, 16384, 0, 0};  // a constant 16384
    e.sequencerFrequency = [](SoundBuffer&, int32_t, int32_t) { return Status::success(); };
    TimbreRecord t;
    t.renderLength = 1024;
    OscillatorRecord& held = t.oscillators[0];  // filtered: Square at 0 Hz, a constant -16384
    held.active = 1;
    held.frequency = 0;
    held.waveForm = kWaveSquare;
    OscillatorRecord& silent = t.oscillators[1];  // unfiltered, level 0
    silent.active = 1;
    silent.flags = 0;
    silent.volume = 0;
    silent.volumeModulation.sources = srcBit(kSrcLfo1);
    t.volumeModulation = srcBit(kSrcSeq);
    for (int pass = 0; pass < 2; ++pass) {  // the second render finds the LFO cached
        for (auto& o : t.oscillators) o.resetState();
        EXPECT_EQ(render(e, t, 1024), std::vector<int16_t>(1024, -8192)) << pass;
    }
}
