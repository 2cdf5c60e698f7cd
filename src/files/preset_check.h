// Telling a preset from the other files people pick by mistake (JSON
// sources, sound files, MIDI files, XI instruments, text): every place that
// reads a preset asks this first, so the refusal reads the same everywhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/status.h"

namespace kf {

// What kind of file the bytes are when clearly not a preset ("" when they
// may be one): "JSON text", "a RIFF/WAV sound file", "a MIDI file", ...
// `wholeFile`: the bytes are the whole file (JSON and text are told only then).
std::string otherFileKind(const std::vector<uint8_t>& head, bool wholeFile);

struct PresetFileCheck {
    Status refusal;       // a directory or another kind of file: not opened
    std::string kind;     // otherFileKind's answer, when that was the reason
    std::string warning;  // a size other than the preset's: opened, but said
};

// Looks at the file before it is opened as a preset. A missing or
// unreadable file passes: the opening reports it in its own words.
// `missingPart` says what the part a short file lacks becomes.
PresetFileCheck checkPresetFile(const std::string& path, const char* missingPart = "keeps its defaults");

}  // namespace kf
