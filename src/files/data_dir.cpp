#include "files/data_dir.h"

#include <filesystem>

namespace kf {

namespace {
bool isReadableFile(const std::string& path) {
    std::error_code ec;
    auto st = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(st) && !std::filesystem::is_directory(st);
}
}  // namespace

std::string findDataFile(const std::string& name) {
    if (isReadableFile(name)) return name;
    for (const char* dir : {KF_DATA_DIR, KF_SOURCE_DATA_DIR}) {
        std::string candidate = std::string(dir) + "/" + name;
        if (isReadableFile(candidate)) return candidate;
    }
    return name;
}

}  // namespace kf
