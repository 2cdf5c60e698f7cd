// Every kind of file Kestrafon writes, made to fail at the start (a
// directory it may not write) or halfway (a full disk): the old file stays
// byte for byte, no temporary is left, and the message names the file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <functional>

#include "app/cli_runner.h"
#include "core/utilities.h"
#include "files/export.h"
#include "files/preset.h"
#include "files/settings.h"
#include "files/wav_stream.h"
#include "units/sound_scheme.h"

using namespace kf;
namespace fs = std::filesystem;

namespace {

using Writer = std::function<Status(const std::string& dest)>;
constexpr rlim_t kFileLimit = 1024;  // every file below is larger

// Runs `write` in a child that cannot finish it: the directory is read-only
// (root becomes an ordinary user first: root may write anywhere), or files
// may not grow past kFileLimit, so write() fails with EFBIG as on a full
// disk. Returns the child's message ("ok" on success).
std::string failingWrite(bool fullDisk, const std::string& dest, const Writer& write) {
    int fds[2];
    if (pipe(fds) != 0) return "no pipe";
    if (fork() == 0) {
        const rlimit r{kFileLimit, kFileLimit};
        std::signal(SIGXFSZ, SIG_IGN);
        if (fullDisk ? setrlimit(RLIMIT_FSIZE, &r) != 0 : geteuid() == 0 && setuid(65534) != 0) _exit(1);
        const Status st = write(dest);
        const std::string m = st.ok ? "ok" : st.message;
        (void)!::write(fds[1], m.data(), m.size());
        _exit(0);
    }
    close(fds[1]);
    std::string msg;
    char buf[1024];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) msg.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    wait(nullptr);
    return msg;
}

class SafeWriter : public kf::test::CliTest {};

}  // namespace

TEST_F(SafeWriter, FailedWritesKeepTheOldFile) {
    std::vector<int16_t> samples(4000, 1234);
    const SoundBuffer sound{4000, samples.data()};
    const std::string json = KF_TEST_SOURCE_DIR "/examples/bass.json";
    std::vector<std::pair<std::string, Writer>> kinds = {
        {"preset", [](const std::string& d) { return savePresetFile(d, PresetRecord{}, SoundScheme{}); }},
        {"json build",
         [&](const std::string& d) {
             std::FILE* p = popen(("'" KF_CLI_PATH "' build '" + json + "' -o '" + d + "' 2>&1").c_str(), "r");
             std::string out(4096, '\0');
             out.resize(std::fread(out.data(), 1, out.size(), p));
             return pclose(p) == 0 ? Status::success() : Status::error(out);
         }},
        {"settings",
         [](const std::string& d) { return writeSettings(d, Settings{0, 0, "", "", "", "", std::string(2000, 'd')}); }},
        {"streamed wav",
         [&](const std::string& d) {
             WavStreamWriter w;
             Status st = w.open(d, 22050);
             for (int i = 0; i < 4 && st; ++i) st = w.write(SoundBuffer{1000, samples.data()});
             return st ? w.commit() : st;
         }},
        {"utility",
         [&](const std::string& d) {
             setenv("XDG_RUNTIME_DIR", fs::path(d).parent_path().c_str(), 1);
             return runUtility("true", sound, 22050);
         }},
    };
    for (SaveFormat f : {SaveFormat::Wav16, SaveFormat::Wav8, SaveFormat::XI, SaveFormat::RawMotorola,
                         SaveFormat::Raw8Unsigned})
        kinds.push_back({"sound " + std::to_string(static_cast<int>(f)),
                         [=](const std::string& d) { return saveSound(d, sound, f, 22050, "x"); }});

    const fs::path sub = dir / "sub", dest = sub / "old.file";
    fs::create_directory(sub);
    chmod(dir.c_str(), 0755);  // the ordinary user may pass
    const std::string old(3000, 'Z');
    for (const auto& [kind, write] : kinds) {
        for (const bool fullDisk : {false, true}) {
            SCOPED_TRACE(kind + (fullDisk ? ", full disk" : ", read-only directory"));
            std::ofstream(dest, std::ios::binary) << old;
            chmod(dest.c_str(), 0666);  // writing over it in place would work
            chmod(sub.c_str(), fullDisk ? 0755 : 0555);
            const std::string msg = failingWrite(fullDisk, dest.string(), write);
            chmod(sub.c_str(), 0755);
            EXPECT_NE(msg.find(kind == "utility" ? sub.string() : dest.string()), std::string::npos) << msg;
            EXPECT_EQ(msg.find("/."), std::string::npos) << "names the temporary: " << msg;
            const auto now = kf::test::readBytes(dest);
            EXPECT_TRUE(std::string(now.begin(), now.end()) == old) << "the old file changed";
            EXPECT_EQ(std::distance(fs::directory_iterator(sub), fs::directory_iterator()), 1);
        }
    }
}
