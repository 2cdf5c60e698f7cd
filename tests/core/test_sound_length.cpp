// The sound length and the sample start positions are number edits: a
// minimum and no maximum. Only memory limits the length, with a message.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/fresh_render.h"
#include "core/session.h"
#include "core/sound_length.h"

namespace fs = std::filesystem;
using namespace kf;

namespace {

const fs::path kCases = fs::path(KF_TEST_SOURCE_DIR) / "tests" / "data" / "cases";
constexpr size_t kLengthAt = 92 + 108;  // the timbre's length field in a preset file

// A copy of a case preset with another length, in the temp directory.
fs::path withLength(int32_t length) {
    std::ifstream in(kCases / "length_above_256.kfp", std::ios::binary);
    std::vector<char> b(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(b.size(), 4263u);
    for (int i = 0; i < 4; ++i) b[kLengthAt + i] = static_cast<char>(static_cast<uint32_t>(length) >> (8 * i));
    const fs::path p = fs::temp_directory_path() /
                       ("kf_length_" + std::to_string(::getpid()) + "_" + std::to_string(length) + ".kfp");
    std::ofstream(p, std::ios::binary).write(b.data(), static_cast<std::streamsize>(b.size()));
    return p;
}

}  // namespace

TEST(SoundLength, LongSoundsRenderAndTooLongOnesAreRefused) {
    // 2048 K: far past the scroll range, well inside memory.
    {
        Session s;
        const fs::path p = withLength(2048);
        ASSERT_TRUE(renderFreshlyOpened(s, p.string()).ok);
        EXPECT_EQ(s.render().playBuffer().count(), 2048 * 1024);
        EXPECT_EQ(s.params().get(ParamId::Length), 2048);
        fs::remove(p);
    }
    // Beyond memory: refused with a message; nothing of the preset applied.
    Session s;
    const std::string before = s.files().presetName();
    s.params().set(ParamId::SEnvAttack, 99);  // the preset holds 1.2
    for (int32_t length : {kMaxLengthUnits + 1, 2147483647}) {
        const fs::path p = withLength(length);
        Status st = s.files().openPreset(p.string());
        EXPECT_FALSE(st.ok);
        EXPECT_NE(st.message.find(std::to_string(length) + "K"), std::string::npos) << st.message;
        EXPECT_EQ(s.params().get(ParamId::Length), 10);
        EXPECT_EQ(s.files().presetName(), before);
        EXPECT_EQ(s.params().value(ParamId::SEnvAttack), 99.0);
        fs::remove(p);

        st = s.params().set(ParamId::Length, length);
        EXPECT_FALSE(st.ok);
        EXPECT_EQ(s.params().get(ParamId::Length), 10);
    }
    EXPECT_TRUE(s.params().set(ParamId::Length, 300).ok);
    s.render().waitForRender();
    EXPECT_EQ(s.render().playBuffer().count(), 300 * 1024);
}

TEST(SoundLength, SampleStartHasNoMaximum) {
    Session s;
    s.params().set(ParamId::Sample1StartPos, 5000);
    EXPECT_EQ(s.params().get(ParamId::Sample1StartPos), 5000);
    s.params().set(ParamId::Sample2StartPos, -3);
    EXPECT_EQ(s.params().get(ParamId::Sample2StartPos), 0);
    s.render().waitForRender();
}
