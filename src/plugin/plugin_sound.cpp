#include "plugin/plugin_sound.h"

#include "core/voice_engine.h"
#include "files/file_io.h"
#include "files/preset_bank.h"

namespace kf {

PluginSound::PluginSound() {
    // The plugin only ever plays snapshots: no render of a whole sound.
    session_.render().setAutoRender(false);
    // The start-up sound is silent whatever is played; a fresh instance
    // starts with a sound that answers the keys, when the bank is found.
    const std::string bank = presetBankDir();
    if (!bank.empty()) open(bank + "/keys/electric_piano.kfp");
}

Status PluginSound::open(const std::string& path) {
    // Nobody listens to the session's notifications here: they are dropped
    // as they come, so that they never pile up.
    const Status st = session_.files().openPreset(path, false);
    session_.params().drainNotifications();
    return st;
}

Status PluginSound::restore(const std::vector<uint8_t>& bytes, const std::string& sample1,
                            const std::string& sample2) {
    if (Status st = session_.files().openPresetBytes(bytes, "state", false); !st) {
        session_.params().drainNotifications();
        return st;
    }
    // The host's paths win over the preset's (cut to 100 characters, and
    // perhaps moved with the project); a swapped sample is swapped again.
    const PresetRecord rec = session_.files().getPreset();
    const std::string paths[2] = {sample1, sample2};
    for (int slot = 1; slot <= 2; ++slot) {
        const std::string& p = paths[slot - 1];
        if (p.empty() || p == session_.files().samplePath(slot) || !isRegularFile(p)) continue;
        session_.files().loadSample(slot, p);
        if (rec.byteSwapFlag(slot)) session_.files().byteSwapSample(slot);
    }
    session_.params().drainNotifications();
    return Status::success();
}

std::shared_ptr<const SoundSnapshot> PluginSound::snapshot() { return session_.live().publishSnapshot(); }

}  // namespace kf
