#include "core/fresh_render.h"

#include "core/session.h"

namespace kf {

Status renderFreshlyOpened(Session& s, const std::string& preset) {
    s.render().startUpRender();
    s.render().waitForRender();
    if (preset.empty()) return Status::success();
    // Opening renders the loaded sound with its oscillators anew; nothing
    // renders after that, so no state (MIDI envelopes, feedback memory,
    // flanger ring, generator) runs on into a second render.
    Status st = s.files().openPreset(preset);
    s.render().waitForRender();
    return st;
}

}  // namespace kf
