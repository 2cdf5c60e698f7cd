// Parameters of the modulation generators (filled from the controls before
// every render) and the running state of the MIDI-driven ones.
#pragma once

#include <array>
#include <cstdint>

#include "engine/records.h"

namespace kf {

struct EnvelopeParams {
    int32_t attack = 0, sustain = 0, release = 720;  // 1/1024 of a period
    int32_t amplitude = 32768, base = 0;             // already scaled (position x 32)
    int32_t shape = 256, iterations = 1;
};

struct LfoParams {
    int32_t frequency = 32;   // 1/16 Hz
    int32_t amplitude = 1024; // position x 4
    int32_t base = 0;         // position x 128
    int32_t phase = 0;        // 1/256 period
    int32_t form = 0;         // 0 sine, 3 triangle, 6 random
};

struct NoiseParams {
    int32_t frequency = 32;   // values per second
    int32_t amplitude = 2048; // position x 8
    int32_t base = 0;         // position x 128
};

struct MidiEnvelopeParams {
    int32_t attack = 10, decay = 20, release = 20;
    int32_t sustain = 25600;  // position x 256
    int32_t amplitude = 16384;
};

struct GeneratorParams {
    std::array<EnvelopeParams, 3> env{};
    std::array<LfoParams, 2> lfo{};
    NoiseParams noise{};
    std::array<MidiEnvelopeParams, 2> midiEnv{};
    std::array<int32_t, 2> midiValue{127, 127};
    std::array<int32_t, 2> midiSensitivity{256, 256};
    CurveData graph;  // the graph envelope's points
};

// Running state that carries over from call to call (and block to block).
struct MidiRunState {
    std::array<int32_t, 2> level{0, 0};
    std::array<int32_t, 2> stage{0, 0};  // -1 release, 0 attack, 1 decay, 2 sustain
    int32_t followerCurrent = 2088;
};

}  // namespace kf
