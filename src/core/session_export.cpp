// The session's sound export ("Save", "Save sample as...") and settings.
#include "core/session.h"

namespace kf {

Status Session::saveSoundFile(SaveFormat format, std::string* writtenName) {
    std::string name, base;
    int32_t rate = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        name = generateSaveName(presetName_, settings_.saveDir, format);
        base = presetName_.substr(0, presetName_.find('.'));
        rate = ratePosition_ * 5;
    }
    std::vector<int16_t> sound = playBuffer_.copy();
    Status st = saveSound(name, SoundBuffer{static_cast<int32_t>(sound.size()), sound.data()}, format, rate, base);
    if (st.ok && writtenName) *writtenName = name;
    return st;
}

Status Session::saveSampleAs(const std::string& fileName, int filterIndex) {
    std::vector<int16_t> sound = playBuffer_.copy();
    return kf::saveSampleAs(fileName, filterIndex, SoundBuffer{static_cast<int32_t>(sound.size()), sound.data()},
                            sampleRate());
}

Settings Session::settings() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return settings_;
}

void Session::setSettings(const Settings& s) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    settings_ = s;
}

}  // namespace kf
