// The frequency sequencer ("Seq"): the note sequence as a frequency curve in
// eighths of a hertz, with a straight glide into steps marked "P".
#pragma once

#include "units/sound_unit.h"

namespace kf {

class FrequencySequencer : public SoundUnit {
public:
    static constexpr int kKind = 16;
    static constexpr size_t kBlockSize = 44;

    FrequencySequencer();

    // Glide length as a fraction of a step in 1/32768 (0 = none).
    int32_t portamentoSpeed = 16384;

    Status process(SoundBuffer& buffer, int32_t count, int32_t start, int32_t total,
                   const SoundScheme& scheme) override;
    size_t blockSize() const override { return kBlockSize; }
    void setParams() override;  // the edit holds no negative speed

protected:
    void writeFields(uint8_t* p) const override;
    void readFields(const uint8_t* p) override;
};

}  // namespace kf
