#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>

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
void setExitCode(int code);
int exitCode();
// Prints "kestrafon-cli: <message>" on stderr and sets a non-zero exit code.
void fail(const std::string& message);

// Loads the preset (none: the start-up state) the way "Open preset..."
// applies it, without the render opening would start, seeds the random
// generator and renders once with `threads` render threads (0: one per
// core). Reports a failure through fail().
bool loadPresetAndRender(Session& s, const std::string& preset, uint32_t seed, int threads = 0);

}  // namespace kf::cli
