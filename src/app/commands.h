#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <map>
#include <string>

#include "files/export.h"

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

void addSessionCommand(CLI::App& app);

void registerAll(CLI::App& app);

// The "Tools" menu commands as options (tool and the session script's `tool`).
struct ToolOptions {
    std::string preset, out, melodicTo, octave, range, detune, seed, processSample, render;
    bool fat = false, tb303 = false;
};
void addToolChoiceOptions(CLI::App* cmd, ToolOptions& o);
// Checks the chosen command's options and runs it on `s` (fail() and false on an error).
bool applyToolOptions(Session& s, const ToolOptions& o);

// Sound formats by --format name and by a file name's extension.
const std::map<std::string, SaveFormat>& formatNames();
bool formatFromExtension(const std::string& path, SaveFormat& f);

// The one render of a command: `s` is freshly constructed with the
// command's seed; the start-up sound, or the preset opened as "Open
// preset..." does and rendered by opening it. Reports a failure through
// fail(); warns about a damaged preset, missing samples and a clipping sound.
// `threads`: render threads (0: one per core).
bool loadPresetAndRender(Session& s, const std::string& preset, int threads = 0);

}  // namespace kf::cli
