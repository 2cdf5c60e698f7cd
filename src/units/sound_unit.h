// The sound units of the Sequencer page: objects with numbered input links
// into the scheme's unit list, a raw parameter block (what presets store)
// and a signal-producing operation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/sound_buffer.h"
#include "engine/status.h"

namespace kf {

class SoundScheme;

// One step of the note sequence (4 bytes in the block).
struct NoteStep {
    int16_t frequency = -1;  // Hz; negative = empty step
    uint8_t porta = 0;       // "P": glide into this step
    uint8_t tie = 0;         // "S": continue the previous step's envelope
};

// The answer to a note-table request: count as stored (not yet clamped)
// and the table itself; steps is null for units that hold no notes.
struct NoteTable {
    int32_t count = 0;
    const NoteStep* steps = nullptr;
};

class SoundUnit {
public:
    static constexpr int kInputCount = 10;
    static constexpr size_t kLinksSize = 4 * kInputCount;  // the base block

    explicit SoundUnit(int kind = 0, std::string name = {});
    virtual ~SoundUnit() = default;
    SoundUnit(const SoundUnit&) = default;
    SoundUnit& operator=(const SoundUnit&) = default;

    int kind() const { return kind_; }
    const std::string& name() const { return name_; }

    std::array<int32_t, kInputCount> inputs;  // -1 = not connected

    // Produces the unit's signal into buffer.count samples at stream times
    // start.. with a sequence period of total samples. The base answers
    // every call with an empty buffer. Errors are returned, never shown.
    // Callers always pass storage: a buffer without samples is left alone
    // (the unit never allocates on the caller's behalf).
    virtual Status process(SoundBuffer& buffer, int32_t count, int32_t start, int32_t total,
                           const SoundScheme& scheme);

    // The step table a frequency sequencer reads its notes from.
    virtual NoteTable noteTable() const { return {}; }

    // Parameter block: the links, then the unit's own fields.
    virtual std::vector<uint8_t> block() const;
    // Overwrites the first n bytes of the block only (short preset files
    // leave the tail as it was).
    virtual void setBlock(const uint8_t* data, size_t n);
    virtual size_t blockSize() const { return kLinksSize; }

    // Brings the parameters into the state the page's edits would leave
    // after a preset load (setParams followed by the edits' own clamping).
    virtual void setParams() {}

protected:
    // The unit's fields after the links, at block offset 40.
    virtual void writeFields(uint8_t* /*p*/) const {}
    virtual void readFields(const uint8_t* /*p*/) {}

    // Link 0 as a note sequencer; sets error when it names another kind.
    // Returns false when there is nothing to read (link negative, outside
    // the list, or wrong kind).
    bool inputNotes(const SoundScheme& scheme, const char* wrongKindMessage, NoteTable& table,
                    Status& error) const;

private:
    int kind_;
    std::string name_;
};

}  // namespace kf
