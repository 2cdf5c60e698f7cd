// The session: everything the main window's controls hold (both timbres,
// the control positions, the envelope bars, the sequencer units, samples,
// sample rate) and the operations the window's commands call. The window
// only mirrors this state; the command line drives it directly.
//
// Threading: the window (or command line) thread calls every operation; the
// render thread works on a snapshot taken under `mutex()` at the start of
// each render. Notifications may arrive on the render thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/curve.h"
#include "engine/engine.h"
#include "engine/generators.h"
#include "engine/midi_state.h"
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

namespace kf {

// Positions of the Oscillators page controls (they show the selected oscillator).
struct OscillatorControls {
    std::array<int32_t, 16> harmonicLevels{};   // HarmonicBars
    std::array<int32_t, 16> harmonicDetunes{};  // DetuneHarmonicBars
    int32_t volume = 128;                       // SineGeneratorVolumeBar (x128 = Volume)
    int32_t frequency = 440;                    // OscillatorFrequencyBar
    int32_t relativeFrequency = 1000;
    int32_t shape = 1024;
    int32_t phase = 0;
    bool harmonicsActive = false;
    bool filter = true, melodic = true, invert = false, ringMod = false, sync = false, phaseMod = false, fm = false;
    uint16_t volumeSources = 1, frequencySources = 1, shapeSources = 1;
    int waveList = 0;  // WaveFormComboBox item
};

// Env1..Env3: attack, sustain, release, amplitude, base, shape, iterations.
struct EnvelopeBars {
    std::array<int32_t, 21> bars{0, 0, 720, 1024, 0, 256, 1, 0, 0, 720, 1024, 0, 256, 1, 0, 0, 720, 1024, 0, 256, 1};
    int32_t& at(int env, int field) { return bars[static_cast<size_t>(env * 7 + field)]; }
    int32_t at(int env, int field) const { return bars[static_cast<size_t>(env * 7 + field)]; }
};

enum class Change {
    Timbre,        // any timbre-level control or record content
    Oscillator,    // the selected oscillator's controls or the active lights
    Envelopes,     // envelope bars
    Units,         // sequencer units
    Samples,
    SampleRate,
    Preset,        // a preset was loaded / created; caption and name changed
    RenderStarted,
    RenderProgress,
    RenderFinished,
};

// One measurement of "Normalize": the new OscillatorsVolumeScrollBar
// position for the peak of the last render, whether it moved, and whether
// to render and measure again (only after halving a clipping sound).
struct NormalizeStep {
    int32_t position;
    bool changed;
    bool again;
};
NormalizeStep normalizeStep(int32_t position, int32_t peak);

class Session : public RealTimeRenderer {
public:
    // The start-up sequence (scale, buffers, timbres, samples, first render
    // request, default preset), with the random generator seeded first.
    explicit Session(uint32_t randomSeed = 0);
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // ---- state the window binds to ---------------------------------------
    std::array<TimbreRecord, 2> timbres;
    int currentTimbre = 0;
    int selectedOscillator = 0;
    int loadingCount = 0;

    TimbreRecord panel;           // the timbre-level controls (positions as the record stores them)
    std::string chordEdit = "C-5,E-5";
    OscillatorControls osc;
    std::array<bool, 10> activeLights{};
    EnvelopeBars envelopeBars;
    Curve envelopeGraph, waveFormGraph;
    int32_t frequencyScrollBar = 4410;  // sample rate / 5
    bool autoRender = true;
    bool realTimeMark = false;          // the "Realtime" menu item
    bool renderRequested = false;
    bool oscillatorsChanged = false;
    NoteTables tuning;
    GeneratorParams gen;                // filled by initEnvelopers
    SoundScheme units;
    SampleSlot sample1, sample2;
    MidiQueue midiQueue;
    MidiControllers midi;
    Random random;
    std::string presetName = "NoName";
    std::string caption = "Kestrafon";
    PresetRecord defaultPreset;
    Settings settings;
    PlayBuffer playBuffer;
    std::atomic<bool> clip{false};
    std::atomic<int32_t> meterLevel{0};
    std::atomic<int> progress{0};
    std::atomic<bool> renderingLight{false};
    PlaybackControl* playback = nullptr;

    int32_t sampleRate() const { return frequencyScrollBar * 5; }
    TimbreRecord& current() { return timbres[static_cast<size_t>(currentTimbre)]; }

    // ---- notifications ----------------------------------------------------
    using Listener = std::function<void(Change)>;
    int subscribe(Listener l);
    void unsubscribe(int id);

    // ---- timbre <-> controls ---------------------------------------------
    void getTimbre(TimbreRecord& rec);
    void setTimbre(const TimbreRecord& rec);
    void getOscillatorParams();
    void setOscillatorParams();
    void selectOscillator(int k);   // radio button k = 0..9
    void selectTimbre(int t);       // "Timbre 1" / "Timbre 2"

    // ---- control reactions (what a change of a control sets off) ----------
    void timbreControlChanged();            // the common reaction: generateSoundBuf
    void oscillatorControlChanged();        // osc controls: flag, getOscillatorParams, render
    void oscillatorsAffectingChanged();     // calm switch, common oscillator level
    Status lengthChanged(int32_t length);   // LengthNumberEdit (stop, realloc, render, replay); refuses lengths memory cannot hold
    void additionalSilenceChanged(int32_t pos);
    void sampleRateChanged(int32_t position);
    void scaleChanged(Scale s);
    void parametersChanged();               // the sequencer units' change event

    // ---- rendering ---------------------------------------------------------
    void generateSoundBuf();
    void renderClick();                     // "Render" button / F4
    void initEnvelopers();
    void waitForRender();                   // blocks until no render is running or pending
    void stopRender();
    // Renders now on the calling thread (normalize, command line).
    void renderNow();
    void normalize();

    // ---- real time (called by the stream's tick thread) -------------------
    void startStream() override;
    void renderBlock(SoundBuffer block, int32_t renderPosition) override;
    bool realTimeFlag() const override;
    void tempoChanged();                    // TempoEditChange: render length from the tempo
    uint64_t rendersDone() const { return renderer_.rendersDone(); }

    // ---- presets, samples, export -----------------------------------------
    PresetRecord getPreset();
    void setPreset(const PresetRecord& rec);
    // "Open preset..."; `render` false applies the preset without rendering it.
    Status openPreset(const std::string& fileName, bool render = true);
    Status savePreset(const std::string& fileName);  // "Save preset..." after the question
    void newPreset();
    Status loadSample(int slot, const std::string& fileName);
    void byteSwapSample(int slot);
    void sampleStartChanged(int slot, int32_t start);
    Status saveSoundFile(SaveFormat format, std::string* writtenName = nullptr);  // "Save"
    Status saveSampleAs(const std::string& fileName, int filterIndex);

    Status lastError() const;               // e.g. a sequencer unit's message from the last render

    std::recursive_mutex& mutex() const { return mutex_; }
    Engine& engine() { return engine_; }    // only while no render runs

private:
    void notify(Change c);
    void renderBackground();
    void renderLocked();
    void prepareEngine();
    void reallocIfNeeded();
    void resizeSound(int32_t TimbreRecord::*field, int32_t value);
    int32_t wantedCapacity() const;

    mutable std::recursive_mutex mutex_;
    std::mutex engineMutex_;  // one render (background or direct) at a time
    Engine engine_;
    std::vector<int16_t> renderBuffer_;
    RenderThread renderer_;
    std::mutex listenersMutex_;
    std::vector<std::pair<int, Listener>> listeners_;
    int nextListener_ = 1;
    Status lastError_;
};

}  // namespace kf
