// The block path of the voice engine neither allocates nor locks: every
// operator new and pthread_mutex_lock of this program is counted while the
// calling thread is inside a guarded region. A program of its own, since
// it replaces the global allocation functions.
#include <dlfcn.h>
#include <pthread.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "core/session.h"
#include "core/voice_engine.h"
#include "engine/render_cases.h"

namespace {
thread_local bool t_guarded = false;
std::atomic<int> g_allocations{0}, g_locks{0};
}  // namespace

// The replacements pair malloc with free, which the compiler cannot see.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    if (t_guarded) ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

extern "C" int pthread_mutex_lock(pthread_mutex_t* m) {
    using Lock = int (*)(pthread_mutex_t*);
    static const auto real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (t_guarded) ++g_locks;
    return real(m);
}

using namespace kf;

TEST(VoiceEngineBlocks, NeitherAllocateNorLock) {
    for (const char* preset : {"examples/pad.kfp", "worst"}) {
        Session s;
        s.render().waitForRender();
        if (std::string(preset) == "worst")
            s.params().setTimbre(cases::worstCase());
        else
            ASSERT_TRUE(s.files().openPreset(std::string(KF_TEST_SOURCE_DIR) + "/" + preset).ok);
        s.render().waitForRender();
        VoiceEngine e(s.live().publishSnapshot(), 1024);
        e.setVoices(16);
        std::vector<int16_t> out(1024);
        auto note = [&](int32_t at, int n, int v) { e.midi(at, 0x90u | uint32_t(n) << 8 | uint32_t(v) << 16); };
        note(0, 60, 100);
        e.render(out.data(), 1024);
        // An edit published from this thread between blocks is swapped in by the next.
        s.params().set(ParamId::CutOff, s.params().get(ParamId::CutOff) + 1);
        const auto next = s.live().publishSnapshot();
        e.publish(next);
        g_allocations = 0;
        g_locks = 0;
        t_guarded = true;
        for (int b = 0; b < 40; ++b) {
            for (int k = 0; k < 20; ++k) note(k * 50, 40 + (b * 7 + k) % 60, k % 3 ? 90 : 0);
            if (b == 20) e.midi(3, 0x7BB0u);  // all notes off
            if (b == 30) e.midi(5, 0x78B0u);  // all sound off
            if (b == 35) e.setVoices(3);
            e.render(out.data(), b % 2 ? 1024 : 64);
        }
        e.reset();
        t_guarded = false;
        EXPECT_EQ(g_allocations.load(), 0) << preset;
        EXPECT_EQ(g_locks.load(), 0) << preset;
    }
}
