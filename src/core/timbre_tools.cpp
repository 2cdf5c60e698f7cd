#include "core/timbre_tools.h"

#include <algorithm>
#include <array>

#include "engine/reference_rate.h"

namespace kf {

int32_t melodicCFrequency(int octave) {
    static constexpr std::array<int32_t, 6> hz{65, 131, 262, 523, 1047, 2093};
    return octave >= 3 && octave <= 8 ? hz[static_cast<size_t>(octave - 3)] : 0;
}

void setMelodicFrequency(TimbreRecord& t, int32_t hz) {
    for (auto& o : t.oscillators)
        if (o.flags & kFlagMelodic) o.frequency = hz;
}

void shiftOctave(TimbreRecord& t, bool up) {
    for (auto& o : t.oscillators) {
        // The record has no upper limit; wrap rather than overflow on a
        // value that was doubled many times.
        o.frequency = up ? static_cast<int32_t>(static_cast<uint32_t>(o.frequency) * 2u) : o.frequency / 2;
    }
}

void FatWizard::apply(TimbreRecord& t, Random& rng) const {
    static constexpr std::array<uint8_t, 5> waves{kWaveSaw, kWaveSquare, kWaveAbsSine, kWaveTriangle, kWave2xSaw};
    // The track bars cannot leave their ranges; neither may a caller's value
    // (many doublings would overflow the relative frequency).
    const int32_t r = std::clamp(range, kMinRange, kMaxRange);
    const int32_t dt = std::clamp(detune, kMinDetune, kMaxDetune);
    for (auto& o : t.oscillators) {
        o.active = 1;
        o.frequency = 131;
        o.relativeFrequency = 1000;
        const int32_t k = rng.draw(r);
        for (int32_t i = 0; i < k; ++i) o.relativeFrequency *= 2;
        const int32_t d = rng.draw(2 * dt);
        o.relativeFrequency = (d - dt + 1000) * o.relativeFrequency / 1000;
        o.phase = static_cast<uint16_t>(rng.draw(256));
        o.waveForm = waves[static_cast<size_t>(rng.draw(5))];
    }
}

uint32_t fatWizardSeed(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count();
    const int64_t perDay = int64_t{24} * 60 * 60 * 1000;
    // Floor, so instants before the epoch still give 0..perDay-1.
    return static_cast<uint32_t>(((ms % perDay) + perDay) % perDay);
}

uint32_t fatWizardSeed() { return fatWizardSeed(std::chrono::system_clock::now()); }

void applyTb303(TimbreRecord& t, NoteSequencer& notes) {
    OscillatorRecord& o = t.oscillators[0];
    o.active = 1;
    o.frequencyModulation.sources |= srcBit(kSrcSeq);
    o.waveForm = kWaveTriangle;
    o.frequency = 261;
    notes.setNoteCount(16);
    for (size_t i = 0; i < 16; ++i) notes.notes[i].frequency = 261;
    t.resonanceActive = 1;
    t.resonanceFrequencyModulation |= srcBit(kSrcSEnv);
}

void applySamplePlayer(TimbreRecord& t) {
    OscillatorRecord& o = t.oscillators[0];
    o.frequency = kSampleOwnSpeedHz;
    o.volume = 32768;
    o.waveForm = kWaveSample1;
    o.active = 1;
}

int32_t lengthForSample(int32_t count) {
    return std::clamp(count / 1024, 1, kMaxSoundSamples / 1024);
}

}  // namespace kf
