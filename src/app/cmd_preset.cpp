// "dump": a preset file as JSON on stdout; "build": JSON back into a preset
// file, byte for byte.
#include <iostream>
#include <memory>

#include "app/cli_input.h"
#include "app/cli_output.h"
#include "app/commands.h"
#include "files/preset_check.h"
#include "files/file_io.h"
#include "files/preset_json.h"

namespace kf::cli {

void addPresetCommands(CLI::App& app) {
    auto dumpIn = std::make_shared<std::string>();
    CLI::App* dump = app.add_subcommand("dump", "Print a preset file (.kfp) as JSON ('-': read standard input)");
    dump->add_option("preset", *dumpIn, "Preset file")->required();
    dump->callback([dumpIn] {
        // "dump k.kfp >> k.kfp" would append the text to the preset.
        if (refuseSameFile("/dev/stdout", {*dumpIn})) return;
        std::vector<uint8_t> bytes;
        Status st = readInput(*dumpIn, kMaxInputBytes, bytes);
        if (!st) return fail(st.message);
        const std::string name = inputName(*dumpIn);
        if (const std::string kind = otherFileKind(bytes, true); !kind.empty())
            return fail(name + ": " + kind + ", not a preset" +
                        (kind == "JSON text" ? "; it may already be the JSON form ('build' makes a preset of it)"
                                             : ""));
        if (bytes.size() < static_cast<size_t>(kPresetFileSize))
            warn(name + ": " + std::to_string(bytes.size()) + " bytes, not " + std::to_string(kPresetFileSize) +
                 ": the missing part is shown as zeros");
        else if (bytes.size() > static_cast<size_t>(kPresetFileSize))
            warn(name + ": " + std::to_string(bytes.size()) + " bytes, not " + std::to_string(kPresetFileSize) +
                 ": the bytes after " + std::to_string(kPresetFileSize) + " are ignored");
        bytes.resize(kPresetFileSize, 0);
        writeStdout(presetFileToJson(bytes.data()).dump(2) + "\n");
    });

    auto buildIn = std::make_shared<std::string>();
    auto buildOut = std::make_shared<std::string>();
    CLI::App* build = app.add_subcommand("build", "Build a preset file (.kfp) from JSON ('-': read standard input)");
    build->add_option("json", *buildIn, "JSON file made by dump")->required();
    build->add_option("-o,--output", *buildOut, "Preset file to write ('-': standard output)")->required();
    auto unchecked = std::make_shared<bool>(false);
    build->add_flag("--unchecked", *unchecked,
                    "Keep values no control can hold (restores a dump of a damaged file byte for byte)");
    build->callback([buildIn, buildOut, unchecked] {
        if (refuseSameFile(*buildOut, {*buildIn})) return;
        std::vector<uint8_t> text;
        Status st = readInput(*buildIn, kMaxInputBytes, text);
        if (!st) return fail(st.message);
        const std::string name = inputName(*buildIn);
        nlohmann::json j = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
        if (j.is_discarded()) {
            std::string kind = otherFileKind(text, true);
            if (kind == "a text file") kind.clear();  // text that fails to parse is bad JSON
            if (text.size() == static_cast<size_t>(kPresetFileSize) || !kind.empty())
                return fail(name + ": not JSON text" +
                            (kind.empty() ? " (a preset file? 'dump' shows one as JSON)" : " but " + kind));
            return fail(name + ": not valid JSON");
        }
        std::array<uint8_t, kPresetFileSize> bytes{};
        st = jsonToPresetFile(j, bytes, !*unchecked);
        if (!st) return fail(name + ": " + st.message);
        OutputFile out(*buildOut);
        st = out.write([&bytes](const std::string& file) {
            return writeFileBytes(file, std::vector<uint8_t>(bytes.begin(), bytes.end()));
        });
        if (!st) return fail(st.message);
    });
}

}  // namespace kf::cli
