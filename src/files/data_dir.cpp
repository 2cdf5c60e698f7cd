#include "files/data_dir.h"

#include "files/file_io.h"

#include <filesystem>

namespace kf {

namespace {

// share/kestrafon beside the running program's bin/, so that an installed
// tree still finds its data after it was moved (or installed with DESTDIR).
std::string installedDataDir() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return (exe.parent_path().parent_path() / "share" / "kestrafon").string();
}
}  // namespace

std::vector<std::string> dataDirectories() {
    static const std::string beside = installedDataDir();
    std::vector<std::string> dirs;
    if (!beside.empty()) dirs.push_back(beside);
    dirs.push_back(KF_DATA_DIR);
    return dirs;
}

std::string findDataFile(const std::string& name) {
    if (isRegularFile(name)) return name;
    std::vector<std::string> dirs = dataDirectories();
    dirs.push_back(KF_SOURCE_DATA_DIR);
    for (const std::string& dir : dirs) {
        if (dir.empty()) continue;
        std::string candidate = dir + "/" + name;
        if (isRegularFile(candidate)) return candidate;
    }
    return name;
}

}  // namespace kf
