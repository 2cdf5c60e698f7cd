#include "core/utilities.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "files/data_dir.h"
#include "files/file_io.h"
#include "files/wav.h"

namespace kf {

SetupValues setupValues(const Settings& s) {
    return {s.util1, s.util1Path, s.util2, s.util2Path, s.saveDir};
}

void applySetup(Settings& s, const SetupValues& v) {
    s.util1Path = v.util1Command;
    s.util2Path = v.util2Command;
    s.util1 = v.util1Name;
    s.util2 = v.util2Name;
    s.saveDir = v.saveDir;
}

namespace {

// The path is one word for the shell whatever it holds.
std::string shellQuoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The private directory of this process's hand-over files: made on first
// use, made again if something removed it, and removed with its files when
// the program exits.
std::mutex g_handOverMutex;
std::string g_handOverDir;

void removeHandOverDir() {
    std::lock_guard<std::mutex> lock(g_handOverMutex);
    std::error_code ec;
    if (!g_handOverDir.empty()) std::filesystem::remove_all(g_handOverDir, ec);
    g_handOverDir.clear();
}

// Call with g_handOverMutex held. Returns 0 or an errno value.
int handOverDir(std::string& dir) {
    struct stat st {};
    if (!g_handOverDir.empty() && (lstat(g_handOverDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
        g_handOverDir.clear();
    if (g_handOverDir.empty()) {
        std::string base;
        if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && run[0] == '/') {
            base = run;
        } else {
            std::error_code ec;
            const std::filesystem::path tmp = std::filesystem::temp_directory_path(ec);
            base = ec ? std::string("/tmp") : tmp.string();
        }
        std::string pattern = base + "/kestrafon-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            dir = base + "/kestrafon-XXXXXX";
            return errno;
        }
        static const bool registered = std::atexit(removeHandOverDir) == 0;
        (void)registered;
        g_handOverDir = pattern;
    }
    dir = g_handOverDir;
    return 0;
}

// Starts the shell on `line` in a new session, detached: the intermediate
// child exits at once and is reaped here, so no zombie is left behind and
// nothing waits for the program. Failures stay silent by design.
void launchDetached(const std::string& line) {
    // Everything the children use is prepared before fork: only
    // async-signal-safe calls may follow it in a threaded program.
    const char* argv[] = {"/bin/sh", "-c", line.c_str(), nullptr};
    pid_t child = fork();
    if (child < 0) return;
    if (child == 0) {
        setsid();
        pid_t grandchild = fork();
        if (grandchild == 0) {
            int devnull = open("/dev/null", O_RDONLY);
            if (devnull >= 0) dup2(devnull, STDIN_FILENO);
            execv("/bin/sh", const_cast<char* const*>(argv));
            _exit(127);
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

bool blank(const std::string& s) { return s.find_first_not_of(" \t") == std::string::npos; }

// The command's program, when the command starts with a plain word (no
// quotes, assignments or shell syntax): the shell would only say "not found"
// to a terminal nobody sees.
std::string missingProgram(const std::string& command) {
    const size_t from = command.find_first_not_of(" \t");
    const std::string word = command.substr(from, command.find_first_of(" \t", from) - from);
    if (word.find_first_of("\"'=$`\\;&|<>(){}~*?[") != std::string::npos) return {};
    auto runnable = [](const std::string& path) { return access(path.c_str(), X_OK) == 0; };
    if (word.find('/') != std::string::npos) return runnable(word) ? std::string() : word;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t at = 0; at <= dirs.size();) {
        size_t end = dirs.find(':', at);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = end > at ? dirs.substr(at, end - at) : ".";
        if (runnable(dir + "/" + word)) return {};
        at = end + 1;
    }
    // Shell built-ins and keywords run without a file.
    for (const char* builtin : {"echo", "exec", "command", "true", "false", "eval", "nohup", "env", "sh"})
        if (word == builtin) return {};
    return word;
}

}  // namespace

Status runUtility(const std::string& command, SoundBuffer sound, int32_t sampleRate, std::string* pathOut) {
    if (blank(command)) return Status::success();
    std::lock_guard<std::mutex> lock(g_handOverMutex);
    std::string dir;
    if (const int err = handOverDir(dir)) return ioError(dir, err);
    std::string path = dir + "/" + kUtilityWavPattern;
    // Counted as the user sees it; the quotes only keep the shell from
    // splitting the path.
    const size_t length = command.size() + 1 + path.size();
    if (length > kMaxUtilityCommandLine)
        return Status::error("The utility's command line is " + std::to_string(length) +
                                 " characters long; at most " + std::to_string(kMaxUtilityCommandLine) +
                                 " are allowed (the command and the file " + path + ").",
                             "Utility");
    if (const std::string program = missingProgram(command); !program.empty())
        return Status::error("The utility's program \"" + program + "\" was not found. Set its command in "
                             "\"Options...\" (File menu).",
                             "Utility");
    // The name is taken exclusively (never through a link); the safe writer
    // then replaces this empty file of ours inside the private directory.
    const int fd = mkostemps(path.data(), 4, O_CLOEXEC);
    if (fd < 0) return ioError(path, errno);
    close(fd);
    if (Status st = saveWav16(sound, path, sampleRate); !st) {
        unlink(path.c_str());
        if (rmdir(dir.c_str()) == 0) g_handOverDir.clear();
        return st;
    }
    if (pathOut) *pathOut = path;
    launchDetached(command + " " + shellQuoted(path));
    return Status::success();
}

std::vector<std::string> joinParagraphs(std::istream& in) {
    std::vector<std::string> lines;
    std::string paragraph, line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // files written on other systems
        if (line.empty() || line.front() == ' ') {
            lines.push_back(paragraph);
            paragraph.clear();
        }
        paragraph += ' ';
        paragraph += line;
    }
    lines.push_back(paragraph);
    return lines;
}

Status readInstructions(std::vector<std::string>& lines) {
    const std::string path = findDataFile(kManualName);
    std::ifstream in(path);
    if (!in) {
        lines.clear();
        return Status::error(std::string(kManualName) + ": " + std::strerror(errno), "Error");
    }
    lines = joinParagraphs(in);
    if (in.bad()) return Status::error(std::string(kManualName) + ": read error", "Error");
    return Status::success();
}

}  // namespace kf
