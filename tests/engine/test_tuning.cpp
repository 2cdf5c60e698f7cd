#include <gtest/gtest.h>

#include <cmath>

#include "engine/tuning.h"

using namespace kf;

TEST(Tuning, TemperedExamples) {
    NoteTables t;
    EXPECT_EQ(t.scale(), Scale::Tempered);
    EXPECT_EQ(t.frequency(0), 0.0);
    EXPECT_EQ(std::lround(t.frequency(70)), 440);
    EXPECT_NEAR(t.frequency(70), 440.03, 0.005);
    EXPECT_EQ(std::lround(t.frequency(61)), 262);
    EXPECT_NEAR(t.frequency(1), 8.1764, 0.0001);
    EXPECT_NEAR(t.frequency(129), 13290.7, 0.1);
}

TEST(Tuning, TemperedRunsInExtendedPrecision) {
    // Each entry is the extended running product rounded once to double;
    // a double accumulator drifts in the last bits.
    NoteTables t;
    long double x = 7.7175L;
    for (int n = 1; n < 130; ++n) {
        x *= 1.059463094L;
        ASSERT_EQ(t.frequency(n), static_cast<double>(x)) << n;
    }
}

TEST(Tuning, NaturalScales) {
    NoteTables t;
    t.buildNaturalSharpScale();
    EXPECT_EQ(t.scale(), Scale::NaturalSharp);
    const long double c0 = 7.7175L * 1.059463094L;
    EXPECT_EQ(t.frequency(0), 0.0);
    EXPECT_EQ(t.frequency(1), static_cast<double>(c0));
    EXPECT_EQ(t.frequency(13), static_cast<double>(c0 * 2.0L));
    EXPECT_EQ(t.frequency(8), static_cast<double>(c0 * 1.5L));       // G-0
    EXPECT_EQ(t.frequency(2), static_cast<double>(c0 * 1.04166L));   // C#0, sharp ratio
    EXPECT_EQ(t.frequency(129), static_cast<double>(c0 * 1024.0L * 1.5625L));  // G#10, last entry

    NoteTables tempered;
    for (int i = 0; i <= 10; ++i) EXPECT_NEAR(t.frequency(12 * i + 1) / tempered.frequency(12 * i + 1), 1.0, 1e-6);

    NoteTables flat;
    flat.build(Scale::NaturalFlat);
    EXPECT_EQ(flat.scale(), Scale::NaturalFlat);
    for (int e = 1; e < 130; ++e) {
        const int s = (e - 1) % 12;
        const bool black = s == 1 || s == 3 || s == 6 || s == 8;
        EXPECT_EQ(flat.frequency(e) != t.frequency(e), black) << e;
    }
    EXPECT_EQ(flat.frequency(2), static_cast<double>(c0 * 1.08L));

    t.build(Scale::Tempered);
    EXPECT_EQ(t.frequencies(), tempered.frequencies());
}

TEST(Tuning, NoteNames) {
    const auto& n = noteNames();
    EXPECT_EQ(n[0], "---");
    EXPECT_EQ(n[1], "C-0");
    EXPECT_EQ(n[2], "C#0");
    EXPECT_EQ(n[13], "C-1");
    EXPECT_EQ(n[61], "C-5");
    EXPECT_EQ(n[70], "A-5");
    EXPECT_EQ(n[72], "B-5");
    EXPECT_EQ(n[121], "C-10");
    EXPECT_EQ(n[129], "G#10");
    for (const auto& s : n) EXPECT_LE(s.size(), 5u);
}

TEST(Tuning, KeyToSemitone) {
    EXPECT_EQ(keyToSemitone('q'), 0);
    EXPECT_EQ(keyToSemitone('Q'), 0);
    EXPECT_EQ(keyToSemitone('2'), 1);
    EXPECT_EQ(keyToSemitone('U'), 11);
    EXPECT_EQ(keyToSemitone('i'), 12);
    EXPECT_EQ(keyToSemitone(' '), -1);
    EXPECT_EQ(keyToSemitone('a'), -2);
    EXPECT_EQ(keyToSemitone('1'), -2);
    EXPECT_EQ(keyToSemitone('\xE9'), -2);
}

TEST(Tuning, FrequencyToNoteExamples) {
    struct Case { int32_t f; int rel; int fine; };
    for (const Case& c : {Case{22050, 5, -28}, Case{44100, 17, -28}, Case{11025, -7, -28}, Case{48000, 18, 30},
                          Case{16000, -1, 28}, Case{1000, -49, 28}}) {
        int8_t rel = 99, fine = 99;
        frequencyToNote(c.f, rel, fine);
        EXPECT_EQ(rel, c.rel) << c.f;
        EXPECT_EQ(fine, c.fine) << c.f;
    }
}

TEST(Tuning, FrequencyToNoteEndsForEveryRate) {
    int8_t lowest = 127, highest = -128;
    for (int32_t f = 1000; f <= 48000; f += 5) {
        int8_t rel = 0, fine = 0;
        frequencyToNote(f, rel, fine);
        ASSERT_GE(rel, -49) << f;
        ASSERT_LE(rel, 18) << f;
        // Within +-4 % of the reference: at most about 0.68 semitone either way.
        ASSERT_LE(std::abs(fine), 90) << f;
        lowest = std::min(lowest, rel);
        highest = std::max(highest, rel);
    }
    EXPECT_EQ(lowest, -49);
    EXPECT_EQ(highest, 18);
}

TEST(Tuning, FrequencyToNoteDegenerateInputs) {
    int8_t rel = 5, fine = 7;
    frequencyToNote(0, rel, fine);  // no note to find; must not loop forever
    EXPECT_EQ(rel, 0);
    EXPECT_EQ(fine, 7);
    frequencyToNote(-44100, rel, fine);
    EXPECT_EQ(rel, 0);
    frequencyToNote(2147483647, rel, fine);  // beyond the byte: saturates
    EXPECT_EQ(rel, 127);
}

TEST(Tuning, NearestNote) {
    NoteTables t;
    auto a = t.nearestNote(440);
    EXPECT_EQ(noteNames()[a.index], "A-5");
    EXPECT_EQ(a.difference, 0);
    auto low = t.nearestNote(0);
    EXPECT_EQ(low.index, 1);
    EXPECT_EQ(low.difference, -8);
    auto high = t.nearestNote(20000);
    EXPECT_EQ(high.index, 128);
    EXPECT_EQ(high.difference, 20000 - std::lround(t.frequency(128)));
    auto mid = t.nearestNote(450);  // A-5 (440) is nearer than A#5 (466)
    EXPECT_EQ(mid.index, 70);
    EXPECT_EQ(mid.difference, 10);
    auto up = t.nearestNote(460);
    EXPECT_EQ(up.index, 71);
    EXPECT_EQ(up.difference, 460 - std::lround(t.frequency(71)));
}
