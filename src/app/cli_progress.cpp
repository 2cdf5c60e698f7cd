#include "app/cli_progress.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/cli_errors.h"
#include "app/cli_output.h"

namespace kf::cli {

namespace {
// KF_PROGRESS=1 forces the line (for trying it without a terminal).
bool forced() {
    const char* v = std::getenv("KF_PROGRESS");
    return v && *v == '1';
}
}  // namespace

bool ProgressLine::enabled() { return forced() || isatty(2); }

ProgressLine::ProgressLine(std::string what, std::function<int()> step, int steps)
    : what_(std::move(what)), step_(std::move(step)), steps_(steps) {
    if (enabled()) thread_ = std::thread([this] { run(); });
}

ProgressLine::~ProgressLine() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void ProgressLine::run() {
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    // Quick work shows nothing at all.
    if (wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; })) return;
    const std::string prefix = messagePrefix() + what_;
    while (!stop_) {
        const double s = std::chrono::duration<double>(clock::now() - start).count();
        const int step = step_();
        std::fprintf(stderr, "\r%s: step %d of %d, %.0f s\033[K", prefix.c_str(), step, steps_, s);
        std::fflush(stderr);
        shown_ = true;
        setLineOpenOnInterrupt(true);
        wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stop_; });
    }
    if (shown_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        setLineOpenOnInterrupt(false);
    }
}

}  // namespace kf::cli
