// Files the program ships beside itself (default samples, the manual).
#pragma once

#include <string>

namespace kf {

// The current directory first, then the installed data directory, then the
// source tree's data/. Returns the bare name when none has it.
std::string findDataFile(const std::string& name);

}  // namespace kf
