#include <gtest/gtest.h>

#include <vector>

#include "engine/sound_buffer.h"

using namespace kf;

namespace {
SoundBuffer view(std::vector<int16_t>& v) { return SoundBuffer{static_cast<int32_t>(v.size()), v.data()}; }
}  // namespace

TEST(SoundBuffer, AddSaturatesSymmetrically) {
    std::vector<int16_t> a{30000, -30000, 5}, b{10000, -10000, -7};
    addSounds(view(a), view(b), view(a));
    EXPECT_EQ(a, (std::vector<int16_t>{32767, -32767, -2}));
}

TEST(SoundBuffer, MulFloorsAndWraps) {
    std::vector<int16_t> a{32767, -32767, 1234}, m{32767, 32767, 0};
    mulSounds(view(a), view(m));
    EXPECT_EQ(a, (std::vector<int16_t>{32766, -32767, 0}));
}

TEST(SoundBuffer, ScaleTruncatesTowardZero) {
    std::vector<int16_t> a{4184, -100, 3000}, m{3520, 4184, 4184};
    scaleSounds(view(a), view(m), 4184);
    EXPECT_EQ(a[0], 3520);
    EXPECT_EQ(a[1], -100);
    EXPECT_EQ(a[2], 3000);
}

TEST(SoundBuffer, AmplifyUnityIsUntouchedAndOtherGainsTruncate) {
    std::vector<int16_t> a{-32768, -1, 100};
    amplifySound(view(a), 256);
    EXPECT_EQ(a[0], -32768);
    amplifySound(view(a), 255);
    EXPECT_EQ(a, (std::vector<int16_t>{-32640, 0, 99}));
    std::vector<int16_t> b{30000, -30000};
    amplifySound(view(b), 512);
    EXPECT_EQ(b, (std::vector<int16_t>{32767, -32767}));
}

TEST(SoundBuffer, WrapOverdriveSineShaper) {
    std::vector<int16_t> a{0, 16384, 32767};
    wrapOverdrive(view(a), 256);
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(a[1], 23170);
    EXPECT_EQ(a[2], 32767);
}

TEST(SoundBuffer, AppendSilenceStopsAtTheLimit) {
    std::vector<int16_t> store(kMaxSoundSamples, 7);
    SoundBuffer b{262000, store.data()};
    appendSilence(b, 1000);
    EXPECT_EQ(b.count, kMaxSoundSamples);
    EXPECT_EQ(store[262000], 0);
    EXPECT_EQ(store[262143], 0);
    appendSilence(b, 10);
    EXPECT_EQ(b.count, kMaxSoundSamples);
    SoundBuffer c{5, store.data()};
    appendSilence(c, -3);
    EXPECT_EQ(c.count, 5);
}

TEST(SoundBuffer, EightBitConversion) {
    std::vector<int16_t> a{-32768, -256, -255, -1, 1, 255, 32767};
    Sound8 s = soundTo8Bit(view(a));
    EXPECT_EQ(s.data, (std::vector<uint8_t>{0, 127, 128, 128, 128, 128, 255}));
}

TEST(SoundBuffer, DeltaCodingRoundTripsAndWraps) {
    std::vector<int16_t> a{100, 90, 95};
    deltaEncode(view(a));
    EXPECT_EQ(a, (std::vector<int16_t>{100, -10, 5}));
    deltaDecode(view(a));
    EXPECT_EQ(a, (std::vector<int16_t>{100, 90, 95}));
    std::vector<int16_t> w{-32768, 32767};
    deltaEncode(view(w));
    EXPECT_EQ(w[1], -1);
    deltaDecode(view(w));
    EXPECT_EQ(w, (std::vector<int16_t>{-32768, 32767}));
}

TEST(SoundBuffer, ByteSwapTwiceRestores) {
    std::vector<int16_t> a{0x1234, -2};
    swapSampleBytes(view(a));
    EXPECT_EQ(a[0], 0x3412);
    swapSampleBytes(view(a));
    EXPECT_EQ(a, (std::vector<int16_t>{0x1234, -2}));
}

TEST(SoundBuffer, FillKeepsLow16Bits) {
    std::vector<int16_t> a(3);
    fillSound(view(a), 70000);
    EXPECT_EQ(a[2], static_cast<int16_t>(70000 - 65536));
}

TEST(SoundBuffer, LevelToDecibels) {
    EXPECT_EQ(levelToDecibels(0), -99.0L);
    EXPECT_EQ(levelToDecibels(-5), -99.0L);
    EXPECT_NEAR(static_cast<double>(levelToDecibels(16384)), -6.0206, 1e-4);
    EXPECT_NEAR(static_cast<double>(levelToDecibels(32768)), 0.0, 1e-12);
}
