#include "engine/worker_pool.h"

#include <algorithm>

namespace kf {

WorkerPool::WorkerPool(int workers) {
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { workerLoop(); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    work_.notify_all();
    for (auto& t : threads_) t.join();
}

void WorkerPool::submit(PoolJob& job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job.done = false;
        queue_[tail_++ % kQueue] = &job;
    }
    work_.notify_one();
}

void WorkerPool::runLocked(std::unique_lock<std::mutex>& lock) {
    PoolJob* job = queue_[head_++ % kQueue];
    lock.unlock();
    job->fn(job->arg);
    lock.lock();
    job->done = true;
    done_.notify_all();
}

void WorkerPool::wait(PoolJob& job) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!job.done) {
        if (head_ != tail_) runLocked(lock);  // help rather than idle
        else done_.wait(lock);
    }
}

void WorkerPool::workerLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return stop_ || head_ != tail_; });
        if (head_ != tail_) runLocked(lock);
        else if (stop_) return;
    }
}

int renderThreads(int requested) {
    if (requested > 0) return requested;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace kf
