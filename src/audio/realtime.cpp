#include "audio/realtime.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "engine/arith.h"

namespace kf {

std::string bufferLengthLabel(int position) {
    char text[64];
    std::snprintf(text, sizeof text, "Real-time buffer length: %.1fk", position * 0.5);
    return text;
}

// ------------------------------------------------------------ tick sources

ThreadTickSource::~ThreadTickSource() { stop(); }

bool ThreadTickSource::start(std::function<void(int32_t)> tick) {
    stop();
    stop_ = false;
    try {
        thread_ = std::thread([this, tick = std::move(tick)] {
            using clock = std::chrono::steady_clock;
            const auto period = std::chrono::milliseconds(RealTime::kTickMs);
            auto next = clock::now() + period;
            std::unique_lock<std::mutex> lock(mutex_);
            while (!stop_) {
                if (wake_.wait_until(lock, next, [this] { return stop_; })) break;
                lock.unlock();
                auto now = clock::now();
                // Periods missed while the previous tick rendered.
                auto late = static_cast<int32_t>((now - next) / period);
                next += period * (late + 1);
                tick(late);
                lock.lock();
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void ThreadTickSource::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool ManualTickSource::start(std::function<void(int32_t)> tick) {
    if (failStart_) {
        failStart_ = false;
        return false;
    }
    tick_ = std::move(tick);
    return true;
}

void ManualTickSource::fire(int times, int32_t late) {
    for (int i = 0; i < times && tick_; ++i) tick_(late);
}

// -------------------------------------------------------------------- ring

int32_t RealTimeRing::read(int32_t pos, int16_t* dst, int32_t n) const {
    if (pos < 0 || pos >= kSamples || n <= 0) return 0;
    const int32_t m = std::min(n, kSamples - pos);
    for (int32_t i = 0; i < m; ++i) dst[i] = memory_[static_cast<size_t>(pos + i)].load(std::memory_order_relaxed);
    return m;
}

void RealTimeRing::writeBlock(int32_t first, const int16_t* src, int32_t n) {
    if (first < 0 || n <= 0 || first + n > kSamples) return;
    for (int32_t i = 0; i < n; ++i) memory_[static_cast<size_t>(first + i)].store(src[i], std::memory_order_relaxed);
}

void RealTimeRing::clear() {
    for (int32_t i = 0; i < kSamples; ++i) memory_[static_cast<size_t>(i)].store(0, std::memory_order_relaxed);
}

std::vector<int16_t> RealTimeRing::snapshot(int32_t first, int32_t n) const {
    std::vector<int16_t> v(static_cast<size_t>(std::max(n, 0)), 0);
    read(first, v.data(), n);
    return v;
}

// --------------------------------------------------------------- RealTime

RealTime::RealTime(OutputDevice& out, RealTimeRenderer& renderer, TickSource* ticks)
    : out_(out), renderer_(renderer), ticks_(ticks ? *ticks : ownTicks_),
      scratch_(static_cast<size_t>(RealTimeRing::kSamples / kBlocks), 0), blockNs_(size_t{1} << 20, 0) {}

RealTime::~RealTime() {
    if (timerRunning_) ticks_.stop();
    ownTicks_.stop();
}

void RealTime::setBufferPosition(int position) {
    // Eight blocks of at most 32 x 512 samples fill the ring exactly.
    position = std::clamp(position, 1, 32);
    blockLength_.store(position * 512, std::memory_order_relaxed);
}

int32_t RealTime::midiTimeStamp() const {
    return playPosition_.load(std::memory_order_relaxed) + 2 * blockLength_.load(std::memory_order_relaxed);
}

int32_t RealTime::estimate() const {
    // (ClockMs / 10) x (rate / 5) / 20 in 32-bit arithmetic: the product
    // wraps as the original's did (well defined through unsigned).
    uint32_t product = static_cast<uint32_t>(clockMs_ / 10) * static_cast<uint32_t>(rate_ / 5);
    return static_cast<int32_t>(product) / 20;
}

void RealTime::renderInto(int block) {
    const int32_t length = blockLength();
    SoundBuffer view{length, scratch_.data()};
    clearSound(view);
    auto t0 = std::chrono::steady_clock::now();
    renderer_.renderBlock(view, renderPosition_);
    int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - t0).count();
    ring_.writeBlock(block * length, scratch_.data(), length);
    renderPosition_ += length;
    const int64_t index = blocks_.fetch_add(1, std::memory_order_relaxed);
    if (index < static_cast<int64_t>(blockNs_.size())) blockNs_[static_cast<size_t>(index)] = ns;
    lastNs_.store(ns, std::memory_order_relaxed);
    totalNs_.fetch_add(ns, std::memory_order_relaxed);
    if (ns > worstNs_.load(std::memory_order_relaxed)) worstNs_.store(ns, std::memory_order_relaxed);
}

Status RealTime::playRealTime() {
    // A timer left running (a stop that took the sample path) must not tick
    // while the stream is set up again.
    if (timerRunning_) {
        ticks_.stop();
        timerRunning_ = false;
    }
    renderer_.startStream();
    rate_ = out_.sampleRate.load();
    clockMs_ = 0;
    renderPosition_ = 0;
    playPosition_.store(0, std::memory_order_relaxed);
    tickGuard_ = 0;
    lastFilledBlock_ = -1;
    for (int b = 0; b < kPreRendered; ++b) renderInto(b);

    WaveOut& wave = out_.wave;
    if (Status s = wave.open(out_.deviceItem.load(), rate_); !s) return s;
    if (Status s = wave.prepare(WaveSource{&ring_, blockLength() * kBlocks}, true); !s) {
        out_.playing = true;
        stopRealTime();
        return s;
    }
    timerRunning_ = ticks_.start([this](int32_t late) {
        for (int32_t i = 0; i < late; ++i) lateTick();
        tick();
    });
    if (Status s = wave.write(); !s) {
        // Nothing will play: close the device and the timer at once instead
        // of leaving both to the next stop.
        if (timerRunning_) ticks_.stop();
        timerRunning_ = false;
        wave.close();
        return s;
    }
    out_.playing = true;
    return Status::success();
}

void RealTime::stopRealTime() {
    if (timerRunning_) {
        ticks_.stop();
        timerRunning_ = false;
        renderer_.stopStream();  // no hanging notes at the next start
    }
    if (out_.playing) {
        out_.wave.stop();
        out_.wave.close();
    }
    out_.playing = false;
}

void RealTime::lateTick() {
    if (!out_.playing || !renderer_.realTimeFlag()) return;
    clockMs_ += kTickMs;
}

void RealTime::tick() {
    if (!out_.playing || !renderer_.realTimeFlag()) return;
    clockMs_ += kTickMs;
    if (tickGuard_ > 0) return;
    ++tickGuard_;
    int32_t position = estimate();
    // Past about 40 minutes the product overflows: set the clock back and
    // recompute, so a negative position never selects a block.
    while (position < 0) {
        clockMs_ -= 60000;
        position = estimate();
    }
    playPosition_.store(position, std::memory_order_relaxed);
    const int target = (position / blockLength() + 2) % kBlocks;
    if (target != lastFilledBlock_) {
        lastFilledBlock_ = target;
        renderInto(target);
    }
    --tickGuard_;
}

RealTime::RenderTiming RealTime::renderTiming() const {
    return RenderTiming{blocks_.load(), lastNs_.load(), worstNs_.load(), totalNs_.load()};
}

int64_t RealTime::medianRenderNs() const {
    const auto n = static_cast<size_t>(std::min<int64_t>(blocks_.load(), static_cast<int64_t>(blockNs_.size())));
    if (n == 0) return 0;
    std::vector<int64_t> v(blockNs_.begin(), blockNs_.begin() + static_cast<std::ptrdiff_t>(n));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n / 2), v.end());
    return v[n / 2];
}

void RealTime::resetRenderTiming() {
    blocks_ = 0;
    lastNs_ = 0;
    worstNs_ = 0;
    totalNs_ = 0;
}

}  // namespace kf
