// The real RtAudio path end to end: ALSA's default device is a file PCM over
// the null PCM, so every sample the device callback delivers lands in a file.
// The null PCM does not keep real time; these tests check content only.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "audio/playback.h"
#include "audio/wave_out.h"

namespace fs = std::filesystem;

namespace kf {
namespace {

class AlsaFileDevice : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kf_alsa_" + std::to_string(getpid()));
        fs::create_directories(dir_);
        capture_ = dir_ / "out.raw";
        std::ofstream rc(dir_ / ".asoundrc");
        rc << "ctl_type.kfnull { lib \"" << KF_ALSA_CTL_PLUGIN << "\" open \"_snd_ctl_kfnull_open\" }\n"
           << "ctl.!default { type kfnull }\n"
           << "pcm.!default { type file slave.pcm \"null\" file \"" << capture_.string() << "\" format \"raw\" }\n";
        rc.close();
        // Before the first ALSA call: the configuration is read once.
        setenv("HOME", dir_.c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("ALSA_CONFIG_PATH");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    static fs::path capture() { return capture_; }

private:
    fs::path dir_;
    static inline fs::path capture_;
};

::testing::Environment* const device = ::testing::AddGlobalTestEnvironment(new AlsaFileDevice);

std::vector<int16_t> readCapture() {
    std::ifstream f(AlsaFileDevice::capture(), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<int16_t> s(bytes.size() / 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) | static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    return s;
}

// The device has written at least n samples.
bool waitForSamples(size_t n) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < until) {
        std::error_code ec;
        auto size = fs::file_size(AlsaFileDevice::capture(), ec);
        if (!ec && size >= 2 * n) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

std::vector<int16_t> knownSound(int32_t n) {
    std::vector<int16_t> v(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) v[static_cast<size_t>(i)] = static_cast<int16_t>((i * 7919) % 65536 - 32768);
    v[0] = -32768;  // both extremes survive the trip
    v[1] = 32767;
    return v;
}

TEST(AlsaWaveOut, DefaultCardIsListedAfterTheDefaultItem) {
    RtAudioWaveOut wave("alsa");
    auto list = wave.devices();
    ASSERT_GE(list.size(), 2u) << "RtAudio found no ALSA device through the null control";
    EXPECT_EQ(list[0], "Default output");
    EXPECT_EQ(list[1], "default");
}

TEST(AlsaWaveOut, PlayOnceDeliversTheSoundBytesThenSilence) {
    const int32_t n = 3001;
    auto sound = knownSound(n);
    PlayBuffer buffer;
    buffer.assign(sound.data(), n);
    RtAudioWaveOut wave("alsa");
    OutputDevice out{wave};
    out.sampleRate = 22050;
    Playback playback{out, buffer};
    playback.playOnce();
    ASSERT_TRUE(playback.lastStatus().ok) << playback.lastStatus().message;
    ASSERT_TRUE(playback.playing());
    ASSERT_TRUE(waitForSamples(static_cast<size_t>(n) + 512));
    playback.stopClick();
    EXPECT_FALSE(wave.isOpen());

    auto got = readCapture();
    ASSERT_GE(got.size(), static_cast<size_t>(n));
    for (int32_t i = 0; i < n - 2; ++i) ASSERT_EQ(got[static_cast<size_t>(i)], sound[static_cast<size_t>(i)]) << i;
    for (size_t i = static_cast<size_t>(n - 2); i < got.size(); ++i) ASSERT_EQ(got[i], 0) << i;
}

TEST(AlsaWaveOut, LoopRepeatsTheBufferThroughADeviceItem) {
    const int32_t n = 1000;
    auto sound = knownSound(n);
    PlayBuffer buffer;
    buffer.assign(sound.data(), n);
    RtAudioWaveOut wave("alsa");
    OutputDevice out{wave};
    out.sampleRate = 44100;
    out.deviceItem = 1;
    Playback playback{out, buffer};
    playback.playClick();
    ASSERT_TRUE(playback.lastStatus().ok) << playback.lastStatus().message;
    ASSERT_TRUE(playback.playingLight());
    ASSERT_TRUE(waitForSamples(10 * static_cast<size_t>(n)));
    playback.stopClick();

    auto got = readCapture();
    ASSERT_GE(got.size(), 10u * static_cast<size_t>(n));
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], sound[i % static_cast<size_t>(n - 2)]) << i;
}

TEST(AlsaWaveOut, FailuresBecomeStatusesWithTheStepCaption) {
    RtAudioWaveOut wave("alsa");
    Status s = wave.open(7, 22050);  // no such item
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.caption, "WaveOutOpen error!");
    EXPECT_FALSE(wave.isOpen());

    RtAudioWaveOut pulse("pulse");  // no sound server here
    if (!pulse.open(0, 22050).ok) {
        EXPECT_FALSE(pulse.isOpen());
    } else {
        pulse.close();
    }
    RtAudioWaveOut unknown("nosuchapi");
    Status u = unknown.open(0, 22050);
    EXPECT_EQ(u.caption, "WaveOutOpen error!");
    EXPECT_FALSE(u.message.empty());

    ASSERT_TRUE(wave.open(0, 22050).ok);
    Status p = wave.prepare(WaveSource{}, true);
    EXPECT_EQ(p.caption, "WaveOutPrepareHeader error!");
    wave.close();
}

}  // namespace
}  // namespace kf
