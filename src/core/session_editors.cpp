// What the window's editors need beyond get/set: the harmonics editor's
// preset buttons and the computer keyboard played into the MIDI queue.
#include <algorithm>

#include "core/session.h"

namespace kf {

void SessionCore::applyHarmonicsPreset(HarmonicsPreset preset) {
    recordStep("Harmonics");
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        OscillatorRecord& o =
            timbres_[static_cast<size_t>(currentTimbre_)].oscillators[static_cast<size_t>(selectedOscillator_)];
        auto h = [&o](int i) -> uint16_t& { return o.harmonics[static_cast<size_t>(i - 1)].level; };
        switch (preset) {
            case HarmonicsPreset::Clear:
                for (int i = 2; i <= 16; ++i) h(i) = 0;
                h(1) = 256;
                break;
            case HarmonicsPreset::Max:
                for (int i = 1; i <= 16; ++i) h(i) = 256;
                break;
            case HarmonicsPreset::Random:
                for (int i = 2; i <= 16; ++i) h(i) = static_cast<uint16_t>(random_.draw(256));
                h(1) = 256;
                break;
            case HarmonicsPreset::Exp:
                for (int i = 2; i <= 16; ++i) h(i) = static_cast<uint16_t>(h(i) / i);
                break;
            case HarmonicsPreset::Decay:
                for (int i = 2; i <= 16; ++i) h(i) = static_cast<uint16_t>(((256 - 12 * i) * h(i)) / 256);
                break;
            case HarmonicsPreset::Keep11010:
                for (int i = 3; i <= 15; i += 2) h(i) = 0;
                break;
            case HarmonicsPreset::Keep10101:
                for (int i = 2; i <= 16; i += 2) h(i) = 0;
                break;
            case HarmonicsPreset::Mult:
                for (int i = 3; i <= 15; ++i)
                    if (i != 4 && i != 8) h(i) = 0;
                break;
        }
        setOscillatorParams();
    }
    for (int i = 0; i < 16; ++i) {
        const ParamId id = offsetId(ParamId::OscLevel1, i);
        notify(Notification{Change::Param, id, value(id)});
    }
    oscillatorControlChanged();
}

bool SessionCore::keyboardNote(char key, bool down, int32_t stamp) {
    const int semitone = keyToSemitone(key);
    if (semitone < 0) return false;
    int octave = 4;
    readUnits([&octave](const SoundScheme& u) { octave = u.noteSequencer().octave; });
    // Octave 4 starts at C-4, MIDI note 48 (the key map's "q" gives 131 Hz).
    const int note = std::clamp(12 * std::clamp(octave, 0, 7) + semitone, 0, 127);
    const uint32_t status = down ? 0x90u : 0x80u;
    midiQueue_.push(stamp, status | static_cast<uint32_t>(note) << 8 | (down ? 100u : 0u) << 16);
    return true;
}

}  // namespace kf
