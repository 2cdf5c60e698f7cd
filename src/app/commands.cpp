#include "app/commands.h"

#include <iostream>

namespace kf::cli {

namespace {
int g_exit = 0;  // process exit status of the one command a run executes
}

void registerAll(CLI::App& app) {
    addToneCommand(app);
    addPresetCommands(app);
    addRenderCommands(app);
    addDevicesCommand(app);
}

void setExitCode(int code) { g_exit = code; }
int exitCode() { return g_exit; }

void fail(const std::string& message) {
    std::cerr << "kestrafon-cli: " << message << "\n";
    g_exit = 1;
}

}  // namespace kf::cli
