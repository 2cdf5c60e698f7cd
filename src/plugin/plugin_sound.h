// The plugin's sound off the audio thread: a session that never renders on
// its own, opened from preset files (in the LV2 worker) or from the host's
// saved state, whose snapshots the voice engine plays.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/session.h"

namespace kf {

struct SoundSnapshot;

class PluginSound {
public:
    PluginSound();

    // A preset file; another kind of file is refused in the words every
    // other opener uses, and the sound stays as it was.
    Status open(const std::string& path);
    // The host's saved state: the preset's bytes, then the samples from the
    // paths the host handed back (empty: as the preset names them).
    Status restore(const std::vector<uint8_t>& bytes, const std::string& sample1, const std::string& sample2);
    std::vector<uint8_t> presetBytes() { return session_.history().presetBytes(); }
    std::string samplePath(int slot) const { return session_.files().samplePath(slot); }

    void set(ParamId id, long double v) {
        session_.params().set(id, v);
        session_.params().drainNotifications();
    }
    long double value(ParamId id) const { return session_.params().value(id); }
    int32_t sampleRate() const { return session_.files().sampleRate(); }
    std::shared_ptr<const SoundSnapshot> snapshot();

private:
    Session session_;
};

}  // namespace kf
