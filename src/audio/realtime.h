// Real-time synthesis: a looping device buffer of eight blocks, kept filled
// two blocks ahead of the device by a 5 ms tick. The device position is never
// read back; it is estimated from the tick count alone.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/wave_out.h"
#include "engine/realtime_renderer.h"
#include "engine/sound_buffer.h"
#include "engine/status.h"

namespace kf {

// "Real-time buffer length: 0.5k" for bar position 1.
std::string bufferLengthLabel(int position);

// A periodic 5 ms timer. The callback gets the number of periods that went
// by without a tick (the thread was late); those count as ticks that found
// a render in progress.
class TickSource {
public:
    virtual ~TickSource() = default;
    virtual bool start(std::function<void(int32_t late)> tick) = 0;
    // Returns once no tick runs any more.
    virtual void stop() = 0;
};

class ThreadTickSource : public TickSource {
public:
    ~ThreadTickSource() override;
    bool start(std::function<void(int32_t late)> tick) override;
    void stop() override;

private:
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
};

// Ticks on demand, on the caller's thread (deterministic tests).
class ManualTickSource : public TickSource {
public:
    bool start(std::function<void(int32_t late)> tick) override;
    void stop() override { tick_ = nullptr; }
    void fire(int times = 1, int32_t late = 0);
    bool running() const { return static_cast<bool>(tick_); }
    void failNextStart() { failStart_ = true; }

private:
    std::function<void(int32_t)> tick_;
    bool failStart_ = false;
};

// The ring the device loops over. Samples are single atomics: the device
// never waits for a block being written (it may read a block half old, half
// new, which the schedule keeps it from doing anyway).
class RealTimeRing : public SampleSource {
public:
    static constexpr int32_t kSamples = 262144;
    RealTimeRing() : memory_(std::make_unique<std::atomic<int16_t>[]>(kSamples)) {}
    int32_t read(int32_t pos, int16_t* dst, int32_t n) const override;
    void writeBlock(int32_t first, const int16_t* src, int32_t n);
    void clear();
    std::vector<int16_t> snapshot(int32_t first, int32_t n) const;

private:
    std::unique_ptr<std::atomic<int16_t>[]> memory_;
};

class RealTime {
public:
    static constexpr int kBlocks = 8;
    static constexpr int32_t kTickMs = 5;
    static constexpr int kPreRendered = 5;

    // With ticks == nullptr a ThreadTickSource of its own is used.
    RealTime(OutputDevice& out, RealTimeRenderer& renderer, TickSource* ticks = nullptr);
    ~RealTime();
    RealTime(const RealTime&) = delete;
    RealTime& operator=(const RealTime&) = delete;

    // RealTimeDelayScrollBar position 1..32 -> BlockLength = position x 512.
    // Call while stopped (the playback layer stops and restarts around it).
    void setBufferPosition(int position);
    int32_t blockLength() const { return blockLength_.load(std::memory_order_relaxed); }

    Status playRealTime();
    void stopRealTime();

    // One timer tick, and the ticks that came while a render ran.
    void tick();
    void lateTick();

    // MIDI time stamp: the start of the block the tick renders next.
    int32_t midiTimeStamp() const;

    int32_t clockMs() const { return clockMs_; }
    int32_t playPosition() const { return playPosition_.load(std::memory_order_relaxed); }
    int32_t renderPosition() const { return renderPosition_; }
    int lastFilledBlock() const { return lastFilledBlock_; }
    bool timerRunning() const { return timerRunning_; }
    const RealTimeRing& ring() const { return ring_; }

    // Time-to-render of the blocks rendered so far (pre-rendered and ticked).
    struct RenderTiming {
        int64_t blocks = 0;
        int64_t lastNs = 0;
        int64_t worstNs = 0;
        int64_t totalNs = 0;
    };
    RenderTiming renderTiming() const;
    void resetRenderTiming();
    // The median time-to-render of the blocks so far (the first 2^20 kept).
    int64_t medianRenderNs() const;

private:
    void renderInto(int block);
    int32_t estimate() const;

    OutputDevice& out_;
    RealTimeRenderer& renderer_;
    ThreadTickSource ownTicks_;
    TickSource& ticks_;
    RealTimeRing ring_;
    std::vector<int16_t> scratch_;

    std::atomic<int32_t> blockLength_{1024};
    std::atomic<int32_t> playPosition_{0};
    // Touched by the tick's thread only while the timer runs, by the
    // window's thread only while it does not.
    int32_t rate_ = 44100;
    int32_t clockMs_ = 0;
    int32_t renderPosition_ = 0;
    int lastFilledBlock_ = -1;
    int tickGuard_ = 0;
    bool timerRunning_ = false;

    std::atomic<int64_t> blocks_{0}, lastNs_{0}, worstNs_{0}, totalNs_{0};
    std::vector<int64_t> blockNs_;  // allocated up front; written by the rendering thread only
};

}  // namespace kf
