#include "files/settings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "files/atomic_file.h"

namespace kf {

namespace {

constexpr size_t kMaxStringValue = 1023;
constexpr const char* kSection = "Main";
constexpr const char* kRecentSection = "Recent";
constexpr const char* kFoldersSection = "Folders";
constexpr const char* kLiveSection = "Live";

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool equalsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// "[name]" -> name; anything else -> not a section header.
bool sectionName(const std::string& line, std::string& name) {
    std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    size_t close = t.find(']');
    if (close == std::string::npos) return false;
    name = trim(t.substr(1, close - 1));
    return true;
}

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return lines;
    std::ifstream in(path, std::ios::binary);
    if (!in) return lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Key/value pairs of one section; the first occurrence of a key counts.
std::vector<std::pair<std::string, std::string>> sectionEntries(const std::vector<std::string>& lines,
                                                                const char* section = kSection) {
    std::vector<std::pair<std::string, std::string>> out;
    bool inMain = false;
    for (const auto& line : lines) {
        std::string name;
        if (sectionName(line, name)) {
            inMain = equalsNoCase(name, section);
            continue;
        }
        if (!inMain) continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        out.emplace_back(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
    }
    return out;
}

const std::string* lookup(const std::vector<std::pair<std::string, std::string>>& entries,
                          const std::string& key) {
    for (const auto& e : entries)
        if (equalsNoCase(e.first, key)) return &e.second;
    return nullptr;
}

}  // namespace

int32_t parseSettingsInt(const std::string& text, int32_t fallback) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        uint64_t v = 0;
        for (size_t i = 2; i < text.size(); ++i) {
            char c = text[i];
            int d;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            else return fallback;
            v = v * 16 + static_cast<uint64_t>(d);
            if (v > 0xFFFFFFFFull) return fallback;
        }
        // Eight hex digits cover the whole 32-bit pattern (0xFFFFFFFF = -1).
        return static_cast<int32_t>(static_cast<uint32_t>(v));
    }
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return fallback;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return fallback;
        v = v * 10 + (text[i] - '0');
        if (v > 2147483648LL) return fallback;
    }
    if (negative) v = -v;
    if (v > 2147483647LL || v < -2147483648LL) return fallback;
    return static_cast<int32_t>(v);
}

Settings readSettings(const std::string& path) {
    Settings s;
    const std::vector<std::string> lines = readLines(path);
    const auto entries = sectionEntries(lines);
    auto readInt = [&](const char* key, int32_t& field) {
        if (const std::string* v = lookup(entries, key)) field = parseSettingsInt(*v, field);
    };
    auto readString = [&](const char* key, std::string& field) {
        if (const std::string* v = lookup(entries, key)) field = v->substr(0, kMaxStringValue);
    };
    readInt("MidiIn", s.midiIn);
    readInt("WaveOut", s.waveOut);
    readString("Util1", s.util1);
    readString("Util1Path", s.util1Path);
    readString("Util2", s.util2);
    readString("Util2Path", s.util2Path);
    readString("SaveDir", s.saveDir);
    readInt("BufSize", s.bufSize);
    const auto live = sectionEntries(lines, kLiveSection);
    if (const std::string* v = lookup(live, "Voices")) s.liveVoices = std::clamp(parseSettingsInt(*v, 1), 1, kMaxLiveVoices);
    if (const std::string* v = lookup(live, "GainDb"); v && !v->empty()) {
        // A number in dB; anything else keeps the default (1/voices).
        char* end = nullptr;
        const double db = std::strtod(v->c_str(), &end);
        if (end && *end == 0 && std::isfinite(db)) s.liveGainDb = std::clamp(db, kLiveGainMinDb, kLiveGainMaxDb);
    }
    if (const std::string* v = lookup(live, "OctaveDown")) s.octaveDown = parseSettingsInt(*v, 0) != 0;
    const auto recent = sectionEntries(lines, kRecentSection);
    for (size_t n = 1; n <= kMaxRecentPresets; ++n)
        if (const std::string* v = lookup(recent, "File" + std::to_string(n)); v && !v->empty())
            s.recentPresets.push_back(v->substr(0, kMaxStringValue));
    for (const auto& [kind, folder] : sectionEntries(lines, kFoldersSection))
        if (!kind.empty() && !folder.empty()) s.lastFolders.emplace(kind, folder.substr(0, kMaxStringValue));
    return s;
}

void rememberRecentPreset(Settings& s, const std::string& path) {
    auto& r = s.recentPresets;
    r.erase(std::remove(r.begin(), r.end(), path), r.end());
    r.insert(r.begin(), path);
    if (r.size() > kMaxRecentPresets) r.resize(kMaxRecentPresets);
}

Status writeSettings(const std::string& path, const Settings& s) {
    std::vector<std::string> old = readLines(path);

    // Keys are written one per line, so a line break inside a value would
    // create a stray key; it is cut there.
    auto oneLine = [](const std::string& v) { return v.substr(0, v.find_first_of("\r\n")); };
    std::vector<std::string> mainSection = {
        std::string("[") + kSection + "]",
        "MidiIn=" + std::to_string(s.midiIn),
        "WaveOut=" + std::to_string(s.waveOut),
        "Util1=" + oneLine(s.util1),
        "Util1Path=" + oneLine(s.util1Path),
        "Util2=" + oneLine(s.util2),
        "Util2Path=" + oneLine(s.util2Path),
        "SaveDir=" + oneLine(s.saveDir),
        "BufSize=" + std::to_string(s.bufSize),
    };
    static const char* const kOwnKeys[] = {"MidiIn", "WaveOut", "Util1", "Util1Path",
                                           "Util2", "Util2Path", "SaveDir", "BufSize"};

    // Other sections and unknown keys of Main survive; Main is rewritten in
    // place of its first occurrence.
    std::vector<std::string> out;
    bool inMain = false, mainWritten = false, inOwn = false;
    for (const auto& line : old) {
        std::string name;
        if (sectionName(line, name)) {
            // The window's two sections are written whole at the end.
            inOwn = equalsNoCase(name, kRecentSection) || equalsNoCase(name, kFoldersSection) ||
                    equalsNoCase(name, kLiveSection);
            if (inOwn) continue;
            inMain = equalsNoCase(name, kSection);
            if (inMain) {
                if (!mainWritten) out.insert(out.end(), mainSection.begin(), mainSection.end());
                mainWritten = true;
                continue;
            }
        } else if (inOwn) {
            continue;
        } else if (inMain) {
            size_t eq = line.find('=');
            if (eq != std::string::npos) {
                std::string key = trim(line.substr(0, eq));
                bool own = false;
                for (const char* k : kOwnKeys) own = own || equalsNoCase(key, k);
                if (own) continue;
            }
        }
        out.push_back(line);
    }
    if (!mainWritten) out.insert(out.end(), mainSection.begin(), mainSection.end());
    if (!s.recentPresets.empty()) {
        out.push_back(std::string("[") + kRecentSection + "]");
        for (size_t n = 0; n < s.recentPresets.size() && n < kMaxRecentPresets; ++n)
            out.push_back("File" + std::to_string(n + 1) + "=" + oneLine(s.recentPresets[n]));
    }
    if (!s.lastFolders.empty()) {
        out.push_back(std::string("[") + kFoldersSection + "]");
        for (const auto& [kind, folder] : s.lastFolders) out.push_back(oneLine(kind) + "=" + oneLine(folder));
    }
    // Like the window's sections, written only when it holds something.
    if (s.liveVoices != 1 || !std::isnan(s.liveGainDb) || s.octaveDown) {
        out.push_back(std::string("[") + kLiveSection + "]");
        out.push_back("Voices=" + std::to_string(s.liveVoices));
        char gain[32] = "";
        if (!std::isnan(s.liveGainDb)) std::snprintf(gain, sizeof gain, "%.2f", s.liveGainDb);
        out.push_back(std::string("GainDb=") + gain);
        out.push_back(std::string("OctaveDown=") + (s.octaveDown ? "1" : "0"));
    }

    std::error_code ec;
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
    std::string text;
    for (const auto& line : out) text += line + "\n";
    const Status st =
        writeFileAtomically(path, [&text](AtomicFile& f) { return f.write(text.data(), text.size()); });
    if (!st) return Status::error("Unable to write to " + st.message);
    return st;
}

std::string settingsPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0]) {
        base = std::string(home) + "/.config";
    } else {
        return "Kestra.Ini";
    }
    return base + "/kestrafon/Kestra.Ini";
}

}  // namespace kf
