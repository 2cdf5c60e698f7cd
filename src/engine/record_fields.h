// Where every stored field of the timbre and oscillator records lives, once:
// its place in the byte image (offset, width), the struct member holding it
// and how the preset JSON shows it. The image read/write (records.cpp), the
// parameter table's storage and the JSON field list all come from these
// lists; adding a field is one line here.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <type_traits>

#include "engine/records.h"

namespace kf {

// How a field sits in the image: a little-endian integer, bytes kept
// verbatim, or a record of its own repeated `count` times.
enum class Width : uint8_t { I32, I16, U16, U8, Bytes, Nested };

// How the preset JSON shows a field.
enum class Shown : uint8_t {
    Number, Sources, Flags, WaveForm,
    Hex,          // bytes no control holds; left out while zero
    Text,         // a length byte and up to size - 1 characters
    Curve, Oscillators, Slot, Harmonics, Point,
};

struct RecordField {
    std::string_view name;  // JSON key
    uint16_t offset;        // in the byte image
    Width width;
    uint16_t size;          // bytes in the image (Nested: of one element)
    size_t member;          // byte offset of the holding member in the struct
    Shown shown = Shown::Number;
    bool preset = false;    // shown under "preset" rather than "timbre"
    std::span<const RecordField> nested{};  // Nested: one element's fields
    uint16_t count = 1;     // Nested: elements
    size_t memberStride = 0;  // Nested: struct bytes from one element to the next
};

static_assert(std::is_standard_layout_v<TimbreRecord> && std::is_standard_layout_v<OscillatorRecord>,
              "fields are reached by their offset in the struct");

namespace fields {

using T = TimbreRecord;
using O = OscillatorRecord;
constexpr RecordField i32(std::string_view n, uint16_t off, size_t m) { return {n, off, Width::I32, 4, m}; }
constexpr RecordField i16(std::string_view n, uint16_t off, size_t m) { return {n, off, Width::I16, 2, m}; }
constexpr RecordField u16(std::string_view n, uint16_t off, size_t m, Shown s = Shown::Number) {
    return {n, off, Width::U16, 2, m, s};
}
constexpr RecordField u8(std::string_view n, uint16_t off, size_t m, Shown s = Shown::Number, bool preset = false) {
    return {n, off, Width::U8, 1, m, s, preset};
}
constexpr RecordField bytes(std::string_view n, uint16_t off, uint16_t size, size_t m, Shown s = Shown::Hex,
                            bool preset = false) {
    return {n, off, Width::Bytes, size, m, s, preset};
}
template <class Element, size_t N>
constexpr RecordField nested(std::string_view n, uint16_t off, uint16_t size, size_t m, Shown s,
                             const RecordField (&inner)[N], uint16_t count = 1) {
    return {n, off, Width::Nested, size, m, s, false, inner, count, sizeof(Element)};
}

inline constexpr RecordField kHarmonic[] = {
    u16("level", 0, offsetof(Harmonic, level)), u16("detune", 2, offsetof(Harmonic, detune))};
inline constexpr RecordField kSlot[] = {
    u16("sources", 0, offsetof(ModSlot, sources), Shown::Sources), i32("word0", 2, offsetof(ModSlot, word0)),
    i32("word1", 6, offsetof(ModSlot, word1))};
inline constexpr RecordField kPoint[] = {i32("x", 0, offsetof(CurvePoint, x)), i32("y", 4, offsetof(CurvePoint, y))};
inline constexpr RecordField kCurve[] = {
    nested<CurvePoint>("points", 0, 8, offsetof(CurveData, points), Shown::Point, kPoint, 128),
    i32("count", 1024, offsetof(CurveData, count))};

#define KF_O(m) offsetof(O, m)
inline constexpr RecordField kOscillator[] = {
    nested<Harmonic>("harmonics", 0, 4, KF_O(harmonics), Shown::Harmonics, kHarmonic, 16),
    i32("volume", 64, KF_O(volume)), i32("frequency", 68, KF_O(frequency)),
    i32("relativeFrequency", 72, KF_O(relativeFrequency)), i32("shape", 76, KF_O(shape)),
    u16("phase", 80, KF_O(phase)), bytes("unused82", 82, 2, KF_O(unused82)),
    u8("active", 84, KF_O(active)), u8("harmonicsActive", 85, KF_O(harmonicsActive)),
    u8("flags", 86, KF_O(flags), Shown::Flags),
    nested<ModSlot>("volumeModulation", 87, 10, KF_O(volumeModulation), Shown::Slot, kSlot),
    nested<ModSlot>("frequencyModulation", 97, 10, KF_O(frequencyModulation), Shown::Slot, kSlot),
    nested<ModSlot>("shapeModulation", 107, 10, KF_O(shapeModulation), Shown::Slot, kSlot),
    u8("waveForm", 117, KF_O(waveForm), Shown::WaveForm),
};
#undef KF_O

// The preset keeps its own fields in stretches the engine does not use
// (sample paths, byte-swap flags, the rate position); they are shown apart.
#define KF_T(m) offsetof(T, m)
inline constexpr RecordField kTimbre[] = {
    i32("lfo1Frequency", 0, KF_T(lfo1Frequency)), i32("lfo1Base", 4, KF_T(lfo1Base)),
    i32("lfo1Amplitude", 8, KF_T(lfo1Amplitude)), u8("lfo1Shape", 12, KF_T(lfo1Shape)),
    bytes("reserved13", 13, 3, KF_T(reserved13)),
    i32("lfo2Frequency", 16, KF_T(lfo2Frequency)), i32("lfo2Base", 20, KF_T(lfo2Base)),
    i32("lfo2Amplitude", 24, KF_T(lfo2Amplitude)), u8("lfo2Shape", 28, KF_T(lfo2Shape)),
    bytes("reserved29", 29, 3, KF_T(reserved29)),
    i32("noiseFrequency", 32, KF_T(noiseFrequency)), i32("noiseBase", 36, KF_T(noiseBase)),
    i32("noiseAmplitude", 40, KF_T(noiseAmplitude)), bytes("reserved44", 44, 4, KF_T(reserved44)),
    u16("resonanceFrequencyModulation", 48, KF_T(resonanceFrequencyModulation), Shown::Sources),
    u8("cutOffMode", 50, KF_T(cutOffMode)), i32("renderLength", 51, KF_T(renderLength)),
    bytes("reserved55", 55, 3, KF_T(reserved55)),
    u16("cutOffModulation", 58, KF_T(cutOffModulation), Shown::Sources),
    bytes("reserved60", 60, 12, KF_T(reserved60)),
    i32("resonanceFrequency", 72, KF_T(resonanceFrequency)), i32("resonanceVolume", 76, KF_T(resonanceVolume)),
    i32("resonanceCalmingSpeed", 80, KF_T(resonanceCalmingSpeed)), i32("chorusVolume", 84, KF_T(chorusVolume)),
    bytes("reserved88", 88, 20, KF_T(reserved88)), i32("length", 108, KF_T(length)),
    u8("resonanceActive", 112, KF_T(resonanceActive)), u8("cutOffActive", 113, KF_T(cutOffActive)),
    i32("cutOff", 114, KF_T(cutOff)), i32("averageFilterWindowWidth", 118, KF_T(averageFilterWindowWidth)),
    i32("averageFilterTrebleVolume", 122, KF_T(averageFilterTrebleVolume)),
    i32("averageFilterBassVolume", 126, KF_T(averageFilterBassVolume)),
    nested<OscillatorRecord>("oscillators", 130, OscillatorRecord::kSize, KF_T(oscillators), Shown::Oscillators,
                             kOscillator, 10),
    i32("oscillatorsVolume", 1310, KF_T(oscillatorsVolume)),
    nested<CurveData>("waveFormGraph", 1314, 1028, KF_T(waveFormGraph), Shown::Curve, kCurve),
    u8("feedBackActive", 2342, KF_T(feedBackActive)), i32("feedBackVolume", 2343, KF_T(feedBackVolume)),
    i32("feedBackDelay", 2347, KF_T(feedBackDelay)), i32("additionalSilence", 2351, KF_T(additionalSilence)),
    u8("feedBackCyclic", 2355, KF_T(feedBackCyclic)), i32("mainVolume", 2356, KF_T(mainVolume)),
    i32("preOverdrive", 2360, KF_T(preOverdrive)), i32("postOverdrive", 2364, KF_T(postOverdrive)),
    i32("wrapOverdrive", 2368, KF_T(wrapOverdrive)), u8("wrapOverdriveActive", 2372, KF_T(wrapOverdriveActive)),
    u16("volumeModulation", 2373, KF_T(volumeModulation), Shown::Sources),
    i32("feedBackDecay", 2375, KF_T(feedBackDecay)), i32("feedBackCutOff", 2379, KF_T(feedBackCutOff)),
    u8("windowFilterActive", 2383, KF_T(windowFilterActive)), i32("fwWindowPos", 2384, KF_T(fwWindowPos)),
    i32("fwWindowWidth", 2388, KF_T(fwWindowWidth)),
    nested<CurveData>("envelopeGraph", 2392, 1028, KF_T(envelopeGraph), Shown::Curve, kCurve),
    i32("lfo1Phase", 3420, KF_T(lfo1Phase)), i32("lfo2Phase", 3424, KF_T(lfo2Phase)), i32("tempo", 3428, KF_T(tempo)),
    i32("sample1StartPos", 3432, KF_T(sample1StartPos)), i32("sample2StartPos", 3436, KF_T(sample2StartPos)),
    u8("chordActive", 3440, KF_T(chordActive)), bytes("chord", 3441, 31, KF_T(chord), Shown::Text),
    i32("midiEnv1Attack", 3472, KF_T(midiEnv1Attack)), i32("midiEnv1Decay", 3476, KF_T(midiEnv1Decay)),
    i32("midiEnv1Sustain", 3480, KF_T(midiEnv1Sustain)), i32("midiEnv1Release", 3484, KF_T(midiEnv1Release)),
    u8("flangerActive", 3488, KF_T(flangerActive)), i16("flangerMinDelay", 3489, KF_T(flangerMinDelay)),
    i16("flangerMaxDelay", 3491, KF_T(flangerMaxDelay)), i32("flangerRate", 3493, KF_T(flangerRate)),
    u8("flangerInvert", 3497, KF_T(flangerInvert)), i32("flangerCrossFade", 3498, KF_T(flangerCrossFade)),
    u8("chorusActive", 3502, KF_T(chorusActive)), i32("chorusVoices", 3503, KF_T(chorusVoices)),
    i32("chorusMaxDelay", 3507, KF_T(chorusMaxDelay)),
    i32("midiEnv2Attack", 3511, KF_T(midiEnv2Attack)), i32("midiEnv2Decay", 3515, KF_T(midiEnv2Decay)),
    i32("midiEnv2Sustain", 3519, KF_T(midiEnv2Sustain)), i32("midiEnv2Release", 3523, KF_T(midiEnv2Release)),
    i32("midiEnv1Amplitude", 3527, KF_T(midiEnv1Amplitude)), i32("midiEnv2Amplitude", 3531, KF_T(midiEnv2Amplitude)),
    u8("realTime", 3535, KF_T(realTime)),
    bytes("captureScratch", 3536, 100, KF_T(unused3536), Shown::Hex, true),
    bytes("sample1Path", 3636, 101, KF_T(unused3536) + 100, Shown::Text, true),
    bytes("sample2Path", 3737, 101, KF_T(unused3536) + 201, Shown::Text, true),
    u8("averageFilterActive", 3838, KF_T(averageFilterActive)), u8("oscillatorsCalm", 3839, KF_T(oscillatorsCalm)),
    i32("chorusVibratoRate", 3840, KF_T(chorusVibratoRate)),
    u8("sample1ByteSwap", 3844, KF_T(unused3844), Shown::Number, true),
    u8("sample2ByteSwap", 3845, KF_T(unused3844) + 1, Shown::Number, true),
    bytes("reserved3846", 3846, 4, KF_T(unused3844) + 2, Shown::Hex, true),
    i32("resonanceDependence", 3850, KF_T(resonanceDependence)),
    // Kept as the file's bytes (little-endian) whatever the machine's order.
    bytes("ratePosition", 3854, 4, KF_T(unused3854), Shown::Number, true),
    u8("reverbActive", 3858, KF_T(reverbActive)), i16("reverbDryVolume", 3859, KF_T(reverbDryVolume)),
    i16("reverbWetVolume", 3861, KF_T(reverbWetVolume)), i32("reverbLength", 3863, KF_T(reverbLength)),
    i32("reverbAttack", 3867, KF_T(reverbAttack)), i32("reverbCutOff", 3871, KF_T(reverbCutOff)),
};
#undef KF_T

// The fields follow one another without gap or overlap and fill the image.
constexpr bool tiles(std::span<const RecordField> list, int size) {
    int at = 0;
    for (const RecordField& f : list) {
        if (f.offset != at) return false;
        if (f.width == Width::Nested && !tiles(f.nested, f.size)) return false;
        at += f.size * f.count;
    }
    return at == size;
}
static_assert(tiles(kTimbre, TimbreRecord::kSize) && tiles(kOscillator, OscillatorRecord::kSize));

}  // namespace fields

inline constexpr std::span<const RecordField> kTimbreFields = fields::kTimbre;
inline constexpr std::span<const RecordField> kOscillatorFields = fields::kOscillator;

// The index of the field with that name in a list; -1 when there is none.
// Compile-time users take this rather than a pointer: comparing a pointer to
// a static with null is not a constant expression under the sanitizers.
constexpr int fieldIndex(std::span<const RecordField> list, std::string_view name) {
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].name == name) return static_cast<int>(i);
    return -1;
}

// The field with that name in a list; nullptr when there is none.
constexpr const RecordField* findField(std::span<const RecordField> list, std::string_view name) {
    for (const RecordField& f : list)
        if (f.name == name) return &f;
    return nullptr;
}

}  // namespace kf
