// The plugin's rate conversion: libsamplerate's converters on one second of
// a sound at 22050 or 44100 Hz brought to a 48000 Hz host, in the plugin's
// 128-sample chunks. Besides the time, each run reports the signal-to-noise
// ratio of a converted 3 kHz sine (a least-squares sine fit at the known
// frequency; everything else counts as noise).
#include <benchmark/benchmark.h>
#include <samplerate.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double kHost = 48000, kTone = 3000;

std::vector<float> convert(int converter, double rate) {
    std::vector<float> in(static_cast<size_t>(rate));
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * kTone * static_cast<double>(i) / rate));
    std::vector<float> out(static_cast<size_t>(kHost) + 1024);
    int error = 0;
    SRC_STATE* src = src_new(converter, 1, &error);
    long produced = 0;
    for (size_t at = 0; at < in.size(); at += 128) {
        SRC_DATA d{};
        d.data_in = in.data() + at;
        d.input_frames = static_cast<long>(std::min<size_t>(128, in.size() - at));
        d.data_out = out.data() + produced;
        d.output_frames = static_cast<long>(out.size()) - produced;
        d.src_ratio = kHost / rate;
        while (d.input_frames > 0 && src_process(src, &d) == 0 && d.output_frames_gen + d.input_frames_used > 0) {
            produced += d.output_frames_gen;
            d.data_in += d.input_frames_used;
            d.input_frames -= d.input_frames_used;
            d.data_out += d.output_frames_gen;
            d.output_frames -= d.output_frames_gen;
        }
    }
    src_delete(src);
    out.resize(static_cast<size_t>(produced));
    return out;
}

double snrDb(const std::vector<float>& s) {
    const size_t from = 4096, to = s.size() - 4096;  // away from the edges
    double c = 0, q = 0;
    const double w = 2 * std::numbers::pi * kTone / kHost;
    for (size_t i = from; i < to; ++i) {
        c += s[i] * std::cos(w * static_cast<double>(i));
        q += s[i] * std::sin(w * static_cast<double>(i));
    }
    c *= 2.0 / static_cast<double>(to - from);
    q *= 2.0 / static_cast<double>(to - from);
    double signal = 0, noise = 0;
    for (size_t i = from; i < to; ++i) {
        const double fit = c * std::cos(w * static_cast<double>(i)) + q * std::sin(w * static_cast<double>(i));
        signal += fit * fit;
        noise += (s[i] - fit) * (s[i] - fit);
    }
    return 10 * std::log10(signal / noise);
}

void BM_Resample(benchmark::State& state) {
    const auto converter = static_cast<int>(state.range(0));
    const auto rate = static_cast<double>(state.range(1));
    std::vector<float> out;
    for (auto _ : state) {
        out = convert(converter, rate);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(src_get_name(converter));
    state.counters["snr_dB"] = snrDb(out);
    state.counters["realtime_x"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_Resample)
    ->ArgsProduct({{SRC_SINC_BEST_QUALITY, SRC_SINC_MEDIUM_QUALITY, SRC_SINC_FASTEST, SRC_LINEAR}, {22050, 44100}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
