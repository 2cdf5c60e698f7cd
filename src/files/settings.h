// Machine-specific choices that outlive a run: devices, the two external
// utilities, the "Save" directory and the real-time buffer length. Stored as
// an initialisation file with one section "Main".
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "engine/status.h"

namespace kf {

// The live instrument's ranges: voices, and the gain stage in dB.
constexpr int32_t kMaxLiveVoices = 16;
constexpr double kLiveGainMinDb = -96, kLiveGainMaxDb = 48;

struct Settings {
    int32_t midiIn = 0, waveOut = 0;
    std::string util1, util1Path, util2, util2Path, saveDir = "./";
    int32_t bufSize = 2;
    // The live instrument (section "Live"): voices 1..16, the gain stage in
    // dB (NaN: 1/voices, which never clips) and notes an octave down.
    int32_t liveVoices = 1;
    double liveGainDb = std::numeric_limits<double>::quiet_NaN();
    bool octaveDown = false;
    // The window's own memory, in sections of their own so that section
    // Main keeps its eight keys: the last presets opened or saved, newest
    // first (section "Recent", File1..File8), and the last folder of each
    // kind of file dialog (section "Folders", kind=folder).
    std::vector<std::string> recentPresets;
    std::map<std::string, std::string> lastFolders;
};

constexpr size_t kMaxRecentPresets = 8;
// Puts path first in the recent list, once, keeping at most eight.
void rememberRecentPreset(Settings& s, const std::string& path);

// Missing file, missing keys and unreadable values give the defaults.
Settings readSettings(const std::string& path);
// Rewrites the "Main" section with all eight keys in their fixed order and
// keeps any other section of an existing file. Creates the directory.
Status writeSettings(const std::string& path, const Settings& s);
// $XDG_CONFIG_HOME/kestrafon/Kestra.Ini, else ~/.config/kestrafon/Kestra.Ini.
std::string settingsPath();

// Value parsing as the settings reader does it (exposed for tests):
// decimal, or hexadecimal after "0x"/"0X" when longer than two characters.
int32_t parseSettingsInt(const std::string& text, int32_t fallback);

}  // namespace kf
