#include "audio/midi_in.h"

#include <RtMidi.h>
#include <unistd.h>

#include "audio/wave_out.h"

namespace kf {

uint32_t packShortMessage(const unsigned char* bytes, size_t size) {
    if (size == 0 || size > 3) return 0;
    uint32_t m = 0;
    for (size_t i = 0; i < size; ++i) m |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    return m;
}

void recordMidiMessage(uint32_t m, MidiQueue& queue, MidiControllers& controllers, int32_t timeStamp) {
    const uint32_t kind = m & 0xF0;
    // Notes and controllers go to the voice engine, which allocates voices
    // and honours "all notes off" and "all sound off"; the controller values
    // are kept here too for the window.
    if (kind == 0x90 || kind == 0x80) {
        if (!controllers.noteResponse.load()) return;
        queue.push(timeStamp, m);
        if (kind == 0x90 && ((m >> 16) & 0xFF) != 0) controllers.lastNote.store(static_cast<int32_t>((m >> 8) & 0xFF));
    }
    if (kind == 0xB0) {
        const int32_t c = static_cast<int32_t>((m >> 8) & 0xFF);
        const int32_t value = static_cast<int32_t>(m >> 16);
        if (c == controllers.number[0].load()) controllers.value[0].store(value);
        if (c == controllers.number[1].load()) controllers.value[1].store(value);
        queue.push(timeStamp, m);
    }
}

namespace {

// Errors are not shown; a non-warning only marks the last call as failed.
void silentError(RtMidiError::Type type, const std::string&, void* user) {
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        static_cast<std::atomic<bool>*>(user)->store(true);
}

void deliver(double, std::vector<unsigned char>* message, void* user) {
    if (message && !message->empty()) static_cast<MidiIn*>(user)->onMessage(message->data(), message->size());
}

RtMidi::Api chooseApi(const std::string& name) {
    if (name == "alsa") return RtMidi::LINUX_ALSA;
    if (name == "jack") return RtMidi::UNIX_JACK;
    // Without the ALSA sequencer device, input comes through a JACK server.
    return access("/dev/snd/seq", R_OK | W_OK) == 0 ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
}

}  // namespace

MidiIn::MidiIn(MidiQueue& queue, MidiControllers& controllers, std::function<int32_t()> timeStamp,
               std::string apiName)
    : queue_(queue), controllers_(controllers), timeStamp_(std::move(timeStamp)), apiName_(std::move(apiName)) {}

MidiIn::~MidiIn() { closeMidiIn(); }

std::string MidiIn::apiName() const { return RtMidi::getApiName(chooseApi(apiName_)); }

std::unique_ptr<RtMidiIn> MidiIn::makeInput() {
    try {
        auto in = std::make_unique<RtMidiIn>(chooseApi(apiName_), "Kestrafon");
        in->setErrorCallback(&silentError, &failed_);
        return in;
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::vector<std::string> MidiIn::devices() {
    std::vector<std::string> names{kNoMidiInput};
    auto in = makeInput();
    if (!in) return names;
    try {
        unsigned n = in->getPortCount();
        // Items are added whatever the name query gives, so item k stays port k - 1.
        for (unsigned i = 0; i < n; ++i) {
            std::string name = in->getPortName(i);
            if (name.size() > kDeviceNameMax) name.resize(kDeviceNameMax);
            names.push_back(name);
        }
    } catch (const std::exception&) {
    }
    return names;
}

bool MidiIn::openMidiIn(int item) {
    closeMidiIn();
    const int id = item - 1;
    if (id < 0) return false;
    auto in = makeInput();
    if (!in) return false;
    try {
        if (static_cast<unsigned>(id) >= in->getPortCount()) return false;
        in->setCallback(&deliver, this);
        failed_ = false;
        in->openPort(static_cast<unsigned>(id), "Kestrafon MIDI In");
        if (failed_ || !in->isPortOpen()) return false;
    } catch (const std::exception&) {
        return false;
    }
    input_ = std::move(in);
    opened_ = true;
    return true;
}

bool MidiIn::openVirtual(const std::string& portName) {
    closeMidiIn();
    auto in = makeInput();
    if (!in) return false;
    try {
        in->setCallback(&deliver, this);
        failed_ = false;
        in->openVirtualPort(portName);
        // With an error callback set, failures arrive there instead of as exceptions.
        if (failed_) return false;
    } catch (const std::exception&) {
        return false;
    }
    input_ = std::move(in);
    opened_ = true;
    return true;
}

void MidiIn::closeMidiIn() {
    if (input_) {
        try {
            input_->closePort();
            input_->cancelCallback();
        } catch (const std::exception&) {
        }
        input_.reset();
    }
    opened_ = false;
}

void MidiIn::onMessage(const unsigned char* bytes, size_t size) {
    uint32_t m = packShortMessage(bytes, size);
    if (m == 0) return;
    recordMidiMessage(m, queue_, controllers_, timeStamp_ ? timeStamp_() : 0);
}

}  // namespace kf
