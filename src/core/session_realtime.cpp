// The session's real-time side: the stream start, one block per tick, and
// the render length the tempo gives.
#include "core/session.h"

namespace kf {

void writeBackOscillatorState(TimbreRecord& dst, TimbreRecord& src);

void Session::tempoChanged() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    timbres_[static_cast<size_t>(currentTimbre_)].renderLength =
        renderLengthFromTempo(ratePosition_ * 5, panel_.tempo, units_.noteSequencer().noteCount);
}

void Session::startStream() {
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

void Session::freshStreamEngine(const MidiRunState& midiRun) {
    renderer_.waitIdle();
    std::lock_guard<std::mutex> engineLock(engineMutex_);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    engine_ = Engine();
    engine_.midiRun = midiRun;
}

TimbreRecord Session::prepareStreamEngine(Engine& e, MidiQueue* queue) {
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

std::shared_ptr<const SoundSnapshot> Session::publishSnapshot() {
    auto snap = std::make_shared<SoundSnapshot>();
    SoundSnapshot& s = *snap;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    initEnvelopers();
    s.gen = gen_;
    for (size_t k = 0; k < 2; ++k) {
        s.gen.midiValue[k] = midi_.value[k].load();
        s.gen.midiSensitivity[k] = midi_.sensitivity[k].load();
        s.controllerNumbers[k] = midi_.number[k].load();
    }
    for (int i = 0; i <= 1024; ++i)
        s.customWave[static_cast<size_t>(i)] = wrap16(Curve::valueAt(waveFormGraph_.data(), i * 16));
    s.sampleRate = ratePosition_ * 5;
    s.random = random_;
    s.tuning = tuning_;
    s.units = units_;
    const SoundBuffer v1 = sample1_.view(), v2 = sample2_.view();
    s.sample1.assign(v1.samples, v1.samples + std::max(v1.count, 0));
    s.sample2.assign(v2.samples, v2.samples + std::max(v2.count, 0));
    s.timbre = timbres_[static_cast<size_t>(currentTimbre_)];
    for (auto& o : s.timbre.oscillators) o.resetState();
    s.timbre.renderLength = renderLengthFromTempo(ratePosition_ * 5, panel_.tempo, units_.noteSequencer().noteCount);
    s.timbre.realTime = 1;
    return snap;
}

bool Session::realTimeFlag() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return realTimeMark_;
}

void Session::renderBlock(SoundBuffer block, int32_t renderPosition) {
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
