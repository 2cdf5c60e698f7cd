// Result of an operation that can fail with a message the window or the
// command line shows to the user (the core never prints or pops up boxes).
#pragma once

#include <string>
#include <utility>

namespace kf {

struct Status {
    bool ok = true;
    std::string message;
    std::string caption;  // title of the message box the window shows, if any

    static Status success() { return {}; }
    static Status error(std::string m, std::string caption = {}) {
        return Status{false, std::move(m), std::move(caption)};
    }
    explicit operator bool() const { return ok; }
};

}  // namespace kf
