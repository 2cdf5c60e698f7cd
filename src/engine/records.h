// The timbre and oscillator records. Their byte images (3875 and 118 bytes,
// little-endian, packed) are a file format: presets store them verbatim.
// The structs below hold the fields natively; record_fields.h places each
// one in the image, and every reserved byte is kept as found.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kf {

// Modulation source items (bit i of a source set).
enum Source : int {
    kSrcNone = 0, kSrcEnv1, kSrcEnv2, kSrcEnv3, kSrcLfo1, kSrcLfo2, kSrcNoise, kSrcGraph,
    kSrcSeq, kSrcSEnv, kSrcMidi1, kSrcMidi2, kSrcMEnv1, kSrcMEnv2, kSourceCount
};
constexpr uint16_t srcBit(int s) { return static_cast<uint16_t>(1u << s); }
// Their names, as lists and the preset JSON show them.
inline constexpr std::string_view kSourceNames[kSourceCount] = {
    "None", "Env1", "Env2", "Env3", "LFO1", "LFO2", "Noise", "Graph", "Seq", "SEnv", "Midi1", "Midi2", "MEnv1", "MEnv2"};

enum OscFlag : uint8_t {
    kFlagFilter = 1, kFlagMelodic = 2, kFlagInvert = 4, kFlagRingMod = 8,
    kFlagSync = 16, kFlagPhaseMod = 32, kFlagFM = 64
};

// Stored waveform codes (not list positions).
enum WaveCode : uint8_t {
    kWaveSine = 0, kWaveAbsSine = 1, kWaveSquare = 2, kWaveTriangle = 3, kWaveSaw = 4,
    kWave2xSaw = 5, kWaveNoise = 6, kWaveLightNoise = 7, kWaveCustom = 8,
    kWaveSample1 = 9, kWaveSample2 = 10, kWaveEvenSine = 11
};

// The waveform list in the window's order: each item's stored code and name.
struct WaveListItem {
    WaveCode code;
    std::string_view name;
};
inline constexpr WaveListItem kWaveList[] = {
    {kWaveSine, "Sine"},         {kWaveAbsSine, "|Sine|"}, {kWaveEvenSine, "EvenSine"},  {kWaveSquare, "Square"},
    {kWaveTriangle, "Triangle"}, {kWaveSaw, "Saw"},        {kWave2xSaw, "2xSaw"},        {kWaveNoise, "Noise"},
    {kWaveLightNoise, "Light noise"}, {kWaveCustom, "Custom"}, {kWaveSample1, "Sample 1"}, {kWaveSample2, "Sample 2"}};

struct Harmonic {
    uint16_t level = 0;   // 0..256
    uint16_t detune = 0;  // 0..256
};

struct ModSlot {
    uint16_t sources = 1;  // {None}
    int32_t word0 = 0;
    int32_t word1 = 0;
};

struct OscillatorRecord {
    static constexpr int kSize = 118;

    std::array<Harmonic, 16> harmonics{};
    int32_t volume = 16384;
    int32_t frequency = 523;
    int32_t relativeFrequency = 1000;
    int32_t shape = 1024;
    uint16_t phase = 0;
    std::array<uint8_t, 2> unused82{};
    uint8_t active = 0;
    uint8_t harmonicsActive = 0;
    uint8_t flags = kFlagFilter | kFlagMelodic;
    ModSlot volumeModulation;     // word0 unused by the engine, word1 = cycleCount()
    ModSlot frequencyModulation;  // word0 = calmLevel(), word1 = calmInput()
    ModSlot shapeModulation;      // word0 = phaseAccumulator(), word1 unused
    uint8_t waveForm = kWaveSine;

    int32_t& cycleCount() { return volumeModulation.word1; }
    int32_t& calmLevel() { return frequencyModulation.word0; }
    int32_t& calmInput() { return frequencyModulation.word1; }
    int32_t& phaseAccumulator() { return shapeModulation.word0; }
    void resetState() { cycleCount() = calmLevel() = calmInput() = phaseAccumulator() = 0; }

    static OscillatorRecord defaults();  // levels 256/k, everything else as above
};

struct CurvePoint {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const CurvePoint&, const CurvePoint&) = default;
};

// A breakpoint curve as stored: 128 pairs (all kept, also beyond count) and a count.
struct CurveData {
    std::array<CurvePoint, 128> points{};
    int32_t count = 2;
    CurveData() { points[1].x = 16384; }
};

struct TimbreRecord {
    static constexpr int kSize = 3875;

    int32_t lfo1Frequency = 32, lfo1Base = 0, lfo1Amplitude = 256;
    uint8_t lfo1Shape = 0;
    std::array<uint8_t, 3> reserved13{};
    int32_t lfo2Frequency = 32, lfo2Base = 0, lfo2Amplitude = 256;
    uint8_t lfo2Shape = 0;
    std::array<uint8_t, 3> reserved29{};
    int32_t noiseFrequency = 32, noiseBase = 0, noiseAmplitude = 256;
    std::array<uint8_t, 4> reserved44{};
    uint16_t resonanceFrequencyModulation = 1;
    uint8_t cutOffMode = 0;  // 1 = high-pass
    int32_t renderLength = 0;
    std::array<uint8_t, 3> reserved55{};
    uint16_t cutOffModulation = 1;
    std::array<uint8_t, 12> reserved60{};
    int32_t resonanceFrequency = 0, resonanceVolume = 256, resonanceCalmingSpeed = 960;
    int32_t chorusVolume = 256;
    std::array<uint8_t, 20> reserved88{};
    int32_t length = 10;
    uint8_t resonanceActive = 0, cutOffActive = 0;
    int32_t cutOff = 128;
    int32_t averageFilterWindowWidth = 1, averageFilterTrebleVolume = 256, averageFilterBassVolume = 256;
    std::array<OscillatorRecord, 10> oscillators{};
    int32_t oscillatorsVolume = 256;
    CurveData waveFormGraph;
    uint8_t feedBackActive = 0;
    int32_t feedBackVolume = 180, feedBackDelay = 220, additionalSilence = 0;
    uint8_t feedBackCyclic = 0;
    int32_t mainVolume = 256, preOverdrive = 16, postOverdrive = 16, wrapOverdrive = 32;
    uint8_t wrapOverdriveActive = 0;
    uint16_t volumeModulation = 1;
    int32_t feedBackDecay = 180, feedBackCutOff = 192;
    uint8_t windowFilterActive = 0;
    int32_t fwWindowPos = 0, fwWindowWidth = 1;
    CurveData envelopeGraph;
    int32_t lfo1Phase = 0, lfo2Phase = 0;
    int32_t tempo = 112;
    int32_t sample1StartPos = 0, sample2StartPos = 0;
    uint8_t chordActive = 0;
    std::array<uint8_t, 31> chord{};  // length byte + up to 30 characters
    int32_t midiEnv1Attack = 10, midiEnv1Decay = 20, midiEnv1Sustain = 100, midiEnv1Release = 20;
    uint8_t flangerActive = 0;
    int16_t flangerMinDelay = 0, flangerMaxDelay = 20;
    int32_t flangerRate = 50;
    uint8_t flangerInvert = 0;
    int32_t flangerCrossFade = 128;
    uint8_t chorusActive = 0;
    int32_t chorusVoices = 1, chorusMaxDelay = 70;
    int32_t midiEnv2Attack = 10, midiEnv2Decay = 20, midiEnv2Sustain = 100, midiEnv2Release = 20;
    int32_t midiEnv1Amplitude = 16384, midiEnv2Amplitude = 16384;
    uint8_t realTime = 0;
    std::array<uint8_t, 302> unused3536{};  // presets keep sample paths here
    uint8_t averageFilterActive = 0;
    uint8_t oscillatorsCalm = 0;
    int32_t chorusVibratoRate = 800;
    std::array<uint8_t, 6> unused3844{};  // presets: byte-swap flags
    int32_t resonanceDependence = 128;
    std::array<uint8_t, 4> unused3854{};  // presets: sample-rate position
    uint8_t reverbActive = 0;
    int16_t reverbDryVolume = 32767, reverbWetVolume = 15000;
    int32_t reverbLength = 200, reverbAttack = 15, reverbCutOff = 192;

    TimbreRecord();  // start values, oscillator defaults, chord "C-5,E-5"

    std::string chordText() const;
    void setChordText(const std::string& s);  // cut to 30 characters
};

using TimbreImage = std::array<uint8_t, TimbreRecord::kSize>;
using OscillatorImage = std::array<uint8_t, OscillatorRecord::kSize>;

void writeOscillator(const OscillatorRecord& o, uint8_t* out);   // 118 bytes
OscillatorRecord readOscillator(const uint8_t* in);
// The oscillators' running state (cycle count, calm level and input, phase
// accumulator) copied from a rendered record, as a render leaves it.
void writeBackOscillatorState(TimbreRecord& dst, TimbreRecord& src);

TimbreImage toImage(const TimbreRecord& t);
TimbreRecord fromImage(const uint8_t* in);  // 3875 bytes

}  // namespace kf
