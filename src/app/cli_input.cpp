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
#include "files/sample.h"

namespace kf::cli {

namespace fs = std::filesystem;

namespace {

bool startsWith(const std::vector<uint8_t>& b, size_t at, const char* text) {
    const size_t n = std::strlen(text);
    return b.size() >= at + n && std::equal(text, text + n, b.begin() + static_cast<long>(at));
}

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

std::string otherFileKind(const std::vector<uint8_t>& head, bool wholeFile) {
    if (startsWith(head, 0, "RIFF") && startsWith(head, 8, "WAVE")) return "a RIFF/WAV sound file";
    if (startsWith(head, 0, "RIFF")) return "a RIFF file";
    if (startsWith(head, 0, "MThd") && head.size() >= 8 && head[4] == 0 && head[5] == 0 && head[6] == 0 &&
        head[7] == 6)
        return "a MIDI file";
    if (startsWith(head, 0, "Extended Instrument: ")) return "an XI instrument";
    // JSON: only when the whole of it parses, so that a damaged preset whose
    // first byte happens to be a brace is still opened.
    size_t i = 0;
    if (startsWith(head, 0, "\xEF\xBB\xBF")) i = 3;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\n' || head[i] == '\r')) ++i;
    if (wholeFile && i < head.size() && (head[i] == '{' || head[i] == '['))
        if (nlohmann::json::accept(head.begin(), head.end())) return "JSON text";
    return {};
}

bool checkPresetFile(const std::string& path, const char* missingPart) {
    if (path == "-") return true;
    std::error_code ec;
    const auto st = fs::status(path, ec);
    if (fs::is_directory(st)) {
        fail(path + ": is a directory, not a preset file");
        return false;
    }
    // Missing and unreadable files are reported by the opening itself.
    if (!fs::is_regular_file(st)) return true;
    const uint64_t size = fs::file_size(path, ec);
    if (ec) return true;
    // A file too big to be JSON worth reading is told by its first bytes.
    const bool whole = size <= kMaxInputBytes;
    std::vector<uint8_t> head;
    (void)readInput(path, whole ? static_cast<size_t>(size) : 64, head);
    if (head.empty() && size > 0) return true;  // unreadable: the opening reports it
    const std::string kind = otherFileKind(head, whole);
    if (!kind.empty()) {
        std::string hint;
        if (kind == "JSON text")
            hint = "; make a preset of it first: kestrafon-cli build " + path + " -o PRESET.kfp";
        else if (kind == "a MIDI file")
            hint = "; a preset (.kfp) is needed here";
        else
            hint = "; a preset (.kfp) is needed here (sample files are named inside a preset)";
        fail(path + ": " + kind + ", not a preset" + hint);
        return false;
    }
    if (size != static_cast<uint64_t>(kPresetFileSize)) {
        if (size < static_cast<uint64_t>(kPresetFileSize))
            warn(path + ": " + std::to_string(size) + " bytes, not " + std::to_string(kPresetFileSize) +
                 ": the missing part " + missingPart);
        else
            warn(path + ": " + std::to_string(size) + " bytes, not " + std::to_string(kPresetFileSize) +
                 ": the bytes after " + std::to_string(kPresetFileSize) + " are ignored");
    }
    return true;
}

bool checkPresetSamples(const Session& s, const std::string& presetPath) {
    if (presetPath.empty()) return true;  // the start-up samples are optional
    std::vector<uint8_t> bytes;
    // A longer file reads its first bytes only; any other failure was reported by the opening.
    if (!readInput(presetPath, kPresetFileSize, bytes) && bytes.size() <= static_cast<size_t>(kPresetFileSize))
        return true;
    PresetRecord rec = s.defaultPreset();
    readPresetOver(rec, bytes.data(), std::min<size_t>(bytes.size(), kPresetRecordSize));
    bool ok = true;
    for (int n = 1; n <= 2; ++n) {
        const std::string path = rec.samplePath(n);
        if (path.empty() || !s.samplePath(n).empty()) continue;
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
