// The session's parameters: get/set by id, the reactions a change sets off,
// the copy between the controls and the timbre records, and notifications.
#include "core/session.h"

#include <algorithm>

#include "core/sound_length.h"
#include "engine/oscillator.h"

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

SessionCore::SessionCore(uint32_t randomSeed) : renderer_([this] { renderBackground(); }) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    random_.seed = randomSeed;
    tuning_.buildTemperedScale();
    engine_.allocate(wantedCapacity());
    // Build the first timbre from the controls, give it the oscillator
    // defaults, and start both timbres identical.
    captureTimbre(timbres_[0]);
    for (auto& o : timbres_[0].oscillators) o = OscillatorRecord::defaults();
    timbres_[1] = timbres_[0];
    setOscillatorParams();
    sample1_.load(findDefaultSample("16tone3.smp"), panel_.sample1StartPos);
    sample2_.load(findDefaultSample("16tone2.smp"), panel_.sample2StartPos);
    defaultPreset_ = getPreset();
    setPreset(defaultPreset_);
    fillControls(timbres_[static_cast<size_t>(currentTimbre_)]);
    markSaved();
    pending_.clear();  // nothing has been shown yet
}

SessionCore::~SessionCore() { renderer_.stop(); }

// ---------------------------------------------------------------------------
// Notifications

int SessionCore::subscribe(Listener l) {
    std::lock_guard<std::mutex> lock(notifyMutex_);
    listeners_.emplace_back(nextListener_, std::move(l));
    return nextListener_++;
}

void SessionCore::unsubscribe(int id) {
    std::lock_guard<std::mutex> lock(notifyMutex_);
    std::erase_if(listeners_, [id](const auto& p) { return p.first == id; });
}

void SessionCore::setWakeup(std::function<void()> wakeup) {
    std::lock_guard<std::mutex> lock(notifyMutex_);
    wakeup_ = std::move(wakeup);
}

void SessionCore::notify(const Notification& n) {
    switch (n.change) {
        case Change::Param: case Change::Timbre: case Change::Oscillator: case Change::Units:
        case Change::Curves: case Change::Samples: case Change::Preset:
            // The live voices hear every change of the sound from their next block.
            if (VoiceEngine* e = live_.load(); e && realTimeMark_.load()) e->publish(publishSnapshot());
            break;
        default:
            break;
    }
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> lock(notifyMutex_);
        // Progress steps of one render collapse into the newest.
        if (n.change == Change::RenderProgress && !pending_.empty() &&
            pending_.back().change == Change::RenderProgress) {
            pending_.back() = n;
            return;
        }
        const bool wasEmpty = pending_.empty();
        pending_.push_back(n);
        if (wasEmpty) wake = wakeup_;
    }
    if (wake) wake();
}

void SessionCore::drainNotifications() {
    for (;;) {
        std::deque<Notification> batch;
        std::vector<Listener> ls;
        {
            std::lock_guard<std::mutex> lock(notifyMutex_);
            if (pending_.empty()) return;
            batch.swap(pending_);
            for (auto& p : listeners_) ls.push_back(p.second);
        }
        for (const Notification& n : batch)
            for (auto& l : ls) l(n);
    }
}

// ---------------------------------------------------------------------------
// Parameters by id

long double SessionCore::readParam(ParamId id) const {
    const ParamInfo& p = paramInfo(id);
    switch (p.scope) {
        case ParamScope::Timbre: return readStored(p, panel_);
        case ParamScope::Oscillator:
            if (id == ParamId::OscWaveForm) return waveListToCode(oscWaveList_);
            return readStored(p, oscPanel_);
        case ParamScope::Light: return activeLights_[p.offset] ? 1 : 0;
        case ParamScope::Envelope: return envelopeBars_.bars[p.offset];
        case ParamScope::Rate: return ratePosition_;
        case ParamScope::Unit:
            switch (id) {
                case ParamId::NoteCount: return units_.noteSequencer().noteCount;
                case ParamId::PortamentoSpeed: return units_.frequencySequencer().portamentoSpeed;
                case ParamId::SEnvAttack: return units_.envelopeSequencer().attack;
                case ParamId::SEnvDecayAngle: return units_.envelopeSequencer().decayAngle;
                case ParamId::SEnvRelease: return units_.envelopeSequencer().release;
                case ParamId::SEnvReleaseStart: return units_.envelopeSequencer().releaseStart;
                case ParamId::SEnvAmplitude: return units_.envelopeSequencer().amplitude;
                default: return 0;
            }
    }
    return 0;
}

// Stores an already clamped value; false when nothing changed.
bool SessionCore::writeParam(ParamId id, long double v) {
    if (readParam(id) == v) return false;
    const ParamInfo& p = paramInfo(id);
    switch (p.scope) {
        case ParamScope::Timbre: writeStored(p, panel_, v); break;
        case ParamScope::Oscillator:
            if (id == ParamId::OscWaveForm) oscWaveList_ = std::max(0, waveCodeToList(static_cast<uint8_t>(v)));
            else writeStored(p, oscPanel_, v);
            break;
        case ParamScope::Light: activeLights_[p.offset] = v != 0; break;
        case ParamScope::Envelope: envelopeBars_.bars[p.offset] = static_cast<int32_t>(v); break;
        case ParamScope::Rate: ratePosition_ = static_cast<int32_t>(v); break;
        case ParamScope::Unit:
            switch (id) {
                case ParamId::NoteCount: units_.noteSequencer().setNoteCount(static_cast<int32_t>(v)); break;
                case ParamId::PortamentoSpeed:
                    units_.frequencySequencer().portamentoSpeed = static_cast<int32_t>(v);
                    break;
                case ParamId::SEnvAttack: units_.envelopeSequencer().attack = static_cast<double>(v); break;
                case ParamId::SEnvDecayAngle: units_.envelopeSequencer().decayAngle = static_cast<double>(v); break;
                case ParamId::SEnvRelease: units_.envelopeSequencer().release = static_cast<double>(v); break;
                case ParamId::SEnvReleaseStart:
                    units_.envelopeSequencer().releaseStart = static_cast<double>(v);
                    break;
                case ParamId::SEnvAmplitude: units_.envelopeSequencer().amplitude = static_cast<double>(v); break;
                default: break;
            }
            break;
    }
    return true;
}

long double SessionCore::value(ParamId id) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return readParam(id);
}

std::string SessionCore::label(ParamId id) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return paramLabel(id, readParam(id), &tuning_, ratePosition_ * 5);
}

Status SessionCore::set(ParamId id, long double v) {
    const ParamInfo& p = paramInfo(id);
    const long double c = clampParam(id, v);
    if (p.type == ParamType::Choice && c != v) return Status::success();  // no item stands for it
    if (id == ParamId::Length)
        if (Status st = checkSoundLength(static_cast<int64_t>(c)); !st) return st;
    if (value(id) == c) return Status::success();
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        std::string run = "param " + std::to_string(static_cast<int>(id)) + " timbre " + std::to_string(currentTimbre_);
        if (p.scope == ParamScope::Oscillator) run += " oscillator " + std::to_string(selectedOscillator_);
        recordStep(p.caption.empty() ? stepNameFromKey(p.key) : std::string(p.caption), run);
    }
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        // The length and silence reactions reallocate; they store the value
        // themselves once playback and the render have stopped.
        if (p.reaction != Reaction::Length && p.reaction != Reaction::Silence && !writeParam(id, c))
            return Status::success();
    }
    if (p.reaction != Reaction::Length && p.reaction != Reaction::Silence) notify(Notification{Change::Param, id, c});
    react(id, c);
    return Status::success();
}

void SessionCore::react(ParamId id, long double v) {
    switch (paramInfo(id).reaction) {
        case Reaction::Render: generateSoundBuf(); break;
        case Reaction::Oscillator:
        case Reaction::OscillatorLight: oscillatorControlChanged(); break;
        case Reaction::OscillatorsRender: {
            std::lock_guard<std::recursive_mutex> lock(mutex_);
            oscillatorsChanged_ = true;
            generateSoundBuf();
            break;
        }
        case Reaction::Length:
        case Reaction::Silence: resizeSound(id, v); break;
        case Reaction::SampleRate: {
            // The rate is part of the sound: render it; playback moves to the
            // new rate when the new samples arrive.
            std::lock_guard<std::recursive_mutex> lock(mutex_);
            oscillatorsChanged_ = true;
            generateSoundBuf();
            break;
        }
        case Reaction::SampleStart: sampleStartChanged(id == ParamId::Sample2StartPos ? 2 : 1); break;
        case Reaction::RedrawRender:
            if (!realTimeMark() && !(playback_ && playback_->playing())) notify(Change::Redraw);
            generateSoundBuf();
            break;
        case Reaction::FeedBackActive: {
            generateSoundBuf();
            bool restart = false;
            {
                std::lock_guard<std::recursive_mutex> lock(mutex_);
                restart = playback_ && playback_->playing() && panel_.additionalSilence != 0;
            }
            if (restart) playback_->playClick();
            break;
        }
        case Reaction::Units: parametersChanged(); break;
        case Reaction::Tempo: tempoChanged(); break;
    }
}

// ---------------------------------------------------------------------------
// Reactions

void SessionCore::oscillatorControlChanged() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    oscillatorsChanged_ = true;
    if (loadingCount_ > 0) return;
    getOscillatorParams();
    generateSoundBuf();
}

// Length and additional silence size the buffers: stop playback and the
// render, reallocate, render anew and play again if it was playing.
void SessionCore::resizeSound(ParamId id, long double v, bool always) {
    bool wasPlaying = playback_ && playback_->playing();
    if (playback_) playback_->stopClick();
    stopRender();
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (!writeParam(id, v) && !always) return;
        reallocIfNeeded();
        oscillatorsChanged_ = true;
    }
    notify(Notification{Change::Param, id, v});
    generateSoundBuf();
    if (wasPlaying && playback_) playback_->playClick();
}

void SessionCore::sampleStartChanged(int slot) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (slot == 2) sample2_.reload(panel_.sample2StartPos);
    else sample1_.reload(panel_.sample1StartPos);
    oscillatorsChanged_ = true;
    notify(Change::Samples);
    generateSoundBuf();
}

void SessionCore::scaleChanged(Scale s) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (s != tuning_.scale()) recordStep("Scale");
    tuning_.build(s);
    oscillatorsChanged_ = true;
    notify(Notification{Change::Param, ParamId::OscFrequency, static_cast<long double>(oscPanel_.frequency)});
    generateSoundBuf();
}

Scale SessionCore::scale() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return tuning_.scale();
}

NoteTables SessionCore::tuning() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return tuning_;
}

void SessionCore::parametersChanged() {
    notify(Change::Units);
    generateSoundBuf();
}

void SessionCore::editUnits(const std::function<void(SoundScheme&)>& f) {
    recordStep("Sequencer", "units");
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        f(units_);
    }
    parametersChanged();
}

void SessionCore::readUnits(const std::function<void(const SoundScheme&)>& f) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    f(units_);
}

// ---------------------------------------------------------------------------
// Timbre <-> controls

void SessionCore::captureTimbre(TimbreRecord& rec) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    getOscillatorParams();
    panel_.waveFormGraph = waveFormGraph_.data();
    panel_.envelopeGraph = envelopeGraph_.data();
    copyControlFields(panel_, rec);
    rec.setChordText(chordEdit_);
    rec.realTime = realTimeMark_ ? 1 : 0;
}

void SessionCore::fillControls(const TimbreRecord& rec) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ++loadingCount_;
    const TimbreRecord before = panel_;
    copyControlFields(rec, panel_);
    clampToControls(panel_, before);
    waveFormGraph_.setData(rec.waveFormGraph);
    envelopeGraph_.setData(rec.envelopeGraph);
    chordEdit_ = rec.chordText();
    // The live mode belongs to the program, not to a timbre or a preset.
    setOscillatorParams();
    --loadingCount_;
    notify(Change::Timbre);
}

void SessionCore::setTimbre(const TimbreRecord& rec) {
    fillControls(rec);
    generateSoundBuf();
}

void SessionCore::replaceTimbre(const TimbreRecord& rec) {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        timbres_[static_cast<size_t>(currentTimbre_)] = rec;
        fillControls(rec);
        oscillatorsChanged_ = true;
    }
    generateSoundBuf();
}

TimbreRecord SessionCore::timbre() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    TimbreRecord& cur = timbres_[static_cast<size_t>(currentTimbre_)];
    captureTimbre(cur);  // the record holds what the controls show, as before a render
    return cur;
}

TimbreRecord SessionCore::timbre(int index) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return timbres_[static_cast<size_t>(std::clamp(index, 0, 1))];
}

void SessionCore::getOscillatorParams() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (loadingCount_ > 0) return;
    TimbreRecord& t = timbres_[static_cast<size_t>(currentTimbre_)];
    OscillatorRecord& o = t.oscillators[static_cast<size_t>(selectedOscillator_)];
    copyOscillatorFields(oscPanel_, o, false);
    o.waveForm = waveListToCode(oscWaveList_);
    for (size_t k = 0; k < 10; ++k) t.oscillators[k].active = activeLights_[k] ? 1 : 0;
}

void SessionCore::setOscillatorParams() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ++loadingCount_;
    const TimbreRecord& t = timbres_[static_cast<size_t>(currentTimbre_)];
    const OscillatorRecord& o = t.oscillators[static_cast<size_t>(selectedOscillator_)];
    copyOscillatorFields(o, oscPanel_, true);
    if (int pos = waveCodeToList(o.waveForm); pos >= 0) oscWaveList_ = pos;
    for (size_t k = 0; k < 10; ++k) activeLights_[k] = t.oscillators[k].active != 0;
    panel_.oscillatorsVolume = std::clamp(t.oscillatorsVolume, 0, 256);
    --loadingCount_;
    notify(Change::Oscillator);
}

int SessionCore::selectedOscillator() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return selectedOscillator_;
}

void SessionCore::selectOscillator(int k) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (k < 0 || k > 9) return;
    getOscillatorParams();
    selectedOscillator_ = k;
    setOscillatorParams();
}

int SessionCore::currentTimbre() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return currentTimbre_;
}

void SessionCore::selectTimbre(int t) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (t < 0 || t > 1) return;
    if (t != currentTimbre_) recordStep("Timbre " + std::to_string(t + 1));
    captureTimbre(timbres_[static_cast<size_t>(currentTimbre_)]);
    currentTimbre_ = t;
    oscillatorsChanged_ = true;  // the cached oscillators belong to the other timbre
    setTimbre(timbres_[static_cast<size_t>(currentTimbre_)]);
}

CurveData SessionCore::envelopeGraph() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return envelopeGraph_.data();
}

void SessionCore::setEnvelopeGraph(const CurveData& c) {
    recordStep("GraphEnv", "curve graph");
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        envelopeGraph_.setData(c);
    }
    notify(Change::Curves);
    generateSoundBuf();
}

CurveData SessionCore::waveFormGraph() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return waveFormGraph_.data();
}

// The custom waveform is rebuilt from the curve at the next render.
void SessionCore::setWaveFormGraph(const CurveData& c) {
    recordStep("Waveform", "curve wave");
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        waveFormGraph_.setData(c);
        oscillatorsChanged_ = true;
    }
    notify(Change::Curves);
    generateSoundBuf();
}

std::string SessionCore::chordText() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return chordEdit_;
}

void SessionCore::setChordText(const std::string& text) {
    if (text.substr(0, 30) == chordText()) return;
    recordStep("Chord", "chord text");
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        chordEdit_ = text.substr(0, 30);
    }
    generateSoundBuf();
}

bool SessionCore::autoRender() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return autoRender_;
}

void SessionCore::setAutoRender(bool on) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    autoRender_ = on;
}

bool SessionCore::realTimeMark() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return realTimeMark_;
}

void SessionCore::setRealTimeMark(bool on) {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (realTimeMark_ == on) return;
        realTimeMark_ = on;
        captureTimbre(timbres_[static_cast<size_t>(currentTimbre_)]);
    }
    notify(Change::RealTime);
}

Status SessionCore::liveModeRefusal(const std::string& what) const {
    if (!realTimeMark()) return Status::success();
    return Status::error(what + " is not possible while Realtime is on: the live stream has no finished sound. "
                                "Switch Realtime off to render.");
}

void SessionCore::setPlayback(PlaybackControl* p) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    playback_ = p;
}

int32_t SessionCore::sampleRate() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return ratePosition_ * 5;
}

uint32_t SessionCore::seed() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return random_.seed;
}

void SessionCore::setSeed(uint32_t seed) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    random_.seed = seed;
}

}  // namespace kf
