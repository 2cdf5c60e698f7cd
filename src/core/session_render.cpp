// The session's render driver: a render request, the copy of the state a
// render works on, the render itself, the buffers' size and "Normalize".
#include <algorithm>
#include <string_view>

#include "core/session.h"
#include "core/session_state.h"
#include "core/sound_length.h"
#include "engine/arith.h"
#include "engine/byte_io.h"
#include "files/preset.h"

namespace kf {

using Lock = SessionState::Lock;

RenderDriver::RenderDriver(SessionState& st, Session& s)
    : st_(st), s_(s), renderer_([this] { renderOnce(); }) {
    Lock lock(st_.mutex);
    engine_.allocate(wantedCapacity());
}

RenderDriver::~RenderDriver() { renderer_.stop(); }

// The buffers the length and additional silence need (under the lock).
int32_t RenderDriver::wantedCapacity() const {
    int64_t units = int64_t{st_.panel.length} + st_.panel.additionalSilence;
    int64_t cap = std::clamp<int64_t>(units * 1024, 16384, (int64_t{kMaxLengthUnits} + 256) * 1024);
    return static_cast<int32_t>(cap);
}

void RenderDriver::reallocIfNeeded() {
    int32_t want = wantedCapacity();
    if (want != engine_.capacity()) engine_.allocate(want);
}

CurveSources RenderDriver::curveSources() {
    Lock lock(st_.mutex);
    st_.initEnvelopers();
    return CurveSources{st_.gen, st_.sampleRate(), st_.random, st_.units};
}

void RenderDriver::startUpRender() {
    st_.write(st_.renderRequested, true);
    generateSoundBuf();
}

void RenderDriver::generateSoundBuf() {
    Lock lock(st_.mutex);
    if (st_.loadingCount > 0) return;
    st_.captureTimbre(st_.current());
    if (!st_.autoRender && !st_.renderRequested) return;
    if (st_.realTimeMark) {
        st_.initEnvelopers();
        return;
    }
    renderer_.request();
}

Status RenderDriver::renderClick() {
    if (Status st = s_.live().liveModeRefusal("Render"); !st) return st;
    stopRender();
    st_.write(st_.renderRequested, true);
    generateSoundBuf();
    return Status::success();
}

bool RenderDriver::autoRender() const { return st_.read(st_.autoRender); }

void RenderDriver::setAutoRender(bool on) { st_.write(st_.autoRender, on); }

void RenderDriver::resizeSound(ParamId id, long double v, bool always) {
    PlaybackControl* playback = st_.playback;
    const bool wasPlaying = playback && playback->playing();
    if (playback) playback->stopClick();
    stopRender();
    {
        Lock lock(st_.mutex);
        if (!st_.writeParam(id, v) && !always) return;
        reallocIfNeeded();
        st_.oscillatorsChanged = true;
    }
    st_.notify(Notification{Change::Param, id, v});
    generateSoundBuf();
    if (wasPlaying && playback) playback->playClick();
}

void RenderDriver::waitForRender() { renderer_.waitIdle(); }

void RenderDriver::stopRender() {
    renderer_.stop();
    progress_ = 6;
    renderingLight_ = false;
}

void RenderDriver::renderNow() {
    st_.write(st_.renderRequested, false);
    renderOnce();
}

// Everything a render takes from the session besides the timbre: generator
// parameters, controller values, custom wave, tables, units and samples.
// Called under the session lock with engineMutex_ held.
void RenderDriver::prepareEngine() {
    reallocIfNeeded();
    Engine& e = engine_;
    st_.initEnvelopers();
    e.gen = st_.gen;
    for (size_t k = 0; k < 2; ++k) {
        e.gen.midiValue[k] = st_.midi.value[k].load();
        e.gen.midiSensitivity[k] = st_.midi.sensitivity[k].load();
    }
    e.initCustomWaveForm(st_.waveFormGraph.data());
    e.sampleRate = st_.sampleRate();
    e.random = st_.random;
    e.tuning = st_.tuning;
    auto scheme = std::make_shared<SoundScheme>(st_.units);
    e.sequencerFrequency = [scheme](SoundBuffer& b, int32_t start, int32_t total) {
        return scheme->frequencySequencer().process(b, b.count, start, total, *scheme);
    };
    e.sequencerEnvelope = [scheme](SoundBuffer& b, int32_t start, int32_t total) {
        return scheme->envelopeSequencer().process(b, b.count, start, total, *scheme);
    };
    SoundBuffer v1 = st_.sample1.view(), v2 = st_.sample2.view();
    e.sample1Data.assign(v1.samples, v1.samples + std::max(v1.count, 0));
    e.sample2Data.assign(v2.samples, v2.samples + std::max(v2.count, 0));
}

namespace {

void appendInts(std::string& key, std::initializer_list<int64_t> values) {
    for (int64_t v : values) key.append(reinterpret_cast<const char*>(&v), sizeof v);
}

void appendCurve(std::string& key, const CurveData& c) {
    appendInts(key, {c.count});
    for (const CurvePoint& p : c.points) appendInts(key, {p.x, p.y});
}

}  // namespace

// Everything the filtered oscillators are made of: the oscillators, the
// generators they can read, the custom wave, samples, tuning, units, rate
// and the generator state. Called under the session lock after prepareEngine.
std::string RenderDriver::bankKey(const TimbreRecord& t) const {
    std::string key;
    key.reserve(4096);
    for (const OscillatorRecord& o : t.oscillators) {
        OscillatorImage img;
        writeOscillator(o, img.data());
        key.append(reinterpret_cast<const char*>(img.data()), img.size());
    }
    appendInts(key, {t.oscillatorsVolume, t.oscillatorsCalm, t.chordActive, t.renderLength, t.realTime});
    key.append(reinterpret_cast<const char*>(t.chord.data()), t.chord.size());
    const Engine& e = engine_;
    appendInts(key, {e.sampleRate, static_cast<int64_t>(st_.tuning.scale()), e.random.seed});
    for (const std::vector<int16_t>* d : {&e.sample1Data, &e.sample2Data}) {
        const std::string_view bytes(reinterpret_cast<const char*>(d->data()), d->size() * sizeof(int16_t));
        appendInts(key, {static_cast<int64_t>(d->size()), static_cast<int64_t>(std::hash<std::string_view>{}(bytes))});
    }
    for (const EnvelopeParams& p : e.gen.env)
        appendInts(key, {p.attack, p.sustain, p.release, p.amplitude, p.base, p.shape, p.iterations});
    for (const LfoParams& p : e.gen.lfo) appendInts(key, {p.frequency, p.amplitude, p.base, p.phase, p.form});
    appendInts(key, {e.gen.noise.frequency, e.gen.noise.amplitude, e.gen.noise.base});
    for (const MidiEnvelopeParams& p : e.gen.midiEnv)
        appendInts(key, {p.attack, p.decay, p.release, p.sustain, p.amplitude});
    appendInts(key, {e.gen.midiValue[0], e.gen.midiValue[1], e.gen.midiSensitivity[0], e.gen.midiSensitivity[1]});
    appendCurve(key, e.gen.graph);
    key.append(reinterpret_cast<const char*>(e.customWave.data()), e.customWave.size() * sizeof(int16_t));
    for (const SoundUnit* u : {static_cast<const SoundUnit*>(&st_.units.noteSequencer()),
                               static_cast<const SoundUnit*>(&st_.units.frequencySequencer()),
                               static_cast<const SoundUnit*>(&st_.units.envelopeSequencer())}) {
        const std::vector<uint8_t> b = u->block();
        key.append(b.begin(), b.end());
    }
    return key;
}

void RenderDriver::renderOnce() {
    std::lock_guard<std::mutex> engineLock(engineMutex_);
    TimbreRecord timbre;
    int index = 0;
    int32_t previousCount = 0;
    bool changed = false;
    int32_t count = 0;
    int32_t rate = 0;
    {
        Lock lock(st_.mutex);
        st_.renderRequested = false;
        previousCount = playBuffer_.count();
        renderingLight_ = true;
        progress_ = 0;
        prepareEngine();
        // An ordinary render starts from rest and reads no live MIDI, as in
        // a freshly started program: its sound follows from the state alone.
        engine_.midiQueue = nullptr;
        engine_.resetRunningState();
        count = static_cast<int32_t>(std::clamp<int64_t>(int64_t{st_.panel.length} * 1024, 0, engine_.capacity()));
        progress_ = 1;
        TimbreRecord& cur = st_.current();
        for (auto& o : cur.oscillators) o.resetState();
        cur.renderLength = count;
        changed = st_.oscillatorsChanged;
        st_.oscillatorsChanged = false;
        timbre = cur;
        timbre.realTime = 0;  // the live mode never turns an offline render into a stream block
        index = st_.currentTimbre;
        rate = engine_.sampleRate;
        engine_.bankKey = bankKey(timbre);
    }
    st_.notify(Change::RenderStarted);
    // The chain overwrites every sample it renders; only the size must follow the capacity.
    if (renderBuffer_.size() != static_cast<size_t>(engine_.capacity()))
        renderBuffer_.assign(static_cast<size_t>(engine_.capacity()), 0);
    SoundBuffer target{count, renderBuffer_.data()};
    engine_.progress = [this](int p) {
        progress_ = p;
        st_.notify(Notification{Change::RenderProgress, ParamId::Count, static_cast<long double>(p)});
    };
    engine_.renderTimbre(target, timbre, changed);
    PlaybackControl* playback = nullptr;
    {
        Lock lock(st_.mutex);
        writeBackOscillatorState(st_.timbres[static_cast<size_t>(index)], timbre);
        st_.random = engine_.random;
        lastError_ = engine_.lastUnitError;
        playback = st_.playback;
    }
    bool restart = false;
    if ((target.count != previousCount || rate != playBuffer_.rate()) && playback) {
        restart = playback->playing();
        playback->stopClick();
    }
    playBuffer_.assign(target.samples, target.count, rate);
    if (restart) playback->playClick();
    OverdriveCheck od = checkIfOverdriven(target.samples, target.count);
    clip_ = od.clip;
    meterLevel_ = od.level;
    renderingLight_ = false;
    st_.notify(Change::RenderFinished);
}

void RenderDriver::setRenderThreads(int threads) {
    renderer_.waitIdle();
    std::lock_guard<std::mutex> engineLock(engineMutex_);
    engine_.speed.threads = std::max(threads, 0);
}

int RenderDriver::progress() const { return progress_; }
bool RenderDriver::renderingLight() const { return renderingLight_; }
bool RenderDriver::clip() const { return clip_; }
int32_t RenderDriver::meterLevel() const { return meterLevel_; }
PlayBuffer& RenderDriver::playBuffer() { return playBuffer_; }
const PlayBuffer& RenderDriver::playBuffer() const { return playBuffer_; }

uint32_t RenderDriver::seed() const { return st_.read(st_.random.seed); }

void RenderDriver::setSeed(uint32_t seed) { st_.write(st_.random.seed, seed); }

void RenderDriver::scaleChanged(Scale s) {
    if (s != scale()) s_.history().recordStep("Scale");
    {
        Lock lock(st_.mutex);
        st_.tuning.build(s);
        st_.oscillatorsChanged = true;
        st_.notifyLocked(
            Notification{Change::Param, ParamId::OscFrequency, static_cast<long double>(st_.oscPanel.frequency)});
    }
    generateSoundBuf();
}

Scale RenderDriver::scale() const {
    Lock lock(st_.mutex);
    return st_.tuning.scale();
}

NoteTables RenderDriver::tuning() const { return st_.read(st_.tuning); }

Status RenderDriver::lastError() const { return st_.read(lastError_); }

NormalizeStep normalizeStep(int32_t position, int32_t peak) {
    if (peak > 32700) {
        // Nothing left to halve: stop instead of looping forever.
        if (position == 0) return {position, false, false};
        return {position / 2, true, true};
    }
    if (peak > 0 && peak < 30000)
        return {std::clamp(roundToInt32(static_cast<long double>(position) * kSampleMax / peak + 1), 0, 256), true, false};
    return {position, false, false};
}

void RenderDriver::normalize() {
    s_.history().recordStep("Normalize");
    stopRender();
    for (;;) {
        renderNow();
        std::vector<int16_t> s = playBuffer_.copy();
        int32_t peak = 0;
        for (int16_t v : s) {
            // Magnitude as a 16-bit value: -32768 stays negative and never counts.
            int32_t m = static_cast<int16_t>(v < 0 ? static_cast<int16_t>(-v) : v);
            peak = std::max(peak, m);
            if (peak >= 32700) break;
        }
        Lock lock(st_.mutex);
        const NormalizeStep step = normalizeStep(st_.panel.oscillatorsVolume, peak);
        if (!step.changed) break;
        st_.panel.oscillatorsVolume = step.position;
        st_.notifyLocked(
            Notification{Change::Param, ParamId::OscillatorsVolume, static_cast<long double>(step.position)});
        // The scroll bar's own change handler: the oscillators must be rendered anew.
        st_.oscillatorsChanged = true;
        st_.captureTimbre(st_.current());
        if (!step.again) break;
    }
    generateSoundBuf();
}

}  // namespace kf
