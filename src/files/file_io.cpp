#include "files/file_io.h"

#include "files/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace kf {

Status ioError(const std::string& fileName, int err) {
    return Status::error(fileName + ": " + std::strerror(err), "Input/output error");
}

Status writeFileBytes(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    return writeFileAtomically(fileName, [&bytes](AtomicFile& f) { return f.write(bytes); });
}

Status readFileBytes(const std::string& fileName, size_t maxBytes, std::vector<uint8_t>& out) {
    out.clear();
    std::error_code ec;
    if (std::filesystem::is_directory(fileName, ec)) return ioError(fileName, EISDIR);
    std::FILE* f = std::fopen(fileName.c_str(), "rb");
    if (!f) return ioError(fileName, errno);
    out.resize(maxBytes);
    size_t got = std::fread(out.data(), 1, maxBytes, f);
    out.resize(got);
    std::fclose(f);
    return Status::success();
}

bool isRegularFile(const std::string& fileName) {
    std::error_code ec;
    return std::filesystem::is_regular_file(fileName, ec);
}

bool canOpenForReading(const std::string& fileName) {
    std::error_code ec;
    if (std::filesystem::is_directory(fileName, ec)) return false;
    std::FILE* f = std::fopen(fileName.c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

}  // namespace kf
