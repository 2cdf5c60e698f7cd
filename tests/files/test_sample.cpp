#include <gtest/gtest.h>

#include <filesystem>

#include "../../tools/sample_tones.h"
#include "files/sample.h"
#include "files_test_util.h"

namespace kf {
namespace {

using test::TempDir;

std::vector<uint8_t> rampBytes(size_t n) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
    return b;
}

TEST(Sample, WholeFileAsLittleEndianSamplesOddByteIgnored) {
    TempDir dir;
    const std::string path = dir.file("odd.smp");
    const auto bytes = rampBytes(1001);
    test::writeAll(path, bytes);
    SampleSlot slot;
    slot.load(path, 0);
    ASSERT_EQ(slot.view().count, 500);
    EXPECT_EQ(slot.loadedCount(), 500);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(static_cast<uint16_t>(slot.view()[i]), bytes[2 * i] | bytes[2 * i + 1] << 8) << i;
    EXPECT_EQ(slot.storedPath(), path);
    EXPECT_EQ(slot.label(), "odd.smp");
}

TEST(Sample, StartPositionSkipsAWavHeader) {
    TempDir dir;
    const std::string path = dir.file("take.wav");
    std::vector<uint8_t> file(44, 0xAA);  // header bytes: skipped by start 22
    const std::vector<int16_t> data = {1, -2, 300, -32768, 32767};
    for (int16_t s : data) {
        file.push_back(static_cast<uint8_t>(s));
        file.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
    }
    test::writeAll(path, file);
    SampleSlot slot;
    slot.load(path, 22);
    ASSERT_EQ(slot.view().count, 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(slot.view()[i], data[i]);

    slot.load(path, 27);  // exactly the end
    EXPECT_EQ(slot.view().count, 0);
    slot.load(path, 5000);  // beyond the end: empty view, not an error
    EXPECT_EQ(slot.view().count, 0);
    EXPECT_EQ(slot.label(), "take.wav");
    slot.load(path, -10);  // a negative start from a file counts as 0
    EXPECT_EQ(slot.view().count, 27);
    EXPECT_EQ(slot.view().samples[0], static_cast<int16_t>(0xAAAA));
}

TEST(Sample, ByteSwapTouchesTheViewOnlyAndReloadUndoesIt) {
    TempDir dir;
    const std::string path = dir.file("s.smp");
    test::writeAll(path, {0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A});
    SampleSlot slot;
    slot.load(path, 1);
    slot.byteSwap();
    EXPECT_TRUE(slot.swapped());
    EXPECT_EQ(static_cast<uint16_t>(slot.view()[0]), 0x7856);
    EXPECT_EQ(static_cast<uint16_t>(slot.view()[1]), 0xBC9A);
    EXPECT_EQ(static_cast<uint16_t>(slot.view().samples[-1]), 0x1234);  // before the start: unchanged
    slot.reload(0);  // the start-position change reads the file afresh
    EXPECT_FALSE(slot.swapped());
    EXPECT_EQ(static_cast<uint16_t>(slot.view()[1]), 0x5678);
    slot.byteSwap();
    slot.byteSwap();
    EXPECT_FALSE(slot.swapped());
    EXPECT_EQ(static_cast<uint16_t>(slot.view()[2]), 0x9ABC);
}

TEST(Sample, UnopenableNamesLeaveTheSlotEmpty) {
    TempDir dir;
    const std::string path = dir.file("ok.smp");
    test::writeAll(path, rampBytes(64));
    for (const std::string& bad : {std::string(), dir.file("missing.smp"), dir.str()}) {
        SampleSlot slot;
        slot.load(path, 0);
        ASSERT_EQ(slot.view().count, 32);
        slot.load(bad, 0);
        EXPECT_EQ(slot.view().count, 0) << bad;
        EXPECT_EQ(slot.loadedCount(), 0);
        EXPECT_EQ(slot.storedPath(), "");
        EXPECT_EQ(slot.label(), "No sample");
        EXPECT_FALSE(slot.swapped());
    }
    SampleSlot fresh;
    EXPECT_EQ(fresh.view().count, 0);
    EXPECT_EQ(fresh.label(), "No sample");
}

TEST(Sample, LongPathLoadsButItsStoredCutFailsToReload) {
    TempDir dir;
    std::string sub = dir.str();
    while (sub.size() < 110) sub += "/deeper_directory_level";
    std::filesystem::create_directories(sub);
    const std::string path = sub + "/long.smp";
    test::writeAll(path, rampBytes(20));
    SampleSlot slot;
    slot.load(path, 0);
    EXPECT_EQ(slot.view().count, 10);
    EXPECT_EQ(slot.storedPath(), path.substr(0, 100));
    EXPECT_EQ(slot.label(), "long.smp");
    slot.reload(0);
    EXPECT_EQ(slot.view().count, 0);
    EXPECT_EQ(slot.label(), "No sample");
}

TEST(Sample, BareNameAfterEitherSeparator) {
    EXPECT_EQ(bareFileName("C:\\Snd\\16tone3.smp"), "16tone3.smp");
    EXPECT_EQ(bareFileName("/home/u/a\\b/x.smp"), "x.smp");
    EXPECT_EQ(bareFileName("plain.smp"), "plain.smp");
    EXPECT_EQ(bareFileName("dir/"), "");
}

TEST(Sample, ShippedDefaultSamplesEqualTheGeneratorOutput) {
    const std::string data = std::string(KF_TEST_SOURCE_DIR) + "/data/";
    EXPECT_EQ(test::readAll(data + "16tone3.smp"), tools::toBytes(tools::tone3()));
    EXPECT_EQ(test::readAll(data + "16tone2.smp"), tools::toBytes(tools::tone2()));
    // Tone-rich and never the clamped extreme.
    auto t = tools::tone3();
    int16_t peak = 0;
    for (int16_t s : t) peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(s)));
    EXPECT_GT(peak, 16000);
    EXPECT_LT(peak, 32767);
}

TEST(Sample, DefaultSamplesAreFoundOutsideTheCurrentDirectory) {
    TempDir dir;
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.str());
    const std::string found = findDefaultSample("16tone3.smp");
    SampleSlot slot;
    slot.load(found, 0);
    EXPECT_EQ(slot.view().count, 32768);
    EXPECT_EQ(slot.label(), "16tone3.smp");
    // A copy in the current directory wins.
    test::writeAll(dir.file("16tone3.smp"), {1, 2});
    EXPECT_EQ(findDefaultSample("16tone3.smp"), "16tone3.smp");
    EXPECT_EQ(findDefaultSample("no-such.smp"), "no-such.smp");
    std::filesystem::current_path(cwd);
}

}  // namespace
}  // namespace kf
