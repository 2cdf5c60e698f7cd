// Renders a MIDI file with the session's current timbre into a WAV file,
// exactly as the real-time stream would play the same notes live: every
// voice is a stream of its own (engine state, timbre copy with oscillator
// states, MIDI queue), fed time-stamped queue entries block by block and
// rendered one run of the real-time chain per block; the voices' blocks are
// mixed with the saturating add.
//
// Time stamps: an event at sample s of the stream is stamped s - 1, since
// the stream lets an entry take effect at the first sample after its stamp.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/midi_state.h"
#include "engine/status.h"
#include "files/midi_file.h"

namespace kf {

class Session;
class SoundScheme;

struct MidiRenderOptions {
    int voices = 3;              // 1..16
    double tailSeconds = -1;     // after the last event; < 0: the longer of the MIDI envelopes' release and 1 s
    int32_t blockLength = 1024;  // samples per block, 1..16384
};

// A queue entry for one voice.
struct VoiceEntry {
    int voice = 0;
    MidiEvent event;  // time = stamp
};

struct MidiPlan {
    std::vector<VoiceEntry> notes;       // in time order
    std::vector<MidiEvent> controllers;  // control changes, stamped alike
    int64_t lastSample = 0;              // stream sample of the last event
};

// Voice allocation. A note-on takes a free voice (one never used, else the
// one released longest ago), else the voice whose note started earliest; a
// note-off (velocity-0 note-on) releases the voice holding that note, the
// earliest struck if several do, and is dropped when none does (as the live
// input drops a note-off for any other than the last note). Channels are
// merged, as on the live input.
MidiPlan planVoices(const std::vector<MidiFileEvent>& events, int voices, int32_t sampleRate);

// Hands one voice's entries (time-ordered) to its queue block by block. An
// entry is handed over before the block in which it takes effect: at the
// first sample after its stamp and after the entry before it (the stream
// takes at most one entry per sample). So no entry is ever skipped by the
// read index moving past a block, and at most 255 wait in the queue.
class QueueFeeder {
public:
    QueueFeeder() = default;
    explicit QueueFeeder(std::vector<MidiEvent> entries) : entries_(std::move(entries)) {}
    void feed(MidiQueue& q, int32_t blockStart, int32_t blockCount);
    bool done() const { return next_ >= entries_.size(); }

private:
    std::vector<MidiEvent> entries_;
    size_t next_ = 0;
    int64_t lastEffect_ = std::numeric_limits<int64_t>::min();
};

// The voices, each prepared from the session as the stream prepares its
// engine when it starts, except that the MIDI envelopes start released and
// silent (a voice sounds nothing before its first note).
class MidiVoices {
public:
    MidiVoices(Session& s, int voices, int32_t blockCapacity);
    ~MidiVoices();
    MidiVoices(const MidiVoices&) = delete;
    MidiVoices& operator=(const MidiVoices&) = delete;

    int count() const { return static_cast<int>(voices_.size()); }
    int32_t sampleRate() const { return sampleRate_; }
    MidiQueue& queue(int v);
    // Controller values ("Midi1", "Midi2") for the blocks from now on.
    void setController(int k, int32_t value);
    std::array<int32_t, 2> controllerNumbers() const { return numbers_; }
    // Release tail: the longer of the two MIDI envelopes' full release and 1 s.
    int32_t defaultTail() const { return defaultTail_; }
    // One voice's block: cleared, then one run of the real-time chain.
    void renderVoice(int v, SoundBuffer block, int32_t renderPosition);
    // All voices into out (out.count samples), mixed with the saturating add.
    void renderMixed(SoundBuffer out, int32_t renderPosition);
    // First sequencer-unit complaint of any block (empty when none).
    const std::string& unitWarning() const { return warning_; }

    // The initial state of a voice's MIDI envelopes and note follower.
    static MidiRunState silentStart();

private:
    struct Voice;
    std::vector<std::unique_ptr<Voice>> voices_;
    std::vector<int16_t> scratch_;
    std::array<int32_t, 2> numbers_{7, 10};
    int32_t sampleRate_ = 0;
    int32_t defaultTail_ = 0;
    std::string warning_;
};

struct MidiRenderResult {
    int64_t samples = 0;
    int64_t clipped = 0;  // samples at full scale (+-32767)
    int32_t sampleRate = 0;
    int notes = 0;        // note-ons in the file
    std::string warning;  // e.g. a sequencer unit's message
};

// done and total in samples; returning false cancels the render.
using MidiRenderProgress = std::function<bool(int64_t done, int64_t total)>;

// Renders the song; `sink` receives each block's mixed samples in order
// (the last block cut to the length). The render lasts until the later of
// the song's end (its End-of-Track) and the last event plus the tail. For
// tests and other destinations.
Status renderMidiSong(Session& s, const MidiSong& song, const MidiRenderOptions& options,
                      const std::function<Status(SoundBuffer)>& sink, const MidiRenderProgress& progress = {},
                      MidiRenderResult* result = nullptr);
// The same for events alone (no song end).
Status renderMidiEvents(Session& s, const std::vector<MidiFileEvent>& events, const MidiRenderOptions& options,
                        const std::function<Status(SoundBuffer)>& sink, const MidiRenderProgress& progress = {},
                        MidiRenderResult* result = nullptr);

// Where the window's "Render MIDI" offers to write: "midiout.wav" in the
// save directory (the current directory when none is set).
std::string midiOutputPath(const std::string& saveDir);

// Reads midiPath, renders it and writes a 16-bit WAV at the session's rate.
// Nothing is written unless the file reads and renders; an existing output
// is replaced only by a complete file. The session is only read.
Status renderMidiFile(Session& s, const std::string& midiPath, const std::string& wavPath,
                      const MidiRenderOptions& options, const MidiRenderProgress& progress = {},
                      MidiRenderResult* result = nullptr);

}  // namespace kf
