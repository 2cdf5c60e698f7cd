// One-sample "Extended Instrument" file: 298-byte instrument header, 40-byte
// sample header, the sound as delta-coded 16-bit values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sound_buffer.h"
#include "engine/status.h"

namespace kf {

constexpr int kXiHeaderSize = 338;
// Fixed text in front of the instrument name (10 printable characters).
constexpr const char* kXiLabel = "Kestrafon:";

// The whole file as bytes (size 338 + 2 * count). The sound is not changed.
std::vector<uint8_t> buildXI(const std::string& instrumentName, SoundBuffer sound, int32_t sampleRate);
// Creates or replaces fileName. The sound is read only (the delta coding is
// done on a copy), so it is unchanged also when the write fails.
Status saveXI(const std::string& fileName, const std::string& instrumentName, SoundBuffer sound,
              int32_t sampleRate);

}  // namespace kf
