#include "audio/realtime.h"

#include <gtest/gtest.h>

#include <climits>

namespace kf {
namespace {

// Each sample carries its stream index, so the heard stream shows exactly
// which rendered samples the device played.
struct IndexRenderer : RealTimeRenderer {
    std::vector<int32_t> positions;
    int starts = 0;
    bool flag = true;
    void startStream() override { ++starts; }
    void renderBlock(SoundBuffer block, int32_t renderPosition) override {
        positions.push_back(renderPosition);
        for (int32_t i = 0; i < block.count; ++i) block[i] = static_cast<int16_t>((renderPosition + i) % 30000);
    }
    bool realTimeFlag() const override { return flag; }
};

struct RealTimeTest : ::testing::Test {
    CaptureWaveOut wave;
    OutputDevice out{wave};
    IndexRenderer renderer;
    ManualTickSource ticks;
    RealTime rt{out, renderer, &ticks};
    int64_t heard = 0;  // samples the device has consumed

    void start(int32_t rate, int position) {
        out.sampleRate = rate;
        rt.setBufferPosition(position);
        ASSERT_TRUE(rt.playRealTime().ok);
        ASSERT_TRUE(out.playing);
    }
    // One tick, then the device plays up to the estimated position.
    std::vector<int16_t> tickAndListen() {
        ticks.fire();
        int64_t n = rt.playPosition() - heard;
        heard += n;
        return wave.pull(static_cast<int32_t>(n));
    }
};

TEST(RenderLength, FromTempo) {
    EXPECT_EQ(renderLengthFromTempo(44100, 112, 32), 194781);
    EXPECT_EQ(renderLengthFromTempo(44100, 0, 32), 1);
    EXPECT_EQ(renderLengthFromTempo(44100, -5, 32), 1);
    EXPECT_EQ(renderLengthFromTempo(44100, 112, 0), 1);
    EXPECT_EQ(renderLengthFromTempo(48000, 1, 100000), INT32_MAX);  // clamped, not undefined
}

TEST_F(RealTimeTest, HeardStreamSkipsThreePreRenderedBlocksThenRunsOnAcrossLaps) {
    start(44100, 2);
    const int32_t bl = 1024;
    EXPECT_EQ(renderer.starts, 1);
    EXPECT_EQ(renderer.positions, (std::vector<int32_t>{0, bl, 2 * bl, 3 * bl, 4 * bl}));
    EXPECT_EQ(wave.source().length, 8 * bl);
    EXPECT_TRUE(wave.looping());

    tickAndListen();
    EXPECT_EQ(rt.lastFilledBlock(), 2);  // the first tick renders block 2 again...
    EXPECT_EQ(renderer.positions.back(), 5 * bl);  // ...with the sixth block of the stream
    EXPECT_EQ(rt.ring().snapshot(2 * bl, 1)[0], 5 * bl);

    std::vector<int16_t> stream;
    while (heard < 10 * 8 * bl) {
        auto part = tickAndListen();
        stream.insert(stream.end(), part.begin(), part.end());
    }
    for (int64_t j = 0; j < static_cast<int64_t>(stream.size()); ++j) {
        int64_t index = j < 2 * bl ? j : j + 3 * bl;
        ASSERT_EQ(stream[static_cast<size_t>(j)], index % 30000) << "device sample " << j;
    }
    for (size_t k = 1; k < renderer.positions.size(); ++k)
        ASSERT_EQ(renderer.positions[k], renderer.positions[k - 1] + bl);
    EXPECT_EQ(rt.midiTimeStamp(), rt.playPosition() + 2 * bl);
}

TEST_F(RealTimeTest, PositionAdvances220Or221Per10msAt22050) {
    start(22050, 1);
    int32_t previous = 0;
    int changes = 0;
    for (int t = 1; t <= 400; ++t) {
        int block = rt.lastFilledBlock();
        ticks.fire();
        EXPECT_EQ(rt.clockMs(), 5 * t);
        if (t % 2 == 1) {
            EXPECT_EQ(rt.playPosition(), previous);  // changes every second tick
        } else {
            int32_t step = rt.playPosition() - previous;
            EXPECT_TRUE(step == 220 || step == 221) << step;
            previous = rt.playPosition();
        }
        if (rt.lastFilledBlock() != block) {
            ++changes;
            EXPECT_EQ(rt.lastFilledBlock(), (rt.playPosition() / 512 + 2) % 8);
        }
    }
    EXPECT_EQ(changes, 1 + previous / 512);  // a new target every 512 samples
}

TEST_F(RealTimeTest, OverflowSetsTheClockBackAndNeverIndexesNegatively) {
    start(44100, 32);
    const int32_t rate5 = 44100 / 5;
    int32_t firstOverflow = 0;
    for (int32_t c = 5; firstOverflow == 0; c += 5) {
        if (int64_t{c / 10} * rate5 > INT32_MAX) firstOverflow = c;
    }
    int setBacks = 0;
    int32_t clock = 0;
    while (setBacks < 2) {
        ticks.fire();
        ASSERT_GE(rt.playPosition(), 0);
        ASSERT_GE(rt.lastFilledBlock(), 0);
        if (rt.clockMs() < clock) {
            if (++setBacks == 1) {
                EXPECT_EQ(rt.clockMs(), firstOverflow - 60000);
            }
        }
        clock = rt.clockMs();
    }
    EXPECT_GT(firstOverflow, 40 * 60 * 1000);  // about 40 minutes in
    for (size_t k = 1; k < renderer.positions.size(); ++k)
        ASSERT_EQ(renderer.positions[k], renderer.positions[k - 1] + 16384);
}

TEST_F(RealTimeTest, TicksDoNothingWithoutPlayingOrFlag) {
    start(44100, 1);
    renderer.flag = false;
    ticks.fire(10);
    EXPECT_EQ(rt.clockMs(), 0);
    EXPECT_EQ(renderer.positions.size(), 5u);
    renderer.flag = true;
    ticks.fire(1, 3);  // three periods passed while rendering: the clock still ran
    EXPECT_EQ(rt.clockMs(), 20);
    EXPECT_EQ(renderer.positions.size(), 6u);

    out.playing = false;  // as after a stop through the sample-playback path
    ticks.fire(5);
    EXPECT_EQ(rt.clockMs(), 20);
}

TEST_F(RealTimeTest, RestartBeginsAtZeroAndStopCloses) {
    start(44100, 1);
    ticks.fire(50);
    const int64_t rendered = rt.renderTiming().blocks;
    rt.stopRealTime();
    EXPECT_FALSE(ticks.running());
    EXPECT_FALSE(wave.isOpen());
    EXPECT_FALSE(out.playing);
    renderer.positions.clear();
    ASSERT_TRUE(rt.playRealTime().ok);
    EXPECT_EQ(renderer.positions.front(), 0);
    EXPECT_EQ(rt.clockMs(), 0);
    EXPECT_EQ(rt.lastFilledBlock(), -1);
    EXPECT_EQ(renderer.starts, 2);
    EXPECT_EQ(rt.renderTiming().blocks, rendered + 5);
    EXPECT_GE(rt.renderTiming().worstNs, rt.renderTiming().lastNs);
}

TEST_F(RealTimeTest, FailedStepsLeaveNothingRunning) {
    out.sampleRate = 44100;
    wave.failNext(CaptureWaveOut::Step::Open, "no device");
    Status s = rt.playRealTime();
    EXPECT_EQ(s.caption, "WaveOutOpen error!");
    EXPECT_FALSE(rt.timerRunning());
    rt.stopRealTime();  // no timer, no device: nothing to call
    EXPECT_EQ(wave.opens(), 0);
    EXPECT_EQ(wave.closes(), 0);

    wave.failNext(CaptureWaveOut::Step::Prepare);
    EXPECT_EQ(rt.playRealTime().caption, "WaveOutPrepareHeader error!");
    EXPECT_FALSE(wave.isOpen());
    EXPECT_FALSE(out.playing);

    wave.failNext(CaptureWaveOut::Step::Write);
    EXPECT_EQ(rt.playRealTime().caption, "WaveOutWrite error!");
    EXPECT_FALSE(wave.isOpen());
    EXPECT_FALSE(ticks.running());
    EXPECT_FALSE(out.playing);

    ticks.failNextStart();  // no timer: the eight blocks loop as they are
    ASSERT_TRUE(rt.playRealTime().ok);
    EXPECT_FALSE(rt.timerRunning());
    EXPECT_TRUE(out.playing);
}

}  // namespace
}  // namespace kf
