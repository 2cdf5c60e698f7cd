#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "files/wav.h"

using namespace kf;
namespace fs = std::filesystem;

namespace {

class WavTest : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kf_wav_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, ec);
        fs::remove_all(dir, ec);
    }
    static std::vector<uint8_t> read(const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
    }
};

uint32_t le32(const std::vector<uint8_t>& b, size_t o) {
    return b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) | (uint32_t{b[o + 3]} << 24);
}
uint16_t le16(const std::vector<uint8_t>& b, size_t o) { return static_cast<uint16_t>(b[o] | (b[o + 1] << 8)); }

}  // namespace

TEST(WavHeader, SixteenBitFields) {
    const auto h = wavHeader(200, 22050, 16);
    const std::vector<uint8_t> b(h.begin(), h.end());
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(le32(b, 4), 236u);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(b, 16), 16u);
    EXPECT_EQ(le16(b, 20), 1);
    EXPECT_EQ(le16(b, 22), 1);
    EXPECT_EQ(le32(b, 24), 22050u);
    EXPECT_EQ(le32(b, 28), 44100u);
    EXPECT_EQ(le16(b, 32), 2);
    EXPECT_EQ(le16(b, 34), 16);
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(le32(b, 40), 200u);
    // Multi-byte fields are little-endian whatever the host.
    const auto big = wavHeader(0x01020304u, 48000, 8);
    EXPECT_EQ(big[40], 0x04);
    EXPECT_EQ(big[43], 0x01);
    EXPECT_EQ(big[24], 48000 & 0xFF);
}

TEST_F(WavTest, SixteenBitFileHoldsSamplesLittleEndian) {
    std::vector<int16_t> s{0, 1, -1, 32767, -32768, 0x1234};
    const fs::path p = dir / "a.wav";
    ASSERT_TRUE(saveWav16(SoundBuffer{6, s.data()}, p.string(), 22050));
    const auto b = read(p);
    ASSERT_EQ(b.size(), 44u + 12u);
    EXPECT_EQ(le32(b, 4), 48u);
    EXPECT_EQ(le32(b, 40), 12u);
    const std::vector<uint8_t> data(b.begin() + 44, b.end());
    EXPECT_EQ(data, (std::vector<uint8_t>{0, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x80, 0x34, 0x12}));
    EXPECT_EQ(s[5], 0x1234);  // the sound is left unchanged
}

TEST_F(WavTest, EightBitOddCountHasNoPadByte) {
    Sound8 s;
    s.data = {128, 0, 255};
    const fs::path p = dir / "b.wav";
    ASSERT_TRUE(saveWav8(s, p.string(), 22050));
    const auto b = read(p);
    ASSERT_EQ(b.size(), 47u);
    EXPECT_EQ(le32(b, 4), 39u);
    EXPECT_EQ(le32(b, 28), 22050u);
    EXPECT_EQ(le16(b, 32), 1);
    EXPECT_EQ(le16(b, 34), 8);
    EXPECT_EQ(le32(b, 40), 3u);
    EXPECT_EQ(b[44], 128);
    EXPECT_EQ(b[46], 255);
}

TEST_F(WavTest, EmptySoundAndOverwrite) {
    const fs::path p = dir / "c.wav";
    {
        std::ofstream f(p, std::ios::binary);
        f << std::string(5000, 'x');
    }
    ASSERT_TRUE(saveWav16(SoundBuffer{}, p.string(), 44100));
    auto b = read(p);
    ASSERT_EQ(b.size(), 44u);  // the longer old file is replaced entirely
    EXPECT_EQ(le32(b, 4), 36u);
    EXPECT_EQ(le32(b, 40), 0u);
    ASSERT_TRUE(saveWav8(Sound8{}, p.string(), 44100));
    EXPECT_EQ(read(p).size(), 44u);
}

TEST_F(WavTest, FailuresNameTheFileAndTheError) {
    std::vector<int16_t> s(10, 5);
    const std::string missing = (dir / "no" / "such" / "x.wav").string();
    const Status st = saveWav16(SoundBuffer{10, s.data()}, missing, 22050);
    EXPECT_FALSE(st.ok);
    EXPECT_NE(st.message.find(missing), std::string::npos);
    EXPECT_NE(st.message.find("No such file or directory"), std::string::npos);
    EXPECT_EQ(st.message.find('\n'), std::string::npos);

    const Status d = saveWav8(Sound8{}, dir.string(), 22050);  // a directory
    EXPECT_FALSE(d.ok);
    EXPECT_NE(d.message.find(dir.string()), std::string::npos);
#ifdef __linux__
    if (fs::exists("/dev/full")) {
        std::vector<int16_t> big(100000, 1);
        const Status full = saveWav16(SoundBuffer{100000, big.data()}, "/dev/full", 22050);
        EXPECT_FALSE(full.ok);
        EXPECT_NE(full.message.find("No space left"), std::string::npos);
    }
#endif
}
