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
    st_.getOscillatorParams();
    TimbreRecord& cur = st_.current();
    st_.captureTimbre(cur);
    PresetRecord out;
    out.timbre = cur;
    out.envelopeBars = st_.envelopeBars.bars;
    out.setSamplePath(1, st_.sample1.storedPath());
    out.setSamplePath(2, st_.sample2.storedPath());
    out.setByteSwapFlag(1, st_.sample1.swapped());
    out.setByteSwapFlag(2, st_.sample2.swapped());
    out.setRatePosition(st_.ratePosition);
    out.clearCaptureStretch();
    return out;
}

void PresetFiles::setPreset(const PresetRecord& rec, bool reloadSamples) {
    bool restart = false;
    {
        Lock lock(st_.mutex);
        ++st_.loadingCount;
        const std::array<int32_t, 2> startsBefore{st_.panel.sample1StartPos, st_.panel.sample2StartPos};
        TimbreRecord& cur = st_.current();
        cur = rec.timbre;
        st_.fillControls(cur);
        for (size_t i = 0; i < st_.envelopeBars.bars.size(); ++i)
            st_.envelopeBars.bars[i] = static_cast<int32_t>(
                clampParam(offsetId(ParamId::Env1Attack, static_cast<int>(i)), rec.envelopeBars[i]));
        auto loadSlot = [&](SampleSlot& slot, int n, int32_t start) {
            const std::string path = rec.samplePath(n);
            if (!reloadSamples && slot.storedPath() == path && slot.swapped() == rec.byteSwapFlag(n) &&
                startsBefore[static_cast<size_t>(n - 1)] == start)
                return;  // the slot holds exactly this already
            slot.load(path, start);
            if (slot.view().count == 0) slot.load(bareSampleName(path), start);
            // Presets name the shipped samples by their bare names; find those
            // in the data directory too when they are not in the current one.
            if (slot.view().count == 0 && !path.empty()) slot.load(findDefaultSample(bareSampleName(path)), start);
            if (rec.byteSwapFlag(n)) slot.byteSwap();
            st_.oscillatorsChanged = true;
        };
        loadSlot(st_.sample1, 1, st_.panel.sample1StartPos);
        loadSlot(st_.sample2, 2, st_.panel.sample2StartPos);
        // The rate control holds positions 200..9600 only; a damaged value
        // must not turn into a zero sample rate.
        st_.ratePosition = static_cast<int32_t>(clampParam(ParamId::SampleRate, rec.ratePosition()));
        --st_.loadingCount;
        restart = st_.playback && st_.playback->playing();
    }
    st_.notify(Change::Samples);
    st_.notify(Notification{Change::Param, ParamId::SampleRate, static_cast<long double>(sampleRate() / 5)});
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
    PresetRecord rec;
    {
        Lock lock(st_.mutex);
        bool rememberedAuto = st_.autoRender;
        st_.autoRender = false;
        // The units read their blocks straight from the bytes: into a copy,
        // so that a refused preset leaves them as they were.
        SoundScheme loaded = st_.units;
        PresetRecord stored = toStoredForm(st_.defaultPreset);
        readPresetBytes(bytes.data(), bytes.size(), stored, loaded);
        rec = fromStoredForm(stored);
        if (Status st = checkSoundLength(rec.timbre.length); !st) {
            st_.autoRender = rememberedAuto;
            return st;  // nothing applied, name and caption unchanged
        }
        s_.history().recordStep("Open preset");
        st_.units = loaded;
        st_.caption = presetCaption(fileName);
        st_.presetName = bareFileName(fileName);
        ++st_.loadingCount;
        setPreset(rec);
        --st_.loadingCount;
        st_.initEnvelopers();
        st_.renderRequested = render;  // opening renders the loaded sound
        if (render) st_.oscillatorsChanged = true;
        st_.notify(Change::Units);
        s_.render().generateSoundBuf();
        st_.autoRender = rememberedAuto;
    }
    s_.history().markSaved();
    st_.notify(Change::Preset);
    return Status::success();
}

Status PresetFiles::savePreset(const std::string& fileName) {
    PresetRecord stored = toStoredForm(getPreset());
    Status st;
    {
        Lock lock(st_.mutex);
        st = savePresetFile(fileName, stored, st_.units);
        if (!st) return st;
        st_.caption = presetCaption(fileName);
        st_.presetName = bareFileName(fileName);
    }
    s_.history().markSaved();
    st_.notify(Change::Preset);
    return st;
}

void PresetFiles::newPreset() {
    s_.history().recordStep("New preset");
    {
        Lock lock(st_.mutex);
        st_.caption = "Kestrafon";
        st_.presetName = "NoName";
        setPreset(st_.defaultPreset);
        st_.renderRequested = true;
        st_.oscillatorsChanged = true;
        s_.render().generateSoundBuf();
    }
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
    Lock lock(st_.mutex);
    s_.history().recordStep("Open sample " + std::to_string(slot == 2 ? 2 : 1));
    SampleSlot& s = st_.sample(slot);
    s.load(fileName, slot == 2 ? st_.panel.sample2StartPos : st_.panel.sample1StartPos);
    st_.oscillatorsChanged = true;
    st_.notify(Change::Samples);
    s_.render().generateSoundBuf();
    if (!fileName.empty() && s.loadedCount() == 0 && s.storedPath().empty())
        return Status::error("Cannot open sample file " + fileName + ": " + s.problem());
    return Status::success();
}

void PresetFiles::byteSwapSample(int slot) {
    Lock lock(st_.mutex);
    s_.history().recordStep("Byte swap sample " + std::to_string(slot == 2 ? 2 : 1));
    st_.sample(slot).byteSwap();
    st_.oscillatorsChanged = true;
    st_.notify(Change::Samples);
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
