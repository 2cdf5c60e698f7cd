// Whole renders of the benchmark's worst-case timbre, pinned by hash: every
// stage of the chain is busy, so a change of any sample of any stage shows.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "engine/engine.h"
#include "engine/sound_hash.h"
#include "render_cases.h"

using namespace kf;

namespace {

std::vector<int16_t> renderWorstCase(TimbreRecord t, int32_t n) {
    Engine e;
    cases::setUpEngine(e, n + 1024);
    std::vector<int16_t> out(static_cast<size_t>(e.capacity()));
    t.renderLength = n;
    SoundBuffer b{n, out.data()};
    e.renderTimbre(b, t, true);
    out.resize(static_cast<size_t>(b.count));
    return out;
}

}  // namespace

TEST(RenderPins, WorstCase) {
    const std::vector<int16_t> s = renderWorstCase(cases::worstCase(), 262144);
    ASSERT_EQ(s.size(), 262144u);
    EXPECT_EQ(test::soundHash(s), 0x63cdfd6au) << std::hex << test::soundHash(s);
}

// The reverb draws its taps from the generator: pinned at a shorter length
// with the same seed every time.
TEST(RenderPins, WorstCaseWithReverb) {
    TimbreRecord t = cases::worstCase();
    t.reverbActive = 1;
    t.reverbLength = 300;
    const std::vector<int16_t> s = renderWorstCase(t, 32768);
    ASSERT_EQ(s.size(), 32768u);
    EXPECT_EQ(test::soundHash(s), 0x83d375cbu) << std::hex << test::soundHash(s);
}
