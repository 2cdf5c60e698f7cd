// Buffer-wide filters of the render chain: moving average (also the window
// band-pass), the one-pole cut-off in low- and high-pass form, and the
// damped mass-and-spring resonance. All work in place and clamp their output.
#pragma once

#include <cstdint>

#include "engine/sound_buffer.h"

namespace kf {

// Cut-off filter memory. One set per engine; a reset zeroes it before the
// first sample, real-time blocks carry it over.
struct CutOffState {
    int32_t yLp = 0, yHp = 0, xPrev = 0;
};

// W = window width, T = treble volume, B = bass volume (both 0..256).
// Output limited to +-32512.
void averageFilter(SoundBuffer buf, int32_t w, int32_t treble, int32_t bass);

// k / a = coefficient 0..32767; a curve (when present) replaces it per sample.
void cutOffLowPass(SoundBuffer buf, int32_t k, const SoundBuffer* curve, bool reset, CutOffState& st);
void cutOffHighPass(SoundBuffer buf, int32_t a, const SoundBuffer* curve, bool reset, CutOffState& st);

struct Resonator {
    SoundBuffer sound;
    int32_t volume = 256;         // wet share in 1/256
    int32_t calmingSpeed = 960;   // damping, 1/1024 per sample
    int32_t dependence = 128;     // how the damping grows with the tuning, 1/256
    int32_t frequency = 0;        // tuning in 1/8 Hz when there is no curve
    const SoundBuffer* modulation = nullptr;  // per-sample tuning in 1/8 Hz
    int32_t position = 0, velocity = 0;       // resonator state
};

void resonanceFilter(Resonator& r, int32_t sampleRate);

// Stiffness coefficient for a tuning f in 1/8 Hz (exposed for the tests).
int64_t resonanceCoefficient(int64_t f, int32_t sampleRate);

}  // namespace kf
