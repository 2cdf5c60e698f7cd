#include <gtest/gtest.h>

#include "core/session.h"

using namespace kf;

namespace {

std::vector<int32_t> levels(const Session& s) {
    std::vector<int32_t> v;
    for (int i = 0; i < 16; ++i) v.push_back(s.params().get(offsetId(ParamId::OscLevel1, i)));
    return v;
}

}  // namespace

TEST(SessionEditors, HarmonicsPresetButtons) {
    Session s;
    s.render().setAutoRender(false);
    s.params().selectOscillator(3);
    EXPECT_EQ(levels(s), (std::vector<int32_t>{256, 128, 85, 64, 51, 42, 36, 32, 28, 25, 23, 21, 19, 18, 17, 16}));
    s.params().set(ParamId::OscDetune5, 77);
    s.tools().applyHarmonicsPreset(HarmonicsPreset::Max);
    s.tools().applyHarmonicsPreset(HarmonicsPreset::Exp);
    EXPECT_EQ(levels(s), (std::vector<int32_t>{256, 128, 85, 64, 51, 42, 36, 32, 28, 25, 23, 21, 19, 18, 17, 16}));
    s.tools().applyHarmonicsPreset(HarmonicsPreset::Max);
    s.tools().applyHarmonicsPreset(HarmonicsPreset::Decay);
    EXPECT_EQ(s.params().get(ParamId::OscLevel2), 232);
    EXPECT_EQ(s.params().get(ParamId::OscLevel16), 64);
    s.tools().applyHarmonicsPreset(HarmonicsPreset::Max);
    s.tools().applyHarmonicsPreset(HarmonicsPreset::Mult);
    EXPECT_EQ(levels(s), (std::vector<int32_t>{256, 256, 0, 256, 0, 0, 0, 256, 0, 0, 0, 0, 0, 0, 0, 256}));
    s.tools().applyHarmonicsPreset(HarmonicsPreset::Max);
    s.tools().applyHarmonicsPreset(HarmonicsPreset::Keep10101);
    EXPECT_EQ(s.params().get(ParamId::OscLevel2), 0);
    EXPECT_EQ(s.params().get(ParamId::OscLevel3), 256);
    s.tools().applyHarmonicsPreset(HarmonicsPreset::Max);
    s.tools().applyHarmonicsPreset(HarmonicsPreset::Keep11010);
    EXPECT_EQ(s.params().get(ParamId::OscLevel2), 256);
    EXPECT_EQ(s.params().get(ParamId::OscLevel3), 0);
    s.tools().applyHarmonicsPreset(HarmonicsPreset::Clear);
    EXPECT_EQ(levels(s), (std::vector<int32_t>{256, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    s.render().setSeed(1);
    s.tools().applyHarmonicsPreset(HarmonicsPreset::Random);
    EXPECT_EQ(s.params().get(ParamId::OscLevel1), 256);
    Random r;
    r.seed = 1;
    for (int i = 2; i <= 16; ++i) EXPECT_EQ(s.params().get(offsetId(ParamId::OscLevel1, i - 1)), r.draw(256)) << i;
    // The detunes and the other oscillators stay; the record holds what the bars show.
    EXPECT_EQ(s.params().get(ParamId::OscDetune5), 77);
    EXPECT_EQ(s.params().timbre().oscillators[3].harmonics[0].level, 256);
    EXPECT_EQ(s.params().timbre().oscillators[2].harmonics[1].level, 128);
}

TEST(SessionEditors, ComputerKeyboardPlaysIntoTheMidiQueue) {
    Session s;
    EXPECT_TRUE(s.live().keyboardNote('q', true, 1000));
    EXPECT_TRUE(s.live().keyboardNote('Q', false, 1500));
    EXPECT_FALSE(s.live().keyboardNote('#', true, 1600));
    ASSERT_EQ(s.live().midiQueue().writeIndex(), 2);
    EXPECT_EQ(s.live().midiQueue().at(0).time, 1000);
    EXPECT_EQ(s.live().midiQueue().at(0).message, 0x90u | 48u << 8 | 100u << 16);  // C-4, 131 Hz
    EXPECT_EQ(s.live().midiQueue().at(1).message, 0x80u | 48u << 8);
    s.params().editUnits([](SoundScheme& u) { u.noteSequencer().octave = 5; });
    s.live().keyboardNote('i', true, 2000);  // an octave above "q"
    EXPECT_EQ((s.live().midiQueue().at(2).message >> 8) & 0x7F, 72u);
}
