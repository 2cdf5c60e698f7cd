#include "app/cli_output.h"

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
#include "files/atomic_file.h"
#include "files/file_io.h"

namespace kf::cli {

namespace {

// Standard output's temporary, for the signal handler (files written by the
// safe writer are its business). A fixed buffer: the handler may only touch
// plain memory and async-signal-safe calls.
char g_stdoutTemp[4096];
std::atomic<bool> g_haveStdoutTemp{false};
std::atomic<bool> g_lineOpen{false};

extern "C" void onInterruptSignal(int) {
    kf::removePendingTemporaries();
    if (g_haveStdoutTemp) unlink(g_stdoutTemp);
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

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {}

OutputFile::~OutputFile() {
    if (temp_.empty()) return;
    g_haveStdoutTemp = false;
    std::remove(temp_.c_str());
}

Status OutputFile::open() {
    if (opened_) return Status::success();
    if (path_.empty()) return Status::error("no output file given");
    if (!toStdout()) {
        if (Status st = checkWritable(path_); !st) return st;
        opened_ = true;
        return Status::success();
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestrafon-out.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) return ioError(pattern, errno);
    close(fd);
    temp_ = name.data();
    if (temp_.size() < sizeof g_stdoutTemp) {
        std::memcpy(g_stdoutTemp, temp_.c_str(), temp_.size() + 1);
        g_haveStdoutTemp = true;
    }
    opened_ = true;
    return Status::success();
}

Status OutputFile::copyToStdout() {
    Status result = Status::success();
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
    return result;
}

Status OutputFile::write(const std::function<Status(const std::string& file)>& writer) {
    if (Status st = open(); !st) return st;
    if (!toStdout()) return writer(path_);
    Status st = writer(temp_);
    if (!st) {
        st.message = replaceAll(st.message, temp_, shownName());
        return st;
    }
    return copyToStdout();
}

bool refuseSameFile(const std::string& output, const std::vector<std::string>& inputs) {
    if (output.empty() || output == "-") return false;
    // A device or pipe is not eaten by writing to it.
    std::error_code ec;
    if (std::filesystem::exists(output, ec) && !isRegularFile(output)) return false;
    for (const std::string& given : inputs) {
        const std::string in = given == "-" ? "/dev/stdin" : given;
        if (in.empty() || !isSameFile(output, in)) continue;
        const std::string what = output == "/dev/stdout" ? "standard output" : "the output " + output;
        const std::string other = given == "-" ? "standard input" : given;
        usageError(output == in ? what + " is also an input; write to another file"
                                : what + " is the same file as " + other + "; write to another file");
        return true;
    }
    return false;
}

void installInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = onInterruptSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

void setLineOpenOnInterrupt(bool open) { g_lineOpen = open; }

}  // namespace kf::cli
