#include "files/wav_stream.h"

#include <cerrno>
#include <vector>

#include "files/file_io.h"
#include "files/wav.h"

namespace kf {

namespace {
// The data size field is 32 bits.
constexpr int64_t kMaxSamples = (int64_t{0xFFFFFFFF} - 36) / 2;
}  // namespace

Status WavStreamWriter::open(const std::string& fileName, int32_t sampleRate) {
    rate_ = sampleRate;
    samples_ = 0;
    if (Status st = file_.open(fileName); !st) return st;
    const auto header = wavHeader(0, rate_, 16);
    return file_.write(header.data(), header.size());
}

Status WavStreamWriter::write(SoundBuffer block) {
    if (!file_.isOpen()) return Status::error("No open output file");
    if (samples_ + block.count > kMaxSamples) {
        const Status st = ioError(file_.path(), EFBIG);
        file_.discard();
        return Status::error("Too long for a WAV file: " + st.message, st.caption);
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(block.count) * 2);
    for (int32_t i = 0; i < block.count; ++i) {
        const auto v = static_cast<uint16_t>(block.samples[i]);
        bytes[static_cast<size_t>(i) * 2] = static_cast<uint8_t>(v);
        bytes[static_cast<size_t>(i) * 2 + 1] = static_cast<uint8_t>(v >> 8);
    }
    if (Status st = file_.write(bytes); !st) return st;
    samples_ += block.count;
    return Status::success();
}

Status WavStreamWriter::commit() {
    if (!file_.isOpen()) return Status::error("No open output file");
    const auto header = wavHeader(static_cast<uint32_t>(samples_ * 2), rate_, 16);
    if (Status st = file_.writeAt(0, header.data(), header.size()); !st) return st;
    return file_.commit();
}

}  // namespace kf
