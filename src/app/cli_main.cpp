// kestrafon-cli: every subcommand lives in its own cmd_*.cpp and registers here.
#include <CLI/CLI.hpp>

#include "app/commands.h"

int main(int argc, char** argv) {
    CLI::App app{"Kestrafon sound designer, command line"};
    app.require_subcommand(1);
    kf::cli::registerAll(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return kf::cli::exitCode();
}
