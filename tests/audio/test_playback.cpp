#include "audio/playback.h"

#include <gtest/gtest.h>

#include <numeric>

namespace kf {
namespace {

std::vector<int16_t> ramp(int32_t n, int16_t first = 1) {
    std::vector<int16_t> v(static_cast<size_t>(n));
    std::iota(v.begin(), v.end(), first);
    return v;
}

struct StreamStub : RealTimeRenderer {
    void startStream() override {}
    void renderBlock(SoundBuffer block, int32_t renderPosition) override {
        for (int32_t i = 0; i < block.count; ++i) block[i] = static_cast<int16_t>(renderPosition / 512 + 1);
    }
    bool realTimeFlag() const override { return true; }
};

struct PlaybackTest : ::testing::Test {
    CaptureWaveOut wave{{"Card A", "Card B"}};
    OutputDevice out{wave};
    PlayBuffer buffer;
    StreamStub renderer;
    ManualTickSource ticks;
    RealTime realTime{out, renderer, &ticks};
    Playback playback{out, buffer, &realTime};
    std::vector<Status> shown;

    void SetUp() override {
        playback.setErrorReporter([this](const Status& s) { shown.push_back(s); });
        out.sampleRate = 22050;
    }
    void load(const std::vector<int16_t>& v) { buffer.assign(v.data(), static_cast<int32_t>(v.size())); }
};

TEST_F(PlaybackTest, ShortSoundsLoseTheirLastTwoSamples) {
    load({10, 20, 30, 40});
    playback.playOnce();
    EXPECT_TRUE(playback.playing());
    EXPECT_EQ(wave.source().length, 2);
    EXPECT_EQ(wave.pull(5), (std::vector<int16_t>{10, 20, 0, 0, 0}));  // once, then silence

    playback.stopClick();
    load({1, 2, 3});
    playback.playClick();
    EXPECT_FALSE(playback.playing());
    EXPECT_FALSE(playback.playingLight());
    EXPECT_EQ(wave.opens(), 1);  // no device opened for 3 samples
    EXPECT_TRUE(shown.empty());  // and no message
}

TEST_F(PlaybackTest, PlayLoopsAndPlayTwiceClosesTheFirstDevice) {
    load(ramp(6));
    playback.playClick();
    EXPECT_TRUE(playback.playingLight());
    EXPECT_EQ(wave.sampleRate(), 22050);
    EXPECT_EQ(wave.pull(10), (std::vector<int16_t>{1, 2, 3, 4, 1, 2, 3, 4, 1, 2}));
    playback.playClick();
    EXPECT_EQ(wave.opens(), 2);
    EXPECT_EQ(wave.closes(), 1);
    EXPECT_TRUE(playback.playingLight());
    playback.stopClick();
    EXPECT_FALSE(wave.isOpen());
    EXPECT_FALSE(playback.playingLight());
    EXPECT_EQ(wave.pull(2), (std::vector<int16_t>{0, 0}));
}

TEST_F(PlaybackTest, PlayOnceLeavesTheLightOffUntilStop) {
    load(ramp(8));
    playback.playClick();
    playback.playOnce();
    EXPECT_FALSE(playback.playingLight());
    EXPECT_TRUE(playback.playing());
    EXPECT_FALSE(wave.looping());
    wave.pull(100);  // the sound has ended; the device stays open
    EXPECT_TRUE(wave.isOpen());
    playback.stopClick();
    EXPECT_FALSE(wave.isOpen());
}

TEST_F(PlaybackTest, RenderOfSameLengthIsHeardInPlace) {
    load(ramp(6, 1));
    playback.playClick();
    EXPECT_EQ(wave.pull(2), (std::vector<int16_t>{1, 2}));
    load(ramp(6, 100));
    EXPECT_EQ(wave.pull(4), (std::vector<int16_t>{102, 103, 100, 101}));
    EXPECT_EQ(wave.opens(), 1);
    // A shorter sound swapped in before the restart plays silence, not stale memory.
    load({7, 8, 9});
    EXPECT_EQ(wave.pull(4), (std::vector<int16_t>{9, 0, 7, 8}));
}

TEST_F(PlaybackTest, DeviceItemsAndRateReachTheDevice) {
    load(ramp(6));
    out.deviceItem = 2;
    out.sampleRate = 48000;
    playback.playClick();
    EXPECT_EQ(wave.deviceItem(), 2);
    EXPECT_EQ(wave.sampleRate(), 48000);
    EXPECT_EQ(wave.devices(), (std::vector<std::string>{"Default output", "Card A", "Card B"}));
    out.deviceItem = 3;  // no such device
    playback.playClick();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "WaveOutOpen error!");
    EXPECT_FALSE(playback.playingLight());
}

TEST_F(PlaybackTest, FailingStepsReportTheirCaptionAndLeaveNoDeviceOpen) {
    load(ramp(6));
    wave.failNext(CaptureWaveOut::Step::Open, "open text");
    playback.playClick();
    wave.failNext(CaptureWaveOut::Step::Prepare, "prepare text");
    playback.playClick();
    EXPECT_FALSE(wave.isOpen());
    wave.failNext(CaptureWaveOut::Step::Write, "write text");
    playback.playClick();
    EXPECT_FALSE(wave.isOpen());
    EXPECT_FALSE(playback.playing());
    EXPECT_FALSE(playback.playingLight());
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].caption, "WaveOutOpen error!");
    EXPECT_EQ(shown[0].message, "open text");
    EXPECT_EQ(shown[1].caption, "WaveOutPrepareHeader error!");
    EXPECT_EQ(shown[2].caption, "WaveOutWrite error!");
    EXPECT_EQ(wave.opens(), wave.closes());
    EXPECT_FALSE(playback.lastStatus().ok);
}

TEST_F(PlaybackTest, RealtimeMarkSelectsTheStreamButNotForPlayOnce) {
    load(ramp(6));
    playback.toggleRealTime();
    ASSERT_TRUE(playback.realTimeMark());
    playback.playClick();
    EXPECT_TRUE(ticks.running());
    EXPECT_EQ(wave.source().length, 8 * 1024);
    EXPECT_TRUE(playback.playingLight());

    playback.playOnce();  // stops the stream, plays the sound once
    EXPECT_FALSE(ticks.running());
    EXPECT_EQ(wave.source().length, 4);
    EXPECT_FALSE(wave.looping());
    playback.stopClick();  // through the stream's stop
    EXPECT_FALSE(wave.isOpen());

    playback.playClick();
    playback.toggleRealTime();  // toggling the mark only stops
    EXPECT_FALSE(playback.playing());
    EXPECT_FALSE(ticks.running());
}

TEST_F(PlaybackTest, BufferLengthChangeRestartsOnlyWhatPlayed) {
    load(ramp(6));
    playback.setRealTimeMark(true);
    playback.realTimeDelayChange(4);
    EXPECT_EQ(wave.opens(), 0);
    playback.playClick();
    playback.realTimeDelayChange(32);
    EXPECT_EQ(wave.opens(), 2);
    EXPECT_EQ(wave.source().length, 8 * 16384);  // 262144 bytes
    playback.realTimeDelayChange(1);
    EXPECT_EQ(wave.source().length, 8 * 512);  // 8192 bytes
    EXPECT_EQ(bufferLengthLabel(1), "Real-time buffer length: 0.5k");
    EXPECT_EQ(bufferLengthLabel(32), "Real-time buffer length: 16.0k");
    EXPECT_EQ(bufferLengthLabel(3), "Real-time buffer length: 1.5k");
}

}  // namespace
}  // namespace kf
