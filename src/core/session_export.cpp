// The session's sound export ("Save", "Save sample as...") and settings.
#include "core/session.h"
#include "core/session_state.h"

namespace kf {

using Lock = SessionState::Lock;

Status PresetFiles::saveSoundFile(SaveFormat format, std::string* writtenName) {
    if (Status st = s_.live().liveModeRefusal("Save"); !st) return st;
    std::string name, base;
    int32_t rate = 0;
    {
        Lock lock(st_.mutex);
        name = generateSaveName(st_.presetName, st_.settings.saveDir, format);
        base = st_.presetName.substr(0, st_.presetName.find('.'));
        rate = st_.sampleRate();
    }
    if (s_.render().playBuffer().rate() > 0) rate = s_.render().playBuffer().rate();  // the header says the rate the samples have
    std::vector<int16_t> sound = s_.render().playBuffer().copy();
    Status st = saveSound(name, SoundBuffer{static_cast<int32_t>(sound.size()), sound.data()}, format, rate, base);
    if (st.ok && writtenName) *writtenName = name;
    return st;
}

Status PresetFiles::saveSampleAs(const std::string& fileName, int filterIndex) {
    if (Status st = s_.live().liveModeRefusal("Save sample as"); !st) return st;
    std::vector<int16_t> sound = s_.render().playBuffer().copy();
    const int32_t rate = s_.render().playBuffer().rate() > 0 ? s_.render().playBuffer().rate() : sampleRate();
    return kf::saveSampleAs(fileName, filterIndex, SoundBuffer{static_cast<int32_t>(sound.size()), sound.data()},
                            rate);
}

Status PresetFiles::exportSound(const std::string& fileName, SaveFormat format) {
    if (Status st = s_.live().liveModeRefusal("Save"); !st) return st;
    std::string base;
    {
        Lock lock(st_.mutex);
        base = st_.presetName.substr(0, st_.presetName.find('.'));
    }
    std::vector<int16_t> sound = s_.render().playBuffer().copy();
    const int32_t rate = s_.render().playBuffer().rate() > 0 ? s_.render().playBuffer().rate() : sampleRate();
    return saveSound(fileName, SoundBuffer{static_cast<int32_t>(sound.size()), sound.data()}, format, rate, base);
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
