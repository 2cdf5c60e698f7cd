#include "engine/param_table.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "engine/byte_io.h"
#include "engine/tuning.h"

namespace kf {

namespace {

using S = ParamScope;
using T = ParamType;
using St = Store;
using R = Reaction;
using L = long double;

constexpr L kEditMax = 2147483647.0L;

// Label number functions, written as the control table gives them.
constexpr L pct1024(L p, L) { return p / 1024 * 100; }
constexpr L x100over1024(L p, L) { return p * 100 / 1024; }
constexpr L over256(L p, L) { return p / 256; }
constexpr L over1024(L p, L) { return p / 1024; }
constexpr L ident(L p, L) { return p; }
constexpr L over16(L p, L) { return p / 16; }
constexpr L pct8192(L p, L) { return p / 8192 * 100; }
constexpr L x100over256(L p, L) { return p * 100 / 256; }
constexpr L degrees(L p, L) { return p / 256 * 360; }
constexpr L times5(L p, L) { return p * 5; }
constexpr L pct4096(L p, L) { return p / 4096 * 100; }
constexpr L over32(L p, L) { return p / 32; }
constexpr L tenth(L p, L) { return p * 0.1L; }
constexpr L calming(L p, L) { return (1024 - p) / 1024; }
constexpr L pct512(L p, L) { return p / 512 * 100; }
constexpr L hundredth(L p, L) { return p * 0.01L; }
constexpr L samplesToMs(L p, L rate) { return p * 1000 / rate; }
constexpr L pct256(L p, L) { return p / 256 * 100; }
constexpr L chorusVolume(L p, L) { return static_cast<L>(static_cast<int64_t>(p) * 100 / 256); }

constexpr L pct32768(L p, L) { return p * 100 / 32768; }
constexpr L pct128(L p, L) { return p * 100 / 128; }
// The chorus counts its vibrato segments in samples of 44100 a second, so
// at other rates the heard rate scales with the sound's rate.
constexpr L chorusVibratoHz(L p, L rate) { return p * 0.01L * rate / 44100; }
// A MIDI envelope moves by 32768 / (pos × 127 + 1) a sample: the time of a
// whole swing, in ms.
L midiEnvMs(L p, L rate) {
    const int64_t step = std::max<int64_t>(1, 32768 / (static_cast<int64_t>(p) * 127 + 1));
    return static_cast<L>((32768 + step - 1) / step) * 1000 / rate;
}
// The engine appends pos × 44100 / 128 samples of silence whatever the rate.
L silenceSamples(L p) { return static_cast<L>(static_cast<int64_t>(p) * 44100 / 128); }
L silenceSeconds(L p, L rate) { return silenceSamples(p) / rate; }
// The feedback delay is pos × 16 samples.
constexpr L delayMs(L p, L rate) { return p * 16 * 1000 / rate; }
L oscVolumeDb(L p, L) {
    const L level = p * 128;
    return level <= 0 ? -99.0L : 20 * std::log10(level / 32768);
}

std::string lengthLabel(L v, const NoteTables*, L rate);
std::string silenceLabel(L v, const NoteTables*, L rate);
std::string delayLabel(L v, const NoteTables*, L rate);
std::string oscVolumeLabel(L v, const NoteTables*, L rate);
std::string oscFrequencyLabel(L v, const NoteTables*, L rate);

constexpr ParamLabel none{};
constexpr ParamLabel lab(std::string_view pre, int d, L (*f)(L, L), std::string_view suf) {
    return {pre, d, f, suf, nullptr, {}, nullptr, {}};
}
// A text of its own; `f` and `d` give its main number for typed entry.
constexpr ParamLabel custom(std::string (*text)(L, const NoteTables*, L), L (*f)(L, L) = nullptr, int d = -1,
                            std::string_view unit = {}, L (*alt)(L, L) = nullptr, std::string_view altUnit = {}) {
    return {{}, d, f, {}, text, unit, alt, altUnit};
}

// Row makers: a bar, a check box, a source list, a radio group / list, a number edit.
constexpr ParamInfo bar(ParamId id, std::string_view key, std::string_view control, std::string_view page,
                        std::string_view group, St store, uint16_t off, int32_t lo, int32_t hi, int32_t start,
                        int32_t step, ParamLabel label, R r = R::Render, S scope = S::Timbre, int32_t scale = 1) {
    return {id, key, control, page, group, {}, scope, T::Int, store, off, 0, scale, L(lo), L(hi), lo, hi, step,
            L(start), 1, r, label, {}};
}
constexpr ParamInfo box(ParamId id, std::string_view key, std::string_view control, std::string_view page,
                        std::string_view group, std::string_view caption, St store, uint16_t off, R r = R::Render,
                        S scope = S::Timbre, uint8_t bit = 0, int32_t start = 0) {
    return {id, key, control, page, group, caption, scope, T::Bool, store, off, bit, 1, 0, 1, 0, 1, 1,
            L(start), 1, r, none, {}};
}
constexpr ParamInfo list(ParamId id, std::string_view key, std::string_view control, std::string_view page,
                         std::string_view group, uint16_t off, R r = R::Render, S scope = S::Timbre) {
    return {id, key, control, page, group, {}, scope, T::Sources, St::Set16, off, 0, 1, 0, 65535, 0, 65535, 1,
            1, 1, r, none, {}};
}
constexpr ParamInfo choice(ParamId id, std::string_view key, std::string_view control, std::string_view page,
                           std::string_view group, St store, uint16_t off, int32_t hi, std::string_view items,
                           R r = R::Render, S scope = S::Timbre) {
    return {id, key, control, page, group, {}, scope, T::Choice, store, off, 0, 1, 0, L(hi), 0, hi, 1, 0, 1, r,
            none, items};
}
constexpr ParamInfo edit(ParamId id, std::string_view key, std::string_view control, std::string_view page,
                         std::string_view group, std::string_view caption, St store, uint16_t off, L lo, L hi,
                         int32_t barLo, int32_t barHi, L start, L mult, R r, S scope = S::Timbre,
                         ParamLabel label = none, T type = T::Int) {
    return {id, key, control, page, group, caption, scope, type, store, off, 0, 1, lo, hi, barLo, barHi, 1, start,
            mult, r, label, {}};
}

constexpr std::string_view kLfoShapes = "Sine=0;Random=6;Triangle=3";
constexpr std::string_view kWaveItems =
    "Sine=0;|Sine|=1;EvenSine=11;Square=2;Triangle=3;Saw=4;2xSaw=5;Noise=6;Light noise=7;Custom=8;"
    "Sample 1=9;Sample 2=10";

#define ENVELOPE(n, base)                                                                                          \
    bar(ParamId::Env##n##Attack, "Env" #n "AttackBar", "Env" #n "AttackBar", "Envelope", "Env" #n, St::None,      \
        base + 0, 0, 1024, 0, 1, lab("Attack: ", 1, pct1024, "%"), R::Render, S::Envelope),                        \
    bar(ParamId::Env##n##Sustain, "Env" #n "SustainBar", "Env" #n "SustainBar", "Envelope", "Env" #n, St::None,   \
        base + 1, 0, 1024, 0, 1, lab("Sustain: ", 1, pct1024, "%"), R::Render, S::Envelope),                       \
    bar(ParamId::Env##n##Release, "Env" #n "ReleaseBar", "Env" #n "ReleaseBar", "Envelope", "Env" #n, St::None,   \
        base + 2, 0, 1024, 720, 1, lab("Release: ", 1, pct1024, "%"), R::Render, S::Envelope),                     \
    bar(ParamId::Env##n##Amplitude, "Env" #n "AmplitudeBar", "Env" #n "AmplitudeBar", "Envelope", "Env" #n,       \
        St::None, base + 3, 0, 1024, 1024, 1, lab("Amplitude: ", 1, x100over1024, "  "), R::Render, S::Envelope),  \
    bar(ParamId::Env##n##Base, "Env" #n "BaseBar", "Env" #n "BaseBar", "Envelope", "Env" #n, St::None, base + 4,  \
        -1024, 1024, 0, 1, lab("Base: ", 1, x100over1024, "    "), R::Render, S::Envelope),                        \
    bar(ParamId::Env##n##Shape, "Env" #n "ShapeBar", "Env" #n "ShapeBar", "Envelope", "Env" #n, St::None,         \
        base + 5, 0, 512, 256, 1, lab("Shape: ", 3, over256, "    "), R::Render, S::Envelope),                     \
    bar(ParamId::Env##n##Iterations, "Env" #n "IterationsBar", "Env" #n "IterationsBar", "Envelope", "Env" #n,    \
        St::None, base + 6, 1, 32, 1, 1, lab("Iterations: ", -1, ident, "  "), R::Render, S::Envelope)

#define LEVEL(h)                                                                                                   \
    bar(ParamId::OscLevel##h, "harmonicLevel" #h, "HarmonicBar" #h, "Oscillators", "Harmonics", St::U16,          \
        4 * (h - 1), 0, 256, 256 / h, 1, none, R::Oscillator, S::Oscillator)
#define DETUNE(h)                                                                                                  \
    bar(ParamId::OscDetune##h, "harmonicDetune" #h, "DetuneHarmonicBar" #h, "Oscillators", "Harmonics", St::U16,  \
        4 * (h - 1) + 2, 0, 256, 0, 1, none, R::Oscillator, S::Oscillator)
#define LIGHT(k)                                                                                                   \
    box(ParamId::Active##k, "active" #k, "Oscillator" #k "CheckBox", "Oscillators", "Oscillators", "", St::U8,    \
        k - 1, R::OscillatorLight, S::Light)

constexpr ParamInfo kTable[] = {
    // ---- LFO page
    bar(ParamId::Lfo1Frequency, "lfo1Frequency", "LFO1FrequencyBar", "LFO", "LFO1", St::I32, 0, 0, 1600, 32, 1,
        lab("Frequency: ", 1, over16, "Hz")),
    bar(ParamId::Lfo1Base, "lfo1Base", "LFO1BaseBar", "LFO", "LFO1", St::I32, 4, -256, 256, 0, 1,
        lab("Base: ", 1, x100over256, "   ")),
    bar(ParamId::Lfo1Amplitude, "lfo1Amplitude", "LFO1AmplitudeBar", "LFO", "LFO1", St::I32, 8, 0, 8192, 256, 1,
        lab("Amplitude: ", 2, pct8192, "")),
    choice(ParamId::Lfo1Shape, "lfo1Shape", "LFO1ShapeRadioGroup", "LFO", "LFO1", St::U8, 12, 6, kLfoShapes),
    bar(ParamId::Lfo1Phase, "lfo1Phase", "LFO1PhaseScrollBar", "LFO", "LFO1", St::I32, 3420, 0, 256, 0, 1,
        lab("Phase: ", 0, degrees, "\u00b0   ")),
    bar(ParamId::Lfo2Frequency, "lfo2Frequency", "LFO2FrequencyBar", "LFO", "LFO2", St::I32, 16, 0, 1600, 32, 1,
        lab("Frequency: ", 1, over16, "Hz")),
    bar(ParamId::Lfo2Base, "lfo2Base", "LFO2BaseBar", "LFO", "LFO2", St::I32, 20, -256, 256, 0, 1,
        lab("Base: ", 1, x100over256, "   ")),
    bar(ParamId::Lfo2Amplitude, "lfo2Amplitude", "LFO2AmplitudeBar", "LFO", "LFO2", St::I32, 24, 0, 8192, 256, 1,
        lab("Amplitude: ", 2, pct8192, "")),
    choice(ParamId::Lfo2Shape, "lfo2Shape", "LFO2ShapeRadioGroup", "LFO", "LFO2", St::U8, 28, 6, kLfoShapes),
    bar(ParamId::Lfo2Phase, "lfo2Phase", "LFO2PhaseScrollBar", "LFO", "LFO2", St::I32, 3424, 0, 256, 0, 1,
        lab("Phase: ", 0, degrees, "\u00b0   ")),
    bar(ParamId::NoiseFrequency, "noiseFrequency", "NoiseFrequencyScrollBar", "LFO", "Noise", St::I32, 32, 0, 8820,
        32, 1, lab("Frequency: ", -1, ident, "Hz ")),
    bar(ParamId::NoiseBase, "noiseBase", "NoiseBaseScrollBar", "LFO", "Noise", St::I32, 36, -256, 256, 0, 1,
        lab("Base: ", 1, x100over256, "   ")),
    bar(ParamId::NoiseAmplitude, "noiseAmplitude", "NoiseAmplitudeScrollBar", "LFO", "Noise", St::I32, 40, 0, 4096,
        256, 1, lab("Amplitude: ", 2, pct4096, "   ")),
    // ---- Filters page
    list(ParamId::ResonanceFrequencyModulation, "resonanceFrequencyModulation", "ResonanceFrequencyModulationBox",
         "Filters", "Resonance", 48),
    choice(ParamId::CutOffMode, "cutOffMode", "CutOffModeRadioGroup", "Filters", "CutOff", St::U8, 50, 1,
           "High-p=1;Low=0"),
    list(ParamId::CutOffModulation, "cutOffModulation", "CutOffModulationBox", "Filters", "CutOff", 58),
    bar(ParamId::ResonanceFrequency, "resonanceFrequency", "ResonanceFrequencyBar", "Filters", "Resonance", St::I32,
        72, 0, 8000, 0, 4, lab("Frequency: ", -1, ident, "Hz")),
    bar(ParamId::ResonanceVolume, "resonanceVolume", "ResonanceVolumeBar", "Filters", "Resonance", St::I32, 76, 0,
        512, 256, 16, lab("Volume: ", 1, x100over256, "")),
    bar(ParamId::ResonanceCalmingSpeed, "resonanceCalmingSpeed", "ResonanceCalmingSpeedBar", "Filters", "Resonance",
        St::I32, 80, 0, 1024, 960, 1, lab("Calming speed: ", 3, calming, "   ")),
    bar(ParamId::ResonanceDependence, "resonanceDependence", "ResonanceDependenceScrollBar", "Filters", "Resonance",
        St::I32, 3850, 0, 512, 128, 1, lab("Calming dependence: ", 1, pct512, "%   ")),
    box(ParamId::ResonanceActive, "resonanceActive", "ResonanceActiveBox", "Filters", "Resonance", "Active", St::U8,
        112),
    box(ParamId::CutOffActive, "cutOffActive", "CutOffActiveBox", "Filters", "CutOff", "Active", St::U8, 113),
    bar(ParamId::CutOff, "cutOff", "CutOffBar", "Filters", "CutOff", St::I32, 114, 0, 255, 128, 1,
        lab("Cut off: ", -1, ident, "   ")),
    box(ParamId::AverageFilterActive, "averageFilterActive", "AverageFilterCheckBox", "Filters", "Average filter",
        "Active", St::U8, 3838),
    bar(ParamId::AverageFilterWindowWidth, "averageFilterWindowWidth", "AverageFilterWindowWidthBar", "Filters",
        "Average filter", St::I32, 118, 1, 100, 1, 1, lab("Window width: ", -1, ident, " samples   "), R::RedrawRender),
    bar(ParamId::AverageFilterTrebleVolume, "averageFilterTrebleVolume", "AverageFilterTrebleVolumeBar", "Filters",
        "Average filter", St::I32, 122, 0, 256, 256, 1, lab("Treble volume: ", 1, pct256, "%   ")),
    bar(ParamId::AverageFilterBassVolume, "averageFilterBassVolume", "AverageFilterBassVolumeBar", "Filters",
        "Average filter", St::I32, 126, 0, 256, 256, 1, lab("Bass volume: ", 1, pct256, "%   ")),
    box(ParamId::WindowFilterActive, "windowFilterActive", "WindowFilterActiveBox", "Filters", "Window filter",
        "Active", St::U8, 2383),
    bar(ParamId::FwWindowPos, "fwWindowPos", "FW_WindowPosBar", "Filters", "Window filter", St::I32, 2384, 0, 256,
        0, 1, lab("Window position: ", -1, ident, "   ")),
    bar(ParamId::FwWindowWidth, "fwWindowWidth", "FW_WindowWidthBar", "Filters", "Window filter", St::I32, 2388, 1,
        256, 1, 1, lab("Window width: ", -1, ident, "   ")),
    // ---- Mixer page
    bar(ParamId::SampleRate, "ratePosition", "FrequencyScrollBar", "Mixer", "Sample rate", St::None, 0, 200, 9600,
        4410, 1, lab("Frequency: ", -1, times5, ""), R::SampleRate, S::Rate),
    edit(ParamId::Length, "length", "LengthNumberEdit", "Mixer", "Length", "Length", St::I32, 108, 1, kEditMax, 1,
         256, 10, 1, R::Length, S::Timbre, custom(lengthLabel)),
    edit(ParamId::Sample1StartPos, "sample1StartPos", "Sample1StartPosNumberEdit", "Mixer", "Samples",
         "Sample #1 start", St::I32, 3432, 0, kEditMax, 0, 1024, 0, 1, R::SampleStart),
    edit(ParamId::Sample2StartPos, "sample2StartPos", "Sample2StartPosNumberEdit", "Mixer", "Samples",
         "Sample #2 start", St::I32, 3436, 0, kEditMax, 0, 1024, 0, 1, R::SampleStart),
    // ---- Amplifiers page
    bar(ParamId::OscillatorsVolume, "oscillatorsVolume", "OscillatorsVolumeScrollBar", "Amplifiers", "Main",
        St::I32, 1310, 0, 256, 256, 32, lab("Volume: ", 1, x100over256, "    "), R::OscillatorsRender),
    box(ParamId::OscillatorsCalm, "oscillatorsCalm", "OscillatorsCalmCheckBox", "Amplifiers", "Main", "Calm",
        St::U8, 3839, R::OscillatorsRender),
    box(ParamId::FeedBackActive, "feedBackActive", "FeedBackActiveCheckBox", "Amplifiers", "FeedBack", "Active",
        St::U8, 2342, R::FeedBackActive),
    bar(ParamId::FeedBackVolume, "feedBackVolume", "FeedBackVolumeScrollBar", "Amplifiers", "FeedBack", St::I32,
        2343, 0, 256, 180, 1, lab("Volume: ", 1, pct256, "%   ")),
    bar(ParamId::FeedBackDelay, "feedBackDelay", "FeedBackDelayScrollBar", "Amplifiers", "FeedBack", St::I32, 2347,
        0, 4096, 220, 32, custom(delayLabel, delayMs, 1, "ms")),
    bar(ParamId::AdditionalSilence, "additionalSilence", "AdditionalSilenceScrollBar", "Amplifiers", "FeedBack",
        St::I32, 2351, 0, 256, 0, 1, custom(silenceLabel, silenceSeconds, 2, "s"), R::Silence),
    box(ParamId::FeedBackCyclic, "feedBackCyclic", "FeedBackCyclicCheckBox", "Amplifiers", "FeedBack", "Cyclic",
        St::U8, 2355),
    bar(ParamId::FeedBackDecay, "feedBackDecay", "FeedBackDecayScrollBar", "Amplifiers", "FeedBack", St::I32, 2375,
        0, 256, 180, 1, lab("Decay: ", 1, pct256, "%   ")),
    bar(ParamId::FeedBackCutOff, "feedBackCutOff", "FeedBackCutOffScrollBar", "Amplifiers", "FeedBack", St::I32,
        2379, 0, 256, 192, 1, lab("Cut off: ", -1, ident, "   ")),
    bar(ParamId::MainVolume, "mainVolume", "MainVolumeBar", "Amplifiers", "Main", St::I32, 2356, 0, 256, 256, 1,
        lab("Main volume: ", 1, pct256, "%   ")),
    list(ParamId::VolumeModulation, "volumeModulation", "VolumeModulationBox", "Amplifiers", "Main", 2373),
    bar(ParamId::PreOverdrive, "preOverdrive", "PreOverdriveScrollBar", "Amplifiers", "Overdrive", St::I32, 2360,
        16, 256, 16, 16, lab("PreOverdrive: ", 1, over16, "   ")),
    bar(ParamId::PostOverdrive, "postOverdrive", "PostOverdriveScrollBar", "Amplifiers", "Overdrive", St::I32, 2364,
        16, 256, 16, 16, lab("PostOverdrive: ", 1, over16, "   ")),
    bar(ParamId::WrapOverdrive, "wrapOverdrive", "WrapOverdriveScrollBar", "Amplifiers", "Overdrive", St::I32, 2368,
        32, 256, 32, 32, lab("WrapOverdrive: ", 1, over32, "   ")),
    box(ParamId::WrapOverdriveActive, "wrapOverdriveActive", "WrapOverdriveCheckBox", "Amplifiers", "Overdrive",
        "Active", St::U8, 2372),
    box(ParamId::ReverbActive, "reverbActive", "ReverbActiveCheckBox", "Amplifiers", "Reverb", "Active", St::U8,
        3858),
    bar(ParamId::ReverbDryVolume, "reverbDryVolume", "ReverbDryVolumeScrollBar", "Amplifiers", "Reverb", St::I16,
        3859, 0, 32767, 32767, 1, lab("Dry volume: ", 1, pct32768, "%   ")),
    bar(ParamId::ReverbWetVolume, "reverbWetVolume", "ReverbWetVolumeScrollBar", "Amplifiers", "Reverb", St::I16,
        3861, 0, 32767, 15000, 1, lab("Wet volume: ", 1, pct32768, "%   ")),
    bar(ParamId::ReverbLength, "reverbLength", "ReverbLengthScrollBar", "Amplifiers", "Reverb", St::I32, 3863, 0,
        2000, 200, 1, lab("Length: ", -1, ident, "ms    ")),
    bar(ParamId::ReverbAttack, "reverbAttack", "ReverbAttackScrollBar", "Amplifiers", "Reverb", St::I32, 3867, 0,
        600, 15, 1, lab("Attack length: ", -1, ident, "ms    ")),
    bar(ParamId::ReverbCutOff, "reverbCutOff", "ReverbCutOffScrollBar", "Amplifiers", "Reverb", St::I32, 3871, 0,
        256, 192, 1, lab("Cut off: ", -1, ident, "   ")),
    // ---- FX page
    box(ParamId::FlangerActive, "flangerActive", "FlangerCheckBox", "FX", "Flanger", "Active", St::U8, 3488),
    bar(ParamId::FlangerMinDelay, "flangerMinDelay", "FlangerMinDelayScrollBar", "FX", "Flanger", St::I16, 3489, 0,
        100, 0, 1, lab("Min delay: ", 2, samplesToMs, "ms   ")),
    bar(ParamId::FlangerMaxDelay, "flangerMaxDelay", "FlangerMaxDelayScrollBar", "FX", "Flanger", St::I16, 3491, 0,
        100, 20, 1, lab("Max delay: ", 2, samplesToMs, "ms   ")),
    bar(ParamId::FlangerRate, "flangerRate", "FlangerRateScrollBar", "FX", "Flanger", St::I32, 3493, 0, 500, 50, 1,
        lab("Rate: ", 2, hundredth, "Hz   ")),
    box(ParamId::FlangerInvert, "flangerInvert", "FlangerInvertCheckBox", "FX", "Flanger", "Invert", St::U8, 3497),
    bar(ParamId::FlangerCrossFade, "flangerCrossFade", "FlangerCrossFadeScrollBar", "FX", "Flanger", St::I32, 3498,
        0, 256, 128, 1, lab("Crossfade: ", 1, pct256, "%   ")),
    box(ParamId::ChorusActive, "chorusActive", "ChorusCheckBox", "FX", "Chorus", "Active", St::U8, 3502),
    bar(ParamId::ChorusVoices, "chorusVoices", "ChorusNumberOfVoicesSpinEdit", "FX", "Chorus", St::I32, 3503, 1, 20,
        1, 1, none),
    bar(ParamId::ChorusMaxDelay, "chorusMaxDelay", "ChorusMaxDelayScrollBar", "FX", "Chorus", St::I32, 3507, 0, 500,
        70, 1, lab("Max delay: ", 2, samplesToMs, "ms   ")),
    bar(ParamId::ChorusVibratoRate, "chorusVibratoRate", "ChorusVibratoRateScrollBar", "FX", "Chorus", St::I32,
        3840, 1, 10000, 800, 1, lab("Vibrato rate: ", 2, chorusVibratoHz, "Hz   ")),
    bar(ParamId::ChorusVolume, "chorusVolume", "ChorusVolumeScrollBar", "FX", "Chorus", St::I32, 84, 256, 1024,
        256, 1, lab("Volume: ", -1, chorusVolume, "%   ")),
    // ---- Sequencer page (chord) and Realtime page
    box(ParamId::ChordActive, "chordActive", "ChordCheckBox", "Sequencer", "", "Chord", St::U8, 3440),
    edit(ParamId::Tempo, "tempo", "TempoEdit", "Realtime", "Tempo", "Tempo", St::I32, 3428, 0, kEditMax, 32, 256,
         112, 1, R::Tempo),
    bar(ParamId::MidiEnv1Attack, "midiEnv1Attack", "MIDIEnvelope1AttackScrollBar", "Realtime", "MIDI envelope 1",
        St::I32, 3472, 0, 256, 10, 1, lab("Attack: ", 1, midiEnvMs, "ms   ")),
    bar(ParamId::MidiEnv1Decay, "midiEnv1Decay", "MidiEnvelope1DecayScrollBar", "Realtime", "MIDI envelope 1",
        St::I32, 3476, 0, 256, 20, 1, lab("Decay: ", 1, midiEnvMs, "ms   ")),
    bar(ParamId::MidiEnv1Sustain, "midiEnv1Sustain", "MidiEnvelope1SustainScrollBar", "Realtime",
        "MIDI envelope 1", St::I32, 3480, 0, 127, 100, 1, lab("Sustain: ", 1, pct128, "%   ")),
    bar(ParamId::MidiEnv1Release, "midiEnv1Release", "MidiEnvelope1ReleaseScrollBar", "Realtime",
        "MIDI envelope 1", St::I32, 3484, 0, 256, 20, 1, lab("Release: ", 1, midiEnvMs, "ms   ")),
    bar(ParamId::MidiEnv1Amplitude, "midiEnv1Amplitude", "MidiEnvelope1AmplitudeScrollBar", "Realtime",
        "MIDI envelope 1", St::I32, 3527, 0, 32768, 16384, 1, lab("Amplitude: ", 1, pct32768, "%   ")),
    bar(ParamId::MidiEnv2Attack, "midiEnv2Attack", "MIDIEnvelope2AttackScrollBar", "Realtime", "MIDI envelope 2",
        St::I32, 3511, 0, 256, 10, 1, lab("Attack: ", 1, midiEnvMs, "ms   ")),
    bar(ParamId::MidiEnv2Decay, "midiEnv2Decay", "MidiEnvelope2DecayScrollBar", "Realtime", "MIDI envelope 2",
        St::I32, 3515, 0, 256, 20, 1, lab("Decay: ", 1, midiEnvMs, "ms   ")),
    bar(ParamId::MidiEnv2Sustain, "midiEnv2Sustain", "MidiEnvelope2SustainScrollBar", "Realtime",
        "MIDI envelope 2", St::I32, 3519, 0, 127, 100, 1, lab("Sustain: ", 1, pct128, "%   ")),
    bar(ParamId::MidiEnv2Release, "midiEnv2Release", "MidiEnvelope2ReleaseScrollBar", "Realtime",
        "MIDI envelope 2", St::I32, 3523, 0, 256, 20, 1, lab("Release: ", 1, midiEnvMs, "ms   ")),
    bar(ParamId::MidiEnv2Amplitude, "midiEnv2Amplitude", "MidiEnvelope2AmplitudeScrollBar", "Realtime",
        "MIDI envelope 2", St::I32, 3531, 0, 32768, 16384, 1, lab("Amplitude: ", 1, pct32768, "%   ")),
    // ---- Oscillators page (the selected oscillator; offsets inside its record)
    bar(ParamId::OscVolume, "volume", "SineGeneratorVolumeBar", "Oscillators", "Oscillator", St::I32, 64, 0, 256,
        128, 16, custom(oscVolumeLabel, x100over256, 1, "", oscVolumeDb, "dB"), R::Oscillator, S::Oscillator, 128),
    bar(ParamId::OscFrequency, "frequency", "OscillatorFrequencyBar", "Oscillators", "Oscillator", St::I32, 68, 0,
        11025, 440, 10, custom(oscFrequencyLabel, ident, -1, "Hz"), R::Oscillator, S::Oscillator),
    bar(ParamId::OscRelativeFrequency, "relativeFrequency", "SineGeneratorRelativeFrequencyBar", "Oscillators",
        "Oscillator", St::I32, 72, 0, 4000, 1000, 10, lab("Relative frequency: ", 1, tenth, "   "), R::Oscillator,
        S::Oscillator),
    bar(ParamId::OscShape, "shape", "SineGeneratorShapeBar", "Oscillators", "Oscillator", St::I32, 76, 0, 2048,
        1024, 32, lab("Shape: ", 3, over1024, "   "), R::Oscillator, S::Oscillator),
    bar(ParamId::OscPhase, "phase", "SineGeneratorPhaseScrollBar", "Oscillators", "Oscillator", St::U16, 80, 0, 256,
        0, 1, lab("Phase: ", 0, degrees, "\u00b0   "), R::Oscillator, S::Oscillator),
    box(ParamId::OscHarmonicsActive, "harmonicsActive", "HarmonicsActiveCheckBox", "Oscillators", "Harmonics",
        "Active", St::U8, 85, R::OscillatorLight, S::Oscillator),
    box(ParamId::OscFilter, "Filter", "FilterCheckBox", "Oscillators", "Oscillator", "Filter", St::Bit, 86,
        R::OscillatorLight, S::Oscillator, 1, 1),
    box(ParamId::OscMelodic, "Melodic", "MelodicCheckBox", "Oscillators", "Oscillator", "Melodic", St::Bit, 86,
        R::Render, S::Oscillator, 2, 1),
    box(ParamId::OscInvert, "Invert", "InvertCheckBox", "Oscillators", "Oscillator", "Invert", St::Bit, 86,
        R::OscillatorLight, S::Oscillator, 4),
    box(ParamId::OscRingMod, "RingMod", "RingModCheckBox", "Oscillators", "Oscillator", "RingMod", St::Bit, 86,
        R::OscillatorLight, S::Oscillator, 8),
    box(ParamId::OscSync, "Sync", "SyncCheckBox", "Oscillators", "Oscillator", "Sync", St::Bit, 86,
        R::OscillatorLight, S::Oscillator, 16),
    box(ParamId::OscPhaseMod, "PhaseMod", "PhaseModCheckBox", "Oscillators", "Oscillator", "PhaseMod", St::Bit, 86,
        R::OscillatorLight, S::Oscillator, 32),
    box(ParamId::OscFm, "FM", "FMCheckBox", "Oscillators", "Oscillator", "FM", St::Bit, 86, R::OscillatorLight,
        S::Oscillator, 64),
    list(ParamId::OscVolumeModulation, "volumeModulation", "SineGeneratorVolumeModulationBox", "Oscillators",
         "Volume modulation", 87, R::Oscillator, S::Oscillator),
    list(ParamId::OscFrequencyModulation, "frequencyModulation", "SineGeneratorFrequencyModulationBox",
         "Oscillators", "Frequency modulation", 97, R::Oscillator, S::Oscillator),
    list(ParamId::OscShapeModulation, "shapeModulation", "SineGeneratorShapeModulationBox", "Oscillators",
         "Shape modulation", 107, R::Oscillator, S::Oscillator),
    choice(ParamId::OscWaveForm, "waveForm", "WaveFormComboBox", "Oscillators", "Oscillator", St::U8, 117, 11,
           kWaveItems, R::Oscillator, S::Oscillator),
    LEVEL(1), LEVEL(2), LEVEL(3), LEVEL(4), LEVEL(5), LEVEL(6), LEVEL(7), LEVEL(8),
    LEVEL(9), LEVEL(10), LEVEL(11), LEVEL(12), LEVEL(13), LEVEL(14), LEVEL(15), LEVEL(16),
    DETUNE(1), DETUNE(2), DETUNE(3), DETUNE(4), DETUNE(5), DETUNE(6), DETUNE(7), DETUNE(8),
    DETUNE(9), DETUNE(10), DETUNE(11), DETUNE(12), DETUNE(13), DETUNE(14), DETUNE(15), DETUNE(16),
    LIGHT(1), LIGHT(2), LIGHT(3), LIGHT(4), LIGHT(5), LIGHT(6), LIGHT(7), LIGHT(8), LIGHT(9), LIGHT(10),
    // ---- Envelope page
    ENVELOPE(1, 0), ENVELOPE(2, 7), ENVELOPE(3, 14),
    // ---- Sequencer page: the units' edits
    edit(ParamId::NoteCount, "noteCount", "NoteCountEdit", "Sequencer", "Note sequencer", "Number of notes:",
         St::None, 0, 1, 32, 1, 32, 32, 1, R::Units, S::Unit),
    edit(ParamId::PortamentoSpeed, "portamentoSpeed", "PortamentoSpeedEdit", "Sequencer", "Frequency sequencer",
         "Portamento speed: (%)", St::None, 1, 0, kEditMax, 0, 16384, 16384, 2, R::Units, S::Unit),
    edit(ParamId::SEnvAttack, "attack", "EnvelopeAttackEdit", "Sequencer", "Envelope sequencer", "Attack: ",
         St::None, 2, 0, kEditMax, 0, 16384, 1.2, 2, R::Units, S::Unit, none, T::Real),
    edit(ParamId::SEnvDecayAngle, "decayAngle", "EnvelopeDecayAngleEdit", "Sequencer", "Envelope sequencer",
         "Decay angle:", St::None, 3, 0, kEditMax, 0, 1000, 80, 0.1, R::Units, S::Unit, none, T::Real),
    edit(ParamId::SEnvRelease, "release", "EnvelopeReleaseEdit", "Sequencer", "Envelope sequencer", "Release:",
         St::None, 4, 0, kEditMax, 0, 1000, 4, 0.1, R::Units, S::Unit, none, T::Real),
    edit(ParamId::SEnvReleaseStart, "releaseStart", "EnvelopeReleaseStartEdit", "Sequencer", "Envelope sequencer",
         "Release start: (%)", St::None, 5, 0, kEditMax, 0, 2560, 128, 0.1, R::Units, S::Unit, none, T::Real),
    edit(ParamId::SEnvAmplitude, "amplitude", "EnvelopeAmplitudeEdit", "Sequencer", "Envelope sequencer",
         "Amplitude: (%)", St::None, 6, 0, kEditMax, 0, 16384, 32768, 2, R::Units, S::Unit, none, T::Real),
};

#undef ENVELOPE
#undef LEVEL
#undef DETUNE
#undef LIGHT

constexpr bool tableInIdOrder() {
    if (std::size(kTable) != static_cast<size_t>(kParamCount)) return false;
    for (size_t i = 0; i < std::size(kTable); ++i)
        if (static_cast<size_t>(kTable[i].id) != i) return false;
    return true;
}
static_assert(tableInIdOrder(), "one row per ParamId, in id order");

// A unit of the length is 1024 samples, heard at the sound's rate.
std::string lengthLabel(L v, const NoteTables*, L rate) {
    return "Length: " + formatFixed(v * 1024 / rate, 3) + "s, " + std::to_string(std::llround(v)) + "K    ";
}
std::string silenceLabel(L v, const NoteTables*, L rate) {
    return "Additional Silence: " + formatFixed(silenceSeconds(v, rate), 2) + "sec (" +
           formatFixed(silenceSamples(v) / 1000, 1) + "K)";
}
std::string delayLabel(L v, const NoteTables*, L rate) {
    return "Delay: " + formatFixed(delayMs(v, rate), 1) + "ms (" + formatFixed(v * 16 / 1000, 3) + "K)";
}
std::string oscVolumeLabel(L v, const NoteTables*, L rate) {
    return "Volume: " + formatFixed(x100over256(v, rate), 1) + " (" + formatFixed(oscVolumeDb(v, rate), 1) + " dB)    ";
}
std::string oscFrequencyLabel(L v, const NoteTables* tables, L) {
    static const NoteTables tempered = [] {
        NoteTables t;
        t.buildTemperedScale();
        return t;
    }();
    const NoteTables& t = tables ? *tables : tempered;
    const auto pos = static_cast<int32_t>(v);
    const NoteTables::Nearest n = t.nearestNote(pos);
    std::string diff = (n.difference >= 0 ? "+" : "") + std::to_string(n.difference);
    return "Frequency: " + std::to_string(pos) + "Hz (" + noteNames()[static_cast<size_t>(n.index)] + diff + ")";
}

constexpr std::string_view kSourceItems[] = {"None", "Env1",  "Env2",  "Env3",  "LFO1",  "LFO2",  "Noise",
                                             "Graph", "Seq",  "SEnv",  "Midi1", "Midi2", "MEnv1", "MEnv2"};

}  // namespace

std::span<const ParamInfo> paramTable() { return kTable; }

const ParamInfo& paramInfo(ParamId id) { return kTable[static_cast<size_t>(id)]; }

std::optional<ParamId> findParam(std::string_view key, ParamScope scope) {
    for (const ParamInfo& p : kTable)
        if (p.key == key && p.scope == scope) return p.id;
    return std::nullopt;
}

std::vector<ParamChoice> paramChoices(ParamId id) {
    std::vector<ParamChoice> out;
    std::string_view items = paramInfo(id).items;
    while (!items.empty()) {
        size_t end = items.find(';');
        std::string_view item = items.substr(0, end);
        size_t eq = item.rfind('=');
        out.push_back({item.substr(0, eq), static_cast<int32_t>(std::stoi(std::string(item.substr(eq + 1))))});
        items = end == std::string_view::npos ? std::string_view{} : items.substr(end + 1);
    }
    return out;
}

long double clampParam(ParamId id, long double value) {
    const ParamInfo& p = paramInfo(id);
    if (!(value == value)) value = p.start;  // NaN
    if (p.type == ParamType::Choice) {
        const auto choices = paramChoices(id);
        for (const ParamChoice& c : choices)
            if (c.value == value) return value;
        return p.start;
    }
    if (p.type != ParamType::Real) value = std::nearbyintl(value);
    if (value < p.min) return p.min;
    if (value > p.max) return p.max;
    return value;
}

std::string formatFixed(long double v, int decimals) {
    long double scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    long double r = std::roundl(v * scale) / scale;  // ties away from zero
    if (r == 0) r = 0;                               // no "-0.0"
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*Lf", decimals, r);
    return buf;
}

std::string numberEditText(long double v) {
    std::string s = formatFixed(v, 10);
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') s.pop_back();
        if (!s.empty() && s.back() == '.') s.pop_back();
    }
    return s;
}

namespace {

long double usableRate(long double rate) { return rate > 0 ? rate : 44100; }

std::string labelNumber(const ParamLabel& l, long double shown) {
    return l.decimals < 0 ? std::to_string(static_cast<int64_t>(shown)) : formatFixed(shown, l.decimals);
}

std::string lowered(std::string_view s) {
    std::string out;
    for (char c : s) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

}  // namespace

std::string paramLabel(ParamId id, long double value, const NoteTables* tables, long double sampleRate) {
    const ParamLabel& l = paramInfo(id).label;
    sampleRate = usableRate(sampleRate);
    if (l.custom) return l.custom(value, tables, sampleRate);
    if (!l.value) return {};
    return std::string(l.prefix) + labelNumber(l, l.value(value, sampleRate)) + std::string(l.suffix);
}

std::string_view paramUnit(ParamId id) {
    const ParamLabel& l = paramInfo(id).label;
    return l.custom ? l.unit : trimmed(l.suffix);
}

std::string_view paramNote(ParamId id) {
    switch (id) {
        case ParamId::ChorusVibratoRate:
            return "The chorus counts its segments in samples of a 44100 Hz sound, so the rate heard (shown) "
                   "follows the sound's rate";
        case ParamId::AdditionalSilence:
            return "Steps of 44100/128 samples whatever the sound's rate";
        case ParamId::Lfo1Frequency:
        case ParamId::Lfo2Frequency:
            return "With the Random shape a new value comes position / 2\u03c0 times a second";
        case ParamId::FlangerMaxDelay:
            return "The sweep reaches 2 \u00d7 max delay \u2212 min delay";
        default:
            return {};
    }
}

std::string paramValueText(ParamId id, long double value, long double sampleRate) {
    const ParamLabel& l = paramInfo(id).label;
    if (!l.value) return {};
    return labelNumber(l, l.value(value, usableRate(sampleRate))) + std::string(paramUnit(id));
}

std::optional<int32_t> positionForValue(ParamId id, std::string_view text, long double sampleRate) {
    const ParamInfo& p = paramInfo(id);
    const ParamLabel& l = p.label;
    if (!l.value) return std::nullopt;
    sampleRate = usableRate(sampleRate);
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double typed = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), typed);
    if (ec != std::errc() || !std::isfinite(typed)) return std::nullopt;
    const std::string unit = lowered(trimmed(text.substr(static_cast<size_t>(end - text.data()))));
    const std::string own = lowered(paramUnit(id));
    long double want = typed;
    auto number = l.value;
    auto same = [](const std::string& a, const std::string& b) {
        auto canon = [](const std::string& u) { return u == "sec" ? std::string("s") : u; };
        return canon(a) == canon(b);
    };
    if (unit.empty() || same(unit, own)) {
    } else if (own == "ms" && same(unit, "s")) {
        want *= 1000;
    } else if (own == "s" && unit == "ms") {
        want /= 1000;
    } else if (own == "hz" && unit == "khz") {
        want *= 1000;
    } else if (own.empty() && unit == "%") {
    } else if (l.alt && unit == lowered(l.altUnit)) {
        number = l.alt;
    } else {
        return std::nullopt;
    }
    // Every position the row allows, nearest label number first; the first of equals wins.
    int32_t best = p.barMin;
    long double bestDistance = std::numeric_limits<long double>::infinity();
    for (int32_t pos = p.barMin; pos <= p.barMax; ++pos) {
        const long double d = std::fabs(number(pos, sampleRate) - want);
        if (d < bestDistance) {
            bestDistance = d;
            best = pos;
        }
    }
    return best;
}

std::span<const std::string_view> sourceItemNames() { return kSourceItems; }

}  // namespace kf

namespace kf {

long double readStored(const ParamInfo& p, const uint8_t* record) {
    const uint8_t* q = record + p.offset;
    int64_t v = 0;
    switch (p.store) {
        case Store::I32: v = static_cast<int32_t>(getLE32(q)); break;
        case Store::I16: v = static_cast<int16_t>(getLE16(q)); break;
        case Store::U16:
        case Store::Set16: v = getLE16(q); break;
        case Store::U8: v = q[0]; break;
        case Store::Bit: v = (q[0] & p.bit) ? 1 : 0; break;
        case Store::None: return 0;
    }
    return static_cast<long double>(v / p.scale);
}

void writeStored(const ParamInfo& p, uint8_t* record, long double value) {
    uint8_t* q = record + p.offset;
    const int64_t v = static_cast<int64_t>(value) * p.scale;
    switch (p.store) {
        case Store::I32: putLE32(q, static_cast<uint32_t>(v)); break;
        case Store::I16:
        case Store::U16:
        case Store::Set16: putLE16(q, static_cast<uint16_t>(v)); break;
        case Store::U8: q[0] = static_cast<uint8_t>(v); break;
        case Store::Bit: q[0] = static_cast<uint8_t>(v ? (q[0] | p.bit) : (q[0] & ~p.bit)); break;
        case Store::None: break;
    }
}

}  // namespace kf
