// A progress line on stderr for work that takes longer than about a
// second, redrawn in place; nothing when stderr is not a terminal.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kf::cli {

class ProgressLine {
public:
    // step() reports 0..steps; it is read from the progress thread, so it
    // must be safe to call there (an atomic load).
    ProgressLine(std::string what, std::function<int()> step, int steps);
    ~ProgressLine();  // stops and clears the line
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Whether a line would be shown here (stderr is a terminal).
    static bool enabled();

private:
    void run();

    std::string what_;
    std::function<int()> step_;
    int steps_;
    bool shown_ = false;
    bool stop_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
};

}  // namespace kf::cli
