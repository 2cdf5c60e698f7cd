// render-midi: a MIDI file played by a preset's timbre into a WAV file.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>

#include "app/cli_input.h"
#include "app/cli_output.h"
#include "app/commands.h"
#include "core/midi_render.h"
#include "core/session.h"

namespace kf::cli {

void addRenderMidiCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand(
        "render-midi", "Render a MIDI file with a preset's timbre into a WAV file, to the song's End-of-Track");
    auto song = std::make_shared<std::string>();
    auto preset = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    auto options = std::make_shared<MidiRenderOptions>();
    cmd->add_option("song", *song, "MIDI file (.mid)")->required();
    cmd->add_option("preset", *preset, "Preset file (.kfp); default: the start-up timbre");
    cmd->add_option("-o,--output", *out, "Output WAV file")->required();
    cmd->add_option("--voices", options->voices, "Voices, 1 to 16")->capture_default_str()->check(wholeNumber(1, 16));
    cmd->add_option("--tail", options->tailSeconds,
                    "Seconds rendered after the last event (default: the longer of the MIDI envelopes' release "
                    "and 1 s); the output lasts at least to the song's End-of-Track")
        ->check(numberAtLeast(0));
    cmd->add_option("--block", options->blockLength, "Samples per block, 1 to 16384")
        ->capture_default_str()
        ->check(wholeNumber(1, 16384));
    auto* gain = cmd->add_option("--gain", options->gainDb,
                                 "Gain from the voices' sum to 16 bits in dB, -96 to 48 (default: 1/voices, which "
                                 "never clips)")
                     ->check(CLI::Range(kLiveGainMinDb, kLiveGainMaxDb));
    cmd->add_flag("--octave-down", options->octaveDown, "Notes an octave below their true pitch (the old tuning)");
    cmd->add_option("--normalize", options->normalizeDb,
                    "Scale the finished render so its peak is at DB dBFS, -96 to 0 (alone: -1)")
        ->expected(0, 1)
        ->default_str("-1")
        ->check(CLI::Range(-96.0, 0.0))
        ->excludes(gain);
    cmd->callback([=] {
        if (refuseSameFile(*out, {*song, *preset})) return;
        Session s;
        if (!preset->empty()) {
            s.render().setAutoRender(false);
            // Opening renders nothing here: only the timbre is wanted.
            if (Status st = s.files().openPreset(*preset, false); !st) return fail(st.message);
        }
        const bool terminal = isatty(STDERR_FILENO) != 0;
        int shown = -1;
        auto progress = [&](int64_t done, int64_t total) {
            const int percent = static_cast<int>(done * 100 / std::max<int64_t>(total, 1));
            if (terminal && percent != shown) {
                shown = percent;
                std::fprintf(stderr, "\rRendering %s: %3d%%", song->c_str(), percent);
                std::fflush(stderr);
                setLineOpenOnInterrupt(true);
            }
            return true;
        };
        MidiRenderResult result;
        Status st = renderMidiFile(s, *song, *out, *options, progress, &result);
        if (terminal && shown >= 0) std::fprintf(stderr, "\r\033[K");
        setLineOpenOnInterrupt(false);
        if (!st) return fail(st.message);
        if (!result.warning.empty()) warn(result.warning);
        warnIfClipping(result.clipped, result.samples);
        std::cout << "Wrote " << *out << " (" << result.samples << " samples at " << result.sampleRate << " Hz, "
                  << result.notes << " notes, " << options->voices << " voices, gain " << std::fixed
                  << std::setprecision(2) << result.gainDb << " dB)\n";
    });
}

}  // namespace kf::cli
