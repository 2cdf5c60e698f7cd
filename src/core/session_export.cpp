// The session's sound export ("Save", "Save sample as...") and settings.
#include "core/session.h"

namespace kf {

Status SessionCore::saveSoundFile(SaveFormat format, std::string* writtenName) {
    if (Status st = liveModeRefusal("Save"); !st) return st;
    std::string name, base;
    int32_t rate = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        name = generateSaveName(presetName_, settings_.saveDir, format);
        base = presetName_.substr(0, presetName_.find('.'));
        rate = ratePosition_ * 5;
    }
    if (playBuffer_.rate() > 0) rate = playBuffer_.rate();  // the header says the rate the samples have
    std::vector<int16_t> sound = playBuffer_.copy();
    Status st = saveSound(name, SoundBuffer{static_cast<int32_t>(sound.size()), sound.data()}, format, rate, base);
    if (st.ok && writtenName) *writtenName = name;
    return st;
}

Status SessionCore::saveSampleAs(const std::string& fileName, int filterIndex) {
    if (Status st = liveModeRefusal("Save sample as"); !st) return st;
    std::vector<int16_t> sound = playBuffer_.copy();
    const int32_t rate = playBuffer_.rate() > 0 ? playBuffer_.rate() : sampleRate();
    return kf::saveSampleAs(fileName, filterIndex, SoundBuffer{static_cast<int32_t>(sound.size()), sound.data()},
                            rate);
}

Status SessionCore::exportSound(const std::string& fileName, SaveFormat format) {
    if (Status st = liveModeRefusal("Save"); !st) return st;
    std::string base;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        base = presetName_.substr(0, presetName_.find('.'));
    }
    std::vector<int16_t> sound = playBuffer_.copy();
    const int32_t rate = playBuffer_.rate() > 0 ? playBuffer_.rate() : sampleRate();
    return saveSound(fileName, SoundBuffer{static_cast<int32_t>(sound.size()), sound.data()}, format, rate, base);
}

Settings SessionCore::settings() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return settings_;
}

void SessionCore::setSettings(const Settings& s) {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        settings_ = s;
    }
    applyLiveSettings();
}

}  // namespace kf
