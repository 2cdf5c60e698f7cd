#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "app/cli_runner.h"
#include "files/preset.h"
#include "units/sound_scheme.h"

namespace fs = std::filesystem;
using namespace kf;

namespace {

const fs::path kExamples = fs::path(KF_TEST_SOURCE_DIR) / "examples";

struct Loaded {
    PresetRecord preset;
    SoundScheme units;
};

Loaded load(const fs::path& p) {
    Loaded l;
    PresetRecord stored;
    EXPECT_TRUE(loadPresetFile(p.string(), stored, l.units).ok) << p;
    l.preset = fromStoredForm(stored);
    return l;
}

class CliTool : public kf::test::CliTest {
protected:
    int tool(const std::string& preset, const std::string& args) {
        return cli("tool '" + (kExamples / preset).string() + "' -o out.kfp " + args);
    }
    Loaded result() {
        EXPECT_EQ(fs::file_size(dir / "out.kfp"), static_cast<uintmax_t>(kPresetFileSize));
        return load(dir / "out.kfp");
    }
};

}  // namespace

TEST_F(CliTool, MelodicToAndOctave) {
    const Loaded in = load(kExamples / "pluck.kfp");
    ASSERT_EQ(tool("pluck.kfp", "--melodic-to C-3"), 0) << err;
    Loaded r = result();
    for (const auto& o : r.preset.timbre.oscillators) EXPECT_EQ(o.frequency, 65);
    // Nothing but the frequencies changed (the sample paths name the files
    // where they were found; the oscillator on display holds what its volume
    // slider can, a multiple of 128).
    PresetRecord back = r.preset;
    EXPECT_EQ(back.timbre.oscillators[0].volume, in.preset.timbre.oscillators[0].volume / 128 * 128);
    back.timbre.oscillators[0].volume = in.preset.timbre.oscillators[0].volume;
    for (size_t k = 0; k < 10; ++k) back.timbre.oscillators[k].frequency = in.preset.timbre.oscillators[k].frequency;
    for (int n = 1; n <= 2; ++n) {
        EXPECT_EQ(fs::path(back.samplePath(n)).filename(), fs::path(in.preset.samplePath(n)).filename());
        back.setSamplePath(n, in.preset.samplePath(n));
    }
    EXPECT_EQ(presetToImage(toStoredForm(back)), presetToImage(toStoredForm(in.preset)));

    // hit.kfp: oscillator 1 (on display) at 11025 stays there; the rest double.
    ASSERT_EQ(tool("hit.kfp", "--octave up"), 0) << err;
    r = result();
    EXPECT_EQ(r.preset.timbre.oscillators[0].frequency, 11025);
    EXPECT_EQ(r.preset.timbre.oscillators[1].frequency, 100);
    EXPECT_EQ(r.preset.timbre.oscillators[2].frequency, 1046);
    ASSERT_EQ(tool("hit.kfp", "--octave down"), 0) << err;
    EXPECT_EQ(result().preset.timbre.oscillators[1].frequency, 25);
}

TEST_F(CliTool, FatWizardWithSeedIsRepeatableAndRendersTheWrittenPreset) {
    ASSERT_EQ(tool("pad.kfp", "--fat --range 2 --detune 0 --seed 4711 --render tool.wav"), 0) << err;
    const std::vector<uint8_t> first = file("out.kfp");
    for (const auto& o : result().preset.timbre.oscillators) {
        EXPECT_EQ(o.active, 1);
        EXPECT_EQ(o.frequency, 131);
        EXPECT_TRUE(o.relativeFrequency == 1000 || o.relativeFrequency == 2000) << o.relativeFrequency;
    }
    // The render is that of the written preset.
    ASSERT_EQ(cli("render out.kfp -o again.wav"), 0) << err;
    EXPECT_EQ(file("tool.wav"), file("again.wav"));
    EXPECT_GT(file("tool.wav").size(), 44u);

    ASSERT_EQ(tool("pad.kfp", "--fat --range 2 --detune 0 --seed 4711"), 0) << err;
    EXPECT_EQ(file("out.kfp"), first);
    // Without a seed the clock seeds it, and the seed is shown.
    ASSERT_EQ(tool("pad.kfp", "--fat"), 0) << err;
    EXPECT_TRUE(std::regex_search(out, std::regex(R"(Fat wizard seed \d+)"))) << out;
}

TEST_F(CliTool, Tb303AndProcessSample) {
    ASSERT_EQ(tool("bass.kfp", "--tb303 --render tb.wav"), 0) << err;
    Loaded r = result();
    EXPECT_EQ(r.preset.timbre.length, 40);
    EXPECT_EQ(r.preset.timbre.oscillators[0].frequency, 261);
    EXPECT_EQ(r.preset.timbre.resonanceActive, 1);
    EXPECT_EQ(r.units.noteSequencer().noteCount, 16);
    EXPECT_EQ(file("tb.wav").size(), 44u + 2u * 40u * 1024u);

    // 3500 samples: three whole units of length.
    {
        std::ofstream f(dir / "s.smp", std::ios::binary);
        for (int i = 0; i < 3500; ++i) f.put(static_cast<char>(i)).put(static_cast<char>(i >> 8));
    }
    ASSERT_EQ(tool("pad.kfp", "--process-sample s.smp"), 0) << err;
    r = result();
    EXPECT_EQ(r.preset.timbre.length, 3);
    EXPECT_EQ(r.preset.timbre.oscillators[0].waveForm, 9);
    EXPECT_EQ(r.preset.timbre.oscillators[0].frequency, 4410);
    EXPECT_EQ(r.preset.timbre.oscillators[0].volume, 32768);
    EXPECT_EQ(r.preset.samplePath(1), "s.smp");
}

TEST_F(CliTool, BadInputWritesNothing) {
    std::ofstream(dir / "short.smp") << "x";
    for (const char* args : {"", "--melodic-to C-9", "--melodic-to D-4", "--octave sideways", "--fat --range 0",
                             "--fat --range 5", "--fat --detune 11", "--fat --detune -1", "--fat --seed x",
                             "--fat --seed 4294967296", "--range 2", "--tb303 --fat", "--tb303 --seed 1",
                             "--process-sample missing.smp", "--melodic-to C-4 --octave up"}) {
        SCOPED_TRACE(args);
        expectOneLineError(tool("bass.kfp", args));
        EXPECT_FALSE(fs::exists(dir / "out.kfp"));
    }
    expectOneLineError(cli("tool missing.kfp -o out.kfp --tb303"));
    expectOneLineError(cli("tool -o out.kfp --tb303"));
    expectOneLineError(cli("tool '" + (kExamples / "bass.kfp").string() + "' --tb303"));
    EXPECT_FALSE(fs::exists(dir / "out.kfp"));
    expectOneLineError(cli("tool '" + (kExamples / "bass.kfp").string() + "' -o no/such/dir/out.kfp --octave up"));
}

TEST_F(CliTool, UsageErrorsExitTwo) {
    for (const char* args : {"--melodic-to C-9", "--octave sideways", "", "--fat --range 5"})
        EXPECT_EQ(tool("bass.kfp", args), 2) << args;
    EXPECT_EQ(cli("tool '" + (kExamples / "bass.kfp").string() + "' --tb303"), 2) << "no -o";
}
