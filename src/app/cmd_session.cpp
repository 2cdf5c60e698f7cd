// session: a script of the window's operations, one per line, run through
// the same session the window uses. Batch edits and reproducible reports.
#include <fstream>
#include <iostream>
#include <memory>

#include "app/cli_input.h"
#include "app/commands.h"
#include "files/file_io.h"
#include "core/preset_edit.h"
#include "core/session.h"

namespace kf::cli {

namespace {

// Splits a line into words; "double quotes" keep spaces in a file name.
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::string cur;
    bool quoted = false, any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (any) out.push_back(cur);
            cur.clear();
            any = false;
        } else {
            cur += c;
            any = true;
        }
    }
    if (any) out.push_back(cur);
    return out;
}

bool wantArgs(const std::vector<std::string>& w, size_t lo, size_t hi, const char* usage) {
    if (w.size() - 1 >= lo && w.size() - 1 <= hi) return true;
    fail(std::string("usage: ") + usage);
    return false;
}

bool check(const Status& st) {
    if (!st) fail(st.message);
    return st.ok;
}

bool saveSample(Session& s, const std::vector<std::string>& w) {
    SaveFormat f = SaveFormat::Wav16;
    if (w.size() == 4 && w[2] == "--format") {
        auto it = formatNames().find(lowerCase(w[3]));
        if (it == formatNames().end()) {
            fail("unknown format '" + w[3] + "'");
            return false;
        }
        f = it->second;
    } else if (w.size() != 2) {
        fail("usage: save-sample FILE [--format FORMAT]");
        return false;
    } else if (!formatFromExtension(w[1], f)) {
        fail("cannot tell the format from '" + w[1] + "'; use --format");
        return false;
    }
    // The files layer writes it under a temporary name and replaces the file only when complete.
    if (!check(s.files().exportSound(w[1], f))) return false;
    std::cout << "Wrote " << w[1] << "\n";
    return true;
}

bool runTool(Session& s, const std::vector<std::string>& w) {
    ToolOptions o;
    CLI::App parser("tool");
    parser.allow_extras(false);
    addToolChoiceOptions(&parser, o);
    std::vector<std::string> args(w.rbegin(), w.rend() - 1);  // CLI11 takes them last first
    try {
        parser.parse(args);
    } catch (const CLI::ParseError& e) {
        fail(std::string("tool: ") + e.what());
        return false;
    }
    return applyToolOptions(s, o);
}

// One line; false when it failed (the error is printed).
bool runLine(Session& s, const std::vector<std::string>& w) {
    const std::string& c = w[0];
    if (c == "open") {
        if (!wantArgs(w, 1, 1, "open FILE") || !checkPresetFile(w[1])) return false;
        return check(s.files().openPreset(w[1]));
    }
    if (c == "new") {
        if (!wantArgs(w, 0, 0, "new")) return false;
        s.files().newPreset();
        return true;
    }
    if (c == "set") {
        if (!wantArgs(w, 2, 2, "set KEY VALUE")) return false;
        return check(setByKey(s, w[1], w[2]));
    }
    if (c == "render") {
        if (!wantArgs(w, 0, 0, "render")) return false;
        return check(s.render().renderClick());
    }
    if (c == "seed") {
        if (!wantArgs(w, 0, 0, "seed")) return false;
        std::cout << "seed " << s.render().seed() << "\n";
        return true;
    }
    if (c == "timbre" || c == "oscillator") {
        const bool timbre = c == "timbre";
        int64_t n = 0;
        if (!wantArgs(w, 1, 1, timbre ? "timbre 1|2" : "oscillator 1..10") ||
            !parseWholeNumber(w[1], c.c_str(), 1, timbre ? 2 : 10, n))
            return false;
        if (timbre) s.params().selectTimbre(static_cast<int>(n - 1));
        else s.params().selectOscillator(static_cast<int>(n - 1));
        return true;
    }
    if (c == "tool") return wantArgs(w, 1, 8, "tool OPTIONS") && runTool(s, w);
    if (c == "save-preset") {
        if (!wantArgs(w, 1, 1, "save-preset FILE")) return false;
        if (!check(s.files().savePreset(w[1]))) return false;
        std::cout << "Wrote " << w[1] << "\n";
        return true;
    }
    if (c == "save-sample") return saveSample(s, w);
    if (c == "undo" || c == "redo") {
        if (!wantArgs(w, 0, 0, c == "undo" ? "undo" : "redo")) return false;
        if (c == "undo" ? s.history().undo() : s.history().redo()) return true;
        fail("nothing to " + c);
        return false;
    }
    if (c == "auto-render") {
        if (!wantArgs(w, 1, 1, "auto-render on|off") || (w[1] != "on" && w[1] != "off")) {
            if (w.size() == 2) fail("auto-render takes on or off, got '" + w[1] + "'");
            return false;
        }
        s.render().setAutoRender(w[1] == "on");
        return true;
    }
    fail("unknown command '" + c + "'");
    return false;
}

void runScript(const std::string& path, uint32_t seed) {
    std::ifstream file;
    if (path != "-") {
        if (!isRegularFile(path)) return fail("cannot open script " + path);
        file.open(path);
        if (!file) return fail("cannot open script " + path);
    }
    std::istream& in = path == "-" ? std::cin : file;
    Session s(seed);
    s.render().startUpRender();
    s.render().waitForRender();
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> w = words(line);
        if (w.empty() || w[0][0] == '#') continue;
        setCommandName("session: " + std::to_string(number));
        const bool ok = runLine(s, w);
        // Every line ends with its render done: the next line, and the
        // generator state `seed` prints, never depend on timing.
        s.render().waitForRender();
        s.params().drainNotifications();
        if (!ok) {
            setExitCode(kExitFailure);
            return;
        }
        if (Status e = s.render().lastError(); !e) warn(e.message);
    }
}

}  // namespace

void addSessionCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand(
        "session",
        "Run a script of window operations, one per line: open FILE, new, set KEY VALUE, render, seed, "
        "timbre 1|2, oscillator 1..10, tool OPTIONS, save-preset FILE, save-sample FILE [--format F], undo, "
        "redo, auto-render on|off, # comment");
    auto script = std::make_shared<std::string>("-");
    auto seed = std::make_shared<uint32_t>(0);
    cmd->add_option("script", *script, "Script file ('-' or none: standard input)");
    cmd->add_option("--seed", *seed, "Random generator seed at start")->check(wholeNumber(0, 4294967295LL));
    cmd->callback([=] { runScript(*script, *seed); });
}

}  // namespace kf::cli
