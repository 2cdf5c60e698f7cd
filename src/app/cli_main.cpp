#include <CLI/CLI.hpp>

int main(int argc, char** argv) {
    CLI::App app{"Kestrafon sound designer, command line"};
    app.require_subcommand(1);
    CLI11_PARSE(app, argc, argv);
    return 0;
}
