// "tone": render one oscillator into a WAV file.
#include <charconv>
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "app/cli_output.h"
#include "app/commands.h"
#include "engine/arith.h"
#include "engine/curve.h"
#include "engine/oscillator.h"
#include "engine/param_table.h"
#include "engine/random.h"
#include "engine/records.h"
#include "engine/sound_buffer.h"
#include "files/wav.h"

namespace kf::cli {

namespace {

struct ToneOptions {
    std::string out;
    std::string wave = "Sine";
    std::string freq, rel, volume, shape, phase, harmonics, detune, rate, length, bits, seed;
    bool calm = false;
};

bool parseInt(const std::string& text, const char* option, int64_t lo, int64_t hi, int64_t& value,
              const char* rangeText = nullptr) {
    return parseWholeNumber(text, option, lo, hi, value, rangeText);
}

// An option that sets a parameter: its range is the parameter's.
bool parseParam(const std::string& text, const char* option, ParamId id, int64_t& value) {
    const ParamInfo& p = paramInfo(id);
    return parseInt(text, option, static_cast<int64_t>(p.min), static_cast<int64_t>(p.max), value);
}

// Comma-separated list of up to 16 harmonic bar positions.
bool parseList(const std::string& text, const char* option, std::vector<int64_t>& values) {
    values.clear();
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int64_t v = 0;
        if (!parseParam(item, option, ParamId::OscLevel1, v)) return false;
        values.push_back(v);
        if (values.size() > 16) {
            usageError(std::string(option) + " takes at most 16 values");
            return false;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

// The loaded-sample waveforms need sample files, which this command has not.
bool toneWave(const WaveListItem& w) { return w.code != kWaveSample1 && w.code != kWaveSample2; }

int waveByName(const std::string& name) {
    for (const WaveListItem& w : kWaveList)
        if (toneWave(w) && lowerCase(name) == lowerCase(std::string(w.name))) return w.code;
    return -1;
}

// "Sine, |Sine|, ..., Custom"; names with a space or bars quoted when `quoted`.
std::string toneWaveNames(bool quoted, std::string_view lastJoin) {
    std::vector<std::string> names;
    for (const WaveListItem& w : kWaveList) {
        if (!toneWave(w)) continue;
        const bool odd = w.name.find_first_of(" |") != std::string_view::npos;
        names.push_back(quoted && odd ? "\"" + std::string(w.name) + "\"" : std::string(w.name));
    }
    std::string out;
    for (size_t i = 0; i < names.size(); ++i)
        out += (i == 0 ? "" : i + 1 == names.size() ? std::string(lastJoin) : std::string(", ")) + names[i];
    return out;
}

// The oscillator the options describe, from the oscillator defaults with
// the chosen waveform; false after a usage error.
bool toneOscillator(const ToneOptions& o, int code, OscillatorRecord& osc) {
    osc = OscillatorRecord::defaults();
    osc.volume = 128 * paramInfo(ParamId::OscVolume).scale;
    osc.active = 1;
    osc.waveForm = static_cast<uint8_t>(code);
    osc.resetState();
    int64_t v = 0;
    struct Field {
        const std::string& text;
        const char* option;
        ParamId id;
    };
    for (const Field& f : {Field{o.freq, "--freq", ParamId::OscFrequency},
                           Field{o.rel, "--rel", ParamId::OscRelativeFrequency},
                           Field{o.volume, "--volume", ParamId::OscVolume}, Field{o.shape, "--shape", ParamId::OscShape},
                           Field{o.phase, "--phase", ParamId::OscPhase}}) {
        if (f.text.empty()) continue;
        if (!parseParam(f.text, f.option, f.id, v)) return false;
        writeStored(paramInfo(f.id), osc, static_cast<long double>(v));
    }
    std::vector<int64_t> list;
    if (!o.harmonics.empty()) {
        if (!parseList(o.harmonics, "--harmonics", list)) return false;
        osc.harmonicsActive = 1;
        for (size_t k = 0; k < 16; ++k)
            osc.harmonics[k].level = static_cast<uint16_t>(k < list.size() ? list[k] : 0);
    }
    if (!o.detune.empty()) {
        if (!parseList(o.detune, "--detune", list)) return false;
        for (size_t k = 0; k < 16; ++k)
            osc.harmonics[k].detune = static_cast<uint16_t>(k < list.size() ? list[k] : 0);
    }
    return true;
}

struct ToneOutput {
    int32_t rate = 22050, length = 10, bits = 16;
    uint32_t seed = 0;
};

// Rate, length, bits and seed; false after a usage error.
bool toneOutput(const ToneOptions& o, ToneOutput& out) {
    int64_t v = 0;
    if (!o.rate.empty()) {
        const ParamInfo& r = paramInfo(ParamId::SampleRate);
        if (!parseInt(o.rate, "--rate", r.barMin * 5, r.barMax * 5, v, "1000..48000 in steps of 5")) return false;
        if (v % 5 != 0) {
            usageError("--rate must be 1000..48000 in steps of 5, got " + o.rate);
            return false;
        }
        out.rate = static_cast<int32_t>(v);
    }
    if (!o.length.empty()) {
        // The length edit has no maximum; a tone stops where the bar does.
        const ParamInfo& l = paramInfo(ParamId::Length);
        if (!parseInt(o.length, "--length", static_cast<int64_t>(l.min), l.barMax, v)) return false;
        out.length = static_cast<int32_t>(v);
    }
    if (!o.bits.empty()) {
        if (o.bits != "8" && o.bits != "16") {
            usageError("--bits must be 8 or 16, got " + o.bits);
            return false;
        }
        out.bits = o.bits == "8" ? 8 : 16;
    }
    if (!o.seed.empty()) {
        if (!parseInt(o.seed, "--seed", 0, 4294967295LL, v)) return false;
        out.seed = static_cast<uint32_t>(v);
    }
    return true;
}

void runTone(const ToneOptions& o) {
    if (o.out.empty()) return usageError("missing output file, use -o OUT.wav");
    const int code = waveByName(o.wave);
    if (code < 0)
        return usageError("unknown wave \"" + o.wave + "\" (" + toneWaveNames(false, ", ") + ")");
    OscillatorRecord osc;
    ToneOutput to;
    if (!toneOscillator(o, code, osc) || !toneOutput(o, to)) return;

    // The custom waveform is the drawing editor's start curve, sampled the
    // way a render samples it.
    const auto custom = customWaveTable(CurveData{});

    Random random;
    random.seed = to.seed;
    OscillatorInputs in;
    in.sampleRate = to.rate;
    in.customWave = custom.data();
    in.random = &random;

    SoundStorage sound;
    sound.data.assign(static_cast<size_t>(to.length) * 1024, 0);
    renderOscillator(sound.view(), 256, osc, in, o.calm ? 1 : 0);

    OutputFile file(o.out);
    const Status st = file.write([&](const std::string& name) {
        return to.bits == 16 ? saveWav16(sound.view(), name, to.rate)
                             : saveWav8(soundTo8Bit(sound.view()), name, to.rate);
    });
    if (!st) return fail(st.message);
    std::fprintf(file.toStdout() ? stderr : stdout, "Wrote %s (%d samples at %d Hz)\n", file.shownName().c_str(),
                 sound.view().count, to.rate);
    setExitCode(0);
}

}  // namespace

void addToneCommand(CLI::App& app) {
    auto opts = std::make_shared<ToneOptions>();
    CLI::App* sub = app.add_subcommand("tone", "Render one oscillator into a WAV file");
    sub->add_option("-o,--output", opts->out, "Output WAV file ('-': standard output)");
    sub->add_option("--wave", opts->wave, toneWaveNames(true, " or "));
    sub->add_option("--freq", opts->freq, "Base frequency in Hz, 0..11025 (default 523)");
    sub->add_option("--rel", opts->rel, "Relative frequency in thousandths, 0..4000 (default 1000)");
    sub->add_option("--volume", opts->volume, "Volume position 0..256 (default 128)");
    sub->add_option("--shape", opts->shape, "Shape in 1/1024, 0..2048 (default 1024)");
    sub->add_option("--phase", opts->phase, "Start phase in 1/256 cycle, 0..256 (default 0)");
    sub->add_option("--harmonics", opts->harmonics, "Harmonic levels L1,L2,... (0..256 each, up to 16)");
    sub->add_option("--detune", opts->detune, "Harmonic detunes D1,D2,... (0..256 each, up to 16)");
    sub->add_flag("--calm", opts->calm, "Enable the DC-removing calm stage");
    sub->add_option("--rate", opts->rate, "Sample rate 1000..48000 in steps of 5 (default 22050)");
    sub->add_option("--length", opts->length, "Length in units of 1024 samples, 1..256 (default 10)");
    sub->add_option("--bits", opts->bits, "8 or 16 (default 16)");
    sub->add_option("--seed", opts->seed, "Random generator seed (default 0)");
    sub->callback([opts] { runTone(*opts); });
}

}  // namespace kf::cli
