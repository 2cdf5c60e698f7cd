#include "app/cli_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "app/cli_errors.h"
#include "files/file_io.h"

namespace kf::cli {

namespace fs = std::filesystem;

namespace {

// The temporary the signal handler removes. A fixed buffer: the handler may
// only touch plain memory and async-signal-safe calls.
char g_pendingTemp[4096];
std::atomic<bool> g_havePending{false};
std::atomic<bool> g_lineOpen{false};

void setPending(const std::string& path) {
    g_havePending = false;
    if (path.size() >= sizeof g_pendingTemp) return;
    std::memcpy(g_pendingTemp, path.c_str(), path.size() + 1);
    g_havePending = true;
}

extern "C" void onInterruptSignal(int) {
    if (g_havePending) unlink(g_pendingTemp);
    if (g_lineOpen) {
        const char nl = '\n';
        (void)!write(2, &nl, 1);
    }
    const char* msg = interruptLine();
    (void)!write(2, msg, std::strlen(msg));
    _exit(kExitInterrupted);
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    if (from.empty()) return s;
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

// The permissions a newly created file would get (mkstemp makes 0600).
mode_t newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {}

OutputFile::~OutputFile() {
    if (opened_ && !direct_ && !temp_.empty()) {
        g_havePending = false;
        std::remove(temp_.c_str());
    }
}

Status OutputFile::open() {
    if (opened_) return Status::success();
    if (path_.empty()) return Status::error("no output file given");
    std::string pattern;
    if (toStdout()) {
        const char* tmp = std::getenv("TMPDIR");
        pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestrafon-out.XXXXXX";
    } else {
        target_ = path_;
        std::error_code ec;
        if (fs::is_symlink(target_, ec)) {
            const fs::path t = fs::read_symlink(target_, ec);
            if (!ec) target_ = (t.is_absolute() ? t : fs::path(target_).parent_path() / t).string();
        }
        const auto st = fs::status(target_, ec);
        if (!ec && fs::is_directory(st)) return ioError(path_, EISDIR);
        if (!ec && fs::exists(st) && !fs::is_regular_file(st)) {
            // /dev/null, a FIFO: renaming would replace the device itself.
            direct_ = true;
            temp_ = target_;
            opened_ = true;
            return Status::success();
        }
        const fs::path parent = fs::path(target_).parent_path();
        pattern = (parent.empty() ? std::string() : parent.string() + "/") + "." +
                  fs::path(target_).filename().string() + ".XXXXXX";
    }
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) return ioError(toStdout() ? pattern : path_, errno);
    fchmod(fd, newFileMode());
    close(fd);
    temp_ = name.data();
    setPending(temp_);
    opened_ = true;
    return Status::success();
}

Status OutputFile::commit() {
    if (!opened_) return Status::error("output not opened");
    if (direct_) return Status::success();
    Status result = Status::success();
    if (toStdout()) {
        std::FILE* in = std::fopen(temp_.c_str(), "rb");
        if (!in) return ioError(temp_, errno);
        std::fflush(stdout);
        char buf[1 << 16];
        size_t n = 0;
        while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) {
            if (std::fwrite(buf, 1, n, stdout) != n) {
                result = ioError("standard output", errno ? errno : EIO);
                break;
            }
        }
        std::fclose(in);
        if (result.ok && std::fflush(stdout) != 0) result = ioError("standard output", errno ? errno : EIO);
        if (!result.ok) std::clearerr(stdout);
        std::remove(temp_.c_str());
    } else if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        result = ioError(path_, errno);
        std::remove(temp_.c_str());
    }
    g_havePending = false;
    opened_ = false;
    temp_.clear();
    return result;
}

Status OutputFile::write(const std::function<Status(const std::string& file)>& writer) {
    if (Status st = open(); !st) return st;
    Status st = writer(temp_);
    if (!st) {
        st.message = replaceAll(st.message, temp_, shownName());
        return st;
    }
    return commit();
}

void installInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = onInterruptSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

void setPendingTemporary(const std::string& path) {
    if (path.empty())
        g_havePending = false;
    else
        setPending(path);
}

void setLineOpenOnInterrupt(bool open) { g_lineOpen = open; }

}  // namespace kf::cli
