// MIDI file rendering: a 3-minute, 3-voice song (three-note chords changing
// every half second, a melody note stealing a voice in between) played by
// the example pad. The counter "rtf" is seconds of sound rendered per
// CPU second of the rendering thread (one core); above 1 is faster than real time.
#include <benchmark/benchmark.h>


#include <string>
#include <ctime>
#include <vector>

#include "core/midi_render.h"
#include "core/session.h"

using namespace kf;

namespace {

// CPU time of the process: the machine is shared, wall time is not ours alone.
double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

std::vector<MidiFileEvent> song(double seconds) {
    std::vector<MidiFileEvent> ev;
    const int roots[] = {48, 53, 55, 50, 57, 52};
    int k = 0;
    for (double t = 0; t + 0.5 <= seconds; t += 0.5, ++k) {
        const int r = roots[k % 6];
        for (int n : {r, r + 4, r + 7}) ev.push_back({t, 0x90u | unsigned(n) << 8 | 100u << 16});
        ev.push_back({t + 0.25, 0x90u | unsigned(r + 12) << 8 | 90u << 16});
        ev.push_back({t + 0.45, 0x90u | unsigned(r + 12) << 8});
        for (int n : {r + 4, r + 7}) ev.push_back({t + 0.49, 0x90u | unsigned(n) << 8});
    }
    return ev;
}

void BM_RenderMidiPad3Voices(benchmark::State& state) {
    Session s;
    s.render().waitForRender();
    if (!s.files().openPreset(std::string(KF_SOURCE_DIR) + "/examples/pad.kfp", false)) {
        state.SkipWithError("cannot open examples/pad.kfp");
        return;
    }
    s.render().waitForRender();
    const auto ev = song(180);
    MidiRenderOptions o;
    o.voices = 3;
    o.tailSeconds = 0;
    int64_t samples = 0;
    double cpu = 0;
    for (auto _ : state) {
        const double t0 = cpuSeconds();
        MidiRenderResult r;
        Status st = renderMidiEvents(s, ev, o, [](SoundBuffer b) {
            benchmark::DoNotOptimize(b.samples[0]);
            return Status::success();
        }, {}, &r);
        cpu += cpuSeconds() - t0;
        if (!st) state.SkipWithError(st.message.c_str());
        samples += r.samples;
        state.counters["rate"] = r.sampleRate;
        state.counters["rtf"] = (static_cast<double>(samples) / r.sampleRate) / cpu;
    }
    state.counters["samples_per_s"] = benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderMidiPad3Voices)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
