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

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/history.h"
#include "core/timbre_tools.h"
#include "core/utilities.h"
#include "core/voice_engine.h"
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
#include "files/settings.h"
#include "units/sound_scheme.h"

namespace kf {

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


struct SessionState;
class Session;

// ---- the parts ---------------------------------------------------------------
// Each part does one job on the state the session shares between them
// (session_state.h) and reaches the others through the session.

// Parameters by id, the notifications their changes raise, the timbres,
// the selected oscillator, the curves, the chord and the sequencer units
// (session_params.cpp).
class ParamStore {
public:
    ParamStore(SessionState& st, Session& s) : st_(st), s_(s) {}

    long double value(ParamId id) const;
    int32_t get(ParamId id) const { return static_cast<int32_t>(value(id)); }
    // Holds the value to the parameter's range (a Choice value no item stands
    // for is ignored), runs its reaction and queues a notification. Fails
    // only for a sound length memory cannot hold; nothing changes then.
    Status set(ParamId id, long double v);
    std::string label(ParamId id) const;  // the control's label text now

    using Listener = std::function<void(const Notification&)>;
    int subscribe(Listener l);
    void unsubscribe(int id);
    // Called (from any thread, possibly with the session lock held) when the
    // queue becomes non-empty; it must only schedule a drain, never call in.
    void setWakeup(std::function<void()> wakeup);
    // Delivers the queued notifications on the calling thread, lock-free.
    void drainNotifications();

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
    CurveData envelopeGraph() const;
    void setEnvelopeGraph(const CurveData& c);
    CurveData waveFormGraph() const;
    void setWaveFormGraph(const CurveData& c);
    std::string chordText() const;
    void setChordText(const std::string& text);
    // Runs `f` on the units under the session lock (the pages' edits), then
    // raises the units' change event.
    void editUnits(const std::function<void(SoundScheme&)>& f);
    void readUnits(const std::function<void(const SoundScheme&)>& f) const;

private:
    void react(ParamId id, long double v);
    void oscillatorControlChanged();
    void sampleStartChanged(int slot);
    void unitsChanged();
    void tempoChanged();
    void setCurve(Curve& curve, const CurveData& c, const char* step, const char* run);

    SessionState& st_;
    Session& s_;
};

// Rendering the sound: automatic and requested renders, waiting and
// stopping, the meters, the play buffer, the seed, threads and tuning
// (session_render.cpp).
class RenderDriver {
public:
    RenderDriver(SessionState& st, Session& s);
    ~RenderDriver();
    RenderDriver(const RenderDriver&) = delete;
    RenderDriver& operator=(const RenderDriver&) = delete;

    bool autoRender() const;
    void setAutoRender(bool on);
    void startUpRender();                   // the start-up's first render request
    void generateSoundBuf();                // a change asks for a render (as "Auto Render" says)
    Status renderClick();                   // "Render" button / F4; refused in the live mode
    void waitForRender();                   // blocks until no render is running or pending
    void stopRender();
    void renderNow();                       // renders on the calling thread (normalize, command line)
    void normalize();
    // Length and additional silence size the buffers: stops playback and
    // the render, stores `v` (`always`: renders even if it is unchanged),
    // reallocates, renders anew and plays again if it was playing.
    void resizeSound(ParamId id, long double v, bool always = false);
    uint64_t rendersDone() const { return renderer_.rendersDone(); }
    int progress() const;
    bool renderingLight() const;
    bool clip() const;
    int32_t meterLevel() const;
    PlayBuffer& playBuffer();  // playback reads it (it has its own lock)
    const PlayBuffer& playBuffer() const;
    Status lastError() const;               // e.g. a sequencer unit's message from the last render
    void setSeed(uint32_t seed);
    uint32_t seed() const;                  // the generator state the next render starts from
    // Render threads (0: one per core); every count renders the same samples.
    void setRenderThreads(int threads);
    void scaleChanged(Scale s);
    Scale scale() const;
    NoteTables tuning() const;
    // The generator settings, sample rate, random state and units, with the
    // envelopes brought up to the bars, copied under the lock.
    CurveSources curveSources();

private:
    void renderOnce();
    std::string bankKey(const TimbreRecord& t) const;
    void prepareEngine();
    void reallocIfNeeded();
    int32_t wantedCapacity() const;

    SessionState& st_;
    Session& s_;
    std::mutex engineMutex_;  // one render (background or direct) at a time
    Engine engine_;
    std::vector<int16_t> renderBuffer_;
    // The render's results; the window reads the atomics without the lock.
    PlayBuffer playBuffer_;
    std::atomic<bool> clip_{false};
    std::atomic<int32_t> meterLevel_{0};
    std::atomic<int> progress_{0};
    std::atomic<bool> renderingLight_{false};
    Status lastError_;  // under the session lock
    RenderThread renderer_;  // last: stopped first, before the engine it drives
};

// The live mode: the stream the sound card or a host drives, its MIDI
// queue and controllers, the computer keyboard's notes, and the snapshots
// of the sound the voices read (session_live.cpp).
class LiveStream : public RealTimeRenderer {
public:
    LiveStream(SessionState& st, Session& s) : st_(st), s_(s) {}
    ~LiveStream() override;
    bool realTimeMark() const;
    void setRealTimeMark(bool on);          // the "Realtime" menu item (one mode for the whole program)
    // Why `what` ("Render", "Save") cannot run now: the live mode has no
    // finished sound. Success when it can.
    Status liveModeRefusal(const std::string& what) const;
    // What the stream drives: this part itself, no hop on the audio path.
    RealTimeRenderer& renderer() { return *this; }
    void startStream() override;
    void stopStream() override;
    // One block of the live voices: the MIDI queue's entries up to the
    // block's end, then the voice engine. Takes no lock and allocates nothing.
    void renderBlock(SoundBuffer block, int32_t renderPosition) override;
    bool realTimeFlag() const override;
    MidiQueue& midiQueue();
    // The live instrument's voices (1..16), gain (NaN: 1/voices) and octave;
    // kept in the settings and applied from the next block on.
    void setLiveVoices(int voices);
    void setLiveGainDb(double db);
    void setLiveOctaveDown(bool on);
    void applyLiveSettings();               // the settings' values to the voices
    // The stream's voice engine (made by the first startStream; null before).
    VoiceEngine* liveEngine();
    // The computer keyboard as a MIDI keyboard: the note sequencer's key map
    // at its entry octave; a note-on (or note-off) into the queue at `stamp`.
    // False for a key the map does not know.
    bool keyboardNote(char key, bool down, int32_t stamp);
    MidiControllers& midiControllers();
    // The control-change number (0..) and sensitivity (1..256) of the
    // controller that feeds Midi1 (n = 0) or Midi2 (n = 1); the live
    // voices follow from their next block.
    void setControllerNumber(int n, int32_t number);
    void setControllerSensitivity(int n, int32_t sensitivity);
    void setPlayback(PlaybackControl* p);
    // An immutable copy of everything a voice reads of the current sound
    // (taken under the session lock, on the caller's thread).
    std::shared_ptr<const SoundSnapshot> publishSnapshot();

private:
    SessionState& st_;
    Session& s_;
    std::unique_ptr<VoiceEngine> engine_;
};

// Presets, samples, sound files, the settings and the sample rate
// (session_presets.cpp, session_export.cpp).
class PresetFiles {
public:
    PresetFiles(SessionState& st, Session& s) : st_(st), s_(s) {}
    PresetRecord getPreset();
    // `reloadSamples` false keeps a slot that already holds the named file
    // with the same start (undo's restore).
    void setPreset(const PresetRecord& rec, bool reloadSamples = true);
    // "Open preset..."; `render` false applies the preset without rendering it.
    // Another kind of file (JSON, WAV, MIDI, XI, text) is refused and nothing
    // changes; a preset of another size opens with `warning` saying so.
    Status openPreset(const std::string& fileName, bool render = true, std::string* warning = nullptr);
    // The same from a preset file's bytes held in memory (a plugin host's
    // saved state); `fileName` names it in the caption.
    Status openPresetBytes(const std::vector<uint8_t>& bytes, const std::string& fileName, bool render = true);
    Status savePreset(const std::string& fileName);  // "Save preset..." after the question
    void newPreset();
    const PresetRecord& defaultPreset() const;
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

private:
    SessionState& st_;
    Session& s_;
};

// The "Tools" menu, the harmonics presets, the setup dialog and utilities.
// Each tool rewrites the current timbre's oscillators, refreshes the
// controls, marks the oscillators changed and renders as "Auto Render"
// says (session_tools.cpp).
class SoundTools {
public:
    SoundTools(SessionState& st, Session& s) : st_(st), s_(s) {}
    // Rewrites the selected oscillator's 16 harmonic amplitudes as the
    // preset button does, shows them and reacts as a bar change.
    void applyHarmonicsPreset(HarmonicsPreset preset);
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

private:
    void rewriteOscillators(const std::function<void(TimbreRecord&)>& edit);

    SessionState& st_;
    Session& s_;
    FatWizard fatWizard_;  // under the session lock
};

// Undo and redo, the steps' names, and whether the sound was saved
// (session_history.cpp). Every change of the sound's state is a step; a run
// of changes of one control is one step until endEditRun (or another kind
// of change).
class EditHistory {
public:
    EditHistory(SessionState& st, Session& s) : st_(st), s_(s) {}
    bool undo();                            // false when there is nothing to undo
    bool redo();
    bool canUndo() const;
    bool canRedo() const;
    std::string undoLabel() const;          // the step's name: "Cut off", "Open preset", ...
    std::string redoLabel() const;
    // Keeps the state as it is now to go back to for the step `label`; a
    // step with the run key of the one before joins it.
    void recordStep(const std::string& label, const std::string& runKey = {});
    void endEditRun();                      // a drag ended: the next change is a new step
    // Changes between these two are one step named `label` (a script's `set`).
    void beginCompoundStep(const std::string& label);
    void endCompoundStep();
    // The 4263 bytes "Save preset..." would write now.
    std::vector<uint8_t> presetBytes();
    // The same without what renders write into them (the oscillators'
    // running state, the render length): the settings alone.
    std::vector<uint8_t> settingsBytes();
    void markSaved();                       // what is there now was opened, created or saved
    // True while the state differs from what was last opened, created or saved.
    bool modified();
    // "Kestrafon - bass.kfp *": the preset's name and the unsaved mark.
    std::string windowTitle();

private:
    SessionSnapshot snapshot();
    void restore(const SessionSnapshot& s);
    bool stepHistory(bool redo);

    SessionState& st_;
    Session& s_;
    History history_;
    int hold_ = 0;  // > 0: the changes belong to a step already recorded
    std::vector<uint8_t> savedBytes_;  // what was last opened, created or saved, for `modified`
};

// The session the window, the command line, the plugin and the tests hold:
// the shared state and its parts. Construction sets up the start-up sound
// (scale, buffers, timbres, samples, default preset) with the random
// generator seeded first; no render starts until the owner asks
// (`render().startUpRender()`, `render().renderClick()`).
class Session {
public:
    explicit Session(uint32_t randomSeed = 0);
    ~Session();
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
    std::unique_ptr<SessionState> state_;
    ParamStore params_;
    LiveStream live_;
    PresetFiles files_;
    SoundTools tools_;
    EditHistory history_;
    RenderDriver render_;  // last: its thread stops before the other parts go
};

}  // namespace kf
