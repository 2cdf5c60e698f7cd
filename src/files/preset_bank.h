// The factory bank: presets installed as <data dir>/presets/<category>/<name>.kfp.
#pragma once

#include <string>
#include <vector>

namespace kf {

struct BankPreset {
    std::string category;  // "Bass", "Lead", ...
    std::string title;     // "Saw sub bass" for saw_sub_bass.kfp
    std::string path;
};

// The installed bank beside the program or in the configured data
// directory, else the one the build made; empty when there is none.
std::string presetBankDir();

// The presets under dir, grouped by category: the instrument families in
// the order a player looks for them, then any other folder alphabetically;
// names alphabetically within a category.
std::vector<BankPreset> listPresetBank(const std::string& dir);

// "saw_sub_bass" -> "Saw sub bass".
std::string bankTitle(const std::string& stem);

}  // namespace kf
