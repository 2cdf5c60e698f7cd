// The rate some of the engine's arithmetic counts in whatever the sound's
// own rate: the chorus's vibrato segments and the additional silence's steps
// were made for a 44100 Hz sound, so at other rates what is heard scales.
#pragma once

#include <cstdint>

namespace kf {

constexpr int32_t kReferenceRate = 44100;

// The oscillator frequency at which a sample waveform steps through its
// samples at the reference rate: a 44100 Hz recording played at 4410 Hz
// sounds at its own speed and pitch.
constexpr int32_t kSampleOwnSpeedHz = 4410;

}  // namespace kf
