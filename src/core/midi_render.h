// Renders a MIDI file with the session's current timbre into a WAV file,
// through the voice engine the live stream plays: the same notes give the
// same samples. Every event reaches the engine stamped with the sample it
// falls on, in the block that holds that sample.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "engine/sound_buffer.h"
#include "engine/status.h"
#include "files/midi_file.h"

namespace kf {

class Session;
struct SoundSnapshot;

struct MidiRenderOptions {
    int voices = 3;              // 1..16
    double tailSeconds = -1;     // after the last event; < 0: the longer of the MIDI envelopes' release and 1 s
    int32_t blockLength = 1024;  // samples per block, 1..16384
    double gainDb = std::numeric_limits<double>::quiet_NaN();  // NaN: the voice engine's default (1/voices)
    bool octaveDown = false;     // notes an octave below their frequency
    // Set: the finished render scaled so its peak sits at this level (dBFS, <= 0); the gain is then unused.
    double normalizeDb = std::numeric_limits<double>::quiet_NaN();
};

// The release tail a snapshot's MIDI envelopes need: the longer of their
// full release from the top level and 1 s, in samples.
int32_t midiReleaseTail(const SoundSnapshot& s);

struct MidiRenderResult {
    int64_t samples = 0;
    int64_t clipped = 0;  // samples at full scale (+-32767)
    int32_t sampleRate = 0;
    int notes = 0;        // note-ons in the file
    double gainDb = 0;    // the gain stage's setting (normalizing: the gain that reached the peak)
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
