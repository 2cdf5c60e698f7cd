// What the wave display below the pages shows: the played sound (a zoomed
// 1024-sample window or the whole sound) or one of the control curves, always
// as 512 display samples. The window only draws the buffer filled here.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/engine.h"

namespace kf {

class Session;

enum class WaveView { Zoomed, Full, Env1, Env2, Env3, Lfo1, Lfo2, Seq, SeqEnv };

inline constexpr int32_t kDisplaySamples = 512;
using DisplayBuffer = std::array<int16_t, kDisplaySamples>;

// "Zoomed": every second sample of a 1024-sample window whose start follows
// the track bar (0..256) over the sound. Display samples past half the
// sound's length keep their previous values.
void zoomedView(const std::vector<int16_t>& sound, int32_t trackPosition, DisplayBuffer& display);
// "Full": 512 samples spread evenly over the whole sound.
void fullView(const std::vector<int16_t>& sound, DisplayBuffer& display);

// Fills the display for any view. Curve views run their generator over
// 512 samples from position 0 with the session's current control values
// (an engine of its own, so a running render is not disturbed).
class WaveViewer {
public:
    void fill(Session& session, WaveView view, int32_t trackPosition, DisplayBuffer& display);

private:
    Engine engine_;
};

}  // namespace kf
