#include "units/note_sequencer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "engine/arith.h"
#include "units/block_io.h"

namespace kf {

NoteSequencer::NoteSequencer() : SoundUnit(kKind, "Sequencer") {}

void NoteSequencer::setNoteCount(int32_t n) {
    noteCount = std::clamp(n, 1, kMaxNotes);
    if (selection >= noteCount) selection = -1;
}

int32_t NoteSequencer::usedSteps() const { return std::clamp(noteCount, 0, kMaxNotes); }

void NoteSequencer::setParams() { setNoteCount(noteCount); }

int nearestNoteName(int32_t f, const NoteTables& tables) {
    if (f < 0) return 0;
    // The search keeps a signed difference: once a note lies above f the
    // best difference is negative and no later note can win.
    int64_t best = std::numeric_limits<int32_t>::max();
    int index = 0;
    for (int n = 0; n < 128; ++n) {
        const double exact = tables.frequency(n + 1);
        if (static_cast<double>(best) > std::fabs(f - exact)) {
            index = n + 1;
            best = f - static_cast<int64_t>(roundToInt32(exact));
        }
    }
    return index;
}

std::string NoteSequencer::noteLine(int32_t step, const NoteTables& tables) const {
    const NoteStep& s = notes[static_cast<size_t>(step)];
    char head[8];
    std::snprintf(head, sizeof head, "%03X ", static_cast<unsigned>(step));
    std::string line = head;
    line += noteNames()[static_cast<size_t>(nearestNoteName(s.frequency, tables))];
    line += ' ';
    line += s.porta ? "P " : ". ";
    line += s.tie ? "S " : ". ";
    if (s.frequency >= 0) line += "(" + std::to_string(s.frequency) + ")";
    return line;
}

std::vector<std::string> NoteSequencer::notesText(const NoteTables& tables) const {
    std::vector<std::string> lines;
    for (int32_t i = 0; i < usedSteps(); ++i) lines.push_back(noteLine(i, tables));
    return lines;
}

bool NoteSequencer::noteKeyPress(char key, const NoteTables& tables) {
    if (key == '+' && octave < 7) ++octave;
    if (key == '-' && octave > 0) --octave;
    const int32_t used = usedSteps();
    if (selection < 0 || selection >= used) return false;

    int32_t sel = selection;
    const auto advance = [&] {
        if (sel < used - 1) ++sel;
    };
    const int semitone = keyToSemitone(key);
    if (semitone >= -1) {
        NoteStep& s = notes[static_cast<size_t>(sel)];
        if (semitone == -1) {
            s.frequency = -1;
        } else {
            const int index = 12 * std::clamp(octave, 0, 7) + semitone + 1;
            s.frequency = static_cast<int16_t>(roundToInt32(tables.frequency(index)));
        }
        advance();
    }
    if (key == 'P' || key == 'p') {
        { uint8_t& p = notes[static_cast<size_t>(sel)].porta; p = p ? 0 : 1; }
        advance();
    }
    if (key == 'S' || key == 's') {
        { uint8_t& t = notes[static_cast<size_t>(sel)].tie; t = t ? 0 : 1; }
        advance();
    }
    NoteStep& s = notes[static_cast<size_t>(sel)];
    int32_t f = s.frequency;
    if (key == '.') f += 1;
    if (key == ',' && f >= 0) f -= 1;
    if (key == ']') f += 10;
    if (key == '[' && f >= 0) f -= 10;
    s.frequency = static_cast<int16_t>(std::clamp(f, -1, kMaxFrequency));
    selection = sel;
    return true;
}

void NoteSequencer::writeFields(uint8_t* p) const {
    blockio::put32(p, noteCount);
    for (int i = 0; i < kMaxNotes; ++i) {
        uint8_t* q = p + 4 + 4 * i;
        blockio::put16(q, notes[i].frequency);
        q[2] = notes[i].porta;
        q[3] = notes[i].tie;
    }
}

void NoteSequencer::readFields(const uint8_t* p) {
    noteCount = blockio::get32(p);
    for (int i = 0; i < kMaxNotes; ++i) {
        const uint8_t* q = p + 4 + 4 * i;
        notes[i].frequency = blockio::get16(q);
        notes[i].porta = q[2];
        notes[i].tie = q[3];
    }
    if (selection >= usedSteps()) selection = -1;
}

}  // namespace kf
