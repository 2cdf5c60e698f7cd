#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>

#include "files/preset_json.h"
#include "files_test_util.h"
#include "units/sound_scheme.h"

namespace kf {
namespace {

using nlohmann::json;
using File = std::array<uint8_t, kPresetFileSize>;

File randomFile(uint32_t seed) {
    std::mt19937 rng(seed);
    File f;
    for (auto& b : f) b = static_cast<uint8_t>(rng());
    return f;
}

File defaultFile() {
    PresetRecord p;
    p.setSamplePath(1, "16tone3.smp");
    p.setSamplePath(2, "16tone2.smp");
    p.setRatePosition(4410);
    return presetFileBytes(toStoredForm(p), SoundScheme{});
}

// Synthetic files hold values no control can; these tests are about bytes.
File rebuilt(const json& j) {
    File out{};
    Status st = jsonToPresetFile(j, out, false);
    EXPECT_TRUE(st.ok) << st.message;
    return out;
}

TEST(PresetJson, RandomFilesRoundTripBitForBit) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        File f = randomFile(seed);
        if (seed % 4 == 0) std::memset(f.data(), 0, 8);  // reserved left out when zero
        const json j = presetFileToJson(f.data());
        ASSERT_EQ(rebuilt(j), f) << seed;
        // Also through the printed text.
        ASSERT_EQ(rebuilt(json::parse(j.dump(2))), f) << seed;
    }
}

TEST(PresetJson, NonFiniteAndSignedZeroDoublesKeepTheirBits) {
    File f = defaultFile();
    const uint64_t patterns[5] = {0x7FF8000000000001ull, 0xFFF0000000000000ull, 0x7FF0000000000000ull,
                                  0x8000000000000000ull, 0x0000000000000001ull};
    for (int i = 0; i < 5; ++i)
        for (int b = 0; b < 8; ++b) f[kPresetEnvelopeBlockOffset + 40 + 8 * i + b] = static_cast<uint8_t>(patterns[i] >> (8 * b));
    const json j = presetFileToJson(f.data());
    EXPECT_EQ(j["envelopeSequencer"]["attack"], "0x7ff8000000000001");
    EXPECT_EQ(j["envelopeSequencer"]["decayAngle"], "0xfff0000000000000");
    EXPECT_EQ(rebuilt(json::parse(j.dump())), f);
}

TEST(PresetJson, FieldsAreReadable) {
    const File f = defaultFile();
    const json j = presetFileToJson(f.data());
    EXPECT_EQ(j["format"], "kestrafon-preset");
    EXPECT_EQ(j["version"], 1);
    EXPECT_FALSE(j.contains("reserved"));
    EXPECT_EQ(j["timbre"]["chord"], "C-5,E-5");
    EXPECT_EQ(j["timbre"]["tempo"], 112);
    EXPECT_EQ(j["timbre"]["cutOffModulation"], json::array({"None"}));
    const json& osc = j["timbre"]["oscillators"][0];
    EXPECT_EQ(osc["flags"], json::array({"Filter", "Melodic"}));
    EXPECT_EQ(osc["waveForm"], "Sine");
    EXPECT_EQ(osc["harmonicLevelsStored"][0], 0);    // level 256 as stored
    EXPECT_EQ(osc["harmonicLevelsStored"][1], 128);  // 256 - 128
    EXPECT_EQ(osc["volumeModulation"]["sources"], json::array({"None"}));
    EXPECT_EQ(j["timbre"]["waveFormGraph"]["count"], 2);
    EXPECT_EQ(j["timbre"]["waveFormGraph"]["points"], json::parse("[[0,0],[16384,0]]"));
    EXPECT_EQ(j["preset"]["sample1Path"], "16tone3.smp");
    EXPECT_EQ(j["preset"]["ratePosition"], 4410);
    EXPECT_EQ(j["preset"]["sample2ByteSwap"], 0);
    EXPECT_EQ(j["envelopeBars"].size(), 21u);
    EXPECT_TRUE(j["envelopeBars"].contains("Env3IterationsBar"));
    EXPECT_EQ(j["noteSequencer"]["noteCount"], 32);
    EXPECT_EQ(j["noteSequencer"]["steps"][0]["frequency"], -1);
    EXPECT_EQ(j["frequencySequencer"]["portamentoSpeed"], 16384);
    EXPECT_EQ(j["frequencySequencer"]["inputs"][0], 0);
    EXPECT_EQ(j["envelopeSequencer"]["attack"], 1.2);
    EXPECT_EQ(j["envelopeSequencer"]["amplitude"], 32768.0);
    EXPECT_EQ(rebuilt(j), f);
}

TEST(PresetJson, OddStringsAndCodesFallBackToRawForms) {
    File f = defaultFile();
    f[kPresetTimbreOffset + 3636] = 150;                  // length beyond the field
    f[kPresetTimbreOffset + 3737 + 5] = 0xE9;             // non-ASCII path character
    f[kPresetTimbreOffset + 3441 + 20] = 'z';             // byte after the chord text
    f[kPresetTimbreOffset + 130 + 117] = 42;              // unknown waveform code
    f[kPresetTimbreOffset + 130 + 86] = 0xFF;             // every flag bit
    f[kPresetTimbreOffset + 48 + 1] = 0xC0;               // source bits 14 and 15
    const json j = presetFileToJson(f.data());
    EXPECT_EQ(j["preset"]["sample1Path"]["length"], 150);
    EXPECT_TRUE(j["preset"]["sample2Path"].is_object());
    EXPECT_TRUE(j["timbre"]["chord"].is_object());
    EXPECT_EQ(j["timbre"]["oscillators"][0]["waveForm"], 42);
    EXPECT_EQ(j["timbre"]["oscillators"][0]["flags"].size(), 8u);
    EXPECT_EQ(j["timbre"]["resonanceFrequencyModulation"], json::array({"None", "Bit14", "Bit15"}));
    EXPECT_NO_THROW((void)j.dump());  // valid UTF-8 throughout
    EXPECT_EQ(rebuilt(json::parse(j.dump())), f);
}

TEST(PresetJson, BadInputNamesTheField) {
    const json good = presetFileToJson(defaultFile().data());
    struct Case { std::string pointer; json value; bool remove; std::string expect; };
    const Case cases[] = {
        {"/timbre/tempo", nullptr, true, "timbre.tempo: missing"},
        {"/timbre/tempo", "fast", false, "timbre.tempo: expected an integer"},
        {"/timbre/cutOffActive", 256, false, "timbre.cutOffActive: out of range"},
        {"/timbre/flangerMinDelay", 40000, false, "timbre.flangerMinDelay: out of range"},
        {"/timbre/oscillators/3/flags", json::array({"Loud"}), false, "timbre.oscillators[3].flags: unknown name"},
        {"/timbre/oscillators/3/waveForm", "Organ", false, "timbre.oscillators[3].waveForm: unknown waveform"},
        {"/timbre/oscillators/1/harmonicDetunes", json::array({1, 2}), false, "timbre.oscillators[1].harmonicDetunes"},
        {"/timbre/tempoo", 1, false, "timbre.tempoo: unknown field"},
        {"/timbre/chord", std::string(31, 'c'), false, "timbre.chord: longer than 30"},
        {"/timbre/reserved60", "00", false, "timbre.reserved60: expected 24 hex digits"},
        {"/preset/ratePosition", 1.5, false, "preset.ratePosition: expected an integer"},
        {"/noteSequencer/steps/31/tie", nullptr, true, "noteSequencer.steps[31].tie: missing"},
        {"/envelopeSequencer/release", "0x12", false, "envelopeSequencer.release"},
        {"/format", "other", false, "format"},
        {"/version", 2, false, "version: unsupported"},
    };
    for (const Case& c : cases) {
        json j = good;
        const json::json_pointer ptr(c.pointer);
        if (c.remove) j[ptr.parent_pointer()].erase(ptr.back());
        else j[ptr] = c.value;
        File out{};
        out.fill(0x55);
        Status st = jsonToPresetFile(j, out, false);
        EXPECT_FALSE(st.ok) << c.pointer;
        EXPECT_NE(st.message.find(c.expect), std::string::npos) << c.pointer << " -> " << st.message;
        EXPECT_EQ(out[0], 0x55) << "output left alone on error";
    }
    File out{};
    EXPECT_FALSE(jsonToPresetFile(json::array({1}), out).ok);
}

TEST(PresetJson, ValuesNoControlCanHoldAreRefusedWithTheirRange) {
    json good = presetFileToJson(defaultFile().data());
    for (int i = 0; i < 3; ++i) good["envelopeBars"]["Env" + std::to_string(i + 1) + "IterationsBar"] = 1;
    good["noteSequencer"]["noteCount"] = 32;
    File out{};
    ASSERT_TRUE(jsonToPresetFile(good, out).ok) << jsonToPresetFile(good, out).message;
    struct Case { std::string pointer; json value; std::string expect; };
    const Case cases[] = {
        {"/timbre/length", -5, "timbre.length: out of range 1..2147483647"},
        {"/timbre/cutOff", 99999, "timbre.cutOff: out of range 0..255"},
        {"/timbre/chorusVolume", 255, "timbre.chorusVolume: out of range 256..1024"},
        {"/timbre/reverbActive", 2, "timbre.reverbActive: out of range 0..1"},
        {"/timbre/lfo2Shape", 1, "timbre.lfo2Shape: out of range: one of 0, 6, 3"},
        {"/timbre/oscillators/2/volume", 32769, "timbre.oscillators[2].volume: out of range 0..32768"},
        {"/timbre/oscillators/4/harmonicDetunes/5", 257, "timbre.oscillators[4].harmonicDetunes[5]: out of range 0..256"},
        {"/timbre/oscillators/9/active", 3, "timbre.oscillators[9].active: out of range 0..1"},
        {"/timbre/oscillators/0/waveForm", 12, "timbre.oscillators[0].waveForm: out of range: one of"},
        {"/envelopeBars/Env3BaseBar", -1025, "envelopeBars.Env3BaseBar: out of range -1024..1024"},
        {"/preset/ratePosition", 0, "preset.ratePosition: out of range 200..9600"},
        {"/noteSequencer/noteCount", 33, "noteSequencer.noteCount: out of range 1..32"},
        {"/envelopeSequencer/amplitude", -1.5, "envelopeSequencer.amplitude: out of range 0..2147483647"},
    };
    for (const Case& c : cases) {
        json j = good;
        j[json::json_pointer(c.pointer)] = c.value;
        Status st = jsonToPresetFile(j, out);
        EXPECT_FALSE(st.ok) << c.pointer;
        EXPECT_NE(st.message.find(c.expect), std::string::npos) << c.pointer << " -> " << st.message;
        EXPECT_TRUE(jsonToPresetFile(j, out, false).ok) << c.pointer;
    }
}

TEST(PresetJson, EveryExampleDumpBuildsByteIdentical) {
    for (const auto& e : std::filesystem::directory_iterator(std::string(KF_TEST_SOURCE_DIR) + "/examples")) {
        if (e.path().extension() != ".kfp") continue;
        const std::vector<uint8_t> bytes = test::readAll(e.path().string());
        ASSERT_EQ(bytes.size(), static_cast<size_t>(kPresetFileSize)) << e.path();
        File out{};
        const Status st = jsonToPresetFile(json::parse(presetFileToJson(bytes.data()).dump()), out);
        ASSERT_TRUE(st.ok) << e.path() << ": " << st.message;
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.end()), bytes) << e.path();
    }
}

TEST(PresetJson, CommandLineDumpAndBuild) {
    if (!std::filesystem::exists(KF_CLI_PATH)) GTEST_SKIP() << "kestrafon-cli not built";
    test::TempDir dir;
    const File f = randomFile(77);
    test::writeAll(dir.file("in.kfp"), std::vector<uint8_t>(f.begin(), f.end()));
    const std::string cli = KF_CLI_PATH;
    ASSERT_EQ(std::system((cli + " dump " + dir.file("in.kfp") + " > " + dir.file("p.json")).c_str()), 0);
    // Random bytes hold values no control can: refused unless asked for.
    EXPECT_NE(std::system((cli + " build " + dir.file("p.json") + " -o " + dir.file("out.kfp") + " 2>/dev/null").c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.kfp")));
    ASSERT_EQ(std::system((cli + " build --unchecked " + dir.file("p.json") + " -o " + dir.file("out.kfp")).c_str()), 0);
    EXPECT_EQ(test::readAll(dir.file("out.kfp")), std::vector<uint8_t>(f.begin(), f.end()));
    EXPECT_EQ(test::readText(dir.file("p.json")).substr(0, 4), "{\n  ");
    test::writeAll(dir.file("bad.json"), {'{'});
    EXPECT_NE(std::system((cli + " build " + dir.file("bad.json") + " -o " + dir.file("x.kfp") + " 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((cli + " dump " + dir.file("none.kfp") + " >/dev/null 2>&1").c_str()), 0);
}

}  // namespace
}  // namespace kf
