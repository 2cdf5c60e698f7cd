// Undo and redo: whole snapshots of the sound's state, each with the name
// of the step that left it. The state is a few kilobytes, so a snapshot per
// step is simpler and safer than inverse operations.
#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>

#include "engine/records.h"
#include "engine/tuning.h"
#include "files/preset.h"
#include "units/sound_scheme.h"

namespace kf {

// Everything undo brings back: the current timbre as a preset stores it
// (envelope bars, sample paths and swaps, rate), the other timbre, which
// timbre and oscillator are shown, the units, the scale and the preset's name.
struct SessionSnapshot {
    PresetRecord preset;
    TimbreRecord other;
    int currentTimbre = 0;
    int selectedOscillator = 0;
    SoundScheme units;
    Scale scale = Scale::Tempered;
    std::string presetName, caption;
};

class History {
public:
    static constexpr size_t kMaxSteps = 1000;

    // Keeps `before` as the state to go back to for the step `label`. A step
    // with the same run key as the previous one (a drag, a run of key
    // presses on one control) joins it instead. An empty key never joins.
    void record(const std::string& label, const std::string& runKey, SessionSnapshot before);
    // Ends the current run: the next step is a step of its own.
    void endRun() { runKey_.clear(); }
    // The state to restore; `current` goes to the other list.
    std::optional<SessionSnapshot> undo(SessionSnapshot current) { return move(undo_, redo_, std::move(current)); }
    std::optional<SessionSnapshot> redo(SessionSnapshot current) { return move(redo_, undo_, std::move(current)); }

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    std::string undoLabel() const { return undo_.empty() ? std::string() : undo_.back().label; }
    std::string redoLabel() const { return redo_.empty() ? std::string() : redo_.back().label; }
    size_t undoSteps() const { return undo_.size(); }

private:
    struct Step {
        std::string label;
        SessionSnapshot state;
    };
    std::deque<Step> undo_, redo_;
    // Takes the newest step of `from`, keeping `current` under its name in `to`.
    std::optional<SessionSnapshot> move(std::deque<Step>& from, std::deque<Step>& to, SessionSnapshot current);
    std::string runKey_;
};

// "cutOff" -> "Cut off": a step's name from a JSON key when the control has no caption.
std::string stepNameFromKey(std::string_view key);

}  // namespace kf
