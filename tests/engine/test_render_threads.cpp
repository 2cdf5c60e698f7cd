#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/render_thread.h"

using namespace kf;

TEST(RenderThread, RequestsDuringARenderCollapseIntoOne) {
    std::atomic<int> renders{0};
    std::atomic<bool> release{false};
    std::atomic<bool> started{false};
    RenderThread t([&] {
        started = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++renders;
    });
    t.request();
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (int i = 0; i < 50; ++i) t.request();
    release = true;
    t.waitIdle();
    EXPECT_EQ(renders.load(), 2);
    EXPECT_EQ(t.rendersDone(), 2u);
}

TEST(RenderThread, StopWaitsForTheRunningRender) {
    std::atomic<bool> finished{false};
    std::atomic<bool> started{false};
    RenderThread t([&] {
        started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        finished = true;
    });
    t.request();
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    t.stop();
    EXPECT_TRUE(finished.load());
    EXPECT_FALSE(t.exists());
    t.request();  // a new thread is made on the next request
    t.waitIdle();
    EXPECT_EQ(t.rendersDone(), 2u);
}
