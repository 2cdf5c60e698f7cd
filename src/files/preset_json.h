// A readable JSON form of a preset file: every field by name, every byte of
// the 4263 kept, so that dump followed by build gives the same file.
#pragma once

#include <array>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "engine/status.h"
#include "files/preset.h"

namespace kf {

// Fields are shown as the file stores them (harmonic levels as 256 - level,
// the legacy marker bytes inside the volume slot's first word).
nlohmann::json presetFileToJson(const uint8_t* bytes4263);
// A missing, mistyped, out-of-range or unknown field gives an error naming it.
// Values no control can hold are refused unless `checkRanges` is false
// (which restores any dumped file, damaged ones too, byte for byte).
Status jsonToPresetFile(const nlohmann::json& j, std::array<uint8_t, kPresetFileSize>& out, bool checkRanges = true);

}  // namespace kf
