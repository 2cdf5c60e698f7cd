#include <gtest/gtest.h>

#include <vector>

#include "engine/engine.h"

using namespace kf;

namespace {

struct Buf {
    std::vector<int16_t> v;
    explicit Buf(int n) : v(static_cast<size_t>(n)) {}
    SoundBuffer sb() { return SoundBuffer{static_cast<int32_t>(v.size()), v.data()}; }
    int16_t operator[](size_t i) const { return v[i]; }
};

// The random step values the LFOs and noise produce for steps 0..3 of a
// generator whose step rate makes step k start at sample k.
std::vector<int> randomSteps(Engine& e, int source, uint32_t seed) {
    e.sampleRate = 1;
    e.random.seed = seed;
    Buf b(4);
    if (source == kSrcNoise) {
        e.gen.noise = NoiseParams{1, 2048, 0};
        e.noise(b.sb(), 0);
    } else {
        // k = trunc(t * F * 0.5 / pi): with F = 2*pi the step is t itself.
        LfoParams p;
        p.form = 6;
        p.amplitude = 2048;
        p.frequency = 7;  // rounded up below by using t directly
        e.gen.lfo[static_cast<size_t>(source - kSrcLfo1)] = p;
        // F must make t*F/(2pi) land on integers 0..3 at t = 0..3 + epsilon;
        // instead evaluate at positions that give k = 0..3 with F = 7.
        std::vector<int> out;
        for (int k = 0; k < 4; ++k) {
            // smallest t with trunc(t*7*0.5/pi) == k
            int t = 0;
            while (static_cast<int>(t * 7 * 0.5L / 3.14159265358979323846L) < k) ++t;
            Buf one(1);
            e.lfo(source - kSrcLfo1 + 1, one.sb(), t);
            out.push_back(one[0]);
        }
        EXPECT_EQ(e.random.seed, seed) << "random sources must leave the seed as it was";
        return out;
    }
    EXPECT_EQ(e.random.seed, seed);
    return {b[0], b[1], b[2], b[3]};
}

}  // namespace

TEST(Sources, RandomFormsMatchReferenceValues) {
    Engine e;
    EXPECT_EQ(randomSteps(e, kSrcNoise, 0), (std::vector<int>{-2048, 1844, 1270, 43}));
    EXPECT_EQ(randomSteps(e, kSrcLfo1, 0), (std::vector<int>{-2048, 1844, 1270, 43}));
    EXPECT_EQ(randomSteps(e, kSrcLfo2, 0), (std::vector<int>{-2048, 1844, 1270, 43}));
    EXPECT_EQ(randomSteps(e, kSrcNoise, 12345), (std::vector<int>{-1779, -1853, -1817, 441}));
    EXPECT_EQ(randomSteps(e, kSrcLfo2, 12345), (std::vector<int>{-1779, -1853, -1817, 441}));
    EXPECT_EQ(randomSteps(e, kSrcLfo1, 12345), (std::vector<int>{1384, 1181, -831, -492}));
}

TEST(Sources, RandomCurveDoesNotDependOnBlockSize) {
    Engine e;
    e.sampleRate = 22050;
    e.gen.noise = NoiseParams{1000, 2048, 0};
    e.random.seed = 99;
    Buf whole(3000);
    e.noise(whole.sb(), 0);
    Buf a(1000), b(2000);
    e.noise(a.sb(), 0);
    e.noise(b.sb(), 1000);
    for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(whole[i], a[i]);
    for (size_t i = 0; i < 2000; ++i) ASSERT_EQ(whole[1000 + i], b[i]);
}

TEST(Sources, EnvelopeReleaseFromFullLevel) {
    Engine e;
    e.gen.env[0] = EnvelopeParams{0, 0, 720, 32768, 0, 256, 1};
    Buf b(1024);
    e.envelope(1, b.sb(), 0, 1024);
    EXPECT_EQ(b[0], 32767);  // c = 1 gives 32768, clamped
    EXPECT_GT(b[100], b[400]);
    EXPECT_GT(b[719], 0);
    EXPECT_EQ(b[720], 0);
    EXPECT_EQ(b[1023], 0);
}

TEST(Sources, EnvelopeShapeZeroIsASquare) {
    Engine e;
    e.gen.env[1] = EnvelopeParams{100, 100, 100, 20000, -5000, 0, 1};
    Buf b(1024);
    e.envelope(2, b.sb(), 0, 1024);
    EXPECT_EQ(b[0], -5000);  // c = 0 at the very start of the attack
    EXPECT_EQ(b[50], 15000);
    EXPECT_EQ(b[250], 15000);
    EXPECT_EQ(b[900], -5000);
}

TEST(Sources, EnvelopeIterationsRepeat) {
    Engine e;
    e.gen.env[2] = EnvelopeParams{200, 100, 300, 32768, 0, 256, 4};
    Buf b(1000);
    e.envelope(3, b.sb(), 0, 1000);
    for (size_t i = 0; i + 251 < 1000; ++i) ASSERT_EQ(b[i], b[i + 251]) << i;
    EXPECT_EQ(e.envelopeValue(3, 10, 1000), b[10]);
}

TEST(Sources, LfoPhases) {
    Engine e;
    e.sampleRate = 1000;
    LfoParams sine{16, 1000, 0, 64, 0};  // 1 Hz, quarter-period phase
    e.gen.lfo[0] = sine;
    Buf b(10);
    e.lfo(1, b.sb(), 0);
    EXPECT_EQ(b[0], 0);
    EXPECT_LT(b[5], 0);
    LfoParams tri{16, 1000, 0, 0, 3};
    e.gen.lfo[1] = tri;
    Buf t(501);
    e.lfo(2, t.sb(), 0);
    EXPECT_EQ(t[0], 1000);
    EXPECT_EQ(t[500], -1000);
    LfoParams clipped{16, 32000, 256 * 128, 0, 0};
    e.gen.lfo[0] = clipped;
    e.lfo(1, b.sb(), 0);
    EXPECT_EQ(b[0], 32767);
}

TEST(Sources, MidiLevelIsValueTimesSensitivity) {
    Engine e;
    Buf b(3);
    e.midiLevel(1, b.sb());
    EXPECT_EQ(b[0], 32512);
    e.gen.midiValue[1] = 64;
    e.gen.midiSensitivity[1] = 100;
    e.midiLevel(2, b.sb());
    EXPECT_EQ(b[2], 6400);
}

TEST(Sources, MidiEnvelopeAttackZeroAndEarlyRelease) {
    Engine e;
    MidiQueue q;
    e.midiQueue = &q;
    e.midiRun.stage = {-1, -1};
    e.gen.midiEnv[0] = MidiEnvelopeParams{0, 20, 20, 25600, 32768};
    q.push(9, 0x00643C90);  // note-on 60, velocity 100, effective from sample 10
    Buf b(12);
    e.midiEnvelope(1, b.sb(), 0);
    EXPECT_EQ(b[9], 0);
    EXPECT_EQ(b[10], 0);                              // the note-on sample itself
    EXPECT_EQ(b[11], 32768 - 32768 / (20 * 127 + 1));  // full level, minus one decay step
    // Sources never move the shared read index.
    EXPECT_EQ(q.readIndex(), 0);

    Engine slow;
    MidiQueue q2;
    slow.midiQueue = &q2;
    slow.midiRun.stage = {-1, -1};
    slow.gen.midiEnv[1] = MidiEnvelopeParams{256, 20, 256, 25600, 32768};
    q2.push(-1, 0x00643C90);
    q2.push(100, 0x00003C90);  // note-off during the attack
    Buf c(200);
    slow.midiEnvelope(2, c.sb(), 0);
    const int32_t step = 32768 / (256 * 127 + 1);
    EXPECT_EQ(c[100], 100 * step);
    EXPECT_EQ(c[101], 101 * step);  // the release starts after this sample's attack step
    EXPECT_EQ(slow.midiRun.stage[1], -1);
    EXPECT_LT(c[199], c[101]);  // releasing from the level reached
    EXPECT_GT(c[199], 0);
}

TEST(Sources, NoteFollowerTracksNoteOnsOnly) {
    Engine e;
    MidiQueue q;
    e.midiQueue = &q;
    q.push(4, 0x00644590);  // A-5 (note 69) at 440 Hz
    q.push(6, 0x00004590);  // its note-off: consumed, frequency kept
    Buf b(10);
    e.noteFollower(b.sb(), 0);
    EXPECT_EQ(b[0], 2088);
    EXPECT_EQ(b[5], 440 * 8);  // eighths of a hertz
    EXPECT_EQ(b[9], 440 * 8);
    EXPECT_EQ(e.midiRun.followerCurrent, 3520);
    e.followerOctaveDown = true;  // the old tuning: an octave below
    q.push(12, 0x00644590);
    e.noteFollower(b.sb(), 10);
    EXPECT_EQ(b[9], 440 * 4);
}
