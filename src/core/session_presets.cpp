// The session's presets and samples: open, save, new, and the two sample
// slots with their start positions.
#include "core/session.h"
#include "core/sound_length.h"
#include "files/preset_check.h"

#include <algorithm>

namespace kf {

PresetRecord SessionCore::getPreset() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    getOscillatorParams();
    TimbreRecord& cur = timbres_[static_cast<size_t>(currentTimbre_)];
    captureTimbre(cur);
    PresetRecord out;
    out.timbre = cur;
    out.envelopeBars = envelopeBars_.bars;
    out.setSamplePath(1, sample1_.storedPath());
    out.setSamplePath(2, sample2_.storedPath());
    out.setByteSwapFlag(1, sample1_.swapped());
    out.setByteSwapFlag(2, sample2_.swapped());
    out.setRatePosition(ratePosition_);
    out.clearCaptureStretch();
    return out;
}

void SessionCore::setPreset(const PresetRecord& rec) { applyPreset(rec, true); }

void SessionCore::applyPreset(const PresetRecord& rec, bool reloadSamples) {
    bool restart = false;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        ++loadingCount_;
        const std::array<int32_t, 2> startsBefore{panel_.sample1StartPos, panel_.sample2StartPos};
        TimbreRecord& cur = timbres_[static_cast<size_t>(currentTimbre_)];
        cur = rec.timbre;
        fillControls(cur);
        for (size_t i = 0; i < envelopeBars_.bars.size(); ++i)
            envelopeBars_.bars[i] = static_cast<int32_t>(
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
            oscillatorsChanged_ = true;
        };
        loadSlot(sample1_, 1, panel_.sample1StartPos);
        loadSlot(sample2_, 2, panel_.sample2StartPos);
        // The rate control holds positions 200..9600 only; a damaged value
        // must not turn into a zero sample rate.
        ratePosition_ = static_cast<int32_t>(clampParam(ParamId::SampleRate, rec.ratePosition()));
        --loadingCount_;
        restart = playback_ && playback_->playing();
    }
    notify(Change::Samples);
    notify(Notification{Change::Param, ParamId::SampleRate, static_cast<long double>(sampleRate() / 5)});
    if (restart) playback_->playClick();
}

Status SessionCore::openPreset(const std::string& fileName, bool render, std::string* warning) {
    // Another kind of file would fill the controls with its bytes: refuse it
    // before anything changes.
    const PresetFileCheck check = checkPresetFile(fileName);
    if (!check.refusal) return check.refusal;
    if (warning) *warning = check.warning;
    std::vector<uint8_t> bytes;
    if (Status st = readPresetFileBytes(fileName, bytes); !st) return st;
    return openPresetBytes(bytes, fileName, render);
}

Status SessionCore::openPresetBytes(const std::vector<uint8_t>& bytes, const std::string& fileName, bool render) {
    SessionSnapshot before = snapshot();
    PresetRecord rec;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        bool rememberedAuto = autoRender_;
        autoRender_ = false;
        // The units read their blocks straight from the bytes: into a copy,
        // so that a refused preset leaves them as they were.
        SoundScheme loaded = units_;
        PresetRecord stored = toStoredForm(defaultPreset_);
        readPresetBytes(bytes.data(), bytes.size(), stored, loaded);
        rec = fromStoredForm(stored);
        if (Status st = checkSoundLength(rec.timbre.length); !st) {
            autoRender_ = rememberedAuto;
            return st;  // nothing applied, name and caption unchanged
        }
        history_.record("Open preset", {}, std::move(before));
        units_ = loaded;
        caption_ = presetCaption(fileName);
        presetName_ = bareFileName(fileName);
        ++loadingCount_;
        setPreset(rec);
        --loadingCount_;
        initEnvelopers();
        renderRequested_ = render;  // opening renders the loaded sound
        if (render) oscillatorsChanged_ = true;
        parametersChanged();
        autoRender_ = rememberedAuto;
    }
    markSaved();
    notify(Change::Preset);
    return Status::success();
}

Status SessionCore::savePreset(const std::string& fileName) {
    PresetRecord stored = toStoredForm(getPreset());
    Status st;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        st = savePresetFile(fileName, stored, units_);
        if (!st) return st;
        caption_ = presetCaption(fileName);
        presetName_ = bareFileName(fileName);
    }
    markSaved();
    notify(Change::Preset);
    return st;
}

void SessionCore::newPreset() {
    recordStep("New preset");
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        caption_ = "Kestrafon";
        presetName_ = "NoName";
        setPreset(defaultPreset_);
        renderRequested_ = true;
        oscillatorsChanged_ = true;
        generateSoundBuf();
    }
    markSaved();
    notify(Change::Preset);
}

std::string SessionCore::presetName() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return presetName_;
}

std::string SessionCore::caption() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return caption_;
}

Status SessionCore::loadSample(int slot, const std::string& fileName) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    recordStep("Open sample " + std::to_string(slot == 2 ? 2 : 1));
    SampleSlot& s = slot == 2 ? sample2_ : sample1_;
    s.load(fileName, slot == 2 ? panel_.sample2StartPos : panel_.sample1StartPos);
    oscillatorsChanged_ = true;
    notify(Change::Samples);
    generateSoundBuf();
    if (!fileName.empty() && s.loadedCount() == 0 && s.storedPath().empty())
        return Status::error("Cannot open sample file " + fileName + ": " + s.problem());
    return Status::success();
}

void SessionCore::byteSwapSample(int slot) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    recordStep("Byte swap sample " + std::to_string(slot == 2 ? 2 : 1));
    (slot == 2 ? sample2_ : sample1_).byteSwap();
    oscillatorsChanged_ = true;
    notify(Change::Samples);
    generateSoundBuf();
}

std::string SessionCore::sampleLabel(int slot) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return (slot == 2 ? sample2_ : sample1_).label();
}

std::string SessionCore::samplePath(int slot) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return (slot == 2 ? sample2_ : sample1_).storedPath();
}

int32_t SessionCore::sampleCount(int slot) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return (slot == 2 ? sample2_ : sample1_).view().count;
}

std::string SessionCore::sampleDetails(int slot) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const SampleSlot& s = slot == 2 ? sample2_ : sample1_;
    std::string text = std::to_string(s.view().count) + " samples";
    if (s.fileRate() > 0) text += ", file at " + std::to_string(s.fileRate()) + " Hz";
    if (s.clipped() > 0) text += ", " + std::to_string(s.clipped()) + " clipped";
    return text;
}

int64_t SessionCore::sampleClipped(int slot) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return (slot == 2 ? sample2_ : sample1_).clipped();
}

}  // namespace kf
