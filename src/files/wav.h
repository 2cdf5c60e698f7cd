// Mono PCM WAV files: one fixed 44-byte header ("RIFF", "fmt ", "data")
// followed by the samples, written in one pass.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/sound_buffer.h"
#include "engine/status.h"

namespace kf {

std::array<uint8_t, 44> wavHeader(uint32_t dataSize, int32_t rate, int bits);

// Create or replace fileName through the safe writer. On failure the
// message names the file and the system error, and the old file stays.
Status saveWav16(SoundBuffer sound, const std::string& fileName, int32_t sampleRate);
Status saveWav8(const Sound8& sound, const std::string& fileName, int32_t sampleRate);

}  // namespace kf
