#include "files/sample.h"

#include "files/file_io.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>

#include "files/data_dir.h"
#include "files/sound_file.h"

namespace kf {

namespace {

// Reads the file as little-endian 16-bit samples; false when it cannot be
// opened. A short read leaves zeros behind.
bool readRawSamples(const std::string& path, std::vector<int16_t>& out) {
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) > kMaxSampleFileBytes || ec) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) return false;
    in.seekg(0, std::ios::beg);
    // The slot's count is a signed 32-bit number.
    uint64_t count = static_cast<uint64_t>(size) / 2;
    if (count > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        count = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    try {
        out.assign(static_cast<size_t>(count), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The file is little-endian: read in place, and swap only on a
    // big-endian host.
    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size() * 2));
    if constexpr (std::endian::native == std::endian::big)
        for (int16_t& v : out) {
            const auto u = static_cast<uint16_t>(v);
            v = static_cast<int16_t>(static_cast<uint16_t>((u >> 8) | (u << 8)));
        }
    return true;
}

// The regular-file check, then a sound file decoded by content, else the
// raw reader. A sound file's limit is on its decoded samples, not its size.
bool readSample(const std::string& path, DecodedSound& out, std::string& problem) {
    out = DecodedSound{};
    if (!isRegularFile(path)) {
        problem = sampleFileProblem(path);
        return false;
    }
    switch (decodeSoundFile(path, kMaxSampleFileBytes / 2, out, problem)) {
        case SoundFileKind::Decoded: return true;
        case SoundFileKind::Damaged: out = DecodedSound{}; return false;
        case SoundFileKind::NotSoundFile: break;
    }
    if (readRawSamples(path, out.samples)) return true;
    problem = sampleFileProblem(path);
    if (problem.empty()) problem = "cannot be read";
    return false;
}

}  // namespace

std::string sampleFileProblem(const std::string& fileName) {
    if (fileName.empty()) return "no file name";
    std::error_code ec;
    const auto st = std::filesystem::status(fileName, ec);
    if (ec) return ec.message();
    if (!std::filesystem::exists(st)) return std::make_error_code(std::errc::no_such_file_or_directory).message();
    if (std::filesystem::is_directory(st)) return std::make_error_code(std::errc::is_a_directory).message();
    if (!std::filesystem::is_regular_file(st)) return "not a regular file";
    DecodedSound decoded;
    std::string problem;
    switch (decodeSoundFile(fileName, kMaxSampleFileBytes / 2, decoded, problem)) {
        case SoundFileKind::Decoded: return {};
        case SoundFileKind::Damaged: return problem;
        case SoundFileKind::NotSoundFile: break;
    }
    const uint64_t size = std::filesystem::file_size(fileName, ec);
    if (ec) return ec.message();
    if (size > kMaxSampleFileBytes)
        return std::to_string(size) + " bytes, over the limit of " + std::to_string(kMaxSampleFileBytes >> 20) +
               " MiB";
    std::FILE* f = std::fopen(fileName.c_str(), "rb");
    if (!f) return std::strerror(errno);
    std::fclose(f);
    return {};
}

std::string bareFileName(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

void SampleSlot::load(const std::string& fileName, int32_t startPos) {
    std::string name = fileName;
    DecodedSound fresh;
    problem_.clear();
    if (name.empty() || !readSample(name, fresh, problem_)) {
        fresh = DecodedSound{};
        name.clear();
    }
    data_ = std::move(fresh.samples);
    fileRate_ = fresh.rate;
    clipped_ = fresh.clipped;
    swapped_ = false;
    storedPath_ = name.substr(0, kMaxSamplePath);
    name_ = bareFileName(name);
    // A start taken from a file may be negative; reading before the data
    // would be out of bounds, so it counts as 0.
    int64_t s = startPos < 0 ? 0 : startPos;
    int64_t n = static_cast<int64_t>(data_.size());
    if (s > n) s = n;
    view_.samples = data_.empty() ? nullptr : data_.data() + s;
    view_.count = static_cast<int32_t>(n - s);
}

std::string SampleSlot::label() const { return name_.empty() ? "No sample" : name_; }

void SampleSlot::byteSwap() {
    swapSampleBytes(view_);
    swapped_ = !swapped_;
}

std::string findDefaultSample(const std::string& name) { return findDataFile(name); }

}  // namespace kf
