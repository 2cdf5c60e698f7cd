// kestrafon-cli: every subcommand lives in its own cmd_*.cpp and registers here.
#include <CLI/CLI.hpp>

#include <cstring>
#include <exception>
#include <iostream>

#include "app/cli_errors.h"
#include "app/cli_output.h"
#include "app/cli_quiet.h"
#include "app/commands.h"

namespace {

constexpr const char* kExitCodes =
    "Exit codes: 0 success, 1 failure while running, 2 usage error (bad command or option),\n"
    "130 interrupted (Ctrl+C, SIGTERM, SIGHUP).\n"
    "Errors are one line on stderr: kestrafon-cli: COMMAND: WHAT. Give '-' as a file to use stdin/stdout.";

// The command named on the command line, for parser errors raised before
// its own parsing started.
std::string commandFromArgs(CLI::App& app, int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
            if (sub->get_name() == argv[i]) return sub->get_name();
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kf::cli;
    CLI::App app{"Kestrafon sound designer, command line"};
    app.footer(kExitCodes);
    app.set_version_flag("--version", std::string("kestrafon-cli ") + KF_VERSION);
    app.add_flag_callback("--verbose", [] { setVerbose(true); },
                          "Show the audio libraries' own messages (ALSA, JACK, PulseAudio)");
    app.fallthrough();  // --verbose also after the command
    app.require_subcommand(1);
    registerAll(app);
    for (CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        const std::string name = sub->get_name();
        sub->preparse_callback([name](std::size_t) { setCommandName(name); });
        sub->footer(kExitCodes);
    }
    installInterruptHandler();
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {  // --help, --help-all, --version
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        if (commandName().empty()) setCommandName(commandFromArgs(app, argc, argv));
        std::string what = e.what();
        if (dynamic_cast<const CLI::RequiredError*>(&e) && commandName().empty()) {
            what = "no command given";
            for (int i = 1; i < argc; ++i)
                if (argv[i][0] != '-') {
                    what = std::string("unknown command '") + argv[i] + "'";
                    break;
                }
        }
        const std::string help = commandName().empty() ? "kestrafon-cli --help" : "kestrafon-cli " + commandName() + " --help";
        usageError(what + " (see '" + help + "')");
        return kExitUsage;
    } catch (const std::exception& e) {
        fail(e.what());
    }
    flushStdout();
    return exitCode();
}
