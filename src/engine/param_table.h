// The parameter table: the one place where every control-held parameter of
// a timbre, the oscillator page, the envelope bars, the sequencer pages and
// the sample rate is described. The preset JSON, the session, the command
// line and the window all read it; adding a parameter is one row here plus
// its use in the engine.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kf {

class NoteTables;

enum class ParamId : uint16_t {
    // LFO page
    Lfo1Frequency, Lfo1Base, Lfo1Amplitude, Lfo1Shape, Lfo1Phase,
    Lfo2Frequency, Lfo2Base, Lfo2Amplitude, Lfo2Shape, Lfo2Phase,
    NoiseFrequency, NoiseBase, NoiseAmplitude,
    // Filters page
    ResonanceFrequencyModulation, CutOffMode, CutOffModulation,
    ResonanceFrequency, ResonanceVolume, ResonanceCalmingSpeed, ResonanceDependence, ResonanceActive,
    CutOffActive, CutOff,
    AverageFilterActive, AverageFilterWindowWidth, AverageFilterTrebleVolume, AverageFilterBassVolume,
    WindowFilterActive, FwWindowPos, FwWindowWidth,
    // Mixer page
    SampleRate, Length, Sample1StartPos, Sample2StartPos,
    // Amplifiers page
    OscillatorsVolume, OscillatorsCalm,
    FeedBackActive, FeedBackVolume, FeedBackDelay, AdditionalSilence, FeedBackCyclic, FeedBackDecay, FeedBackCutOff,
    MainVolume, VolumeModulation, PreOverdrive, PostOverdrive, WrapOverdrive, WrapOverdriveActive,
    ReverbActive, ReverbDryVolume, ReverbWetVolume, ReverbLength, ReverbAttack, ReverbCutOff,
    // FX page
    FlangerActive, FlangerMinDelay, FlangerMaxDelay, FlangerRate, FlangerInvert, FlangerCrossFade,
    ChorusActive, ChorusVoices, ChorusMaxDelay, ChorusVibratoRate, ChorusVolume,
    // Sequencer page (timbre) and Realtime page
    ChordActive, Tempo,
    MidiEnv1Attack, MidiEnv1Decay, MidiEnv1Sustain, MidiEnv1Release, MidiEnv1Amplitude,
    MidiEnv2Attack, MidiEnv2Decay, MidiEnv2Sustain, MidiEnv2Release, MidiEnv2Amplitude,
    // Oscillators page: the selected oscillator
    OscVolume, OscFrequency, OscRelativeFrequency, OscShape, OscPhase, OscHarmonicsActive,
    OscFilter, OscMelodic, OscInvert, OscRingMod, OscSync, OscPhaseMod, OscFm,
    OscVolumeModulation, OscFrequencyModulation, OscShapeModulation, OscWaveForm,
    OscLevel1, OscLevel2, OscLevel3, OscLevel4, OscLevel5, OscLevel6, OscLevel7, OscLevel8,
    OscLevel9, OscLevel10, OscLevel11, OscLevel12, OscLevel13, OscLevel14, OscLevel15, OscLevel16,
    OscDetune1, OscDetune2, OscDetune3, OscDetune4, OscDetune5, OscDetune6, OscDetune7, OscDetune8,
    OscDetune9, OscDetune10, OscDetune11, OscDetune12, OscDetune13, OscDetune14, OscDetune15, OscDetune16,
    // The ten "Active" lights (oscillators 1..10)
    Active1, Active2, Active3, Active4, Active5, Active6, Active7, Active8, Active9, Active10,
    // Envelope page: Env1..Env3 x attack, sustain, release, amplitude, base, shape, iterations
    Env1Attack, Env1Sustain, Env1Release, Env1Amplitude, Env1Base, Env1Shape, Env1Iterations,
    Env2Attack, Env2Sustain, Env2Release, Env2Amplitude, Env2Base, Env2Shape, Env2Iterations,
    Env3Attack, Env3Sustain, Env3Release, Env3Amplitude, Env3Base, Env3Shape, Env3Iterations,
    // Sequencer page: the sound units' edits
    NoteCount, PortamentoSpeed,
    SEnvAttack, SEnvDecayAngle, SEnvRelease, SEnvReleaseStart, SEnvAmplitude,
    Count
};
constexpr int kParamCount = static_cast<int>(ParamId::Count);

// Where a parameter lives.
enum class ParamScope : uint8_t {
    Timbre,      // a field of the timbre record
    Oscillator,  // a field of the selected oscillator's record
    Light,       // the "active" byte of oscillator `offset`
    Envelope,    // envelope bar `offset` (env × 7 + part)
    Unit,        // a sound unit's edit (`offset`: 0 note count, 1 portamento, 2..6 envelope sequencer)
    Rate,        // the sample-rate control
};

enum class ParamType : uint8_t { Int, Bool, Sources, Choice, Real };

// How the value is stored in its record (taken from record_fields.h).
enum class Store : uint8_t { None, I32, I16, U16, U8, Bit, Set16 };

// The window's control for a row.
enum class Widget : uint8_t { Bar, SpinBox, NumberEdit, CheckBox, SourceList, RadioGroup, ComboBox };

// What a change of the control sets off.
enum class Reaction : uint8_t {
    Render,              // the common reaction: a new render (generateSoundBuf)
    Oscillator,          // osc controls: flag, capture the oscillator, render
    OscillatorLight,     // active lights, oscillator check boxes: capture regardless, render
    OscillatorsRender,   // flag the oscillators changed, render
    Length,              // stop, reallocate, flag, render, replay
    Silence,             // as Length
    SampleRate,          // set the rate, restart playback; no render
    SampleStart,         // reload the sample with the new start, flag, render
    RedrawRender,        // redraw the wave display, render
    FeedBackActive,      // render; restart playback when there is silence
    Units,               // the sound units' change event
    Tempo,               // the render length from the tempo; no render
};

// A label: prefix + number + suffix, or a text of its own. The number is
// in true units at the sound's sample rate where the engine's arithmetic
// uses that rate, so typed entry can run the same function backwards.
struct ParamLabel {
    std::string_view prefix;
    int decimals = -1;  // -1: integer
    long double (*value)(long double value, long double sampleRate) = nullptr;  // the number shown
    std::string_view suffix;
    std::string (*custom)(long double value, const NoteTables* tables, long double sampleRate) = nullptr;
    std::string_view unit;  // what typed entry takes after the number (custom texts; else the trimmed suffix)
    long double (*alt)(long double value, long double sampleRate) = nullptr;  // a second unit typed entry takes
    std::string_view altUnit;
};

struct ParamChoice {
    std::string_view caption;
    int32_t value;
};

struct ParamInfo {
    ParamId id;
    std::string_view key;      // JSON key
    std::string_view control;  // the window's control
    std::string_view page;     // page caption
    std::string_view group;    // group caption on that page
    std::string_view caption;  // text of a check box, radio group or number edit
    ParamScope scope;
    ParamType type;
    Widget widget;
    Store store;
    uint16_t offset;           // in the record's byte image (or index, see ParamScope)
    uint32_t member;           // in the record struct
    uint8_t bit;               // Store::Bit: mask in the byte
    int32_t scale;             // stored value = value × scale
    long double min, max;      // the value's range (number edits: max 2147483647)
    int32_t barMin, barMax;    // the scroll bar's range
    int32_t step;              // small step of the bar
    long double start;         // the value the window opens with
    long double mult;          // number edits: value per bar position
    Reaction reaction;
    ParamLabel label;
    std::span<const ParamChoice> items;  // Choice: in list order
};

std::span<const ParamInfo> paramTable();
const ParamInfo& paramInfo(ParamId id);
// The parameter with this JSON key in a record of that scope.
std::optional<ParamId> findParam(std::string_view key, ParamScope scope);
// A Choice parameter's items in list order, with their stored values.
std::vector<ParamChoice> paramChoices(ParamId id);

// The value held to the parameter's range (Int values also rounded).
long double clampParam(ParamId id, long double value);
// The label text for a value; empty when the control has no changing text.
// `tables` names the nearest note of the oscillator frequency (without it,
// the equal-tempered scale); times and rates are those heard at `sampleRate`.
std::string paramLabel(ParamId id, long double value, const NoteTables* tables = nullptr,
                       long double sampleRate = 44100);
// The label's number with its unit ("131Hz", "79.8ms"): what typed entry
// starts from. Empty when the label has no number.
std::string paramValueText(ParamId id, long double value, long double sampleRate = 44100);
// The unit typed entry takes for the parameter ("Hz", "%", "ms", "" for a
// plain number).
std::string_view paramUnit(ParamId id);
// A remark for the control's tooltip where the label alone would mislead.
std::string_view paramNote(ParamId id);
// Typed entry, the label run backwards: the bar position whose label number
// is nearest to `text` (a number, optionally followed by the label's unit,
// "s" for "ms" and the other way round, "kHz", or a second unit such as
// "dB"). Nothing when the text is no number in a unit the row takes.
std::optional<int32_t> positionForValue(ParamId id, std::string_view text, long double sampleRate = 44100);

// Fixed-point text with `decimals` digits, ties away from zero.
std::string formatFixed(long double v, int decimals);
// A number edit's text: 10 decimals, trailing zeros and point removed.
std::string numberEditText(long double v);

constexpr ParamId offsetId(ParamId first, int k) { return static_cast<ParamId>(static_cast<int>(first) + k); }

}  // namespace kf

namespace kf {

struct TimbreRecord;
struct OscillatorRecord;

// A parameter's value in its record (the timbre record for Timbre scope,
// the oscillator record for Oscillator scope), read through its member:
// the stored number divided by the scale, truncated.
long double readStored(const ParamInfo& p, const TimbreRecord& record);
long double readStored(const ParamInfo& p, const OscillatorRecord& record);
// Writes value × scale into the member (bits of a flag byte only).
void writeStored(const ParamInfo& p, TimbreRecord& record, long double value);
void writeStored(const ParamInfo& p, OscillatorRecord& record, long double value);
// The same in a record's byte image, for files not yet read into a record.
long double readStored(const ParamInfo& p, const uint8_t* image);
void writeStored(const ParamInfo& p, uint8_t* image, long double value);

}  // namespace kf
