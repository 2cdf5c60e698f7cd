// The session's sound export ("Save", "Save sample as...") and settings.
#include "core/session.h"
#include "core/session_state.h"

namespace kf {

using Lock = SessionState::Lock;

Status PresetFiles::saveSoundFile(SaveFormat format, std::string* writtenName) {
    if (Status st = s_.live().liveModeRefusal("Save"); !st) return st;
    std::string name, base;
    {
        Lock lock(st_.mutex);
        name = generateSaveName(st_.presetName, st_.settings.saveDir, format);
        base = st_.presetName.substr(0, st_.presetName.find('.'));
    }
    // The header says the rate the samples have.
    RenderedSound sound = renderedSound(s_.render().playBuffer(), sampleRate());
    Status st = saveSound(name, sound.view(), format, sound.rate, base);
    if (st.ok && writtenName) *writtenName = name;
    return st;
}

Status PresetFiles::saveSampleAs(const std::string& fileName, int filterIndex) {
    if (Status st = s_.live().liveModeRefusal("Save sample as"); !st) return st;
    RenderedSound sound = renderedSound(s_.render().playBuffer(), sampleRate());
    return kf::saveSampleAs(fileName, filterIndex, sound.view(), sound.rate);
}

Status PresetFiles::exportSound(const std::string& fileName, SaveFormat format) {
    if (Status st = s_.live().liveModeRefusal("Save"); !st) return st;
    std::string base;
    {
        Lock lock(st_.mutex);
        base = st_.presetName.substr(0, st_.presetName.find('.'));
    }
    RenderedSound sound = renderedSound(s_.render().playBuffer(), sampleRate());
    return saveSound(fileName, sound.view(), format, sound.rate, base);
}

Settings PresetFiles::settings() const { return st_.read(st_.settings); }

void PresetFiles::setSettings(const Settings& s) {
    {
        Lock lock(st_.mutex);
        st_.settings = s;
    }
    s_.live().applyLiveSettings();
}

}  // namespace kf
