#include "files/preset_check.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "files/preset.h"

namespace kf {

namespace fs = std::filesystem;

namespace {

// Largest file read whole to tell JSON or text from a damaged preset.
constexpr uint64_t kMaxWholeRead = 16u << 20;

bool startsWith(const std::vector<uint8_t>& b, size_t at, const char* text) {
    const size_t n = std::strlen(text);
    return b.size() >= at + n && std::equal(text, text + n, b.begin() + static_cast<long>(at));
}

// Text: no NUL byte and no control characters but tab, CR, LF and form feed.
// Every preset holds small numbers, so it holds zero bytes.
bool looksLikeText(const std::vector<uint8_t>& b) {
    if (b.empty()) return false;
    return std::all_of(b.begin(), b.end(), [](uint8_t c) { return c >= 0x20 || c == '\t' || c == '\n' || c == '\r' || c == '\f'; });
}

}  // namespace

std::string otherFileKind(const std::vector<uint8_t>& head, bool wholeFile) {
    if (startsWith(head, 0, "RIFF") && startsWith(head, 8, "WAVE")) return "a RIFF/WAV sound file";
    if (startsWith(head, 0, "RIFF")) return "a RIFF file";
    if (startsWith(head, 0, "MThd") && head.size() >= 8 && head[4] == 0 && head[5] == 0 && head[6] == 0 &&
        head[7] == 6)
        return "a MIDI file";
    if (startsWith(head, 0, "Extended Instrument: ")) return "an XI instrument";
    if (!wholeFile) return {};
    // JSON: only when the whole of it parses, so that a damaged preset whose
    // first byte happens to be a brace is still opened.
    size_t i = 0;
    if (startsWith(head, 0, "\xEF\xBB\xBF")) i = 3;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\n' || head[i] == '\r')) ++i;
    if (i < head.size() && (head[i] == '{' || head[i] == '['))
        if (nlohmann::json::accept(head.begin(), head.end())) return "JSON text";
    if (looksLikeText(head)) return "a text file";
    return {};
}

PresetFileCheck checkPresetFile(const std::string& path, const char* missingPart) {
    PresetFileCheck out;
    std::error_code ec;
    const auto st = fs::status(path, ec);
    if (fs::is_directory(st)) {
        out.refusal = Status::error(path + ": is a directory, not a preset file");
        return out;
    }
    if (!fs::is_regular_file(st)) return out;
    const uint64_t size = fs::file_size(path, ec);
    if (ec) return out;
    const bool whole = size <= kMaxWholeRead;
    std::vector<uint8_t> head(static_cast<size_t>(whole ? size : 64));
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) return out;
        in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<size_t>(in.gcount()));
    }
    out.kind = otherFileKind(head, whole && head.size() == size);
    if (!out.kind.empty()) {
        out.refusal = Status::error(path + ": " + out.kind + ", not a preset");
        return out;
    }
    const uint64_t want = static_cast<uint64_t>(kPresetFileSize);
    if (size < want)
        out.warning = path + ": " + std::to_string(size) + " bytes, not " + std::to_string(want) +
                      ": the missing part " + missingPart;
    else if (size > want)
        out.warning = path + ": " + std::to_string(size) + " bytes, not " + std::to_string(want) +
                      ": the bytes after " + std::to_string(want) + " are ignored";
    return out;
}

}  // namespace kf
