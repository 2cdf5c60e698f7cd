// The unit framework and the note sequencer: fresh units, parameter blocks,
// the scheme and the keyboard editing of the step list.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/arith.h"
#include "engine/tuning.h"
#include "units/block_io.h"
#include "units/sound_scheme.h"

namespace kf {
namespace {

TEST(SoundUnits, FreshUnitsHaveNoLinksAndTheirDefaults) {
    NoteSequencer note;
    FrequencySequencer freq;
    EnvelopeSequencer env;
    for (const SoundUnit* u : {static_cast<const SoundUnit*>(&note),
                               static_cast<const SoundUnit*>(&freq),
                               static_cast<const SoundUnit*>(&env)})
        for (int32_t link : u->inputs) EXPECT_EQ(link, -1);
    EXPECT_EQ(note.kind(), 13);
    EXPECT_EQ(freq.kind(), 16);
    EXPECT_EQ(env.kind(), 17);
    EXPECT_EQ(note.name(), "Sequencer");
    EXPECT_EQ(freq.name(), "Sequencer frequencer");
    EXPECT_EQ(env.name(), "Sequencer envelope");
    EXPECT_EQ(note.noteCount, 32);
    EXPECT_EQ(note.octave, 4);
    for (const NoteStep& s : note.notes) {
        EXPECT_EQ(s.frequency, -1);
        EXPECT_EQ(s.porta | s.tie, 0);
    }
    EXPECT_EQ(freq.portamentoSpeed, 16384);
    EXPECT_EQ(env.attack, 1.2);
    EXPECT_EQ(env.decayAngle, 80.0);
    EXPECT_EQ(env.release, 4.0);
    EXPECT_EQ(env.releaseStart, 128.0);
    EXPECT_EQ(env.amplitude, 32768.0);

    EXPECT_EQ(SoundUnit().blockSize(), 40u);
    EXPECT_EQ(note.block().size(), 172u);
    EXPECT_EQ(freq.block().size(), 44u);
    EXPECT_EQ(env.block().size(), 80u);
}

TEST(SoundUnits, SchemeLinksBothSignalUnitsToTheNotes) {
    SoundScheme scheme;
    EXPECT_EQ(scheme.unitAt(0), &scheme.noteSequencer());
    EXPECT_EQ(scheme.unitAt(1), &scheme.frequencySequencer());
    EXPECT_EQ(scheme.unitAt(2), &scheme.envelopeSequencer());
    EXPECT_EQ(scheme.unitAt(3), nullptr);
    EXPECT_EQ(scheme.unitAt(-1), nullptr);
    EXPECT_EQ(scheme.frequencySequencer().inputs[0], 0);
    EXPECT_EQ(scheme.envelopeSequencer().inputs[0], 0);
    EXPECT_EQ(scheme.frequencySequencer().inputs[1], -1);
    EXPECT_EQ(scheme.noteSequencer().inputs[0], -1);

    // A copy is independent and answers with its own table.
    SoundScheme copy = scheme;
    copy.noteSequencer().notes[0].frequency = 440;
    EXPECT_EQ(scheme.noteSequencer().notes[0].frequency, -1);
    EXPECT_EQ(copy.unitAt(0)->noteTable().steps, copy.noteSequencer().notes.data());
    EXPECT_EQ(copy.unitAt(0)->noteTable().steps[0].frequency, 440);
}

TEST(SoundUnits, BlocksRoundTripAtTheirOffsets) {
    NoteSequencer note;
    note.inputs[3] = 7;
    note.setNoteCount(9);
    note.notes[0] = {-1, 1, 0};
    note.notes[31] = {15000, 0, 1};
    const std::vector<uint8_t> nb = note.block();
    EXPECT_EQ(blockio::get32(&nb[12]), 7);
    EXPECT_EQ(blockio::get32(&nb[0]), -1);
    EXPECT_EQ(blockio::get32(&nb[40]), 9);
    EXPECT_EQ(blockio::get16(&nb[44]), -1);
    EXPECT_EQ(nb[46], 1);
    EXPECT_EQ(blockio::get16(&nb[44 + 4 * 31]), 15000);
    EXPECT_EQ(nb[44 + 4 * 31 + 3], 1);
    NoteSequencer back;
    back.setBlock(nb.data(), nb.size());
    EXPECT_EQ(back.block(), nb);

    FrequencySequencer freq;
    freq.portamentoSpeed = 32768;
    const std::vector<uint8_t> fb = freq.block();
    EXPECT_EQ(blockio::get32(&fb[40]), 32768);
    FrequencySequencer fback;
    fback.setBlock(fb.data(), fb.size());
    EXPECT_EQ(fback.portamentoSpeed, 32768);

    EnvelopeSequencer env;
    env.amplitude = 1000.5;
    env.releaseStart = 3.25;
    const std::vector<uint8_t> eb = env.block();
    double a;
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= uint64_t(eb[40 + i]) << (8 * i);
    std::memcpy(&a, &bits, 8);
    EXPECT_EQ(a, 1.2);  // attack first, IEEE little-endian
    EXPECT_EQ(blockio::getDouble(&eb[48]), 80.0);
    EXPECT_EQ(blockio::getDouble(&eb[56]), 4.0);
    EXPECT_EQ(blockio::getDouble(&eb[64]), 3.25);
    EXPECT_EQ(blockio::getDouble(&eb[72]), 1000.5);
    EnvelopeSequencer eback;
    eback.setBlock(eb.data(), eb.size());
    EXPECT_EQ(eback.block(), eb);
}

TEST(SoundUnits, ShortBlockLeavesTheTail) {
    NoteSequencer source;
    source.inputs.fill(5);
    source.setNoteCount(3);
    source.notes[0].frequency = 100;
    NoteSequencer target;
    target.notes[0].frequency = 222;
    const auto b = source.block();
    target.setBlock(b.data(), 44);  // links and count only
    EXPECT_EQ(target.inputs[9], 5);
    EXPECT_EQ(target.noteCount, 3);
    EXPECT_EQ(target.notes[0].frequency, 222);

    EnvelopeSequencer env;
    EnvelopeSequencer other;
    other.attack = 9.0;
    other.amplitude = 1.0;
    const auto eb = other.block();
    env.setBlock(eb.data(), 48);
    EXPECT_EQ(env.attack, 9.0);
    EXPECT_EQ(env.amplitude, 32768.0);
}

TEST(SoundUnits, SetParamsNormalisesLoadedValues) {
    NoteSequencer note;
    note.noteCount = 0;
    note.setParams();
    EXPECT_EQ(note.noteCount, 1);
    note.noteCount = 99;
    note.setParams();
    EXPECT_EQ(note.noteCount, 32);
    EnvelopeSequencer env;
    env.attack = -4.0;
    env.decayAngle = 33.3;
    env.setParams();
    EXPECT_EQ(env.attack, 0.0);
    EXPECT_EQ(env.decayAngle, 33.3);
    FrequencySequencer freq;
    freq.portamentoSpeed = -3;
    freq.setParams();
    EXPECT_EQ(freq.portamentoSpeed, 0);
}

class NoteKeys : public ::testing::Test {
protected:
    NoteTables tables;
    NoteSequencer seq;
    std::string line(int i) const { return seq.noteLine(i, tables); }
    void press(const char* keys) {
        for (const char* k = keys; *k; ++k) seq.noteKeyPress(*k, tables);
    }
};

TEST_F(NoteKeys, NoteKeysStoreRoundedFrequenciesAndAdvance) {
    seq.selection = 0;
    EXPECT_TRUE(seq.noteKeyPress('q', tables));
    EXPECT_EQ(seq.notes[0].frequency, 131);
    EXPECT_EQ(line(0), "000 C-4 . . (131)");
    EXPECT_EQ(seq.selection, 1);
    seq.noteKeyPress('I', tables);  // case-insensitive
    EXPECT_EQ(seq.notes[1].frequency, 262);
    EXPECT_EQ(line(1), "001 C-5 . . (262)");
    seq.noteKeyPress('+', tables);
    seq.noteKeyPress('y', tables);  // A of octave 5
    EXPECT_EQ(seq.notes[2].frequency, 440);
    EXPECT_EQ(line(2), "002 A-5 . . (440)");
    seq.noteKeyPress(' ', tables);
    EXPECT_EQ(seq.notes[3].frequency, -1);
    EXPECT_EQ(seq.selection, 4);
    EXPECT_EQ(line(3), "003 --- . . ");
}

TEST_F(NoteKeys, LineTexts) {
    seq.notes[0].frequency = 261;
    EXPECT_EQ(line(0), "000 C-5 . . (261)");
    seq.notes[0].frequency = 0;
    EXPECT_EQ(line(0), "000 C-0 . . (0)");
    seq.notes[31] = {440, 1, 1};
    EXPECT_EQ(line(31), "01F A-5 P S (440)");
    seq.notes[10].frequency = 15000;
    EXPECT_EQ(line(10), "00A G-10 . . (15000)");  // above the last note walked
    seq.setNoteCount(3);
    const auto lines = seq.notesText(tables);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "000 C-0 . . (0)");
    EXPECT_EQ(lines[2], "002 --- . . ");
}

TEST_F(NoteKeys, FrequencyNudgesAreClamped) {
    seq.selection = 0;
    seq.notes[0].frequency = 14995;
    press("]");
    EXPECT_EQ(seq.notes[0].frequency, 15000);
    seq.notes[0].frequency = 5;
    press("[");
    EXPECT_EQ(seq.notes[0].frequency, -1);
    seq.notes[0].frequency = 0;
    press(",");
    EXPECT_EQ(seq.notes[0].frequency, -1);
    press(",[");  // no change while empty
    EXPECT_EQ(seq.notes[0].frequency, -1);
    press(".");
    EXPECT_EQ(seq.notes[0].frequency, 0);
    press("]]..");
    EXPECT_EQ(seq.notes[0].frequency, 22);
    EXPECT_EQ(seq.selection, 0);  // nudges do not move the selection
}

TEST_F(NoteKeys, FlagsToggleAndTheLastStepKeepsTheSelection) {
    seq.setNoteCount(4);
    seq.selection = 3;
    press("p");
    EXPECT_EQ(seq.notes[3].porta, 1);
    EXPECT_EQ(seq.selection, 3);
    press("P");
    EXPECT_EQ(seq.notes[3].porta, 0);
    press("S");
    EXPECT_EQ(seq.notes[3].tie, 1);
    EXPECT_EQ(seq.selection, 3);
    seq.selection = 1;
    press("s");
    EXPECT_EQ(seq.notes[1].tie, 1);
    EXPECT_EQ(seq.selection, 2);
}

TEST_F(NoteKeys, OctaveLimitsAndNoSelection) {
    press("++++++++");
    EXPECT_EQ(seq.octave, 7);
    press("---------");
    EXPECT_EQ(seq.octave, 0);
    // Nothing selected: only the octave keys act.
    EXPECT_FALSE(seq.noteKeyPress('q', tables));
    EXPECT_FALSE(seq.noteKeyPress('p', tables));
    EXPECT_FALSE(seq.noteKeyPress(']', tables));
    EXPECT_EQ(seq.notes[0].frequency, -1);
    EXPECT_EQ(seq.notes[0].porta, 0);
    EXPECT_EQ(seq.selection, -1);
    seq.noteKeyPress('+', tables);
    EXPECT_EQ(seq.octave, 1);
    // Top octave, top key stays in the table.
    seq.octave = 7;
    seq.selection = 0;
    press("i");
    EXPECT_EQ(seq.notes[0].frequency, static_cast<int16_t>(roundToInt32(tables.frequency(97))));
}

TEST_F(NoteKeys, NoteCountKeepsStepsBeyondIt) {
    for (int i = 0; i < 32; ++i) seq.notes[i].frequency = static_cast<int16_t>(100 + i);
    seq.selection = 10;
    seq.setNoteCount(4);
    EXPECT_EQ(seq.notesText(tables).size(), 4u);
    EXPECT_EQ(seq.selection, -1);  // its line is gone
    seq.setNoteCount(32);
    const auto lines = seq.notesText(tables);
    ASSERT_EQ(lines.size(), 32u);
    for (int i = 4; i < 32; ++i) EXPECT_EQ(seq.notes[i].frequency, 100 + i);
    EXPECT_EQ(lines[31].substr(0, 4), "01F ");
    seq.setNoteCount(0);
    EXPECT_EQ(seq.noteCount, 1);
    seq.setNoteCount(40);
    EXPECT_EQ(seq.noteCount, 32);
}

}  // namespace
}  // namespace kf
