// Every sample of a varied corpus of timbres is pinned by a hash recorded
// from the straightforward renderer; speed-ups must leave all of them alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "render_corpus.h"
#include "render_hashes.h"

using namespace kf;
using namespace kf::cases;

namespace {

void scalarPath(Engine& e) { e.speed.fastMath = false; }

}  // namespace

// The plain scalar path (library functions throughout) is the reference.
TEST(RenderIdentity, ScalarPathMatchesRecordedHashes) {
    const auto& want = recorded();
    std::string table;
    for (const RenderCase& rc : corpus()) {
        std::vector<int16_t> samples;
        const uint64_t h = renderCaseHash(rc, scalarPath, &samples);
        EXPECT_TRUE(std::any_of(samples.begin(), samples.end(), [](int16_t v) { return v != 0; }))
            << rc.name << " renders silence and proves nothing";
        char line[128];
        std::snprintf(line, sizeof line, "        {\"%s\", 0x%016llxull},\n", rc.name.c_str(),
                      static_cast<unsigned long long>(h));
        table += line;
        auto it = want.find(rc.name);
        if (it == want.end()) {
            ADD_FAILURE() << "no recorded hash for " << rc.name;
            continue;
        }
        EXPECT_EQ(it->second, h) << rc.name;
    }
    if (HasFailure()) std::printf("Hashes of this build:\n%s", table.c_str());
}

TEST(RenderIdentity, FastPathRendersTheScalarSamples) {
    for (const RenderCase& rc : corpus()) {
        std::vector<int16_t> fast, scalar;
        const uint64_t hf = renderCaseHash(rc, {}, &fast);
        const uint64_t hs = renderCaseHash(rc, scalarPath, &scalar);
        ASSERT_EQ(fast.size(), scalar.size()) << rc.name;
        auto diff = std::mismatch(fast.begin(), fast.end(), scalar.begin());
        EXPECT_TRUE(diff.first == fast.end()) << rc.name << ": first difference at sample "
                                              << (diff.first - fast.begin());
        EXPECT_EQ(hf, hs) << rc.name << " (oscillator state words)";
    }
}

// The memoised wrap overdrive gives every sample value the computed result,
// also when the gain changes between calls.
TEST(RenderIdentity, WrapOverdriveCacheGivesTheComputedValues) {
    std::vector<int16_t> all(65536), a, b;
    for (int32_t v = 0; v < 65536; ++v) all[static_cast<size_t>(v)] = static_cast<int16_t>(v - 32768);
    WrapOverdriveCache cache;
    for (int32_t g : {8, 256, 512, 2040, 256}) {
        a = all, b = all;
        wrapOverdrive(SoundBuffer{65536, a.data()}, g);
        wrapOverdrive(SoundBuffer{65536, b.data()}, g, cache);
        ASSERT_EQ(a, b) << "gain " << g;
        wrapOverdrive(SoundBuffer{65536, b.data()}, g, cache);  // now all from the cache
        wrapOverdrive(SoundBuffer{65536, a.data()}, g);
        ASSERT_EQ(a, b) << "gain " << g << ", cached";
    }
}

// Envelopes and sine LFOs in double precision wherever that decides the
// rounding: the same curves as in extended precision, over shapes,
// amplitudes, bases, repetitions and stream positions far from the start.
TEST(RenderIdentity, FastSourceCurvesMatchExtendedPrecision) {
    Engine fast, exact;
    exact.speed.fastMath = false;
    constexpr int32_t n = 5000;
    std::vector<int16_t> a(n), b(n);
    for (int shape : {0, 1, 100, 255, 256, 300, 480, 511, 512})
        for (int32_t base : {0, -9000, 12000}) {
            for (Engine* e : {&fast, &exact}) {
                e->gen.env[0] = EnvelopeParams{137, 211, 500, 29000 + shape, base, shape, 1 + shape % 5};
                e->gen.env[1] = e->gen.env[0];
            }
            for (int env : {1, 2}) {
                fast.envelope(env, SoundBuffer{n, a.data()}, 0, n);
                exact.envelope(env, SoundBuffer{n, b.data()}, 0, n);
                ASSERT_EQ(a, b) << "envelope " << env << " shape " << shape << " base " << base;
            }
        }
    for (int32_t freq : {1, 32, 777, 1600})
        for (int32_t start : {0, 1000000, 190000000}) {
            for (Engine* e : {&fast, &exact}) {
                e->sampleRate = 44100;
                e->gen.lfo[0] = LfoParams{freq, 8192 * 4, 0, freq % 256, 0};
            }
            fast.lfo(1, SoundBuffer{n, a.data()}, start);
            exact.lfo(1, SoundBuffer{n, b.data()}, start);
            ASSERT_EQ(a, b) << "LFO frequency " << freq << " at " << start;
        }
}
