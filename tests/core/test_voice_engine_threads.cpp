// The live voices render blocks on their own thread while the owner edits
// the sound (each edit published as a new snapshot) and MIDI arrives: run
// under ThreadSanitizer by the threads label.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/session.h"

using namespace kf;

TEST(VoiceEngineThreads, EditsWhileBlocksRender) {
    Session s;
    s.render().waitForRender();
    ASSERT_TRUE(s.files().openPreset(std::string(KF_TEST_SOURCE_DIR) + "/examples/pad.kfp").ok);
    s.render().waitForRender();
    s.live().setRealTimeMark(true);
    s.live().setLiveVoices(4);
    s.live().startStream();
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        std::vector<int16_t> block(512);
        for (int32_t p = 0; !stop; p += 512, ++blocks) s.live().renderBlock(SoundBuffer{512, block.data()}, p);
    });
    const int32_t cut = s.params().get(ParamId::CutOff);
    for (int i = 0; i < 300; ++i) {
        s.params().set(ParamId::CutOff, cut + i % 7);
        if (i % 10 == 0) s.live().midiQueue().push(i * 100, 0x90u | uint32_t(48 + i % 24) << 8 | 100u << 16);
        if (i % 50 == 0) s.live().setLiveVoices(1 + i % 8);
    }
    while (blocks < 20) std::this_thread::yield();
    stop = true;
    audio.join();
    s.live().stopStream();
    EXPECT_GE(blocks.load(), 20);
}
