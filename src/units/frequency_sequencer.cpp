#include "units/frequency_sequencer.h"

#include <algorithm>

#include "engine/arith.h"
#include "units/block_io.h"
#include "units/note_sequencer.h"

namespace kf {

FrequencySequencer::FrequencySequencer() : SoundUnit(kKind, "Sequencer frequencer") {}

void FrequencySequencer::setParams() { portamentoSpeed = std::max(portamentoSpeed, 0); }

Status FrequencySequencer::process(SoundBuffer& buffer, int32_t count, int32_t start,
                                   int32_t total, const SoundScheme& scheme) {
    if (count < 0 || !buffer.samples) return Status::success();
    NoteTable table;
    Status error;
    if (!inputNotes(scheme, "Input of sequencer frequency should be sequencer!", table, error))
        return error;

    // A stored count outside 1..32 must still index inside the table, and
    // a period below one sample would divide by zero.
    const int64_t n = std::clamp<int64_t>(table.count, 1, NoteSequencer::kMaxNotes);
    const int64_t period = std::max<int64_t>(total, 1);
    const int64_t d = period / n + 1;
    const int64_t g = (static_cast<int64_t>(portamentoSpeed) * d) / 32768;
    const NoteStep* steps = table.steps;

    for (int32_t i = 0; i < buffer.count; ++i) {
        const int64_t h = static_cast<int64_t>(start) + i;
        const int64_t s = std::min(blockio::floorMod(h, period) / d, n - 1);
        const int64_t f = steps[s].frequency;
        int64_t v = 0;
        if (f > 0) {
            v = f * 8;
            const NoteStep& next = steps[(s + 1) % n];
            const int64_t inStep = blockio::floorMod(h, d);
            if (next.porta && inStep > d - g) {
                // The elapsed part is below g, so the quotient is small; only
                // the product needs the wide type (long glides, big speeds).
                __extension__ using Wide = __int128;
                const Wide diff = static_cast<Wide>(next.frequency) * 8 - v;
                v = static_cast<int64_t>(diff * (inStep + g - d) / g) + v;
            }
        }
        buffer.samples[i] = wrap16(v);
    }
    return Status::success();
}

void FrequencySequencer::writeFields(uint8_t* p) const { blockio::put32(p, portamentoSpeed); }
void FrequencySequencer::readFields(const uint8_t* p) { portamentoSpeed = blockio::get32(p); }

}  // namespace kf
