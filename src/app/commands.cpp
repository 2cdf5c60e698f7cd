#include "app/commands.h"

#include <iostream>
#include <mutex>

#include "core/session.h"

namespace kf::cli {

namespace {
int g_exit = 0;  // process exit status of the one command a run executes
}

void registerAll(CLI::App& app) {
    addToneCommand(app);
    addPresetCommands(app);
    addRenderCommands(app);
    addDevicesCommand(app);
    addPlayCommands(app);
}

// Loads the preset the way "Open preset..." applies it, without the render
// that opening would start, so the command's own render is the first one.
bool loadPresetAndRender(Session& s, const std::string& preset, uint32_t seed, int threads) {
    s.waitForRender();
    s.engine().speed.threads = threads;
    if (!preset.empty()) {
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
        s.waitForRender();
    }
    s.random.seed = seed;
    s.renderNow();
    if (Status e = s.lastError(); !e) std::cerr << "kestrafon-cli: warning: " << e.message << "\n";
    return true;
}

void setExitCode(int code) { g_exit = code; }
int exitCode() { return g_exit; }

void fail(const std::string& message) {
    std::cerr << "kestrafon-cli: " << message << "\n";
    g_exit = 1;
}

}  // namespace kf::cli
