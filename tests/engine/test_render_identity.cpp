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
