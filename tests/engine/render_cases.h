// Timbres shared by the render benchmarks and the render identity tests: the
// audible start-up timbre, the worst case (every oscillator and stage busy)
// and the engine parameters both render them with.
#pragma once

#include <cstdint>

#include "engine/engine.h"

namespace kf::cases {

// The start-up timbre with its first oscillator switched on: what a user
// hears first.
inline TimbreRecord startupTimbre() {
    TimbreRecord t;
    t.oscillators[0].active = 1;
    return t;
}

// Ten oscillators of 16 detuned harmonics, shaped and modulated, through
// every filter and effect.
inline TimbreRecord worstCase() {
    TimbreRecord t;
    for (size_t k = 0; k < 10; ++k) {
        OscillatorRecord& o = t.oscillators[k];
        o.active = 1;
        o.harmonicsActive = 1;
        o.frequency = 110 + 37 * static_cast<int32_t>(k);
        o.shape = 900;
        o.waveForm = static_cast<uint8_t>(k % 2 ? kWaveSaw : kWaveSine);
        o.flags = static_cast<uint8_t>(k < 7 ? kFlagFilter | kFlagMelodic : kFlagMelodic);
        for (size_t h = 0; h < 16; ++h) {
            o.harmonics[h].level = static_cast<uint16_t>(256 / (h + 1));
            o.harmonics[h].detune = static_cast<uint16_t>(3 * h + k);
        }
        o.volume = 3000;
        o.volumeModulation.sources = srcBit(kSrcEnv1) | srcBit(kSrcLfo1);
        o.frequencyModulation.sources = srcBit(kSrcLfo2);
        o.shapeModulation.sources = srcBit(kSrcEnv2);
    }
    t.length = 256;
    t.averageFilterActive = 1;
    t.averageFilterWindowWidth = 8;
    t.averageFilterTrebleVolume = 128;
    t.windowFilterActive = 1;
    t.fwWindowPos = 4;
    t.fwWindowWidth = 16;
    t.cutOffActive = 1;
    t.cutOffModulation = srcBit(kSrcNone) | srcBit(kSrcEnv3);
    t.resonanceActive = 1;
    t.resonanceFrequency = 2000;
    t.resonanceFrequencyModulation = srcBit(kSrcNone) | srcBit(kSrcLfo1);
    t.wrapOverdriveActive = 1;
    t.wrapOverdrive = 64;
    t.preOverdrive = 32;
    t.volumeModulation = srcBit(kSrcEnv1);
    t.feedBackActive = 1;
    t.flangerActive = 1;
    t.chorusActive = 1;
    t.chorusVoices = 3;
    return t;
}

// The generator settings the worst case is rendered with.
inline void setUpEngine(Engine& e, int32_t capacity) {
    e.sampleRate = 44100;
    e.allocate(capacity);
    e.gen.env[0] = EnvelopeParams{50, 300, 600, 32768, 0, 200, 2};
    e.gen.env[1] = EnvelopeParams{100, 100, 500, 8000, 0, 300, 1};
    e.gen.env[2] = EnvelopeParams{10, 500, 400, 32768, 0, 256, 4};
    e.gen.lfo[0] = LfoParams{80, 8000, 0, 0, 0};
    e.gen.lfo[1] = LfoParams{50, 400, 0, 64, 3};
}

}  // namespace kf::cases
