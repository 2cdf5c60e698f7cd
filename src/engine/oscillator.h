// One oscillator rendered into a buffer that already holds the running sum
// of the oscillators before it: adds to it, ring-modulates it, or consumes
// it as a sync / phase / frequency modulator.
#pragma once

#include <cstdint>

#include "engine/random.h"
#include "engine/records.h"
#include "engine/sound_buffer.h"

namespace kf {

struct OscillatorInputs {
    int32_t sampleRate = 22050;
    const int16_t* customWave = nullptr;  // 1025 values; nullptr = silence
    SoundBuffer sample1, sample2;         // may be empty
    Random* random = nullptr;             // shared generator (Noise / Light noise)
    // Modulation curves, absent when .samples == nullptr; when present at
    // least as long as the target.
    SoundBuffer volumeMod, frequencyMod, shapeMod;
    // Vectorised harmonic terms (same samples; false: library functions only).
    bool fastMath = true;
};

// Renders over target's whole count. Reads and writes back the four running
// state words of osc; nothing else in it changes.
void renderOscillator(SoundBuffer target, int32_t bankLevel, OscillatorRecord& osc,
                      const OscillatorInputs& in, uint8_t calm);

// The same oscillator in two steps, for rendering oscillators side by side:
// renderOscillatorOwn writes the calm stage's output (before it meets the
// running sum) for an oscillator that reads no running sum, and
// combineOscillator then meets it with the running sum as renderOscillator
// would. Both together change the record exactly as renderOscillator does.
bool oscillatorReadsSum(const OscillatorRecord& osc);     // sync, phase or frequency modulation
bool oscillatorDrawsRandom(const OscillatorRecord& osc);  // moves the shared generator
void renderOscillatorOwn(int32_t n, int32_t bankLevel, OscillatorRecord& osc, const OscillatorInputs& in,
                         uint8_t calm, int32_t* own);
void combineOscillator(int16_t* samples, const int32_t* own, int32_t n, uint8_t flags);

constexpr int kWaveListSize = 12;
uint8_t waveListToCode(int listPos);    // list position 0..11 -> stored code
int waveCodeToList(uint8_t code);       // -1 for codes above 11
const char* waveListName(int listPos);  // "Sine", "|Sine|", "EvenSine", ...; nullptr when out of range

}  // namespace kf
