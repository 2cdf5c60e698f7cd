// Saving the rendered sound: "Save" under a generated name in the save
// directory, and "Save sample as..." by the dialog's filter. Every path
// reads the sound only; the caller's samples are never modified.
#pragma once

#include <cstdint>
#include <string>

#include "engine/sound_buffer.h"
#include "engine/status.h"

namespace kf {

// Raw8Signed / Raw8Unsigned are the two raw choices with Quality "8 bits".
// Flac and Ogg (Vorbis) are chosen by a file name's extension, never by the
// Options page.
enum class SaveFormat { Wav16, Wav8, XI, RawIntel, RawMotorola, Raw8Signed, Raw8Unsigned, Flac, Ogg };

// The format the Options page selects.
enum class SaveType { MotorolaPCM, IntelPCM, WAV, XI };
SaveFormat saveFormatFor(SaveType type, bool eightBits);

// Captions of the two raw radio buttons for a Quality choice.
const char* motorolaCaption(bool eightBits);  // "Raw PCM (Motorola)" / "Raw PCM (Unsigned)"
const char* intelCaption(bool eightBits);     // "Raw PCM (Intel)" / "Raw PCM (Signed)"

// Preset name up to its first "." (the XI instrument name).
std::string saveBaseName(const std::string& presetName);
// saveDir + first 6 characters of the base + "_" + N + extension, N the first
// number whose file cannot be opened. A non-empty saveDir gets "/" appended
// when it lacks a separator; the caller keeps the changed setting.
std::string generateSaveName(const std::string& presetName, std::string& saveDir, SaveFormat format);
const char* saveExtension(SaveFormat format);  // ".smp", ".wav", ".xi", ".flac" or ".ogg"
// ".flac" and ".ogg"/".oga" (any case) name the compressed formats.
bool compressedFormatFor(const std::string& fileName, SaveFormat& format);

Status saveSound(const std::string& fileName, SoundBuffer sound, SaveFormat format, int32_t rate,
                 const std::string& instrumentName);
// "Save": generated name and writing in one step; fileOut receives the name.
Status saveSoundFile(const std::string& presetName, std::string& saveDir, SaveFormat format,
                     SoundBuffer sound, int32_t rate, std::string* fileOut = nullptr);

// "Save sample as...": filter 1 WAV (".WAV" added without extension, always
// 16 bits), 2 XI (".XI" added, empty instrument name), 3 Motorola raw,
// 4 Intel raw (16-bit raw file, ".RAW" added), 5 FLAC (".flac" added),
// 6 Ogg Vorbis (".ogg" added). A name ending ".flac" or ".ogg" is written in
// that format whatever the filter.
Status saveSampleAs(std::string fileName, int filterIndex, SoundBuffer sound, int32_t rate);
bool hasExtension(const std::string& fileName);

}  // namespace kf
