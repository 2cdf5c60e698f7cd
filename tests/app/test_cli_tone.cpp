#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/cli_runner.h"

namespace fs = std::filesystem;

namespace {

class CliTone : public kf::test::CliTest {
protected:
    int tone(const std::string& args) { return cli("tone " + args); }
};

uint32_t le32(const std::vector<uint8_t>& b, size_t o) {
    return b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) | (uint32_t{b[o + 3]} << 24);
}
int16_t sample(const std::vector<uint8_t>& b, size_t i) {
    return static_cast<int16_t>(b[44 + 2 * i] | (b[45 + 2 * i] << 8));
}

}  // namespace

TEST_F(CliTone, Sine440IsTheRoundedSineAtThePhaseStep) {
    ASSERT_EQ(tone("--freq 440 -o a.wav"), 0) << err;
    EXPECT_EQ(out, "Wrote a.wav (10240 samples at 22050 Hz)\n");
    const auto b = file("a.wav");
    ASSERT_EQ(b.size(), 44u + 2u * 10240u);
    EXPECT_EQ(le32(b, 24), 22050u);
    EXPECT_EQ(b[34], 16);
    EXPECT_EQ(b[22], 1);
    // Phase step Round(440 * 2^20 / 22050), one step before each sample.
    const int64_t step = std::llrint(440.0 * 1048576.0 / 22050.0);
    ASSERT_EQ(step, 20924);
    for (size_t i = 0; i < 10240; ++i) {
        const double x = static_cast<double>((static_cast<int64_t>(i + 1) * step) % 1048576) / 1048576.0;
        const int expected = -static_cast<int>(std::nearbyint(std::sin(2.0 * 3.14159265358979323846 * x) * 16384.0));
        ASSERT_EQ(sample(b, i), expected) << i;
    }
}

TEST_F(CliTone, OptionsReachTheFile) {
    ASSERT_EQ(tone("--wave Square --freq 100 --volume 256 --rate 11025 --length 1 --bits 8 -o b.wav"), 0) << err;
    const auto b = file("b.wav");
    ASSERT_EQ(b.size(), 44u + 1024u);
    EXPECT_EQ(le32(b, 24), 11025u);
    EXPECT_EQ(le32(b, 28), 11025u);
    EXPECT_EQ(b[34], 8);
    // Full-level square: -32767 in the first half cycle, +32767 after.
    EXPECT_EQ(b[44], 1);         // -32767 / 256 + 128
    EXPECT_EQ(b[44 + 80], 255);  // 32767 / 256 + 128

    // Harmonic mode: one harmonic at 256 at a start phase of a quarter cycle.
    ASSERT_EQ(tone("--freq 0 --phase 64 --harmonics 256 --length 1 -o h.wav"), 0) << err;
    EXPECT_EQ(sample(file("h.wav"), 0), -16384);
    ASSERT_EQ(tone("--freq 0 --phase 64 --harmonics 0,0 --length 1 -o z.wav"), 0) << err;
    EXPECT_EQ(sample(file("z.wav"), 0), 0);

    // Quoted wave names and the seed.
    ASSERT_EQ(tone("--wave '|Sine|' --length 1 -o s.wav"), 0) << err;
    ASSERT_EQ(tone("--wave 'Light noise' --length 1 -o l.wav"), 0) << err;
    ASSERT_EQ(tone("--wave Noise --seed 1 --length 2 -o n1.wav"), 0) << err;
    ASSERT_EQ(tone("--wave Noise --seed 2 --length 2 -o n2.wav"), 0) << err;
    ASSERT_EQ(tone("--wave Noise --seed 1 --length 2 -o n3.wav"), 0) << err;
    EXPECT_NE(file("n1.wav"), file("n2.wav"));
    EXPECT_EQ(file("n1.wav"), file("n3.wav"));
    // Custom with the editor's start curve is silence.
    ASSERT_EQ(tone("--wave Custom --calm --detune 5,6 --length 1 -o c.wav"), 0) << err;
    const auto c = file("c.wav");
    for (size_t i = 0; i < 1024; ++i) ASSERT_EQ(sample(c, i), 0);
}

TEST_F(CliTone, BadArgumentsFailWithOneLine) {
    for (const char* args : {"--wave Sawtooth -o x.wav", "--wave 'Sample 1' -o x.wav", "--freq abc -o x.wav",
                             "--freq 11026 -o x.wav", "--freq -1 -o x.wav", "--rel 4001 -o x.wav",
                             "--volume 300 -o x.wav", "--shape 2049 -o x.wav", "--phase 257 -o x.wav",
                             "--rate 1001 -o x.wav", "--rate 999 -o x.wav", "--rate 48005 -o x.wav",
                             "--length 0 -o x.wav", "--length 257 -o x.wav", "--bits 12 -o x.wav",
                             "--harmonics 1,,2 -o x.wav", "--harmonics 1,2, -o x.wav", "--harmonics 257 -o x.wav",
                             "--harmonics 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1 -o x.wav", "--detune x -o x.wav",
                             "--seed -3 -o x.wav", "--freq 440"}) {
        SCOPED_TRACE(args);
        expectOneLineError(tone(args));
        EXPECT_FALSE(fs::exists(dir / "x.wav"));
    }
    expectOneLineError(tone("--rate 1001 -o x.wav"));
    EXPECT_NE(err.find("steps of 5"), std::string::npos);
}

TEST_F(CliTone, UnwritableOutput) {
    expectOneLineError(tone("-o no/such/dir/x.wav"));
    EXPECT_NE(err.find("no/such/dir/x.wav"), std::string::npos);
}
