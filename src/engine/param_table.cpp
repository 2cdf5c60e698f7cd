#include "engine/param_table.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/byte_io.h"
#include "engine/record_fields.h"
#include "engine/records.h"
#include "engine/reference_rate.h"
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
constexpr L chorusVibratoHz(L p, L rate) { return p * 0.01L * rate / kReferenceRate; }
// A MIDI envelope moves by 32768 / (pos × 127 + 1) a sample: the time of a
// whole swing, in ms.
L midiEnvMs(L p, L rate) {
    const int64_t step = std::max<int64_t>(1, 32768 / (static_cast<int64_t>(p) * 127 + 1));
    return static_cast<L>((32768 + step - 1) / step) * 1000 / rate;
}
// The engine appends pos × 44100 / 128 samples of silence whatever the rate.
L silenceSamples(L p) { return static_cast<L>(static_cast<int64_t>(p) * kReferenceRate / 128); }
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

// Where a row's value is stored, taken from the record's field list by the
// row's key (the JSON key is the field's name).
struct Place {
    Store store = Store::None;
    uint16_t offset = 0;
    uint32_t member = 0;
};

constexpr Store storeOf(const RecordField& f) {
    switch (f.width) {
        case Width::I32: return St::I32;
        case Width::I16: return St::I16;
        case Width::U16: return f.shown == Shown::Sources ? St::Set16 : St::U16;
        case Width::U8: return St::U8;
        default: return St::None;
    }
}

// The element `index` of a nested field, and its part `name` (a source list
// stands for its slot's source set).
constexpr Place inside(const RecordField& f, int index, std::string_view name) {
    const int k = fieldIndex(f.nested, name);
    if (k < 0) throw "no such part of a record field";
    const RecordField* part = &f.nested[static_cast<size_t>(k)];
    return {storeOf(*part), static_cast<uint16_t>(f.offset + index * f.size + part->offset),
            static_cast<uint32_t>(f.member + static_cast<size_t>(index) * f.memberStride + part->member)};
}

constexpr Place recordPlace(S scope, std::string_view key) {
    if (scope != S::Timbre && scope != S::Oscillator) return {};
    const std::span<const RecordField> list = scope == S::Timbre ? kTimbreFields : kOscillatorFields;
    const int k = fieldIndex(list, key);
    if (k < 0) throw "a Timbre or Oscillator row's key must name a record field";
    const RecordField* f = &list[static_cast<size_t>(k)];
    if (f->shown == Shown::Slot) return inside(*f, 0, "sources");
    return {storeOf(*f), f->offset, static_cast<uint32_t>(f->member)};
}

constexpr Place harmonicPlace(int harmonic, std::string_view part) {
    return inside(kOscillatorFields[static_cast<size_t>(fieldIndex(kOscillatorFields, "harmonics"))], harmonic - 1, part);
}

// Row makers, one per kind of control, each taking its fields by name.
struct BarRow {
    ParamId id;
    std::string_view key, control, page, group;
    int32_t lo, hi, start, step = 1;
    ParamLabel label = none;
    R reaction = R::Render;
    S scope = S::Timbre;
    int32_t scale = 1;
    Widget widget = Widget::Bar;
    uint16_t index = 0;  // Envelope, Rate: see ParamScope
    std::string_view harmonic = {};  // "level" or "detune" of harmonic `index`
};
constexpr ParamInfo bar(const BarRow& r) {
    const Place at = r.harmonic.empty() ? recordPlace(r.scope, r.key) : harmonicPlace(r.index, r.harmonic);
    return {r.id, r.key, r.control, r.page, r.group, {}, r.scope, T::Int, r.widget, at.store,
            r.harmonic.empty() && at.store == St::None ? r.index : at.offset, at.member, 0, r.scale, L(r.lo), L(r.hi),
            r.lo, r.hi, r.step, L(r.start), 1, r.reaction, r.label, {}};
}
struct BoxRow {
    ParamId id;
    std::string_view key, control, page, group, caption;
    R reaction = R::Render;
    S scope = S::Timbre;
    uint8_t bit = 0;     // an oscillator flag: its mask in the flag byte
    int32_t start = 0;
    uint16_t index = 0;  // Light: the oscillator
};
constexpr ParamInfo box(const BoxRow& r) {
    Place at = recordPlace(r.scope, r.bit ? std::string_view("flags") : r.key);
    if (r.bit) at.store = St::Bit;
    return {r.id, r.key, r.control, r.page, r.group, r.caption, r.scope, T::Bool, Widget::CheckBox, at.store,
            at.store == St::None ? r.index : at.offset, at.member, r.bit, 1, 0, 1, 0, 1, 1, L(r.start), 1,
            r.reaction, none, {}};
}
struct ListRow {
    ParamId id;
    std::string_view key, control, page, group;
    R reaction = R::Render;
    S scope = S::Timbre;
};
constexpr ParamInfo list(const ListRow& r) {
    const Place at = recordPlace(r.scope, r.key);
    return {r.id, r.key, r.control, r.page, r.group, {}, r.scope, T::Sources, Widget::SourceList, at.store,
            at.offset, at.member, 0, 1, 0, 65535, 0, 65535, 1, 1, 1, r.reaction, none, {}};
}
struct ChoiceRow {
    ParamId id;
    std::string_view key, control, page, group;
    int32_t hi;
    std::span<const ParamChoice> items;
    R reaction = R::Render;
    S scope = S::Timbre;
    Widget widget = Widget::RadioGroup;
};
constexpr ParamInfo choice(const ChoiceRow& r) {
    const Place at = recordPlace(r.scope, r.key);
    return {r.id, r.key, r.control, r.page, r.group, {}, r.scope, T::Choice, r.widget, at.store, at.offset,
            at.member, 0, 1, 0, L(r.hi), 0, r.hi, 1, 0, 1, r.reaction, none, r.items};
}
struct EditRow {
    ParamId id;
    std::string_view key, control, page, group, caption;
    L lo, hi;
    int32_t barLo, barHi;
    L start, mult;
    R reaction;
    S scope = S::Timbre;
    ParamLabel label = none;
    T type = T::Int;
    uint16_t index = 0;  // Unit: see ParamScope
};
constexpr ParamInfo edit(const EditRow& r) {
    const Place at = recordPlace(r.scope, r.key);
    return {r.id, r.key, r.control, r.page, r.group, r.caption, r.scope, r.type, Widget::NumberEdit, at.store,
            at.store == St::None ? r.index : at.offset, at.member, 0, 1, r.lo, r.hi, r.barLo, r.barHi, 1, r.start,
            r.mult, r.reaction, r.label, {}};
}

constexpr ParamChoice kLfoShapes[] = {{"Sine", 0}, {"Random", 6}, {"Triangle", 3}};
constexpr ParamChoice kCutOffModes[] = {{"High-p", 1}, {"Low", 0}};
constexpr auto kWaveItems = [] {
    std::array<ParamChoice, std::size(kWaveList)> items{};
    for (size_t i = 0; i < items.size(); ++i) items[i] = {kWaveList[i].name, kWaveList[i].code};
    return items;
}();

#define LFO(n)                                                                                                     \
    bar({.id = ParamId::Lfo##n##Frequency, .key = "lfo" #n "Frequency", .control = "LFO" #n "FrequencyBar",        \
         .page = "LFO", .group = "LFO" #n, .lo = 0, .hi = 1600, .start = 32,                                       \
         .label = lab("Frequency: ", 1, over16, "Hz")}),                                                           \
    bar({.id = ParamId::Lfo##n##Base, .key = "lfo" #n "Base", .control = "LFO" #n "BaseBar", .page = "LFO",        \
         .group = "LFO" #n, .lo = -256, .hi = 256, .start = 0, .label = lab("Base: ", 1, x100over256, "   ")}),     \
    bar({.id = ParamId::Lfo##n##Amplitude, .key = "lfo" #n "Amplitude", .control = "LFO" #n "AmplitudeBar",        \
         .page = "LFO", .group = "LFO" #n, .lo = 0, .hi = 8192, .start = 256,                                      \
         .label = lab("Amplitude: ", 2, pct8192, "")}),                                                            \
    choice({.id = ParamId::Lfo##n##Shape, .key = "lfo" #n "Shape", .control = "LFO" #n "ShapeRadioGroup",          \
            .page = "LFO", .group = "LFO" #n, .hi = 6, .items = kLfoShapes}),                                      \
    bar({.id = ParamId::Lfo##n##Phase, .key = "lfo" #n "Phase", .control = "LFO" #n "PhaseScrollBar",              \
         .page = "LFO", .group = "LFO" #n, .lo = 0, .hi = 256, .start = 0,                                         \
         .label = lab("Phase: ", 0, degrees, "\u00b0   ")})

// The attack bar's control is spelt "MIDIEnvelope", the others "MidiEnvelope".
#define MIDI_ENVELOPE_BAR(n, part, spelling, HI, START, LABEL)                                                    \
    bar({.id = ParamId::MidiEnv##n##part, .key = "midiEnv" #n #part, .control = spelling #n #part "ScrollBar",     \
         .page = "Realtime", .group = "MIDI envelope " #n, .lo = 0, .hi = HI, .start = START, .label = LABEL})
#define MIDI_ENVELOPE(n)                                                                                           \
    MIDI_ENVELOPE_BAR(n, Attack, "MIDIEnvelope", 256, 10, lab("Attack: ", 1, midiEnvMs, "ms   ")),               \
    MIDI_ENVELOPE_BAR(n, Decay, "MidiEnvelope", 256, 20, lab("Decay: ", 1, midiEnvMs, "ms   ")),                 \
    MIDI_ENVELOPE_BAR(n, Sustain, "MidiEnvelope", 127, 100, lab("Sustain: ", 1, pct128, "%   ")),               \
    MIDI_ENVELOPE_BAR(n, Release, "MidiEnvelope", 256, 20, lab("Release: ", 1, midiEnvMs, "ms   ")),             \
    MIDI_ENVELOPE_BAR(n, Amplitude, "MidiEnvelope", 32768, 16384, lab("Amplitude: ", 1, pct32768, "%   "))

#define ENVELOPE_BAR(n, part, base, i, LO, HI, START, LABEL)                                                    \
    bar({.id = ParamId::Env##n##part, .key = "Env" #n #part "Bar", .control = "Env" #n #part "Bar",                \
         .page = "Envelope", .group = "Env" #n, .lo = LO, .hi = HI, .start = START, .label = LABEL,                \
         .scope = S::Envelope, .index = (base) + (i)})
#define ENVELOPE(n, base)                                                                                          \
    ENVELOPE_BAR(n, Attack, base, 0, 0, 1024, 0, lab("Attack: ", 1, pct1024, "%")),                              \
    ENVELOPE_BAR(n, Sustain, base, 1, 0, 1024, 0, lab("Sustain: ", 1, pct1024, "%")),                            \
    ENVELOPE_BAR(n, Release, base, 2, 0, 1024, 720, lab("Release: ", 1, pct1024, "%")),                          \
    ENVELOPE_BAR(n, Amplitude, base, 3, 0, 1024, 1024, lab("Amplitude: ", 1, x100over1024, "  ")),               \
    ENVELOPE_BAR(n, Base, base, 4, -1024, 1024, 0, lab("Base: ", 1, x100over1024, "    ")),                      \
    ENVELOPE_BAR(n, Shape, base, 5, 0, 512, 256, lab("Shape: ", 3, over256, "    ")),                            \
    ENVELOPE_BAR(n, Iterations, base, 6, 1, 32, 1, lab("Iterations: ", -1, ident, "  "))

#define LEVEL(h)                                                                                                   \
    bar({.id = ParamId::OscLevel##h, .key = "harmonicLevel" #h, .control = "HarmonicBar" #h,                       \
         .page = "Oscillators", .group = "Harmonics", .lo = 0, .hi = 256, .start = 256 / h,                        \
         .reaction = R::Oscillator, .scope = S::Oscillator, .index = h, .harmonic = "level"})
#define DETUNE(h)                                                                                                  \
    bar({.id = ParamId::OscDetune##h, .key = "harmonicDetune" #h, .control = "DetuneHarmonicBar" #h,               \
         .page = "Oscillators", .group = "Harmonics", .lo = 0, .hi = 256, .start = 0, .reaction = R::Oscillator,  \
         .scope = S::Oscillator, .index = h, .harmonic = "detune"})
#define LIGHT(k)                                                                                                   \
    box({.id = ParamId::Active##k, .key = "active" #k, .control = "Oscillator" #k "CheckBox",                      \
         .page = "Oscillators", .group = "Oscillators", .caption = "", .reaction = R::OscillatorLight,              \
         .scope = S::Light, .index = k - 1})

constexpr ParamInfo kTable[] = {
    // ---- LFO page
    LFO(1), LFO(2),
    bar({.id = ParamId::NoiseFrequency, .key = "noiseFrequency", .control = "NoiseFrequencyScrollBar",
        .page = "LFO", .group = "Noise", .lo = 0, .hi = 8820, .start = 32,
        .label = lab("Frequency: ", -1, ident, "Hz ")}),
    bar({.id = ParamId::NoiseBase, .key = "noiseBase", .control = "NoiseBaseScrollBar", .page = "LFO",
        .group = "Noise", .lo = -256, .hi = 256, .start = 0, .label = lab("Base: ", 1, x100over256, "   ")}),
    bar({.id = ParamId::NoiseAmplitude, .key = "noiseAmplitude", .control = "NoiseAmplitudeScrollBar",
        .page = "LFO", .group = "Noise", .lo = 0, .hi = 4096, .start = 256,
        .label = lab("Amplitude: ", 2, pct4096, "   ")}),
    // ---- Filters page
    list({.id = ParamId::ResonanceFrequencyModulation, .key = "resonanceFrequencyModulation",
        .control = "ResonanceFrequencyModulationBox", .page = "Filters", .group = "Resonance"}),
    choice({.id = ParamId::CutOffMode, .key = "cutOffMode", .control = "CutOffModeRadioGroup", .page = "Filters",
        .group = "CutOff", .hi = 1, .items = kCutOffModes}),
    list({.id = ParamId::CutOffModulation, .key = "cutOffModulation", .control = "CutOffModulationBox",
        .page = "Filters", .group = "CutOff"}),
    bar({.id = ParamId::ResonanceFrequency, .key = "resonanceFrequency", .control = "ResonanceFrequencyBar",
        .page = "Filters", .group = "Resonance", .lo = 0, .hi = 8000, .start = 0, .step = 4,
        .label = lab("Frequency: ", -1, ident, "Hz")}),
    bar({.id = ParamId::ResonanceVolume, .key = "resonanceVolume", .control = "ResonanceVolumeBar",
        .page = "Filters", .group = "Resonance", .lo = 0, .hi = 512, .start = 256, .step = 16,
        .label = lab("Volume: ", 1, x100over256, "")}),
    bar({.id = ParamId::ResonanceCalmingSpeed, .key = "resonanceCalmingSpeed",
        .control = "ResonanceCalmingSpeedBar", .page = "Filters", .group = "Resonance", .lo = 0, .hi = 1024,
        .start = 960, .label = lab("Calming speed: ", 3, calming, "   ")}),
    bar({.id = ParamId::ResonanceDependence, .key = "resonanceDependence",
        .control = "ResonanceDependenceScrollBar", .page = "Filters", .group = "Resonance", .lo = 0, .hi = 512,
        .start = 128, .label = lab("Calming dependence: ", 1, pct512, "%   ")}),
    box({.id = ParamId::ResonanceActive, .key = "resonanceActive", .control = "ResonanceActiveBox",
        .page = "Filters", .group = "Resonance", .caption = "Active"}),
    box({.id = ParamId::CutOffActive, .key = "cutOffActive", .control = "CutOffActiveBox", .page = "Filters",
        .group = "CutOff", .caption = "Active"}),
    bar({.id = ParamId::CutOff, .key = "cutOff", .control = "CutOffBar", .page = "Filters", .group = "CutOff",
        .lo = 0, .hi = 255, .start = 128, .label = lab("Cut off: ", -1, ident, "   ")}),
    box({.id = ParamId::AverageFilterActive, .key = "averageFilterActive", .control = "AverageFilterCheckBox",
        .page = "Filters", .group = "Average filter", .caption = "Active"}),
    bar({.id = ParamId::AverageFilterWindowWidth, .key = "averageFilterWindowWidth",
        .control = "AverageFilterWindowWidthBar", .page = "Filters", .group = "Average filter", .lo = 1, .hi = 100,
        .start = 1, .label = lab("Window width: ", -1, ident, " samples   "), .reaction = R::RedrawRender}),
    bar({.id = ParamId::AverageFilterTrebleVolume, .key = "averageFilterTrebleVolume",
        .control = "AverageFilterTrebleVolumeBar", .page = "Filters", .group = "Average filter", .lo = 0, .hi = 256,
        .start = 256, .label = lab("Treble volume: ", 1, pct256, "%   ")}),
    bar({.id = ParamId::AverageFilterBassVolume, .key = "averageFilterBassVolume",
        .control = "AverageFilterBassVolumeBar", .page = "Filters", .group = "Average filter", .lo = 0, .hi = 256,
        .start = 256, .label = lab("Bass volume: ", 1, pct256, "%   ")}),
    box({.id = ParamId::WindowFilterActive, .key = "windowFilterActive", .control = "WindowFilterActiveBox",
        .page = "Filters", .group = "Window filter", .caption = "Active"}),
    bar({.id = ParamId::FwWindowPos, .key = "fwWindowPos", .control = "FW_WindowPosBar", .page = "Filters",
        .group = "Window filter", .lo = 0, .hi = 256, .start = 0,
        .label = lab("Window position: ", -1, ident, "   ")}),
    bar({.id = ParamId::FwWindowWidth, .key = "fwWindowWidth", .control = "FW_WindowWidthBar", .page = "Filters",
        .group = "Window filter", .lo = 1, .hi = 256, .start = 1, .label = lab("Window width: ", -1, ident, "   ")}),
    // ---- Mixer page
    bar({.id = ParamId::SampleRate, .key = "ratePosition", .control = "FrequencyScrollBar", .page = "Mixer",
        .group = "Sample rate", .lo = 200, .hi = 9600, .start = 4410, .label = lab("Frequency: ", -1, times5, ""),
        .reaction = R::SampleRate, .scope = S::Rate}),
    edit({.id = ParamId::Length, .key = "length", .control = "LengthNumberEdit", .page = "Mixer", .group = "Length",
        .caption = "Length", .lo = 1, .hi = kEditMax, .barLo = 1, .barHi = 256, .start = 10, .mult = 1,
        .reaction = R::Length, .label = custom(lengthLabel)}),
    edit({.id = ParamId::Sample1StartPos, .key = "sample1StartPos", .control = "Sample1StartPosNumberEdit",
        .page = "Mixer", .group = "Samples", .caption = "Sample #1 start", .lo = 0, .hi = kEditMax, .barLo = 0,
        .barHi = 1024, .start = 0, .mult = 1, .reaction = R::SampleStart}),
    edit({.id = ParamId::Sample2StartPos, .key = "sample2StartPos", .control = "Sample2StartPosNumberEdit",
        .page = "Mixer", .group = "Samples", .caption = "Sample #2 start", .lo = 0, .hi = kEditMax, .barLo = 0,
        .barHi = 1024, .start = 0, .mult = 1, .reaction = R::SampleStart}),
    // ---- Amplifiers page
    bar({.id = ParamId::OscillatorsVolume, .key = "oscillatorsVolume", .control = "OscillatorsVolumeScrollBar",
        .page = "Amplifiers", .group = "Main", .lo = 0, .hi = 256, .start = 256, .step = 32,
        .label = lab("Volume: ", 1, x100over256, "    "), .reaction = R::OscillatorsRender}),
    box({.id = ParamId::OscillatorsCalm, .key = "oscillatorsCalm", .control = "OscillatorsCalmCheckBox",
        .page = "Amplifiers", .group = "Main", .caption = "Calm", .reaction = R::OscillatorsRender}),
    box({.id = ParamId::FeedBackActive, .key = "feedBackActive", .control = "FeedBackActiveCheckBox",
        .page = "Amplifiers", .group = "FeedBack", .caption = "Active", .reaction = R::FeedBackActive}),
    bar({.id = ParamId::FeedBackVolume, .key = "feedBackVolume", .control = "FeedBackVolumeScrollBar",
        .page = "Amplifiers", .group = "FeedBack", .lo = 0, .hi = 256, .start = 180,
        .label = lab("Volume: ", 1, pct256, "%   ")}),
    bar({.id = ParamId::FeedBackDelay, .key = "feedBackDelay", .control = "FeedBackDelayScrollBar",
        .page = "Amplifiers", .group = "FeedBack", .lo = 0, .hi = 4096, .start = 220, .step = 32,
        .label = custom(delayLabel, delayMs, 1, "ms")}),
    bar({.id = ParamId::AdditionalSilence, .key = "additionalSilence", .control = "AdditionalSilenceScrollBar",
        .page = "Amplifiers", .group = "FeedBack", .lo = 0, .hi = 256, .start = 0,
        .label = custom(silenceLabel, silenceSeconds, 2, "s"), .reaction = R::Silence}),
    box({.id = ParamId::FeedBackCyclic, .key = "feedBackCyclic", .control = "FeedBackCyclicCheckBox",
        .page = "Amplifiers", .group = "FeedBack", .caption = "Cyclic"}),
    bar({.id = ParamId::FeedBackDecay, .key = "feedBackDecay", .control = "FeedBackDecayScrollBar",
        .page = "Amplifiers", .group = "FeedBack", .lo = 0, .hi = 256, .start = 180,
        .label = lab("Decay: ", 1, pct256, "%   ")}),
    bar({.id = ParamId::FeedBackCutOff, .key = "feedBackCutOff", .control = "FeedBackCutOffScrollBar",
        .page = "Amplifiers", .group = "FeedBack", .lo = 0, .hi = 256, .start = 192,
        .label = lab("Cut off: ", -1, ident, "   ")}),
    bar({.id = ParamId::MainVolume, .key = "mainVolume", .control = "MainVolumeBar", .page = "Amplifiers",
        .group = "Main", .lo = 0, .hi = 256, .start = 256, .label = lab("Main volume: ", 1, pct256, "%   ")}),
    list({.id = ParamId::VolumeModulation, .key = "volumeModulation", .control = "VolumeModulationBox",
        .page = "Amplifiers", .group = "Main"}),
    bar({.id = ParamId::PreOverdrive, .key = "preOverdrive", .control = "PreOverdriveScrollBar",
        .page = "Amplifiers", .group = "Overdrive", .lo = 16, .hi = 256, .start = 16, .step = 16,
        .label = lab("PreOverdrive: ", 1, over16, "   ")}),
    bar({.id = ParamId::PostOverdrive, .key = "postOverdrive", .control = "PostOverdriveScrollBar",
        .page = "Amplifiers", .group = "Overdrive", .lo = 16, .hi = 256, .start = 16, .step = 16,
        .label = lab("PostOverdrive: ", 1, over16, "   ")}),
    bar({.id = ParamId::WrapOverdrive, .key = "wrapOverdrive", .control = "WrapOverdriveScrollBar",
        .page = "Amplifiers", .group = "Overdrive", .lo = 32, .hi = 256, .start = 32, .step = 32,
        .label = lab("WrapOverdrive: ", 1, over32, "   ")}),
    box({.id = ParamId::WrapOverdriveActive, .key = "wrapOverdriveActive", .control = "WrapOverdriveCheckBox",
        .page = "Amplifiers", .group = "Overdrive", .caption = "Active"}),
    box({.id = ParamId::ReverbActive, .key = "reverbActive", .control = "ReverbActiveCheckBox",
        .page = "Amplifiers", .group = "Reverb", .caption = "Active"}),
    bar({.id = ParamId::ReverbDryVolume, .key = "reverbDryVolume", .control = "ReverbDryVolumeScrollBar",
        .page = "Amplifiers", .group = "Reverb", .lo = 0, .hi = 32767, .start = 32767,
        .label = lab("Dry volume: ", 1, pct32768, "%   ")}),
    bar({.id = ParamId::ReverbWetVolume, .key = "reverbWetVolume", .control = "ReverbWetVolumeScrollBar",
        .page = "Amplifiers", .group = "Reverb", .lo = 0, .hi = 32767, .start = 15000,
        .label = lab("Wet volume: ", 1, pct32768, "%   ")}),
    bar({.id = ParamId::ReverbLength, .key = "reverbLength", .control = "ReverbLengthScrollBar",
        .page = "Amplifiers", .group = "Reverb", .lo = 0, .hi = 2000, .start = 200,
        .label = lab("Length: ", -1, ident, "ms    ")}),
    bar({.id = ParamId::ReverbAttack, .key = "reverbAttack", .control = "ReverbAttackScrollBar",
        .page = "Amplifiers", .group = "Reverb", .lo = 0, .hi = 600, .start = 15,
        .label = lab("Attack length: ", -1, ident, "ms    ")}),
    bar({.id = ParamId::ReverbCutOff, .key = "reverbCutOff", .control = "ReverbCutOffScrollBar",
        .page = "Amplifiers", .group = "Reverb", .lo = 0, .hi = 256, .start = 192,
        .label = lab("Cut off: ", -1, ident, "   ")}),
    // ---- FX page
    box({.id = ParamId::FlangerActive, .key = "flangerActive", .control = "FlangerCheckBox", .page = "FX",
        .group = "Flanger", .caption = "Active"}),
    bar({.id = ParamId::FlangerMinDelay, .key = "flangerMinDelay", .control = "FlangerMinDelayScrollBar",
        .page = "FX", .group = "Flanger", .lo = 0, .hi = 100, .start = 0,
        .label = lab("Min delay: ", 2, samplesToMs, "ms   ")}),
    bar({.id = ParamId::FlangerMaxDelay, .key = "flangerMaxDelay", .control = "FlangerMaxDelayScrollBar",
        .page = "FX", .group = "Flanger", .lo = 0, .hi = 100, .start = 20,
        .label = lab("Max delay: ", 2, samplesToMs, "ms   ")}),
    bar({.id = ParamId::FlangerRate, .key = "flangerRate", .control = "FlangerRateScrollBar", .page = "FX",
        .group = "Flanger", .lo = 0, .hi = 500, .start = 50, .label = lab("Rate: ", 2, hundredth, "Hz   ")}),
    box({.id = ParamId::FlangerInvert, .key = "flangerInvert", .control = "FlangerInvertCheckBox", .page = "FX",
        .group = "Flanger", .caption = "Invert"}),
    bar({.id = ParamId::FlangerCrossFade, .key = "flangerCrossFade", .control = "FlangerCrossFadeScrollBar",
        .page = "FX", .group = "Flanger", .lo = 0, .hi = 256, .start = 128,
        .label = lab("Crossfade: ", 1, pct256, "%   ")}),
    box({.id = ParamId::ChorusActive, .key = "chorusActive", .control = "ChorusCheckBox", .page = "FX",
        .group = "Chorus", .caption = "Active"}),
    bar({.id = ParamId::ChorusVoices, .key = "chorusVoices", .control = "ChorusNumberOfVoicesSpinEdit",
        .page = "FX", .group = "Chorus", .lo = 1, .hi = 20, .start = 1, .widget = Widget::SpinBox}),
    bar({.id = ParamId::ChorusMaxDelay, .key = "chorusMaxDelay", .control = "ChorusMaxDelayScrollBar", .page = "FX",
        .group = "Chorus", .lo = 0, .hi = 500, .start = 70, .label = lab("Max delay: ", 2, samplesToMs, "ms   ")}),
    bar({.id = ParamId::ChorusVibratoRate, .key = "chorusVibratoRate", .control = "ChorusVibratoRateScrollBar",
        .page = "FX", .group = "Chorus", .lo = 1, .hi = 10000, .start = 800,
        .label = lab("Vibrato rate: ", 2, chorusVibratoHz, "Hz   ")}),
    bar({.id = ParamId::ChorusVolume, .key = "chorusVolume", .control = "ChorusVolumeScrollBar", .page = "FX",
        .group = "Chorus", .lo = 256, .hi = 1024, .start = 256, .label = lab("Volume: ", -1, chorusVolume, "%   ")}),
    // ---- Sequencer page (chord) and Realtime page
    box({.id = ParamId::ChordActive, .key = "chordActive", .control = "ChordCheckBox", .page = "Sequencer",
        .group = "", .caption = "Chord"}),
    edit({.id = ParamId::Tempo, .key = "tempo", .control = "TempoEdit", .page = "Realtime", .group = "Tempo",
        .caption = "Tempo", .lo = 0, .hi = kEditMax, .barLo = 32, .barHi = 256, .start = 112, .mult = 1,
        .reaction = R::Tempo}),
    MIDI_ENVELOPE(1), MIDI_ENVELOPE(2),
    // ---- Oscillators page (the selected oscillator; offsets inside its record)
    bar({.id = ParamId::OscVolume, .key = "volume", .control = "SineGeneratorVolumeBar", .page = "Oscillators",
        .group = "Oscillator", .lo = 0, .hi = 256, .start = 128, .step = 16,
        .label = custom(oscVolumeLabel, x100over256, 1, "", oscVolumeDb, "dB"), .reaction = R::Oscillator,
        .scope = S::Oscillator, .scale = 128}),
    bar({.id = ParamId::OscFrequency, .key = "frequency", .control = "OscillatorFrequencyBar",
        .page = "Oscillators", .group = "Oscillator", .lo = 0, .hi = 11025, .start = 440, .step = 10,
        .label = custom(oscFrequencyLabel, ident, -1, "Hz"), .reaction = R::Oscillator, .scope = S::Oscillator}),
    bar({.id = ParamId::OscRelativeFrequency, .key = "relativeFrequency",
        .control = "SineGeneratorRelativeFrequencyBar", .page = "Oscillators", .group = "Oscillator", .lo = 0,
        .hi = 4000, .start = 1000, .step = 10, .label = lab("Relative frequency: ", 1, tenth, "   "),
        .reaction = R::Oscillator, .scope = S::Oscillator}),
    bar({.id = ParamId::OscShape, .key = "shape", .control = "SineGeneratorShapeBar", .page = "Oscillators",
        .group = "Oscillator", .lo = 0, .hi = 2048, .start = 1024, .step = 32,
        .label = lab("Shape: ", 3, over1024, "   "), .reaction = R::Oscillator, .scope = S::Oscillator}),
    bar({.id = ParamId::OscPhase, .key = "phase", .control = "SineGeneratorPhaseScrollBar", .page = "Oscillators",
        .group = "Oscillator", .lo = 0, .hi = 256, .start = 0, .label = lab("Phase: ", 0, degrees, "\u00b0   "),
        .reaction = R::Oscillator, .scope = S::Oscillator}),
    box({.id = ParamId::OscHarmonicsActive, .key = "harmonicsActive", .control = "HarmonicsActiveCheckBox",
        .page = "Oscillators", .group = "Harmonics", .caption = "Active", .reaction = R::OscillatorLight,
        .scope = S::Oscillator}),
    box({.id = ParamId::OscFilter, .key = "Filter", .control = "FilterCheckBox", .page = "Oscillators",
        .group = "Oscillator", .caption = "Filter", .reaction = R::OscillatorLight, .scope = S::Oscillator,
        .bit = 1, .start = 1}),
    box({.id = ParamId::OscMelodic, .key = "Melodic", .control = "MelodicCheckBox", .page = "Oscillators",
        .group = "Oscillator", .caption = "Melodic", .scope = S::Oscillator, .bit = 2, .start = 1}),
    box({.id = ParamId::OscInvert, .key = "Invert", .control = "InvertCheckBox", .page = "Oscillators",
        .group = "Oscillator", .caption = "Invert", .reaction = R::OscillatorLight, .scope = S::Oscillator,
        .bit = 4}),
    box({.id = ParamId::OscRingMod, .key = "RingMod", .control = "RingModCheckBox", .page = "Oscillators",
        .group = "Oscillator", .caption = "RingMod", .reaction = R::OscillatorLight, .scope = S::Oscillator,
        .bit = 8}),
    box({.id = ParamId::OscSync, .key = "Sync", .control = "SyncCheckBox", .page = "Oscillators",
        .group = "Oscillator", .caption = "Sync", .reaction = R::OscillatorLight, .scope = S::Oscillator,
        .bit = 16}),
    box({.id = ParamId::OscPhaseMod, .key = "PhaseMod", .control = "PhaseModCheckBox", .page = "Oscillators",
        .group = "Oscillator", .caption = "PhaseMod", .reaction = R::OscillatorLight, .scope = S::Oscillator,
        .bit = 32}),
    box({.id = ParamId::OscFm, .key = "FM", .control = "FMCheckBox", .page = "Oscillators", .group = "Oscillator",
        .caption = "FM", .reaction = R::OscillatorLight, .scope = S::Oscillator, .bit = 64}),
    list({.id = ParamId::OscVolumeModulation, .key = "volumeModulation",
        .control = "SineGeneratorVolumeModulationBox", .page = "Oscillators", .group = "Volume modulation",
        .reaction = R::Oscillator, .scope = S::Oscillator}),
    list({.id = ParamId::OscFrequencyModulation, .key = "frequencyModulation",
        .control = "SineGeneratorFrequencyModulationBox", .page = "Oscillators", .group = "Frequency modulation",
        .reaction = R::Oscillator, .scope = S::Oscillator}),
    list({.id = ParamId::OscShapeModulation, .key = "shapeModulation", .control = "SineGeneratorShapeModulationBox",
        .page = "Oscillators", .group = "Shape modulation", .reaction = R::Oscillator, .scope = S::Oscillator}),
    choice({.id = ParamId::OscWaveForm, .key = "waveForm", .control = "WaveFormComboBox", .page = "Oscillators",
        .group = "Oscillator", .hi = 11, .items = kWaveItems, .reaction = R::Oscillator, .scope = S::Oscillator,
        .widget = Widget::ComboBox}),
    LEVEL(1), LEVEL(2), LEVEL(3), LEVEL(4), LEVEL(5), LEVEL(6), LEVEL(7), LEVEL(8),
    LEVEL(9), LEVEL(10), LEVEL(11), LEVEL(12), LEVEL(13), LEVEL(14), LEVEL(15), LEVEL(16),
    DETUNE(1), DETUNE(2), DETUNE(3), DETUNE(4), DETUNE(5), DETUNE(6), DETUNE(7), DETUNE(8),
    DETUNE(9), DETUNE(10), DETUNE(11), DETUNE(12), DETUNE(13), DETUNE(14), DETUNE(15), DETUNE(16),
    LIGHT(1), LIGHT(2), LIGHT(3), LIGHT(4), LIGHT(5), LIGHT(6), LIGHT(7), LIGHT(8), LIGHT(9), LIGHT(10),
    // ---- Envelope page
    ENVELOPE(1, 0), ENVELOPE(2, 7), ENVELOPE(3, 14),
    // ---- Sequencer page: the units' edits
    edit({.id = ParamId::NoteCount, .key = "noteCount", .control = "NoteCountEdit", .page = "Sequencer",
        .group = "Note sequencer", .caption = "Number of notes:", .lo = 1, .hi = 32, .barLo = 1, .barHi = 32,
        .start = 32, .mult = 1, .reaction = R::Units, .scope = S::Unit}),
    edit({.id = ParamId::PortamentoSpeed, .key = "portamentoSpeed", .control = "PortamentoSpeedEdit",
        .page = "Sequencer", .group = "Frequency sequencer", .caption = "Portamento speed: (%)", .lo = 0,
        .hi = kEditMax, .barLo = 0, .barHi = 16384, .start = 16384, .mult = 2, .reaction = R::Units,
        .scope = S::Unit, .index = 1}),
    edit({.id = ParamId::SEnvAttack, .key = "attack", .control = "EnvelopeAttackEdit", .page = "Sequencer",
        .group = "Envelope sequencer", .caption = "Attack: ", .lo = 0, .hi = kEditMax, .barLo = 0, .barHi = 16384,
        .start = 1.2, .mult = 2, .reaction = R::Units, .scope = S::Unit, .type = T::Real, .index = 2}),
    edit({.id = ParamId::SEnvDecayAngle, .key = "decayAngle", .control = "EnvelopeDecayAngleEdit",
        .page = "Sequencer", .group = "Envelope sequencer", .caption = "Decay angle:", .lo = 0, .hi = kEditMax,
        .barLo = 0, .barHi = 1000, .start = 80, .mult = 0.1, .reaction = R::Units, .scope = S::Unit,
        .type = T::Real, .index = 3}),
    edit({.id = ParamId::SEnvRelease, .key = "release", .control = "EnvelopeReleaseEdit", .page = "Sequencer",
        .group = "Envelope sequencer", .caption = "Release:", .lo = 0, .hi = kEditMax, .barLo = 0, .barHi = 1000,
        .start = 4, .mult = 0.1, .reaction = R::Units, .scope = S::Unit, .type = T::Real, .index = 4}),
    edit({.id = ParamId::SEnvReleaseStart, .key = "releaseStart", .control = "EnvelopeReleaseStartEdit",
        .page = "Sequencer", .group = "Envelope sequencer", .caption = "Release start: (%)", .lo = 0,
        .hi = kEditMax, .barLo = 0, .barHi = 2560, .start = 128, .mult = 0.1, .reaction = R::Units,
        .scope = S::Unit, .type = T::Real, .index = 5}),
    edit({.id = ParamId::SEnvAmplitude, .key = "amplitude", .control = "EnvelopeAmplitudeEdit", .page = "Sequencer",
        .group = "Envelope sequencer", .caption = "Amplitude: (%)", .lo = 0, .hi = kEditMax, .barLo = 0,
        .barHi = 16384, .start = 32768, .mult = 2, .reaction = R::Units, .scope = S::Unit, .type = T::Real,
        .index = 6}),
};

#undef ENVELOPE
#undef ENVELOPE_BAR
#undef LFO
#undef MIDI_ENVELOPE
#undef MIDI_ENVELOPE_BAR
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

}  // namespace

std::span<const ParamInfo> paramTable() { return kTable; }

const ParamInfo& paramInfo(ParamId id) { return kTable[static_cast<size_t>(id)]; }

std::optional<ParamId> findParam(std::string_view key, ParamScope scope) {
    for (const ParamInfo& p : kTable)
        if (p.key == key && p.scope == scope) return p.id;
    return std::nullopt;
}

std::vector<ParamChoice> paramChoices(ParamId id) {
    const std::span<const ParamChoice> items = paramInfo(id).items;
    return {items.begin(), items.end()};
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

long double usableRate(long double rate) { return rate > 0 ? rate : kReferenceRate; }

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


}  // namespace kf

namespace kf {

namespace {

// The stored number at `q`: little-endian in an image, the machine's order in a record.
int64_t storedAt(const ParamInfo& p, const uint8_t* q, bool image) {
    auto u16 = [&] {
        uint16_t v;
        std::memcpy(&v, q, 2);
        return image ? getLE16(q) : v;
    };
    switch (p.store) {
        case Store::I32: {
            int32_t v;
            std::memcpy(&v, q, 4);
            return image ? static_cast<int32_t>(getLE32(q)) : v;
        }
        case Store::I16: return static_cast<int16_t>(u16());
        case Store::U16:
        case Store::Set16: return u16();
        case Store::U8: return q[0];
        case Store::Bit: return (q[0] & p.bit) ? 1 : 0;
        case Store::None: return 0;
    }
    return 0;
}

void storeAt(const ParamInfo& p, uint8_t* q, bool image, long double value) {
    const int64_t v = static_cast<int64_t>(value) * p.scale;
    switch (p.store) {
        case Store::I32: {
            const auto w = static_cast<uint32_t>(v);
            if (image) putLE32(q, w);
            else std::memcpy(q, &w, 4);
            break;
        }
        case Store::I16:
        case Store::U16:
        case Store::Set16: {
            const auto w = static_cast<uint16_t>(v);
            if (image) putLE16(q, w);
            else std::memcpy(q, &w, 2);
            break;
        }
        case Store::U8: q[0] = static_cast<uint8_t>(v); break;
        case Store::Bit: q[0] = static_cast<uint8_t>(v ? (q[0] | p.bit) : (q[0] & ~p.bit)); break;
        case Store::None: break;
    }
}

template <class Record>
long double readMember(const ParamInfo& p, const Record& r) {
    return static_cast<long double>(storedAt(p, reinterpret_cast<const uint8_t*>(&r) + p.member, false) / p.scale);
}
template <class Record>
void writeMember(const ParamInfo& p, Record& r, long double value) {
    storeAt(p, reinterpret_cast<uint8_t*>(&r) + p.member, false, value);
}

}  // namespace

long double readStored(const ParamInfo& p, const TimbreRecord& r) { return readMember(p, r); }
long double readStored(const ParamInfo& p, const OscillatorRecord& r) { return readMember(p, r); }
void writeStored(const ParamInfo& p, TimbreRecord& r, long double value) { writeMember(p, r, value); }
void writeStored(const ParamInfo& p, OscillatorRecord& r, long double value) { writeMember(p, r, value); }

long double readStored(const ParamInfo& p, const uint8_t* image) {
    return static_cast<long double>(storedAt(p, image + p.offset, true) / p.scale);
}

void writeStored(const ParamInfo& p, uint8_t* image, long double value) { storeAt(p, image + p.offset, true, value); }

}  // namespace kf
