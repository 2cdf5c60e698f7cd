// Render throughput of the engine: the start-up timbre, a worst case with
// every oscillator and stage busy, the same with a long reverb, and single
// real-time blocks. Counters report samples per second and the real-time
// factor at 44100 Hz (seconds of sound per second of one core).
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/engine.h"
#include "../tests/engine/render_cases.h"

using namespace kf;
using kf::cases::setUpEngine;
using kf::cases::worstCase;

namespace {

// Arg 0 of every benchmark: 0 = the scalar path (library functions), 1 = the
// vectorised path; arg 1: threads (1 = this thread only).
void configure(Engine& e, const benchmark::State& state) {
    e.speed.fastMath = state.range(0) != 0;
    e.speed.threads = static_cast<int>(state.range(1));
}

void renderWhole(benchmark::State& state, TimbreRecord t, int32_t n) {
    Engine e;
    setUpEngine(e, n + 1024);
    configure(e, state);
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

void BM_StartupTimbre(benchmark::State& state) { renderWhole(state, kf::cases::startupTimbre(), 10 * 1024); }

void BM_WorstCase(benchmark::State& state) { renderWhole(state, worstCase(), 262144); }

void BM_WorstCaseReverb(benchmark::State& state) {
    TimbreRecord t = worstCase();
    t.reverbActive = 1;
    t.reverbLength = 2000;
    renderWhole(state, t, 262144);
}

void BM_RealTimeBlock(benchmark::State& state) {
    const int32_t n = static_cast<int32_t>(state.range(2));
    Engine e;
    setUpEngine(e, 32768);
    configure(e, state);
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

// Scalar and fast paths side by side, on one thread and on two.
void paths(benchmark::internal::Benchmark* b, std::vector<int64_t> extra = {}) {
    for (int64_t threads : {1, 2})
        for (int64_t fast : {0, 1}) {
            std::vector<int64_t> args{fast, threads};
            args.insert(args.end(), extra.begin(), extra.end());
            b->Args(args);
        }
}

BENCHMARK(BM_StartupTimbre)->Apply([](auto* b) { paths(b); })->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WorstCase)->Apply([](auto* b) { paths(b); })->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_WorstCaseReverb)->Apply([](auto* b) { paths(b); })->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_RealTimeBlock)
    ->Apply([](auto* b) {
        paths(b, {512});
        paths(b, {16384});
    })
    ->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
