// The plugin's audio side without LV2: MIDI messages stamped with the
// host's frames go to the voice engine on their frame, and its 16-bit
// blocks become the host's float samples. The engine renders at the sound's
// own rate; when the host runs at another one, libsamplerate converts, and
// the messages keep their spacing in time (they are heard a fixed delay
// later). At equal rates nothing stands between the engine and the host.
//
// Everything is allocated in the constructor; midi() and process() neither
// allocate nor lock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

typedef struct SRC_STATE_tag SRC_STATE;

namespace kf {

class VoiceEngine;

class PluginStream {
public:
    // The converter used when the rates differ (measured in bench_plugin).
    static int converter();

    PluginStream(VoiceEngine& voices, double hostRate, int32_t maxBlock);
    ~PluginStream();
    PluginStream(const PluginStream&) = delete;
    PluginStream& operator=(const PluginStream&) = delete;

    // The rate the engine renders at (the sound's); a change takes effect at
    // the next process().
    void setSoundRate(int32_t rate) { soundRate_ = rate; }
    bool converting() const { return converting_; }

    // A short message at host frame `frame` of the next process() call.
    void midi(uint32_t frame, const uint8_t* bytes, uint32_t size);
    void process(float* out, uint32_t frames);
    // Back to the start: voices released, converter and queues emptied.
    void reset();
    // reset() after rendering a little (off the audio thread).
    void warmUp();

private:
    struct Pending {
        int64_t time;  // engine sample (converted) or host frame offset (direct)
        uint8_t size;
        std::array<uint8_t, 3> bytes;
    };
    void direct(float* out, uint32_t frames);
    void convert(float* out, uint32_t frames);
    void renderChunk();
    void configure();

    VoiceEngine& voices_;
    double hostRate_;
    int32_t maxBlock_;
    int32_t soundRate_ = 0, configuredRate_ = 0;
    bool converting_ = false;
    double ratio_ = 1;             // host frames per engine sample
    SRC_STATE* src_ = nullptr;
    std::vector<int16_t> block_;
    std::vector<float> in_;        // engine samples not yet taken by the converter
    long inStart_ = 0, inCount_ = 0;
    int64_t hostFrames_ = 0;       // frames handed to the host since the start
    int64_t enginePos_ = 0;        // engine samples rendered since the start
    // Messages waiting for their block; a ring that drops when full.
    std::array<Pending, 512> pending_{};
    size_t pendHead_ = 0, pendCount_ = 0;
};

}  // namespace kf
