// The state the session's parts share: the copy between the controls and
// the timbre records, a parameter's place in the state, the generator
// settings, the live voices' snapshot and the notification queue.
#include "core/session_state.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "engine/oscillator.h"
#include "engine/param_table.h"
#include "files/preset.h"

namespace kf {

namespace {

// Every control-held field of the timbre-level controls, as the table lists
// them, plus the two drawn curves; render length, oscillators and reserved
// bytes are not controls and stay as they are in `to`.
void copyControlFields(const TimbreRecord& from, TimbreRecord& to) {
    for (const ParamInfo& p : paramTable())
        if (p.scope == ParamScope::Timbre) writeStored(p, to, readStored(p, from));
    to.waveFormGraph = from.waveFormGraph;
    to.envelopeGraph = from.envelopeGraph;
}

// The oscillator page's fields between a record and the page (the waveform
// list goes by its item, apart); `clamp` holds them to the controls' ranges.
void copyOscillatorFields(const OscillatorRecord& from, OscillatorRecord& to, bool clamp) {
    for (const ParamInfo& p : paramTable()) {
        if (p.scope != ParamScope::Oscillator || p.id == ParamId::OscWaveForm) continue;
        const long double v = readStored(p, from);
        writeStored(p, to, clamp ? clampParam(p.id, v) : v);
    }
}

// The controls hold positions within their ranges only, as scroll bars do:
// a value from a damaged file lands on the nearest end when it is pushed
// into its control. A choice no radio button stands for keeps the old one.
void clampToControls(TimbreRecord& t, const TimbreRecord& before) {
    for (const ParamInfo& p : paramTable()) {
        if (p.scope != ParamScope::Timbre) continue;
        long double v = readStored(p, t);
        long double c = clampParam(p.id, v);
        // An LFO shape no radio button stands for leaves the group as it was.
        if ((p.id == ParamId::Lfo1Shape || p.id == ParamId::Lfo2Shape) && c != v) c = readStored(p, before);
        writeStored(p, t, c);
    }
}

}  // namespace

void StateMutex::lock() {
    if (owner_.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
        std::fputs("kestrafon: the session's lock was taken twice on one thread\n", stderr);
        std::abort();
    }
    m_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

void StateMutex::unlock() {
    owner_.store(std::thread::id{}, std::memory_order_relaxed);
    m_.unlock();
}

bool StateMutex::try_lock() {
    if (!m_.try_lock()) return false;
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    return true;
}

SessionState::SessionState(uint32_t randomSeed) {
    random.seed = randomSeed;
    tuning.buildTemperedScale();
}

// ---------------------------------------------------------------------------
// Controls <-> records

void SessionState::captureTimbre(TimbreRecord& rec) {
    getOscillatorParams();
    panel.waveFormGraph = waveFormGraph.data();
    panel.envelopeGraph = envelopeGraph.data();
    copyControlFields(panel, rec);
    rec.setChordText(chordEdit);
    rec.realTime = realTimeMark ? 1 : 0;
}

void SessionState::fillControls(const TimbreRecord& rec) {
    ++loadingCount;
    const TimbreRecord before = panel;
    copyControlFields(rec, panel);
    clampToControls(panel, before);
    waveFormGraph.setData(rec.waveFormGraph);
    envelopeGraph.setData(rec.envelopeGraph);
    chordEdit = rec.chordText();
    // The live mode belongs to the program, not to a timbre or a preset.
    setOscillatorParams();
    --loadingCount;
    notifyLocked(Change::Timbre);
}

void SessionState::getOscillatorParams() {
    if (loadingCount > 0) return;
    TimbreRecord& t = current();
    OscillatorRecord& o = t.oscillators[static_cast<size_t>(selectedOscillator)];
    copyOscillatorFields(oscPanel, o, false);
    o.waveForm = waveListToCode(oscWaveList);
    for (size_t k = 0; k < 10; ++k) t.oscillators[k].active = activeLights[k] ? 1 : 0;
}

void SessionState::setOscillatorParams() {
    ++loadingCount;
    const TimbreRecord& t = current();
    const OscillatorRecord& o = t.oscillators[static_cast<size_t>(selectedOscillator)];
    copyOscillatorFields(o, oscPanel, true);
    if (int pos = waveCodeToList(o.waveForm); pos >= 0) oscWaveList = pos;
    for (size_t k = 0; k < 10; ++k) activeLights[k] = t.oscillators[k].active != 0;
    panel.oscillatorsVolume = std::clamp(t.oscillatorsVolume, 0, 256);
    --loadingCount;
    notifyLocked(Change::Oscillator);
}

void SessionState::selectOscillator(int k) {
    if (k < 0 || k > 9) return;
    getOscillatorParams();
    selectedOscillator = k;
    setOscillatorParams();
}

// ---------------------------------------------------------------------------
// Presets

PresetRecord SessionState::currentPreset() {
    TimbreRecord& cur = current();
    captureTimbre(cur);
    PresetRecord out;
    out.timbre = cur;
    out.envelopeBars = envelopeBars.bars;
    out.setSamplePath(1, sample1.storedPath());
    out.setSamplePath(2, sample2.storedPath());
    out.setByteSwapFlag(1, sample1.swapped());
    out.setByteSwapFlag(2, sample2.swapped());
    out.setRatePosition(ratePosition);
    out.clearCaptureStretch();
    return out;
}

bool SessionState::applyPreset(const PresetRecord& rec, bool reloadSamples) {
    ++loadingCount;
    const std::array<int32_t, 2> startsBefore{panel.sample1StartPos, panel.sample2StartPos};
    TimbreRecord& cur = current();
    cur = rec.timbre;
    fillControls(cur);
    for (size_t i = 0; i < envelopeBars.bars.size(); ++i)
        envelopeBars.bars[i] =
            static_cast<int32_t>(clampParam(offsetId(ParamId::Env1Attack, static_cast<int>(i)), rec.envelopeBars[i]));
    auto loadSlot = [&](SampleSlot& slot, int n, int32_t start) {
        const std::string path = rec.samplePath(n);
        if (!reloadSamples && slot.storedPath() == path && slot.swapped() == rec.byteSwapFlag(n) &&
            startsBefore[static_cast<size_t>(n - 1)] == start)
            return;  // the slot holds exactly this already
        slot.load(path, start);
        if (slot.view().count == 0) slot.load(bareSampleName(path), start);
        // Presets name the shipped samples by their bare names; find those
        // in the data directory too when they are not in the current one.
        if (slot.view().count == 0 && !path.empty()) slot.load(findDefaultSample(bareSampleName(path)), start);
        if (rec.byteSwapFlag(n)) slot.byteSwap();
        oscillatorsChanged = true;
    };
    loadSlot(sample1, 1, panel.sample1StartPos);
    loadSlot(sample2, 2, panel.sample2StartPos);
    // The rate control holds positions 200..9600 only; a damaged value
    // must not turn into a zero sample rate.
    ratePosition = static_cast<int32_t>(clampParam(ParamId::SampleRate, rec.ratePosition()));
    --loadingCount;
    notifyLocked(Change::Samples);
    notifyLocked(Notification{Change::Param, ParamId::SampleRate, static_cast<long double>(ratePosition)});
    return playback && playback->playing();
}

bool SessionState::applyDefaultPreset() {
    caption = "Kestrafon";
    presetName = "NoName";
    return applyPreset(defaultPreset, true);
}

// ---------------------------------------------------------------------------
// A parameter's place in the state

long double SessionState::readParam(ParamId id) const {
    const ParamInfo& p = paramInfo(id);
    switch (p.scope) {
        case ParamScope::Timbre: return readStored(p, panel);
        case ParamScope::Oscillator:
            if (id == ParamId::OscWaveForm) return waveListToCode(oscWaveList);
            return readStored(p, oscPanel);
        case ParamScope::Light: return activeLights[p.offset] ? 1 : 0;
        case ParamScope::Envelope: return envelopeBars.bars[p.offset];
        case ParamScope::Rate: return ratePosition;
        case ParamScope::Unit:
            switch (id) {
                case ParamId::NoteCount: return units.noteSequencer().noteCount;
                case ParamId::PortamentoSpeed: return units.frequencySequencer().portamentoSpeed;
                case ParamId::SEnvAttack: return units.envelopeSequencer().attack;
                case ParamId::SEnvDecayAngle: return units.envelopeSequencer().decayAngle;
                case ParamId::SEnvRelease: return units.envelopeSequencer().release;
                case ParamId::SEnvReleaseStart: return units.envelopeSequencer().releaseStart;
                case ParamId::SEnvAmplitude: return units.envelopeSequencer().amplitude;
                default: return 0;
            }
    }
    return 0;
}

bool SessionState::writeParam(ParamId id, long double v) {
    if (readParam(id) == v) return false;
    const ParamInfo& p = paramInfo(id);
    switch (p.scope) {
        case ParamScope::Timbre: writeStored(p, panel, v); break;
        case ParamScope::Oscillator:
            if (id == ParamId::OscWaveForm) oscWaveList = std::max(0, waveCodeToList(static_cast<uint8_t>(v)));
            else writeStored(p, oscPanel, v);
            break;
        case ParamScope::Light: activeLights[p.offset] = v != 0; break;
        case ParamScope::Envelope: envelopeBars.bars[p.offset] = static_cast<int32_t>(v); break;
        case ParamScope::Rate: ratePosition = static_cast<int32_t>(v); break;
        case ParamScope::Unit:
            switch (id) {
                case ParamId::NoteCount: units.noteSequencer().setNoteCount(static_cast<int32_t>(v)); break;
                case ParamId::PortamentoSpeed:
                    units.frequencySequencer().portamentoSpeed = static_cast<int32_t>(v);
                    break;
                case ParamId::SEnvAttack: units.envelopeSequencer().attack = static_cast<double>(v); break;
                case ParamId::SEnvDecayAngle: units.envelopeSequencer().decayAngle = static_cast<double>(v); break;
                case ParamId::SEnvRelease: units.envelopeSequencer().release = static_cast<double>(v); break;
                case ParamId::SEnvReleaseStart:
                    units.envelopeSequencer().releaseStart = static_cast<double>(v);
                    break;
                case ParamId::SEnvAmplitude: units.envelopeSequencer().amplitude = static_cast<double>(v); break;
                default: break;
            }
            break;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Generator settings and the live voices' snapshot

void SessionState::initEnvelopers() {
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

int32_t SessionState::tempoRenderLength() const {
    return renderLengthFromTempo(sampleRate(), panel.tempo, units.noteSequencer().noteCount);
}

std::shared_ptr<const SoundSnapshot> SessionState::makeSnapshot() {
    auto snap = std::make_shared<SoundSnapshot>();
    SoundSnapshot& s = *snap;
    initEnvelopers();
    s.gen = gen;
    for (size_t k = 0; k < 2; ++k) {
        s.gen.midiValue[k] = midi.value[k].load();
        s.gen.midiSensitivity[k] = midi.sensitivity[k].load();
        s.controllerNumbers[k] = midi.number[k].load();
    }
    s.customWave = customWaveTable(waveFormGraph.data());
    s.sampleRate = sampleRate();
    s.random = random;
    s.tuning = tuning;
    s.units = units;
    const SoundBuffer v1 = sample1.view(), v2 = sample2.view();
    s.sample1.assign(v1.samples, v1.samples + std::max(v1.count, 0));
    s.sample2.assign(v2.samples, v2.samples + std::max(v2.count, 0));
    s.timbre = current();
    for (auto& o : s.timbre.oscillators) o.resetState();
    s.timbre.renderLength = tempoRenderLength();
    s.timbre.realTime = 1;
    return snap;
}

void SessionState::publishToLive() {
    Lock lock(mutex);
    publishLocked();
}

void SessionState::publishLocked() {
    if (VoiceEngine* e = live.load(); e && realTimeMark.load()) e->publish(makeSnapshot());
}

// ---------------------------------------------------------------------------
// Notifications

namespace {

// The changes of the sound itself, which the live voices hear.
bool soundChange(Change c) {
    switch (c) {
        case Change::Param: case Change::Timbre: case Change::Oscillator: case Change::Units:
        case Change::Curves: case Change::Samples: case Change::Preset:
            return true;
        default:
            return false;
    }
}

}  // namespace

void SessionState::notifyLocked(const Notification& n) {
    if (soundChange(n.change)) publishLocked();
    queue(n);
}

void SessionState::notify(const Notification& n) {
    if (soundChange(n.change)) {
        Lock lock(mutex);
        notifyLocked(n);
    } else {
        queue(n);
    }
}

void SessionState::queue(const Notification& n) {
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> lock(notifyMutex);
        // Progress steps of one render collapse into the newest.
        if (n.change == Change::RenderProgress && !pending.empty() &&
            pending.back().change == Change::RenderProgress) {
            pending.back() = n;
            return;
        }
        const bool wasEmpty = pending.empty();
        pending.push_back(n);
        if (wasEmpty) wake = wakeup;
    }
    if (wake) wake();
}

RenderedSound renderedSound(const PlayBuffer& played, int32_t fallbackRate) {
    RenderedSound r{played.copy(), played.rate()};
    if (r.rate <= 0) r.rate = fallbackRate;
    return r;
}

}  // namespace kf
