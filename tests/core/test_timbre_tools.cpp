#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "core/session.h"
#include "core/timbre_tools.h"

using namespace kf;
namespace fs = std::filesystem;

namespace {

// A session that only renders when asked, so every test sees the records
// as the command left them.
struct Quiet {
    Session s;
    Quiet() { s.render().setAutoRender(false); }
};

// Edits the current timbre's records directly and shows them again.
template <class Edit>
void editTimbre(Session& s, Edit edit) {
    TimbreRecord t = s.params().timbre();
    edit(t);
    s.params().replaceTimbre(t);
}

void setAllFrequencies(Session& s, int32_t hz) {
    editTimbre(s, [hz](TimbreRecord& t) {
        for (auto& o : t.oscillators) o.frequency = hz;
    });
}

}  // namespace

TEST(TimbreTools, MelodicToCMovesOnlyMelodicOscillators) {
    Quiet q;
    Session& s = q.s;
    editTimbre(s, [](TimbreRecord& t) {
        for (size_t k = 0; k < 10; ++k) {
            auto& o = t.oscillators[k];
            o.frequency = 300 + static_cast<int32_t>(k);
            o.flags = (k == 0 || k == 2) ? uint8_t{kFlagFilter | kFlagMelodic} : uint8_t{kFlagFilter};
        }
    });
    s.tools().melodicOscillatorsToC(5);
    for (size_t k = 0; k < 10; ++k)
        EXPECT_EQ(s.params().timbre().oscillators[k].frequency, (k == 0 || k == 2) ? 262 : 300 + static_cast<int32_t>(k)) << k;
    EXPECT_EQ(s.params().get(ParamId::OscFrequency), 262);  // the oscillator on display shows it

    const int32_t expected[] = {65, 131, 262, 523, 1047, 2093};
    for (int octave = 3; octave <= 8; ++octave) {
        s.tools().melodicOscillatorsToC(octave);
        EXPECT_EQ(s.params().timbre().oscillators[2].frequency, expected[octave - 3]);
    }
    s.tools().melodicOscillatorsToC(9);  // no such menu item: nothing moves
    EXPECT_EQ(s.params().timbre().oscillators[2].frequency, 2093);
}

TEST(TimbreTools, OctaveDownTruncatesAndUpIsLimitedOnlyOnTheDisplayedOscillator) {
    Quiet q;
    Session& s = q.s;
    setAllFrequencies(s, 131);
    editTimbre(s, [](TimbreRecord& t) {
        t.oscillators[3].flags = 0;  // not Melodic: moves all the same
        t.oscillators[5].frequency = 1;
    });
    s.tools().octaveShift(false);
    EXPECT_EQ(s.params().timbre().oscillators[0].frequency, 65);
    EXPECT_EQ(s.params().timbre().oscillators[3].frequency, 65);
    EXPECT_EQ(s.params().timbre().oscillators[5].frequency, 0);

    setAllFrequencies(s, 8000);
    s.params().selectOscillator(4);
    s.tools().octaveShift(true);
    for (size_t k = 0; k < 10; ++k)
        EXPECT_EQ(s.params().timbre().oscillators[k].frequency, k == 4 ? 11025 : 16000) << k;
}

TEST(TimbreTools, FatWizardRangesAndDetune) {
    TimbreRecord t;
    Random rng;
    rng.seed = 12345;
    t.oscillators[7].volume = 777;
    t.oscillators[7].flags = kFlagInvert;
    t.oscillators[7].harmonics[3].level = 99;
    t.oscillators[7].volumeModulation.sources = srcBit(kSrcLfo1);
    const OscillatorRecord before = t.oscillators[7];

    FatWizard w;
    w.detune = 0;
    w.apply(t, rng);
    std::set<int32_t> seen;
    for (const auto& o : t.oscillators) {
        EXPECT_EQ(o.active, 1);
        EXPECT_EQ(o.frequency, 131);
        EXPECT_TRUE(o.relativeFrequency == 1000 || o.relativeFrequency == 2000 || o.relativeFrequency == 4000 ||
                    o.relativeFrequency == 8000)
            << o.relativeFrequency;
        seen.insert(o.relativeFrequency);
        EXPECT_TRUE(o.waveForm == kWaveSaw || o.waveForm == kWaveSquare || o.waveForm == kWaveAbsSine ||
                    o.waveForm == kWaveTriangle || o.waveForm == kWave2xSaw);
        EXPECT_LT(o.phase, 256);
    }
    EXPECT_GT(seen.size(), 1u);
    const OscillatorRecord& after = t.oscillators[7];
    EXPECT_EQ(after.volume, before.volume);
    EXPECT_EQ(after.flags, before.flags);
    EXPECT_EQ(after.harmonics[3].level, 99);
    EXPECT_EQ(after.volumeModulation.sources, before.volumeModulation.sources);

    w.range = 1;
    w.apply(t, rng);
    for (const auto& o : t.oscillators) EXPECT_EQ(o.relativeFrequency, 1000);

    w.detune = 10;  // -10 .. +9 thousandths, no doubling
    std::set<int32_t> spread;
    for (int run = 0; run < 20; ++run) {
        w.apply(t, rng);
        for (const auto& o : t.oscillators) {
            EXPECT_GE(o.relativeFrequency, 990);
            EXPECT_LE(o.relativeFrequency, 1009);
            spread.insert(o.relativeFrequency);
        }
    }
    EXPECT_EQ(spread.size(), 20u);

    w.range = 50;  // held to the track bar's range: at most three doublings
    w.apply(t, rng);
    for (const auto& o : t.oscillators) EXPECT_LE(o.relativeFrequency, 8000 * 1009 / 1000);
}

TEST(TimbreTools, FatWizardSeedIsTheUtcTimeOfDayInMilliseconds) {
    using namespace std::chrono;
    const sys_days day = year{2026} / December / 8;
    const auto t = day + hours{13} + minutes{45} + seconds{12} + milliseconds{345};
    EXPECT_EQ(fatWizardSeed(t), ((13u * 60 + 45) * 60 + 12) * 1000 + 345);
    EXPECT_EQ(fatWizardSeed(day), 0u);
    EXPECT_EQ(fatWizardSeed(day - milliseconds{1}), 86399999u);

    // The same millisecond gives the same stack.
    Quiet a, b;
    a.s.tools().makeFatSound(fatWizardSeed(t));
    b.s.tools().makeFatSound(fatWizardSeed(t));
    EXPECT_EQ(toImage(a.s.params().timbre()), toImage(b.s.params().timbre()));
    EXPECT_EQ(a.s.params().get(ParamId::Active10), 1);
    b.s.tools().makeFatSound(fatWizardSeed(t + milliseconds{1}));
    EXPECT_NE(toImage(a.s.params().timbre()), toImage(b.s.params().timbre()));
}

TEST(TimbreTools, Tb303StartsFromTheStartUpPresetAndKeepsItsSelections) {
    Quiet q;
    Session& s = q.s;
    const PresetRecord start = s.files().defaultPreset();
    // Edits the command must undo.
    s.params().selectOscillator(3);
    s.params().set(ParamId::OscFrequency, 999);
    s.params().selectOscillator(0);
    s.params().set(ParamId::OscFrequencyModulation, srcBit(kSrcEnv1));
    s.params().set(ParamId::CutOff, 17);
    s.params().set(ParamId::ResonanceFrequencyModulation, srcBit(kSrcLfo2));
    s.params().editUnits([](SoundScheme& u) { u.noteSequencer().notes[3].porta = 1; });
    s.params().selectOscillator(6);

    s.tools().tb303Model();
    s.render().waitForRender();

    EXPECT_EQ(s.files().caption(), "Kestrafon");
    EXPECT_EQ(s.files().presetName(), "NoName");
    EXPECT_EQ(s.params().selectedOscillator(), 0);
    const TimbreRecord cur = s.params().timbre();
    const OscillatorRecord& o = cur.oscillators[0];
    EXPECT_EQ(o.active, 1);
    EXPECT_EQ(o.frequency, 261);
    EXPECT_EQ(o.waveForm, kWaveTriangle);
    EXPECT_EQ(o.frequencyModulation.sources, start.timbre.oscillators[0].frequencyModulation.sources | srcBit(kSrcSeq));
    EXPECT_EQ(s.params().get(ParamId::OscFrequency), 261);
    EXPECT_EQ(s.params().get(ParamId::OscWaveForm), kWaveTriangle);
    EXPECT_EQ(cur.oscillators[3].frequency, start.timbre.oscillators[3].frequency);
    EXPECT_EQ(s.params().get(ParamId::CutOff), start.timbre.cutOff);
    EXPECT_EQ(s.params().get(ParamId::ResonanceActive), 1);
    EXPECT_EQ(s.params().get(ParamId::ResonanceFrequencyModulation),
              start.timbre.resonanceFrequencyModulation | srcBit(kSrcSEnv));
    s.params().readUnits([](const SoundScheme& u) {
        const NoteSequencer& n = u.noteSequencer();
        EXPECT_EQ(n.noteCount, 16);
        for (size_t i = 0; i < 16; ++i) EXPECT_EQ(n.notes[i].frequency, 261) << i;
        EXPECT_EQ(n.notes[3].porta, 1);  // flags unchanged
    });
    EXPECT_EQ(s.params().get(ParamId::Length), 40);
    // Rendered although "Auto Render" is off.
    EXPECT_EQ(s.render().playBuffer().count(), 40 * 1024);
}

TEST(TimbreTools, ProcessSoundFilePlaysTheSampleOnOscillatorOne) {
    Quiet q;
    Session& s = q.s;
    const fs::path file = fs::temp_directory_path() / "kf_tools_process.smp";
    {
        std::ofstream f(file, std::ios::binary);
        for (int i = 0; i < 5000; ++i) {
            const int16_t v = static_cast<int16_t>(i * 7);
            f.put(static_cast<char>(v & 0xff)).put(static_cast<char>((v >> 8) & 0xff));
        }
    }
    s.params().selectOscillator(2);
    s.params().set(ParamId::Sample1StartPos, 800);  // 4200 samples from the start: 4 units
    ASSERT_TRUE(s.tools().processSoundFile(file.string()).ok);
    s.render().waitForRender();
    const OscillatorRecord o = s.params().timbre().oscillators[0];
    EXPECT_EQ(o.frequency, 4410);
    EXPECT_EQ(o.volume, 32768);
    EXPECT_EQ(o.waveForm, kWaveSample1);
    EXPECT_EQ(o.active, 1);
    EXPECT_EQ(s.params().get(ParamId::Active1), 1);
    EXPECT_EQ(s.params().selectedOscillator(), 2);
    EXPECT_EQ(s.files().sampleCount(1), 4200);
    EXPECT_EQ(s.params().get(ParamId::Length), 4);

    // A sample that cannot be read: slot 1 is emptied as by "Open Sample 1",
    // but the timbre stays as it was.
    editTimbre(s, [](TimbreRecord& t) { t.oscillators[0].frequency = 440; });
    const Status st = s.tools().processSoundFile((fs::temp_directory_path() / "kf_tools_missing.smp").string());
    EXPECT_FALSE(st.ok);
    EXPECT_FALSE(st.message.empty());
    EXPECT_EQ(s.params().timbre().oscillators[0].frequency, 440);
    EXPECT_EQ(s.params().get(ParamId::Length), 4);

    // A WAV file that holds no sound is refused, the timbre kept.
    const fs::path wav = fs::temp_directory_path() / "kf_tools_header.wav";
    std::ofstream(wav, std::ios::binary) << std::string("RIFF\x24\0\0\0WAVEfmt ", 16);
    EXPECT_FALSE(s.tools().processSoundFile(wav.string()).ok);
    EXPECT_EQ(s.params().timbre().oscillators[0].frequency, 440);
    fs::remove(wav);

    EXPECT_EQ(lengthForSample(100), 1);  // the length control's minimum
    EXPECT_EQ(lengthForSample(1 << 30), 256);
    fs::remove(file);
}
