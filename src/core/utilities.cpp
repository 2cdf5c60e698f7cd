#include "core/utilities.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

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

// The directory the private hand-over directories are made in.
std::string utilityBaseDir() {
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && run[0] == '/') return run;
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    return ec ? std::string("/tmp") : dir.string();
}

// Starts the shell on `line` in a new session, detached: the intermediate
// child exits at once and is reaped here, so no zombie is left behind and
// nothing waits for the program. A watcher process left behind removes the
// hand-over file and its directory once the shell ends. Failures stay
// silent by design.
void launchDetached(const std::string& line, const std::string& file, const std::string& dir) {
    // Everything the children use is prepared before fork: only
    // async-signal-safe calls may follow it in a threaded program.
    const char* argv[] = {"/bin/sh", "-c", line.c_str(), nullptr};
    const char* filePath = file.c_str();
    const char* dirPath = dir.c_str();
    pid_t child = fork();
    if (child < 0) {
        unlink(filePath);
        rmdir(dirPath);
        return;
    }
    if (child == 0) {
        setsid();
        if (fork() == 0) {
            const pid_t shell = fork();
            if (shell == 0) {
                int devnull = open("/dev/null", O_RDONLY);
                if (devnull >= 0) dup2(devnull, STDIN_FILENO);
                execv("/bin/sh", const_cast<char* const*>(argv));
                _exit(127);
            }
            // The watcher keeps none of the program's files (devices, sockets)
            // open while the utility runs.
            if (close_range(3, ~0U, 0) != 0)
                for (int fd = 3; fd < 1024; ++fd) close(fd);
            int status = 0;
            while (shell > 0 && waitpid(shell, &status, 0) < 0 && errno == EINTR) {
            }
            unlink(filePath);
            rmdir(dirPath);
            _exit(0);
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

bool blank(const std::string& s) { return s.find_first_not_of(" \t") == std::string::npos; }

}  // namespace

Status runUtility(const std::string& command, SoundBuffer sound, int32_t sampleRate, std::string* pathOut) {
    if (blank(command)) return Status::success();
    const std::string pattern = utilityBaseDir() + "/kestrafon-XXXXXX";
    // Counted as the user sees it; the quotes only keep the shell from
    // splitting the path.
    const size_t length = command.size() + 1 + pattern.size() + 1 + std::strlen(kUtilityWavName);
    if (length > kMaxUtilityCommandLine)
        return Status::error("The utility's command line is " + std::to_string(length) +
                                 " characters long; at most " + std::to_string(kMaxUtilityCommandLine) +
                                 " are allowed (the command and the file " + pattern + "/" + kUtilityWavName +
                                 ").",
                             "Utility");
    std::vector<char> dirName(pattern.begin(), pattern.end());
    dirName.push_back('\0');
    if (!mkdtemp(dirName.data())) return ioError(pattern, errno);
    const std::string dir = dirName.data();
    const std::string path = dir + "/" + kUtilityWavName;
    // The name is taken exclusively first; the safe writer then replaces
    // this empty file of ours inside the private directory.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    Status st = fd < 0 ? ioError(path, errno) : saveWav16(sound, path, sampleRate);
    if (fd >= 0) close(fd);
    if (!st) {
        unlink(path.c_str());
        rmdir(dir.c_str());
        return st;
    }
    if (pathOut) *pathOut = path;
    launchDetached(command + " " + shellQuoted(path), path, dir);
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
