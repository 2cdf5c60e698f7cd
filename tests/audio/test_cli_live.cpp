// play and live from the command line against a real JACK server whose
// dummy driver keeps real time (no sound card needed).
#include <gtest/gtest.h>

#include <string>

#include "app/cli_runner.h"
#include "jack_server.h"

namespace kf {
namespace {

::testing::Environment* const jack = ::testing::AddGlobalTestEnvironment(new JackServer("22050"));

struct CliAudio : test::CliTest {
    static std::string example(const char* name) { return std::string(KF_TEST_SOURCE_DIR "/examples/") + name; }
    void needServer() {
        if (!JackServer::unavailable().empty()) GTEST_SKIP() << "JACK server unavailable: " << JackServer::unavailable();
    }
};

TEST_F(CliAudio, LiveStreamsAtTheDeviceClockAndRecordsWhatItSent) {
    needServer();
    ASSERT_EQ(cli("live '" + example("bass.kfp") +
                  "' --audio-api jack --midi-api jack --midi-virtual kfcli --buffer 2 --seconds 1.5 --record rec.wav"),
              0)
        << err;
    EXPECT_NE(out.find("Rendered "), std::string::npos) << out;
    const std::vector<uint8_t> wav = file("rec.wav");
    ASSERT_GT(wav.size(), 44u);
    const size_t samples = (wav.size() - 44) / 2;
    // The device pulls at 22050 Hz: about 1.5 s of sound, whatever the CPU speed.
    EXPECT_GT(samples, 22050u);
    EXPECT_LT(samples, 22050u * 5 / 2);
    int peak = 0;
    for (size_t i = 44; i + 1 < wav.size(); i += 2)
        peak = std::max(peak, std::abs(static_cast<int16_t>(wav[i] | wav[i + 1] << 8) + 0));
    EXPECT_GT(peak, 1000) << "the bass line should be heard";
}

TEST_F(CliAudio, PlayOnceExitsWhenTheSoundHasPlayed) {
    needServer();
    ASSERT_EQ(cli("play --once '" + example("hit.kfp") + "' --audio-api jack"), 0) << err;
    EXPECT_NE(out.find("Playing "), std::string::npos);
    EXPECT_LT(seconds, 15.0);
}

TEST_F(CliAudio, NoServerIsAOneLineError) {
    ASSERT_NE(cli("play --once --audio-api jack", {}, "JACK_DEFAULT_SERVER=kf-no-such-server"), 0);
    EXPECT_EQ(err.rfind("kestrafon-cli: play: WaveOutOpen error!", 0), 0u) << err;
    EXPECT_EQ(cli("live --audio-api jack --seconds 1", {}, "JACK_DEFAULT_SERVER=kf-no-such-server"), 1);
    EXPECT_NE(err.find("WaveOutOpen error!"), std::string::npos) << err;
}

}  // namespace
}  // namespace kf
