// The session's live side: the live mode's switch, the stream start, one
// block per tick, the live voices' settings, the computer keyboard's notes
// and the snapshots the voices read.
#include <algorithm>
#include <cmath>

#include "core/session.h"
#include "core/session_state.h"

namespace kf {

using Lock = SessionState::Lock;

LiveStream::~LiveStream() { st_.live.store(nullptr); }

bool LiveStream::realTimeMark() const { return st_.realTimeMark.load(); }

void LiveStream::setRealTimeMark(bool on) {
    {
        Lock lock(st_.mutex);
        if (st_.realTimeMark == on) return;
        st_.realTimeMark = on;
        st_.captureTimbre(st_.current());
    }
    st_.notify(Change::RealTime);
}

Status LiveStream::liveModeRefusal(const std::string& what) const {
    if (!realTimeMark()) return Status::success();
    return Status::error(what + " is not possible while Realtime is on: the live stream has no finished sound. "
                                "Switch Realtime off to render.");
}

void LiveStream::setPlayback(PlaybackControl* p) { st_.write(st_.playback, p); }

std::shared_ptr<const SoundSnapshot> LiveStream::publishSnapshot() {
    Lock lock(st_.mutex);
    return st_.makeSnapshot();
}

void LiveStream::startStream() {
    // Everything the voices need is made here, before any block runs.
    if (!engine_) {
        engine_ = std::make_unique<VoiceEngine>(publishSnapshot(), 16384);
        st_.live.store(engine_.get());
    } else {
        engine_->publish(publishSnapshot());
    }
    applyLiveSettings();
    st_.midiQueue.reset();
    engine_->reset();
}

void LiveStream::stopStream() {
    if (VoiceEngine* e = st_.live.load()) e->reset();
    st_.midiQueue.reset();
}

bool LiveStream::realTimeFlag() const { return st_.realTimeMark.load(); }
MidiQueue& LiveStream::midiQueue() { return st_.midiQueue; }
MidiControllers& LiveStream::midiControllers() { return st_.midi; }
VoiceEngine* LiveStream::liveEngine() { return st_.live.load(); }

void LiveStream::setControllerNumber(int n, int32_t number) {
    st_.midi.number[n == 1 ? 1 : 0].store(std::max(number, 0));
    st_.publishToLive();
}

void LiveStream::setControllerSensitivity(int n, int32_t sensitivity) {
    st_.midi.sensitivity[n == 1 ? 1 : 0].store(std::clamp(sensitivity, 1, 256));
    st_.publishToLive();
}

void LiveStream::renderBlock(SoundBuffer block, int32_t renderPosition) {
    VoiceEngine* e = st_.live.load();
    if (!e) return;
    MidiQueue& queue = st_.midiQueue;
    // Live input: an entry takes effect at the sample after its stamp; one
    // for a later block waits in the queue.
    uint8_t r = queue.readIndex();
    const uint8_t w = queue.writeIndex();
    for (; r != w; ++r) {
        const MidiEvent ev = queue.at(r);
        const int64_t offset = int64_t{ev.time} + 1 - renderPosition;
        if (offset >= block.count) break;
        e->midi(static_cast<int32_t>(std::max<int64_t>(offset, 0)), ev.message);
    }
    queue.setReadIndex(r);
    e->render(block.samples, block.count);
}

// ---------------------------------------------------------------------------
// The live voices' settings

void LiveStream::applyLiveSettings() {
    VoiceEngine* e = st_.live.load();
    if (!e) return;
    Lock lock(st_.mutex);
    e->setVoices(st_.settings.liveVoices);
    if (std::isnan(st_.settings.liveGainDb))
        e->setAutoGain();
    else
        e->setGainDb(st_.settings.liveGainDb);
    e->setOctaveDown(st_.settings.octaveDown);
}

void LiveStream::setLiveVoices(int voices) {
    {
        Lock lock(st_.mutex);
        st_.settings.liveVoices = std::clamp(voices, 1, kMaxVoices);
    }
    applyLiveSettings();
}

void LiveStream::setLiveGainDb(double db) {
    {
        Lock lock(st_.mutex);
        st_.settings.liveGainDb = std::isnan(db) ? db : std::clamp(db, kLiveGainMinDb, kLiveGainMaxDb);
    }
    applyLiveSettings();
}

void LiveStream::setLiveOctaveDown(bool on) {
    {
        Lock lock(st_.mutex);
        st_.settings.octaveDown = on;
    }
    applyLiveSettings();
}

// ---------------------------------------------------------------------------
// The computer keyboard

bool LiveStream::keyboardNote(char key, bool down, int32_t stamp) {
    const int semitone = keyToSemitone(key);
    if (semitone < 0) return false;
    int octave = 4;
    s_.params().readUnits([&octave](const SoundScheme& u) { octave = u.noteSequencer().octave; });
    // Octave 4 starts at C-4, MIDI note 48 (the key map's "q" gives 131 Hz).
    const int note = std::clamp(12 * std::clamp(octave, 0, 7) + semitone, 0, 127);
    const uint32_t status = down ? 0x90u : 0x80u;
    st_.midiQueue.push(stamp, status | static_cast<uint32_t>(note) << 8 | (down ? 100u : 0u) << 16);
    return true;
}

}  // namespace kf
