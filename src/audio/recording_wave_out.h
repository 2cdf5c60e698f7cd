// A wave output that passes everything to another device and keeps a copy
// of every sample that device reads, in the order it reads them: exactly
// what was sent to the device.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "audio/wave_out.h"

namespace kf {

class RecordingWaveOut : public WaveOut {
public:
    explicit RecordingWaveOut(WaveOut& inner) : inner_(inner), tap_(*this) {}

    std::vector<std::string> devices() override { return inner_.devices(); }
    Status open(int deviceItem, int32_t sampleRate) override { return inner_.open(deviceItem, sampleRate); }
    Status prepare(WaveSource source, bool loop) override;
    Status write() override { return inner_.write(); }
    void stop() override { inner_.stop(); }
    void close() override { inner_.close(); }
    bool isOpen() const override { return inner_.isOpen(); }

    // The device thread appends; take() may run at any time.
    std::vector<int16_t> take();

private:
    // Forwards reads to the real source and records what the device gets
    // (the device fills the rest of its request with silence).
    class Tap : public SampleSource {
    public:
        explicit Tap(RecordingWaveOut& owner) : owner_(owner) {}
        int32_t read(int32_t pos, int16_t* dst, int32_t n) const override;
        const SampleSource* inner = nullptr;

    private:
        RecordingWaveOut& owner_;
    };

    WaveOut& inner_;
    Tap tap_;
    mutable std::mutex mutex_;
    std::vector<int16_t> recorded_;
};

}  // namespace kf
