#include "engine/render_thread.h"

#include <algorithm>
#include <cstdlib>

namespace kf {

void RenderThread::request() {
    std::unique_lock<std::mutex> lock(mutex_);
    renderAgain_ = true;
    if (!thread_.joinable()) {
        terminated_ = false;
        thread_ = std::thread([this] { run(); });
    }
    wake_.notify_all();
}

void RenderThread::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!terminated_) {
        if (!renderAgain_) {
            idle_.notify_all();
            wake_.wait(lock, [this] { return renderAgain_ || terminated_; });
            continue;
        }
        renderAgain_ = false;
        running_ = true;
        lock.unlock();
        job_();
        lock.lock();
        running_ = false;
        ++done_;
    }
    idle_.notify_all();
}

void RenderThread::stop() {
    std::thread t;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!thread_.joinable()) return;
        terminated_ = true;
        renderAgain_ = false;
        wake_.notify_all();
        t = std::move(thread_);
    }
    t.join();
}

void RenderThread::waitIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return !running_ && (!renderAgain_ || !thread_.joinable()); });
}

bool RenderThread::exists() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return thread_.joinable();
}

uint64_t RenderThread::rendersDone() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_;
}

OverdriveCheck checkIfOverdriven(const int16_t* samples, int32_t count) {
    OverdriveCheck r;
    int32_t peak = 0;
    for (int32_t i = 0; i < count; ++i) {
        int32_t v = samples[i];
        int32_t a = std::abs(v);
        if (a > peak) peak = a;
        if (v >= 32700 || v <= -32700) {
            r.clip = true;
            break;
        }
    }
    r.level = std::min(peak / 128, 255);  // a wrapped -32768 must not overflow the meter
    return r;
}

}  // namespace kf
