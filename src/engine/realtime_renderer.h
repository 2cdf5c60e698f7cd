// What the real-time stream needs of the render driver. Implemented by the
// session; the audio layer drives it from its tick.
#pragma once

#include <cstdint>

#include "engine/arith.h"
#include "engine/sound_buffer.h"

namespace kf {

struct RealTimeRenderer {
    // Prepare the voices from the sound as it is now, released and at
    // rest, and empty the MIDI queue. Called while no block renders.
    virtual void startStream() = 0;
    // One run of the render chain in real-time mode into a cleared block.
    virtual void renderBlock(SoundBuffer block, int32_t renderPosition) = 0;
    // The stream stopped (no block runs): every note is released.
    virtual void stopStream() {}
    // The selected timbre's real-time flag (read on the tick's thread).
    virtual bool realTimeFlag() const = 0;
    virtual ~RealTimeRenderer() = default;
};

// Render length (samples of one pass through the note sequence) from the
// tempo, evaluated left to right in extended precision; a tempo <= 0 or a
// result <= 0 gives 1.
inline int32_t renderLengthFromTempo(int32_t sampleRate, int32_t tempo, int32_t noteCount) {
    if (tempo <= 0) return 1;
    long double v = static_cast<long double>(sampleRate) / static_cast<long double>(tempo);
    v = v * 0.000943529744775204L;
    v = v * 16384.0L;
    v = v * static_cast<long double>(noteCount);
    const int32_t length = roundToInt32(v);
    return length <= 0 ? 1 : length;
}

}  // namespace kf
