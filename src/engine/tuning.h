// Note frequency and name tables, the keyboard-to-semitone map and the
// sample-rate to XI relative note conversion. Everything that turns a note
// into a pitch reads one NoteTables instance owned by the engine.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kf {

enum class Scale { Tempered, NaturalSharp, NaturalFlat };

// Entry n + 1 belongs to MIDI note n; entry 0 (0 Hz) means "no note".
class NoteTables {
public:
    static constexpr int kEntries = 130;

    NoteTables();  // equal temperament

    void buildTemperedScale();
    void buildNaturalSharpScale();
    void buildNaturalFlatScale();
    void build(Scale s);
    Scale scale() const { return scale_; }

    double frequency(int index) const { return freq_[static_cast<size_t>(index)]; }
    const std::array<double, kEntries>& frequencies() const { return freq_; }

    // Nearest of the 128 notes (name index 1..128) to an integer frequency,
    // walking upwards as the frequency label and the sequencer list do.
    // difference = f - round(frequency of that note).
    struct Nearest {
        int index = 1;
        int32_t difference = 0;
    };
    Nearest nearestNote(int32_t f) const;

private:
    void buildNatural(const std::array<long double, 12>& ratios);

    std::array<double, kEntries> freq_{};
    Scale scale_ = Scale::Tempered;
};

// "---", "C-0" ... "G#10".
const std::array<std::string, NoteTables::kEntries>& noteNames();

// Semitone 0..12 of a typed character (case-insensitive), -1 for a space
// (a rest), -2 for anything else.
int keyToSemitone(char c);

// Relative note and finetune (1/128 semitone) of an XI sample recorded at
// `frequency` Hz. finetune is left untouched when the frequency hits the
// reference exactly.
void frequencyToNote(int32_t frequency, int8_t& relativeNote, int8_t& finetune);

}  // namespace kf
