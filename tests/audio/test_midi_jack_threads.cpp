// MIDI input through a real JACK server (dummy driver, no sound card): an
// RtMidiOut in this process plays into the program's input.
#include <RtMidi.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "audio/midi_in.h"
#include "audio/realtime.h"
#include "core/session.h"
#include "jack_server.h"

// libjack's lock-free ring buffer (used by the sending RtMidiOut) is not
// instrumented; its reader/writer handshake is invisible to the race detector.
extern "C" const char* __tsan_default_suppressions() { return "race:jack_ringbuffer_\n"; }

namespace kf {
namespace {

::testing::Environment* const jack = ::testing::AddGlobalTestEnvironment(new JackServer("48000"));

struct JackMidiTest : ::testing::Test {
    MidiQueue queue;
    MidiControllers controllers;
    std::atomic<int32_t> stamp{4242};
    MidiIn in{queue, controllers, [this] { return stamp.load(); }, "jack"};

    void SetUp() override {
        if (!JackServer::unavailable().empty()) GTEST_SKIP() << "JACK server unavailable: " << JackServer::unavailable();
    }

    static void send(RtMidiOut& out, std::vector<unsigned char> m) { out.sendMessage(&m); }

    // A new connection takes effect some cycles later; until then messages
    // are lost. Probe with a controller until one arrives.
    bool connected(RtMidiOut& out) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < until) {
            send(out, {0xB0, 10, 1});
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (controllers.value[1].load() == 1) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                queue.reset();  // the probes went to the queue too
                return true;
            }
        }
        return false;
    }

    void play(RtMidiOut& out) {
        send(out, {0x90, 60, 100});
        send(out, {0x90, 64, 100});
        send(out, {0x90, 60, 0});
        send(out, {0x90, 64, 0});
        send(out, {0xB3, 7, 33});
        send(out, {0xBF, 10, 90});
    }

    bool arrived() {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < until) {
            if (queue.writeIndex() == 6 && controllers.value[1].load() == 90) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    void check() {
        ASSERT_TRUE(arrived()) << "events in queue: " << int(queue.writeIndex());
        EXPECT_EQ(queue.at(0).message, 0x90u | 60u << 8 | 100u << 16);
        EXPECT_EQ(queue.at(1).message, 0x90u | 64u << 8 | 100u << 16);
        // Every note-off and controller reaches the voices, which allocate.
        EXPECT_EQ(queue.at(2).message, 0x90u | 60u << 8);
        EXPECT_EQ(queue.at(3).message, 0x90u | 64u << 8);
        EXPECT_EQ(queue.at(3).time, 4242);
        EXPECT_EQ(queue.at(5).message, 0xBFu | 10u << 8 | 90u << 16);
        EXPECT_EQ(controllers.value[0].load(), 33);
        EXPECT_EQ(controllers.lastNote.load(), 64);
    }
};

TEST_F(JackMidiTest, ListedInputDeviceDeliversNotesAndControllers) {
    RtMidiOut out(RtMidi::UNIX_JACK, "kfkeys");
    out.openVirtualPort("keys");
    auto list = in.devices();
    int item = -1;
    for (size_t i = 1; i < list.size(); ++i)
        if (list[i].find("kfkeys") != std::string::npos) item = static_cast<int>(i);
    ASSERT_GT(item, 0) << "the test's output port is not listed";
    ASSERT_TRUE(in.openMidiIn(item));
    ASSERT_TRUE(connected(out));
    play(out);
    check();
    in.closeMidiIn();
    EXPECT_FALSE(in.opened());
    EXPECT_FALSE(in.openMidiIn(0));  // "No midi input"
}

TEST_F(JackMidiTest, VirtualInputPortReceives) {
    ASSERT_TRUE(in.openVirtual("kfin"));
    RtMidiOut out(RtMidi::UNIX_JACK, "kfsender");
    int port = -1;
    for (unsigned i = 0; i < out.getPortCount(); ++i)
        if (out.getPortName(i).find("kfin") != std::string::npos) port = static_cast<int>(i);
    ASSERT_GE(port, 0) << "the virtual input is not visible";
    out.openPort(static_cast<unsigned>(port));
    ASSERT_TRUE(connected(out));
    play(out);
    check();
}

// The stream in rendering order: block samples keyed by their stream position.
struct StreamTap : RealTimeRenderer {
    explicit StreamTap(Session& s) : session(s) {}
    Session& session;
    std::map<int32_t, std::vector<int16_t>> blocks;
    void startStream() override {
        blocks.clear();
        session.live().startStream();
    }
    void renderBlock(SoundBuffer b, int32_t pos) override {
        session.live().renderBlock(b, pos);
        blocks[pos].assign(b.samples, b.samples + b.count);
    }
    bool realTimeFlag() const override { return session.live().realTimeFlag(); }
    std::vector<int16_t> stream() const {
        std::vector<int16_t> out;
        for (const auto& [pos, b] : blocks) {
            out.resize(static_cast<size_t>(pos));
            out.insert(out.end(), b.begin(), b.end());
        }
        return out;
    }
};

// One melodic sine that follows the MIDI notes, streamed with a manual tick.
struct LiveRig {
    Session session;
    StreamTap tap{session};
    CaptureWaveOut wave;
    OutputDevice out{wave};
    ManualTickSource ticks;
    RealTime realTime{out, tap, &ticks};

    LiveRig() {
        session.params().selectOscillator(0);
        session.params().set(ParamId::Active1, 1);
        session.params().set(ParamId::OscMelodic, 1);
        session.live().setRealTimeMark(true);
        out.sampleRate = session.files().sampleRate();
        realTime.setBufferPosition(1);
    }
};

TEST_F(JackMidiTest, NoteFromRealInputChangesTheStreamAtItsTimeStamp) {
    LiveRig live;
    MidiIn input(live.session.live().midiQueue(), live.session.live().midiControllers(), [&live] { return live.realTime.midiTimeStamp(); }, "jack");
    ASSERT_TRUE(input.openVirtual("kflive"));
    RtMidiOut out(RtMidi::UNIX_JACK, "kfplayer");
    int port = -1;
    for (unsigned i = 0; i < out.getPortCount(); ++i)
        if (out.getPortName(i).find("kflive") != std::string::npos) port = static_cast<int>(i);
    ASSERT_GE(port, 0);
    out.openPort(static_cast<unsigned>(port));
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (live.session.live().midiControllers().value[1].load() != 1 && std::chrono::steady_clock::now() < until) {
        send(out, {0xB0, 10, 1});
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(live.session.live().midiControllers().value[1].load(), 1) << "no connection";

    ASSERT_TRUE(live.realTime.playRealTime());
    live.ticks.fire(40);
    // No tick runs while the note travels, so its stamp is fixed.
    send(out, {0x90, 69, 100});
    until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (live.session.live().midiQueue().writeIndex() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(live.session.live().midiQueue().writeIndex(), 1);
    const int32_t stamp = live.session.live().midiQueue().at(0).time;
    EXPECT_EQ(stamp, live.realTime.midiTimeStamp());
    const int32_t next = live.realTime.renderPosition();
    live.ticks.fire(60);
    live.realTime.stopRealTime();
    input.closeMidiIn();
    const std::vector<int16_t> heard = live.tap.stream();
    ASSERT_GT(heard.size(), static_cast<size_t>(stamp) + 2048);

    // The same ticks without the note, and with the note put in the queue directly.
    LiveRig silent, direct;
    for (LiveRig* r : {&silent, &direct}) {
        ASSERT_TRUE(r->realTime.playRealTime());
        r->ticks.fire(40);
        if (r == &direct) recordMidiMessage(0x90u | 69u << 8 | 100u << 16, r->session.live().midiQueue(), r->session.live().midiControllers(), stamp);
        r->ticks.fire(60);
        r->realTime.stopRealTime();
    }
    EXPECT_EQ(direct.tap.stream(), heard);
    const std::vector<int16_t> without = silent.tap.stream();
    ASSERT_EQ(without.size(), heard.size());
    size_t first = 0;
    while (first < heard.size() && heard[first] == without[first]) ++first;
    // The stream renders ahead of the stamp, so a note that arrives for a
    // position already rendered sounds from the first sample of the next block.
    EXPECT_EQ(first, static_cast<size_t>(std::max(stamp + 1, next)));
}

// A stamp ahead of the render position is honoured to the sample.
TEST(LiveStream, NoteAheadOfTheStreamSoundsRightAfterItsStamp) {
    LiveRig with, without;
    int32_t stamp = 0;
    for (LiveRig* r : {&with, &without}) {
        ASSERT_TRUE(r->realTime.playRealTime());
        r->ticks.fire(40);
        stamp = r->realTime.renderPosition() + 700;
        if (r == &with) recordMidiMessage(0x90u | 69u << 8 | 100u << 16, r->session.live().midiQueue(), r->session.live().midiControllers(), stamp);
        r->ticks.fire(60);
        r->realTime.stopRealTime();
    }
    const std::vector<int16_t> a = with.tap.stream(), b = without.tap.stream();
    ASSERT_EQ(a.size(), b.size());
    size_t first = 0;
    while (first < a.size() && a[first] == b[first]) ++first;
    EXPECT_EQ(first, static_cast<size_t>(stamp) + 1);
}

}  // namespace
}  // namespace kf
