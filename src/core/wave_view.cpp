#include "core/wave_view.h"

#include <algorithm>
#include <mutex>

#include "core/session.h"

namespace kf {

void zoomedView(const std::vector<int16_t>& sound, int32_t trackPosition, DisplayBuffer& display) {
    const int64_t count = static_cast<int64_t>(sound.size());
    const int64_t n = std::min<int64_t>(kDisplaySamples, count / 2);
    // A sound shorter than the window would put the window's start before
    // the first sample; it starts at the first sample instead.
    const int64_t first = std::max<int64_t>(0, (count - 1024) * trackPosition / 256);
    for (int64_t i = 0; i < n; ++i) display[static_cast<size_t>(i)] = sound[static_cast<size_t>(2 * i + first)];
}

void fullView(const std::vector<int16_t>& sound, DisplayBuffer& display) {
    const int64_t count = static_cast<int64_t>(sound.size());
    if (count == 0) {
        display.fill(0);  // nothing rendered: a flat line rather than a read past the end
        return;
    }
    for (int64_t i = 0; i < kDisplaySamples; ++i)
        display[static_cast<size_t>(i)] = sound[static_cast<size_t>(i * count / kDisplaySamples)];
}

void WaveViewer::fill(Session& session, WaveView view, int32_t trackPosition, DisplayBuffer& display) {
    if (view == WaveView::Zoomed || view == WaveView::Full) {
        const std::vector<int16_t> sound = session.render().playBuffer().copy();
        if (view == WaveView::Zoomed)
            zoomedView(sound, trackPosition, display);
        else
            fullView(sound, display);
        return;
    }
    CurveSources sources = session.render().curveSources();
    engine_.gen = sources.gen;
    engine_.sampleRate = sources.sampleRate;
    engine_.random = sources.random;
    SoundScheme& units = sources.units;
    SoundBuffer buf{kDisplaySamples, display.data()};
    switch (view) {
        case WaveView::Env1: engine_.envelope(1, buf, 0, kDisplaySamples); break;
        case WaveView::Env2: engine_.envelope(2, buf, 0, kDisplaySamples); break;
        case WaveView::Env3: engine_.envelope(3, buf, 0, kDisplaySamples); break;
        case WaveView::Lfo1: engine_.lfo(1, buf, 0); break;
        case WaveView::Lfo2: engine_.lfo(2, buf, 0); break;
        case WaveView::Seq:
            (void)units.frequencySequencer().process(buf, kDisplaySamples, 0, kDisplaySamples, units);
            break;
        case WaveView::SeqEnv:
            (void)units.envelopeSequencer().process(buf, kDisplaySamples, 0, kDisplaySamples, units);
            break;
        default: break;
    }
}

}  // namespace kf
