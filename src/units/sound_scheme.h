// The scheme: the list of sound units, linked by index. Note sequencer at
// 0, frequency sequencer at 1, envelope sequencer at 2; both signal units
// read the note sequencer. Copies are deep, so a render can snapshot it.
#pragma once

#include <cstdint>

#include "units/envelope_sequencer.h"
#include "units/frequency_sequencer.h"
#include "units/note_sequencer.h"

namespace kf {

class SoundScheme {
public:
    static constexpr int32_t kUnitCount = 3;

    SoundScheme();
    SoundScheme(const SoundScheme&) = default;
    SoundScheme& operator=(const SoundScheme&) = default;

    NoteSequencer& noteSequencer() { return note_; }
    FrequencySequencer& frequencySequencer() { return frequency_; }
    EnvelopeSequencer& envelopeSequencer() { return envelope_; }
    const NoteSequencer& noteSequencer() const { return note_; }
    const FrequencySequencer& frequencySequencer() const { return frequency_; }
    const EnvelopeSequencer& envelopeSequencer() const { return envelope_; }

    int32_t size() const { return kUnitCount; }
    // nullptr for an index outside the list (treated as not connected).
    const SoundUnit* unitAt(int32_t index) const;
    SoundUnit* unitAt(int32_t index);

private:
    NoteSequencer note_;
    FrequencySequencer frequency_;
    EnvelopeSequencer envelope_;
};

}  // namespace kf
