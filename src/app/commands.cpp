#include "app/commands.h"

#include <iostream>
#include <mutex>

#include "core/fresh_render.h"
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
    addToolCommand(app);
    addRenderMidiCommand(app);
}

bool loadPresetAndRender(Session& s, const std::string& preset) {
    if (Status st = renderFreshlyOpened(s, preset); !st) {
        fail(st.message);
        return false;
    }
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
