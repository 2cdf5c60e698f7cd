// The session's history: undo/redo of every change of the sound's state,
// and the unsaved-changes mark.
#include "core/session.h"

namespace kf {

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

SessionSnapshot SessionCore::snapshot() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    SessionSnapshot s;
    s.preset = getPreset();
    s.other = timbres_[static_cast<size_t>(1 - currentTimbre_)];
    s.currentTimbre = currentTimbre_;
    s.selectedOscillator = selectedOscillator_;
    s.units = units_;
    s.scale = tuning_.scale();
    s.presetName = presetName_;
    s.caption = caption_;
    return s;
}

void SessionCore::restore(const SessionSnapshot& s) {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        ++loadingCount_;
        currentTimbre_ = s.currentTimbre;
        timbres_[static_cast<size_t>(1 - currentTimbre_)] = s.other;
        selectedOscillator_ = s.selectedOscillator;
        units_ = s.units;
        tuning_.build(s.scale);
        applyPreset(s.preset, false);
        presetName_ = s.presetName;
        caption_ = s.caption;
        // The buffers follow the restored length at the next render's
        // preparation, never under a render that may be running now.
        --loadingCount_;
        oscillatorsChanged_ = true;
    }
    notify(Change::Units);
    notify(Change::Curves);
    notify(Change::Preset);
    notify(Change::Timbre);
    generateSoundBuf();
    notify(Change::History);
}

void SessionCore::recordStep(const std::string& label, const std::string& runKey) {
    if (historyHold_ > 0) return;
    SessionSnapshot before = snapshot();
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        history_.record(label, runKey, std::move(before));
    }
    notify(Change::History);
}

void SessionCore::beginCompoundStep(const std::string& label) {
    recordStep(label);
    ++historyHold_;
}

void SessionCore::endCompoundStep() {
    --historyHold_;
    endEditRun();
}

void SessionCore::endEditRun() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    history_.endRun();
}

bool SessionCore::undo() { return stepHistory(false); }
bool SessionCore::redo() { return stepHistory(true); }

bool SessionCore::stepHistory(bool redo) {
    std::optional<SessionSnapshot> to;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        to = redo ? history_.redo(snapshot()) : history_.undo(snapshot());
    }
    if (!to) return false;
    restore(*to);
    return true;
}

std::string SessionCore::undoLabel() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return history_.undoLabel();
}

std::string SessionCore::redoLabel() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return history_.redoLabel();
}

bool SessionCore::canUndo() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return history_.canUndo();
}

bool SessionCore::canRedo() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return history_.canRedo();
}

std::vector<uint8_t> SessionCore::presetBytes() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const auto bytes = presetFileBytes(toStoredForm(getPreset()), units_);
    return {bytes.begin(), bytes.end()};
}

void SessionCore::markSaved() {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        savedBytes_ = comparableBytes(getPreset(), units_);
    }
    notify(Change::History);
}

bool SessionCore::modified() { return settingsBytes() != savedBytes_; }

std::vector<uint8_t> SessionCore::settingsBytes() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return comparableBytes(getPreset(), units_);
}

std::string SessionCore::windowTitle() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::string title = "Kestrafon - " + presetName_;
    if (modified()) title += " *";
    return title;
}

}  // namespace kf
