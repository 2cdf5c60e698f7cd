// "tool": the "Tools" menu's timbre commands applied to a preset file.
#include <charconv>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>

#include "app/cli_output.h"
#include "app/commands.h"
#include "files/file_io.h"
#include "core/session.h"
#include "files/wav.h"

namespace kf::cli {

namespace {

// Whole-string decimal integer in lo..hi; reports and returns false otherwise.
bool parseInt(const std::string& text, const char* option, int64_t lo, int64_t hi, int64_t& value) {
    return parseWholeNumber(text, option, lo, hi, value);
}

// "C-3" .. "C-8" -> 3 .. 8, else 0.
int parseC(const std::string& text) {
    if (text.size() != 3 || (text[0] != 'C' && text[0] != 'c') || text[1] != '-') return 0;
    const int octave = text[2] - '0';
    return octave >= 3 && octave <= 8 ? octave : 0;
}

}  // namespace

bool applyToolOptions(Session& s, const ToolOptions& o) {
    const int chosen = !o.melodicTo.empty() + !o.octave.empty() + o.fat + o.tb303 + !o.processSample.empty();
    if (chosen != 1) {
        usageError("give exactly one of --melodic-to, --octave, --fat, --tb303, --process-sample");
        return false;
    }
    if (!o.fat && (!o.range.empty() || !o.detune.empty() || !o.seed.empty())) {
        usageError("--range, --detune and --seed belong to --fat");
        return false;
    }
    int octave = 0;
    if (!o.melodicTo.empty() && (octave = parseC(o.melodicTo)) == 0) {
        usageError("--melodic-to takes C-3, C-4, C-5, C-6, C-7 or C-8, got \"" + o.melodicTo + "\"");
        return false;
    }
    if (!o.octave.empty() && o.octave != "up" && o.octave != "down") {
        usageError("--octave takes up or down, got \"" + o.octave + "\"");
        return false;
    }
    int64_t range = FatWizard{}.range, detune = FatWizard{}.detune, seed = -1;
    if (!o.range.empty() && !parseInt(o.range, "--range", FatWizard::kMinRange, FatWizard::kMaxRange, range))
        return false;
    if (!o.detune.empty() && !parseInt(o.detune, "--detune", FatWizard::kMinDetune, FatWizard::kMaxDetune, detune))
        return false;
    if (!o.seed.empty() && !parseInt(o.seed, "--seed", 0, UINT32_MAX, seed)) return false;
    if (!o.processSample.empty() && !isRegularFile(o.processSample)) {
        fail("cannot open sample file " + o.processSample);
        return false;
    }

    if (octave) {
        s.tools().melodicOscillatorsToC(octave);
    } else if (!o.octave.empty()) {
        s.tools().octaveShift(o.octave == "up");
    } else if (o.fat) {
        FatWizard w;
        w.range = static_cast<int32_t>(range);
        w.detune = static_cast<int32_t>(detune);
        s.tools().setFatWizard(w);
        if (seed >= 0) {
            s.tools().makeFatSound(static_cast<uint32_t>(seed));
        } else {
            std::cout << "Fat wizard seed " << s.tools().makeFatSound() << "\n";
        }
    } else if (o.tb303) {
        s.tools().tb303Model();
    } else if (Status st = s.tools().processSoundFile(o.processSample); !st) {
        fail(st.message);
        return false;
    } else if (s.files().sampleClipped(1) > 0) {
        warn(o.processSample + ": " + s.files().sampleDetails(1) + " (the 16-bit conversion limited them)");
    }
    s.render().waitForRender();
    return true;
}

void addToolChoiceOptions(CLI::App* cmd, ToolOptions& o) {
    cmd->add_option("--melodic-to", o.melodicTo, "All melodic oscillators to C-3 .. C-8");
    cmd->add_option("--octave", o.octave, "All oscillators an octave up or down");
    cmd->add_flag("--fat", o.fat, "Fat wizard: a detuned stack of all ten oscillators");
    cmd->add_option("--range", o.range, "Fat wizard range 1..4 (default 4)");
    cmd->add_option("--detune", o.detune, "Fat wizard max detune 0..10 (default 10)");
    cmd->add_option("--seed", o.seed, "Fat wizard seed (default: milliseconds since midnight UTC)");
    cmd->add_flag("--tb303", o.tb303, "TB-303 model starting point");
    cmd->add_option("--process-sample", o.processSample, "Play this sample file on oscillator 1");
}

namespace {

void runTool(const ToolOptions& o) {
    if (o.preset.empty()) return usageError("missing preset file (tool PRESET.kfp -o OUT.kfp ...)");
    if (o.out.empty()) return usageError("missing output file, use -o OUT.kfp");
    // Every output differs from the inputs, and the two outputs from each other.
    if (refuseSameFile(o.out, {o.preset, o.processSample, o.render}) ||
        refuseSameFile(o.render, {o.preset, o.processSample}))
        return;
    Session s;
    s.render().waitForRender();
    s.render().setAutoRender(false);  // the command renders once, at the end, if asked to
    if (Status st = s.files().openPreset(o.preset, false); !st) return fail(st.message);
    if (!applyToolOptions(s, o)) return;

    if (Status st = s.files().savePreset(o.out); !st) return fail(st.message);
    std::cout << "Wrote " << o.out << "\n";
    if (o.render.empty()) return;

    // The written preset's sound, exactly as "render OUT.kfp" makes it.
    Session r;
    if (!loadPresetAndRender(r, o.out)) return;
    std::vector<int16_t> sound = r.render().playBuffer().copy();
    if (Status st = saveWav16(SoundBuffer{static_cast<int32_t>(sound.size()), sound.data()}, o.render,
                              r.files().sampleRate());
        !st)
        return fail(st.message);
    std::cout << "Wrote " << o.render << " (" << sound.size() << " samples at " << r.files().sampleRate() << " Hz)\n";
}

}  // namespace

void addToolCommand(CLI::App& app) {
    auto o = std::make_shared<ToolOptions>();
    auto* cmd = app.add_subcommand("tool", "Apply a \"Tools\" menu command to a preset and write the result");
    cmd->add_option("preset", o->preset, "Preset file (.kfp)");
    cmd->add_option("-o,--output", o->out, "Preset file to write");
    addToolChoiceOptions(cmd, *o);
    cmd->add_option("--render", o->render, "Also render the result into this 16-bit WAV file");
    cmd->callback([o] { runTool(*o); });
}

}  // namespace kf::cli
