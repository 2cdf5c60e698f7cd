// Render throughput of the engine: the start-up timbre, a worst case with
// every oscillator and stage busy, the same with a long reverb, and single
// real-time blocks. Counters report samples per second and the real-time
// factor at 44100 Hz (seconds of sound per second of one core).
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/engine.h"

using namespace kf;

namespace {

TimbreRecord worstCase() {
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

void setUp(Engine& e, int32_t capacity) {
    e.sampleRate = 44100;
    e.allocate(capacity);
    e.gen.env[0] = EnvelopeParams{50, 300, 600, 32768, 0, 200, 2};
    e.gen.env[1] = EnvelopeParams{100, 100, 500, 8000, 0, 300, 1};
    e.gen.env[2] = EnvelopeParams{10, 500, 400, 32768, 0, 256, 4};
    e.gen.lfo[0] = LfoParams{80, 8000, 0, 0, 0};
    e.gen.lfo[1] = LfoParams{50, 400, 0, 64, 3};
}

void renderWhole(benchmark::State& state, TimbreRecord t, int32_t n) {
    Engine e;
    setUp(e, n + 1024);
    std::vector<int16_t> out(static_cast<size_t>(e.capacity()));
    t.renderLength = n;
    for (auto _ : state) {
        for (auto& o : t.oscillators) o.resetState();
        SoundBuffer b{n, out.data()};
        e.renderPosition = 0;
        e.renderTimbre(b, t, true);
        benchmark::DoNotOptimize(out.data());
    }
    const double samples = static_cast<double>(n) * static_cast<double>(state.iterations());
    state.counters["samples/s"] = benchmark::Counter(samples, benchmark::Counter::kIsRate);
    state.counters["x_realtime_44k1"] = benchmark::Counter(samples / 44100.0, benchmark::Counter::kIsRate);
}

void BM_StartupTimbre(benchmark::State& state) { renderWhole(state, TimbreRecord{}, 10 * 1024); }

void BM_WorstCase(benchmark::State& state) { renderWhole(state, worstCase(), 262144); }

void BM_WorstCaseReverb(benchmark::State& state) {
    TimbreRecord t = worstCase();
    t.reverbActive = 1;
    t.reverbLength = 2000;
    renderWhole(state, t, 262144);
}

void BM_RealTimeBlock(benchmark::State& state) {
    const int32_t n = static_cast<int32_t>(state.range(0));
    Engine e;
    setUp(e, 32768);
    TimbreRecord t = worstCase();
    t.realTime = 1;
    t.renderLength = 194781;
    std::vector<int16_t> out(static_cast<size_t>(e.capacity()));
    int32_t pos = 0;
    for (auto _ : state) {
        SoundBuffer b{n, out.data()};
        e.renderPosition = pos;
        e.renderTimbre(b, t, true);
        pos += n;
        benchmark::DoNotOptimize(out.data());
    }
    const double samples = static_cast<double>(n) * static_cast<double>(state.iterations());
    state.counters["x_realtime_44k1"] = benchmark::Counter(samples / 44100.0, benchmark::Counter::kIsRate);
    // Share of the block's own duration spent rendering it (must stay below 1).
    state.counters["block_share"] =
        benchmark::Counter(static_cast<double>(n) / 44100.0 * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_StartupTimbre)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorstCase)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_WorstCaseReverb)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_RealTimeBlock)->Arg(512)->Arg(16384)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
