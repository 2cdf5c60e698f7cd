// kestrafon-cli as a Unix tool: one error line "kestrafon-cli: COMMAND: WHAT"
// with exit codes 0/1/2/130, standard streams, damaged and wrong input.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "app/cli_runner.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;
const fs::path kRoot = KF_TEST_SOURCE_DIR;

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }
std::string example(const char* name) { return quoted(kRoot / "examples" / name); }

void writeText(const fs::path& p, const std::string& text) {
    std::ofstream f(p, std::ios::binary);
    f << text;
}
std::string readText(const fs::path& p) {
    const Bytes b = kf::test::readBytes(p);
    return std::string(b.begin(), b.end());
}

class CliUnix : public kf::test::CliTest {
protected:
    // The error line's start: "kestrafon-cli: COMMAND: WHAT...".
    void expectError(int rc, int code, const std::string& start) {
        EXPECT_EQ(rc, code) << err;
        EXPECT_EQ(err.rfind(start, 0), 0u) << "stderr: " << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    }
    // A preset made from an example's JSON with texts replaced (every occurrence).
    void presetWith(const char* exampleName, const std::vector<std::pair<std::string, std::string>>& edits,
                    const std::string& out) {
        std::string json = readText(kRoot / "examples" / exampleName);
        for (const auto& [from, to] : edits) {
            size_t at = json.find(from);
            ASSERT_NE(at, std::string::npos) << from;
            for (; at != std::string::npos; at = json.find(from, at + to.size())) json.replace(at, from.size(), to);
        }
        writeText(dir / "edited.json", json);
        ASSERT_EQ(cli("build edited.json -o " + out), 0) << err;
    }
    void presetWith(const char* exampleName, const std::string& from, const std::string& to, const std::string& out) {
        presetWith(exampleName, {{from, to}}, out);
    }
    // Runs a shell line in the test directory; the exit status of its last command.
    int shell(const std::string& line) {
        const std::string cmd = "cd " + quoted(dir) + " && export XDG_CONFIG_HOME=" + quoted(dir) + " && " + line;
        const int rc = std::system(cmd.c_str());
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : 128;
    }
    std::vector<std::string> leftovers() const {
        std::vector<std::string> v;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().filename().string().rfind('.', 0) == 0) v.push_back(e.path().filename().string());
        return v;
    }
};

}  // namespace

TEST_F(CliUnix, UsageErrorsAreOneLineWithExitCode2) {
    expectError(cli("live --seconds -1"), 2, "kestrafon-cli: live: --seconds: must be 0 or more");
    EXPECT_LT(err.size(), 120u);
    expectError(cli("live --tempo abc"), 2, "kestrafon-cli: live: --tempo: not a number");
    expectError(cli("live --buffer 33"), 2, "kestrafon-cli: live: --buffer: must be from 1 to 32");
    expectError(cli("render --seed 1.5 -o a.wav"), 2, "kestrafon-cli: render: --seed: must be a whole number");
    expectError(cli("render --seed -1 -o a.wav"), 2, "kestrafon-cli: render: --seed: must be from 0 to 4294967295");
    expectError(cli("render"), 2, "kestrafon-cli: render: --output is required");
    expectError(cli("render -o a.wav --bogus"), 2, "kestrafon-cli: render: ");
    expectError(cli("render -o a.mp3"), 2, "kestrafon-cli: render: cannot tell the format");
    expectError(cli("render -o a.wav --format mp3"), 2, "kestrafon-cli: render: unknown format 'mp3'");
    expectError(cli("tone --freq abc -o t.wav"), 2, "kestrafon-cli: tone: --freq needs an integer");
    expectError(cli("frobnicate"), 2, "kestrafon-cli: unknown command 'frobnicate'");
    expectError(cli(""), 2, "kestrafon-cli: no command given");
    EXPECT_FALSE(fs::exists(dir / "a.wav"));

    ASSERT_EQ(cli("--version"), 0);
    EXPECT_TRUE(std::regex_match(out, std::regex("kestrafon-cli [0-9]+\\.[0-9]+.*\n"))) << out;
    ASSERT_EQ(cli("--help"), 0);
    EXPECT_NE(out.find("Exit codes: 0 success, 1 failure while running, 2 usage error"), std::string::npos);
    ASSERT_EQ(cli("render --help"), 0);
    EXPECT_NE(out.find("130 interrupted"), std::string::npos);
}

TEST_F(CliUnix, NamesIgnoreCaseAndRuntimeFailuresExit1) {
    ASSERT_EQ(cli("render " + example("pluck.kfp") + " --format WAV -o p.out"), 0) << err;
    ASSERT_EQ(cli("render " + example("pluck.kfp") + " -o p.wav"), 0) << err;
    EXPECT_EQ(file("p.out"), file("p.wav"));
    ASSERT_EQ(cli("tone --wave saw --length 1 -o a.wav"), 0) << err;
    ASSERT_EQ(cli("tone --wave Saw --length 1 -o b.wav"), 0) << err;
    EXPECT_EQ(file("a.wav"), file("b.wav"));

    expectError(cli("render missing.kfp -o x.wav"), 1, "kestrafon-cli: render: Cannot open preset missing.kfp: No such file");
    expectError(cli("dump missing.kfp"), 1, "kestrafon-cli: dump: missing.kfp: No such file");
    expectError(cli("render -o no/such/dir/x.wav"), 1, "kestrafon-cli: render: no/such/dir/x.wav: No such file");
}

TEST_F(CliUnix, StandardStreams) {
    // -o - writes the data to stdout, the messages to stderr.
    ASSERT_EQ(cli("render " + example("pluck.kfp") + " -o p.wav"), 0) << err;
    const Bytes wav = file("p.wav");
    ASSERT_EQ(cli("render " + example("pluck.kfp") + " -o -"), 0) << err;
    EXPECT_EQ(Bytes(out.begin(), out.end()), wav);
    EXPECT_EQ(err.rfind("Wrote standard output (", 0), 0u) << err;
    ASSERT_EQ(cli("tone --length 1 -o -"), 0) << err;
    EXPECT_EQ(out.size(), 44u + 2048u);

    // dump - and build - read stdin; build -o - writes the preset to stdout.
    ASSERT_EQ(cli("dump " + example("bass.kfp")), 0) << err;
    const std::string json = out;
    ASSERT_EQ(cli("dump - < " + example("bass.kfp")), 0) << err;
    EXPECT_EQ(out, json);
    ASSERT_EQ(cli("build - -o - < " + example("bass.json")), 0) << err;
    EXPECT_EQ(Bytes(out.begin(), out.end()), kf::test::readBytes(kRoot / "examples" / "bass.kfp"));
    EXPECT_EQ(err, "");

    // A full stdout is a failure, not a success.
    EXPECT_EQ(shell("'" KF_CLI_PATH "' dump " + example("bass.kfp") + " >/dev/full 2>e.txt"), 1);
    EXPECT_EQ(readText(dir / "e.txt").rfind("kestrafon-cli: dump: cannot write to standard output: No space", 0), 0u)
        << readText(dir / "e.txt");
    EXPECT_EQ(shell("'" KF_CLI_PATH "' render " + example("pluck.kfp") + " -o - >/dev/full 2>e.txt"), 1);
    EXPECT_NE(readText(dir / "e.txt").find("kestrafon-cli: render: standard output: No space"), std::string::npos)
        << readText(dir / "e.txt");
    // Writing into a device goes to the device, which stays a device.
    ASSERT_EQ(cli("render " + example("pluck.kfp") + " -o /dev/null --format wav"), 0) << err;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(CliUnix, WrongKindsOfInputAreRefusedWithAHint) {
    expectError(cli("render " + example("bass.json") + " -o j.wav"), 1, "kestrafon-cli: render: ");
    EXPECT_NE(err.find("bass.json: JSON text, not a preset; make a preset of it first: kestrafon-cli build"),
              std::string::npos)
        << err;
    EXPECT_FALSE(fs::exists(dir / "j.wav"));
    EXPECT_TRUE(leftovers().empty());

    ASSERT_EQ(cli("render " + example("hit.kfp") + " -o hit.wav"), 0) << err;
    expectError(cli("render hit.wav -o x.wav"), 1, "kestrafon-cli: render: hit.wav: a RIFF/WAV sound file, not a preset");
    expectError(cli("dump hit.wav"), 1, "kestrafon-cli: dump: hit.wav: a RIFF/WAV sound file, not a preset");
    writeText(dir / "song.mid", std::string("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\0", 22));
    expectError(cli("render song.mid -o x.wav"), 1, "kestrafon-cli: render: song.mid: a MIDI file, not a preset");
    expectError(cli("dump " + example("bass.json")), 1, "kestrafon-cli: dump: ");
    EXPECT_FALSE(fs::exists(dir / "x.wav"));

    fs::create_directories(dir / "adir");
    expectError(cli("build adir -o x.kfp"), 1, "kestrafon-cli: build: adir: Is a directory");
    expectError(cli("render adir -o x.wav"), 1, "kestrafon-cli: render: adir: is a directory");
    expectError(cli("build " + example("bass.kfp") + " -o x.kfp"), 1, "kestrafon-cli: build: ");
    EXPECT_NE(err.find("not JSON text"), std::string::npos) << err;
    expectError(cli("build - -o x.kfp < /dev/null"), 1, "kestrafon-cli: build: standard input: not valid JSON");
    EXPECT_FALSE(fs::exists(dir / "x.kfp"));
}

TEST_F(CliUnix, ShortAndLongPresetsSaySo) {
    const Bytes bass = kf::test::readBytes(kRoot / "examples" / "bass.kfp");
    std::ofstream(dir / "x.kfp", std::ios::binary).write(reinterpret_cast<const char*>(bass.data()), 2000);
    ASSERT_EQ(cli("render x.kfp -o x.wav"), 0) << err;
    EXPECT_EQ(err, "kestrafon-cli: render: warning: x.kfp: 2000 bytes, not 4263: the missing part keeps its defaults\n");
    writeText(dir / "empty.kfp", "");
    ASSERT_EQ(cli("render empty.kfp -o e.wav"), 0) << err;
    EXPECT_EQ(err.rfind("kestrafon-cli: render: warning: empty.kfp: 0 bytes, not 4263", 0), 0u) << err;
    ASSERT_EQ(cli("dump x.kfp"), 0) << err;
    EXPECT_EQ(err.rfind("kestrafon-cli: dump: warning: x.kfp: 2000 bytes, not 4263", 0), 0u) << err;

    Bytes longer = bass;
    longer.resize(5000, 7);
    std::ofstream(dir / "long.kfp", std::ios::binary).write(reinterpret_cast<const char*>(longer.data()), 5000);
    ASSERT_EQ(cli("render long.kfp -o l.wav"), 0) << err;
    EXPECT_NE(err.find("long.kfp: 5000 bytes, not 4263: the bytes after 4263 are ignored"), std::string::npos) << err;
    ASSERT_EQ(cli("render " + example("bass.kfp") + " -o b.wav"), 0) << err;
    EXPECT_EQ(file("l.wav"), file("b.wav"));
}

TEST_F(CliUnix, SampleFilesMissingSpecialOrHuge) {
    presetWith("sample.json", "\"data/16tone3.smp\"", "\"nosuch.smp\"", "missing.kfp");
    ASSERT_EQ(cli("render missing.kfp -o m.wav"), 0) << err;
    EXPECT_EQ(err.rfind("kestrafon-cli: render: warning: sample 1 file 'nosuch.smp' not loaded (No such file", 0), 0u)
        << err;

    // A FIFO would block the reading for ever: it is skipped at once.
    ASSERT_EQ(mkfifo((dir / "fifo.smp").c_str(), 0600), 0);
    presetWith("sample.json", "\"data/16tone3.smp\"", "\"" + (dir / "fifo.smp").string() + "\"", "fifo.kfp");
    ASSERT_EQ(cli("render " + example("sample.kfp") + " -o plain.wav"), 0) << err;
    const double plain = seconds;
    ASSERT_EQ(cli("render fifo.kfp -o f.wav"), 0) << err;
    EXPECT_LT(seconds, plain + 1.0);
    EXPECT_NE(err.find("fifo.smp' not loaded (not a regular file)"), std::string::npos) << err;

    // Above 64 MiB: one error line, no output.
    {
        std::ofstream big(dir / "big.smp", std::ios::binary);
        big.seekp((64 << 20) + 1);
        big.put(0);
    }
    presetWith("sample.json", "\"data/16tone3.smp\"", "\"" + (dir / "big.smp").string() + "\"", "big.kfp");
    expectError(cli("render big.kfp -o big.wav"), 1, "kestrafon-cli: render: sample 1 file '");
    EXPECT_NE(err.find("67108866 bytes, over the limit of 64 MiB"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir / "big.wav"));
}

TEST_F(CliUnix, ClippingSoundIsAWarning) {
    presetWith("bass.json", "\"postOverdrive\": 16", "\"postOverdrive\": 256", "loud.kfp");
    ASSERT_EQ(cli("render loud.kfp -o loud.wav"), 0) << err;
    EXPECT_TRUE(std::regex_search(err, std::regex("warning: the sound clips: [0-9]+ of [0-9]+ samples at full scale")))
        << err;
    ASSERT_EQ(cli("render " + example("pluck.kfp") + " -o quiet.wav"), 0) << err;
    EXPECT_EQ(err, "");
}

TEST_F(CliUnix, RecordPathIsCheckedBeforeStreaming) {
    expectError(cli("live --record /nonexistent/take.wav --seconds 30"), 1,
                "kestrafon-cli: live: /nonexistent/take.wav: No such file");
    EXPECT_LT(seconds, 5.0);
}

TEST_F(CliUnix, InterruptedRenderLeavesNoPartialFile) {
    // A long render (many seconds on one thread): all oscillators with
    // harmonics, a seven-note chord, a sound of 4 M samples.
    presetWith("pad.json",
               {{"\"length\": 64", "\"length\": 4096"},
                {"\"C-4,E-4,G-4,B-4\"", "\"C-3,G-3,C-4,E-4,G-4,B-4,E-5\""},
                {"\"active\": 0", "\"active\": 1"},
                {"\"harmonicsActive\": 0", "\"harmonicsActive\": 1"}},
               "long.kfp");
    writeText(dir / "keep.wav", "previous");
    for (const char* target : {"keep.wav", "new.wav"}) {
        SCOPED_TRACE(target);
        // Ctrl+C a second into the render.
        const int rc = shell(std::string("('" KF_CLI_PATH "' render --threads 1 long.kfp -o ") + target +
                             " 2>e.txt & p=$!; sleep 1; kill -INT $p; wait $p)");
        EXPECT_EQ(rc, 130);
        EXPECT_EQ(readText(dir / "e.txt"), "kestrafon-cli: render: interrupted\n");
        EXPECT_TRUE(leftovers().empty());
    }
    EXPECT_EQ(readText(dir / "keep.wav"), "previous");
    EXPECT_FALSE(fs::exists(dir / "new.wav"));
}

TEST_F(CliUnix, InstallPutsProgramSamplesAndManualInPlace) {
    const fs::path build = fs::path(KF_CLI_PATH).parent_path().parent_path();
    const fs::path prefix = dir / "prefix";
    ASSERT_EQ(shell("cmake --install " + quoted(build) + " --prefix " + quoted(prefix) + " >install.txt 2>&1"), 0)
        << readText(dir / "install.txt");
    EXPECT_TRUE(fs::exists(prefix / "bin" / "kestrafon-cli"));
    EXPECT_EQ(kf::test::readBytes(prefix / "share" / "kestrafon" / "16tone3.smp"),
              kf::test::readBytes(kRoot / "data" / "16tone3.smp"));
    EXPECT_TRUE(fs::exists(prefix / "share" / "kestrafon" / "16tone2.smp"));
    EXPECT_TRUE(fs::exists(prefix / "share" / "doc" / "kestrafon" / "README.md"));
    // The installed program renders the sample example with the installed samples.
    ASSERT_EQ(shell(quoted(prefix / "bin" / "kestrafon-cli") + " render " + example("sample.kfp") +
                    " -o installed.wav 2>e.txt"),
              0)
        << readText(dir / "e.txt");
    EXPECT_EQ(readText(dir / "e.txt"), "");
    ASSERT_EQ(cli("render " + example("sample.kfp") + " -o built.wav"), 0) << err;
    EXPECT_EQ(file("installed.wav"), file("built.wav"));
}

TEST_F(CliUnix, DevicesListWithoutLibraryNoise) {
    const int rc = cli("devices");
    if (rc != 0 && err.find("no audio support") != std::string::npos) GTEST_SKIP() << err;
    ASSERT_EQ(rc, 0) << err;
    EXPECT_EQ(out.rfind("Wave Out Devices\n", 0), 0u) << out;
    EXPECT_NE(out.find("Midi In Devices ("), std::string::npos) << out;
    EXPECT_EQ(err, "") << "library messages only with --verbose";
    ASSERT_EQ(cli("devices --verbose"), 0) << err;
    EXPECT_EQ(out.rfind("Wave Out Devices\n", 0), 0u) << out;
}

TEST_F(CliUnix, NoCommandWritesOverItsInput) {
    ASSERT_EQ(cli("build " + example("bass.json") + " -o k.kfp"), 0) << err;
    ASSERT_EQ(cli("render k.kfp -o s.wav"), 0) << err;
    fs::copy_file(kRoot / "examples" / "bass.json", dir / "k.json");
    fs::copy_file(kRoot / "tests/data/midi/one_note.mid", dir / "song.mid");
    fs::create_symlink("k.kfp", dir / "link.kfp");
    const std::vector<std::string> kept{"k.kfp", "s.wav", "k.json", "song.mid"};
    std::vector<Bytes> before;
    for (const auto& f : kept) before.push_back(file(f));
    // Links, "./" spellings and both outputs of "tool" are caught.
    const std::pair<const char*, const char*> cases[] = {
        {"build", "build k.json -o ./k.json"},
        {"render", "render k.kfp -o k.kfp --format wav"},
        {"render", "render link.kfp -o k.kfp --format wav"},
        {"render-midi", "render-midi song.mid k.kfp -o song.mid"},
        {"render-midi", "render-midi song.mid k.kfp -o link.kfp"},
        {"tool", "tool k.kfp -o k.kfp --tb303"},
        {"tool", "tool k.kfp -o new.kfp --tb303 --render ./new.kfp"},
        {"tool", "tool k.kfp -o new.kfp --tb303 --render link.kfp"},
        {"tool", "tool k.kfp -o s.wav --process-sample ./s.wav"},
        {"live", "live k.kfp --record k.kfp --seconds 1"},
    };
    for (const auto& [command, args] : cases) {
        SCOPED_TRACE(args);
        expectError(cli(args), 2, std::string("kestrafon-cli: ") + command + ": ");
    }
    // Standard input and output count as what they are redirected to.
    for (const char* line : {"dump k.kfp >>k.kfp", "build - -o k.json <k.json"}) {
        EXPECT_EQ(shell(std::string("'" KF_CLI_PATH "' ") + line + " 2>e.txt"), 2) << line;
        const std::string command(line, std::strchr(line, ' '));
        EXPECT_EQ(readText(dir / "e.txt").rfind("kestrafon-cli: " + command + ": ", 0), 0u) << line;
    }
    for (size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(file(kept[i]), before[i]) << kept[i];
    EXPECT_FALSE(fs::exists(dir / "new.kfp"));
}
