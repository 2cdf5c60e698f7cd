// Input files checked before use: "-" reads standard input, directories and
// files of another kind (JSON text, RIFF/WAV, MIDI) are refused with a hint,
// and a preset of the wrong size says what happens to the difference.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/status.h"

namespace kf {
class Session;
}

namespace kf::cli {

// Largest JSON or preset input read whole.
constexpr size_t kMaxInputBytes = 16u << 20;

// "standard input" for "-", else the path.
std::string inputName(const std::string& path);
// Reads up to maxBytes ("-": standard input). A directory, a missing file
// or one larger than maxBytes is an error naming it.
Status readInput(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out);

// Before a preset file is opened: refuses other kinds of file and
// directories (fail, false); warns about a size other than the preset's.
// `missingPart` says what the part a short file lacks becomes.
bool checkPresetFile(const std::string& path, const char* missingPart = "keeps its defaults");

// After a preset was opened into the session: a sample file the preset
// names that could not be loaded is a warning naming it; one over the size
// limit is an error (false).
bool checkPresetSamples(const Session& s, const std::string& presetPath);

// Counts the samples at full scale (where the output stage clips) and
// warns when there are any.
void warnIfClipping(const std::vector<int16_t>& sound);
void warnIfClipping(int64_t clipped, int64_t samples);

}  // namespace kf::cli
