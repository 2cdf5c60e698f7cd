// "dump": a preset file as JSON on stdout; "build": JSON back into a preset
// file, byte for byte.
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>

#include "app/commands.h"
#include "files/file_io.h"
#include "files/preset_json.h"

namespace kf::cli {

void addPresetCommands(CLI::App& app) {
    auto dumpIn = std::make_shared<std::string>();
    CLI::App* dump = app.add_subcommand("dump", "Print a preset file (.kfp) as JSON");
    dump->add_option("preset", *dumpIn, "Preset file")->required();
    dump->callback([dumpIn] {
        std::vector<uint8_t> bytes;
        Status st = readFileBytes(*dumpIn, kPresetFileSize, bytes);
        if (!st) return fail(st.message);
        if (bytes.size() < static_cast<size_t>(kPresetFileSize))
            std::cerr << "kestrafon-cli: note: " << *dumpIn << " holds " << bytes.size() << " of "
                      << kPresetFileSize << " bytes; the missing tail is shown as zeros\n";
        bytes.resize(kPresetFileSize, 0);
        std::cout << presetFileToJson(bytes.data()).dump(2) << "\n";
    });

    auto buildIn = std::make_shared<std::string>();
    auto buildOut = std::make_shared<std::string>();
    CLI::App* build = app.add_subcommand("build", "Build a preset file (.kfp) from JSON");
    build->add_option("json", *buildIn, "JSON file made by dump")->required();
    build->add_option("-o,--output", *buildOut, "Preset file to write")->required();
    auto unchecked = std::make_shared<bool>(false);
    build->add_flag("--unchecked", *unchecked,
                    "Keep values no control can hold (restores a dump of a damaged file byte for byte)");
    build->callback([buildIn, buildOut, unchecked] {
        std::ifstream in(*buildIn, std::ios::binary);
        if (!in) return fail("cannot open " + *buildIn);
        nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
        if (j.is_discarded()) return fail(*buildIn + ": not valid JSON");
        std::array<uint8_t, kPresetFileSize> bytes{};
        Status st = jsonToPresetFile(j, bytes, !*unchecked);
        if (!st) return fail(*buildIn + ": " + st.message);
        st = writeFileBytes(*buildOut, std::vector<uint8_t>(bytes.begin(), bytes.end()));
        if (!st) return fail(st.message);
    });
}

}  // namespace kf::cli
