// Every kind of file Kestrafon writes, made to fail at the start (a
// directory it may not write) or halfway (a full disk): the old file stays
// byte for byte, no temporary is left, and the message names the file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <functional>

#include "app/cli_runner.h"
#include "core/utilities.h"
#include "files/export.h"
#include "files/preset.h"
#include "units/sound_scheme.h"
#include "files/settings.h"
#include "files/wav_stream.h"

using namespace kf;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;
using Writer = std::function<Status(const std::string& dest)>;
constexpr rlim_t kFileLimit = 1024;  // every file below is larger

// Runs `write` in a child process that cannot finish it: either the
// directory is read-only (root becomes an ordinary user first, as root may
// write anywhere), or files may not grow past kFileLimit, so write() fails
// with EFBIG as on a full disk. Returns the child's message ("ok" on success).
std::string failingWrite(bool fullDisk, const std::string& dest, const Writer& write) {
    int fds[2];
    if (pipe(fds) != 0) return "no pipe";
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (fullDisk) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit r{kFileLimit, kFileLimit};
            setrlimit(RLIMIT_FSIZE, &r);
        } else if (geteuid() == 0 && setuid(65534) != 0) {
            _exit(1);
        }
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
    waitpid(pid, nullptr, 0);
    return msg;
}

class SafeWriter : public kf::test::CliTest {};

}  // namespace

TEST_F(SafeWriter, FailedWritesKeepTheOldFile) {
    std::vector<int16_t> samples(4000);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i * 37);
    const SoundBuffer sound{4000, samples.data()};
    auto asSound = [&](SaveFormat f) {
        return [=](const std::string& d) { return saveSound(d, sound, f, 22050, "x"); };
    };
    const fs::path json = fs::path(KF_TEST_SOURCE_DIR) / "examples" / "bass.json";
    const std::pair<const char*, Writer> kinds[] = {
        {"preset", [](const std::string& d) { return savePresetFile(d, PresetRecord{}, SoundScheme{}); }},
        {"wav16", asSound(SaveFormat::Wav16)},
        {"wav8", asSound(SaveFormat::Wav8)},
        {"xi", asSound(SaveFormat::XI)},
        {"raw16", asSound(SaveFormat::RawMotorola)},
        {"raw8", asSound(SaveFormat::Raw8Unsigned)},
        {"json build",
         [&](const std::string& d) {
             std::FILE* p = popen(("'" KF_CLI_PATH "' build '" + json.string() + "' -o '" + d + "' 2>&1").c_str(), "r");
             std::string out(4096, '\0');
             out.resize(std::fread(out.data(), 1, out.size(), p));
             return pclose(p) == 0 ? Status::success() : Status::error(out);
         }},
        {"settings",
         [](const std::string& d) {
             Settings s;
             s.saveDir = std::string(2000, 'd');
             return writeSettings(d, s);
         }},
        {"streamed wav",
         [&](const std::string& d) {
             WavStreamWriter w;
             Status st = w.open(d, 22050);
             for (int i = 0; i < 4 && st; ++i) st = w.write(SoundBuffer{1000, samples.data() + i * 1000});
             return st ? w.commit() : st;
         }},
        {"utility",
         [&](const std::string& d) {
             setenv("XDG_RUNTIME_DIR", fs::path(d).parent_path().c_str(), 1);
             return runUtility("true", sound, 22050);
         }},
    };
    const fs::path sub = dir / "sub";
    fs::create_directory(sub);
    fs::permissions(dir, fs::perms::others_exec, fs::perm_options::add);  // for the ordinary user
    const Bytes old(3000, 0x5a);
    for (const auto& [kind, write] : kinds) {
        for (const bool fullDisk : {false, true}) {
            SCOPED_TRACE(std::string(kind) + (fullDisk ? ", full disk" : ", read-only directory"));
            const fs::path dest = sub / "old.file";
            {
                std::ofstream f(dest, std::ios::binary);
                f.write(reinterpret_cast<const char*>(old.data()), static_cast<std::streamsize>(old.size()));
            }
            fs::permissions(dest, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec &
                                      ~fs::perms::others_exec);  // writing over it in place would work
            if (!fullDisk) fs::permissions(sub, fs::perms::all & ~fs::perms::owner_write & ~fs::perms::group_write &
                                                     ~fs::perms::others_write);
            const std::string msg = failingWrite(fullDisk, dest.string(), write);
            fs::permissions(sub, fs::perms::owner_all | fs::perms::others_exec);
            EXPECT_NE(msg, "ok");
            EXPECT_NE(msg.find(kind == std::string("utility") ? sub.string() : dest.string()), std::string::npos)
                << msg;
            EXPECT_EQ(msg.find("/."), std::string::npos) << "names the temporary: " << msg;
            EXPECT_EQ(kf::test::readBytes(dest), old);
            EXPECT_EQ(std::distance(fs::directory_iterator(sub), fs::directory_iterator()), 1);
        }
    }
}
