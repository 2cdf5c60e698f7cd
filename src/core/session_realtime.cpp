// The session's real-time side: the stream start, one block per tick, and
// the render length the tempo gives.
#include <algorithm>
#include <cmath>

#include "core/session.h"

namespace kf {

void SessionCore::tempoChanged() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    timbres_[static_cast<size_t>(currentTimbre_)].renderLength =
        renderLengthFromTempo(ratePosition_ * 5, panel_.tempo, units_.noteSequencer().noteCount);
}

void SessionCore::startStream() {
    // Everything the voices need is made here, before any block runs.
    if (!live_.load()) {
        liveOwned_ = std::make_unique<VoiceEngine>(publishSnapshot(), 16384);
        live_.store(liveOwned_.get());
    } else {
        live_.load()->publish(publishSnapshot());
    }
    applyLiveSettings();
    midiQueue_.reset();
    live_.load()->reset();
}

void SessionCore::stopStream() {
    if (VoiceEngine* e = live_.load()) e->reset();
    midiQueue_.reset();
}

void SessionCore::applyLiveSettings() {
    VoiceEngine* e = live_.load();
    if (!e) return;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    e->setVoices(settings_.liveVoices);
    if (std::isnan(settings_.liveGainDb))
        e->setAutoGain();
    else
        e->setGainDb(settings_.liveGainDb);
    e->setOctaveDown(settings_.octaveDown);
}

void SessionCore::setLiveVoices(int voices) {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        settings_.liveVoices = std::clamp(voices, 1, kMaxVoices);
    }
    applyLiveSettings();
}

void SessionCore::setLiveGainDb(double db) {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        settings_.liveGainDb = std::isnan(db) ? db : std::clamp(db, kLiveGainMinDb, kLiveGainMaxDb);
    }
    applyLiveSettings();
}

void SessionCore::setLiveOctaveDown(bool on) {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        settings_.octaveDown = on;
    }
    applyLiveSettings();
}

std::shared_ptr<const SoundSnapshot> SessionCore::publishSnapshot() {
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

bool SessionCore::realTimeFlag() const { return realTimeMark_.load(); }

void SessionCore::renderBlock(SoundBuffer block, int32_t renderPosition) {
    VoiceEngine* e = live_.load();
    if (!e) return;
    // Live input: an entry takes effect at the sample after its stamp; one
    // for a later block waits in the queue.
    uint8_t r = midiQueue_.readIndex();
    const uint8_t w = midiQueue_.writeIndex();
    for (; r != w; ++r) {
        const MidiEvent ev = midiQueue_.at(r);
        const int64_t offset = int64_t{ev.time} + 1 - renderPosition;
        if (offset >= block.count) break;
        e->midi(static_cast<int32_t>(std::max<int64_t>(offset, 0)), ev.message);
    }
    midiQueue_.setReadIndex(r);
    e->render(block.samples, block.count);
}

}  // namespace kf
