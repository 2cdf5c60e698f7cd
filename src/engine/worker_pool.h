// A small pool of worker threads for rendering oscillators side by side.
// Jobs run in the order they were submitted; the thread that waits for a
// job runs queued jobs itself instead of idling.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

namespace kf {

struct PoolJob {
    void (*fn)(void*) = nullptr;
    void* arg = nullptr;
    bool done = true;  // guarded by the pool's mutex
};

class WorkerPool {
public:
    static constexpr size_t kQueue = 32;  // more jobs than a render ever has in flight

    explicit WorkerPool(int workers);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int workers() const { return static_cast<int>(threads_.size()); }
    // The job object must stay alive until wait() returned for it.
    void submit(PoolJob& job);
    void wait(PoolJob& job);

private:
    void workerLoop();
    void runLocked(std::unique_lock<std::mutex>& lock);  // pops and runs the front job

    std::mutex mutex_;
    std::condition_variable work_, done_;
    std::array<PoolJob*, kQueue> queue_{};
    size_t head_ = 0, tail_ = 0;
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

// Threads to render with: `requested`, or one per core when it is 0 or less.
int renderThreads(int requested);

}  // namespace kf
