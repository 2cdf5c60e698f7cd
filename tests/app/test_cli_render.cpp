#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "app/cli_runner.h"
#include "files/sample.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

const fs::path kRoot = KF_TEST_SOURCE_DIR;

using kf::test::readBytes;

void writeBytes(const fs::path& p, const Bytes& b) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}
uint32_t le32(const Bytes& b, size_t o) {
    return b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) | (uint32_t{b[o + 3]} << 24);
}
uint16_t le16(const Bytes& b, size_t o) { return static_cast<uint16_t>(b[o] | (b[o + 1] << 8)); }
void put32(Bytes& b, size_t o, int32_t v) {
    for (int i = 0; i < 4; ++i) b[o + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

// Preset file offsets of a few timbre fields (the record starts at 92).
constexpr size_t kLengthAt = 92 + 108;
constexpr size_t kChorusActiveAt = 92 + 3502, kChorusVoicesAt = 92 + 3503;
constexpr size_t kReverbActiveAt = 92 + 3858, kReverbAttackAt = 92 + 3867;

std::vector<fs::path> examplePresets() {
    std::vector<fs::path> v;
    for (const auto& e : fs::directory_iterator(kRoot / "examples"))
        if (e.path().extension() == ".kfp") v.push_back(e.path());
    std::sort(v.begin(), v.end());
    return v;
}

// A 16-bit mono WAV as the CLI writes it.
struct Wav {
    uint32_t rate = 0;
    std::vector<int16_t> samples;
};

class CliRender : public kf::test::CliTest {
protected:
    std::string in(const std::string& name) const { return "'" + (dir / name).string() + "'"; }

    // Checks the "Wrote ..." line against the file's header and returns the sound.
    Wav renderedWav(const std::string& name) {
        std::smatch m;
        EXPECT_TRUE(std::regex_search(out, m, std::regex(R"(\((\d+) samples at (\d+) Hz\))"))) << out;
        if (m.empty()) return {};
        const uint32_t n = static_cast<uint32_t>(std::stoul(m[1])), rate = static_cast<uint32_t>(std::stoul(m[2]));
        const Bytes b = readBytes(dir / name);
        EXPECT_EQ(b.size(), 44u + 2u * n);
        if (b.size() != 44u + 2u * n) return {};
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
        EXPECT_EQ(le32(b, 4), 36u + 2u * n);
        EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
        EXPECT_EQ(le16(b, 20), 1);   // PCM
        EXPECT_EQ(le16(b, 22), 1);   // mono
        EXPECT_EQ(le32(b, 24), rate);
        EXPECT_EQ(le32(b, 28), 2u * rate);
        EXPECT_EQ(le16(b, 34), 16);
        EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
        EXPECT_EQ(le32(b, 40), 2u * n);
        Wav w{rate, std::vector<int16_t>(n)};
        for (uint32_t i = 0; i < n; ++i) w.samples[i] = static_cast<int16_t>(le16(b, 44 + 2 * i));
        return w;
    }
};

int peak(const std::vector<int16_t>& s) {
    int p = 0;
    for (int16_t v : s) p = std::max(p, std::abs(int{v}));
    return p;
}

}  // namespace

TEST_F(CliRender, ExamplesRenderAndRoundTrip) {
    const auto presets = examplePresets();
    ASSERT_GE(presets.size(), 5u);
    std::vector<std::vector<int16_t>> sounds;
    for (const fs::path& p : presets) {
        const std::string name = p.stem().string();
        SCOPED_TRACE(name);
        const Bytes committed = readBytes(p);
        ASSERT_EQ(committed.size(), 4263u);

        // The JSON source builds to the committed preset, and dump -> build
        // gives the preset back byte for byte.
        ASSERT_EQ(cli("build '" + (kRoot / "examples" / (name + ".json")).string() + "' -o from_json.kfp"), 0) << err;
        EXPECT_EQ(readBytes(dir / "from_json.kfp"), committed);
        ASSERT_EQ(cli("dump '" + p.string() + "'"), 0) << err;
        writeBytes(dir / "dumped.json", Bytes(out.begin(), out.end()));
        ASSERT_EQ(cli("build dumped.json -o rebuilt.kfp"), 0) << err;
        EXPECT_EQ(readBytes(dir / "rebuilt.kfp"), committed);

        ASSERT_EQ(cli("render '" + p.string() + "' -o " + name + ".wav"), 0) << err;
        const Wav w = renderedWav(name + ".wav");
        ASSERT_FALSE(w.samples.empty());
        EXPECT_EQ(w.rate, 22050u);
        EXPECT_LE(w.samples.size(), 4u * 22050u) << "keep the examples short";
        // "keys" is made for MIDI: rendered alone it is its quiet start-up note.
        EXPECT_GT(peak(w.samples), name == "keys" ? 2000 : 8000);
        const auto pinned = std::count_if(w.samples.begin(), w.samples.end(),
                                          [](int16_t v) { return v >= 32700 || v <= -32700; });
        EXPECT_LT(pinned, static_cast<long>(w.samples.size() / 100)) << "clips";
        sounds.push_back(w.samples);
    }
    for (size_t a = 0; a < sounds.size(); ++a)
        for (size_t b = a + 1; b < sounds.size(); ++b) EXPECT_NE(sounds[a], sounds[b]) << a << " " << b;

    // The sample example finds the shipped samples from the project root
    // (its stored path) and from anywhere else (the data directory).
    const std::string sample = "'" + (kRoot / "examples" / "sample.kfp").string() + "'";
    ASSERT_EQ(cli("render " + sample + " -o " + in("root.wav"), kRoot), 0) << err;
    const Wav fromRoot = renderedWav("root.wav");
    ASSERT_EQ(cli("render " + sample + " -o elsewhere.wav"), 0) << err;
    EXPECT_EQ(renderedWav("elsewhere.wav").samples, fromRoot.samples);
    EXPECT_GT(peak(fromRoot.samples), 8000);
}

TEST_F(CliRender, StartUpPresetAndSound) {
    ASSERT_EQ(cli("default-preset -o start.kfp"), 0) << err;
    EXPECT_EQ(readBytes(dir / "start.kfp").size(), 4263u);

    ASSERT_EQ(cli("render -o plain.wav"), 0) << err;
    EXPECT_EQ(out, "Wrote plain.wav (10240 samples at 22050 Hz)\n");
    const Wav w = renderedWav("plain.wav");
    EXPECT_EQ(w.rate, 22050u);
    ASSERT_EQ(w.samples.size(), 10240u);
    EXPECT_EQ(peak(w.samples), 0);
    // Opening the start-up preset gives the same sound.
    ASSERT_EQ(cli("render start.kfp -o opened.wav"), 0) << err;
    EXPECT_EQ(readBytes(dir / "opened.wav"), readBytes(dir / "plain.wav"));
}

// One render per command, as a freshly started program with the given
// seed makes it: seeds 1 and 2 give different noise, the MIDI envelope
// starts from rest, and "save" writes the same sound.
TEST_F(CliRender, OneRenderAtTheGivenSeed) {
    const fs::path cases = kRoot / "tests" / "data" / "cases";
    const std::string noise = "'" + (cases / "one_render_seeded_noise.kfp").string() + "'";
    ASSERT_EQ(cli("render " + noise + " -o s1.wav --seed 1"), 0) << err;
    const Wav one = renderedWav("s1.wav");
    ASSERT_EQ(one.samples.size(), 1024u);
    EXPECT_EQ(one.samples[42], 15356);  // the first noise draw of seed 1
    ASSERT_EQ(cli("render " + noise + " -o s2.wav --seed 2"), 0) << err;
    EXPECT_NE(renderedWav("s2.wav").samples, one.samples);
    fs::create_directories(dir / "d");
    ASSERT_EQ(cli("save " + noise + " --dir d --format wav --seed 1"), 0) << err;
    EXPECT_EQ(out, "d/one_re_0.wav\n");
    EXPECT_EQ(file("d/one_re_0.wav"), file("s1.wav"));

    ASSERT_EQ(cli("render '" + (cases / "one_render_midi_envelope.kfp").string() + "' -o m.wav --seed 1"), 0) << err;
    const Wav midi = renderedWav("m.wav");
    ASSERT_FALSE(midi.samples.empty());
    EXPECT_EQ(midi.samples[0], -1);
}

TEST_F(CliRender, FormatSelection) {
    const std::string pluck = "'" + (kRoot / "examples" / "pluck.kfp").string() + "'";
    ASSERT_EQ(cli("render " + pluck + " -o p.WAV"), 0) << err;  // extension case does not matter
    const Bytes wav = readBytes(dir / "p.WAV");
    ASSERT_GT(wav.size(), 44u);
    const Bytes pcm(wav.begin() + 44, wav.end());

    ASSERT_EQ(cli("render " + pluck + " -o p.raw"), 0) << err;
    EXPECT_EQ(readBytes(dir / "p.raw"), pcm);
    ASSERT_EQ(cli("render " + pluck + " -o p.bin --format raw-intel"), 0) << err;
    EXPECT_EQ(readBytes(dir / "p.bin"), pcm);
    ASSERT_EQ(cli("render " + pluck + " -o m.bin --format raw-motorola"), 0) << err;
    const Bytes motorola = readBytes(dir / "m.bin");
    ASSERT_EQ(motorola.size(), pcm.size());
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        ASSERT_EQ(motorola[i], pcm[i + 1]) << i;
        ASSERT_EQ(motorola[i + 1], pcm[i]) << i;
    }
    // --format wins over the extension.
    ASSERT_EQ(cli("render " + pluck + " -o w.raw --format wav"), 0) << err;
    EXPECT_EQ(readBytes(dir / "w.raw"), wav);

    ASSERT_EQ(cli("render " + pluck + " -o p.xi"), 0) << err;
    const Bytes xi = readBytes(dir / "p.xi");
    ASSERT_GT(xi.size(), pcm.size());
    EXPECT_EQ(std::string(xi.begin(), xi.begin() + 21), "Extended Instrument: ");
    // The instrument is named after the preset.
    EXPECT_NE(std::string(xi.begin(), xi.begin() + 64).find("pluck"), std::string::npos);
    EXPECT_EQ(le32(xi, 298), pcm.size());  // sample header: data length in bytes
    EXPECT_EQ(xi.size(), 298u + 40u + pcm.size());

    // FLAC by its extension holds the same samples.
    ASSERT_EQ(cli("render " + pluck + " -o p.flac"), 0) << err;
    kf::SampleSlot flac;
    flac.load((dir / "p.flac").string(), 0);
    ASSERT_EQ(flac.view().count * 2, static_cast<int32_t>(pcm.size()));
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), reinterpret_cast<const uint8_t*>(flac.view().samples)));

    for (const char* args : {"-o p.mp3", "-o noextension", "-o p.wav --format mp3"}) {
        SCOPED_TRACE(args);
        expectOneLineError(cli("render " + pluck + " " + args));
    }
    EXPECT_FALSE(fs::exists(dir / "p.mp3"));
    EXPECT_FALSE(fs::exists(dir / "noextension"));
}

TEST_F(CliRender, SaveNumbersItsFiles) {
    const std::string pluck = "'" + (kRoot / "examples" / "pluck.kfp").string() + "'";
    fs::create_directories(dir / "d");
    ASSERT_EQ(cli("save " + pluck + " --dir d"), 0) << err;
    EXPECT_EQ(out, "d/pluck_0.xi\n");
    ASSERT_EQ(cli("save " + pluck + " --dir d/"), 0) << err;
    EXPECT_EQ(out, "d/pluck_1.xi\n");
    EXPECT_EQ(readBytes(dir / "d" / "pluck_0.xi"), readBytes(dir / "d" / "pluck_1.xi"));
    // Without a preset the name is "NoName"; each extension counts on its own.
    ASSERT_EQ(cli("save --dir d --format wav"), 0) << err;
    EXPECT_EQ(out, "d/NoName_0.wav\n");
    EXPECT_EQ(readBytes(dir / "d" / "NoName_0.wav").size(), 44u + 2u * 10240u);

    expectOneLineError(cli("save --dir no/such/dir"));
    expectOneLineError(cli("save --dir d --format mp3"));
}

TEST_F(CliRender, BadInputFailsCleanly) {
    const fs::path bass = kRoot / "examples" / "bass.kfp";
    const Bytes bassBytes = readBytes(bass);
    ASSERT_EQ(bassBytes.size(), 4263u);

    // Missing or unreadable presets.
    expectOneLineError(cli("render missing.kfp -o x.wav"));
    EXPECT_NE(err.find("missing.kfp"), std::string::npos);
    fs::create_directories(dir / "adir.kfp");
    expectOneLineError(cli("render adir.kfp -o x.wav"));
    expectOneLineError(cli("dump missing.kfp"));
    EXPECT_FALSE(fs::exists(dir / "x.wav"));

    // A short file reads over the start-up preset: a 3000-byte head of the
    // bass keeps its length; an empty file is the start-up sound.
    writeBytes(dir / "head.kfp", Bytes(bassBytes.begin(), bassBytes.begin() + 3000));
    ASSERT_EQ(cli("render head.kfp -o head.wav"), 0) << err;
    EXPECT_EQ(renderedWav("head.wav").samples.size(), 44u * 1024u);
    writeBytes(dir / "empty.kfp", {});
    ASSERT_EQ(cli("render empty.kfp -o empty.wav"), 0) << err;
    EXPECT_EQ(renderedWav("empty.wav").samples.size(), 10240u);
    ASSERT_EQ(cli("dump head.kfp"), 0) << err;  // the missing tail shown as zeros, with a note
    EXPECT_FALSE(err.empty());

    // Whatever the bytes, the JSON form holds them and builds them back.
    std::mt19937 gen(20240611);
    auto junk = [&gen](Bytes& b, size_t from, size_t count) {
        for (size_t i = from; i < from + count; ++i) b[i] = static_cast<uint8_t>(gen());
    };
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        Bytes random(4263);
        junk(random, 0, random.size());
        writeBytes(dir / "random.kfp", random);
        ASSERT_EQ(cli("dump random.kfp"), 0) << err;
        writeBytes(dir / "random.json", Bytes(out.begin(), out.end()));
        ASSERT_EQ(cli("build --unchecked random.json -o random2.kfp"), 0) << err;
        EXPECT_EQ(readBytes(dir / "random2.kfp"), random);
    }
    // Garbage in the parts the engine does not read (reserved stretches,
    // sample paths, byte-swap flags, the rate position) still opens: the
    // bass at some rate the control allows.
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        Bytes b = bassBytes;
        junk(b, 0, 8);
        for (size_t at : {13u, 29u, 44u, 55u}) junk(b, 92 + at, 3);
        junk(b, 92 + 60, 12);
        junk(b, 92 + 88, 20);
        // From after the real-time flag up to the reverb switch, keeping the
        // engine's fields in that stretch (average filter and calm switches,
        // chorus rate, resonance dependence).
        junk(b, 92 + 3536, 3858 - 3536);
        std::copy_n(bassBytes.begin() + 92 + 3838, 6, b.begin() + 92 + 3838);
        std::copy_n(bassBytes.begin() + 92 + 3850, 4, b.begin() + 92 + 3850);
        writeBytes(dir / "garbage.kfp", b);
        ASSERT_EQ(cli("render garbage.kfp -o garbage.wav"), 0) << err;
        const Wav w = renderedWav("garbage.wav");
        EXPECT_EQ(w.samples.size(), 44u * 1024u);
        EXPECT_GE(w.rate, 1000u);
        EXPECT_LE(w.rate, 48000u);
        EXPECT_EQ(w.rate % 5, 0u);
    }

    // JSON that is not a preset.
    ASSERT_EQ(cli("dump '" + bass.string() + "'"), 0) << err;
    const std::string good = out;
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string s = good;
        const size_t at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) s.replace(at, from.size(), to);
        return Bytes(s.begin(), s.end());
    };
    const std::vector<std::pair<const char*, Bytes>> badJson = {
        {"not JSON", Bytes{'{', 'x'}},
        {"not an object", Bytes{'[', ']'}},
        {"cut short", Bytes(good.begin(), good.begin() + static_cast<long>(good.size() / 2))},
        {"unknown field", replaced("\"length\":", "\"lenght\":")},
        {"out of range", replaced("\"cutOffActive\": 1", "\"cutOffActive\": 256")},
        {"wrong type", replaced("\"noteCount\": 8", "\"noteCount\": \"8\"")},
        {"unknown waveform", replaced("\"Saw\"", "\"Sawtooth\"")},
    };
    for (const auto& [what, text] : badJson) {
        SCOPED_TRACE(what);
        writeBytes(dir / "bad.json", text);
        expectOneLineError(cli("build bad.json -o bad.kfp"));
        EXPECT_FALSE(fs::exists(dir / "bad.kfp"));
    }
    expectOneLineError(cli("build missing.json -o bad.kfp"));

    // Outputs that cannot be written.
    expectOneLineError(cli("render -o no/such/dir/x.wav"));
    EXPECT_NE(err.find("no/such/dir/x.wav"), std::string::npos);
    expectOneLineError(cli("default-preset -o no/such/dir/x.kfp"));
    writeBytes(dir / "good.json", Bytes(good.begin(), good.end()));
    expectOneLineError(cli("build good.json -o no/such/dir/x.kfp"));
}

// Out-of-range fields from a damaged preset land on their controls' range
// ends: a negative reverb pre-delay, a huge chorus voice count and random
// values (which would overflow the parameter scalings) all render.
TEST_F(CliRender, DamagedFieldsDoNotCrashOrHang) {
    const Bytes bass = readBytes(kRoot / "examples" / "bass.kfp");
    ASSERT_EQ(bass.size(), 4263u);
    Bytes reverb = bass;
    reverb[kReverbActiveAt] = 1;
    put32(reverb, kReverbAttackAt, -100000);
    Bytes chorus = bass;
    chorus[kChorusActiveAt] = 1;
    put32(chorus, kChorusVoicesAt, 100000000);
    std::vector<Bytes> damaged = {reverb, chorus};
    std::mt19937 gen(7);
    for (int round = 0; round < 4; ++round) {
        Bytes b(4263);
        for (auto& v : b) v = static_cast<uint8_t>(gen());
        put32(b, kLengthAt, 4);  // a short sound, so that only a hang is slow
        damaged.push_back(b);
    }
    for (const Bytes& b : damaged) {
        writeBytes(dir / "damaged.kfp", b);
        const int rc = cli("render damaged.kfp -o d.wav");
        if (rc == 0)
            renderedWav("d.wav");
        else
            expectOneLineError(rc);
    }
}

// The render thread count changes how fast, never what: every example gives
// the same file on one thread, on two and by default.
TEST_F(CliRender, ThreadsOptionRendersTheSameFile) {
    for (const fs::path& p : examplePresets()) {
        const std::string name = p.stem().string();
        SCOPED_TRACE(name);
        ASSERT_EQ(cli("render '" + p.string() + "' -o one.wav --threads 1"), 0) << err;
        ASSERT_EQ(cli("render '" + p.string() + "' -o two.wav --threads 2"), 0) << err;
        ASSERT_EQ(cli("render '" + p.string() + "' -o auto.wav"), 0) << err;
        const Bytes one = readBytes(dir / "one.wav");
        EXPECT_GT(one.size(), 44u);
        EXPECT_EQ(readBytes(dir / "two.wav"), one);
        EXPECT_EQ(readBytes(dir / "auto.wav"), one);
    }
    EXPECT_NE(cli("render -o x.wav --threads -1"), 0);
}
