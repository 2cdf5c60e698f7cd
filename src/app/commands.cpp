#include "app/commands.h"

#include <iostream>
#include <mutex>

#include "core/fresh_render.h"
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
    addToolCommand(app);
    addRenderMidiCommand(app);
    addSessionCommand(app);
}

bool loadPresetAndRender(Session& s, const std::string& preset, int threads) {
    s.render().setRenderThreads(threads);
    if (!preset.empty() && !checkPresetFile(preset)) return false;
    Status st;
    {
        ProgressLine line("rendering", [&s] { return s.render().progress(); }, 6);
        st = renderFreshlyOpened(s, preset);
    }
    if (!st) {
        fail(st.message);
        return false;
    }
    if (!preset.empty() && !checkPresetSamples(s, preset)) return false;
    if (Status e = s.render().lastError(); !e) warn(e.message);
    warnIfClipping(s.render().playBuffer().copy());
    return true;
}

}  // namespace kf::cli
