#include "files/wav_stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "files/wav.h"

namespace kf {

namespace {
// The data size field is 32 bits.
constexpr int64_t kMaxSamples = (int64_t{0xFFFFFFFF} - 36) / 2;
}  // namespace

WavStreamWriter::~WavStreamWriter() { discard(); }

Status WavStreamWriter::fail(const char* what, int err) {
    std::string name = target_;
    discard();
    return Status::error(std::string(what) + " \"" + name + "\": " + std::strerror(err ? err : EIO));
}

Status WavStreamWriter::open(const std::string& fileName, int32_t sampleRate) {
    discard();
    target_ = fileName;
    rate_ = sampleRate;
    samples_ = 0;
    std::string pattern = fileName + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    errno = 0;
    const int fd = mkstemp(name.data());
    if (fd < 0) return fail("Cannot create", errno);
    temp_ = name.data();
    // mkstemp makes the file private; give it the permissions a plain
    // create would, so the rename does not leave an unreadable file.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file_ = fdopen(fd, "wb");
    if (!file_) {
        const int err = errno;
        ::close(fd);
        return fail("Cannot create", err);
    }
    const auto header = wavHeader(0, rate_, 16);
    if (std::fwrite(header.data(), 1, header.size(), file_) != header.size()) return fail("Error writing", errno);
    return Status::success();
}

Status WavStreamWriter::write(SoundBuffer block) {
    if (!file_) return Status::error("No open output file");
    if (samples_ + block.count > kMaxSamples) return fail("Too long for a WAV file:", EFBIG);
    std::vector<uint8_t> bytes(static_cast<size_t>(block.count) * 2);
    for (int32_t i = 0; i < block.count; ++i) {
        const auto v = static_cast<uint16_t>(block.samples[i]);
        bytes[static_cast<size_t>(i) * 2] = static_cast<uint8_t>(v);
        bytes[static_cast<size_t>(i) * 2 + 1] = static_cast<uint8_t>(v >> 8);
    }
    errno = 0;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        return fail("Error writing", errno);
    samples_ += block.count;
    return Status::success();
}

Status WavStreamWriter::commit() {
    if (!file_) return Status::error("No open output file");
    const auto header = wavHeader(static_cast<uint32_t>(samples_ * 2), rate_, 16);
    errno = 0;
    if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(header.data(), 1, header.size(), file_) != header.size())
        return fail("Error writing", errno);
    // On the disk before the rename, so a crash cannot leave a renamed
    // file without its samples; a full disk shows up here too.
    if (std::fflush(file_) != 0 || fsync(fileno(file_)) != 0) return fail("Error writing", errno);
    std::FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0) return fail("Error writing", errno);
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) return fail("Cannot replace", errno);
    temp_.clear();
    return Status::success();
}

void WavStreamWriter::discard() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temp_.empty()) {
        std::remove(temp_.c_str());
        temp_.clear();
    }
}

}  // namespace kf
