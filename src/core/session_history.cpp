// The session's history: undo/redo of every change of the sound's state,
// and the unsaved-changes mark.
#include "core/session.h"
#include "core/session_state.h"

namespace kf {

using Lock = SessionState::Lock;

namespace {

// The preset bytes without what renders write (the oscillators' running
// state, the render length): the settings, which "unsaved" and undo compare.
std::vector<uint8_t> comparableBytes(PresetRecord rec, const SoundScheme& units) {
    for (auto& o : rec.timbre.oscillators) o.resetState();
    rec.timbre.renderLength = 0;
    const auto bytes = presetFileBytes(toStoredForm(rec), units);
    return {bytes.begin(), bytes.end()};
}

}  // namespace

SessionSnapshot EditHistory::snapshot() {
    Lock lock(st_.mutex);
    SessionSnapshot s;
    s.preset = st_.currentPreset();
    s.other = st_.timbres[static_cast<size_t>(1 - st_.currentTimbre)];
    s.currentTimbre = st_.currentTimbre;
    s.selectedOscillator = st_.selectedOscillator;
    s.units = st_.units;
    s.scale = st_.tuning.scale();
    s.presetName = st_.presetName;
    s.caption = st_.caption;
    return s;
}

void EditHistory::restore(const SessionSnapshot& s) {
    bool restart = false;
    {
        Lock lock(st_.mutex);
        ++st_.loadingCount;
        st_.currentTimbre = s.currentTimbre;
        st_.timbres[static_cast<size_t>(1 - st_.currentTimbre)] = s.other;
        st_.selectedOscillator = s.selectedOscillator;
        st_.units = s.units;
        st_.tuning.build(s.scale);
        restart = st_.applyPreset(s.preset, false);
        st_.presetName = s.presetName;
        st_.caption = s.caption;
        // The buffers follow the restored length at the next render's
        // preparation, never under a render that may be running now.
        --st_.loadingCount;
        st_.oscillatorsChanged = true;
    }
    if (restart) st_.playback->playClick();
    st_.notify(Change::Units);
    st_.notify(Change::Curves);
    st_.notify(Change::Preset);
    st_.notify(Change::Timbre);
    s_.render().generateSoundBuf();
    st_.notify(Change::History);
}

void EditHistory::recordStep(const std::string& label, const std::string& runKey) {
    if (hold_ > 0) return;
    SessionSnapshot before = snapshot();
    {
        Lock lock(st_.mutex);
        history_.record(label, runKey, std::move(before));
    }
    st_.notify(Change::History);
}

void EditHistory::beginCompoundStep(const std::string& label) {
    recordStep(label);
    ++hold_;
}

void EditHistory::endCompoundStep() {
    --hold_;
    endEditRun();
}

void EditHistory::endEditRun() {
    Lock lock(st_.mutex);
    history_.endRun();
}

bool EditHistory::undo() { return stepHistory(false); }
bool EditHistory::redo() { return stepHistory(true); }

bool EditHistory::stepHistory(bool redo) {
    SessionSnapshot now = snapshot();
    std::optional<SessionSnapshot> to;
    {
        Lock lock(st_.mutex);
        to = redo ? history_.redo(std::move(now)) : history_.undo(std::move(now));
    }
    if (!to) return false;
    restore(*to);
    return true;
}

std::string EditHistory::undoLabel() const {
    Lock lock(st_.mutex);
    return history_.undoLabel();
}

std::string EditHistory::redoLabel() const {
    Lock lock(st_.mutex);
    return history_.redoLabel();
}

bool EditHistory::canUndo() const {
    Lock lock(st_.mutex);
    return history_.canUndo();
}

bool EditHistory::canRedo() const {
    Lock lock(st_.mutex);
    return history_.canRedo();
}

std::vector<uint8_t> EditHistory::presetBytes() {
    Lock lock(st_.mutex);
    const auto bytes = presetFileBytes(toStoredForm(st_.currentPreset()), st_.units);
    return {bytes.begin(), bytes.end()};
}

void EditHistory::markSaved() {
    {
        Lock lock(st_.mutex);
        savedBytes_ = comparableBytes(st_.currentPreset(), st_.units);
    }
    st_.notify(Change::History);
}

bool EditHistory::modified() { return settingsBytes() != savedBytes_; }

std::vector<uint8_t> EditHistory::settingsBytes() {
    Lock lock(st_.mutex);
    return comparableBytes(st_.currentPreset(), st_.units);
}

std::string EditHistory::windowTitle() {
    std::string title = "Kestrafon - " + st_.read(st_.presetName);
    if (modified()) title += " *";
    return title;
}

}  // namespace kf
