#include "app/cli_input.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>

#include <nlohmann/json.hpp>

#include "app/cli_errors.h"
#include "core/session.h"
#include "files/file_io.h"
#include "files/preset.h"
#include "files/preset_check.h"
#include "files/sample.h"

namespace kf::cli {

namespace fs = std::filesystem;

namespace {

}  // namespace

std::string inputName(const std::string& path) { return path == "-" ? "standard input" : path; }

Status readInput(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out) {
    out.clear();
    std::FILE* f = stdin;
    if (path != "-") {
        std::error_code ec;
        if (fs::is_directory(path, ec)) return ioError(path, EISDIR);
        f = std::fopen(path.c_str(), "rb");
        if (!f) return ioError(path, errno);
    }
    // One byte more than allowed tells an oversized input apart.
    out.resize(maxBytes + 1);
    size_t got = 0;
    while (got < out.size()) {
        const size_t n = std::fread(out.data() + got, 1, out.size() - got, f);
        if (n == 0) break;
        got += n;
    }
    const bool error = std::ferror(f);
    const int err = errno;
    if (f != stdin) std::fclose(f);
    out.resize(got);
    if (error) return ioError(inputName(path), err ? err : EIO);
    if (got > maxBytes)
        return Status::error(inputName(path) + ": larger than " + std::to_string(maxBytes >> 20) + " MiB");
    return Status::success();
}

bool checkPresetFile(const std::string& path, const char* missingPart) {
    if (path == "-") return true;
    const PresetFileCheck check = kf::checkPresetFile(path, missingPart);
    if (!check.refusal) {
        std::string hint;
        if (check.kind == "JSON text")
            hint = "; make a preset of it first: kestrafon-cli build " + path + " -o PRESET.kfp";
        else if (check.kind == "a MIDI file" || check.kind == "a text file")
            hint = "; a preset (.kfp) is needed here";
        else if (!check.kind.empty())
            hint = "; a preset (.kfp) is needed here (sample files are named inside a preset)";
        fail(check.refusal.message + hint);
        return false;
    }
    if (!check.warning.empty()) warn(check.warning);
    return true;
}

bool checkPresetSamples(const Session& s, const std::string& presetPath) {
    if (presetPath.empty()) return true;  // the start-up samples are optional
    std::vector<uint8_t> bytes;
    // A longer file reads its first bytes only; any other failure was reported by the opening.
    if (!readInput(presetPath, kPresetFileSize, bytes) && bytes.size() <= static_cast<size_t>(kPresetFileSize))
        return true;
    PresetRecord rec = s.files().defaultPreset();
    readPresetOver(rec, bytes.data(), std::min<size_t>(bytes.size(), kPresetRecordSize));
    bool ok = true;
    for (int n = 1; n <= 2; ++n) {
        const std::string path = rec.samplePath(n);
        if (path.empty() || !s.files().samplePath(n).empty()) continue;
        const std::string problem = sampleFileProblem(path);
        const std::string name = "sample " + std::to_string(n) + " file '" + path + "'";
        if (problem.find("over the limit") != std::string::npos) {
            fail(name + ": " + problem);
            ok = false;
        } else {
            warn(name + " not loaded (" + (problem.empty() ? "not found" : problem) +
                 "); oscillators playing it are silent");
        }
    }
    return ok;
}

void warnIfClipping(const std::vector<int16_t>& sound) {
    const auto n = static_cast<int64_t>(sound.size());
    warnIfClipping(countFullScale(sound.data(), n), n);
}

void warnIfClipping(int64_t clipped, int64_t samples) {
    if (clipped > 0)
        warn("the sound clips: " + std::to_string(clipped) + " of " + std::to_string(samples) +
             " samples at full scale");
}

}  // namespace kf::cli
