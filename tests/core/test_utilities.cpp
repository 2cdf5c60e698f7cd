#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "core/session.h"
#include "core/utilities.h"
#include "files/wav.h"

using namespace kf;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> join(const std::string& text) {
    std::istringstream in(text);
    return joinParagraphs(in);
}

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// Each test gets its own temporary directory, also as $TMPDIR, so the
// utilities' fixed file does not collide with other tests running at once.
class Utilities : public ::testing::Test {
protected:
    fs::path dir;
    std::string oldTmp;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              (std::string("kf_util_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        if (const char* t = std::getenv("TMPDIR")) oldTmp = t;
        setenv("TMPDIR", dir.c_str(), 1);
    }
    void TearDown() override {
        if (oldTmp.empty()) unsetenv("TMPDIR");
        else setenv("TMPDIR", oldTmp.c_str(), 1);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    // Waits for a file the detached program writes.
    bool appears(const fs::path& p) {
        for (int i = 0; i < 500 && !fs::exists(p); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the writer finish
        return fs::exists(p);
    }
};

}  // namespace

TEST(Instructions, ParagraphsStartAtEmptyOrIndentedLines) {
    EXPECT_EQ(join("Intro\ntext\n\nNext\n"), (std::vector<std::string>{" Intro text", "  Next"}));
    EXPECT_EQ(join(" Indented first\nline\n"), (std::vector<std::string>{"", "  Indented first line"}));
    // Files written with CR LF line ends read the same.
    EXPECT_EQ(join("Intro\r\ntext\r\n\r\nNext\r\n"), (std::vector<std::string>{" Intro text", "  Next"}));
    EXPECT_EQ(join("a\n  b\nc"), (std::vector<std::string>{" a", "   b c"}));
}

TEST_F(Utilities, ManualIsFoundOutsideTheCurrentDirectory) {
    const fs::path cwd = fs::current_path();
    fs::current_path(dir);
    std::vector<std::string> lines;
    const Status st = readInstructions(lines);
    fs::current_path(cwd);
    ASSERT_TRUE(st.ok) << st.message;
    ASSERT_GT(lines.size(), 20u);
    EXPECT_EQ(lines[0], " KESTRAFON - USER GUIDE");
}

TEST_F(Utilities, CommandGetsTheSoundAsAWavFile) {
    const fs::path script = dir / "util.sh";
    {
        std::ofstream f(script);
        f << "#!/bin/sh\nprintf '%s' \"$1\" > '" << (dir / "arg.tmp").string() << "'\ncp \"$1\" '"
          << (dir / "copy.wav").string() << "'\nmv '" << (dir / "arg.tmp").string() << "' '"
          << (dir / "arg.txt").string() << "'\n";
    }
    fs::permissions(script, fs::perms::owner_all);

    Session s;
    s.waitForRender();
    s.applySetup({"Edit", script.string(), "", "", "./"});
    EXPECT_EQ(s.utilityName(1), "Edit");
    const std::vector<int16_t> sound{0, 1000, -1000, 32767, -32767, 5};
    s.playBuffer().assign(sound.data(), static_cast<int32_t>(sound.size()));
    ASSERT_TRUE(s.runUtility(1).ok);

    ASSERT_TRUE(appears(dir / "arg.txt"));
    EXPECT_EQ(slurp(dir / "arg.txt"), utilityWavPath());
    EXPECT_EQ(fs::path(utilityWavPath()).parent_path(), dir);
    const fs::path expected = dir / "expected.wav";
    ASSERT_TRUE(saveWav16(SoundBuffer{6, const_cast<int16_t*>(sound.data())}, expected.string(), s.sampleRate()).ok);
    EXPECT_EQ(slurp(dir / "copy.wav"), slurp(expected));
}

TEST_F(Utilities, EmptyFailingAndOverlongCommands) {
    const std::vector<int16_t> sound(100, 7);
    const SoundBuffer b{100, const_cast<int16_t*>(sound.data())};
    const fs::path wav = utilityWavPath();

    EXPECT_TRUE(runUtility("", b, 22050).ok);
    EXPECT_TRUE(runUtility("   ", b, 22050).ok);
    EXPECT_FALSE(fs::exists(wav));

    // A program that does not exist is named, by path or by PATH search.
    for (const std::string& missing : {(dir / "no-such-program").string(), std::string("kf-no-such-program -x")}) {
        const Status st = runUtility(missing, b, 22050);
        EXPECT_FALSE(st.ok);
        EXPECT_NE(st.message.find("no-such-program\" was not found"), std::string::npos) << st.message;
    }
    EXPECT_FALSE(fs::exists(wav));

    // At most 199 characters with the blank and the file name.
    const size_t room = kMaxUtilityCommandLine - 1 - wav.string().size();
    const std::string fits = "true" + std::string(room - 4, ' ');
    EXPECT_TRUE(runUtility(fits, b, 22050).ok);
    fs::remove(wav);
    const Status st = runUtility(fits + "x", b, 22050);
    EXPECT_FALSE(st.ok);
    EXPECT_NE(st.message.find("199"), std::string::npos) << st.message;
    EXPECT_FALSE(fs::exists(wav));

    // The file cannot be written (a directory holds its name): the program
    // is not started.
    const fs::path marker = dir / "started";
    fs::create_directory(wav);
    EXPECT_FALSE(runUtility("touch '" + marker.string() + "' ;", b, 22050).ok);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(Utilities, SetupOkStoresWhatCancelWouldDrop) {
    Session s;
    s.waitForRender();
    int setupChanges = 0;
    s.subscribe([&](const Notification& n) { setupChanges += n.change == Change::Setup; });
    const SetupValues stored = s.setupValues();
    EXPECT_EQ(stored.saveDir, "./");

    SetupValues edits = stored;  // the dialog's edits; Cancel drops them
    edits.saveDir = (dir / "sounds").string();
    edits.util2Name = "Play";
    EXPECT_EQ(s.setupValues(), stored);  // reopening shows the stored values
    s.drainNotifications();
    EXPECT_EQ(setupChanges, 0);

    fs::create_directories(dir / "sounds");
    s.applySetup(edits);
    s.drainNotifications();
    EXPECT_EQ(setupChanges, 1);
    EXPECT_EQ(s.setupValues(), edits);
    EXPECT_EQ(s.utilityName(2), "Play");
    std::string written;
    ASSERT_TRUE(s.saveSoundFile(SaveFormat::Wav16, &written).ok);
    EXPECT_EQ(fs::path(written).parent_path(), dir / "sounds");
    EXPECT_TRUE(fs::exists(written));
}
