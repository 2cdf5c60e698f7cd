// The session's presets and samples: open, save, new, and the two sample
// slots with their start positions.
#include <algorithm>

#include "core/session.h"
#include "core/session_state.h"
#include "core/sound_length.h"
#include "files/preset_check.h"

namespace kf {

using Lock = SessionState::Lock;

PresetRecord PresetFiles::getPreset() {
    Lock lock(st_.mutex);
    return st_.currentPreset();
}

void PresetFiles::setPreset(const PresetRecord& rec, bool reloadSamples) {
    bool restart = false;
    {
        Lock lock(st_.mutex);
        restart = st_.applyPreset(rec, reloadSamples);
    }
    if (restart) st_.playback->playClick();
}

Status PresetFiles::openPreset(const std::string& fileName, bool render, std::string* warning) {
    // Another kind of file would fill the controls with its bytes: refuse it
    // before anything changes.
    const PresetFileCheck check = checkPresetFile(fileName);
    if (!check.refusal) return check.refusal;
    if (warning) *warning = check.warning;
    std::vector<uint8_t> bytes;
    if (Status st = readPresetFileBytes(fileName, bytes); !st) return st;
    return openPresetBytes(bytes, fileName, render);
}

Status PresetFiles::openPresetBytes(const std::vector<uint8_t>& bytes, const std::string& fileName, bool render) {
    // The units read their blocks straight from the bytes: into a copy,
    // so that a refused preset leaves them as they were.
    SoundScheme loaded;
    PresetRecord stored;
    {
        Lock lock(st_.mutex);
        loaded = st_.units;
        stored = toStoredForm(st_.defaultPreset);
    }
    readPresetBytes(bytes.data(), bytes.size(), stored, loaded);
    const PresetRecord rec = fromStoredForm(stored);
    if (Status st = checkSoundLength(rec.timbre.length); !st) return st;  // nothing applied, name and caption unchanged
    s_.history().recordStep("Open preset");
    bool restart = false, rememberedAuto = true;
    {
        Lock lock(st_.mutex);
        rememberedAuto = st_.autoRender;
        st_.autoRender = false;  // one render at most, and only when asked for
        st_.units = loaded;
        st_.caption = presetCaption(fileName);
        st_.presetName = bareFileName(fileName);
        restart = st_.applyPreset(rec, true);
        st_.initEnvelopers();
        st_.renderRequested = render;  // opening renders the loaded sound
        if (render) st_.oscillatorsChanged = true;
        st_.notifyLocked(Change::Units);
    }
    if (restart) st_.playback->playClick();
    s_.render().generateSoundBuf();
    st_.write(st_.autoRender, rememberedAuto);
    s_.history().markSaved();
    st_.notify(Change::Preset);
    return Status::success();
}

Status PresetFiles::savePreset(const std::string& fileName) {
    PresetRecord stored;
    SoundScheme units;
    {
        Lock lock(st_.mutex);
        stored = toStoredForm(st_.currentPreset());
        units = st_.units;
    }
    if (Status st = savePresetFile(fileName, stored, units); !st) return st;
    {
        Lock lock(st_.mutex);
        st_.caption = presetCaption(fileName);
        st_.presetName = bareFileName(fileName);
    }
    s_.history().markSaved();
    st_.notify(Change::Preset);
    return Status::success();
}

void PresetFiles::newPreset() {
    s_.history().recordStep("New preset");
    bool restart = false;
    {
        Lock lock(st_.mutex);
        restart = st_.applyDefaultPreset();
        st_.renderRequested = true;
        st_.oscillatorsChanged = true;
    }
    if (restart) st_.playback->playClick();
    s_.render().generateSoundBuf();
    s_.history().markSaved();
    st_.notify(Change::Preset);
}

const PresetRecord& PresetFiles::defaultPreset() const { return st_.defaultPreset; }

int32_t PresetFiles::sampleRate() const {
    Lock lock(st_.mutex);
    return st_.sampleRate();
}

std::string PresetFiles::presetName() const { return st_.read(st_.presetName); }

std::string PresetFiles::caption() const { return st_.read(st_.caption); }

Status PresetFiles::loadSample(int slot, const std::string& fileName) {
    s_.history().recordStep("Open sample " + std::to_string(slot == 2 ? 2 : 1));
    Status result;
    {
        Lock lock(st_.mutex);
        SampleSlot& s = st_.sample(slot);
        s.load(fileName, slot == 2 ? st_.panel.sample2StartPos : st_.panel.sample1StartPos);
        st_.oscillatorsChanged = true;
        st_.notifyLocked(Change::Samples);
        if (!fileName.empty() && s.loadedCount() == 0 && s.storedPath().empty())
            result = Status::error("Cannot open sample file " + fileName + ": " + s.problem());
    }
    s_.render().generateSoundBuf();
    return result;
}

void PresetFiles::byteSwapSample(int slot) {
    s_.history().recordStep("Byte swap sample " + std::to_string(slot == 2 ? 2 : 1));
    {
        Lock lock(st_.mutex);
        st_.sample(slot).byteSwap();
        st_.oscillatorsChanged = true;
        st_.notifyLocked(Change::Samples);
    }
    s_.render().generateSoundBuf();
}

std::string PresetFiles::sampleLabel(int slot) const {
    Lock lock(st_.mutex);
    return st_.sample(slot).label();
}

std::string PresetFiles::samplePath(int slot) const {
    Lock lock(st_.mutex);
    return st_.sample(slot).storedPath();
}

int32_t PresetFiles::sampleCount(int slot) const {
    Lock lock(st_.mutex);
    return st_.sample(slot).view().count;
}

std::string PresetFiles::sampleDetails(int slot) const {
    Lock lock(st_.mutex);
    const SampleSlot& s = st_.sample(slot);
    std::string text = std::to_string(s.view().count) + " samples";
    if (s.fileRate() > 0) text += ", file at " + std::to_string(s.fileRate()) + " Hz";
    if (s.clipped() > 0) text += ", " + std::to_string(s.clipped()) + " clipped";
    return text;
}

int64_t PresetFiles::sampleClipped(int slot) const {
    Lock lock(st_.mutex);
    return st_.sample(slot).clipped();
}

}  // namespace kf
