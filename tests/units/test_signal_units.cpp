// The frequency ("Seq") and envelope ("SEnv") curves of the sequencer units.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "engine/arith.h"
#include "units/sound_scheme.h"

namespace kf {
namespace {

class SignalUnits : public ::testing::Test {
protected:
    SoundScheme scheme;
    NoteSequencer& notes = scheme.noteSequencer();
    FrequencySequencer& freq = scheme.frequencySequencer();
    EnvelopeSequencer& env = scheme.envelopeSequencer();

    std::vector<int16_t> run(SoundUnit& u, int32_t start, int32_t count, int32_t total,
                             Status* status = nullptr) {
        std::vector<int16_t> out(static_cast<size_t>(count), 12345);
        SoundBuffer b{count, out.data()};
        Status s = u.process(b, count, start, total, scheme);
        if (status) *status = s;
        EXPECT_EQ(b.count, count);
        EXPECT_EQ(b.samples, out.data());
        return out;
    }
    int16_t at(SoundUnit& u, int32_t h, int32_t total) { return run(u, h, 1, total)[0]; }
};

TEST_F(SignalUnits, FrequencyStepValues) {
    notes.setNoteCount(2);
    notes.notes[0].frequency = 440;
    notes.notes[1].frequency = -1;
    const auto v = run(freq, 0, 200, 200);  // d = 101
    EXPECT_EQ(v[0], 3520);
    EXPECT_EQ(v[100], 3520);
    EXPECT_EQ(v[101], 0);  // empty step
    EXPECT_EQ(v[199], 0);
    notes.notes[1].frequency = 0;
    EXPECT_EQ(at(freq, 150, 200), 0);
    // The curve is 16-bit: 5000 Hz * 8 = 40000 keeps its low 16 bits.
    notes.notes[0].frequency = 5000;
    EXPECT_EQ(at(freq, 0, 200), wrap16(40000));
    EXPECT_EQ(at(freq, 0, 200), -25536);
    // The sequence repeats every Total samples.
    EXPECT_EQ(at(freq, 400, 200), -25536);
}

TEST_F(SignalUnits, FrequencyGlide) {
    notes.setNoteCount(2);
    notes.notes[0].frequency = 100;
    notes.notes[1] = {200, 1, 0};  // step 1 glides in
    freq.portamentoSpeed = 32768;   // whole step: g = d = 101
    auto v = run(freq, 0, 202, 200);
    EXPECT_EQ(v[0], 800);
    EXPECT_EQ(v[1], 800 + 800 * 1 / 101);
    EXPECT_EQ(v[100], 800 + 800 * 100 / 101);
    EXPECT_EQ(v[101], 1600);  // step 0 has no P: no glide back
    EXPECT_EQ(v[199], 1600);

    freq.portamentoSpeed = 16384;  // g = 50: glide over the last 49 samples
    v = run(freq, 0, 101, 200);
    EXPECT_EQ(v[51], 800);
    EXPECT_EQ(v[52], 800 + 800 * 1 / 50);
    EXPECT_EQ(v[100], 800 + 800 * 49 / 50);

    freq.portamentoSpeed = 0;  // no glide even with P set
    v = run(freq, 0, 101, 200);
    for (int16_t s : v) EXPECT_EQ(s, 800);

    // The position in the step is h mod d, not (h mod Total) mod d.
    freq.portamentoSpeed = 32768;
    EXPECT_EQ(at(freq, 250, 200), 800 + 800 * (250 % 101) / 101);

    // Glide downwards truncates toward zero.
    notes.notes[1].frequency = 50;
    EXPECT_EQ(at(freq, 1, 200), 800 + (400 - 800) * 1 / 101);
    EXPECT_EQ(at(freq, 1, 200), 797);
}

TEST_F(SignalUnits, FrequencySingleStepAndShortPeriods) {
    notes.setNoteCount(1);
    notes.notes[0] = {300, 1, 0};
    freq.portamentoSpeed = 32768;
    for (int16_t s : run(freq, 0, 100, 100)) EXPECT_EQ(s, 2400);  // glides to itself

    // Total below N: every sample is a step of its own (d = 1).
    notes.setNoteCount(4);
    for (int i = 0; i < 4; ++i) notes.notes[i] = {int16_t(100 * (i + 1)), 0, 0};
    auto v = run(freq, 0, 6, 3);
    EXPECT_EQ(v, (std::vector<int16_t>{800, 1600, 2400, 800, 1600, 2400}));
    // A period of 0 or less is taken as 1 and never divides by zero.
    v = run(freq, 0, 3, 0);
    for (int16_t s : v) EXPECT_EQ(s, 800);
    // A loaded count outside 1..32 still indexes inside the table.
    notes.noteCount = 1000;
    run(freq, 0, 64, 64);
    notes.noteCount = -5;
    EXPECT_EQ(run(freq, 0, 4, 64)[0], 800);
}

TEST_F(SignalUnits, LongGlidesDoNotOverflow) {
    notes.setNoteCount(2);
    notes.notes[0].frequency = 15000 / 8;  // keeps the values inside 16 bits
    notes.notes[1] = {1, 1, 0};
    freq.portamentoSpeed = 32768;
    const int32_t total = 2000000;  // d = 1000001, far beyond 32-bit products
    const int32_t h = 900000;
    const int64_t d = total / 2 + 1;
    const int64_t expect = (int64_t(8) - 15000) * h / d + 15000;
    EXPECT_EQ(at(freq, h, total), wrap16(expect));
}

TEST_F(SignalUnits, LinksAndErrors) {
    notes.notes[0].frequency = 440;
    // A negative link leaves the buffer untouched.
    for (SoundUnit* u : {static_cast<SoundUnit*>(&freq), static_cast<SoundUnit*>(&env)}) {
        u->inputs[0] = -1;
        Status s;
        for (int16_t v : run(*u, 0, 8, 64, &s)) EXPECT_EQ(v, 12345);
        EXPECT_TRUE(s.ok);
        u->inputs[0] = 7;  // past the list: not connected
        for (int16_t v : run(*u, 0, 8, 64, &s)) EXPECT_EQ(v, 12345);
        EXPECT_TRUE(s.ok);
    }
    // A link to a unit that holds no notes: exact message, buffer untouched.
    freq.inputs[0] = 2;
    Status s;
    for (int16_t v : run(freq, 0, 8, 64, &s)) EXPECT_EQ(v, 12345);
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.message, "Input of sequencer frequency should be sequencer!");
    EXPECT_EQ(s.caption, "Error");
    env.inputs[0] = 1;
    for (int16_t v : run(env, 0, 8, 64, &s)) EXPECT_EQ(v, 12345);
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.message, "Input of sequencer envelope should be sequencer!");
    EXPECT_EQ(s.caption, "Error");

    // Without storage nothing is written and nothing fails.
    SoundBuffer none{8, nullptr};
    EXPECT_TRUE(scheme.frequencySequencer().process(none, 8, 0, 64, scheme).ok);
    EXPECT_EQ(none.samples, nullptr);
    // Count <= 0 does nothing.
    env.inputs[0] = 0;
    std::vector<int16_t> keep(4, 7);
    SoundBuffer b{4, keep.data()};
    EXPECT_TRUE(env.process(b, 0, 0, 64, scheme).ok);
    EXPECT_TRUE(freq.process(b, -1, 0, 64, scheme).ok);
    EXPECT_EQ(keep, std::vector<int16_t>(4, 7));
}

// With one step over a period of 32768 samples, t equals the position.
TEST_F(SignalUnits, EnvelopeStartValues) {
    notes.setNoteCount(1);
    EXPECT_EQ(at(env, 0, 32768), 0);  // attack
    EXPECT_EQ(at(env, 16384, 32768), 30098);
    EXPECT_EQ(at(env, 20000, 32768), 944);
    EXPECT_EQ(at(env, 24576, 32768), 0);
    // Same step positions with the step spread over 32 notes.
    notes.setNoteCount(32);
    EXPECT_EQ(at(env, 31 * 1024 + 512, 32768), 30098);
    // A step longer than 65536 samples keeps its shape.
    notes.setNoteCount(1);
    EXPECT_EQ(at(env, 5000000, 10000000), 30098);
}

TEST_F(SignalUnits, EnvelopeDecayAngleAndAttack) {
    notes.setNoteCount(1);
    env.decayAngle = 100;
    EXPECT_EQ(at(env, 100, 32768), 32767);  // Amp 32768 clamped
    EXPECT_EQ(at(env, 16384, 32768), 32767);
    EXPECT_LT(at(env, 16500, 32768), 32767);  // past the release point

    env.decayAngle = 80;
    env.attack = 1000;
    const double f = EnvelopeSequencer::slope(80);
    const double level = 32768 - 500.0 * 0.5 * f;
    EXPECT_EQ(at(env, 500, 32768), roundToInt32(level * 500 / 1000));

    env.attack = 0;
    EXPECT_EQ(at(env, 0, 32768), 32767);  // no attack phase
    env.amplitude = 0;
    for (int16_t v : run(env, 0, 32768, 32768)) ASSERT_EQ(v, 0);
}

TEST_F(SignalUnits, EnvelopeTies) {
    notes.setNoteCount(2);  // steps of 32768 samples over a period of 65536
    const double f80 = EnvelopeSequencer::slope(80);
    const auto decay = [&](double t) { return roundToInt32(32768 - t * 0.5 * f80); };

    // Untied: step 0 releases, step 1 starts afresh.
    EXPECT_EQ(at(env, 20000, 65536), 944);
    EXPECT_EQ(at(env, 32768, 65536), 0);

    // Step 1 tied: step 0 does not release, step 1 continues its decay.
    notes.notes[1].tie = 1;
    EXPECT_EQ(at(env, 20000, 65536), decay(20000));
    EXPECT_EQ(at(env, 32768 + 100, 65536), decay(32768 + 100));
    EXPECT_EQ(at(env, 32768, 65536), decay(32768));

    // Step 0 tied: the first pass starts a new envelope, later passes
    // continue the last step's, and the last step does not release.
    notes.notes[1].tie = 0;
    notes.notes[0].tie = 1;
    EXPECT_EQ(at(env, 100, 65536), decay(100));
    EXPECT_EQ(at(env, 65536 + 100, 65536), decay(32768 + 100));
    EXPECT_EQ(at(env, 32768 + 20000, 65536), decay(20000));
}

// Loaded values reach the page through its number edits (minimum 0) and
// come back as the edits hold them.
TEST_F(SignalUnits, EnvelopeValuesPassThroughTheirNumberEdits) {
    env.attack = -5;
    env.decayAngle = -20;
    env.release = 1e12;
    env.releaseStart = 0.1 + 0.2;       // 0.30000000000000004: shown as 0.3
    env.amplitude = 1234.56789012345;   // ten decimals
    env.setParams();
    EXPECT_EQ(env.attack, 0.0);
    EXPECT_EQ(env.decayAngle, 0.0);
    EXPECT_EQ(env.release, 2147483647.0);
    EXPECT_EQ(env.releaseStart, 0.3);
    EXPECT_EQ(env.amplitude, 1234.5678901235);

    // A negative decay angle held at 0 is the steepest decay, not beyond it.
    notes.setNoteCount(1);
    env.attack = 0;
    env.amplitude = 32768;
    EXPECT_EQ(at(env, 1, 32768), 32268);  // 32768 - 1 * 0.5 * 1000
}

TEST_F(SignalUnits, EnvelopeLongStreamsStayInTable) {
    notes.setNoteCount(3);
    notes.notes[1].tie = 1;
    const int32_t total = 3 * 32768;
    // Far past 2^31 / 128 samples the curve still repeats with the period.
    const int32_t base = 2147483647 - 5000 - (2147483647 - 5000) % total;
    const auto late = run(env, base, 10000, total);
    const auto early = run(env, 0, 10000, total);
    EXPECT_EQ(late, early);

    // Every step tied: a late stream position answers at once.
    for (int i = 0; i < 3; ++i) notes.notes[i].tie = 1;
    const auto t0 = std::chrono::steady_clock::now();
    const auto v = run(env, 2000000000, 4096, total);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    for (int16_t s : v) EXPECT_EQ(s, 0);  // decayed long ago

    // A loaded count out of range and a zero period do not crash.
    notes.noteCount = 77;
    run(env, 0, 64, 64);
    run(env, 0, 64, 0);
}

}  // namespace
}  // namespace kf
