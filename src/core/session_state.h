// What the session's parts share: the sound being designed (both timbres,
// the controls that edit the current one, curves, units, samples, rate),
// the notification queue, and the few operations on that state that more
// than one part needs (records <-> controls, the generator settings, the
// live voices' snapshot). Only the session's own files include this; the
// window and the command line reach the state through the parts.
//
// One plain lock guards it all. A part's operation takes it once, does its
// work on the state through the helpers below (which expect it held), and
// lets it go before it calls another part or notifies without it; the
// render works on a copy and holds it only to take that copy.
#pragma once

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/session.h"
#include "core/voice_engine.h"
#include "engine/curve.h"
#include "engine/generators.h"
#include "engine/midi_state.h"
#include "engine/playback_control.h"
#include "engine/random.h"
#include "engine/records.h"
#include "engine/status.h"
#include "engine/tuning.h"
#include "files/preset.h"
#include "files/sample.h"
#include "files/settings.h"
#include "units/sound_scheme.h"

namespace kf {

// Env1..Env3: attack, sustain, release, amplitude, base, shape, iterations.
struct EnvelopeBars {
    std::array<int32_t, 21> bars{0, 0, 720, 1024, 0, 256, 1, 0, 0, 720, 1024, 0, 256, 1, 0, 0, 720, 1024, 0, 256, 1};
    int32_t& at(int env, int field) { return bars[static_cast<size_t>(env * 7 + field)]; }
    int32_t at(int env, int field) const { return bars[static_cast<size_t>(env * 7 + field)]; }
};

// A plain mutex that knows which thread holds it: taking it again on that
// thread stops the program with a message instead of hanging it.
class StateMutex {
public:
    void lock();
    void unlock();
    bool try_lock();

private:
    std::mutex m_;
    std::atomic<std::thread::id> owner_{};
};

struct SessionState {
    using Lock = std::lock_guard<StateMutex>;

    explicit SessionState(uint32_t randomSeed);

    // One field copied, or stored, under the lock: the parts' plain getters
    // and setters.
    template <class T>
    T read(const T& field) const {
        Lock lock(mutex);
        return field;
    }
    template <class T>
    void write(T& field, T value) {
        Lock lock(mutex);
        field = std::move(value);
    }

    // ---- the work on the state (the caller holds `mutex`) --------------------
    TimbreRecord& current() { return timbres[static_cast<size_t>(currentTimbre)]; }
    SampleSlot& sample(int slot) { return slot == 2 ? sample2 : sample1; }
    const SampleSlot& sample(int slot) const { return slot == 2 ? sample2 : sample1; }
    int32_t sampleRate() const { return ratePosition * 5; }
    void captureTimbre(TimbreRecord& rec);   // the controls into a record
    void fillControls(const TimbreRecord& rec);  // a record into the controls, no render
    void getOscillatorParams();              // the selected oscillator's controls into its record
    void setOscillatorParams();              // ... and back
    long double readParam(ParamId id) const;
    bool writeParam(ParamId id, long double v);  // an already clamped value; false: unchanged
    // The generator settings brought up to the envelope bars and controls.
    void initEnvelopers();
    // The render length the tempo and the note count give at this rate.
    int32_t tempoRenderLength() const;
    // An immutable copy of everything a live voice reads of the sound.
    std::shared_ptr<const SoundSnapshot> makeSnapshot();
    // The preset "Save preset..." would write now, the controls captured.
    PresetRecord currentPreset();
    // Fills the current timbre, envelope bars, samples and rate from a
    // preset; `reloadSamples` false keeps a slot that already holds the
    // named file with the same start. True when playback should restart.
    bool applyPreset(const PresetRecord& rec, bool reloadSamples);
    bool applyDefaultPreset();               // ... the start-up preset, named as at start-up
    void selectOscillator(int k);            // 0..9

    // ---- notifications ------------------------------------------------------
    // Queues `n` (and hands a changed sound to the live voices); the owner
    // delivers the queue with `drainNotifications`. notifyLocked is for a
    // caller that holds `mutex`, notify for one that does not.
    void notifyLocked(const Notification& n);
    void notifyLocked(Change c) { notifyLocked(Notification{c}); }
    void notify(const Notification& n);
    void notify(Change c) { notify(Notification{c}); }
    // While the live mode streams, the voices hear the sound as it is now
    // from their next block (a caller that does not hold `mutex`).
    void publishToLive();

    mutable StateMutex mutex;

    // The sound: both timbres, and the controls that edit the current one.
    std::array<TimbreRecord, 2> timbres;
    int currentTimbre = 0;
    int selectedOscillator = 0;
    int loadingCount = 0;         // > 0: controls are being filled, reactions wait
    TimbreRecord panel;           // timbre-level controls, as the record stores them
    OscillatorRecord oscPanel;    // the selected oscillator's controls
    int oscWaveList = 0;          // WaveFormComboBox item
    std::array<bool, 10> activeLights{};
    EnvelopeBars envelopeBars;
    Curve envelopeGraph, waveFormGraph;
    std::string chordEdit = "C-5,E-5";
    int32_t ratePosition = 4410;  // FrequencyScrollBar: sample rate / 5
    bool autoRender = true;
    std::atomic<bool> realTimeMark{false};
    bool renderRequested = false;
    bool oscillatorsChanged = false;
    NoteTables tuning;
    GeneratorParams gen;
    SoundScheme units;
    SampleSlot sample1, sample2;
    MidiQueue midiQueue;
    MidiControllers midi;
    Random random;
    std::string presetName = "NoName";
    std::string caption = "Kestrafon";
    PresetRecord defaultPreset;
    Settings settings;
    PlaybackControl* playback = nullptr;
    std::atomic<VoiceEngine*> live{nullptr};  // the stream's voices, owned by the live part

    std::mutex notifyMutex;  // the queue and listeners only; never held while calling out
    std::deque<Notification> pending;
    std::function<void()> wakeup;
    std::vector<std::pair<int, ParamStore::Listener>> listeners;
    int nextListener = 1;

private:
    void publishLocked();
    void queue(const Notification& n);
};

// The finished sound as the files and utilities take it: a copy of the
// play buffer, at the rate its samples have (`fallbackRate` before any render).
struct RenderedSound {
    std::vector<int16_t> samples;
    int32_t rate = 0;
    SoundBuffer view() { return SoundBuffer{static_cast<int32_t>(samples.size()), samples.data()}; }
};
RenderedSound renderedSound(const PlayBuffer& played, int32_t fallbackRate);

}  // namespace kf
