// The background render thread. Any number of requests while a render runs
// collapse into exactly one more render, which then sees the newest
// parameters; between renders the thread sleeps.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace kf {

class RenderThread {
public:
    explicit RenderThread(std::function<void()> job) : job_(std::move(job)) {}
    ~RenderThread() { stop(); }
    RenderThread(const RenderThread&) = delete;
    RenderThread& operator=(const RenderThread&) = delete;

    // Asks for a render; starts the thread on first use.
    void request();
    // Ends the thread; a render in progress runs to its end first.
    void stop();
    // Blocks until no render is running or pending.
    void waitIdle();
    bool exists() const;
    uint64_t rendersDone() const;

private:
    void run();

    std::function<void()> job_;
    mutable std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::thread thread_;
    bool renderAgain_ = false;
    bool running_ = false;
    bool terminated_ = false;
    uint64_t done_ = 0;
};

// Clip light and level meter of a finished sound: the first sample at or
// beyond +-32700 lights the clip; the peak is taken up to that sample.
struct OverdriveCheck {
    bool clip = false;
    int32_t level = 0;  // peak / 128, 0..255
};
OverdriveCheck checkIfOverdriven(const int16_t* samples, int32_t count);

}  // namespace kf
