// What the safe writer keeps of the destination: a link stays a link, an
// existing file keeps its permissions, a device is written in place.
#include "files/atomic_file.h"
#include "files/file_io.h"
#include "files_test_util.h"

using namespace kf;
using kf::test::TempDir;
namespace fs = std::filesystem;

TEST(AtomicFile, KeepsLinksPermissionsAndDevices) {
    TempDir dir;
    const std::vector<uint8_t> bytes{1, 2, 3};
    test::writeAll(dir.file("target"), {9});
    fs::permissions(dir.file("target"), fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("target", dir.file("link"));
    ASSERT_TRUE(writeFileBytes(dir.file("link"), bytes).ok);
    EXPECT_TRUE(fs::is_symlink(dir.file("link")));
    EXPECT_EQ(test::readAll(dir.file("target")), bytes);
    EXPECT_EQ(fs::status(dir.file("target")).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(writeFileBytes("/dev/null", bytes).ok);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.str()), fs::directory_iterator()), 2);
}
