#include "app/commands.h"

#include <iostream>
#include <mutex>

#include "app/cli_input.h"
#include "app/cli_progress.h"
#include "core/session.h"

namespace kf::cli {

void registerAll(CLI::App& app) {
    addToneCommand(app);
    addPresetCommands(app);
    addRenderCommands(app);
    addDevicesCommand(app);
    addPlayCommands(app);
}

// Loads the preset the way "Open preset..." applies it, without the render
// that opening would start, so the command's own render is the first one.
bool loadPresetAndRender(Session& s, const std::string& preset, uint32_t seed) {
    s.waitForRender();
    if (!preset.empty()) {
        if (!checkPresetFile(preset)) return false;
        {
            std::lock_guard<std::recursive_mutex> lock(s.mutex());
            s.autoRender = false;
        }
        Status st = s.openPreset(preset);
        {
            std::lock_guard<std::recursive_mutex> lock(s.mutex());
            s.autoRender = true;
        }
        if (!st) {
            fail(st.message);
            return false;
        }
        {
            ProgressLine line("rendering", [&s] { return s.progress.load(); }, 6);
            s.waitForRender();
        }
        if (!checkPresetSamples(s, preset)) return false;
    }
    s.random.seed = seed;
    {
        ProgressLine line("rendering", [&s] { return s.progress.load(); }, 6);
        s.renderNow();
    }
    if (Status e = s.lastError(); !e) warn(e.message);
    warnIfClipping(s.playBuffer.copy());
    return true;
}

}  // namespace kf::cli
