// A corpus of varied timbres (every waveform plain and harmonic, shaped and
// unshaped, every modulation source, every oscillator flag, chords, short
// and long sounds, real-time blocks, the worst case) and a renderer that
// reduces each one to an FNV-1a hash of its samples. Used to prove that the
// render speed-ups change no sample.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "render_cases.h"

namespace kf::cases {

struct RenderCase {
    std::string name;
    TimbreRecord timbre;
    int32_t length = 4096;  // samples per render (per block in real time)
    int blocks = 0;         // > 0: real-time slices of `length` samples
    std::function<void(Engine&)> tweak;  // extra generator settings
};

inline uint64_t fnv1a(const int16_t* s, int32_t n, uint64_t h = 14695981039346656037ull) {
    for (int32_t i = 0; i < n; ++i) {
        const uint16_t v = static_cast<uint16_t>(s[i]);
        h = (h ^ (v & 0xFFu)) * 1099511628211ull;
        h = (h ^ (v >> 8)) * 1099511628211ull;
    }
    return h;
}

// Generator settings that make every source move: envelopes with shape and
// base, a random LFO, noise, a drawn graph, sequencer curves, MIDI notes.
inline void setUpCorpusEngine(Engine& e, MidiQueue& q, int32_t capacity) {
    setUpEngine(e, capacity);
    e.gen.lfo[1].form = 6;
    e.gen.noise = NoiseParams{300, 3000, 128};
    e.gen.graph.count = 4;
    e.gen.graph.points[0] = {0, 0};
    e.gen.graph.points[1] = {4000, 30000};
    e.gen.graph.points[2] = {9000, -12000};
    e.gen.graph.points[3] = {16384, 5000};
    e.gen.midiValue = {90, 40};
    e.gen.midiEnv[1] = MidiEnvelopeParams{0, 50, 40, 12800, 30000};
    CurveData wave;
    wave.count = 5;
    wave.points[0] = {0, 0};
    wave.points[1] = {3000, 32000};
    wave.points[2] = {8192, -5000};
    wave.points[3] = {12000, -30000};
    wave.points[4] = {16384, 0};
    e.initCustomWaveForm(wave);
    e.sample1Data.resize(5000);
    for (size_t i = 0; i < e.sample1Data.size(); ++i)
        e.sample1Data[i] = static_cast<int16_t>((static_cast<int32_t>(i * 7919 % 65536) - 32768) / 3);
    // Seq: a four-note melody in eighths of a hertz with a rest; SEnv: a ramp per note.
    e.sequencerFrequency = [](SoundBuffer& b, int32_t start, int32_t) {
        static const int16_t notes[] = {523 * 8, 659 * 8, 0, 392 * 8};
        for (int32_t i = 0; i < b.count; ++i) b.samples[i] = notes[((start + i) / 1500) % 4];
        return Status::success();
    };
    e.sequencerEnvelope = [](SoundBuffer& b, int32_t start, int32_t) {
        for (int32_t i = 0; i < b.count; ++i) b.samples[i] = static_cast<int16_t>(32767 - ((start + i) % 1500) * 20);
        return Status::success();
    };
    q.reset();
    auto note = [&](int32_t time, int n, int vel) { q.push(time, 0x90u | (uint32_t(n) << 8) | (uint32_t(vel) << 16)); };
    note(100, 60, 100);
    note(1800, 64, 90);
    note(2500, 64, 0);
    note(3100, 67, 80);
    note(5200, 72, 70);
    e.midiQueue = &q;
    e.random.seed = 12345;
}

inline OscillatorRecord osc(uint8_t code, int32_t freq, bool harmonic, int32_t shape) {
    OscillatorRecord o = OscillatorRecord::defaults();
    o.active = 1;
    o.waveForm = code;
    o.frequency = freq;
    o.harmonicsActive = harmonic ? 1 : 0;
    o.shape = shape;
    for (size_t h = 0; h < 16; ++h) o.harmonics[h].detune = static_cast<uint16_t>((h * 37) % 257);
    o.harmonics[5].level = 0;  // a skipped harmonic
    return o;
}

inline std::vector<RenderCase> corpus() {
    std::vector<RenderCase> c;
    auto add = [&](std::string name, TimbreRecord t, int32_t len, int blocks = 0,
                   std::function<void(Engine&)> tweak = {}) {
        if (blocks > 0) t.realTime = 1;
        c.push_back(RenderCase{std::move(name), t, len, blocks, std::move(tweak)});
    };

    add("startup", startupTimbre(), 10 * 1024);
    add("startup-1-sample", startupTimbre(), 1);
    add("startup-long", startupTimbre(), 262144);

    // Every waveform code (and an unknown one), plain and harmonic, shaped and not.
    for (uint8_t code : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13}) {
        TimbreRecord t;
        t.oscillatorsCalm = code % 2;
        t.oscillators[0] = osc(code, 440, false, 1024);
        t.oscillators[1] = osc(code, 311, false, 600);
        t.oscillators[1].phase = 40;
        t.oscillators[1].flags |= kFlagInvert;
        t.oscillators[2] = osc(code, 97, false, 1700);
        t.oscillators[2].relativeFrequency = 2500;
        t.oscillators[2].flags = 0;  // unfiltered
        t.oscillators[3] = osc(code, 180, true, 1024);
        t.oscillators[4] = osc(code, 133, true, 1300);
        t.oscillators[4].shapeModulation.sources = srcBit(kSrcEnv2);
        t.oscillators[4].volumeModulation.sources = srcBit(kSrcLfo1);
        t.oscillators[5] = osc(code, 5000, true, 1999);
        t.oscillators[5].volume = 32768;
        t.oscillators[5].relativeFrequency = 4000;
        t.oscillators[6] = osc(code, 61, true, 200);
        t.oscillators[6].volume = 32768;
        for (auto& h : t.oscillators[6].harmonics) h.level = 256;
        t.oscillators[7] = osc(kWaveSine, 250, false, 1024);  // audible even where the others are silent
        t.oscillators[7].flags = 0;
        t.cutOffActive = 1;
        add("wave-" + std::to_string(code), t, 6000);
    }

    // Shape driven below zero and to the top of its range.
    {
        TimbreRecord t;
        t.oscillators[0] = osc(kWaveSine, 220, true, 300);
        t.oscillators[0].shapeModulation.sources = srcBit(kSrcEnv2) | srcBit(kSrcLfo1);
        t.oscillators[1] = osc(kWaveTriangle, 330, false, 100);
        t.oscillators[1].shapeModulation.sources = srcBit(kSrcLfo1);
        t.oscillators[2] = osc(kWaveAbsSine, 150, true, 2048);
        t.oscillators[2].shapeModulation.sources = srcBit(kSrcEnv1);
        add("shape-extremes", t, 8000, 0, [](Engine& e) { e.gen.env[1].base = -16000; });
    }

    // Every modulation source on level, frequency and shape, and on the timbre stages.
    for (int s = 1; s < kSourceCount; ++s) {
        TimbreRecord t;
        t.oscillators[0] = osc(kWaveSine, 440, false, 1024);
        t.oscillators[0].volumeModulation.sources = srcBit(s);
        t.oscillators[1] = osc(kWaveSaw, 300, false, 900);
        t.oscillators[1].frequencyModulation.sources = srcBit(s);
        t.oscillators[2] = osc(kWaveSine, 200, true, 1100);
        t.oscillators[2].shapeModulation.sources = srcBit(s) | srcBit(kSrcNone);
        t.oscillators[3] = osc(kWaveSquare, 100, true, 1024);
        t.oscillators[3].shapeModulation.sources = srcBit(s);
        t.oscillators[3].frequencyModulation.sources = srcBit(s) | srcBit(kSrcSeq);
        t.cutOffActive = 1;
        t.cutOffModulation = srcBit(kSrcNone) | srcBit(s);
        t.resonanceActive = s != kSrcLfo2;  // a random curve drives the resonator to silence
        t.resonanceFrequency = 800;
        t.resonanceFrequencyModulation = srcBit(s);
        t.volumeModulation = srcBit(s);
        add("source-" + std::to_string(s), t, 7000, 0, [](Engine& e) { e.gen.lfo[1].amplitude = 16000; });
    }

    // Oscillators that use the running sum: ring, sync, phase and frequency modulation.
    {
        TimbreRecord t;
        t.oscillatorsCalm = 1;
        t.oscillators[0] = osc(kWaveSine, 220, false, 1024);
        t.oscillators[1] = osc(kWaveSaw, 550, true, 800);
        t.oscillators[1].flags |= kFlagRingMod;
        t.oscillators[2] = osc(kWaveSquare, 70, false, 1024);
        t.oscillators[3] = osc(kWaveSine, 333, true, 1200);
        t.oscillators[3].flags |= kFlagSync;
        t.oscillators[4] = osc(kWaveSine, 440, true, 1024);
        t.oscillators[4].flags |= kFlagPhaseMod;
        t.oscillators[5] = osc(kWaveTriangle, 200, false, 1024);
        t.oscillators[5].flags |= kFlagFM;
        t.oscillators[6] = osc(kWaveNoise, 800, false, 1024);
        t.oscillators[6].flags |= kFlagSync;
        t.oscillators[7] = osc(kWaveSine, 100, true, 700);
        t.oscillators[7].flags |= kFlagFM | kFlagPhaseMod;
        t.oscillators[7].frequencyModulation.sources = srcBit(kSrcLfo1);
        t.oscillators[8] = osc(kWaveLightNoise, 900, false, 1024);
        t.oscillators[8].flags = kFlagFM;
        t.oscillators[9] = osc(kWaveCustom, 0, true, 1024);
        add("running-sum", t, 9000);
    }

    // Chords with harmonic, noisy and shaped oscillators.
    {
        TimbreRecord t;
        t.chordActive = 1;
        t.setChordText("C-5,e5,H-5,,G#4");
        t.oscillators[0] = osc(kWaveSine, 523, true, 1200);
        t.oscillators[1] = osc(kWaveNoise, 523, false, 1024);
        t.oscillators[2] = osc(kWaveSaw, 300, false, 1024);
        t.oscillators[2].flags = kFlagFilter;  // not melodic
        add("chord", t, 5000);
    }

    // The worst case, with and without a long reverb, and in real-time blocks.
    add("worst", worstCase(), 30000);
    {
        TimbreRecord t = worstCase();
        t.reverbActive = 1;
        t.reverbLength = 2000;
        add("worst-reverb", t, 30000);
    }
    add("worst-realtime-512", worstCase(), 512, 12);
    {
        TimbreRecord t = worstCase();
        for (auto& o : t.oscillators) o.frequencyModulation.sources |= srcBit(kSrcSeq);
        t.chordActive = 1;
        add("worst-realtime-chord", t, 2000, 4);
    }
    return c;
}

// Renders one case on a fresh engine; `prepare` may change engine settings
// (paths, threads) before the first render. Returns the hash of every sample
// rendered and of the oscillators' state words afterwards.
inline uint64_t renderCaseHash(const RenderCase& rc, const std::function<void(Engine&)>& prepare = {},
                               std::vector<int16_t>* samples = nullptr) {
    Engine e;
    MidiQueue q;
    const int32_t cap = rc.length + 8192;
    setUpCorpusEngine(e, q, std::max<int32_t>(cap, 16384));
    if (rc.tweak) rc.tweak(e);
    if (prepare) prepare(e);
    TimbreRecord t = rc.timbre;
    std::vector<int16_t> out(static_cast<size_t>(e.capacity()));
    uint64_t h = 14695981039346656037ull;
    const int blocks = rc.blocks > 0 ? rc.blocks : 1;
    t.renderLength = rc.blocks > 0 ? 194781 : rc.length;
    int32_t pos = 0;
    for (auto& o : t.oscillators) o.resetState();
    for (int b = 0; b < blocks; ++b) {
        SoundBuffer buf{rc.length, out.data()};
        e.renderPosition = pos;
        e.renderTimbre(buf, t, true);
        pos += rc.length;
        h = fnv1a(out.data(), buf.count, h);
        if (samples) samples->insert(samples->end(), out.data(), out.data() + buf.count);
    }
    for (auto& o : t.oscillators) {
        for (int32_t w : {o.phaseAccumulator(), o.cycleCount(), o.calmLevel(), o.calmInput()}) {
            const int16_t halves[2] = {static_cast<int16_t>(w & 0xFFFF), static_cast<int16_t>(w >> 16)};
            h = fnv1a(halves, 2, h);
        }
    }
    return h;
}

}  // namespace kf::cases
