// Whole sounds as a freshly started program renders them for a preset,
// pinned sample for sample: the example presets and the small presets in
// tests/data/cases, each of which isolates one rule of the sound arithmetic
// (one value checked where that rule first shows, and a hash of the rest).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/fresh_render.h"
#include "core/session.h"
#include "engine/sound_hash.h"

namespace fs = std::filesystem;
using namespace kf;

namespace {

const fs::path kRoot = KF_TEST_SOURCE_DIR;
const fs::path kCases = kRoot / "tests" / "data" / "cases";

// Runs in the case directory, so the samples a preset names are found there.
class InDirectory {
public:
    explicit InDirectory(const fs::path& d) : old_(fs::current_path()) { fs::current_path(d); }
    ~InDirectory() { fs::current_path(old_); }

private:
    fs::path old_;
};

std::vector<int16_t> render(const fs::path& preset, uint32_t seed) {
    InDirectory cd(kCases);
    Session s(seed);
    Status st = renderFreshlyOpened(s, preset.string());
    EXPECT_TRUE(st.ok) << st.message;
    return s.render().playBuffer().copy();
}

struct Case {
    const char* name;
    uint32_t seed;
    size_t at;         // the sample where the rule first shows
    int16_t expected;  // its value, worked out by hand from the formulas
    size_t count;
    uint32_t hash;
};

// What each case shows:
//  one_render_*: one render per command at the given seed (the generator
//    seeded before the start-up render; MIDI envelopes, the feedback delay's
//    cut-off memory and the flanger ring start from rest).
//  abs_sine_offset_clamp: |Sine| after its offset reaches past -32768 unclamped.
//  cutoff_negative_k, resonance_undamped_growth: 32-bit filter products wrap.
//  source_buffer_after_cached_source*: a "Seq" unit without input leaves the
//    source buffer holding the previous source's curve, cached or not.
//  envseq_negative_values: the envelope sequencer's values are held to 0..
//    by their number edits on load.
//  flanger_pos_precision*: the flanger position t - D in extended precision.
//  length_above_256, sample_start_above_1024: number edits without a maximum.
//  negative_shape_exponent: values bent by a negative exponent stay exact
//    while they are in range.
const std::vector<Case> kCaseTable = {
    {"one_render_seeded_noise", 1, 42, 15356, 1024, 0x67249e89},
    {"one_render_noise_seed", 1, 50, 15356, 1024, 0x33437e5b},
    {"one_render_midi_envelope", 1, 0, -1, 1024, 0xea56fc89},
    {"one_render_midi_envelope_b", 1, 0, 0, 1024, 0xa1185b4d},
    {"one_render_feedback_memory", 1, 320, -10195, 1024, 0xa7eb633e},
    {"one_render_flanger_ring", 1, 0, 0, 8192, 0xd4eb0421},
    {"abs_sine_offset_clamp", 1, 124, 29359, 1024, 0xf846063c},
    {"cutoff_negative_k", 1, 7, -32767, 1024, 0xcb516a65},
    {"resonance_undamped_growth", 1, 2053, -32767, 16384, 0x70df3d90},
    {"source_buffer_after_cached_source", 1, 0, -1024, 1024, 0x459295c7},
    {"source_buffer_after_cached_source_b", 1, 0, -32767, 1024, 0x4814a705},
    {"envseq_negative_values", 1, 1, 0, 1024, 0xb454d974},
    {"flanger_pos_precision", 7, 25386, -8066, 262144, 0x3ab73470},
    {"flanger_pos_precision_b", 7, 111367, -8291, 262144, 0x9a75f970},
    {"length_above_256", 1, 307199, -7723, 307200, 0x187a8a80},
    {"sample_start_above_1024", 1, 0, -440, 1024, 0x5f7ec68a},
    {"negative_shape_exponent", 1, 0, -28318, 1024, 0x449b4dea},
};

struct Example {
    const char* name;
    size_t count;
    uint32_t hash;
};

const std::vector<Example> kExamples = {
    {"bass", 45056, 0x96dadc32},
    {"hit", 12288, 0x890d10f8},
    {"pad", 65536, 0xfaefa20e},
    {"pluck", 24576, 0x00f1f88a},
    {"sample", 38434, 0x246945c8},
    {"keys", 10240, 0x3a2e13da},  // both oscillators read one MEnv1 curve
};

}  // namespace

TEST(RenderPins, Cases) {
    for (const Case& c : kCaseTable) {
        SCOPED_TRACE(c.name);
        const std::vector<int16_t> s = render(kCases / (std::string(c.name) + ".kfp"), c.seed);
        EXPECT_EQ(s.size(), c.count);
        ASSERT_LT(c.at, s.size());
        EXPECT_EQ(s[c.at], c.expected) << "at " << c.at;
        EXPECT_EQ(test::soundHash(s), c.hash) << std::hex << "0x" << test::soundHash(s);
    }
}

TEST(RenderPins, Examples) {
    for (const Example& e : kExamples) {
        SCOPED_TRACE(e.name);
        const std::vector<int16_t> s = render(kRoot / "examples" / (std::string(e.name) + ".kfp"), 0);
        EXPECT_EQ(s.size(), e.count);
        EXPECT_EQ(test::soundHash(s), e.hash) << std::hex << "0x" << test::soundHash(s);
    }
}
