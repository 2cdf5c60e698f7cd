#include "audio/device_lists.h"

#include <RtAudio.h>
#include <RtMidi.h>

#include "audio/wave_out.h"

namespace kf {

namespace {

std::string shortName(std::string name) {
    if (name.size() > kDeviceNameMax) name.resize(kDeviceNameMax);
    return name;
}

}  // namespace

// Failing queries leave the device out; the default item is always there.
std::vector<std::string> waveInDevices() {
    std::vector<std::string> names{"Default input"};
    try {
        RtAudio audio;
        audio.showWarnings(false);
        const unsigned n = audio.getDeviceCount();
        for (unsigned i = 0; i < n; ++i) {
            try {
                RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
                if (info.probed && info.inputChannels > 0) names.push_back(shortName(info.name));
            } catch (const std::exception&) {
            }
        }
    } catch (const std::exception&) {
    }
    return names;
}

std::vector<std::string> midiOutDevices() {
    std::vector<std::string> names{"Default MIDI output"};
    try {
        RtMidiOut out(RtMidi::UNSPECIFIED, "Kestrafon");
        const unsigned n = out.getPortCount();
        for (unsigned i = 0; i < n; ++i) {
            try {
                names.push_back(shortName(out.getPortName(i)));
            } catch (const std::exception&) {
            }
        }
    } catch (const std::exception&) {
    }
    return names;
}

}  // namespace kf
