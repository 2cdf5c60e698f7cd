// Preset record (3967 bytes: reserved, envelope bars, timbre) and the preset
// file (4263 bytes: the record in stored form, then the note, envelope and
// frequency sequencers' parameter blocks).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/records.h"
#include "engine/status.h"
#include "files/sample.h"

namespace kf {

class SoundScheme;

constexpr int kPresetRecordSize = 3967;
constexpr int kPresetTimbreOffset = 92;
constexpr int kPresetNoteBlockOffset = 3967;      // 172 bytes
constexpr int kPresetEnvelopeBlockOffset = 4139;  // 80 bytes
constexpr int kPresetFrequencyBlockOffset = 4219; // 44 bytes
constexpr int kPresetFileSize = 4263;

// Env1 attack, sustain, release, amplitude, base, shape, iterations, then
// Env2 and Env3 in the same order.
constexpr int kEnvelopeBarCount = 21;

struct PresetRecord {
    std::array<uint8_t, 8> reserved{};  // not interpreted; written as found
    std::array<int32_t, kEnvelopeBarCount> envelopeBars{};
    TimbreRecord timbre;

    // Preset fields kept in the timbre's unused stretches. n = 1 or 2.
    std::string samplePath(int n) const;                // length byte (at most 100 used) + text
    void setSamplePath(int n, const std::string& path); // cut to 100, rest of the field zeroed
    bool byteSwapFlag(int n) const;
    void setByteSwapFlag(int n, bool on);
    int32_t ratePosition() const;                       // sample rate / 5
    void setRatePosition(int32_t position);
    // Capture clears record bytes 3627..3726: the real-time flag and the 99
    // unused bytes after it.
    void clearCaptureStretch();
};

using PresetImage = std::array<uint8_t, kPresetRecordSize>;
PresetImage presetToImage(const PresetRecord& p);
PresetRecord presetFromImage(const uint8_t* in);  // 3967 bytes
// Overwrites the first n (<= 3967) bytes of the record's image.
void readPresetOver(PresetRecord& p, const uint8_t* bytes, size_t n);

// Conversions between the record in memory and as stored in the file:
// harmonic levels 256 - L, legacy marker bytes 89/90 of each oscillator
// written 0 and read into Melodic/Invert, real-time flag written 0 and read
// as its lowest bit.
PresetRecord toStoredForm(const PresetRecord& p);
PresetRecord fromStoredForm(const PresetRecord& stored);

// Writes exactly 4263 bytes. storedForm is written as given.
Status savePresetFile(const std::string& path, const PresetRecord& storedForm, const SoundScheme& scheme);
// Reads min(3967, size) bytes over rec and each block, as far as the file
// reaches, into its unit (then the units' setParams, note, frequency,
// envelope). Longer files: the first 4263 bytes count. A file that cannot be
// opened is an error and nothing is changed.
Status loadPresetFile(const std::string& path, PresetRecord& rec, SoundScheme& scheme);
// The first 4263 bytes of a preset file, failing in the words every opener uses.
Status readPresetFileBytes(const std::string& path, std::vector<uint8_t>& bytes);
// The same from bytes in memory (n <= 4263 of them count).
void readPresetBytes(const uint8_t* bytes, size_t n, PresetRecord& rec, SoundScheme& scheme);
// "Open preset": the file over `base` (held in memory form) and the result
// in memory form. base is converted to the stored form first so that the
// part a short file does not reach comes back exactly as base had it.
Status openPreset(const std::string& path, const PresetRecord& base, PresetRecord& out, SoundScheme& scheme);

// The unit blocks as a file holds them (used by savePresetFile).
std::array<uint8_t, kPresetFileSize> presetFileBytes(const PresetRecord& storedForm, const SoundScheme& scheme);

inline std::string bareSampleName(const std::string& path) { return bareFileName(path); }

// Caption after a preset was opened or saved.
std::string presetCaption(const std::string& fileName);  // "Kestrafon (" + name + ")"

inline constexpr const char* kOverwriteQuestion =
    "Hey! This file already exists! Do you really want to overwrite it? If you press YES, you will be "
    "unable to restore previous file! Are you sure that you don't need it? Maybe there are something "
    "you'll never get back!  Maybe you'll be sorry for this for all your life! But if you press NO, your "
    "current preset will not be saved! But you can save it with the different name, so you won't have "
    "to erase any other file! But then there could be too many files, and it will be hard to remember "
    "what is each of them for! So, make a decision! Press YES or NO.";

}  // namespace kf
