// The "Tools" menu's one-shot rewrites of a timbre's ten oscillators. Each
// works on the record alone; the session wraps them with what a command
// does around them (pushing the record into the controls, rendering).
#pragma once

#include <chrono>
#include <cstdint>

#include "engine/random.h"
#include "engine/sound_buffer.h"
#include "engine/records.h"
#include "units/note_sequencer.h"

namespace kf {

// Frequency (Hz) of "All melodic osc to C-<octave>" for octave 3..8, 0 otherwise.
int32_t melodicCFrequency(int octave);

// Gives every Melodic oscillator the frequency; the others keep theirs.
void setMelodicFrequency(TimbreRecord& t, int32_t hz);

// All ten oscillators, Melodic or not: halved (truncated) or doubled.
void shiftOctave(TimbreRecord& t, bool up);

// The Fat wizard: its two track bars and the stack it draws.
struct FatWizard {
    static constexpr int32_t kMinRange = 1, kMaxRange = 4;
    static constexpr int32_t kMinDetune = 0, kMaxDetune = 10;

    int32_t range = 4;    // "Range": up to range-1 octave doublings
    int32_t detune = 10;  // "Max Detune": spread in thousandths

    static bool validRange(int32_t r) { return r >= kMinRange && r <= kMaxRange; }
    static bool validDetune(int32_t d) { return d >= kMinDetune && d <= kMaxDetune; }

    // Activates all ten oscillators at 131 Hz with random octave, detune,
    // phase and waveform, drawing from rng in a fixed order; nothing else
    // of the oscillators changes.
    void apply(TimbreRecord& t, Random& rng) const;
};

// The wizard's seed: milliseconds since midnight UTC, so two runs within
// the same millisecond build the same stack.
uint32_t fatWizardSeed(std::chrono::system_clock::time_point when);
uint32_t fatWizardSeed();  // now

// The TB-303 starting point's own changes, made after the start-up preset
// is back: oscillator 1 active, triangle at 261 Hz following "Seq"; the
// resonance on, following "SEnv"; 16 notes of 261 Hz. Earlier selections
// stay selected beside the added ones.
void applyTb303(TimbreRecord& t, NoteSequencer& notes);

// "Process sound file": oscillator 1 plays Sample 1 at full volume and at
// its own speed (kSampleOwnSpeedHz).
void applySamplePlayer(TimbreRecord& t);
// Sound length (in 1024-sample units) that covers a sample of `count`
// samples, truncated; at least the length control's minimum of 1 and at
// most what the sound buffers hold.
int32_t lengthForSample(int32_t count);

}  // namespace kf
