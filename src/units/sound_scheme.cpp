#include "units/sound_scheme.h"

namespace kf {

SoundScheme::SoundScheme() {
    frequency_.inputs[0] = 0;
    envelope_.inputs[0] = 0;
}

const SoundUnit* SoundScheme::unitAt(int32_t index) const {
    switch (index) {
        case 0: return &note_;
        case 1: return &frequency_;
        case 2: return &envelope_;
        default: return nullptr;
    }
}

SoundUnit* SoundScheme::unitAt(int32_t index) {
    return const_cast<SoundUnit*>(static_cast<const SoundScheme&>(*this).unitAt(index));
}

}  // namespace kf
