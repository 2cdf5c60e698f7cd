#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>

#include "files/export.h"
#include "files/sample.h"
#include "files/sound_file.h"
#include "files_test_util.h"

namespace kf {
namespace {

using test::TempDir;

// Full scale both ways, odd low bytes, a sine in between.
std::vector<int16_t> knownSignal() {
    std::vector<int16_t> s = {0, 1, -1, 32767, -32768, 255, -256, 12345, -12345};
    for (int i = 0; i < 600; ++i) s.push_back(static_cast<int16_t>(std::lround(20000 * std::sin(i * 0.05))));
    return s;
}

void writeWithSndfile(const std::string& path, int format, int channels, int rate, const std::vector<int16_t>& mono) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_command(f, SFC_SET_SCALE_INT_FLOAT_WRITE, nullptr, SF_TRUE);  // float files hold -1..1
    std::vector<int16_t> frames;
    for (int16_t v : mono)
        for (int c = 0; c < channels; ++c) frames.push_back(v);
    sf_writef_short(f, frames.data(), static_cast<sf_count_t>(mono.size()));
    sf_close(f);
}

double rms(const int16_t* s, size_t n) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(n));
}

TEST(SoundFile, EveryLosslessFormatAndDepthDecodesToTheSameSamples) {
    struct Row {
        const char* name;
        int format, channels;
        bool eightBit;
    };
    const Row rows[] = {
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, true},
        {"b.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, false},
        {"c.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, false},
        {"d.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1, false},
        {"e.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, false},
        {"f.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, false},
        {"g.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, false},
        {"h.smp", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1, false},  // by content, not extension
    };
    TempDir dir;
    const auto signal = knownSignal();
    for (const Row& r : rows) {
        const std::string path = dir.file(r.name);
        writeWithSndfile(path, r.format, r.channels, 32000, signal);
        SampleSlot slot;
        slot.load(path, 3);  // the start counts decoded samples
        ASSERT_EQ(slot.problem(), "") << r.name;
        ASSERT_EQ(slot.view().count, static_cast<int32_t>(signal.size()) - 3) << r.name;
        EXPECT_EQ(slot.fileRate(), 32000);
        EXPECT_EQ(slot.clipped(), 0);
        for (int32_t i = 0; i < slot.view().count; ++i) {
            const int16_t want = r.eightBit ? static_cast<int16_t>((signal[i + 3] >> 8) * 256) : signal[i + 3];
            ASSERT_EQ(slot.view()[i], want) << r.name << " sample " << i;
        }
    }
}

TEST(SoundFile, ChannelsAverageWithHalfToEvenAndClippingIsCounted) {
    TempDir dir;
    const std::string path = dir.file("st.wav");
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    const float frames[] = {1 / 32768.f, 0, 3 / 32768.f, 0, 1.5f, 1.5f, -2, -2, -1, -1};
    sf_writef_float(f, frames, 5);
    sf_close(f);
    SampleSlot slot;
    slot.load(path, 0);
    ASSERT_EQ(slot.view().count, 5);
    const int16_t want[] = {0, 2, 32767, -32768, -32768};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(slot.view()[i], want[i]) << i;
    EXPECT_EQ(slot.clipped(), 2);
}

TEST(SoundFile, DamagedFilesGiveOneLineNamingTheProblem) {
    TempDir dir;
    const auto signal = knownSignal();
    const std::string flac = dir.file("bad.flac"), wav = dir.file("cut.wav"), header = dir.file("head.wav");
    writeWithSndfile(flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 22050, signal);
    auto bytes = test::readAll(flac);
    bytes.resize(bytes.size() / 2);
    test::writeAll(flac, bytes);
    writeWithSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, signal);
    bytes = test::readAll(wav);
    bytes.resize(bytes.size() - 100);
    test::writeAll(wav, bytes);
    bytes.resize(20);
    test::writeAll(header, bytes);
    for (const std::string& path : {flac, wav, header}) {
        SampleSlot slot;
        slot.load(path, 0);
        EXPECT_EQ(slot.view().count, 0) << path;
        EXPECT_EQ(slot.label(), "No sample");
        EXPECT_NE(slot.problem(), "") << path;
        EXPECT_EQ(slot.problem().find('\n'), std::string::npos);
        EXPECT_EQ(sampleFileProblem(path), slot.problem());
    }
}

TEST(SoundFile, FlacExportIsExactAndOggKeepsLengthAndLevel) {
    TempDir dir;
    std::vector<int16_t> sound = knownSignal();
    for (int i = 0; i < 20000; ++i) sound.push_back(static_cast<int16_t>(std::lround(12000 * std::sin(i * 0.07))));
    const SoundBuffer view{static_cast<int32_t>(sound.size()), sound.data()};
    const std::string flac = dir.file("x.flac"), ogg = dir.file("y");
    ASSERT_TRUE(saveSound(flac, view, SaveFormat::Flac, 22050, ""));
    ASSERT_TRUE(saveSampleAs(ogg, 6, view, 22050));  // the Ogg filter adds ".ogg"
    SampleSlot slot;
    slot.load(flac, 0);
    ASSERT_EQ(slot.view().count, view.count);
    for (int32_t i = 0; i < view.count; ++i) ASSERT_EQ(slot.view()[i], sound[i]) << i;
    slot.load(ogg + ".ogg", 0);
    ASSERT_EQ(slot.problem(), "");
    EXPECT_EQ(slot.view().count, view.count);
    EXPECT_EQ(slot.fileRate(), 22050);
    // Past the encoder's start-up, to the end.
    const size_t n = std::min<size_t>(sound.size(), static_cast<size_t>(slot.view().count)) - 1000;
    const double want = rms(sound.data() + 1000, n), got = rms(slot.view().samples + 1000, n);
    EXPECT_NEAR(got / want, 1.0, 0.1);
    // Opus (48 kHz only) is read as well; written here with libsndfile.
    writeWithSndfile(dir.file("o.opus"), SF_FORMAT_OGG | SF_FORMAT_OPUS, 1, 48000, sound);
    slot.load(dir.file("o.opus"), 0);
    ASSERT_EQ(slot.problem(), "");
    EXPECT_EQ(slot.view().count, view.count);
    EXPECT_NEAR(rms(slot.view().samples + 1000, n) / want, 1.0, 0.1);
    // The extension decides whatever filter the dialog had.
    ASSERT_TRUE(saveSampleAs(dir.file("z.FLAC"), 1, view, 8000));
    slot.load(dir.file("z.FLAC"), 0);
    EXPECT_EQ(slot.fileRate(), 8000);
}

}  // namespace
}  // namespace kf
