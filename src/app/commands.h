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

void registerAll(CLI::App& app);

// Loads the preset (none: the start-up state) the way "Open preset..."
// applies it, without the render opening would start, seeds the random
// generator and renders once. Reports a failure through fail(); warns about
// a damaged preset, missing samples and a clipping sound.
bool loadPresetAndRender(Session& s, const std::string& preset, uint32_t seed);

}  // namespace kf::cli
