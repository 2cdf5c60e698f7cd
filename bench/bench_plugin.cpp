// The plugin's audio side (what run() does, without LV2): the example pad
// with 8 voices all sounding, rendered for a host at the pad's own rate
// (no converter) and at 48000 Hz (libsamplerate), in the host's blocks.
// Arguments: host rate (0: the sound's own), host block. "rtf" is seconds
// of sound per CPU second; "load" the share of a block's duration spent on it.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "core/session.h"
#include "core/voice_engine.h"
#include "plugin/plugin_stream.h"

using namespace kf;

namespace {

void BM_PluginRun(benchmark::State& state) {
    Session s;
    if (!s.files().openPreset(std::string(KF_SOURCE_DIR) + "/examples/pad.kfp", false)) {
        state.SkipWithError("cannot open examples/pad.kfp");
        return;
    }
    const double host = state.range(0) ? static_cast<double>(state.range(0)) : s.files().sampleRate();
    const auto block = static_cast<uint32_t>(state.range(1));
    VoiceEngine voices(s.live().publishSnapshot(), 1024);
    voices.setVoices(8);
    PluginStream stream(voices, host, 1024);
    stream.setSoundRate(s.files().sampleRate());
    for (int k = 0; k < 8; ++k) {
        const uint8_t on[3] = {0x90, static_cast<uint8_t>(48 + 3 * k), 100};
        stream.midi(0, on, 3);
    }
    state.SetLabel("sound at " + std::to_string(s.files().sampleRate()) + " Hz");
    std::vector<float> out(block);
    int64_t frames = 0;
    for (auto _ : state) {
        stream.process(out.data(), block);
        benchmark::DoNotOptimize(out.data());
        frames += block;
    }
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(frames) / host);
    state.counters["rtf"].flags = benchmark::Counter::kIsRate;
    state.counters["load"] = benchmark::Counter(static_cast<double>(frames) / host,
                                                benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_PluginRun)->ArgsProduct({{0, 48000}, {64, 256, 1024}})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
