// render, save and default-preset: the session's ordinary render from the
// command line.
#include <algorithm>
#include <cctype>
#include <iostream>
#include <map>

#include "app/cli_output.h"
#include "app/commands.h"
#include "core/session.h"

namespace kf::cli {

const std::map<std::string, SaveFormat>& formatNames() {
    static const std::map<std::string, SaveFormat> m{
        {"wav", SaveFormat::Wav16},          {"wav8", SaveFormat::Wav8},
        {"xi", SaveFormat::XI},              {"raw-intel", SaveFormat::RawIntel},
        {"raw-motorola", SaveFormat::RawMotorola}, {"raw8-signed", SaveFormat::Raw8Signed},
        {"raw8-unsigned", SaveFormat::Raw8Unsigned}, {"flac", SaveFormat::Flac},
        {"ogg", SaveFormat::Ogg}};
    return m;
}

bool formatFromExtension(const std::string& path, SaveFormat& f) {
    auto dot = path.find_last_of('.');
    auto slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == "wav") f = SaveFormat::Wav16;
    else if (ext == "xi") f = SaveFormat::XI;
    else if (ext == "raw" || ext == "smp" || ext == "pcm") f = SaveFormat::RawIntel;
    else return compressedFormatFor(path, f);
    return true;
}

namespace {

// "render": a preset (or the start-up sound) into a sound file.
void addRenderCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("render", "Render a preset (or the start-up sound) into a sound file");
    auto preset = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    auto format = std::make_shared<std::string>();
    auto seed = std::make_shared<uint32_t>(0);
    cmd->add_option("preset", *preset, "Preset file (.kfp)");
    cmd->add_option("-o,--output", *out, "Output file ('-': standard output, WAV unless --format says otherwise)")
        ->required();
    cmd->add_option("--format", *format, "wav|wav8|xi|raw-intel|raw-motorola|raw8-signed|raw8-unsigned|flac|ogg");
    cmd->add_option("--seed", *seed, "Random generator seed of the freshly started program")
        ->check(wholeNumber(0, 4294967295LL));
    auto threads = std::make_shared<int>(0);
    cmd->add_option("--threads", *threads, "Render threads (0: one per core)")->check(CLI::NonNegativeNumber);
    cmd->callback([=] {
        SaveFormat f = SaveFormat::Wav16;
        if (!format->empty()) {
            auto it = formatNames().find(lowerCase(*format));
            if (it == formatNames().end()) return usageError("unknown format '" + *format + "'");
            f = it->second;
        } else if (*out == "-") {
            f = SaveFormat::Wav16;
        } else if (!formatFromExtension(*out, f)) {
            return usageError("cannot tell the format from '" + *out + "'; use --format");
        }
        if (refuseSameFile(*out, {*preset})) return;
        OutputFile file(*out);
        // An output that cannot be written fails before the render.
        if (Status st = file.open(); !st) return fail(st.message);
        Session s(*seed);
        if (!loadPresetAndRender(s, *preset, *threads)) return;
        if (refuseSameFile(*out, {s.files().samplePath(1), s.files().samplePath(2)})) return;
        std::vector<int16_t> sound = s.render().playBuffer().copy();
        const std::string presetName = s.files().presetName();
        std::string base = presetName.substr(0, presetName.find('.'));
        Status st = file.write([&](const std::string& name) {
            return saveSound(name, SoundBuffer{static_cast<int32_t>(sound.size()), sound.data()}, f,
                             s.files().sampleRate(), base);
        });
        if (!st) return fail(st.message);
        (file.toStdout() ? std::cerr : std::cout) << "Wrote " << file.shownName() << " (" << sound.size()
                                                  << " samples at " << s.files().sampleRate() << " Hz)\n";
    });
}

// "save": the window's "Save" command, under a generated name.
void addSaveCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("save", "The \"Save\" command: render and write under a generated name");
    auto preset = std::make_shared<std::string>();
    auto dir = std::make_shared<std::string>();
    auto format = std::make_shared<std::string>("xi");
    auto seed = std::make_shared<uint32_t>(0);
    cmd->add_option("preset", *preset, "Preset file (.kfp)");
    cmd->add_option("--dir", *dir, "Save directory (default: the settings file's)");
    cmd->add_option("--format", *format, "wav|wav8|xi|raw-intel|raw-motorola|raw8-signed|raw8-unsigned|flac|ogg")
        ->capture_default_str();
    cmd->add_option("--seed", *seed, "Random generator seed of the freshly started program")
        ->check(wholeNumber(0, 4294967295LL));
    auto threads = std::make_shared<int>(0);
    cmd->add_option("--threads", *threads, "Render threads (0: one per core)")->check(CLI::NonNegativeNumber);
    cmd->callback([=] {
        auto it = formatNames().find(lowerCase(*format));
        if (it == formatNames().end()) return usageError("unknown format '" + *format + "'");
        Session s(*seed);
        Settings settings = readSettings(settingsPath());
        if (!dir->empty()) settings.saveDir = *dir;
        s.files().setSettings(settings);
        if (!loadPresetAndRender(s, *preset, *threads)) return;
        std::string name;
        Status st = s.files().saveSoundFile(it->second, &name);
        if (!st) return fail(st.message);
        std::cout << name << "\n";
    });
}

// "default-preset": the start-up preset.
void addDefaultPresetCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("default-preset", "Write the start-up preset");
    auto out = std::make_shared<std::string>();
    cmd->add_option("-o,--output", *out, "Output preset file ('-': standard output)")->required();
    cmd->callback([=] {
        Session s;
        s.render().startUpRender();  // the preset carries the start-up render's length
        s.render().waitForRender();
        OutputFile file(*out);
        Status st = file.write([&s](const std::string& name) { return s.files().savePreset(name); });
        if (!st) return fail(st.message);
        (file.toStdout() ? std::cerr : std::cout) << "Wrote " << file.shownName() << "\n";
    });
}

}  // namespace

void addRenderCommands(CLI::App& app) {
    addRenderCommand(app);
    addSaveCommand(app);
    addDefaultPresetCommand(app);
}

}  // namespace kf::cli
