#include "core/history.h"

#include <cctype>

namespace kf {

void History::record(const std::string& label, const std::string& runKey, SessionSnapshot before) {
    redo_.clear();
    if (!runKey.empty() && runKey == runKey_ && !undo_.empty()) return;  // the run's first state stays
    runKey_ = runKey;
    undo_.push_back(Step{label, std::move(before)});
    if (undo_.size() > kMaxSteps) undo_.pop_front();
}

std::optional<SessionSnapshot> History::move(std::deque<Step>& from, std::deque<Step>& to, SessionSnapshot current) {
    runKey_.clear();
    if (from.empty()) return std::nullopt;
    Step s = std::move(from.back());
    from.pop_back();
    to.push_back(Step{s.label, std::move(current)});
    return std::move(s.state);
}

std::string stepNameFromKey(std::string_view key) {
    std::string out;
    for (char c : key) {
        if (std::isupper(static_cast<unsigned char>(c)) && !out.empty()) {
            out += ' ';
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else {
            out += c;
        }
    }
    if (!out.empty()) out[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[0])));
    return out;
}

}  // namespace kf
