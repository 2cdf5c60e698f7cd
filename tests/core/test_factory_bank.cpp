// The factory bank as the build made it: every preset opens, renders
// without a sample at full scale, and is pinned sample for sample.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "core/fresh_render.h"
#include "core/session.h"
#include "engine/sound_hash.h"
#include "files/preset_bank.h"

namespace kf {
namespace {

struct Pin {
    size_t count;
    uint32_t hash;
};

// category/name -> the sound's length and hash.
const std::map<std::string, Pin> kBank = {
    {"bass/deep_sine_bass", {32768, 0xef7b6d8a}},
    {"bass/plucked_filter_bass", {20480, 0x3e5e29af}},
    {"bass/pulsing_saw_bass", {44032, 0x43d0741f}},
    {"bass/saw_sub_bass", {45056, 0x5c4f4c1c}},
    {"bass/square_octave_bass", {45056, 0x4ec9a7b6}},
    {"lead/chiptune_square_lead", {45056, 0xc1e1a7e3}},
    {"lead/detuned_saw_lead", {44032, 0x365d8bba}},
    {"lead/overdriven_saw_lead", {32768, 0xe230fa17}},
    {"lead/soft_sine_whistle", {44032, 0xf023fbf2}},
    {"keys/drawbar_organ", {44032, 0x1078a69e}},
    {"keys/electric_piano", {44032, 0xa8ca4ef5}},
    {"keys/glass_bell", {65536, 0x3a4003b3}},
    {"keys/music_box", {57344, 0xc9c0a50c}},
    {"pad/choir_ahh_pad", {65536, 0xae895b2a}},
    {"pad/dark_drone_pad", {88064, 0xad1ee77}},
    {"pad/shimmer_pad", {65536, 0x1e3f2e0d}},
    {"pad/warm_string_pad", {65536, 0xe4262766}},
    {"pluck/harp_pluck", {49152, 0x2e9c10d6}},
    {"pluck/marimba", {20480, 0x4a95022f}},
    {"pluck/muted_guitar", {14336, 0x3bd8c40b}},
    {"pluck/pizzicato_strings", {45056, 0xb83f867c}},
    {"percussion/closed_hihat", {4096, 0x301e5e03}},
    {"percussion/hand_clap", {8192, 0x4a56fba1}},
    {"percussion/kick_drum", {12288, 0x4b96f24b}},
    {"percussion/low_tom", {16384, 0xa983a90}},
    {"percussion/open_hihat", {12288, 0xe535d93e}},
    {"percussion/snare_drum", {10240, 0xbf6beabd}},
    {"effects/alarm_siren", {65536, 0x84602a24}},
    {"effects/coin_pickup", {8192, 0xa5d486a0}},
    {"effects/explosion", {44032, 0x2bf9998e}},
    {"effects/flying_saucer_warble", {65536, 0x3c423a7a}},
    {"effects/jump", {6144, 0xde0a0ddd}},
    {"effects/laser_zap", {6144, 0xa63421c3}},
    {"effects/power_up", {16384, 0xb3b0091a}},
    {"effects/wind", {88064, 0xca343d79}},
    {"showcase/chord_stab", {24576, 0xf307f65}},
    {"showcase/sample_octaves", {38434, 0x180b6598}},
    {"showcase/sequenced_arpeggio", {90112, 0xa95d2d92}},
};

TEST(FactoryBank, EveryPresetRendersUnclippedAndPinned) {
    const std::vector<BankPreset> bank = listPresetBank(KF_BANK_DIR);
    EXPECT_GE(bank.size(), 32u);
    EXPECT_EQ(bank.size(), kBank.size());
    for (const BankPreset& p : bank) {
        const std::filesystem::path path(p.path);
        const std::string key = path.parent_path().filename().string() + "/" + path.stem().string();
        SCOPED_TRACE(key);
        Session s(0);
        ASSERT_TRUE(renderFreshlyOpened(s, p.path));
        const std::vector<int16_t> sound = s.render().playBuffer().copy();
        ASSERT_FALSE(sound.empty());
        for (int16_t v : sound) ASSERT_LT(std::abs(v), 32767);
        const auto it = kBank.find(key);
        EXPECT_NE(it, kBank.end()) << "{\"" << key << "\", {" << sound.size() << ", 0x" << std::hex
                                   << test::soundHash(sound) << "}},";
        if (it == kBank.end()) continue;
        EXPECT_EQ(sound.size(), it->second.count);
        EXPECT_EQ(test::soundHash(sound), it->second.hash);
    }
}

}  // namespace
}  // namespace kf
