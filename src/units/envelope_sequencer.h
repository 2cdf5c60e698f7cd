// The envelope sequencer ("SEnv"): per step an attack, a straight decay set
// as an angle and a release from a set point unless the next step is tied.
#pragma once

#include "units/sound_unit.h"

namespace kf {

class EnvelopeSequencer : public SoundUnit {
public:
    static constexpr int kKind = 17;
    static constexpr size_t kBlockSize = 80;

    EnvelopeSequencer();

    double attack = 1.2;          // 1/32768 of a step
    double decayAngle = 80.0;     // 0..100, 100 = no decay
    double release = 4.0;         // 0..100, 100 = no release slope
    double releaseStart = 128.0;  // 1/256 of a step
    double amplitude = 32768.0;   // sample level

    Status process(SoundBuffer& buffer, int32_t count, int32_t start, int32_t total,
                   const SoundScheme& scheme) override;
    size_t blockSize() const override { return kBlockSize; }
    // A negative attack becomes 0; then every value passes through its
    // number edit (held to 0..2147483647, read back from 10 decimals).
    void setParams() override;

    // Slope factor of an angle: about 1000 at 0, 0 at 100.
    static double slope(double angle);

protected:
    void writeFields(uint8_t* p) const override;
    void readFields(const uint8_t* p) override;
};

}  // namespace kf
