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
};

// Renders over target's whole count. Reads and writes back the four running
// state words of osc; nothing else in it changes.
void renderOscillator(SoundBuffer target, int32_t bankLevel, OscillatorRecord& osc,
                      const OscillatorInputs& in, uint8_t calm);

constexpr int kWaveListSize = 12;
uint8_t waveListToCode(int listPos);    // list position 0..11 -> stored code
int waveCodeToList(uint8_t code);       // -1 for codes above 11
const char* waveListName(int listPos);  // "Sine", "|Sine|", "EvenSine", ...; nullptr when out of range

}  // namespace kf
