// kestrafon-cli devices: the wave-output and MIDI-input lists with the item
// numbers the settings file and the other commands use.
#include <iostream>

#include "app/cli_quiet.h"
#include "app/commands.h"

#ifdef KF_HAVE_AUDIO
#include "audio/midi_in.h"
#include "audio/wave_out.h"
#include "engine/midi_state.h"
#endif

namespace kf::cli {

void addDevicesCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("devices", "List wave-output and MIDI-input devices with their item numbers");
#ifdef KF_HAVE_AUDIO
    auto waveApi = std::make_shared<std::string>();
    auto midiApi = std::make_shared<std::string>();
    cmd->add_option("--audio-api", *waveApi, "Audio interface (e.g. alsa, pulse, jack); default: automatic");
    cmd->add_option("--midi-api", *midiApi, "MIDI interface (alsa or jack); default: automatic");
    cmd->callback([waveApi, midiApi] {
        // The libraries report every interface they try; only the lists count here.
        StderrCapture quiet;
        RtAudioWaveOut wave(*waveApi);
        auto outs = wave.devices();
        MidiQueue queue;
        MidiControllers controllers;
        MidiIn midi(queue, controllers, {}, *midiApi);
        auto ins = midi.devices();
        quiet.finish();
        std::cout << "Wave Out Devices\n";
        for (size_t i = 0; i < outs.size(); ++i) std::cout << "  " << i << "  " << outs[i] << "\n";
        std::cout << "Midi In Devices (" << midi.apiName() << ")\n";
        for (size_t i = 0; i < ins.size(); ++i) std::cout << "  " << i << "  " << ins[i] << "\n";
    });
#else
    cmd->callback([] { fail("this build has no audio support"); });
#endif
}

}  // namespace kf::cli
