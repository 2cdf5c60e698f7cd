#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>

#include "app/cli_errors.h"

namespace kf {
class Session;
}

namespace kf::cli {

// Each add*Command registers one subcommand; its callback sets the exit
// code through setExitCode (errors are printed as one line on stderr).
void addToneCommand(CLI::App& app);
void addPresetCommands(CLI::App& app);
void addRenderCommands(CLI::App& app);
void addDevicesCommand(CLI::App& app);
void addPlayCommands(CLI::App& app);
void addToolCommand(CLI::App& app);
void addRenderMidiCommand(CLI::App& app);

void registerAll(CLI::App& app);

// The one render of a command: `s` is freshly constructed with the
// command's seed; the start-up sound, or the preset opened as "Open
// preset..." does and rendered by opening it. Reports a failure through
// fail(); warns about a damaged preset, missing samples and a clipping sound.
// `threads`: render threads (0: one per core).
bool loadPresetAndRender(Session& s, const std::string& preset, int threads = 0);

}  // namespace kf::cli
