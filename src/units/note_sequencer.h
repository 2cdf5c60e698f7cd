// The note sequencer: up to 32 steps of frequency and P/S flags, edited from
// the keyboard. It produces no signal; the other units read its table.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/tuning.h"
#include "units/sound_unit.h"

namespace kf {

class NoteSequencer : public SoundUnit {
public:
    static constexpr int kKind = 13;
    static constexpr int kMaxNotes = 32;
    static constexpr size_t kBlockSize = 172;
    static constexpr int kMaxFrequency = 15000;

    NoteSequencer();

    int32_t noteCount = kMaxNotes;       // 1..32 once set through the page
    std::array<NoteStep, kMaxNotes> notes{};
    int32_t octave = 4;                   // key entry octave, 0..7; not stored
    int32_t selection = -1;               // selected step, -1 = none

    // The "Number of notes:" edit: clamps to 1..32; steps beyond the count
    // keep their values. A selection past the new end is dropped.
    void setNoteCount(int32_t n);
    // Steps in use, as an index bound into the table (0..32).
    int32_t usedSteps() const;

    // The page's lines, one per used step ("000 C-5 . . (261)").
    std::vector<std::string> notesText(const NoteTables& tables) const;
    std::string noteLine(int32_t step, const NoteTables& tables) const;

    // One typed key on the selected step. Returns true when the change
    // notification would be raised (any key while a step is selected).
    bool noteKeyPress(char key, const NoteTables& tables);

    NoteTable noteTable() const override { return {noteCount, notes.data()}; }
    size_t blockSize() const override { return kBlockSize; }
    void setParams() override;

protected:
    void writeFields(uint8_t* p) const override;
    void readFields(const uint8_t* p) override;
};

// NoteName index (0..129) shown for a frequency in Hz: "---" (0) for a
// negative one, else the nearest note by the list's own search.
int nearestNoteName(int32_t frequency, const NoteTables& tables);

}  // namespace kf
