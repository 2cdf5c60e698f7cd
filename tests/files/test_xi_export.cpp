#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "files/export.h"
#include "files/xi.h"
#include "files_test_util.h"

namespace kf {
namespace {

using test::TempDir;

std::string text(const std::vector<uint8_t>& b, size_t at, size_t n) {
    return std::string(reinterpret_cast<const char*>(b.data() + at), n);
}
int32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24);
}
int16_t le16(const std::vector<uint8_t>& b, size_t at) { return static_cast<int16_t>(b[at] | b[at + 1] << 8); }

TEST(XI, HeaderLayout) {
    std::vector<int16_t> s = {100, 90, 95};
    const auto b = buildXI("Bassline", SoundBuffer{3, s.data()}, 22050);
    ASSERT_EQ(b.size(), 338u + 6);
    EXPECT_EQ(text(b, 0, 21), "Extended Instrument: ");
    EXPECT_EQ(text(b, 21, 11), std::string(kXiLabel) + " ");
    EXPECT_EQ(text(b, 32, 11), "Bassline   ");
    EXPECT_EQ(b[43], 0x1A);
    EXPECT_EQ(text(b, 44, 20), "FastTracker v2.00   ");
    EXPECT_EQ(b[64], 0x02);
    EXPECT_EQ(b[65], 0x01);
    for (int i = 66; i < 162; ++i) ASSERT_EQ(b[i], 0) << i;
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(le16(b, 162 + 4 * i), 16 * i);
        EXPECT_EQ(le16(b, 164 + 4 * i), 64);
        EXPECT_EQ(le16(b, 210 + 4 * i), 16 * i);
        EXPECT_EQ(le16(b, 212 + 4 * i), 32);
    }
    EXPECT_EQ(le32(b, 206), 0);  // point 11 = {0, 0}
    EXPECT_EQ(le32(b, 254), 0);
    EXPECT_EQ(b[258], 2);
    EXPECT_EQ(b[259], 2);
    for (int i = 260; i < 270; ++i) EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(b[270], 0x80);
    for (int i = 271; i < 296; ++i) EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(le16(b, 296), 1);
    // Sample header.
    EXPECT_EQ(le32(b, 298), 6);
    EXPECT_EQ(le32(b, 302), 0);
    EXPECT_EQ(le32(b, 306), 0);
    EXPECT_EQ(b[310], 64);
    EXPECT_EQ(b[312], 0x10);
    EXPECT_EQ(b[313], 128);
    EXPECT_EQ(b[315], 16);
    EXPECT_EQ(text(b, 316, 15), "Kestrafon v2.0!");
    EXPECT_EQ(b[331], 0x1A);
    for (int i = 332; i < 338; ++i) EXPECT_EQ(b[i], 0);
    // Delta-coded data; the buffer itself is untouched.
    EXPECT_EQ(le16(b, 338), 100);
    EXPECT_EQ(le16(b, 340), -10);
    EXPECT_EQ(le16(b, 342), 5);
    EXPECT_EQ(s, (std::vector<int16_t>{100, 90, 95}));
}

TEST(XI, InstrumentNameCutAndEmpty) {
    const auto longName = buildXI("VeryLongPresetName", SoundBuffer{}, 22050);
    EXPECT_EQ(text(longName, 32, 11), "VeryLongPre");
    EXPECT_EQ(longName[43], 0x1A);
    const auto empty = buildXI("", SoundBuffer{}, 22050);
    ASSERT_EQ(empty.size(), 338u);
    EXPECT_EQ(text(empty, 21, 22), std::string(kXiLabel) + std::string(12, ' '));
    EXPECT_EQ(le32(empty, 298), 0);
}

TEST(XI, RelativeNoteAndFinetuneFromTheRate) {
    struct Case { int32_t rate; int8_t note, fine; };
    for (Case c : {Case{22050, 5, -28}, Case{44100, 17, -28}, Case{11025, -7, -28}, Case{48000, 18, 30},
                   Case{16000, -1, 28}, Case{8000, -13, 28}}) {
        const auto b = buildXI("", SoundBuffer{}, c.rate);
        EXPECT_EQ(static_cast<int8_t>(b[314]), c.note) << c.rate;
        EXPECT_EQ(static_cast<int8_t>(b[311]), c.fine) << c.rate;
    }
}

TEST(XI, DeltaWrapsIn16BitsAndSaveLeavesTheSoundAlone) {
    TempDir dir;
    std::vector<int16_t> s = {32767, -32768, 0, -1};
    const auto before = s;
    SoundBuffer view{4, s.data()};
    ASSERT_TRUE(saveXI(dir.file("x.xi"), "name", view, 44100).ok);
    const auto b = test::readAll(dir.file("x.xi"));
    EXPECT_EQ(b, buildXI("name", view, 44100));
    EXPECT_EQ(le16(b, 338), 32767);
    EXPECT_EQ(le16(b, 340), 1);  // -32768 - 32767 wraps to 1
    EXPECT_EQ(le16(b, 342), -32768);
    EXPECT_EQ(le16(b, 344), -1);
    EXPECT_EQ(s, before);

    Status st = saveXI(dir.file("missing/x.xi"), "name", view, 44100);
    EXPECT_FALSE(st.ok);
    EXPECT_NE(st.message.find("missing/x.xi"), std::string::npos);
    EXPECT_EQ(s, before);
}

TEST(Export, GeneratedNamesNumberPerExtension) {
    TempDir dir;
    std::string saveDir = dir.str();  // no trailing separator
    const std::string n0 = generateSaveName("NoName", saveDir, SaveFormat::XI);
    EXPECT_EQ(saveDir, dir.str() + "/");  // the setting itself is changed
    EXPECT_EQ(n0, dir.file("NoName_0.xi"));
    test::writeAll(n0, {1});
    EXPECT_EQ(generateSaveName("NoName", saveDir, SaveFormat::XI), dir.file("NoName_1.xi"));
    EXPECT_EQ(saveDir, dir.str() + "/");  // not appended twice
    // Other extensions count separately.
    EXPECT_EQ(generateSaveName("NoName", saveDir, SaveFormat::Wav8), dir.file("NoName_0.wav"));
    EXPECT_EQ(generateSaveName("NoName", saveDir, SaveFormat::Raw8Signed), dir.file("NoName_0.smp"));
    EXPECT_EQ(generateSaveName("abc", saveDir, SaveFormat::RawMotorola), dir.file("abc_0.smp"));
    EXPECT_EQ(generateSaveName("a.b.kfp", saveDir, SaveFormat::Wav16), dir.file("a_0.wav"));
    EXPECT_EQ(generateSaveName("Bassline.kfp", saveDir, SaveFormat::XI), dir.file("Bassli_0.xi"));
    EXPECT_EQ(saveBaseName("Bassline.kfp"), "Bassline");

    std::string empty;
    EXPECT_EQ(generateSaveName("x", empty, SaveFormat::XI).substr(0, 3), "x_0");
    EXPECT_EQ(empty, "");
}

TEST(Export, SaveTwiceWithXI) {
    TempDir dir;
    std::string saveDir = dir.str() + "/";
    std::vector<int16_t> s = {5, 6, 7};
    std::string first, second;
    ASSERT_TRUE(saveSoundFile("NoName", saveDir, SaveFormat::XI, SoundBuffer{3, s.data()}, 22050, &first).ok);
    ASSERT_TRUE(saveSoundFile("NoName", saveDir, SaveFormat::XI, SoundBuffer{3, s.data()}, 22050, &second).ok);
    EXPECT_EQ(first, dir.file("NoName_0.xi"));
    EXPECT_EQ(second, dir.file("NoName_1.xi"));
    EXPECT_EQ(text(test::readAll(second), 32, 11), "NoName     ");
}

TEST(Export, RawByteOrdersAndEightBitChoices) {
    TempDir dir;
    std::vector<int16_t> s = {0x1234, -32768, 32767, -255, -256, 255, 0};
    const auto before = s;
    SoundBuffer view{static_cast<int32_t>(s.size()), s.data()};
    ASSERT_TRUE(saveSound(dir.file("m.smp"), view, SaveFormat::RawMotorola, 22050, "").ok);
    ASSERT_TRUE(saveSound(dir.file("i.smp"), view, SaveFormat::RawIntel, 22050, "").ok);
    ASSERT_TRUE(saveSound(dir.file("s8.smp"), view, SaveFormat::Raw8Signed, 22050, "").ok);
    ASSERT_TRUE(saveSound(dir.file("u8.smp"), view, SaveFormat::Raw8Unsigned, 22050, "").ok);
    const auto m = test::readAll(dir.file("m.smp")), i = test::readAll(dir.file("i.smp"));
    ASSERT_EQ(m.size(), 14u);
    ASSERT_EQ(i.size(), 14u);
    EXPECT_EQ(m[0], 0x12);
    EXPECT_EQ(m[1], 0x34);
    EXPECT_EQ(i[0], 0x34);
    EXPECT_EQ(i[1], 0x12);
    for (size_t k = 0; k < s.size(); ++k) {
        EXPECT_EQ(static_cast<int16_t>(m[2 * k] << 8 | m[2 * k + 1]), s[k]);
        EXPECT_EQ(static_cast<int16_t>(i[2 * k] | i[2 * k + 1] << 8), s[k]);
    }
    // Signed: sample / 256 truncated toward zero; unsigned: that + 128.
    EXPECT_EQ(test::readAll(dir.file("s8.smp")), (std::vector<uint8_t>{0x12, 0x80, 0x7F, 0x00, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(test::readAll(dir.file("u8.smp")), (std::vector<uint8_t>{0x92, 0x00, 0xFF, 0x80, 0x7F, 0x80, 0x80}));
    EXPECT_EQ(s, before);

    ASSERT_TRUE(saveSound(dir.file("w16.wav"), view, SaveFormat::Wav16, 22050, "").ok);
    ASSERT_TRUE(saveSound(dir.file("w8.wav"), view, SaveFormat::Wav8, 22050, "").ok);
    EXPECT_EQ(test::readAll(dir.file("w16.wav")).size(), 44u + 14);
    EXPECT_EQ(test::readAll(dir.file("w8.wav")).size(), 44u + 7);
    EXPECT_EQ(s, before);

    EXPECT_FALSE(saveSound(dir.file("no/dir.smp"), view, SaveFormat::RawMotorola, 22050, "").ok);
    EXPECT_EQ(s, before);
}

TEST(Export, OptionsPageChoices) {
    EXPECT_EQ(saveFormatFor(SaveType::XI, true), SaveFormat::XI);  // XI is always 16-bit
    EXPECT_EQ(saveFormatFor(SaveType::WAV, true), SaveFormat::Wav8);
    EXPECT_EQ(saveFormatFor(SaveType::WAV, false), SaveFormat::Wav16);
    EXPECT_EQ(saveFormatFor(SaveType::MotorolaPCM, true), SaveFormat::Raw8Unsigned);
    EXPECT_EQ(saveFormatFor(SaveType::IntelPCM, true), SaveFormat::Raw8Signed);
    EXPECT_STREQ(motorolaCaption(true), "Raw PCM (Unsigned)");
    EXPECT_STREQ(intelCaption(false), "Raw PCM (Intel)");
}

TEST(Export, SaveSampleAsByFilter) {
    TempDir dir;
    std::vector<int16_t> s = {0x1234, 2};
    SoundBuffer view{2, s.data()};
    ASSERT_TRUE(saveSampleAs(dir.file("take1"), 1, view, 22050).ok);
    EXPECT_TRUE(std::filesystem::exists(dir.file("take1.WAV")));
    ASSERT_TRUE(saveSampleAs(dir.file("take2.wav"), 1, view, 22050).ok);
    EXPECT_TRUE(std::filesystem::exists(dir.file("take2.wav")));
    EXPECT_EQ(test::readAll(dir.file("take2.wav"))[34], 16);  // always 16 bits
    ASSERT_TRUE(saveSampleAs(dir.file("take1"), 2, view, 22050).ok);
    const auto xi = test::readAll(dir.file("take1.XI"));
    ASSERT_EQ(xi.size(), 342u);
    EXPECT_EQ(text(xi, 32, 11), std::string(11, ' '));
    ASSERT_TRUE(saveSampleAs(dir.file("m"), 3, view, 22050).ok);
    EXPECT_EQ(test::readAll(dir.file("m.RAW")), (std::vector<uint8_t>{0x12, 0x34, 0x00, 0x02}));
    ASSERT_TRUE(saveSampleAs(dir.file("i.pcm"), 4, view, 22050).ok);
    EXPECT_EQ(test::readAll(dir.file("i.pcm")), (std::vector<uint8_t>{0x34, 0x12, 0x02, 0x00}));
    // A dot in a directory name is not an extension.
    std::filesystem::create_directories(dir.file("v1.0"));
    ASSERT_TRUE(saveSampleAs(dir.file("v1.0/take"), 1, view, 22050).ok);
    EXPECT_TRUE(std::filesystem::exists(dir.file("v1.0/take.WAV")));
    EXPECT_FALSE(saveSampleAs(dir.file("x"), 7, view, 22050).ok);
    EXPECT_EQ(s, (std::vector<int16_t>{0x1234, 2}));
}

}  // namespace
}  // namespace kf
