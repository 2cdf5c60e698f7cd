// The session under concurrent use: the window's thread edits controls while
// background renders, real-time blocks and MIDI input run on their own threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/session.h"

using namespace kf;

namespace {

void activateSine(Session& s, int k, int32_t freq) {
    s.params().selectOscillator(k);
    s.params().set(offsetId(ParamId::Active1, k), 1);
    s.params().set(ParamId::OscFrequency, freq);
}

}  // namespace

TEST(SessionThreads, EditsDuringRendersEndWithARenderOfTheNewestControls) {
    Session s;
    s.render().startUpRender();
    s.render().waitForRender();
    activateSine(s, 0, 300);
    for (int i = 0; i < 200; ++i) {
        // Each edit requests a render; the driver collapses them.
        s.params().set(ParamId::OscFrequency, 301 + i);
        s.params().set(ParamId::CutOffActive, (i + 1) % 2);
    }
    s.render().waitForRender();
    const std::vector<int16_t> last = s.render().playBuffer().copy();
    s.render().renderNow();
    EXPECT_EQ(s.render().playBuffer().copy(), last);
    EXPECT_LT(s.render().rendersDone(), 400u);
}

TEST(SessionThreads, RealTimeBlocksReadControlsAndMidiWhileTheyChange) {
    Session s;
    s.render().startUpRender();
    s.render().waitForRender();
    activateSine(s, 0, 440);
    s.live().setRealTimeMark(true);
    ASSERT_TRUE(s.live().realTimeFlag());
    s.render().waitForRender();
    const uint64_t renders = s.render().rendersDone();
    s.live().startStream();
    std::atomic<bool> done{false};
    std::thread tick([&] {
        std::vector<int16_t> block(512);
        for (int32_t pos = 0; pos < 200 * 512; pos += 512) s.live().renderBlock(SoundBuffer{512, block.data()}, pos);
        done = true;
    });
    std::thread midi([&] {
        for (int i = 0; !done; ++i) {
            s.live().midiQueue().push(i * 100, 0x90u | static_cast<uint32_t>(40 + i % 40) << 8 | 100u << 16);
            s.live().midiControllers().value[0] = i % 128;
            std::this_thread::yield();
        }
    });
    for (int i = 0; !done; ++i) {
        s.params().set(ParamId::Env1Attack, i % 500);
        s.params().set(ParamId::Lfo1Frequency, i % 1000);
        s.params().set(ParamId::OscFrequency, 200 + i % 500);  // with the mark set this only refreshes the parameters
    }
    tick.join();
    midi.join();
    EXPECT_EQ(s.render().rendersDone(), renders);  // edits reach the stream, not the render driver
}

TEST(SessionThreads, ListenersRunOnlyInTheDrainWithoutTheSessionLock) {
    Session s;
    std::atomic<int> wakeups{0};
    s.params().setWakeup([&] { ++wakeups; });
    const std::thread::id owner = std::this_thread::get_id();
    int finished = 0, params = 0;
    s.params().subscribe([&](const Notification& n) {
        EXPECT_EQ(std::this_thread::get_id(), owner);
        // A listener may call back in: the drain holds no session lock (the
        // lock stops the program when one thread takes it twice).
        (void)s.params().get(ParamId::CutOff);
        (void)s.params().label(ParamId::OscVolume);
        if (n.change == Change::RenderFinished) ++finished;
        if (n.change == Change::Param) ++params;
    });
    activateSine(s, 0, 440);
    s.render().startUpRender();
    s.render().waitForRender();
    EXPECT_EQ(finished, 0);  // the render thread only queued it
    EXPECT_GT(wakeups.load(), 0);
    for (int i = 0; i < 20; ++i) {
        s.params().set(ParamId::OscFrequency, 441 + i);
        s.params().drainNotifications();
    }
    s.render().waitForRender();
    s.params().drainNotifications();
    EXPECT_GE(finished, 2);
    EXPECT_GE(params, 22);
}
