#include "core/voice_engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/arith.h"
#include "engine/engine.h"
#include "engine/midi_state.h"

namespace kf {

// ---------------------------------------------------------------------------
// Hand-over

void SnapshotSlot::publish(std::shared_ptr<const SoundSnapshot> s) {
    std::lock_guard<std::mutex> lock(publishers_);
    const SoundSnapshot* p = s.get();
    kept_.push_back(std::move(s));
    latest_.store(p, std::memory_order_seq_cst);
    // The consumer announces what it reads before checking it is still the
    // newest, so anything neither newest nor announced is out of its reach.
    const SoundSnapshot* used = inUse_.load(std::memory_order_seq_cst);
    std::erase_if(kept_, [&](const auto& k) { return k.get() != p && k.get() != used; });
}

const SoundSnapshot* SnapshotSlot::acquire() {
    const SoundSnapshot* p = latest_.load(std::memory_order_seq_cst);
    for (;;) {
        inUse_.store(p, std::memory_order_seq_cst);
        const SoundSnapshot* again = latest_.load(std::memory_order_seq_cst);
        if (again == p) return p;
        p = again;
    }
}

std::shared_ptr<const SoundSnapshot> SnapshotSlot::latest() const {
    std::lock_guard<std::mutex> lock(publishers_);
    return kept_.empty() ? nullptr : kept_.back();
}

// ---------------------------------------------------------------------------
// Voices

namespace {

constexpr int kPending = 256;

MidiRunState silentRun() {
    MidiRunState r;
    r.level = {0, 0};
    r.stage = {-1, -1};
    return r;
}

}  // namespace

struct VoiceEngine::Voice {
    Engine engine;
    TimbreRecord timbre;
    SoundScheme units;
    MidiQueue queue;
    // Entries waiting for the block they take effect in (stamp = effect - 1).
    std::array<MidiEvent, kPending> pending{};
    int head = 0, count = 0;
    int64_t lastEffect = INT64_MIN;
    // Allocation state.
    bool used = false, held = false;
    int64_t mutedFrom = INT64_MAX;  // all sound off: silent from this sample until a later note
    uint8_t note = 0;
    uint64_t struck = 0, released = 0;
    std::vector<int16_t> out;

    bool push(int64_t stamp, uint32_t message) {
        if (count == kPending) return false;
        pending[static_cast<size_t>((head + count) % kPending)] = MidiEvent{static_cast<int32_t>(stamp), message};
        ++count;
        return true;
    }
};

VoiceEngine::VoiceEngine(std::shared_ptr<const SoundSnapshot> first, int32_t maxBlock)
    : maxBlock_(std::clamp(maxBlock, 1, 16384)) {
    if (!first) first = std::make_shared<SoundSnapshot>();
    firstRate_ = first->sampleRate;
    wide_.assign(static_cast<size_t>(maxBlock_), 0);
    for (int i = 0; i < kMaxVoices; ++i) {
        auto v = std::make_unique<Voice>();
        Engine& e = v->engine;
        e.speed.threads = 1;  // a worker pool would wait and allocate
        e.reserveRealTime();
        e.midiQueue = &v->queue;
        Voice* self = v.get();
        // Plain pointers: the functions keep them in place, without allocating.
        e.sequencerFrequency = [self](SoundBuffer& b, int32_t start, int32_t total) {
            return self->units.frequencySequencer().process(b, b.count, start, total, self->units);
        };
        e.sequencerEnvelope = [self](SoundBuffer& b, int32_t start, int32_t total) {
            return self->units.envelopeSequencer().process(b, b.count, start, total, self->units);
        };
        v->out.assign(static_cast<size_t>(maxBlock_), 0);
        voice_.push_back(std::move(v));
    }
    controller_ = first->gen.midiValue;
    lastSnapValue_ = controller_;
    slot_.publish(std::move(first));
    snap_ = slot_.acquire();
    for (auto& v : voice_) startVoice(*v);
}

VoiceEngine::~VoiceEngine() = default;

int32_t VoiceEngine::sampleRate() const { return firstRate_; }

void VoiceEngine::setVoices(int n) { voices_.store(std::clamp(n, 1, kMaxVoices), std::memory_order_relaxed); }

int64_t VoiceEngine::gainFactor(double db) {
    if (!std::isfinite(db)) return 65536;
    db = std::clamp(db, kLiveGainMinDb, kLiveGainMaxDb);
    return roundHalfEven(std::pow(10.0L, static_cast<long double>(db) / 20.0L) * 65536.0L);
}

int64_t VoiceEngine::autoGainFactor(int voices) {
    // A hair under 1/N for N > 1: N voices all at full scale round to 32765,
    // below the level that counts as clipping.
    voices = std::clamp(voices, 1, kMaxVoices);
    return voices == 1 ? 65536 : 65534 / voices;
}

void VoiceEngine::setGainDb(double db) {
    gain_.store(gainFactor(db), std::memory_order_relaxed);
    autoGain_.store(false, std::memory_order_relaxed);
}

void VoiceEngine::setAutoGain() { autoGain_.store(true, std::memory_order_relaxed); }

// A voice back at its start: released and silent, its memories at rest.
void VoiceEngine::startVoice(Voice& v) {
    const SoundSnapshot& s = *snap_;
    Engine& e = v.engine;
    e.resetRunningState();
    e.midiRun = silentRun();
    e.random = s.random;
    e.renderPosition = 0;
    v.timbre = s.timbre;
    v.units = s.units;
    v.queue.reset();
    v.head = v.count = 0;
    v.lastEffect = INT64_MIN;
    v.used = v.held = false;
    v.mutedFrom = INT64_MAX;
    v.struck = v.released = 0;
    adoptVoice(v, s);
}

// The snapshot's settings into a voice's engine; the running state (the
// oscillators' phases, filters, rings, envelopes, generator) goes on.
void VoiceEngine::adoptVoice(Voice& v, const SoundSnapshot& s) {
    Engine& e = v.engine;
    e.sampleRate = s.sampleRate;
    e.gen = s.gen;
    e.gen.midiValue = controller_;
    e.customWave = s.customWave;
    e.tuning = s.tuning;
    e.sample1Ref = SoundBuffer{static_cast<int32_t>(s.sample1.size()), const_cast<int16_t*>(s.sample1.data())};
    e.sample2Ref = SoundBuffer{static_cast<int32_t>(s.sample2.size()), const_cast<int16_t*>(s.sample2.data())};
    v.units = s.units;
    TimbreRecord t = s.timbre;
    for (size_t k = 0; k < 10; ++k) {
        OscillatorRecord& d = t.oscillators[k];
        OscillatorRecord& o = v.timbre.oscillators[k];
        d.cycleCount() = o.cycleCount();
        d.calmLevel() = o.calmLevel();
        d.calmInput() = o.calmInput();
        d.phaseAccumulator() = o.phaseAccumulator();
    }
    v.timbre = t;
}

void VoiceEngine::adopt(const SoundSnapshot* s) {
    if (s->gen.midiValue != lastSnapValue_) {
        // The window moved the controller values: they win over the last CC.
        controller_ = s->gen.midiValue;
        lastSnapValue_ = s->gen.midiValue;
    }
    for (auto& v : voice_) adoptVoice(*v, *s);
    snap_ = s;
}

void VoiceEngine::reset() {
    snap_ = slot_.acquire();
    activeVoices_ = voices();
    for (auto& v : voice_) startVoice(*v);
    position_ = 0;
    counter_ = 0;
    lastVoice_ = -1;
    warning_[0] = 0;
}

bool VoiceEngine::midi(int32_t offset, const uint8_t* bytes, size_t size) {
    if (!bytes || size == 0 || size > 3) return false;
    uint32_t m = 0;
    for (size_t i = 0; i < size; ++i) m |= uint32_t{bytes[i]} << (8 * i);
    return midi(offset, m);
}

bool VoiceEngine::midi(int32_t offset, uint32_t m) {
    const uint32_t kind = m & 0xF0;
    const auto data1 = static_cast<uint8_t>((m >> 8) & 0x7F);
    const auto data2 = static_cast<uint8_t>((m >> 16) & 0x7F);
    const int64_t stamp = position_ + std::max(offset, 0) - 1;
    const int n = syncVoices();
    ++counter_;
    if (kind == 0x90 && data2 != 0) {
        // A free voice (never used), else the one released longest ago, else
        // the one struck earliest.
        int pick = -1;
        for (int i = 0; i < n && pick < 0; ++i)
            if (!voice_[static_cast<size_t>(i)]->used) pick = i;
        if (pick < 0)
            for (int i = 0; i < n; ++i) {
                const Voice& v = *voice_[static_cast<size_t>(i)];
                if (!v.held && (pick < 0 || v.released < voice_[static_cast<size_t>(pick)]->released)) pick = i;
            }
        if (pick < 0) {
            pick = 0;
            for (int i = 1; i < n; ++i)
                if (voice_[static_cast<size_t>(i)]->struck < voice_[static_cast<size_t>(pick)]->struck) pick = i;
        }
        Voice& v = *voice_[static_cast<size_t>(pick)];
        lastVoice_ = pick;
        v.used = v.held = true;
        v.note = data1;
        v.struck = counter_;
        v.released = 0;
        return v.push(stamp, 0x90u | uint32_t{data1} << 8 | uint32_t{data2} << 16);
    }
    if (kind == 0x80 || kind == 0x90) {
        Voice* pick = nullptr;
        lastVoice_ = -1;
        for (int i = 0; i < n; ++i) {
            Voice& v = *voice_[static_cast<size_t>(i)];
            if (v.held && v.note == data1 && (!pick || v.struck < pick->struck)) {
                pick = &v;
                lastVoice_ = i;
            }
        }
        if (!pick) return false;  // as the monophonic input drops a release of another note
        pick->held = false;
        pick->released = counter_;
        return pick->push(stamp, 0x90u | uint32_t{data1} << 8);
    }
    if (kind != 0xB0) return false;
    if (data1 == 120 || data1 == 123) {
        // All notes off releases every held voice at that sample; all sound
        // off also silences them from the block it falls in until their next note.
        bool ok = true;
        for (auto& vp : voice_) {
            Voice& v = *vp;
            if (data1 == 120) v.mutedFrom = std::min(v.mutedFrom, stamp + 1);
            if (!v.held) continue;
            v.held = false;
            v.released = counter_;
            ok = v.push(stamp, 0x90u | uint32_t{v.note} << 8) && ok;
        }
        return ok;
    }
    // Controller values count from the block they take effect in.
    bool any = false;
    for (size_t k = 0; k < 2; ++k)
        if (data1 == snap_->controllerNumbers[k]) {
            controller_[k] = data2;
            any = true;
        }
    for (auto& v : voice_) v->engine.gen.midiValue = controller_;
    return any;
}

// Hands each voice's entries to its queue before the block they take effect
// in: at the first sample after the stamp and after the entry before it (the
// engine takes at most one entry per sample). Later ones wait.
void VoiceEngine::applyPending(int32_t frames) {
    const int64_t start = position_, end = position_ + frames;
    for (auto& vp : voice_) {
        Voice& v = *vp;
        int pushed = 0;
        while (v.count > 0 && pushed < MidiQueue::kSize - 1) {
            const MidiEvent& e = v.pending[static_cast<size_t>(v.head)];
            const int64_t effect = std::max({int64_t{e.time} + 1, v.lastEffect + 1, start});
            if (effect >= end) break;
            if (e.velocity() != 0 && int64_t{e.time} + 1 >= v.mutedFrom) v.mutedFrom = INT64_MAX;
            v.queue.push(e.time, e.message);
            v.lastEffect = effect;
            v.head = (v.head + 1) % kPending;
            --v.count;
            ++pushed;
        }
    }
}

int VoiceEngine::syncVoices() {
    const int n = voices();
    if (n != activeVoices_) {
        // Voices leaving the count are released; voices joining start afresh.
        for (int i = std::min(n, activeVoices_); i < std::max(n, activeVoices_); ++i)
            startVoice(*voice_[static_cast<size_t>(i)]);
        activeVoices_ = n;
    }
    return n;
}

void VoiceEngine::renderVoices(int32_t frames) {
    const SoundSnapshot* s = slot_.acquire();
    if (s != snap_) adopt(s);
    const int n = syncVoices();
    applyPending(frames);
    std::fill_n(wide_.begin(), frames, 0);
    for (int i = 0; i < n; ++i) {
        Voice& v = *voice_[static_cast<size_t>(i)];
        SoundBuffer b{frames, v.out.data()};
        clearSound(b);
        v.engine.progress = nullptr;
        v.engine.renderPosition = static_cast<int32_t>(position_);
        v.engine.followerOctaveDown = octaveDown_.load(std::memory_order_relaxed);
        v.engine.renderTimbre(b, v.timbre, true);
        if (!v.engine.lastUnitError.ok && warning_[0] == 0) {
            const std::string& m = v.engine.lastUnitError.message;
            const size_t len = std::min(m.size(), warning_.size() - 1);
            std::memcpy(warning_.data(), m.data(), len);
            warning_[len] = 0;
        }
        if (v.mutedFrom < position_ + frames) continue;
        for (int32_t j = 0; j < frames; ++j) wide_[static_cast<size_t>(j)] += v.out[static_cast<size_t>(j)];
    }
    position_ += frames;
}

void VoiceEngine::renderWide(int32_t* out, int32_t frames) {
    frames = std::clamp(frames, 0, maxBlock_);
    if (frames == 0) return;
    renderVoices(frames);
    std::copy_n(wide_.begin(), frames, out);
}

int32_t VoiceEngine::render(int16_t* out, int32_t frames) {
    frames = std::clamp(frames, 0, maxBlock_);
    if (frames == 0) return 0;
    renderVoices(frames);
    const int64_t g = autoGain_.load(std::memory_order_relaxed) ? autoGainFactor(activeVoices_)
                                                                : gain_.load(std::memory_order_relaxed);
    int32_t clipped = 0;
    for (int32_t j = 0; j < frames; ++j) {
        const int64_t w = wide_[static_cast<size_t>(j)];
        const int64_t y = g == 65536 ? w : roundShiftHalfEven(w * g, 16);
        const auto c = static_cast<int16_t>(clampSample(y));
        clipped += (c == kSampleMax || c == -kSampleMax) ? 1 : 0;
        out[j] = c;
    }
    return clipped;
}

}  // namespace kf
