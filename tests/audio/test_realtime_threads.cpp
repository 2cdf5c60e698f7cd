// The stream with its own 5 ms timer thread and a device consuming at the
// sample rate on another thread, while other threads read and write the
// shared state as the MIDI callback and the render thread do.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "audio/playback.h"
#include "audio/realtime.h"

namespace kf {
namespace {

struct IndexRenderer : RealTimeRenderer {
    std::atomic<bool> flag{true};
    std::atomic<int> blocks{0};
    std::vector<int32_t> positions;  // written by the tick thread only
    void startStream() override { positions.clear(); }
    void renderBlock(SoundBuffer block, int32_t renderPosition) override {
        positions.push_back(renderPosition);
        for (int32_t i = 0; i < block.count; ++i) block[i] = static_cast<int16_t>((renderPosition + i) % 30000);
        ++blocks;
    }
    bool realTimeFlag() const override { return flag; }
};

TEST(RealTimeThreads, TimerThreadStreamsWhileOthersReadTheClock) {
    CaptureWaveOut wave;
    wave.setPaced(true);
    OutputDevice out{wave};
    out.sampleRate = 22050;
    IndexRenderer renderer;
    RealTime rt{out, renderer};
    rt.setBufferPosition(1);
    ASSERT_TRUE(rt.playRealTime().ok);
    EXPECT_TRUE(rt.timerRunning());

    std::atomic<bool> done{false};
    std::thread midi([&] {  // the MIDI callback stamps events meanwhile
        int32_t last = 0;
        while (!done) {
            int32_t stamp = rt.midiTimeStamp();
            EXPECT_GE(stamp, last);
            last = stamp;
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (renderer.blocks < 5 + 12 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    done = true;
    midi.join();
    rt.stopRealTime();
    EXPECT_FALSE(out.playing);

    ASSERT_GE(renderer.blocks.load(), 17);
    for (size_t k = 1; k < renderer.positions.size(); ++k) ASSERT_EQ(renderer.positions[k], renderer.positions[k - 1] + 512);
    auto heard = wave.captured();
    ASSERT_GE(heard.size(), 1024u);
    for (size_t j = 0; j < 1024; ++j) ASSERT_EQ(heard[j], static_cast<int16_t>(j));  // blocks 0 and 1 as rendered
    EXPECT_GT(rt.renderTiming().worstNs, 0);
}

TEST(RealTimeThreads, RepeatedStartAndStopWhileTicking) {
    CaptureWaveOut wave;
    wave.setPaced(true);
    OutputDevice out{wave};
    IndexRenderer renderer;
    RealTime rt{out, renderer};
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(rt.playRealTime().ok);
        std::this_thread::sleep_for(std::chrono::milliseconds(12));
        if (i % 3 == 0) renderer.flag = !renderer.flag;
        rt.stopRealTime();
    }
    EXPECT_FALSE(wave.isOpen());
}

TEST(RealTimeThreads, SoundSwappedInWhileTheDevicePlays) {
    CaptureWaveOut wave;
    wave.setPaced(true);
    OutputDevice out{wave};
    out.sampleRate = 48000;
    PlayBuffer buffer;
    std::vector<int16_t> a(4000, 1), b(4000, 2);
    buffer.assign(a.data(), 4000);
    Playback playback{out, buffer};
    playback.playClick();
    ASSERT_TRUE(playback.playing());
    for (int i = 0; i < 50; ++i) {  // the render thread's in-place renders
        buffer.assign((i % 2 ? a : b).data(), 4000);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    playback.stopClick();
    for (int16_t s : wave.captured()) ASSERT_TRUE(s == 1 || s == 2) << s;
}

}  // namespace
}  // namespace kf
