// The sound length is a number edit without a maximum; what limits it is
// the memory the render buffers take (every buffer of the render holds the
// whole sound, about 40 bytes per sample in all).
#pragma once

#include <cstdint>
#include <string>

#include "engine/status.h"

namespace kf {

// Longest sound in units of 1024 samples (4 M samples, 95 s at 44100 Hz).
inline constexpr int32_t kMaxLengthUnits = 4096;

// Success for 1..kMaxLengthUnits; otherwise the message that refuses it.
inline Status checkSoundLength(int64_t units) {
    if (units <= kMaxLengthUnits) return Status::success();
    return Status::error("Sound length " + std::to_string(units) + "K is more than memory allows (at most " +
                         std::to_string(kMaxLengthUnits) + "K)");
}

}  // namespace kf
