// MIDI input: one input device at a time; its note-ons are time-stamped into
// the event queue the real-time stream consumes, and two chosen controllers
// set the "Midi1"/"Midi2" values. Failures are silent.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/midi_state.h"

class RtMidiIn;

namespace kf {

inline constexpr const char* kNoMidiInput = "No midi input";

// Packs a short message as the queue stores it: status in bits 0-7, first
// data byte in 8-15, second in 16-23. Messages longer than 3 bytes give 0.
uint32_t packShortMessage(const unsigned char* bytes, size_t size);

// The input callback's recording rules for one short message m; timeStamp is
// the stream time the event takes effect (the play position + 2 block lengths).
void recordMidiMessage(uint32_t m, MidiQueue& queue, MidiControllers& controllers, int32_t timeStamp);

class MidiIn {
public:
    // apiName "" picks the ALSA sequencer when /dev/snd/seq can be opened,
    // else JACK; "alsa" or "jack" force one.
    MidiIn(MidiQueue& queue, MidiControllers& controllers, std::function<int32_t()> timeStamp,
           std::string apiName = {});
    ~MidiIn();
    MidiIn(const MidiIn&) = delete;
    MidiIn& operator=(const MidiIn&) = delete;

    // "No midi input", then the input ports.
    std::vector<std::string> devices();
    // Closes the open device; then item 0 opens nothing and item k opens
    // input port k - 1.
    bool openMidiIn(int item);
    // A port of our own that other programs connect to.
    bool openVirtual(const std::string& portName);
    void closeMidiIn();
    bool opened() const { return opened_; }
    std::string apiName() const;

    // Delivered by the backend on its own thread.
    void onMessage(const unsigned char* bytes, size_t size);

private:
    std::unique_ptr<RtMidiIn> makeInput();

    MidiQueue& queue_;
    MidiControllers& controllers_;
    std::function<int32_t()> timeStamp_;
    std::string apiName_;
    std::unique_ptr<RtMidiIn> input_;
    bool opened_ = false;
    std::atomic<bool> failed_{false};  // set by the backend's error callback
};

}  // namespace kf
