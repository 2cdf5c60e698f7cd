#include "engine/tuning.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "engine/arith.h"

namespace kf {

namespace {

// The running value is kept in extended precision and each entry is stored
// rounded to double; the constants are used exactly as written.
constexpr long double kSemitone = 1.059463094L;
constexpr long double kBase = 7.7175L;

constexpr std::array<long double, 12> kNaturalSharp{1.0L, 1.04166L, 1.125L, 1.17187L, 1.25L, 1.33333L,
                                                    1.38889L, 1.5L, 1.5625L, 1.66667L, 1.8L, 1.875L};
constexpr std::array<long double, 12> kNaturalFlat{1.0L, 1.08L, 1.125L, 1.2L, 1.25L, 1.33333L,
                                                   1.44L, 1.5L, 1.6L, 1.66667L, 1.8L, 1.875L};

}  // namespace

NoteTables::NoteTables() { buildTemperedScale(); }

void NoteTables::buildTemperedScale() {
    freq_[0] = 0.0;
    long double x = kBase;
    for (int n = 1; n < kEntries; ++n) {
        x = x * kSemitone;
        freq_[static_cast<size_t>(n)] = static_cast<double>(x);
    }
    scale_ = Scale::Tempered;
}

void NoteTables::buildNatural(const std::array<long double, 12>& ratios) {
    freq_[0] = 0.0;
    long double x = kBase * kSemitone;  // C of octave 0
    for (int octave = 0; octave <= 10; ++octave) {
        for (int s = 0; s < 12; ++s) {
            const int e = 12 * octave + s + 1;
            if (e < kEntries) freq_[static_cast<size_t>(e)] = static_cast<double>(x * ratios[static_cast<size_t>(s)]);
        }
        x = x * 2.0L;
    }
}

void NoteTables::buildNaturalSharpScale() {
    buildNatural(kNaturalSharp);
    scale_ = Scale::NaturalSharp;
}

void NoteTables::buildNaturalFlatScale() {
    buildNatural(kNaturalFlat);
    scale_ = Scale::NaturalFlat;
}

void NoteTables::build(Scale s) {
    switch (s) {
        case Scale::Tempered: buildTemperedScale(); break;
        case Scale::NaturalSharp: buildNaturalSharpScale(); break;
        case Scale::NaturalFlat: buildNaturalFlatScale(); break;
    }
}

NoteTables::Nearest NoteTables::nearestNote(int32_t f) const {
    Nearest best;
    int64_t bestDiff = std::numeric_limits<int32_t>::max();
    bool found = false;
    for (int n = 0; n < 128; ++n) {
        const double nf = freq_[static_cast<size_t>(n + 1)];
        if (std::fabs(static_cast<double>(f) - nf) < static_cast<double>(std::llabs(bestDiff))) {
            bestDiff = int64_t{f} - roundHalfEven(nf);
            best.index = n + 1;
            found = true;
        }
        if (found && bestDiff < 0) break;  // no higher note can come closer
    }
    if (bestDiff > std::numeric_limits<int32_t>::max()) bestDiff = std::numeric_limits<int32_t>::max();
    if (bestDiff < std::numeric_limits<int32_t>::min()) bestDiff = std::numeric_limits<int32_t>::min();
    best.difference = static_cast<int32_t>(bestDiff);
    return best;
}

const std::array<std::string, NoteTables::kEntries>& noteNames() {
    static const std::array<std::string, NoteTables::kEntries> names = [] {
        static const char* const letters[12] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                                "F#", "G-", "G#", "A-", "A#", "B-"};
        std::array<std::string, NoteTables::kEntries> t;
        t[0] = "---";
        for (int n = 0; n <= 128; ++n)
            t[static_cast<size_t>(n + 1)] = std::string(letters[n % 12]) + std::to_string(n / 12);
        return t;
    }();
    return names;
}

int keyToSemitone(char c) {
    static constexpr char keys[13] = {'q', '2', 'w', '3', 'e', 'r', '5', 't', '6', 'y', '7', 'u', 'i'};
    if (c == ' ') return -1;
    const char lc = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (int s = 0; s < 13; ++s)
        if (keys[s] == lc) return s;
    return -2;
}

void frequencyToNote(int32_t frequency, int8_t& relativeNote, int8_t& finetune) {
    // A frequency of 0 or below has no note: the reference would shrink
    // toward zero without ever coming within 4 % of it.
    if (frequency <= 0) {
        relativeNote = 0;
        return;
    }
    const double f = frequency;
    int note = 0;
    double c = 16733.7;
    while (c < f * 0.9615384615384616 || c > f * 1.04) {
        if (f < c) {
            --note;
            c = c * 0.9438743126819565;
        } else if (f > c) {
            ++note;
            c = c * 1.059463094359;
        }
    }
    // Signed byte field: frequencies beyond its range saturate instead of wrapping.
    relativeNote = static_cast<int8_t>(note > 127 ? 127 : (note < -128 ? -128 : note));
    if (f > c)
        finetune = static_cast<int8_t>(roundToInt32((f / c - 1) * 16.817153745189273 * 128));
    else if (f < c)
        finetune = static_cast<int8_t>(-roundToInt32((c / f - 1) * 16.817153745189273 * 128));
}

}  // namespace kf
