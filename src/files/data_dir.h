// Files the program ships beside itself (default samples, the manual).
#pragma once

#include <string>
#include <vector>

namespace kf {

// The current directory first, then the installed data directory, then the
// source tree's data/. Returns the bare name when none has it.
std::string findDataFile(const std::string& name);
// The installed data directories, beside the program first.
std::vector<std::string> dataDirectories();

}  // namespace kf
