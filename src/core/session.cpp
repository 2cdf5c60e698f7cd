#include "core/session.h"

#include <algorithm>
#include <cmath>

#include "engine/arith.h"
#include "engine/oscillator.h"
#include "core/sound_length.h"

namespace kf {

namespace {

uint8_t flag(uint8_t v) { return v ? 1 : 0; }

// Copies every control-held field of the timbre-level controls, in the
// record's order; render length, oscillators and reserved bytes are not
// controls and stay as they are in `to`.
void copyControlFields(const TimbreRecord& f, TimbreRecord& t) {
    t.lfo1Frequency = f.lfo1Frequency; t.lfo1Base = f.lfo1Base; t.lfo1Amplitude = f.lfo1Amplitude;
    t.lfo1Shape = f.lfo1Shape;
    t.lfo2Frequency = f.lfo2Frequency; t.lfo2Base = f.lfo2Base; t.lfo2Amplitude = f.lfo2Amplitude;
    t.lfo2Shape = f.lfo2Shape;
    t.noiseFrequency = f.noiseFrequency; t.noiseBase = f.noiseBase; t.noiseAmplitude = f.noiseAmplitude;
    t.resonanceFrequencyModulation = f.resonanceFrequencyModulation;
    t.cutOffMode = f.cutOffMode == 1 ? 1 : 0;
    t.cutOffModulation = f.cutOffModulation;
    t.resonanceFrequency = f.resonanceFrequency; t.resonanceVolume = f.resonanceVolume;
    t.resonanceCalmingSpeed = f.resonanceCalmingSpeed;
    t.chorusVolume = f.chorusVolume;
    t.length = f.length;
    t.resonanceActive = flag(f.resonanceActive); t.cutOffActive = flag(f.cutOffActive);
    t.cutOff = f.cutOff;
    t.averageFilterWindowWidth = f.averageFilterWindowWidth;
    t.averageFilterTrebleVolume = f.averageFilterTrebleVolume;
    t.averageFilterBassVolume = f.averageFilterBassVolume;
    t.oscillatorsVolume = f.oscillatorsVolume;
    t.waveFormGraph = f.waveFormGraph;
    t.feedBackActive = flag(f.feedBackActive);
    t.feedBackVolume = f.feedBackVolume; t.feedBackDelay = f.feedBackDelay;
    t.additionalSilence = f.additionalSilence;
    t.feedBackCyclic = flag(f.feedBackCyclic);
    t.mainVolume = f.mainVolume; t.preOverdrive = f.preOverdrive; t.postOverdrive = f.postOverdrive;
    t.wrapOverdrive = f.wrapOverdrive;
    t.wrapOverdriveActive = flag(f.wrapOverdriveActive);
    t.volumeModulation = f.volumeModulation;
    t.feedBackDecay = f.feedBackDecay; t.feedBackCutOff = f.feedBackCutOff;
    t.windowFilterActive = flag(f.windowFilterActive);
    t.fwWindowPos = f.fwWindowPos; t.fwWindowWidth = f.fwWindowWidth;
    t.envelopeGraph = f.envelopeGraph;
    t.lfo1Phase = f.lfo1Phase; t.lfo2Phase = f.lfo2Phase;
    t.tempo = f.tempo;
    t.sample1StartPos = f.sample1StartPos; t.sample2StartPos = f.sample2StartPos;
    t.chordActive = flag(f.chordActive);
    t.midiEnv1Attack = f.midiEnv1Attack; t.midiEnv1Decay = f.midiEnv1Decay;
    t.midiEnv1Sustain = f.midiEnv1Sustain; t.midiEnv1Release = f.midiEnv1Release;
    t.flangerActive = flag(f.flangerActive);
    t.flangerMinDelay = f.flangerMinDelay; t.flangerMaxDelay = f.flangerMaxDelay;
    t.flangerRate = f.flangerRate;
    t.flangerInvert = flag(f.flangerInvert);
    t.flangerCrossFade = f.flangerCrossFade;
    t.chorusActive = flag(f.chorusActive);
    t.chorusVoices = f.chorusVoices; t.chorusMaxDelay = f.chorusMaxDelay;
    t.midiEnv2Attack = f.midiEnv2Attack; t.midiEnv2Decay = f.midiEnv2Decay;
    t.midiEnv2Sustain = f.midiEnv2Sustain; t.midiEnv2Release = f.midiEnv2Release;
    t.midiEnv1Amplitude = f.midiEnv1Amplitude; t.midiEnv2Amplitude = f.midiEnv2Amplitude;
    t.averageFilterActive = flag(f.averageFilterActive);
    t.oscillatorsCalm = flag(f.oscillatorsCalm);
    t.chorusVibratoRate = f.chorusVibratoRate;
    t.resonanceDependence = f.resonanceDependence;
    t.reverbActive = flag(f.reverbActive);
    t.reverbDryVolume = f.reverbDryVolume; t.reverbWetVolume = f.reverbWetVolume;
    t.reverbLength = f.reverbLength; t.reverbAttack = f.reverbAttack; t.reverbCutOff = f.reverbCutOff;
}

// The oscillators' running state stays in the record, as a render leaves it.
void writeBackOscillatorState(TimbreRecord& dst, TimbreRecord& src) {
    for (size_t k = 0; k < 10; ++k) {
        OscillatorRecord& d = dst.oscillators[k];
        OscillatorRecord& s = src.oscillators[k];
        d.cycleCount() = s.cycleCount();
        d.calmLevel() = s.calmLevel();
        d.calmInput() = s.calmInput();
        d.phaseAccumulator() = s.phaseAccumulator();
    }
}

// The controls hold positions within their ranges only, as scroll bars do:
// a value from a damaged file lands on the nearest end when it is pushed
// into its control.
void clampToControls(TimbreRecord& t) {
    auto c = [](auto& v, int32_t lo, int32_t hi) {
        v = static_cast<std::remove_reference_t<decltype(v)>>(std::clamp<int32_t>(v, lo, hi));
    };
    c(t.lfo1Frequency, 0, 1600); c(t.lfo1Base, -256, 256); c(t.lfo1Amplitude, 0, 8192); c(t.lfo1Phase, 0, 256);
    c(t.lfo2Frequency, 0, 1600); c(t.lfo2Base, -256, 256); c(t.lfo2Amplitude, 0, 8192); c(t.lfo2Phase, 0, 256);
    c(t.noiseFrequency, 0, 8820); c(t.noiseBase, -256, 256); c(t.noiseAmplitude, 0, 4096);
    c(t.resonanceFrequency, 0, 8000); c(t.resonanceVolume, 0, 512); c(t.resonanceCalmingSpeed, 0, 1024);
    c(t.resonanceDependence, 0, 512);
    c(t.chorusVolume, 256, 1024); c(t.chorusVoices, 1, 20); c(t.chorusMaxDelay, 0, 500);
    c(t.chorusVibratoRate, 1, 10000);
    c(t.length, 1, INT32_MAX);  // number edits: a minimum, no maximum (memory limits the length)
    c(t.cutOff, 0, 255);
    c(t.averageFilterWindowWidth, 1, 100); c(t.averageFilterTrebleVolume, 0, 256);
    c(t.averageFilterBassVolume, 0, 256);
    c(t.oscillatorsVolume, 0, 256);
    c(t.feedBackVolume, 0, 256); c(t.feedBackDelay, 0, 4096); c(t.additionalSilence, 0, 256);
    c(t.feedBackDecay, 0, 256); c(t.feedBackCutOff, 0, 256);
    c(t.mainVolume, 0, 256); c(t.preOverdrive, 16, 256); c(t.postOverdrive, 16, 256); c(t.wrapOverdrive, 32, 256);
    c(t.fwWindowPos, 0, 256); c(t.fwWindowWidth, 1, 256);
    c(t.tempo, 0, INT32_MAX);  // a numeric edit: minimum 0, no fixed maximum
    c(t.sample1StartPos, 0, INT32_MAX); c(t.sample2StartPos, 0, INT32_MAX);
    c(t.midiEnv1Attack, 0, 256); c(t.midiEnv1Decay, 0, 256); c(t.midiEnv1Sustain, 0, 127);
    c(t.midiEnv1Release, 0, 256); c(t.midiEnv1Amplitude, 0, 32768);
    c(t.midiEnv2Attack, 0, 256); c(t.midiEnv2Decay, 0, 256); c(t.midiEnv2Sustain, 0, 127);
    c(t.midiEnv2Release, 0, 256); c(t.midiEnv2Amplitude, 0, 32768);
    c(t.flangerMinDelay, 0, 100); c(t.flangerMaxDelay, 0, 100); c(t.flangerRate, 0, 500);
    c(t.flangerCrossFade, 0, 256);
    c(t.reverbDryVolume, 0, 32767); c(t.reverbWetVolume, 0, 32767); c(t.reverbLength, 0, 2000);
    c(t.reverbAttack, 0, 600); c(t.reverbCutOff, 0, 256);
}

// Envelope bars: attack, sustain, release, amplitude, base, shape, iterations.
void clampEnvelopeBars(EnvelopeBars& e) {
    constexpr std::array<std::array<int32_t, 2>, 7> range{
        {{0, 1024}, {0, 1024}, {0, 1024}, {0, 1024}, {-1024, 1024}, {0, 512}, {1, 32}}};
    for (int env = 0; env < 3; ++env)
        for (int f = 0; f < 7; ++f)
            e.at(env, f) = std::clamp(e.at(env, f), range[static_cast<size_t>(f)][0], range[static_cast<size_t>(f)][1]);
}

bool isLfoShape(uint8_t s) { return s == 0 || s == 3 || s == 6; }

}  // namespace

Session::Session(uint32_t randomSeed) : renderer_([this] { renderBackground(); }) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    random.seed = randomSeed;
    tuning.buildTemperedScale();
    engine_.allocate(wantedCapacity());
    loadingCount = 0;
    presetName = "NoName";
    // Build the first timbre from the controls, give it the oscillator
    // defaults, and start both timbres identical.
    getTimbre(current());
    for (auto& o : current().oscillators) o = OscillatorRecord::defaults();
    timbres[1] = timbres[0];
    setOscillatorParams();
    sample1.load(findDefaultSample("16tone3.smp"), panel.sample1StartPos);
    sample2.load(findDefaultSample("16tone2.smp"), panel.sample2StartPos);
    renderRequested = true;
    generateSoundBuf();
    defaultPreset = getPreset();
    setPreset(defaultPreset);
    setTimbre(current());
}

Session::~Session() { renderer_.stop(); }

int Session::subscribe(Listener l) {
    std::lock_guard<std::mutex> lock(listenersMutex_);
    listeners_.emplace_back(nextListener_, std::move(l));
    return nextListener_++;
}

void Session::unsubscribe(int id) {
    std::lock_guard<std::mutex> lock(listenersMutex_);
    std::erase_if(listeners_, [id](const auto& p) { return p.first == id; });
}

void Session::notify(Change c) {
    std::vector<Listener> ls;
    {
        std::lock_guard<std::mutex> lock(listenersMutex_);
        for (auto& p : listeners_) ls.push_back(p.second);
    }
    for (auto& l : ls) l(c);
}

// ---------------------------------------------------------------------------
// Timbre <-> controls

void Session::getTimbre(TimbreRecord& rec) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    getOscillatorParams();
    panel.waveFormGraph = waveFormGraph.data();
    panel.envelopeGraph = envelopeGraph.data();
    copyControlFields(panel, rec);
    rec.setChordText(chordEdit);
    rec.realTime = realTimeMark ? 1 : 0;
}

void Session::setTimbre(const TimbreRecord& rec) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ++loadingCount;
    uint8_t lfo1 = panel.lfo1Shape, lfo2 = panel.lfo2Shape;
    copyControlFields(rec, panel);
    clampToControls(panel);
    // A shape code no radio button stands for leaves the radio group as it was.
    panel.lfo1Shape = isLfoShape(rec.lfo1Shape) ? rec.lfo1Shape : lfo1;
    panel.lfo2Shape = isLfoShape(rec.lfo2Shape) ? rec.lfo2Shape : lfo2;
    waveFormGraph.setData(rec.waveFormGraph);
    envelopeGraph.setData(rec.envelopeGraph);
    chordEdit = rec.chordText();
    realTimeMark = rec.realTime != 0;
    setOscillatorParams();
    --loadingCount;
    notify(Change::Timbre);
}

void Session::getOscillatorParams() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (loadingCount > 0) return;
    OscillatorRecord& o = current().oscillators[static_cast<size_t>(selectedOscillator)];
    for (size_t k = 0; k < 16; ++k) {
        o.harmonics[k].level = static_cast<uint16_t>(osc.harmonicLevels[k]);
        o.harmonics[k].detune = static_cast<uint16_t>(osc.harmonicDetunes[k]);
    }
    o.volume = osc.volume * 128;
    o.frequency = osc.frequency;
    o.relativeFrequency = osc.relativeFrequency;
    o.shape = osc.shape;
    o.phase = static_cast<uint16_t>(osc.phase);
    o.harmonicsActive = osc.harmonicsActive ? 1 : 0;
    auto setBit = [&o](uint8_t bit, bool on) { o.flags = static_cast<uint8_t>(on ? (o.flags | bit) : (o.flags & ~bit)); };
    setBit(kFlagFilter, osc.filter);
    setBit(kFlagMelodic, osc.melodic);
    setBit(kFlagInvert, osc.invert);
    setBit(kFlagRingMod, osc.ringMod);
    setBit(kFlagSync, osc.sync);
    setBit(kFlagPhaseMod, osc.phaseMod);
    setBit(kFlagFM, osc.fm);
    o.volumeModulation.sources = osc.volumeSources;
    o.frequencyModulation.sources = osc.frequencySources;
    o.shapeModulation.sources = osc.shapeSources;
    o.waveForm = waveListToCode(osc.waveList);
    for (size_t k = 0; k < 10; ++k) current().oscillators[k].active = activeLights[k] ? 1 : 0;
}

void Session::setOscillatorParams() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ++loadingCount;
    const OscillatorRecord& o = current().oscillators[static_cast<size_t>(selectedOscillator)];
    for (size_t k = 0; k < 16; ++k) {
        osc.harmonicLevels[k] = std::min<int32_t>(o.harmonics[k].level, 256);
        osc.harmonicDetunes[k] = std::min<int32_t>(o.harmonics[k].detune, 256);
    }
    osc.volume = std::clamp(o.volume / 128, 0, 256);
    osc.frequency = std::clamp(o.frequency, 0, 11025);
    osc.relativeFrequency = std::clamp(o.relativeFrequency, 0, 4000);
    osc.shape = std::clamp(o.shape, 0, 2048);
    osc.phase = std::clamp<int32_t>(o.phase, 0, 256);
    osc.harmonicsActive = o.harmonicsActive != 0;
    osc.filter = o.flags & kFlagFilter;
    osc.melodic = o.flags & kFlagMelodic;
    osc.invert = o.flags & kFlagInvert;
    osc.ringMod = o.flags & kFlagRingMod;
    osc.sync = o.flags & kFlagSync;
    osc.phaseMod = o.flags & kFlagPhaseMod;
    osc.fm = o.flags & kFlagFM;
    osc.volumeSources = o.volumeModulation.sources;
    osc.frequencySources = o.frequencyModulation.sources;
    osc.shapeSources = o.shapeModulation.sources;
    if (int pos = waveCodeToList(o.waveForm); pos >= 0) osc.waveList = pos;
    for (size_t k = 0; k < 10; ++k) activeLights[k] = current().oscillators[k].active != 0;
    panel.oscillatorsVolume = std::clamp(current().oscillatorsVolume, 0, 256);
    --loadingCount;
    notify(Change::Oscillator);
}

void Session::selectOscillator(int k) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (k < 0 || k > 9) return;
    getOscillatorParams();
    selectedOscillator = k;
    setOscillatorParams();
}

void Session::selectTimbre(int t) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (t < 0 || t > 1) return;
    getTimbre(current());
    currentTimbre = t;
    oscillatorsChanged = true;  // the cached oscillators belong to the other timbre
    setTimbre(current());
}

// ---------------------------------------------------------------------------
// Control reactions

void Session::timbreControlChanged() { generateSoundBuf(); }

void Session::oscillatorControlChanged() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    oscillatorsChanged = true;
    if (loadingCount > 0) return;
    getOscillatorParams();
    generateSoundBuf();
}

void Session::oscillatorsAffectingChanged() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    oscillatorsChanged = true;
    generateSoundBuf();
}

// Length and additional silence size the buffers: stop playback and the
// render, reallocate, render anew and play again if it was playing.
void Session::resizeSound(int32_t TimbreRecord::*field, int32_t value) {
    bool wasPlaying = playback && playback->playing();
    if (playback) playback->stopClick();
    stopRender();
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        panel.*field = value;
        reallocIfNeeded();
        oscillatorsChanged = true;
        generateSoundBuf();
    }
    if (wasPlaying && playback) playback->playClick();
}

Status Session::lengthChanged(int32_t length) {
    if (Status st = checkSoundLength(length); !st) return st;
    resizeSound(&TimbreRecord::length, std::max(length, 1));
    return Status::success();
}

void Session::additionalSilenceChanged(int32_t pos) { resizeSound(&TimbreRecord::additionalSilence, pos); }

void Session::sampleRateChanged(int32_t position) {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        frequencyScrollBar = position;
    }
    notify(Change::SampleRate);
    if (playback && playback->playing()) playback->playClick();
}

void Session::scaleChanged(Scale s) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    tuning.build(s);
    oscillatorsChanged = true;
    generateSoundBuf();
}

void Session::parametersChanged() {
    notify(Change::Units);
    generateSoundBuf();
}

// ---------------------------------------------------------------------------
// Rendering

int32_t Session::wantedCapacity() const {
    int64_t units = int64_t{panel.length} + panel.additionalSilence;
    int64_t cap = std::clamp<int64_t>(units * 1024, 16384, (int64_t{kMaxLengthUnits} + 256) * 1024);
    return static_cast<int32_t>(cap);
}

void Session::reallocIfNeeded() {
    int32_t want = wantedCapacity();
    if (want != engine_.capacity()) engine_.allocate(want);
}

void Session::initEnvelopers() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (int e = 0; e < 3; ++e) {
        EnvelopeParams& p = gen.env[static_cast<size_t>(e)];
        p.attack = envelopeBars.at(e, 0);
        p.sustain = envelopeBars.at(e, 1);
        p.release = envelopeBars.at(e, 2);
        p.amplitude = envelopeBars.at(e, 3) * 32;
        p.base = envelopeBars.at(e, 4) * 32;
        p.shape = envelopeBars.at(e, 5);
        p.iterations = envelopeBars.at(e, 6);
    }
    auto lfo = [](LfoParams& p, int32_t f, int32_t ph, int32_t amp, int32_t base, uint8_t shape) {
        p.frequency = f;
        p.phase = ph;
        p.amplitude = amp * 4;
        p.base = base * 128;
        p.form = shape;
    };
    lfo(gen.lfo[0], panel.lfo1Frequency, panel.lfo1Phase, panel.lfo1Amplitude, panel.lfo1Base, panel.lfo1Shape);
    lfo(gen.lfo[1], panel.lfo2Frequency, panel.lfo2Phase, panel.lfo2Amplitude, panel.lfo2Base, panel.lfo2Shape);
    gen.noise.frequency = panel.noiseFrequency;
    gen.noise.amplitude = panel.noiseAmplitude * 8;
    gen.noise.base = panel.noiseBase * 128;
    auto menv = [](MidiEnvelopeParams& p, int32_t a, int32_t d, int32_t s, int32_t r, int32_t amp) {
        p.attack = a;
        p.decay = d;
        p.sustain = s * 256;
        p.release = r;
        p.amplitude = amp;
    };
    menv(gen.midiEnv[0], panel.midiEnv1Attack, panel.midiEnv1Decay, panel.midiEnv1Sustain, panel.midiEnv1Release,
         panel.midiEnv1Amplitude);
    menv(gen.midiEnv[1], panel.midiEnv2Attack, panel.midiEnv2Decay, panel.midiEnv2Sustain, panel.midiEnv2Release,
         panel.midiEnv2Amplitude);
    gen.graph = envelopeGraph.data();
    getOscillatorParams();
}

void Session::generateSoundBuf() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (loadingCount > 0) return;
    getTimbre(current());
    if (!autoRender && !renderRequested) return;
    if (realTimeMark) {
        initEnvelopers();
        return;
    }
    renderer_.request();
}

void Session::renderClick() {
    stopRender();
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    renderRequested = true;
    oscillatorsChanged = true;
    generateSoundBuf();
}

void Session::waitForRender() { renderer_.waitIdle(); }

void Session::stopRender() {
    renderer_.stop();
    progress = 6;
    renderingLight = false;
}

void Session::renderBackground() { renderLocked(); }

void Session::renderNow() {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        renderRequested = false;
    }
    renderLocked();
}

// Everything a render takes from the session besides the timbre: generator
// parameters, controller values, custom wave, tables, units and samples.
// Called under mutex_ with engineMutex_ held.
void Session::prepareEngine() {
    initEnvelopers();
    engine_.gen = gen;
    for (size_t k = 0; k < 2; ++k) {
        engine_.gen.midiValue[k] = midi.value[k].load();
        engine_.gen.midiSensitivity[k] = midi.sensitivity[k].load();
    }
    engine_.initCustomWaveForm(waveFormGraph.data());
    reallocIfNeeded();
    engine_.sampleRate = sampleRate();
    engine_.random = random;
    engine_.tuning = tuning;
    auto scheme = std::make_shared<SoundScheme>(units);
    engine_.sequencerFrequency = [scheme](SoundBuffer& b, int32_t start, int32_t total) {
        return scheme->frequencySequencer().process(b, b.count, start, total, *scheme);
    };
    engine_.sequencerEnvelope = [scheme](SoundBuffer& b, int32_t start, int32_t total) {
        return scheme->envelopeSequencer().process(b, b.count, start, total, *scheme);
    };
    SoundBuffer v1 = sample1.view(), v2 = sample2.view();
    engine_.sample1Data.assign(v1.samples, v1.samples + std::max(v1.count, 0));
    engine_.sample2Data.assign(v2.samples, v2.samples + std::max(v2.count, 0));
    engine_.midiQueue = &midiQueue;
}

void Session::renderLocked() {
    std::lock_guard<std::mutex> engineLock(engineMutex_);
    TimbreRecord timbre;
    int index = 0;
    int32_t previousCount = 0;
    bool changed = false;
    int32_t count = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        renderRequested = false;
        previousCount = playBuffer.count();
        renderingLight = true;
        progress = 0;
        prepareEngine();
        count = static_cast<int32_t>(std::clamp<int64_t>(int64_t{panel.length} * 1024, 0, engine_.capacity()));
        engine_.renderPosition = 0;
        progress = 1;
        for (auto& o : current().oscillators) o.resetState();
        current().renderLength = count;
        changed = oscillatorsChanged;
        oscillatorsChanged = false;
        timbre = current();
        index = currentTimbre;
    }
    notify(Change::RenderStarted);
    // The chain overwrites every sample it renders; only the size must follow the capacity.
    if (renderBuffer_.size() != static_cast<size_t>(engine_.capacity()))
        renderBuffer_.assign(static_cast<size_t>(engine_.capacity()), 0);
    SoundBuffer target{count, renderBuffer_.data()};
    engine_.progress = [this](int p) {
        progress = p;
        notify(Change::RenderProgress);
    };
    engine_.renderTimbre(target, timbre, changed);
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        writeBackOscillatorState(timbres[static_cast<size_t>(index)], timbre);
        random = engine_.random;
        lastError_ = engine_.lastUnitError;
    }
    bool restart = false;
    if (target.count != previousCount && playback) {
        restart = playback->playing();
        playback->stopClick();
    }
    playBuffer.assign(target.samples, target.count);
    if (restart) playback->playClick();
    OverdriveCheck od = checkIfOverdriven(target.samples, target.count);
    clip = od.clip;
    meterLevel = od.level;
    renderingLight = false;
    notify(Change::RenderFinished);
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

void Session::normalize() {
    stopRender();
    for (;;) {
        renderNow();
        std::vector<int16_t> s = playBuffer.copy();
        int32_t peak = 0;
        for (int16_t v : s) {
            // Magnitude as a 16-bit value: -32768 stays negative and never counts.
            int32_t m = static_cast<int16_t>(v < 0 ? static_cast<int16_t>(-v) : v);
            peak = std::max(peak, m);
            if (peak >= 32700) break;
        }
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        const NormalizeStep step = normalizeStep(panel.oscillatorsVolume, peak);
        if (!step.changed) break;
        panel.oscillatorsVolume = step.position;
        // The scroll bar's own change handler: the oscillators must be rendered anew.
        oscillatorsChanged = true;
        getTimbre(current());
        if (!step.again) break;
    }
    generateSoundBuf();
}

void Session::tempoChanged() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    current().renderLength = renderLengthFromTempo(sampleRate(), panel.tempo, units.noteSequencer().noteCount);
}

void Session::startStream() {
    // An ordinary render still in flight would overwrite the render length
    // and the filter and effect memories the stream is about to start from.
    renderer_.waitIdle();
    std::lock_guard<std::mutex> engineLock(engineMutex_);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (auto& o : current().oscillators) o.resetState();
    tempoChanged();
    engine_.renderPosition = 0;
    midiQueue.reset();
    auto& ring = engine_.effects.feedbackRing;
    clearSound(SoundBuffer{static_cast<int32_t>(ring.size()), ring.data()});
}

bool Session::realTimeFlag() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return timbres[static_cast<size_t>(currentTimbre)].realTime != 0;
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
        index = currentTimbre;
        timbre = current();
    }
    engine_.progress = nullptr;
    engine_.renderPosition = renderPosition;
    engine_.renderTimbre(block, timbre, true);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    writeBackOscillatorState(timbres[static_cast<size_t>(index)], timbre);
    random = engine_.random;
    lastError_ = engine_.lastUnitError;
}

Status Session::lastError() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return lastError_;
}

}  // namespace kf

namespace kf {

// ---------------------------------------------------------------------------
// Samples

Status Session::loadSample(int slot, const std::string& fileName) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    SampleSlot& s = slot == 2 ? sample2 : sample1;
    s.load(fileName, slot == 2 ? panel.sample2StartPos : panel.sample1StartPos);
    oscillatorsChanged = true;
    notify(Change::Samples);
    generateSoundBuf();
    if (!fileName.empty() && s.loadedCount() == 0 && s.storedPath().empty())
        return Status::error("Cannot open sample file " + fileName);
    return Status::success();
}

void Session::byteSwapSample(int slot) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    (slot == 2 ? sample2 : sample1).byteSwap();
    oscillatorsChanged = true;
    notify(Change::Samples);
    generateSoundBuf();
}

void Session::sampleStartChanged(int slot, int32_t start) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    start = std::max(start, 0);  // a number edit with minimum 0 and no maximum
    if (slot == 2) {
        panel.sample2StartPos = start;
        sample2.reload(start);
    } else {
        panel.sample1StartPos = start;
        sample1.reload(start);
    }
    oscillatorsChanged = true;
    notify(Change::Samples);
    generateSoundBuf();
}

// ---------------------------------------------------------------------------
// Export

Status Session::saveSoundFile(SaveFormat format, std::string* writtenName) {
    std::string name, base;
    int32_t rate = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        name = generateSaveName(presetName, settings.saveDir, format);
        base = presetName.substr(0, presetName.find('.'));
        rate = sampleRate();
    }
    std::vector<int16_t> sound = playBuffer.copy();
    Status st = saveSound(name, SoundBuffer{static_cast<int32_t>(sound.size()), sound.data()}, format, rate, base);
    if (st.ok && writtenName) *writtenName = name;
    return st;
}

Status Session::saveSampleAs(const std::string& fileName, int filterIndex) {
    std::vector<int16_t> sound = playBuffer.copy();
    return kf::saveSampleAs(fileName, filterIndex, SoundBuffer{static_cast<int32_t>(sound.size()), sound.data()},
                            sampleRate());
}

}  // namespace kf

namespace kf {

// ---------------------------------------------------------------------------
// Presets

PresetRecord Session::getPreset() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    getOscillatorParams();
    getTimbre(current());
    PresetRecord out;
    out.timbre = current();
    out.envelopeBars = envelopeBars.bars;
    out.setSamplePath(1, sample1.storedPath());
    out.setSamplePath(2, sample2.storedPath());
    out.setByteSwapFlag(1, sample1.swapped());
    out.setByteSwapFlag(2, sample2.swapped());
    out.setRatePosition(frequencyScrollBar);
    out.clearCaptureStretch();
    return out;
}

void Session::setPreset(const PresetRecord& rec) {
    bool restart = false;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        ++loadingCount;
        current() = rec.timbre;
        setTimbre(current());
        envelopeBars.bars = rec.envelopeBars;
        clampEnvelopeBars(envelopeBars);
        auto loadSlot = [](SampleSlot& slot, const std::string& path, int32_t start) {
            slot.load(path, start);
            if (slot.view().count == 0) slot.load(bareSampleName(path), start);
            // Presets name the shipped samples by their bare names; find those
            // in the data directory too when they are not in the current one.
            if (slot.view().count == 0 && !path.empty()) slot.load(findDefaultSample(bareSampleName(path)), start);
        };
        loadSlot(sample1, rec.samplePath(1), panel.sample1StartPos);
        loadSlot(sample2, rec.samplePath(2), panel.sample2StartPos);
        if (rec.byteSwapFlag(1)) {
            sample1.byteSwap();
            oscillatorsChanged = true;
        }
        if (rec.byteSwapFlag(2)) {
            sample2.byteSwap();
            oscillatorsChanged = true;
        }
        // The rate control holds positions 200..9600 only; a damaged value
        // must not turn into a zero sample rate.
        frequencyScrollBar = std::clamp(rec.ratePosition(), 200, 9600);
        --loadingCount;
        restart = playback && playback->playing();
    }
    notify(Change::Samples);
    notify(Change::SampleRate);
    if (restart) playback->playClick();
}

Status Session::openPreset(const std::string& fileName, bool render) {
    PresetRecord rec;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        bool rememberedAuto = autoRender;
        autoRender = false;
        // The units read their blocks straight from the file: into a copy,
        // so that a refused preset leaves them as they were.
        SoundScheme loaded = units;
        Status st = kf::openPreset(fileName, defaultPreset, rec, loaded);
        if (st) st = checkSoundLength(rec.timbre.length);
        if (!st) {
            autoRender = rememberedAuto;
            return st;  // nothing applied, name and caption unchanged
        }
        units = loaded;
        caption = presetCaption(fileName);
        presetName = bareFileName(fileName);
        ++loadingCount;
        setPreset(rec);
        --loadingCount;
        initEnvelopers();
        renderRequested = render;  // opening renders the loaded sound
        if (render) oscillatorsChanged = true;
        parametersChanged();
        autoRender = rememberedAuto;
    }
    notify(Change::Preset);
    return Status::success();
}

Status Session::savePreset(const std::string& fileName) {
    PresetRecord stored = toStoredForm(getPreset());
    Status st;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        st = savePresetFile(fileName, stored, units);
        if (!st) return st;
        caption = presetCaption(fileName);
        presetName = bareFileName(fileName);
    }
    notify(Change::Preset);
    return st;
}

void Session::newPreset() {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        caption = "Kestrafon";
        presetName = "NoName";
        setPreset(defaultPreset);
        renderRequested = true;
        oscillatorsChanged = true;
        generateSoundBuf();
    }
    notify(Change::Preset);
}

}  // namespace kf
