// The session: the sound being designed (both timbres, the envelope bars,
// the sequencer units, samples, sample rate) and the operations the
// window's and the command line's commands call, reached through the
// session's parts (params(), render(), live(), files(), tools(), history()).
// Parameters are read and written by id (see engine/param_table.h):
// `params().set` holds the value to its range, runs the parameter's
// reaction and queues a notification.
//
// Threading: one owner thread (the window's, or the command line's) calls the
// operations; renders run on the render thread on a snapshot taken under the
// session lock; real-time blocks run on the stream's tick thread. Listeners
// are only ever called from `drainNotifications`, on the thread that calls
// it, with no session lock held; the wake-up callback tells the owner (from
// any thread) that notifications are waiting.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/history.h"
#include "core/timbre_tools.h"
#include "core/utilities.h"
#include "engine/curve.h"
#include "engine/engine.h"
#include "engine/generators.h"
#include "engine/midi_state.h"
#include "engine/param_table.h"
#include "engine/play_buffer.h"
#include "engine/playback_control.h"
#include "engine/random.h"
#include "engine/realtime_renderer.h"
#include "engine/records.h"
#include "engine/render_thread.h"
#include "engine/status.h"
#include "engine/tuning.h"
#include "files/export.h"
#include "files/preset.h"
#include "files/sample.h"
#include "files/settings.h"
#include "units/sound_scheme.h"
#include "core/voice_engine.h"

namespace kf {

// Env1..Env3: attack, sustain, release, amplitude, base, shape, iterations.
struct EnvelopeBars {
    std::array<int32_t, 21> bars{0, 0, 720, 1024, 0, 256, 1, 0, 0, 720, 1024, 0, 256, 1, 0, 0, 720, 1024, 0, 256, 1};
    int32_t& at(int env, int field) { return bars[static_cast<size_t>(env * 7 + field)]; }
    int32_t at(int env, int field) const { return bars[static_cast<size_t>(env * 7 + field)]; }
};

enum class Change {
    Param,         // one parameter: `id` and `value`
    Timbre,        // the whole timbre was refilled (preset, timbre switch, tools)
    Oscillator,    // another oscillator is shown, or its record was refilled
    Units,         // sequencer units
    Curves,        // the graph envelope or the custom waveform
    Samples,
    Preset,        // a preset was loaded / created; caption and name changed
    Redraw,        // the wave display should be drawn again
    RenderStarted,
    RenderProgress,
    RenderFinished,
    Setup,         // the setup dialog's strings (utility names, save directory)
    RealTime,      // the live mode was switched on or off
    History,       // undo/redo steps or the unsaved-changes mark changed
};

struct Notification {
    Change change;
    ParamId id = ParamId::Count;
    long double value = 0;
};

// The harmonics editor's eight preset buttons.
enum class HarmonicsPreset { Clear, Max, Random, Exp, Decay, Keep11010, Keep10101, Mult };

// One measurement of "Normalize": the new OscillatorsVolumeScrollBar
// position for the peak of the last render, whether it moved, and whether
// to render and measure again (only after halving a clipping sound).
struct NormalizeStep {
    int32_t position;
    bool changed;
    bool again;
};
NormalizeStep normalizeStep(int32_t position, int32_t peak);

// What the wave display's curve views run their generators on: copies, so a
// running render is not disturbed and no lock is held while drawing.
struct CurveSources {
    GeneratorParams gen;
    int32_t sampleRate = 0;
    Random random;
    SoundScheme units;
};

// The session's shared state and the work behind its parts. The owner never
// holds one: it holds a Session (below) and reaches the work through its
// parts, each of which holds this by reference.
class SessionCore : public RealTimeRenderer {
public:
    // The start-up state (scale, buffers, timbres, samples, default preset),
    // with the random generator seeded first. No render starts until the
    // owner asks (`startUpRender`, `renderClick`).
    explicit SessionCore(uint32_t randomSeed = 0);
    ~SessionCore() override;
    SessionCore(const SessionCore&) = delete;
    SessionCore& operator=(const SessionCore&) = delete;

    // ---- parameters by id -------------------------------------------------
    long double value(ParamId id) const;
    int32_t get(ParamId id) const { return static_cast<int32_t>(value(id)); }
    // Holds the value to the parameter's range (a Choice value no item stands
    // for is ignored), runs its reaction and queues a notification. Fails
    // only for a sound length memory cannot hold; nothing changes then.
    Status set(ParamId id, long double v);
    std::string label(ParamId id) const;  // the control's label text now

    // ---- notifications ----------------------------------------------------
    using Listener = std::function<void(const Notification&)>;
    int subscribe(Listener l);
    void unsubscribe(int id);
    // Called (from any thread, possibly with the session lock held) when the
    // queue becomes non-empty; it must only schedule a drain, never call in.
    void setWakeup(std::function<void()> wakeup);
    // Delivers the queued notifications on the calling thread, lock-free.
    void drainNotifications();

    // ---- timbres, oscillators, curves, chord ------------------------------
    int currentTimbre() const;
    void selectTimbre(int t);               // "Timbre 1" / "Timbre 2"
    int selectedOscillator() const;
    void selectOscillator(int k);           // radio button k = 0..9
    TimbreRecord timbre();                  // the current timbre with the controls captured
    TimbreRecord timbre(int index) const;   // as stored
    void setTimbre(const TimbreRecord& rec);  // fill the controls from a record, then one render
    // Replace the current timbre's record and refill the controls from it
    // (the "Tools" commands), marking the oscillators changed, then render.
    void replaceTimbre(const TimbreRecord& rec);
    // Rewrites the selected oscillator's 16 harmonic amplitudes as the
    // preset button does, shows them and reacts as a bar change.
    void applyHarmonicsPreset(HarmonicsPreset preset);
    CurveData envelopeGraph() const;
    void setEnvelopeGraph(const CurveData& c);
    CurveData waveFormGraph() const;
    void setWaveFormGraph(const CurveData& c);
    std::string chordText() const;
    void setChordText(const std::string& text);

    // ---- sequencer units ----------------------------------------------------
    // Runs `f` on the units under the session lock (the pages' edits), then
    // raises the units' change event.
    void editUnits(const std::function<void(SoundScheme&)>& f);
    void readUnits(const std::function<void(const SoundScheme&)>& f) const;

    // ---- render driver -----------------------------------------------------
    bool autoRender() const;
    void setAutoRender(bool on);
    void startUpRender();                   // the start-up's first render request
    void generateSoundBuf();
    Status renderClick();                   // "Render" button / F4; refused in the live mode
    void waitForRender();                   // blocks until no render is running or pending
    void stopRender();
    void renderNow();                       // renders on the calling thread (normalize, command line)
    void normalize();
    uint64_t rendersDone() const { return renderer_.rendersDone(); }
    int progress() const { return progress_; }
    bool renderingLight() const { return renderingLight_; }
    bool clip() const { return clip_; }
    int32_t meterLevel() const { return meterLevel_; }
    const PlayBuffer& playBuffer() const { return playBuffer_; }
    PlayBuffer& playBuffer() { return playBuffer_; }  // playback reads it (it has its own lock)
    Status lastError() const;               // e.g. a sequencer unit's message from the last render
    void setSeed(uint32_t seed);
    uint32_t seed() const;                  // the generator state the next render starts from
    // Render threads (0: one per core); every count renders the same samples.
    void setRenderThreads(int threads);
    void scaleChanged(Scale s);
    Scale scale() const;
    NoteTables tuning() const;

    // ---- real time (the stream's tick thread) -----------------------------
    bool realTimeMark() const;
    void setRealTimeMark(bool on);          // the "Realtime" menu item (one mode for the whole program)
    // Why `what` ("Render", "Save") cannot run now: the live mode has no
    // finished sound. Success when it can.
    Status liveModeRefusal(const std::string& what) const;
    void startStream() override;
    void stopStream() override;
    // One block of the live voices: the MIDI queue's entries up to the
    // block's end, then the voice engine. Takes no lock and allocates nothing.
    void renderBlock(SoundBuffer block, int32_t renderPosition) override;
    bool realTimeFlag() const override;
    // The live instrument's voices (1..16), gain (NaN: 1/voices) and octave;
    // kept in the settings and applied from the next block on.
    void setLiveVoices(int voices);
    void setLiveGainDb(double db);
    void setLiveOctaveDown(bool on);
    // The stream's voice engine (made by the first startStream; null before).
    VoiceEngine* liveEngine() { return live_.load(); }
    MidiQueue& midiQueue() { return midiQueue_; }
    // The computer keyboard as a MIDI keyboard: the note sequencer's key map
    // at its entry octave; a note-on (or note-off) into the queue at `stamp`.
    // False for a key the map does not know.
    bool keyboardNote(char key, bool down, int32_t stamp);
    MidiControllers& midiControllers() { return midi_; }
    void setPlayback(PlaybackControl* p);
    // An immutable copy of everything a voice reads of the current sound
    // (taken under the session lock, on the caller's thread).
    std::shared_ptr<const SoundSnapshot> publishSnapshot();

    // ---- presets, samples, export -----------------------------------------
    PresetRecord getPreset();
    void setPreset(const PresetRecord& rec);
    // "Open preset..."; `render` false applies the preset without rendering it.
    // Another kind of file (JSON, WAV, MIDI, XI, text) is refused and nothing
    // changes; a preset of another size opens with `warning` saying so.
    Status openPreset(const std::string& fileName, bool render = true, std::string* warning = nullptr);
    // The same from a preset file's bytes held in memory (a plugin host's
    // saved state); `fileName` names it in the caption.
    Status openPresetBytes(const std::vector<uint8_t>& bytes, const std::string& fileName, bool render = true);
    Status savePreset(const std::string& fileName);  // "Save preset..." after the question
    void newPreset();
    const PresetRecord& defaultPreset() const { return defaultPreset_; }
    std::string presetName() const;
    std::string caption() const;
    Status loadSample(int slot, const std::string& fileName);
    void byteSwapSample(int slot);
    std::string sampleLabel(int slot) const;
    std::string samplePath(int slot) const;
    int32_t sampleCount(int slot) const;
    // "N samples", with a sound file's own rate and the samples its 16-bit
    // conversion clipped, for the Samples group and the command line.
    std::string sampleDetails(int slot) const;
    int64_t sampleClipped(int slot) const;
    Status saveSoundFile(SaveFormat format, std::string* writtenName = nullptr);  // "Save"
    Status saveSampleAs(const std::string& fileName, int filterIndex);
    // The rendered sound in a chosen format (refused in the live mode).
    Status exportSound(const std::string& fileName, SaveFormat format);
    Settings settings() const;
    void setSettings(const Settings& s);
    int32_t sampleRate() const;

    // ---- "Tools" menu, setup dialog, utilities (session_tools.cpp) -------
    // Each rewrites the current timbre's oscillators, refreshes the
    // controls, marks the oscillators changed and renders as "Auto Render" says.
    FatWizard fatWizard() const;            // the wizard's track bars, kept between uses
    void setFatWizard(const FatWizard& w);
    void melodicOscillatorsToC(int octave);  // 3..8
    void octaveShift(bool up);
    void makeFatSound(uint32_t seed);       // "OK" of the Fat wizard with a given seed
    uint32_t makeFatSound();                // ... seeded from the clock; returns the seed
    void tb303Model();                      // renders regardless of "Auto Render"
    // "Process sound file" with the chosen sample (the window does not call
    // it when the open dialog is cancelled). A sample that cannot be read
    // leaves slot 1 empty, as "Open Sample 1" does, and changes nothing else.
    Status processSoundFile(const std::string& sampleFile);
    SetupValues setupValues() const;        // what the dialog shows when it becomes active
    void applySetup(const SetupValues& v);  // its "OK"
    std::string utilityName(int n) const;   // caption of utility button n (1 or 2)
    Status runUtility(int n);               // utility button n with the current sound


    // ---- history (session_history.cpp) -------------------------------------
    // Every change of the sound's state is a step; a run of changes of one
    // control is one step until endEditRun (or another kind of change).
    bool undo();                            // false when there is nothing to undo
    bool redo();
    bool canUndo() const;
    bool canRedo() const;
    std::string undoLabel() const;          // the step's name: "Cut off", "Open preset", ...
    std::string redoLabel() const;
    void endEditRun();                      // a drag ended: the next change is a new step
    // Changes between these two are one step named `label` (a script's `set`).
    void beginCompoundStep(const std::string& label);
    void endCompoundStep();
    // The 4263 bytes "Save preset..." would write now.
    std::vector<uint8_t> presetBytes();
    // The same without what renders write into them (the oscillators'
    // running state, the render length): the settings alone.
    std::vector<uint8_t> settingsBytes();
    // True while the state differs from what was last opened, created or saved.
    bool modified();
    // "Kestrafon - bass.kfp *": the preset's name and the unsaved mark.
    std::string windowTitle();

    // The lock a render's snapshot is taken under; callers outside the
    // session rarely need it.
    std::recursive_mutex& mutex() const { return mutex_; }
    // The generator settings, sample rate, random state and units, with the
    // envelopes brought up to the bars, copied under the lock.
    CurveSources curveSources();

private:
    // controls <-> records
    void captureTimbre(TimbreRecord& rec);  // GetTimbre
    void fillControls(const TimbreRecord& rec);  // SetTimbre without the render
    void getOscillatorParams();
    void setOscillatorParams();
    long double readParam(ParamId id) const;
    bool writeParam(ParamId id, long double v);
    void react(ParamId id, long double v);

    // reactions
    void oscillatorControlChanged();
    void resizeSound(ParamId id, long double v, bool always = false);
    void rewriteOscillators(const std::function<void(TimbreRecord&)>& edit);
    void sampleStartChanged(int slot);
    void parametersChanged();
    void tempoChanged();
    void initEnvelopers();

    // render driver
    void renderBackground();
    void renderLocked();
    std::string bankKey(const TimbreRecord& t) const;
    void prepareEngine();
    void prepareEngineInto(Engine& e);
    void reallocIfNeeded();
    int32_t wantedCapacity() const;

    void notify(const Notification& n);
    void notify(Change c) { notify(Notification{c}); }

    // history
    SessionSnapshot snapshot();
    void restore(const SessionSnapshot& s);
    void recordStep(const std::string& label, const std::string& runKey = {});
    bool stepHistory(bool redo);
    void markSaved();
    // setPreset's work; `reloadSamples` false keeps a slot that already
    // holds the named file with the same start.
    void applyPreset(const PresetRecord& rec, bool reloadSamples);

    mutable std::recursive_mutex mutex_;
    std::mutex engineMutex_;  // one render (background or direct) at a time
    Engine engine_;
    std::vector<int16_t> renderBuffer_;

    // The sound: both timbres, and the controls that edit the current one.
    std::array<TimbreRecord, 2> timbres_;
    int currentTimbre_ = 0;
    int selectedOscillator_ = 0;
    int loadingCount_ = 0;
    TimbreRecord panel_;          // timbre-level controls, as the record stores them
    OscillatorRecord oscPanel_;   // the selected oscillator's controls
    int oscWaveList_ = 0;         // WaveFormComboBox item
    std::array<bool, 10> activeLights_{};
    EnvelopeBars envelopeBars_;
    Curve envelopeGraph_, waveFormGraph_;
    std::string chordEdit_ = "C-5,E-5";
    int32_t ratePosition_ = 4410;  // FrequencyScrollBar: sample rate / 5
    bool autoRender_ = true;
    std::atomic<bool> realTimeMark_{false};
    bool renderRequested_ = false;
    bool oscillatorsChanged_ = false;
    NoteTables tuning_;
    GeneratorParams gen_;
    SoundScheme units_;
    SampleSlot sample1_, sample2_;
    MidiQueue midiQueue_;
    MidiControllers midi_;
    Random random_;
    std::string presetName_ = "NoName";
    std::string caption_ = "Kestrafon";
    PresetRecord defaultPreset_;
    Settings settings_;
    PlayBuffer playBuffer_;
    std::atomic<bool> clip_{false};
    std::atomic<int32_t> meterLevel_{0};
    std::atomic<int> progress_{0};
    std::atomic<bool> renderingLight_{false};
    PlaybackControl* playback_ = nullptr;
    Status lastError_;
    std::unique_ptr<VoiceEngine> liveOwned_;
    std::atomic<VoiceEngine*> live_{nullptr};
    void applyLiveSettings();

    std::mutex notifyMutex_;
    std::deque<Notification> pending_;
    std::function<void()> wakeup_;
    std::vector<std::pair<int, Listener>> listeners_;
    int nextListener_ = 1;

    FatWizard fatWizard_;
    History history_;
    int historyHold_ = 0;  // > 0: the changes belong to a step already recorded
    std::vector<uint8_t> savedBytes_;  // what was last opened, created or saved, for `modified`
    RenderThread renderer_;  // last: stopped first, before the state it reads
};

// ---- the parts ---------------------------------------------------------------
// Each part is one job's view of the session; all hold the same core.

// Parameters by id, the notifications their changes raise, the timbres,
// the selected oscillator, the curves, the chord and the sequencer units.
// It also publishes the sound snapshots the live voices read.
class ParamStore {
public:
    explicit ParamStore(SessionCore& c) : c_(c) {}
    long double value(ParamId id) const { return c_.value(id); }
    int32_t get(ParamId id) const { return c_.get(id); }
    Status set(ParamId id, long double v) { return c_.set(id, v); }
    std::string label(ParamId id) const { return c_.label(id); }

    using Listener = SessionCore::Listener;
    int subscribe(Listener l) { return c_.subscribe(std::move(l)); }
    void unsubscribe(int id) { c_.unsubscribe(id); }
    void setWakeup(std::function<void()> wakeup) { c_.setWakeup(std::move(wakeup)); }
    void drainNotifications() { c_.drainNotifications(); }

    int currentTimbre() const { return c_.currentTimbre(); }
    void selectTimbre(int t) { c_.selectTimbre(t); }
    int selectedOscillator() const { return c_.selectedOscillator(); }
    void selectOscillator(int k) { c_.selectOscillator(k); }
    TimbreRecord timbre() { return c_.timbre(); }
    TimbreRecord timbre(int index) const { return c_.timbre(index); }
    void setTimbre(const TimbreRecord& rec) { c_.setTimbre(rec); }
    void replaceTimbre(const TimbreRecord& rec) { c_.replaceTimbre(rec); }
    CurveData envelopeGraph() const { return c_.envelopeGraph(); }
    void setEnvelopeGraph(const CurveData& c) { c_.setEnvelopeGraph(c); }
    CurveData waveFormGraph() const { return c_.waveFormGraph(); }
    void setWaveFormGraph(const CurveData& c) { c_.setWaveFormGraph(c); }
    std::string chordText() const { return c_.chordText(); }
    void setChordText(const std::string& text) { c_.setChordText(text); }
    void editUnits(const std::function<void(SoundScheme&)>& f) { c_.editUnits(f); }
    void readUnits(const std::function<void(const SoundScheme&)>& f) const { c_.readUnits(f); }
    std::shared_ptr<const SoundSnapshot> publishSnapshot() { return c_.publishSnapshot(); }

private:
    SessionCore& c_;
};

// Rendering the sound: automatic and requested renders, waiting and
// stopping, the meters, the play buffer, the seed, threads and tuning.
class RenderDriver {
public:
    explicit RenderDriver(SessionCore& c) : c_(c) {}
    bool autoRender() const { return c_.autoRender(); }
    void setAutoRender(bool on) { c_.setAutoRender(on); }
    void startUpRender() { c_.startUpRender(); }
    void generateSoundBuf() { c_.generateSoundBuf(); }
    Status renderClick() { return c_.renderClick(); }
    void waitForRender() { c_.waitForRender(); }
    void stopRender() { c_.stopRender(); }
    void renderNow() { c_.renderNow(); }
    void normalize() { c_.normalize(); }
    uint64_t rendersDone() const { return c_.rendersDone(); }
    int progress() const { return c_.progress(); }
    bool renderingLight() const { return c_.renderingLight(); }
    bool clip() const { return c_.clip(); }
    int32_t meterLevel() const { return c_.meterLevel(); }
    const PlayBuffer& playBuffer() const { return c_.playBuffer(); }
    PlayBuffer& playBuffer() { return c_.playBuffer(); }
    Status lastError() const { return c_.lastError(); }
    void setSeed(uint32_t seed) { c_.setSeed(seed); }
    uint32_t seed() const { return c_.seed(); }
    void setRenderThreads(int threads) { c_.setRenderThreads(threads); }
    void scaleChanged(Scale s) { c_.scaleChanged(s); }
    Scale scale() const { return c_.scale(); }
    NoteTables tuning() const { return c_.tuning(); }
    CurveSources curveSources() { return c_.curveSources(); }
    std::recursive_mutex& mutex() const { return c_.mutex(); }

private:
    SessionCore& c_;
};

// The live mode: the stream the sound card or a host drives, its MIDI
// queue and controllers, and the computer keyboard's notes.
class LiveStream {
public:
    explicit LiveStream(SessionCore& c) : c_(c) {}
    bool realTimeMark() const { return c_.realTimeMark(); }
    void setRealTimeMark(bool on) { c_.setRealTimeMark(on); }
    Status liveModeRefusal(const std::string& what) const { return c_.liveModeRefusal(what); }
    // What the stream drives (the core itself: no hop on the audio path).
    RealTimeRenderer& renderer() { return c_; }
    void startStream() { c_.startStream(); }
    void stopStream() { c_.stopStream(); }
    void renderBlock(SoundBuffer block, int32_t renderPosition) { c_.renderBlock(block, renderPosition); }
    bool realTimeFlag() const { return c_.realTimeFlag(); }
    MidiQueue& midiQueue() { return c_.midiQueue(); }
    void setLiveVoices(int voices) { c_.setLiveVoices(voices); }
    void setLiveGainDb(double db) { c_.setLiveGainDb(db); }
    void setLiveOctaveDown(bool on) { c_.setLiveOctaveDown(on); }
    VoiceEngine* liveEngine() { return c_.liveEngine(); }
    bool keyboardNote(char key, bool down, int32_t stamp) { return c_.keyboardNote(key, down, stamp); }
    MidiControllers& midiControllers() { return c_.midiControllers(); }
    void setPlayback(PlaybackControl* p) { c_.setPlayback(p); }

private:
    SessionCore& c_;
};

// Presets, samples, sound files, the settings and the sample rate.
class PresetFiles {
public:
    explicit PresetFiles(SessionCore& c) : c_(c) {}
    PresetRecord getPreset() { return c_.getPreset(); }
    void setPreset(const PresetRecord& rec) { c_.setPreset(rec); }
    Status openPreset(const std::string& fileName, bool render = true, std::string* warning = nullptr) {
        return c_.openPreset(fileName, render, warning);
    }
    Status openPresetBytes(const std::vector<uint8_t>& bytes, const std::string& fileName, bool render = true) {
        return c_.openPresetBytes(bytes, fileName, render);
    }
    Status savePreset(const std::string& fileName) { return c_.savePreset(fileName); }
    void newPreset() { c_.newPreset(); }
    const PresetRecord& defaultPreset() const { return c_.defaultPreset(); }
    std::string presetName() const { return c_.presetName(); }
    std::string caption() const { return c_.caption(); }
    Status loadSample(int slot, const std::string& fileName) { return c_.loadSample(slot, fileName); }
    void byteSwapSample(int slot) { c_.byteSwapSample(slot); }
    std::string sampleLabel(int slot) const { return c_.sampleLabel(slot); }
    std::string samplePath(int slot) const { return c_.samplePath(slot); }
    int32_t sampleCount(int slot) const { return c_.sampleCount(slot); }
    std::string sampleDetails(int slot) const { return c_.sampleDetails(slot); }
    int64_t sampleClipped(int slot) const { return c_.sampleClipped(slot); }
    Status saveSoundFile(SaveFormat format, std::string* writtenName = nullptr) {
        return c_.saveSoundFile(format, writtenName);
    }
    Status saveSampleAs(const std::string& fileName, int filterIndex) { return c_.saveSampleAs(fileName, filterIndex); }
    Status exportSound(const std::string& fileName, SaveFormat format) { return c_.exportSound(fileName, format); }
    Settings settings() const { return c_.settings(); }
    void setSettings(const Settings& s) { c_.setSettings(s); }
    int32_t sampleRate() const { return c_.sampleRate(); }

private:
    SessionCore& c_;
};

// The "Tools" menu, the harmonics presets, the setup dialog and utilities.
class SoundTools {
public:
    explicit SoundTools(SessionCore& c) : c_(c) {}
    void applyHarmonicsPreset(HarmonicsPreset preset) { c_.applyHarmonicsPreset(preset); }
    FatWizard fatWizard() const { return c_.fatWizard(); }
    void setFatWizard(const FatWizard& w) { c_.setFatWizard(w); }
    void melodicOscillatorsToC(int octave) { c_.melodicOscillatorsToC(octave); }
    void octaveShift(bool up) { c_.octaveShift(up); }
    void makeFatSound(uint32_t seed) { c_.makeFatSound(seed); }
    uint32_t makeFatSound() { return c_.makeFatSound(); }
    void tb303Model() { c_.tb303Model(); }
    Status processSoundFile(const std::string& sampleFile) { return c_.processSoundFile(sampleFile); }
    SetupValues setupValues() const { return c_.setupValues(); }
    void applySetup(const SetupValues& v) { c_.applySetup(v); }
    std::string utilityName(int n) const { return c_.utilityName(n); }
    Status runUtility(int n) { return c_.runUtility(n); }

private:
    SessionCore& c_;
};

// Undo and redo, the steps' names, and whether the sound was saved.
class EditHistory {
public:
    explicit EditHistory(SessionCore& c) : c_(c) {}
    bool undo() { return c_.undo(); }
    bool redo() { return c_.redo(); }
    bool canUndo() const { return c_.canUndo(); }
    bool canRedo() const { return c_.canRedo(); }
    std::string undoLabel() const { return c_.undoLabel(); }
    std::string redoLabel() const { return c_.redoLabel(); }
    void endEditRun() { c_.endEditRun(); }
    void beginCompoundStep(const std::string& label) { c_.beginCompoundStep(label); }
    void endCompoundStep() { c_.endCompoundStep(); }
    std::vector<uint8_t> presetBytes() { return c_.presetBytes(); }
    std::vector<uint8_t> settingsBytes() { return c_.settingsBytes(); }
    bool modified() { return c_.modified(); }
    std::string windowTitle() { return c_.windowTitle(); }

private:
    SessionCore& c_;
};

// The session the window, the command line, the plugin and the tests hold:
// the core and its parts, nothing else.
class Session {
public:
    explicit Session(uint32_t randomSeed = 0)
        : core_(randomSeed), params_(core_), render_(core_), live_(core_), files_(core_), tools_(core_),
          history_(core_) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    ParamStore& params() { return params_; }
    const ParamStore& params() const { return params_; }
    RenderDriver& render() { return render_; }
    const RenderDriver& render() const { return render_; }
    LiveStream& live() { return live_; }
    const LiveStream& live() const { return live_; }
    PresetFiles& files() { return files_; }
    const PresetFiles& files() const { return files_; }
    SoundTools& tools() { return tools_; }
    const SoundTools& tools() const { return tools_; }
    EditHistory& history() { return history_; }
    const EditHistory& history() const { return history_; }

private:
    SessionCore core_;
    ParamStore params_;
    RenderDriver render_;
    LiveStream live_;
    PresetFiles files_;
    SoundTools tools_;
    EditHistory history_;
};

}  // namespace kf
