#include "app/commands.h"

namespace kf::cli {
void addToneCommand(CLI::App& app) { app.add_subcommand("tone", "Render one oscillator into a WAV file"); }
}  // namespace kf::cli
