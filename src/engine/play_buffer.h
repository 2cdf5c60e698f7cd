// The sound that playback, the wave display and the exporters use. The render
// thread swaps a finished render in while the audio callback may be reading;
// both sides go through the lock, so a sound is never read half-written.
#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/sound_buffer.h"

namespace kf {

class PlayBuffer {
public:
    // Replaces the content (rendered at `rate` Hz, 0: unknown); returns the previous count.
    int32_t assign(const int16_t* src, int32_t n, int32_t rate = 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        int32_t old = static_cast<int32_t>(samples_.size());
        samples_.assign(src, src + std::max(n, 0));
        rate_ = rate;
        ++generation_;
        return old;
    }
    int32_t count() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<int32_t>(samples_.size());
    }
    std::vector<int16_t> copy() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return samples_;
    }
    // Copies up to n samples starting at pos (no wrap); returns how many.
    int32_t read(int32_t pos, int16_t* dst, int32_t n) const {
        std::lock_guard<std::mutex> lock(mutex_);
        int32_t size = static_cast<int32_t>(samples_.size());
        if (pos < 0 || pos >= size || n <= 0) return 0;
        int32_t m = std::min(n, size - pos);
        std::copy(samples_.begin() + pos, samples_.begin() + pos + m, dst);
        return m;
    }
    // The rate the samples were rendered at: what a saved file must say.
    int32_t rate() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return rate_;
    }
    uint64_t generation() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return generation_;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        samples_.clear();
        ++generation_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<int16_t> samples_;
    uint64_t generation_ = 0;
    int32_t rate_ = 0;
};

}  // namespace kf
