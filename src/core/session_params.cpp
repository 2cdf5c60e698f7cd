// The session's parameters: get/set by id, the reactions a change sets off,
// the timbres and oscillators on display, curves, chord, units and the
// notifications' delivery.
#include <algorithm>

#include "core/session.h"
#include "core/session_state.h"
#include "core/sound_length.h"

namespace kf {

using Lock = SessionState::Lock;

// ---------------------------------------------------------------------------
// Notifications

int ParamStore::subscribe(Listener l) {
    std::lock_guard<std::mutex> lock(st_.notifyMutex);
    st_.listeners.emplace_back(st_.nextListener, std::move(l));
    return st_.nextListener++;
}

void ParamStore::unsubscribe(int id) {
    std::lock_guard<std::mutex> lock(st_.notifyMutex);
    std::erase_if(st_.listeners, [id](const auto& p) { return p.first == id; });
}

void ParamStore::setWakeup(std::function<void()> wakeup) {
    std::lock_guard<std::mutex> lock(st_.notifyMutex);
    st_.wakeup = std::move(wakeup);
}

void ParamStore::drainNotifications() {
    for (;;) {
        std::deque<Notification> batch;
        std::vector<Listener> ls;
        {
            std::lock_guard<std::mutex> lock(st_.notifyMutex);
            if (st_.pending.empty()) return;
            batch.swap(st_.pending);
            for (auto& p : st_.listeners) ls.push_back(p.second);
        }
        for (const Notification& n : batch)
            for (auto& l : ls) l(n);
    }
}

// ---------------------------------------------------------------------------
// Parameters by id

long double ParamStore::value(ParamId id) const {
    Lock lock(st_.mutex);
    return st_.readParam(id);
}

std::string ParamStore::label(ParamId id) const {
    Lock lock(st_.mutex);
    return paramLabel(id, st_.readParam(id), &st_.tuning, st_.sampleRate());
}

Status ParamStore::set(ParamId id, long double v) {
    const ParamInfo& p = paramInfo(id);
    const long double c = clampParam(id, v);
    if (p.type == ParamType::Choice && c != v) return Status::success();  // no item stands for it
    if (id == ParamId::Length)
        if (Status st = checkSoundLength(static_cast<int64_t>(c)); !st) return st;
    std::string run;
    {
        Lock lock(st_.mutex);
        if (st_.readParam(id) == c) return Status::success();
        run = "param " + std::to_string(static_cast<int>(id)) + " timbre " + std::to_string(st_.currentTimbre);
        if (p.scope == ParamScope::Oscillator) run += " oscillator " + std::to_string(st_.selectedOscillator);
    }
    s_.history().recordStep(p.caption.empty() ? stepNameFromKey(p.key) : std::string(p.caption), run);
    // The length and silence reactions reallocate; they store the value
    // themselves once playback and the render have stopped.
    if (p.reaction != Reaction::Length && p.reaction != Reaction::Silence) {
        Lock lock(st_.mutex);
        if (!st_.writeParam(id, c)) return Status::success();
        st_.notifyLocked(Notification{Change::Param, id, c});
    }
    react(id, c);
    return Status::success();
}

void ParamStore::react(ParamId id, long double v) {
    RenderDriver& render = s_.render();
    switch (paramInfo(id).reaction) {
        case Reaction::Render: render.generateSoundBuf(); break;
        case Reaction::Oscillator:
        case Reaction::OscillatorLight: oscillatorControlChanged(); break;
        case Reaction::OscillatorsRender:
        case Reaction::SampleRate:  // playback moves to a new rate when the new samples arrive
            st_.write(st_.oscillatorsChanged, true);
            render.generateSoundBuf();
            break;
        case Reaction::Length:
        case Reaction::Silence: render.resizeSound(id, v); break;
        case Reaction::SampleStart: sampleStartChanged(id == ParamId::Sample2StartPos ? 2 : 1); break;
        case Reaction::RedrawRender:
            if (!s_.live().realTimeMark() && !(st_.playback && st_.playback->playing())) st_.notify(Change::Redraw);
            render.generateSoundBuf();
            break;
        case Reaction::FeedBackActive: {
            render.generateSoundBuf();
            bool restart = false;
            {
                Lock lock(st_.mutex);
                restart = st_.playback && st_.playback->playing() && st_.panel.additionalSilence != 0;
            }
            if (restart) st_.playback->playClick();
            break;
        }
        case Reaction::Units: unitsChanged(); break;
        case Reaction::Tempo: tempoChanged(); break;
    }
}

// ---------------------------------------------------------------------------
// Reactions

void ParamStore::oscillatorControlChanged() {
    {
        Lock lock(st_.mutex);
        st_.oscillatorsChanged = true;
        if (st_.loadingCount > 0) return;
        st_.getOscillatorParams();
    }
    s_.render().generateSoundBuf();
}

void ParamStore::sampleStartChanged(int slot) {
    {
        Lock lock(st_.mutex);
        st_.sample(slot).reload(slot == 2 ? st_.panel.sample2StartPos : st_.panel.sample1StartPos);
        st_.oscillatorsChanged = true;
        st_.notifyLocked(Change::Samples);
    }
    s_.render().generateSoundBuf();
}

void ParamStore::unitsChanged() {
    st_.notify(Change::Units);
    s_.render().generateSoundBuf();
}

void ParamStore::tempoChanged() {
    Lock lock(st_.mutex);
    st_.current().renderLength = st_.tempoRenderLength();
}

// `f` runs under the lock: it must not call the session.
void ParamStore::editUnits(const std::function<void(SoundScheme&)>& f) {
    s_.history().recordStep("Sequencer", "units");
    {
        Lock lock(st_.mutex);
        f(st_.units);
    }
    unitsChanged();
}

void ParamStore::readUnits(const std::function<void(const SoundScheme&)>& f) const {
    Lock lock(st_.mutex);
    f(st_.units);
}

// ---------------------------------------------------------------------------
// Timbres and oscillators

void ParamStore::setTimbre(const TimbreRecord& rec) {
    {
        Lock lock(st_.mutex);
        st_.fillControls(rec);
    }
    s_.render().generateSoundBuf();
}

void ParamStore::replaceTimbre(const TimbreRecord& rec) {
    {
        Lock lock(st_.mutex);
        st_.current() = rec;
        st_.fillControls(rec);
        st_.oscillatorsChanged = true;
    }
    s_.render().generateSoundBuf();
}

TimbreRecord ParamStore::timbre() {
    Lock lock(st_.mutex);
    TimbreRecord& cur = st_.current();
    st_.captureTimbre(cur);  // the record holds what the controls show, as before a render
    return cur;
}

TimbreRecord ParamStore::timbre(int index) const {
    Lock lock(st_.mutex);
    return st_.timbres[static_cast<size_t>(std::clamp(index, 0, 1))];
}

int ParamStore::selectedOscillator() const { return st_.read(st_.selectedOscillator); }

void ParamStore::selectOscillator(int k) {
    Lock lock(st_.mutex);
    st_.selectOscillator(k);
}

int ParamStore::currentTimbre() const { return st_.read(st_.currentTimbre); }

void ParamStore::selectTimbre(int t) {
    if (t < 0 || t > 1) return;
    if (t != currentTimbre()) s_.history().recordStep("Timbre " + std::to_string(t + 1));
    {
        Lock lock(st_.mutex);
        st_.captureTimbre(st_.current());
        st_.currentTimbre = t;
        st_.oscillatorsChanged = true;  // the cached oscillators belong to the other timbre
        st_.fillControls(st_.current());
    }
    s_.render().generateSoundBuf();
}

// ---------------------------------------------------------------------------
// Curves and chord

CurveData ParamStore::envelopeGraph() const {
    Lock lock(st_.mutex);
    return st_.envelopeGraph.data();
}

void ParamStore::setEnvelopeGraph(const CurveData& c) { setCurve(st_.envelopeGraph, c, "GraphEnv", "curve graph"); }

CurveData ParamStore::waveFormGraph() const {
    Lock lock(st_.mutex);
    return st_.waveFormGraph.data();
}

void ParamStore::setWaveFormGraph(const CurveData& c) { setCurve(st_.waveFormGraph, c, "Waveform", "curve wave"); }

// A drag on one curve is one step; each edit renders.
void ParamStore::setCurve(Curve& curve, const CurveData& c, const char* step, const char* run) {
    s_.history().recordStep(step, run);
    {
        Lock lock(st_.mutex);
        curve.setData(c);
        // The custom waveform is rebuilt from its curve at the next render.
        if (&curve == &st_.waveFormGraph) st_.oscillatorsChanged = true;
        st_.notifyLocked(Change::Curves);
    }
    s_.render().generateSoundBuf();
}

std::string ParamStore::chordText() const { return st_.read(st_.chordEdit); }

void ParamStore::setChordText(const std::string& text) {
    if (text.substr(0, 30) == chordText()) return;
    s_.history().recordStep("Chord", "chord text");
    st_.write(st_.chordEdit, text.substr(0, 30));
    s_.render().generateSoundBuf();
}

}  // namespace kf
