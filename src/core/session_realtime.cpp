// The session's real-time side: the stream start, one block per tick, and
// the render length the tempo gives.
#include "core/session.h"

namespace kf {

void SessionCore::tempoChanged() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    timbres_[static_cast<size_t>(currentTimbre_)].renderLength =
        renderLengthFromTempo(ratePosition_ * 5, panel_.tempo, units_.noteSequencer().noteCount);
}

void SessionCore::startStream() {
    // An ordinary render still in flight would overwrite the render length
    // and the filter and effect memories the stream is about to start from.
    renderer_.waitIdle();
    std::lock_guard<std::mutex> engineLock(engineMutex_);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (auto& o : timbres_[static_cast<size_t>(currentTimbre_)].oscillators) o.resetState();
    tempoChanged();
    engine_.renderPosition = 0;
    midiQueue_.reset();
    auto& ring = engine_.effects.feedbackRing;
    clearSound(SoundBuffer{static_cast<int32_t>(ring.size()), ring.data()});
}

void SessionCore::freshStreamEngine(const MidiRunState& midiRun) {
    renderer_.waitIdle();
    std::lock_guard<std::mutex> engineLock(engineMutex_);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    engine_ = Engine();
    engine_.midiRun = midiRun;
}

TimbreRecord SessionCore::prepareStreamEngine(Engine& e, MidiQueue* queue) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    prepareEngineInto(e);
    e.midiQueue = queue;
    e.renderPosition = 0;
    TimbreRecord t = timbres_[static_cast<size_t>(currentTimbre_)];
    for (auto& o : t.oscillators) o.resetState();
    t.renderLength = renderLengthFromTempo(ratePosition_ * 5, panel_.tempo, units_.noteSequencer().noteCount);
    t.realTime = 1;
    return t;
}

bool SessionCore::realTimeFlag() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return realTimeMark_;
}

void SessionCore::renderBlock(SoundBuffer block, int32_t renderPosition) {
    std::lock_guard<std::mutex> engineLock(engineMutex_);
    TimbreRecord timbre;
    int index = 0;
    {
        // A consistent snapshot of the controls for this block; the window's
        // edits are heard from the next block on.
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        prepareEngine();
        index = currentTimbre_;
        timbre = timbres_[static_cast<size_t>(index)];
        timbre.realTime = 1;
    }
    engine_.progress = nullptr;
    engine_.renderPosition = renderPosition;
    engine_.renderTimbre(block, timbre, true);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    writeBackOscillatorState(timbres_[static_cast<size_t>(index)], timbre);
    random_ = engine_.random;
    lastError_ = engine_.lastUnitError;
}

}  // namespace kf
