// Names of the devices the Options page shows but never opens: wave input
// and MIDI output. Item 0 is the system's default device in each list.
#pragma once

#include <string>
#include <vector>

namespace kf {

std::vector<std::string> waveInDevices();
std::vector<std::string> midiOutDevices();

}  // namespace kf
