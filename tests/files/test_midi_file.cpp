#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/midi_file.h"

using namespace kf;

namespace {

const std::string kDir = std::string(KF_TEST_SOURCE_DIR) + "/tests/data/midi/";

std::vector<MidiFileEvent> read(const std::string& name) {
    std::vector<MidiFileEvent> ev;
    Status st = readMidiFile(kDir + name, ev);
    EXPECT_TRUE(st.ok) << st.message;
    return ev;
}

uint32_t on(int ch, int note, int vel) { return 0x90u | unsigned(ch) | unsigned(note) << 8 | unsigned(vel) << 16; }

struct Expected {
    double seconds;
    uint32_t message;
};

void expectEvents(const std::vector<MidiFileEvent>& got, const std::vector<Expected>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_DOUBLE_EQ(got[i].seconds, want[i].seconds) << i;
        EXPECT_EQ(got[i].message, want[i].message) << i;
    }
}

}  // namespace

TEST(MidiFile, ScaleGivesNoteOffsAsVelocityZeroBeforeTheNextNote) {
    auto ev = read("scale.mid");
    const int notes[] = {60, 62, 64, 65, 67, 69, 71, 72};
    std::vector<Expected> want;
    for (int i = 0; i < 8; ++i) {
        want.push_back({i * 0.25, on(0, notes[i], 100)});
        want.push_back({(i + 1) * 0.25, on(0, notes[i], 0)});
    }
    expectEvents(ev, want);
    EXPECT_TRUE(ev[0].isNoteOn());
    EXPECT_TRUE(ev[1].isNoteOff());
}

TEST(MidiFile, TypeOneTracksMergeInTimeWithTheTempoMap) {
    auto ev = read("tempo_two_tracks.mid");
    // 120 bpm up to 1.0 s, 60 bpm after: beats at 0, 0.5, 1, 2, 3 s.
    std::vector<Expected> want{
        {0, on(0, 60, 100)}, {0, on(1, 48, 100)}, {0.25, on(0, 60, 0)}, {0.5, on(0, 62, 100)},
        {0.75, on(0, 62, 0)}, {1.0, on(0, 64, 100)}, {1.5, on(0, 64, 0)}, {2.0, on(0, 65, 100)},
        {2.5, on(0, 65, 0)}, {3.0, on(0, 67, 100)}, {3.0, on(1, 48, 0)}, {3.5, on(0, 67, 0)}};
    expectEvents(ev, want);
}

TEST(MidiFile, RunningStatusAndVelocityZeroNoteOns) {
    auto ev = read("running_status.mid");
    std::vector<Expected> want{{0, on(0, 60, 100)}, {0, on(0, 64, 100)}, {0.5, on(0, 60, 0)},
                               {0.5, on(0, 64, 0)}, {0.5, on(0, 67, 90)}, {1.0, on(0, 67, 0)}};
    expectEvents(ev, want);
}

TEST(MidiFile, ControlChangesOnAnyChannelAreKept) {
    // MThd type 0, one track: CC 7 = 64 on channel 3, then a note.
    std::vector<uint8_t> b{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 1, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, 16,
                           0x00, 0xB3, 7, 64, 0x00, 0x90, 60, 100, 0x60, 0x80, 60, 64, 0x00, 0xFF, 0x2F, 0x00};
    std::vector<MidiFileEvent> ev;
    ASSERT_TRUE(parseMidiFile(b, "cc", ev).ok);
    ASSERT_EQ(ev.size(), 3u);
    EXPECT_TRUE(ev[0].isController());
    EXPECT_EQ(ev[0].message, 0xB3u | 7u << 8 | 64u << 16);
    EXPECT_EQ(ev[2].message, on(0, 60, 0));  // a note-off's own velocity is not kept
}

TEST(MidiFile, BadFilesGiveOneLineErrorsAndNoEvents) {
    for (const char* name : {"truncated.mid", "text.mid", "short.mid", "no_notes.mid", "missing.mid"}) {
        std::vector<MidiFileEvent> ev{{1.0, 1}};
        Status st = readMidiFile(kDir + name, ev);
        EXPECT_FALSE(st.ok) << name;
        EXPECT_TRUE(ev.empty()) << name;
        EXPECT_FALSE(st.message.empty()) << name;
        EXPECT_EQ(st.message.find('\n'), std::string::npos) << st.message;
    }
    std::vector<MidiFileEvent> ev;
    EXPECT_NE(readMidiFile(kDir + "short.mid", ev).message.find("read beyond end of file"), std::string::npos);
    EXPECT_NE(readMidiFile(kDir + "no_notes.mid", ev).message.find("no notes"), std::string::npos);
    EXPECT_NE(readMidiFile(kDir + "truncated.mid", ev).message.find("truncated"), std::string::npos);
}

TEST(MidiFile, ChunksOfUnknownKindsAreSkipped) {
    std::vector<uint8_t> b{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 1, 0xE0, 'X', 'Y', 'Z', 'W', 0, 0, 0, 2, 1, 2,
                           'M', 'T', 'r', 'k', 0, 0, 0, 12, 0x00, 0x90, 60, 100, 0x60, 0x80, 60, 64,
                           0x00, 0xFF, 0x2F, 0x00};
    std::vector<MidiFileEvent> ev;
    Status st = parseMidiFile(b, "extra chunk", ev);
    ASSERT_TRUE(st.ok) << st.message;
    EXPECT_EQ(ev.size(), 2u);
}

TEST(MidiFile, ADamagedEventInsideATrackIsAnError) {
    // The track claims 8 bytes that hold a note-on cut after its status byte
    // and garbage; the library would truncate the track and carry on.
    std::vector<uint8_t> b{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 1, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, 8,
                           0x00, 0x90, 60, 100, 0x00, 0xF4, 0x85, 0x85};
    std::vector<MidiFileEvent> ev;
    Status st = parseMidiFile(b, "bad", ev);
    EXPECT_FALSE(st.ok);
    EXPECT_TRUE(ev.empty());
}
