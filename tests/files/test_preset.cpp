#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "files/preset.h"
#include "files_test_util.h"
#include "units/sound_scheme.h"

namespace kf {
namespace {

using test::TempDir;

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> b(n);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    return b;
}

PresetRecord samplePreset() {
    PresetRecord p;
    for (int i = 0; i < kEnvelopeBarCount; ++i) p.envelopeBars[i] = 10 * i - 50;
    p.timbre.tempo = 140;
    p.timbre.oscillators[2].active = 1;
    p.timbre.oscillators[2].harmonics[0].level = 256;
    p.timbre.oscillators[2].harmonics[1].level = 0;
    p.setSamplePath(1, "/home/u/snd/16tone3.smp");
    p.setSamplePath(2, "C:\\Samples\\bass.smp");
    p.setByteSwapFlag(2, true);
    p.setRatePosition(4410);
    return p;
}

TEST(Preset, ImageLayoutAndPresetFields) {
    PresetRecord p = samplePreset();
    p.reserved = {1, 2, 3, 4, 5, 6, 7, 8};
    const PresetImage img = presetToImage(p);
    ASSERT_EQ(img.size(), 3967u);
    EXPECT_EQ(img[0], 1);
    EXPECT_EQ(img[7], 8);
    EXPECT_EQ(static_cast<int32_t>(img[8] | img[9] << 8 | img[10] << 16 | uint32_t{img[11]} << 24), -50);
    EXPECT_EQ(img[92 + 3428], 140);  // tempo
    EXPECT_EQ(img[3728], 23);        // sample 1 path length
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&img[3729]), 23), "/home/u/snd/16tone3.smp");
    EXPECT_EQ(img[3829], 19);
    EXPECT_EQ(img[3936], 0);
    EXPECT_EQ(img[3937], 1);
    EXPECT_EQ(img[3946] | img[3947] << 8, 4410);

    PresetRecord back = presetFromImage(img.data());
    EXPECT_EQ(presetToImage(back), img);
    EXPECT_EQ(back.samplePath(1), "/home/u/snd/16tone3.smp");
    EXPECT_EQ(back.samplePath(2), "C:\\Samples\\bass.smp");
    EXPECT_EQ(bareSampleName(back.samplePath(2)), "bass.smp");
    EXPECT_FALSE(back.byteSwapFlag(1));
    EXPECT_TRUE(back.byteSwapFlag(2));
    EXPECT_EQ(back.ratePosition(), 4410);

    back.setSamplePath(1, std::string(150, 'x'));
    EXPECT_EQ(back.samplePath(1), std::string(100, 'x'));
    EXPECT_EQ(back.samplePath(2), "C:\\Samples\\bass.smp");  // the neighbour is not touched
}

TEST(Preset, RandomImagesRoundTripBitForBit) {
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        const auto bytes = randomBytes(kPresetRecordSize, seed);
        PresetRecord p = presetFromImage(bytes.data());
        const PresetImage img = presetToImage(p);
        ASSERT_EQ(0, std::memcmp(img.data(), bytes.data(), img.size())) << seed;
        // A garbage length byte never reads past the field.
        EXPECT_LE(p.samplePath(1).size(), 100u);
        EXPECT_LE(p.samplePath(2).size(), 100u);
    }
}

TEST(Preset, CaptureClearsTheHundredBytesFromTheRealTimeFlag) {
    auto bytes = randomBytes(kPresetRecordSize, 99);
    PresetRecord p = presetFromImage(bytes.data());
    p.clearCaptureStretch();
    const PresetImage img = presetToImage(p);
    for (int i = 3627; i <= 3726; ++i) ASSERT_EQ(img[i], 0) << i;
    EXPECT_EQ(img[3626], bytes[3626]);
    EXPECT_EQ(img[3727], bytes[3727]);
    EXPECT_EQ(img[3728], bytes[3728]);
}

TEST(Preset, StoredForm) {
    PresetRecord p = samplePreset();
    p.timbre.realTime = 1;
    p.timbre.oscillators[4].volumeModulation.word0 = 0x12340101;
    const PresetRecord stored = toStoredForm(p);
    const PresetImage img = presetToImage(stored);
    const size_t osc2 = 92 + 130 + 2 * 118, osc4 = 92 + 130 + 4 * 118;
    EXPECT_EQ(img[osc2 + 0] | img[osc2 + 1] << 8, 0);    // level 256 stored as 0
    EXPECT_EQ(img[osc2 + 4] | img[osc2 + 5] << 8, 256);  // level 0 stored as 256
    EXPECT_EQ(img[osc4 + 89], 0);
    EXPECT_EQ(img[osc4 + 90], 0);
    EXPECT_EQ(img[osc4 + 91], 0x34);  // the rest of the word is kept
    EXPECT_EQ(img[3627], 0);          // real time stored as off

    PresetRecord back = fromStoredForm(stored);
    back.timbre.oscillators[4].volumeModulation.word0 = p.timbre.oscillators[4].volumeModulation.word0;
    back.timbre.realTime = 1;
    EXPECT_EQ(presetToImage(back), presetToImage(p));

    // Legacy markers: byte 89 sets Melodic, byte 90 sets Invert; real time keeps bit 0 only.
    PresetImage legacy = img;
    legacy[92 + 130 + 89] = 1;  // oscillator 0
    const size_t o1 = 92 + 130 + 118;
    legacy[o1 + 90] = 7;
    legacy[o1 + 86] = 0;  // flags
    legacy[92 + 130 + 86] = 0;
    legacy[3627] = 0xFE;
    PresetRecord read = fromStoredForm(presetFromImage(legacy.data()));
    EXPECT_EQ(read.timbre.oscillators[0].flags, kFlagMelodic);
    EXPECT_EQ(read.timbre.oscillators[1].flags, kFlagInvert);
    EXPECT_EQ(read.timbre.realTime, 0);
    legacy[3627] = 3;
    EXPECT_EQ(fromStoredForm(presetFromImage(legacy.data())).timbre.realTime, 1);
    // The next save writes the markers as 0 again.
    const PresetImage again = presetToImage(toStoredForm(read));
    EXPECT_EQ(again[92 + 130 + 89], 0);
    EXPECT_EQ(again[o1 + 90], 0);
}

TEST(Preset, FileIs4263BytesAndLoadsBack) {
    TempDir dir;
    SoundScheme scheme;
    scheme.noteSequencer().notes[3] = NoteStep{440, 1, 0};
    scheme.noteSequencer().noteCount = 12;
    scheme.frequencySequencer().portamentoSpeed = 1000;
    scheme.envelopeSequencer().attack = 77.5;
    const PresetRecord stored = toStoredForm(samplePreset());
    const std::string path = dir.file("p.kfp");
    ASSERT_TRUE(savePresetFile(path, stored, scheme).ok);
    const auto bytes = test::readAll(path);
    ASSERT_EQ(bytes.size(), 4263u);
    const auto note = scheme.noteSequencer().block(), env = scheme.envelopeSequencer().block(),
               freq = scheme.frequencySequencer().block();
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 3967, bytes.begin() + 4139), note);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 4139, bytes.begin() + 4219), env);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 4219, bytes.end()), freq);

    PresetRecord rec;
    SoundScheme fresh;
    ASSERT_TRUE(loadPresetFile(path, rec, fresh).ok);
    EXPECT_EQ(presetToImage(rec), presetToImage(stored));
    EXPECT_EQ(fresh.noteSequencer().noteCount, 12);
    EXPECT_EQ(fresh.noteSequencer().notes[3].frequency, 440);
    EXPECT_EQ(fresh.frequencySequencer().portamentoSpeed, 1000);
    EXPECT_EQ(fresh.envelopeSequencer().attack, 77.5);
    EXPECT_EQ(fresh.frequencySequencer().inputs, scheme.frequencySequencer().inputs);
}

TEST(Preset, ShortFileLoadsOverDefaultsAndLeavesBlocks) {
    TempDir dir;
    const auto file = randomBytes(3000, 5);
    test::writeAll(dir.file("short.kfp"), file);
    PresetRecord defaults = samplePreset();
    const PresetImage before = presetToImage(defaults);
    SoundScheme scheme;
    scheme.noteSequencer().noteCount = 7;
    const auto noteBefore = scheme.noteSequencer().block();
    PresetRecord rec = defaults;
    ASSERT_TRUE(loadPresetFile(dir.file("short.kfp"), rec, scheme).ok);
    const PresetImage img = presetToImage(rec);
    EXPECT_EQ(0, std::memcmp(img.data(), file.data(), 3000));
    EXPECT_EQ(0, std::memcmp(img.data() + 3000, before.data() + 3000, 3967 - 3000));
    EXPECT_EQ(rec.samplePath(1), defaults.samplePath(1));
    EXPECT_EQ(rec.ratePosition(), 4410);
    EXPECT_EQ(scheme.noteSequencer().block(), noteBefore);
}

TEST(Preset, PartialBlocksOverwriteOnlyTheirStart) {
    TempDir dir;
    SoundScheme source;
    source.noteSequencer().inputs[0] = 2;
    source.noteSequencer().notes[0] = NoteStep{300, 0, 1};
    auto bytes = presetFileBytes(PresetRecord{}, source);
    // Through the note count and the first step of the note block only.
    test::writeAll(dir.file("p.kfp"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 3967 + 48));
    SoundScheme scheme;
    scheme.noteSequencer().notes[1] = NoteStep{500, 1, 1};
    PresetRecord rec;
    ASSERT_TRUE(loadPresetFile(dir.file("p.kfp"), rec, scheme).ok);
    EXPECT_EQ(scheme.noteSequencer().inputs[0], 2);
    EXPECT_EQ(scheme.noteSequencer().notes[0].frequency, 300);
    EXPECT_EQ(scheme.noteSequencer().notes[0].tie, 1);
    EXPECT_EQ(scheme.noteSequencer().notes[1].frequency, 500);
}

TEST(Preset, BadFilesNeverCrashAndUnopenableOnesChangeNothing) {
    TempDir dir;
    PresetRecord rec = samplePreset();
    SoundScheme scheme;
    scheme.noteSequencer().noteCount = 9;
    const PresetImage before = presetToImage(rec);
    const auto blockBefore = scheme.noteSequencer().block();
    for (const std::string& bad : {dir.file("missing.kfp"), dir.str()}) {
        Status st = loadPresetFile(bad, rec, scheme);
        EXPECT_FALSE(st.ok);
        EXPECT_NE(st.message.find(bad), std::string::npos);
        EXPECT_EQ(st.message.find('\n'), std::string::npos);
        EXPECT_EQ(presetToImage(rec), before);
        EXPECT_EQ(scheme.noteSequencer().block(), blockBefore);
    }
    test::writeAll(dir.file("empty.kfp"), {});
    ASSERT_TRUE(loadPresetFile(dir.file("empty.kfp"), rec, scheme).ok);
    EXPECT_EQ(presetToImage(rec), before);

    // Oversized: the first 4263 bytes count.
    auto big = randomBytes(6000, 8);
    test::writeAll(dir.file("big.kfp"), big);
    ASSERT_TRUE(loadPresetFile(dir.file("big.kfp"), rec, scheme).ok);
    const PresetImage img = presetToImage(rec);
    EXPECT_EQ(0, std::memcmp(img.data(), big.data(), 3967));

    // Random contents and lengths, converted and saved again.
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        auto bytes = randomBytes(seed * 151 % 4400, seed);
        test::writeAll(dir.file("r.kfp"), bytes);
        PresetRecord r;
        SoundScheme s;
        ASSERT_TRUE(openPreset(dir.file("r.kfp"), samplePreset(), r, s).ok);
        ASSERT_TRUE(savePresetFile(dir.file("out.kfp"), toStoredForm(r), s).ok);
        EXPECT_EQ(test::readAll(dir.file("out.kfp")).size(), 4263u);
    }
}

TEST(Preset, OpenKeepsTheBaseWhereAShortFileEnds) {
    TempDir dir;
    const PresetRecord base = samplePreset();
    SoundScheme scheme;
    // Save and reopen: the same record in memory form.
    ASSERT_TRUE(savePresetFile(dir.file("full.kfp"), toStoredForm(base), scheme).ok);
    PresetRecord out;
    ASSERT_TRUE(openPreset(dir.file("full.kfp"), PresetRecord{}, out, scheme).ok);
    EXPECT_EQ(presetToImage(out), presetToImage(base));
    // A file ending before the oscillators: their levels are the base's, not inverted.
    auto bytes = test::readAll(dir.file("full.kfp"));
    bytes.resize(200);
    test::writeAll(dir.file("short.kfp"), bytes);
    ASSERT_TRUE(openPreset(dir.file("short.kfp"), base, out, scheme).ok);
    EXPECT_EQ(out.timbre.oscillators[5].harmonics[2].level, base.timbre.oscillators[5].harmonics[2].level);
    EXPECT_EQ(out.timbre.oscillators[2].harmonics[0].level, 256);
}

TEST(Preset, Texts) {
    const std::string q = kOverwriteQuestion;
    EXPECT_EQ(q.rfind("Hey! This file already exists!", 0), 0u);
    EXPECT_NE(q.find("never get back!  Maybe you'll be sorry"), std::string::npos);
    EXPECT_EQ(q.substr(q.size() - 16), "Press YES or NO.");
    EXPECT_EQ(presetCaption("/home/u/presets/bass.kfp"), "Kestrafon (bass.kfp)");
}

}  // namespace
}  // namespace kf
