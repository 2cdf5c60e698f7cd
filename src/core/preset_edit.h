// Editing the session by JSON key: `set KEY VALUE` of the session script.
// The value goes through the preset JSON (so it is range-checked as `build`
// checks it); the change then reaches the session through the operations
// the window uses (set by id, the curve and chord edits, the units, samples).
#pragma once

#include <string>

#include "engine/status.h"

namespace kf {

class Session;

// KEY as in the JSON dump ("timbre.cutOff", "timbre.oscillators[2].frequency",
// "envelopeBars.Env1ReleaseBar", "noteSequencer.steps[0].frequency",
// "timbre.chord"); VALUE is JSON (a bare word is taken as a string).
Status setByKey(Session& s, const std::string& key, const std::string& value);

}  // namespace kf
