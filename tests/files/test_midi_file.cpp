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

TEST(MidiFile, UnusualAndDamagedFiles) {
    // Valid files: the first note's time and the song's end; damaged ones:
    // a piece of their one-line error.
    struct Case {
        const char* file;
        const char* error;
        double firstNote, end;
    };
    const double farTicks = 9.0 * ((1 << 28) - 1) / 1e9;  // past 2^31 ticks, at 1 us per 1000 ticks
    const Case cases[] = {
        {"sysex_packets.mid", nullptr, 0.0, 0.5},
        {"lone_f7_escape.mid", nullptr, 0.0, 0.5},
        {"no_end_of_track.mid", nullptr, 0.0, 0.5},
        {"trailing_bytes.mid", nullptr, 0.0, 0.5},
        {"smpte_25fps.mid", nullptr, 1.0, 1.5},
        {"ticks_past_2_31.mid", nullptr, farTicks, farTicks},
        {"end_of_track_late.mid", nullptr, 0.0, 10.5},
        {"long_header.mid", nullptr, 0.0, 0.5},
        {"rmid.rmi", nullptr, 0.0, 0.5},
        {"running_status_after_sysex.mid", "track 1 at byte 38: data byte without a status", 0, 0},
        {"running_status_after_meta.mid", "track 1 at byte 34: data byte without a status", 0, 0},
        {"division_zero.mid", "0 ticks per quarter note", 0, 0},
        {"format_2.mid", "format 2", 0, 0},
        {"too_long.mid", "longer than 4 hours", 0, 0},
        {"long_delta.mid", "bad delta time", 0, 0},
        {"meta_past_track.mid", "meta event longer than its track", 0, 0},
        {"missing_track.mid", "1 of 3 tracks", 0, 0},
        {"cut_message.mid", "message cut off", 0, 0},
    };
    for (const Case& c : cases) {
        MidiSong song;
        Status st = readMidiFile(kDir + "hostile/" + c.file, song);
        if (c.error) {
            EXPECT_FALSE(st.ok) << c.file;
            EXPECT_NE(st.message.find(c.error), std::string::npos) << c.file << ": " << st.message;
            EXPECT_TRUE(song.events.empty()) << c.file;
            continue;
        }
        ASSERT_TRUE(st.ok) << c.file << ": " << st.message;
        ASSERT_EQ(song.events.size(), 2u) << c.file;
        EXPECT_EQ(song.events[0].message, on(0, 69, 100)) << c.file;
        EXPECT_DOUBLE_EQ(song.events[0].seconds, c.firstNote) << c.file;
        EXPECT_DOUBLE_EQ(song.endSeconds, c.end) << c.file;
    }
}

TEST(MidiFile, SixtyFiveThousandOneNoteTracksMergeInTrackOrder) {
    std::vector<uint8_t> b{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0xFF, 0xFF, 1, 0xE0};
    for (int t = 0; t < 65535; ++t) {
        const uint8_t note = static_cast<uint8_t>(t % 128);
        b.insert(b.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 12, 0, 0x90, note, 1, 1, 0x80, note, 0, 0, 0xFF, 0x2F, 0});
    }
    MidiSong song;
    ASSERT_TRUE(parseMidiFile(b, "tracks", song).ok);
    ASSERT_EQ(song.events.size(), 2u * 65535);
    EXPECT_EQ(song.events[1].data1(), 1);          // every note-on (tick 0) first, in track order
    EXPECT_TRUE(song.events[65535].isNoteOff());   // then every note-off
}
