// The LV2 instrument's identity and ports, read both by the plugin and by
// the program that writes its Turtle description at build time, so each
// index, symbol and range is written down once. The sound's parameters
// take their ranges and labels from the parameter table.
#pragma once

#include <array>
#include <cstdint>

#include "core/voice_engine.h"
#include "engine/param_table.h"

namespace kf::lv2 {

#define KF_LV2_URI "urn:kestrafon:instrument"
inline constexpr const char* kPluginUri = KF_LV2_URI;
// A preset file to open (a patch:writable path: hosts show a file chooser).
inline constexpr const char* kPresetFileUri = KF_LV2_URI "#presetFile";
// State keys: the preset's bytes as a preset file holds them, and the two
// samples' paths (mapped by the host, so a project can be moved).
inline constexpr const char* kStatePresetUri = KF_LV2_URI "#preset";
inline constexpr const char* kStateSample1Uri = KF_LV2_URI "#sample1";
inline constexpr const char* kStateSample2Uri = KF_LV2_URI "#sample2";
inline constexpr const char* kPresetPrefix = KF_LV2_URI ":preset:";

enum Port : uint32_t {
    kMidiIn,      // atom sequence: MIDI and patch messages
    kNotify,      // atom sequence: the preset file's path back to the host
    kAudioOut,    // mono
    kVoices,
    kGain,
    kOctaveDown,
    kFirstParam,  // then one port per kParamPorts entry
};

struct EnginePort {
    uint32_t index;
    const char* symbol;
    const char* name;
    float min, max, start;
    bool integer, toggle;
    const char* comment;
};

// What a player sets on the engine itself (read every block).
inline constexpr std::array<EnginePort, 3> kEnginePorts{{
    {kVoices, "voices", "Voices", 1, kMaxVoices, 8, true, false,
     "Notes that sound at once; 1 is the monophonic instrument"},
    {kGain, "gain", "Gain", -48, 24, 0, false, false,
     "Gain in dB of the summed voices, counted from 1/voices (at 0 dB they never clip)"},
    {kOctaveDown, "octave_down", "Octave down", 0, 1, 0, true, true,
     "Play every note an octave below its true pitch, for presets tuned to that"},
}};

// The sound's parameters a player touches live; everything else of the
// sound is state. Changes are applied when a port moves.
inline constexpr std::array<ParamId, 9> kParamPorts{
    ParamId::CutOff,         ParamId::ResonanceVolume, ParamId::MainVolume,
    ParamId::ReverbWetVolume, ParamId::Lfo1Frequency,  ParamId::MidiEnv1Attack,
    ParamId::MidiEnv1Decay,  ParamId::MidiEnv1Sustain, ParamId::MidiEnv1Release,
};

inline constexpr uint32_t kPortCount = kFirstParam + static_cast<uint32_t>(kParamPorts.size());

}  // namespace kf::lv2
