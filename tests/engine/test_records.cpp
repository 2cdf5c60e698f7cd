// Byte images of the timbre and oscillator records: sizes, offsets, round
// trips and the start values of a new record.
#include "engine/records.h"

#include "engine/param_table.h"

#include <gtest/gtest.h>

#include <random>

namespace kf {
namespace {

int32_t at32(const TimbreImage& img, int off) {
    return static_cast<int32_t>(img[off] | (img[off + 1] << 8) | (img[off + 2] << 16) |
                                (static_cast<uint32_t>(img[off + 3]) << 24));
}
uint16_t at16(const TimbreImage& img, int off) {
    return static_cast<uint16_t>(img[off] | (img[off + 1] << 8));
}

TEST(RecordsImage, RandomImagesSurviveTheRecordUnchanged) {
    std::mt19937 gen(12345);
    for (int round = 0; round < 200; ++round) {
        TimbreImage img;
        for (auto& b : img) b = static_cast<uint8_t>(gen());
        if (round % 2) img[3441] = static_cast<uint8_t>(gen() % 31);  // also sane chord lengths
        const TimbreRecord t = fromImage(img.data());
        ASSERT_EQ(toImage(t), img) << "round " << round;
    }
}

TEST(RecordsImage, OscillatorImageRoundTrip) {
    std::mt19937 gen(7);
    for (int round = 0; round < 100; ++round) {
        OscillatorImage img;
        for (auto& b : img) b = static_cast<uint8_t>(gen());
        OscillatorImage back{};
        writeOscillator(readOscillator(img.data()), back.data());
        ASSERT_EQ(back, img);
    }
}

TEST(RecordsImage, TimbreFieldsLandAtTheirOffsets) {
    TimbreRecord t;
    t.lfo1Frequency = 0x01020304;
    t.lfo1Shape = 6;
    t.lfo2Amplitude = -5;
    t.noiseAmplitude = 4096;
    t.resonanceFrequencyModulation = 0x1234;
    t.cutOffMode = 1;
    t.renderLength = 0x0A0B0C0D;
    t.cutOffModulation = 0x2345;
    t.resonanceFrequency = 8000;
    t.chorusVolume = 1024;
    t.length = 77;
    t.cutOffActive = 1;
    t.cutOff = 255;
    t.averageFilterBassVolume = 111;
    t.oscillatorsVolume = 0x5566;
    t.waveFormGraph.points[127] = {0x11111111, 0x22222222};
    t.waveFormGraph.count = 9;
    t.feedBackActive = 1;
    t.feedBackVolume = 181;
    t.feedBackCyclic = 1;
    t.mainVolume = 300;
    t.wrapOverdriveActive = 1;
    t.volumeModulation = 0x0300;
    t.fwWindowWidth = 200;
    t.envelopeGraph.points[1] = {16000, -3};
    t.envelopeGraph.count = 5;
    t.tempo = 140;
    t.chordActive = 1;
    t.midiEnv1Attack = 42;
    t.flangerMinDelay = -2;
    t.flangerMaxDelay = 99;
    t.flangerRate = 500;
    t.chorusVoices = 20;
    t.midiEnv2Amplitude = 32768;
    t.realTime = 1;
    t.unused3536[100] = 0xAB;  // 3636: a sample path in presets
    t.averageFilterActive = 1;
    t.oscillatorsCalm = 1;
    t.chorusVibratoRate = 10000;
    t.unused3844[1] = 0xCD;
    t.resonanceDependence = 512;
    t.reverbActive = 1;
    t.reverbDryVolume = -300;
    t.reverbWetVolume = 12345;
    t.reverbCutOff = 0x7F6E5D4C;

    const TimbreImage img = toImage(t);
    EXPECT_EQ(img.size(), 3875u);
    EXPECT_EQ(at32(img, 0), 0x01020304);
    EXPECT_EQ(img[0], 0x04);  // little-endian
    EXPECT_EQ(img[12], 6);
    EXPECT_EQ(at32(img, 24), -5);
    EXPECT_EQ(at32(img, 40), 4096);
    EXPECT_EQ(at16(img, 48), 0x1234);
    EXPECT_EQ(img[50], 1);
    EXPECT_EQ(at32(img, 51), 0x0A0B0C0D);
    EXPECT_EQ(at16(img, 58), 0x2345);
    EXPECT_EQ(at32(img, 72), 8000);
    EXPECT_EQ(at32(img, 84), 1024);
    EXPECT_EQ(at32(img, 108), 77);
    EXPECT_EQ(img[113], 1);
    EXPECT_EQ(at32(img, 114), 255);
    EXPECT_EQ(at32(img, 126), 111);
    EXPECT_EQ(at32(img, 1310), 0x5566);
    EXPECT_EQ(at32(img, 1314 + 8 * 127), 0x11111111);
    EXPECT_EQ(at32(img, 1314 + 8 * 127 + 4), 0x22222222);
    EXPECT_EQ(at32(img, 2338), 9);
    EXPECT_EQ(img[2342], 1);
    EXPECT_EQ(at32(img, 2343), 181);
    EXPECT_EQ(img[2355], 1);
    EXPECT_EQ(at32(img, 2356), 300);
    EXPECT_EQ(img[2372], 1);
    EXPECT_EQ(at16(img, 2373), 0x0300);
    EXPECT_EQ(at32(img, 2388), 200);
    EXPECT_EQ(at32(img, 2392 + 8), 16000);
    EXPECT_EQ(at32(img, 2392 + 12), -3);
    EXPECT_EQ(at32(img, 3416), 5);
    EXPECT_EQ(at32(img, 3428), 140);
    EXPECT_EQ(img[3440], 1);
    EXPECT_EQ(img[3441], 7);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&img[3442]), 7), "C-5,E-5");
    EXPECT_EQ(at32(img, 3472), 42);
    EXPECT_EQ(static_cast<int16_t>(at16(img, 3489)), -2);
    EXPECT_EQ(at16(img, 3491), 99);
    EXPECT_EQ(at32(img, 3493), 500);
    EXPECT_EQ(at32(img, 3503), 20);
    EXPECT_EQ(at32(img, 3531), 32768);
    EXPECT_EQ(img[3535], 1);
    EXPECT_EQ(img[3636], 0xAB);
    EXPECT_EQ(img[3838], 1);
    EXPECT_EQ(img[3839], 1);
    EXPECT_EQ(at32(img, 3840), 10000);
    EXPECT_EQ(img[3845], 0xCD);
    EXPECT_EQ(at32(img, 3850), 512);
    EXPECT_EQ(img[3858], 1);
    EXPECT_EQ(static_cast<int16_t>(at16(img, 3859)), -300);
    EXPECT_EQ(at16(img, 3861), 12345);
    EXPECT_EQ(at32(img, 3871), 0x7F6E5D4C);
}

TEST(RecordsImage, EveryOscillatorSubFieldAtItsOffset) {
    TimbreRecord t;
    for (int k = 0; k < 10; ++k) {
        OscillatorRecord& o = t.oscillators[k];
        const int m = k * 1000;  // distinct markers per oscillator
        for (int h = 0; h < 16; ++h) o.harmonics[h] = {uint16_t(m + h), uint16_t(m + 100 + h)};
        o.volume = m + 1;
        o.frequency = m + 2;
        o.relativeFrequency = m + 3;
        o.shape = m + 4;
        o.phase = uint16_t(m + 5);
        o.unused82 = {uint8_t(k + 1), uint8_t(k + 2)};
        o.active = uint8_t(k + 10);
        o.harmonicsActive = uint8_t(k + 20);
        o.flags = uint8_t(k + 30);
        o.volumeModulation = {uint16_t(m + 6), m + 7, m + 8};
        o.frequencyModulation = {uint16_t(m + 9), m + 10, m + 11};
        o.shapeModulation = {uint16_t(m + 12), m + 13, -(m + 14)};
        o.waveForm = uint8_t(k + 40);
    }
    const TimbreImage img = toImage(t);
    for (int k = 0; k < 10; ++k) {
        const int b = 130 + 118 * k, m = k * 1000;
        SCOPED_TRACE(k);
        for (int h = 0; h < 16; ++h) {
            EXPECT_EQ(at16(img, b + 4 * h), m + h);
            EXPECT_EQ(at16(img, b + 4 * h + 2), m + 100 + h);
        }
        EXPECT_EQ(at32(img, b + 64), m + 1);
        EXPECT_EQ(at32(img, b + 68), m + 2);
        EXPECT_EQ(at32(img, b + 72), m + 3);
        EXPECT_EQ(at32(img, b + 76), m + 4);
        EXPECT_EQ(at16(img, b + 80), m + 5);
        EXPECT_EQ(img[b + 82], k + 1);
        EXPECT_EQ(img[b + 83], k + 2);
        EXPECT_EQ(img[b + 84], k + 10);
        EXPECT_EQ(img[b + 85], k + 20);
        EXPECT_EQ(img[b + 86], k + 30);
        EXPECT_EQ(at16(img, b + 87), m + 6);
        EXPECT_EQ(at32(img, b + 89), m + 7);
        EXPECT_EQ(at32(img, b + 93), m + 8);   // CycleCount
        EXPECT_EQ(at16(img, b + 97), m + 9);
        EXPECT_EQ(at32(img, b + 99), m + 10);  // CalmLevel
        EXPECT_EQ(at32(img, b + 103), m + 11); // CalmInput
        EXPECT_EQ(at16(img, b + 107), m + 12);
        EXPECT_EQ(at32(img, b + 109), m + 13); // PhaseAccumulator
        EXPECT_EQ(at32(img, b + 113), -(m + 14));
        EXPECT_EQ(img[b + 117], k + 40);
    }
    // The state accessors name the right words.
    OscillatorRecord& o = t.oscillators[3];
    EXPECT_EQ(o.cycleCount(), 3008);
    EXPECT_EQ(o.calmLevel(), 3010);
    EXPECT_EQ(o.calmInput(), 3011);
    EXPECT_EQ(o.phaseAccumulator(), 3013);
}

TEST(RecordsDefaults, NewTimbreStartValues) {
    const TimbreRecord t;
    const TimbreImage img = toImage(t);
    EXPECT_EQ(at32(img, 0), 32);
    EXPECT_EQ(at32(img, 8), 256);
    EXPECT_EQ(at16(img, 48), 1);
    EXPECT_EQ(at32(img, 80), 960);
    EXPECT_EQ(at32(img, 108), 10);
    EXPECT_EQ(at32(img, 114), 128);
    EXPECT_EQ(at32(img, 2343), 180);
    EXPECT_EQ(at32(img, 2347), 220);
    EXPECT_EQ(at32(img, 2368), 32);
    EXPECT_EQ(at32(img, 2379), 192);
    EXPECT_EQ(at32(img, 3428), 112);
    EXPECT_EQ(at32(img, 3480), 100);
    EXPECT_EQ(at32(img, 3498), 128);
    EXPECT_EQ(at32(img, 3507), 70);
    EXPECT_EQ(at32(img, 3840), 800);
    EXPECT_EQ(static_cast<int16_t>(at16(img, 3859)), 32767);
    EXPECT_EQ(at16(img, 3861), 15000);
    EXPECT_EQ(at32(img, 3863), 200);
    EXPECT_EQ(at32(img, 3867), 15);
    for (int off : {1314, 2392}) {  // both curves: (0,0), (16384,0), count 2
        EXPECT_EQ(at32(img, off), 0);
        EXPECT_EQ(at32(img, off + 8), 16384);
        EXPECT_EQ(at32(img, off + 12), 0);
        EXPECT_EQ(at32(img, off + 16), 0);
        EXPECT_EQ(at32(img, off + 1024), 2);
    }
    EXPECT_EQ(t.chordText(), "C-5,E-5");
    // Reserved stretches start zero.
    for (int i = 3536; i < 3838; ++i) ASSERT_EQ(img[i], 0) << i;
    for (int i = 88; i < 108; ++i) ASSERT_EQ(img[i], 0) << i;

    const uint16_t levels[16] = {256, 128, 85, 64, 51, 42, 36, 32, 28, 25, 23, 21, 19, 18, 17, 16};
    for (const OscillatorRecord& o : t.oscillators) {
        for (int h = 0; h < 16; ++h) {
            EXPECT_EQ(o.harmonics[h].level, levels[h]);
            EXPECT_EQ(o.harmonics[h].detune, 0);
        }
        EXPECT_EQ(o.volume, 16384);
        EXPECT_EQ(o.frequency, 523);
        EXPECT_EQ(o.relativeFrequency, 1000);
        EXPECT_EQ(o.shape, 1024);
        EXPECT_EQ(o.phase, 0);
        EXPECT_EQ(o.flags, kFlagFilter | kFlagMelodic);
        EXPECT_EQ(o.waveForm, kWaveSine);
        EXPECT_EQ(o.active, 0);
        EXPECT_EQ(o.harmonicsActive, 0);
        EXPECT_EQ(o.volumeModulation.sources, 1);
        EXPECT_EQ(o.frequencyModulation.sources, 1);
        EXPECT_EQ(o.shapeModulation.sources, 1);
        EXPECT_EQ(o.volumeModulation.word0 | o.volumeModulation.word1 | o.frequencyModulation.word0 |
                      o.frequencyModulation.word1 | o.shapeModulation.word0 | o.shapeModulation.word1,
                  0);
    }
}

TEST(RecordsChord, TextIsCutToThirtyAndLengthIsGuarded) {
    TimbreRecord t;
    t.setChordText(std::string("C-5,E-5,G-5,C-6,E-6,G-6,C-7,E-7,G-7"));
    EXPECT_EQ(t.chordText(), "C-5,E-5,G-5,C-6,E-6,G-6,C-7,E-");
    EXPECT_EQ(t.chord[0], 30);
    t.setChordText("A-4");
    EXPECT_EQ(t.chordText(), "A-4");

    // A damaged length byte from a file never reads past the 30 characters.
    TimbreImage img = toImage(TimbreRecord{});
    img[3441] = 255;
    for (int i = 0; i < 30; ++i) img[3442 + i] = 'x';
    img[3472] = 'y';  // first byte after the string
    const TimbreRecord damaged = fromImage(img.data());
    EXPECT_EQ(damaged.chordText(), std::string(30, 'x'));
    EXPECT_EQ(toImage(damaged)[3441], 255);  // kept as found
}

// A parameter written through its member shows at its place in the image:
// the member and the offset both come from one field descriptor.
TEST(Records, ParamMembersAndImagePlacesAgree) {
    for (const ParamInfo& p : paramTable()) {
        if (p.scope != ParamScope::Timbre && p.scope != ParamScope::Oscillator) continue;
        const long double v = p.type == ParamType::Bool ? 1 - p.start : p.max;
        TimbreRecord t;
        OscillatorImage osc;
        if (p.scope == ParamScope::Timbre) writeStored(p, t, v);
        else writeStored(p, t.oscillators[3], v);
        writeOscillator(t.oscillators[3], osc.data());
        const TimbreImage img = toImage(t);
        EXPECT_EQ(readStored(p, p.scope == ParamScope::Timbre ? img.data() : osc.data()), v) << p.key;
    }
}

}  // namespace
}  // namespace kf
