// MIDI input state shared between the MIDI callback (producer) and the
// renderer (consumer). The callback only appends; entries are atomics so a
// writer lapping the reader can never tear a value.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace kf {

struct MidiEventSlot {
    std::atomic<int32_t> time{0};
    std::atomic<uint32_t> message{0};  // status bits 0-7, data1 bits 8-15, data2 bits 16-23
};

struct MidiEvent {
    int32_t time = 0;
    uint32_t message = 0;
    uint8_t note() const { return static_cast<uint8_t>((message >> 8) & 0xFF); }
    uint8_t velocity() const { return static_cast<uint8_t>((message >> 16) & 0xFF); }
};

class MidiQueue {
public:
    static constexpr int kSize = 256;

    // Producer side (the MIDI callback): write the entry, then publish it.
    void push(int32_t time, uint32_t message) {
        uint8_t w = write_.load(std::memory_order_relaxed);
        slots_[w].time.store(time, std::memory_order_relaxed);
        slots_[w].message.store(message, std::memory_order_relaxed);
        write_.store(static_cast<uint8_t>(w + 1), std::memory_order_release);
    }

    uint8_t writeIndex() const { return write_.load(std::memory_order_acquire); }
    uint8_t readIndex() const { return read_.load(std::memory_order_acquire); }
    void setReadIndex(uint8_t r) { read_.store(r, std::memory_order_release); }
    void reset() {
        write_.store(0, std::memory_order_release);
        read_.store(0, std::memory_order_release);
    }
    MidiEvent at(uint8_t i) const {
        return MidiEvent{slots_[i].time.load(std::memory_order_relaxed),
                         slots_[i].message.load(std::memory_order_relaxed)};
    }

private:
    std::array<MidiEventSlot, kSize> slots_{};
    std::atomic<uint8_t> write_{0};
    std::atomic<uint8_t> read_{0};
};

// Controller state written by the MIDI callback and the window thread.
struct MidiControllers {
    std::atomic<int32_t> number[2] = {7, 10};
    std::atomic<int32_t> value[2] = {127, 127};
    std::atomic<int32_t> sensitivity[2] = {256, 256};
    std::atomic<int32_t> lastNote{0};
    std::atomic<bool> noteResponse{true};  // "Oscillators response to MIDI In"
};

}  // namespace kf
