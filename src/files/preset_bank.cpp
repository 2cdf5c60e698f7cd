#include "files/preset_bank.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <tuple>

#include "files/data_dir.h"

namespace fs = std::filesystem;

namespace kf {

namespace {

constexpr std::array<const char*, 8> kCategoryOrder = {"bass",       "lead",    "keys",    "pad",
                                                       "pluck",      "percussion", "effects", "showcase"};

size_t categoryRank(const std::string& folder) {
    const auto it = std::find(kCategoryOrder.begin(), kCategoryOrder.end(), folder);
    return static_cast<size_t>(it - kCategoryOrder.begin());
}

}  // namespace

std::string bankTitle(const std::string& stem) {
    std::string t = stem;
    std::replace(t.begin(), t.end(), '_', ' ');
    if (!t.empty()) t[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
    return t;
}

std::string presetBankDir() {
    std::vector<std::string> dirs;
    for (const std::string& d : dataDirectories()) dirs.push_back(d + "/presets");
    dirs.push_back(KF_BANK_BUILD_DIR);
    std::error_code ec;
    for (const std::string& d : dirs)
        if (fs::is_directory(d, ec)) return d;
    return {};
}

std::vector<BankPreset> listPresetBank(const std::string& dir) {
    struct Found {
        size_t rank;
        std::string folder;
        BankPreset p;
    };
    std::vector<Found> found;
    std::error_code ec;
    for (const auto& cat : fs::directory_iterator(dir, ec)) {
        if (!cat.is_directory(ec)) continue;
        const std::string folder = cat.path().filename().string();
        for (const auto& f : fs::directory_iterator(cat.path(), ec)) {
            if (!f.is_regular_file(ec) || f.path().extension() != ".kfp") continue;
            found.push_back({categoryRank(folder), folder,
                             {bankTitle(folder), bankTitle(f.path().stem().string()), f.path().string()}});
        }
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::tie(a.rank, a.folder, a.p.title) < std::tie(b.rank, b.folder, b.p.title);
    });
    std::vector<BankPreset> out;
    for (auto& f : found) out.push_back(std::move(f.p));
    return out;
}

}  // namespace kf
