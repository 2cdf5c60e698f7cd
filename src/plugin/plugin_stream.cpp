#include "plugin/plugin_stream.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>

#include "core/voice_engine.h"

namespace kf {

namespace {

// Engine samples per block while converting: small enough for the delay a
// note gets, large enough that the engine's per-block work stays small.
constexpr int32_t kConvertChunk = 128;
constexpr long kFeed = 16;

}  // namespace

int PluginStream::converter() { return SRC_SINC_MEDIUM_QUALITY; }

PluginStream::PluginStream(VoiceEngine& voices, double hostRate, int32_t maxBlock)
    : voices_(voices), hostRate_(hostRate), maxBlock_(std::max(1, std::min(maxBlock, voices.maxBlock()))) {
    int error = 0;
    src_ = src_new(converter(), 1, &error);
    block_.assign(static_cast<size_t>(maxBlock_), 0);
    in_.assign(static_cast<size_t>(maxBlock_), 0.0f);
}

PluginStream::~PluginStream() {
    if (src_) src_delete(src_);
}

void PluginStream::configure() {
    if (soundRate_ == configuredRate_) return;
    const bool was = converting_;
    converting_ = std::lround(hostRate_) != soundRate_ && src_ && soundRate_ > 0;
    if (converting_) {
        ratio_ = hostRate_ / soundRate_;
        if (was) {
            src_set_ratio(src_, ratio_);
        } else {
            src_reset(src_);
            inStart_ = inCount_ = 0;
        }
    } else {
        // Messages stamped for the converter's time line play at once.
        for (; pendCount_ > 0; --pendCount_, pendHead_ = (pendHead_ + 1) % pending_.size()) {
            const Pending& p = pending_[pendHead_];
            voices_.midi(0, p.bytes.data(), p.size);
        }
    }
    configuredRate_ = soundRate_;
}

void PluginStream::midi(uint32_t frame, const uint8_t* bytes, uint32_t size) {
    if (size == 0 || size > 3 || pendCount_ == pending_.size()) return;
    Pending p{frame, static_cast<uint8_t>(size), {}};
    std::copy(bytes, bytes + size, p.bytes.begin());
    if (converting_) {
        // The engine runs ahead of the host by what the converter holds; a
        // fixed delay beyond that keeps every message on its own sample.
        p.time = static_cast<int64_t>(std::floor(static_cast<double>(hostFrames_ + frame) / ratio_)) +
                 2 * kConvertChunk;
    }
    pending_[(pendHead_ + pendCount_) % pending_.size()] = p;
    ++pendCount_;
}

void PluginStream::process(float* out, uint32_t frames) {
    configure();
    if (converting_)
        convert(out, frames);
    else
        direct(out, frames);
    hostFrames_ += frames;
}

void PluginStream::direct(float* out, uint32_t frames) {
    for (uint32_t done = 0; done < frames;) {
        const auto n = static_cast<int32_t>(std::min<uint32_t>(frames - done, static_cast<uint32_t>(maxBlock_)));
        const bool last = done + static_cast<uint32_t>(n) >= frames;
        for (; pendCount_ > 0; --pendCount_, pendHead_ = (pendHead_ + 1) % pending_.size()) {
            const Pending& p = pending_[pendHead_];
            if (!last && p.time >= int64_t{done} + n) break;
            voices_.midi(static_cast<int32_t>(std::min<int64_t>(p.time - done, n - 1)), p.bytes.data(), p.size);
        }
        voices_.render(block_.data(), n);
        for (int32_t i = 0; i < n; ++i) out[done + static_cast<uint32_t>(i)] = block_[static_cast<size_t>(i)] / 32768.0f;
        enginePos_ += n;
        done += static_cast<uint32_t>(n);
    }
}

void PluginStream::renderChunk() {
    const int32_t n = std::min(kConvertChunk, maxBlock_);
    for (; pendCount_ > 0; --pendCount_, pendHead_ = (pendHead_ + 1) % pending_.size()) {
        const Pending& p = pending_[pendHead_];
        if (p.time >= enginePos_ + n) break;
        voices_.midi(static_cast<int32_t>(std::max<int64_t>(0, p.time - enginePos_)), p.bytes.data(), p.size);
    }
    voices_.render(block_.data(), n);
    for (int32_t i = 0; i < n; ++i) in_[static_cast<size_t>(i)] = block_[static_cast<size_t>(i)] / 32768.0f;
    inStart_ = 0;
    inCount_ = n;
    enginePos_ += n;
}

void PluginStream::convert(float* out, uint32_t frames) {
    long produced = 0;
    while (produced < static_cast<long>(frames)) {
        if (inCount_ == 0) renderChunk();
        SRC_DATA d{};
        d.data_in = in_.data() + inStart_;
        // A little at a time: the converter takes in whatever it is given,
        // and what it holds is how far the engine runs ahead of the host.
        d.input_frames = std::min(inCount_, kFeed);
        d.data_out = out + produced;
        d.output_frames = static_cast<long>(frames) - produced;
        d.src_ratio = ratio_;
        if (src_process(src_, &d) != 0) break;
        inStart_ += d.input_frames_used;
        inCount_ -= d.input_frames_used;
        produced += d.output_frames_gen;
    }
    std::fill(out + produced, out + frames, 0.0f);
}

void PluginStream::warmUp() {
    // Touches every voice's buffers and tables once, so that the first
    // blocks the host asks for do not pay for page faults.
    for (int i = 0; i < 2; ++i) voices_.render(block_.data(), maxBlock_);
    reset();
}

void PluginStream::reset() {
    voices_.reset();
    if (src_) src_reset(src_);
    inStart_ = inCount_ = 0;
    hostFrames_ = enginePos_ = 0;
    pendHead_ = pendCount_ = 0;
}

}  // namespace kf
