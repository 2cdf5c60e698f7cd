// The live voice engine's block cost: one block of N voices, each holding
// a note, for the worst-case timbre (every oscillator and stage busy) and
// every factory preset, at 64, 256 and 1024 frames. The counter
// "us/voice" is the block's time divided by its voices (microseconds);
// "period_%" is the block's time in percent of the block's duration at the
// preset's rate.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "../tests/engine/render_cases.h"
#include "core/session.h"
#include "core/voice_engine.h"

using namespace kf;

namespace {

void blocks(benchmark::State& state, const std::string& preset) {
    Session s;
    s.render().waitForRender();
    if (preset.empty()) {
        s.params().setTimbre(cases::worstCase());
    } else if (!s.files().openPreset(preset, false)) {
        state.SkipWithError(("cannot open " + preset).c_str());
        return;
    }
    s.render().waitForRender();
    const auto frames = static_cast<int32_t>(state.range(0));
    const int voices = static_cast<int>(state.range(1));
    VoiceEngine e(s.live().publishSnapshot(), frames);
    e.setVoices(voices);
    for (int v = 0; v < voices; ++v) e.midi(0, 0x90u | uint32_t(48 + 5 * v) << 8 | 100u << 16);
    std::vector<int16_t> out(static_cast<size_t>(frames));
    for (auto _ : state) {
        e.render(out.data(), frames);
        benchmark::DoNotOptimize(out.data());
    }
    // Rate counters inverted: elapsed time over the value.
    state.counters["us/voice"] = benchmark::Counter(static_cast<double>(state.iterations()) * voices * 1e-6,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["period_%"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * frames / e.sampleRate() * 0.01,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int frames : {64, 256, 1024}) b->Args({frames, 1})->Args({frames, 8});
    b->Unit(benchmark::kMicrosecond)->UseRealTime();
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("Voices/worst-case", [](benchmark::State& st) { blocks(st, ""); })->Apply(sizes);
    namespace fs = std::filesystem;
    std::vector<fs::path> presets;
    const fs::path bank = fs::path(KF_BANK_DIR);
    if (fs::is_directory(bank))
        for (const auto& f : fs::recursive_directory_iterator(bank))
            if (f.path().extension() == ".kfp") presets.push_back(f.path());
    std::sort(presets.begin(), presets.end());
    for (const fs::path& p : presets)
        benchmark::RegisterBenchmark(("Voices/" + p.parent_path().filename().string() + "/" + p.stem().string()).c_str(),
                                     [p](benchmark::State& st) { blocks(st, p.string()); })
            ->Apply(sizes);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
