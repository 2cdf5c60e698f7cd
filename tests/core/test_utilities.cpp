#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
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

// Each test gets its own temporary directory, also as $XDG_RUNTIME_DIR and
// $TMPDIR, where the utilities' hand-over directories are made.
class Utilities : public ::testing::Test {
protected:
    fs::path dir;
    std::map<std::string, std::string> oldEnv;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              (std::string("kf_util_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const char* name : {"TMPDIR", "XDG_RUNTIME_DIR"}) {
            if (const char* v = std::getenv(name)) oldEnv[name] = v;
            setenv(name, dir.c_str(), 1);
        }
    }
    void TearDown() override {
        for (const char* name : {"TMPDIR", "XDG_RUNTIME_DIR"}) {
            if (oldEnv.count(name)) setenv(name, oldEnv[name].c_str(), 1);
            else unsetenv(name);
        }
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

TEST_F(Utilities, CommandGetsTheSoundInAPrivateFileOfItsOwn) {
    // "util.sh TAG FILE" copies FILE to TAG.wav and its name to TAG.txt.
    const fs::path script = dir / "util.sh";
    std::ofstream(script) << "cd '" << dir.string() << "' && cp \"$2\" \"$1.wav\" && printf '%s' \"$2\" >\"$1.tmp\""
                          << " && mv \"$1.tmp\" \"$1.txt\"\n";
    // A link planted where the file used to be handed over is left alone.
    const fs::path victim = dir / "victim.txt";
    std::ofstream(victim) << "keep";
    fs::create_symlink(victim, dir / "KSTF$$$$.WAV");

    Session s;
    s.render().waitForRender();
    s.tools().applySetup({"Edit", "sh " + script.string() + " a", "", "", "./"});
    EXPECT_EQ(s.tools().utilityName(1), "Edit");
    const std::vector<int16_t> sound{0, 1000, -1000, 32767, -32767, 5};
    s.render().playBuffer().assign(sound.data(), static_cast<int32_t>(sound.size()));
    ASSERT_TRUE(s.tools().runUtility(1).ok);
    std::string second;
    const SoundBuffer two{2, const_cast<int16_t*>(sound.data())};
    ASSERT_TRUE(runUtility("sh " + script.string() + " b", two, 8000, &second).ok);

    ASSERT_TRUE(appears(dir / "a.txt"));
    ASSERT_TRUE(appears(dir / "b.txt"));
    const fs::path first = slurp(dir / "a.txt");
    EXPECT_EQ(slurp(dir / "b.txt"), second);
    EXPECT_NE(first, fs::path(second));  // each run its own file
    EXPECT_EQ(first.parent_path(), fs::path(second).parent_path());
    EXPECT_EQ(first.parent_path().parent_path(), dir);
    EXPECT_EQ(fs::status(first.parent_path()).permissions(), fs::perms::owner_all);
    EXPECT_EQ(slurp(victim), "keep");
    const fs::path expected = dir / "expected.wav";
    ASSERT_TRUE(saveWav16(SoundBuffer{6, const_cast<int16_t*>(sound.data())}, expected.string(), s.files().sampleRate()).ok);
    EXPECT_EQ(slurp(dir / "a.wav"), slurp(expected));
}

TEST_F(Utilities, EmptyFailingAndOverlongCommands) {
    const std::vector<int16_t> sound(100, 7);
    const SoundBuffer b{100, const_cast<int16_t*>(sound.data())};

    EXPECT_TRUE(runUtility("", b, 22050).ok);
    EXPECT_TRUE(runUtility("   ", b, 22050).ok);
    EXPECT_TRUE(fs::is_empty(dir));

    // A program that does not exist is named, by path or by PATH search.
    for (const std::string& missing : {(dir / "no-such-program").string(), std::string("kf-no-such-program -x")}) {
        const Status st = runUtility(missing, b, 22050);
        EXPECT_FALSE(st.ok);
        EXPECT_NE(st.message.find("no-such-program\" was not found"), std::string::npos) << st.message;
    }

    std::string path;  // where this run's files go
    EXPECT_TRUE(runUtility("true", b, 22050, &path).ok);
    // At most 199 characters with the blank and the file name.
    const size_t room = kMaxUtilityCommandLine - 1 - path.size();
    const std::string fits = "true" + std::string(room - 4, ' ');
    EXPECT_TRUE(runUtility(fits, b, 22050).ok);
    const Status st = runUtility(fits + "x", b, 22050);
    EXPECT_FALSE(st.ok);
    EXPECT_NE(st.message.find("199"), std::string::npos) << st.message;

    // No place for the file: the program is not started.
    const fs::path marker = dir / "started";
    fs::remove_all(fs::path(path).parent_path());
    setenv("XDG_RUNTIME_DIR", (dir / "missing").c_str(), 1);
    EXPECT_FALSE(runUtility("touch '" + marker.string() + "' ;", b, 22050).ok);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(Utilities, SetupOkStoresWhatCancelWouldDrop) {
    Session s;
    s.render().waitForRender();
    int setupChanges = 0;
    s.params().subscribe([&](const Notification& n) { setupChanges += n.change == Change::Setup; });
    const SetupValues stored = s.tools().setupValues();
    EXPECT_EQ(stored.saveDir, "./");

    SetupValues edits = stored;  // the dialog's edits; Cancel drops them
    edits.saveDir = (dir / "sounds").string();
    edits.util2Name = "Play";
    EXPECT_EQ(s.tools().setupValues(), stored);  // reopening shows the stored values
    s.params().drainNotifications();
    EXPECT_EQ(setupChanges, 0);

    fs::create_directories(dir / "sounds");
    s.tools().applySetup(edits);
    s.params().drainNotifications();
    EXPECT_EQ(setupChanges, 1);
    EXPECT_EQ(s.tools().setupValues(), edits);
    EXPECT_EQ(s.tools().utilityName(2), "Play");
    std::string written;
    ASSERT_TRUE(s.files().saveSoundFile(SaveFormat::Wav16, &written).ok);
    EXPECT_EQ(fs::path(written).parent_path(), dir / "sounds");
    EXPECT_TRUE(fs::exists(written));
}
