#include "units/sound_unit.h"

#include <algorithm>
#include <cstring>

#include "units/block_io.h"
#include "units/note_sequencer.h"
#include "units/sound_scheme.h"

namespace kf {

SoundUnit::SoundUnit(int kind, std::string name) : kind_(kind), name_(std::move(name)) {
    inputs.fill(-1);
}

Status SoundUnit::process(SoundBuffer& buffer, int32_t, int32_t, int32_t, const SoundScheme&) {
    buffer = SoundBuffer{};
    return Status::success();
}

std::vector<uint8_t> SoundUnit::block() const {
    std::vector<uint8_t> b(blockSize(), 0);
    for (int i = 0; i < kInputCount; ++i) blockio::put32(b.data() + 4 * i, inputs[i]);
    if (b.size() > kLinksSize) writeFields(b.data() + kLinksSize);
    return b;
}

void SoundUnit::setBlock(const uint8_t* data, size_t n) {
    std::vector<uint8_t> b = block();
    std::memcpy(b.data(), data, std::min(n, b.size()));
    for (int i = 0; i < kInputCount; ++i) inputs[i] = blockio::get32(b.data() + 4 * i);
    if (b.size() > kLinksSize) readFields(b.data() + kLinksSize);
}

bool SoundUnit::inputNotes(const SoundScheme& scheme, const char* wrongKindMessage,
                           NoteTable& table, Status& error) const {
    if (inputs[0] < 0) return false;
    const SoundUnit* source = scheme.unitAt(inputs[0]);
    if (!source) return false;  // a link past the list counts as not connected
    if (source->kind() != NoteSequencer::kKind) {
        error = Status::error(wrongKindMessage, "Error");
        return false;
    }
    table = source->noteTable();
    return table.steps != nullptr;
}

}  // namespace kf
