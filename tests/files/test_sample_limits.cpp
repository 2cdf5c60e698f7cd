// Sample files that must not be read: anything but a regular file (a FIFO
// would block for ever) and files over the size limit.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "files/sample.h"

namespace fs = std::filesystem;

namespace {

fs::path freshDir(const char* name) {
    fs::path d = fs::temp_directory_path() / name;
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

}  // namespace

TEST(SampleLimits, FifoIsSkippedAtOnce) {
    const fs::path d = freshDir("kf_sample_fifo");
    const std::string fifo = (d / "pipe.smp").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    kf::SampleSlot slot;
    const auto t0 = std::chrono::steady_clock::now();
    slot.load(fifo, 0);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 1.0);
    EXPECT_EQ(slot.loadedCount(), 0);
    EXPECT_EQ(slot.label(), "No sample");
    EXPECT_EQ(kf::sampleFileProblem(fifo), "not a regular file");
    EXPECT_NE(kf::sampleFileProblem(d.string()), "");
    fs::remove_all(d);
}

TEST(SampleLimits, SizeLimitIsInclusive) {
    const fs::path d = freshDir("kf_sample_big");
    const std::string atLimit = (d / "limit.smp").string(), over = (d / "over.smp").string();
    for (const std::string& f : {atLimit, over}) std::ofstream(f, std::ios::binary).put('\0');
    fs::resize_file(atLimit, kf::kMaxSampleFileBytes);
    fs::resize_file(over, kf::kMaxSampleFileBytes + 2);
    kf::SampleSlot slot;
    slot.load(atLimit, 0);
    EXPECT_EQ(slot.loadedCount(), static_cast<int32_t>(kf::kMaxSampleFileBytes / 2));
    EXPECT_EQ(kf::sampleFileProblem(atLimit), "");
    slot.load(over, 0);
    EXPECT_EQ(slot.loadedCount(), 0);
    EXPECT_EQ(slot.storedPath(), "");
    EXPECT_EQ(kf::sampleFileProblem(over), "67108866 bytes, over the limit of 64 MiB");
    EXPECT_EQ(kf::sampleFileProblem((d / "missing.smp").string()), "No such file or directory");
    fs::remove_all(d);
}
