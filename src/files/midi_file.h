// Standard MIDI files (format 0 and 1, also wrapped in a RIFF "RMID" file)
// read into the short messages a live MIDI input would deliver, merged from
// all tracks in time order, with their times in seconds from the file's
// tempo map.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/status.h"

namespace kf {

struct MidiFileEvent {
    double seconds = 0;
    // Packed as the live input packs it: status in bits 0-7, first data
    // byte in bits 8-15, second in bits 16-23. Note-offs (0x8n) are given as
    // note-ons with velocity 0 on the same channel.
    uint32_t message = 0;

    uint8_t status() const { return static_cast<uint8_t>(message & 0xF0); }
    uint8_t channel() const { return static_cast<uint8_t>(message & 0x0F); }
    uint8_t data1() const { return static_cast<uint8_t>((message >> 8) & 0xFF); }
    uint8_t data2() const { return static_cast<uint8_t>((message >> 16) & 0xFF); }
    bool isNoteOn() const { return status() == 0x90 && data2() != 0; }
    bool isNoteOff() const { return status() == 0x90 && data2() == 0; }
    bool isController() const { return status() == 0xB0; }
};

struct MidiSong {
    std::vector<MidiFileEvent> events;
    // The latest track end (its End-of-Track, or its last event when it has
    // none), in seconds.
    double endSeconds = 0;
};

// What the reader accepts at most; beyond these a file is refused with a
// one-line error that names the limit.
struct MidiFileLimits {
    static constexpr uint64_t kMaxBytes = 64u << 20;
    static constexpr uint64_t kMaxEvents = 4'000'000;  // kept messages and tempo changes
    static constexpr int64_t kMaxSeconds = 4 * 3600;
};

// Reads the notes and control changes of every channel; other messages
// are skipped. A file that cannot be read, is not a MIDI file, is
// truncated or damaged, exceeds a limit, or holds no note gives a one-line
// error (naming the track and byte offset of damage) and no events.
Status readMidiFile(const std::string& path, MidiSong& song);
Status readMidiFile(const std::string& path, std::vector<MidiFileEvent>& events);

// The same from bytes in memory (`name` only names it in messages).
Status parseMidiFile(const std::vector<uint8_t>& bytes, const std::string& name, MidiSong& song);
Status parseMidiFile(const std::vector<uint8_t>& bytes, const std::string& name, std::vector<MidiFileEvent>& events);

}  // namespace kf
