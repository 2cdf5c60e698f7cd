// Oscillators rendered side by side on worker threads give the samples of a
// single-thread render, random draws included.
#include <gtest/gtest.h>

#include "render_corpus.h"
#include "render_hashes.h"
#include "engine/worker_pool.h"

using namespace kf;
using namespace kf::cases;

TEST(RenderIdentityThreads, CorpusMatchesRecordedHashesOnSeveralThreads) {
    const auto& want = recorded();
    for (int threads : {2, 3}) {
        for (const RenderCase& rc : corpus()) {
            const uint64_t h = renderCaseHash(rc, [&](Engine& e) { e.speed.threads = threads; });
            auto it = want.find(rc.name);
            ASSERT_NE(it, want.end()) << rc.name;
            EXPECT_EQ(it->second, h) << rc.name << " on " << threads << " threads";
        }
    }
}

// An engine rendering again and again keeps its pool and follows a
// single-thread engine render for render, also when the thread count
// changes in between (state carried from render to render included).
TEST(RenderIdentityThreads, RepeatedRendersOnOneEngine) {
    Engine threaded, single;
    MidiQueue q1, q2;
    setUpCorpusEngine(threaded, q1, 40000);
    setUpCorpusEngine(single, q2, 40000);
    single.speed.threads = 1;
    TimbreRecord t1 = worstCase(), t2 = worstCase();
    t1.renderLength = t2.renderLength = 20000;
    std::vector<int16_t> out1(static_cast<size_t>(threaded.capacity())), out2(out1.size());
    for (int round = 0; round < 4; ++round) {
        threaded.speed.threads = round < 2 ? 2 : 1 + round;
        SoundBuffer b1{20000, out1.data()}, b2{20000, out2.data()};
        threaded.renderTimbre(b1, t1, true);
        single.renderTimbre(b2, t2, true);
        ASSERT_EQ(b1.count, b2.count);
        EXPECT_EQ(fnv1a(out1.data(), b1.count), fnv1a(out2.data(), b2.count)) << "round " << round;
    }
}

// The reverb's taps summed on two sample ranges side by side give the
// single-range sums, taps before the sound's start (negative attack) included.
TEST(RenderIdentityThreads, ReverbOnTwoRangesMatchesOneRange) {
    WorkerPool pool(1);
    constexpr int32_t n = 40000;
    std::vector<int16_t> sound(n);
    for (int32_t i = 0; i < n; ++i) sound[i] = static_cast<int16_t>((i * 7919) % 60001 - 30000);
    for (int32_t attack : {15, 0, -50}) {
        std::vector<int16_t> a = sound, b = sound, sa(n), sb(n);
        Random ra, rb;
        ra.seed = rb.seed = 4242;
        CutOffState ca, cb;
        EffectsState ea, eb;
        reverb(SoundBuffer{n, a.data()}, SoundBuffer{n, sa.data()}, 20000, 30000, 300, attack, 192 * 127, 44100, ra,
               ca, ea);
        reverb(SoundBuffer{n, b.data()}, SoundBuffer{n, sb.data()}, 20000, 30000, 300, attack, 192 * 127, 44100, rb,
               cb, eb, &pool);
        EXPECT_EQ(a, b) << "attack " << attack;
        EXPECT_EQ(ra.seed, rb.seed);
    }
}
