#include "audio/midi_in.h"

#include <gtest/gtest.h>

namespace kf {
namespace {

uint32_t noteOn(int channel, int note, int velocity) {
    return static_cast<uint32_t>(0x90 | channel) | static_cast<uint32_t>(note) << 8 |
           static_cast<uint32_t>(velocity) << 16;
}
uint32_t control(int channel, int number, int value) {
    return static_cast<uint32_t>(0xB0 | channel) | static_cast<uint32_t>(number) << 8 |
           static_cast<uint32_t>(value) << 16;
}

struct Recorder {
    MidiQueue queue;
    MidiControllers controllers;
    void record(uint32_t m, int32_t time = 0) { recordMidiMessage(m, queue, controllers, time); }
    int pending() const { return static_cast<uint8_t>(queue.writeIndex() - queue.readIndex()); }
};

TEST(MidiRecording, EveryNoteAndControllerIsQueuedWithItsStamp) {
    // The voice engine allocates voices and drops releases of notes no
    // voice holds; the input keeps everything.
    Recorder r;
    r.record(noteOn(0, 60, 100), 1000);
    r.record(noteOn(3, 64, 100), 1100);
    r.record(noteOn(0, 60, 0), 1200);
    r.record(0x80 | 64 << 8 | 64 << 16, 1300);
    r.record(control(0, 123, 0), 1400);  // all notes off
    ASSERT_EQ(r.pending(), 5);
    EXPECT_EQ(r.queue.at(2).message, noteOn(0, 60, 0));
    EXPECT_EQ(r.queue.at(3).time, 1300);
    EXPECT_EQ(r.queue.at(4).message, control(0, 123, 0));
    EXPECT_EQ(r.controllers.lastNote.load(), 64);
}

TEST(MidiRecording, ControllersOnAnyChannelEvenWithNoteResponseOff) {
    Recorder r;
    r.controllers.noteResponse = false;
    r.record(noteOn(0, 60, 100));
    EXPECT_EQ(r.pending(), 0);
    EXPECT_EQ(r.controllers.lastNote.load(), 0);
    r.record(control(5, 7, 33));   // volume -> Midi1
    r.record(control(15, 10, 90)); // pan -> Midi2
    r.record(control(0, 11, 5));   // not listened to
    EXPECT_EQ(r.controllers.value[0].load(), 33);
    EXPECT_EQ(r.controllers.value[1].load(), 90);
    r.controllers.number[1] = 7;  // both listen to the same number
    r.record(control(2, 7, 0));
    EXPECT_EQ(r.controllers.value[0].load(), 0);
    EXPECT_EQ(r.controllers.value[1].load(), 0);
}

TEST(MidiRecording, QueueWrapsAt256AndLapsTheReader) {
    Recorder r;
    for (int i = 0; i < 255; ++i) r.record(noteOn(0, 1 + i % 100, 100), i);
    EXPECT_EQ(r.queue.writeIndex(), 255);
    EXPECT_EQ(r.pending(), 255);
    r.record(noteOn(0, 50, 100), 255);
    EXPECT_EQ(r.queue.writeIndex(), 0);  // 256 unread entries look like none
    EXPECT_EQ(r.pending(), 0);
    r.record(noteOn(0, 51, 100), 256);
    EXPECT_EQ(r.queue.at(0).time, 256);  // the oldest unread entry was overwritten
}

TEST(MidiRecording, PacksShortMessagesOnly) {
    const unsigned char on[] = {0x91, 60, 100};
    EXPECT_EQ(packShortMessage(on, 3), noteOn(1, 60, 100));
    const unsigned char program[] = {0xC0, 5};
    EXPECT_EQ(packShortMessage(program, 2), 0xC0u | 5u << 8);
    const unsigned char sysex[] = {0xF0, 1, 2, 0xF7};
    EXPECT_EQ(packShortMessage(sysex, 4), 0u);
    EXPECT_EQ(packShortMessage(on, 0), 0u);
}

TEST(MidiDevice, ListStartsWithNoInputAndItemZeroOpensNothing) {
    MidiQueue q;
    MidiControllers c;
    // A backend without a server or sequencer: the list still has its first item.
    MidiIn in(q, c, [] { return 0; }, "alsa");
    auto list = in.devices();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0], "No midi input");
    EXPECT_FALSE(in.openMidiIn(0));
    EXPECT_FALSE(in.opened());
    EXPECT_FALSE(in.openMidiIn(1000));
    in.closeMidiIn();  // closing what is not open is harmless
    in.closeMidiIn();
}

}  // namespace
}  // namespace kf
