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

std::string findDataFile(const std::string& name) {
    if (isRegularFile(name)) return name;
    static const std::string beside = installedDataDir();
    for (const std::string& dir : {beside, std::string(KF_DATA_DIR), std::string(KF_SOURCE_DATA_DIR)}) {
        if (dir.empty()) continue;
        std::string candidate = dir + "/" + name;
        if (isRegularFile(candidate)) return candidate;
    }
    return name;
}

}  // namespace kf
