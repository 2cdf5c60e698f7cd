// Render throughput of the engine: the start-up timbre, a worst case with
// every oscillator and stage busy, the same with a long reverb, and single
// real-time blocks. Counters report samples per second and the real-time
// factor at 44100 Hz (seconds of sound per second of one core).
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/engine.h"
#include "worst_case.h"

using namespace kf;

namespace {

using bench::worstCase;

void setUp(Engine& e, int32_t capacity) { bench::setUpEngine(e, capacity); }

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
