// The session's render driver: a render request, the snapshot a render
// works on, the render itself, and "Normalize".
#include <algorithm>
#include <string_view>

#include "core/session.h"
#include "core/sound_length.h"
#include "engine/arith.h"
#include "engine/byte_io.h"
#include "files/preset.h"

namespace kf {

int32_t SessionCore::wantedCapacity() const {
    int64_t units = int64_t{panel_.length} + panel_.additionalSilence;
    int64_t cap = std::clamp<int64_t>(units * 1024, 16384, (int64_t{kMaxLengthUnits} + 256) * 1024);
    return static_cast<int32_t>(cap);
}

void SessionCore::reallocIfNeeded() {
    int32_t want = wantedCapacity();
    if (want != engine_.capacity()) engine_.allocate(want);
}

CurveSources SessionCore::curveSources() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    initEnvelopers();
    return CurveSources{gen_, sampleRate(), random_, units_};
}

void SessionCore::initEnvelopers() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (int e = 0; e < 3; ++e) {
        EnvelopeParams& p = gen_.env[static_cast<size_t>(e)];
        p.attack = envelopeBars_.at(e, 0);
        p.sustain = envelopeBars_.at(e, 1);
        p.release = envelopeBars_.at(e, 2);
        p.amplitude = envelopeBars_.at(e, 3) * 32;
        p.base = envelopeBars_.at(e, 4) * 32;
        p.shape = envelopeBars_.at(e, 5);
        p.iterations = envelopeBars_.at(e, 6);
    }
    auto lfo = [](LfoParams& p, int32_t f, int32_t ph, int32_t amp, int32_t base, uint8_t shape) {
        p.frequency = f;
        p.phase = ph;
        p.amplitude = amp * 4;
        p.base = base * 128;
        p.form = shape;
    };
    lfo(gen_.lfo[0], panel_.lfo1Frequency, panel_.lfo1Phase, panel_.lfo1Amplitude, panel_.lfo1Base, panel_.lfo1Shape);
    lfo(gen_.lfo[1], panel_.lfo2Frequency, panel_.lfo2Phase, panel_.lfo2Amplitude, panel_.lfo2Base, panel_.lfo2Shape);
    gen_.noise.frequency = panel_.noiseFrequency;
    gen_.noise.amplitude = panel_.noiseAmplitude * 8;
    gen_.noise.base = panel_.noiseBase * 128;
    auto menv = [](MidiEnvelopeParams& p, int32_t a, int32_t d, int32_t s, int32_t r, int32_t amp) {
        p.attack = a;
        p.decay = d;
        p.sustain = s * 256;
        p.release = r;
        p.amplitude = amp;
    };
    menv(gen_.midiEnv[0], panel_.midiEnv1Attack, panel_.midiEnv1Decay, panel_.midiEnv1Sustain,
         panel_.midiEnv1Release, panel_.midiEnv1Amplitude);
    menv(gen_.midiEnv[1], panel_.midiEnv2Attack, panel_.midiEnv2Decay, panel_.midiEnv2Sustain,
         panel_.midiEnv2Release, panel_.midiEnv2Amplitude);
    gen_.graph = envelopeGraph_.data();
    getOscillatorParams();
}

void SessionCore::startUpRender() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    renderRequested_ = true;
    generateSoundBuf();
}

void SessionCore::generateSoundBuf() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (loadingCount_ > 0) return;
    captureTimbre(timbres_[static_cast<size_t>(currentTimbre_)]);
    if (!autoRender_ && !renderRequested_) return;
    if (realTimeMark_) {
        initEnvelopers();
        return;
    }
    renderer_.request();
}

Status SessionCore::renderClick() {
    if (Status st = liveModeRefusal("Render"); !st) return st;
    stopRender();
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    renderRequested_ = true;
    generateSoundBuf();
    return Status::success();
}

void SessionCore::waitForRender() { renderer_.waitIdle(); }

void SessionCore::stopRender() {
    renderer_.stop();
    progress_ = 6;
    renderingLight_ = false;
}

void SessionCore::renderBackground() { renderLocked(); }

void SessionCore::renderNow() {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        renderRequested_ = false;
    }
    renderLocked();
}

// Everything a render takes from the session besides the timbre: generator
// parameters, controller values, custom wave, tables, units and samples.
// Called under mutex_ with engineMutex_ held.
void SessionCore::prepareEngine() {
    reallocIfNeeded();
    prepareEngineInto(engine_);
    engine_.midiQueue = &midiQueue_;
}

void SessionCore::prepareEngineInto(Engine& e) {
    initEnvelopers();
    e.gen = gen_;
    for (size_t k = 0; k < 2; ++k) {
        e.gen.midiValue[k] = midi_.value[k].load();
        e.gen.midiSensitivity[k] = midi_.sensitivity[k].load();
    }
    e.initCustomWaveForm(waveFormGraph_.data());
    e.sampleRate = ratePosition_ * 5;
    e.random = random_;
    e.tuning = tuning_;
    auto scheme = std::make_shared<SoundScheme>(units_);
    e.sequencerFrequency = [scheme](SoundBuffer& b, int32_t start, int32_t total) {
        return scheme->frequencySequencer().process(b, b.count, start, total, *scheme);
    };
    e.sequencerEnvelope = [scheme](SoundBuffer& b, int32_t start, int32_t total) {
        return scheme->envelopeSequencer().process(b, b.count, start, total, *scheme);
    };
    SoundBuffer v1 = sample1_.view(), v2 = sample2_.view();
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
// and the generator state. Called under mutex_ after prepareEngine.
std::string SessionCore::bankKey(const TimbreRecord& t) const {
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
    appendInts(key, {e.sampleRate, static_cast<int64_t>(tuning_.scale()), e.random.seed});
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
    for (const SoundUnit* u : {static_cast<const SoundUnit*>(&units_.noteSequencer()),
                               static_cast<const SoundUnit*>(&units_.frequencySequencer()),
                               static_cast<const SoundUnit*>(&units_.envelopeSequencer())}) {
        const std::vector<uint8_t> b = u->block();
        key.append(b.begin(), b.end());
    }
    return key;
}

void SessionCore::renderLocked() {
    std::lock_guard<std::mutex> engineLock(engineMutex_);
    TimbreRecord timbre;
    int index = 0;
    int32_t previousCount = 0;
    bool changed = false;
    int32_t count = 0;
    int32_t rate = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        renderRequested_ = false;
        previousCount = playBuffer_.count();
        renderingLight_ = true;
        progress_ = 0;
        prepareEngine();
        // An ordinary render starts from rest and reads no live MIDI, as in
        // a freshly started program: its sound follows from the state alone.
        engine_.midiQueue = nullptr;
        engine_.resetRunningState();
        count = static_cast<int32_t>(std::clamp<int64_t>(int64_t{panel_.length} * 1024, 0, engine_.capacity()));
        progress_ = 1;
        TimbreRecord& cur = timbres_[static_cast<size_t>(currentTimbre_)];
        for (auto& o : cur.oscillators) o.resetState();
        cur.renderLength = count;
        changed = oscillatorsChanged_;
        oscillatorsChanged_ = false;
        timbre = cur;
        timbre.realTime = 0;  // the live mode never turns an offline render into a stream block
        index = currentTimbre_;
        rate = engine_.sampleRate;
        engine_.bankKey = bankKey(timbre);
    }
    notify(Change::RenderStarted);
    // The chain overwrites every sample it renders; only the size must follow the capacity.
    if (renderBuffer_.size() != static_cast<size_t>(engine_.capacity()))
        renderBuffer_.assign(static_cast<size_t>(engine_.capacity()), 0);
    SoundBuffer target{count, renderBuffer_.data()};
    engine_.progress = [this](int p) {
        progress_ = p;
        notify(Notification{Change::RenderProgress, ParamId::Count, static_cast<long double>(p)});
    };
    engine_.renderTimbre(target, timbre, changed);
    PlaybackControl* playback = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        writeBackOscillatorState(timbres_[static_cast<size_t>(index)], timbre);
        random_ = engine_.random;
        lastError_ = engine_.lastUnitError;
        playback = playback_;
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
    notify(Change::RenderFinished);
}

void SessionCore::setRenderThreads(int threads) {
    renderer_.waitIdle();
    std::lock_guard<std::mutex> engineLock(engineMutex_);
    engine_.speed.threads = std::max(threads, 0);
}

Status SessionCore::lastError() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return lastError_;
}

NormalizeStep normalizeStep(int32_t position, int32_t peak) {
    if (peak > 32700) {
        // Nothing left to halve: stop instead of looping forever.
        if (position == 0) return {position, false, false};
        return {position / 2, true, true};
    }
    if (peak > 0 && peak < 30000)
        return {std::clamp(roundToInt32(static_cast<long double>(position) * 32767 / peak + 1), 0, 256), true, false};
    return {position, false, false};
}

void SessionCore::normalize() {
    recordStep("Normalize");
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
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        const NormalizeStep step = normalizeStep(panel_.oscillatorsVolume, peak);
        if (!step.changed) break;
        panel_.oscillatorsVolume = step.position;
        notify(Notification{Change::Param, ParamId::OscillatorsVolume, static_cast<long double>(step.position)});
        // The scroll bar's own change handler: the oscillators must be rendered anew.
        oscillatorsChanged_ = true;
        captureTimbre(timbres_[static_cast<size_t>(currentTimbre_)]);
        if (!step.again) break;
    }
    generateSoundBuf();
}

}  // namespace kf
