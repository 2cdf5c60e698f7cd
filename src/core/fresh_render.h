// The sound a freshly started program makes of a preset: the command line's
// render, and what the sound tests pin.
#pragma once

#include <string>

#include "engine/status.h"

namespace kf {

class Session;

// `s` must be freshly constructed (its generator seeded by the constructor).
// Renders the start-up sound as the program's start does; then, unless `preset` is empty, opens the
// preset as "Open preset..." does and waits for the one render opening
// starts. The sound is then in s.playBuffer. Fails only when the preset
// cannot be opened; a sequencer unit's message from the render is in
// s.render().lastError().
Status renderFreshlyOpened(Session& s, const std::string& preset);

}  // namespace kf
