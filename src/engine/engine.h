// The render engine: the module state of one synthesizer (work buffers,
// filter and effect memories, generator parameters) and the stages that
// turn a timbre record into samples. Several engines can live side by side.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/curve.h"
#include "engine/effects.h"
#include "engine/filters.h"
#include "engine/generators.h"
#include "engine/midi_state.h"
#include "engine/oscillator.h"
#include "engine/random.h"
#include "engine/records.h"
#include "engine/sound_buffer.h"
#include "engine/status.h"
#include "engine/tuning.h"

namespace kf {

class WorkerPool;

class Engine {
public:
    Engine();

    // --- inputs, set by the caller before a render -------------------------
    int32_t sampleRate = 22050;
    Random random;
    NoteTables tuning;
    GeneratorParams gen;
    // The sequencer curves ("Seq", "SEnv"): filled by the sound units, which
    // live in the layer above; they get (buffer, start, total).
    std::function<Status(SoundBuffer&, int32_t, int32_t)> sequencerFrequency, sequencerEnvelope;
    std::vector<int16_t> sample1Data, sample2Data;  // the sample views' samples
    // Borrowed samples (a voice reads its snapshot's): used instead of the
    // vectors when set, so a voice never copies them on the audio path.
    SoundBuffer sample1Ref{0, nullptr}, sample2Ref{0, nullptr};
    // The note follower an octave below the note (presets tuned to it).
    bool followerOctaveDown = false;
    MidiQueue* midiQueue = nullptr;     // shared with MIDI input; may be null
    std::function<void(int)> progress;  // progress positions 2..6 of ordinary renders
    // How to render (never what): vectorised harmonic terms, and how many
    // threads render oscillators side by side (0: one per core).
    struct Speed {
        bool fastMath = true;
        int threads = 0;
    } speed;

    // --- running state -----------------------------------------------------
    MidiRunState midiRun;
    std::array<int16_t, kCustomWaveSize> customWave{};
    int32_t renderPosition = 0;
    CutOffState cutOff;
    int32_t resonancePosition = 0, resonanceVelocity = 0;
    EffectsState effects;
    Status lastUnitError;  // first sequencer-unit error of the last render

    // Buffers: every work buffer gets this capacity (in samples).
    void allocate(int32_t capacity);
    int32_t capacity() const { return capacity_; }
    // Sizes every buffer a real-time block grows on first use (source
    // caches, effect scratch, reverb taps), so that blocks never allocate.
    void reserveRealTime();

    // Samples the custom-waveform curve at i*16 for i = 0..1024.
    void initCustomWaveForm(const CurveData& wave);

    // The timbre render chain. target.count is the number of samples to
    // render (the chain may lengthen it with silence); storage must hold the
    // capacity. The timbre's oscillator state words are updated.
    // With oscillatorsChanged false the filtered oscillators come from the
    // cache, if the last ordinary render left one whose `bankKey` equals the
    // current one; the generator then moves on as rendering them would have.
    void renderTimbre(SoundBuffer& target, TimbreRecord& timbre, bool oscillatorsChanged);
    // Everything that feeds the filtered oscillators, as the caller sees it
    // (empty: the caller vouches that nothing changed).
    std::string bankKey;

    // Puts every memory that runs on from one render into the next (MIDI
    // envelopes, note follower, filters, resonance, effect rings) back to
    // rest, so that an ordinary render depends on its inputs alone.
    void resetRunningState();

    // The oscillator bank: pass 1 = filtered oscillators, 0 = the others.
    void renderOscillatorBank(TimbreRecord& timbre, SoundBuffer target, int pass, bool noteStream);

    // Runs modulation source s (1..13) into buf at renderPosition.
    void generate(int source, SoundBuffer buf, int32_t length);

    // Individual generators (also used by the wave display).
    void envelope(int n, SoundBuffer buf, int32_t start, int32_t length) const;
    int16_t envelopeValue(int n, int32_t position, int32_t length) const;
    void lfo(int n, SoundBuffer buf, int32_t start);
    void noise(SoundBuffer buf, int32_t start);
    void graphEnvelope(SoundBuffer buf, int32_t start, int32_t length) const;
    void midiLevel(int n, SoundBuffer buf) const;
    void midiEnvelope(int n, SoundBuffer buf, int32_t start);
    void noteFollower(SoundBuffer buf, int32_t start);

    SoundBuffer filteredCache() { return SoundBuffer{cacheCount_, filteredCache_.data()}; }

    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    Engine(Engine&&) noexcept;
    Engine& operator=(Engine&&) noexcept;  // a fresh engine replaces the memories
    ~Engine();

private:
    int32_t capacity_ = 0;
    int32_t cacheCount_ = 0;
    bool cacheValid_ = false;       // the cache holds an ordinary render's bank for cacheKey_
    std::string cacheKey_;
    uint32_t cacheSeedAfter_ = 0;   // the generator after rendering the cached bank
    std::array<OscillatorRecord, 10> cacheOscillators_{};  // their running state after it
    MidiRunState cacheMidiRun_;                             // the MIDI envelopes after it
    std::vector<int16_t> cacheSource_;  // the source buffer after it: an unconnected unit reads it back
    std::vector<int16_t> filteredCache_, levelMod_, frequencyMod_, shapeMod_, source_;
    CurveData graphRepaired_;

    void unitError(const Status& s);

    // Sources that are pure functions of (position, count, length, seed)
    // are generated once and shared by every oscillator and modulation slot
    // that uses them (noise oscillators move the seed in between).
    struct CachedSource {
        bool valid = false;
        int32_t start = 0, count = 0, length = 0;
        uint32_t seed = 0;
        std::vector<int16_t> samples;
    };
    std::array<CachedSource, kSourceCount> sourceCache_;
    // The MIDI envelopes and the note follower step running state as they
    // go: each is computed once per render (one block in real time) and
    // every reader gets that one curve. 0, 1: the envelopes; 2: the follower.
    std::array<CachedSource, 3> midiCurves_;
    std::array<CachedSource, 3> cacheMidiCurves_;  // the curves the cached bank computed for its render
    void midiCurve(size_t k, SoundBuffer buf);
    WrapOverdriveCache wrapCache_;
    // Runs the source into scratch (copied from the cache when it is pure) and returns scratch.
    int16_t* sourceSamples(int source, SoundBuffer scratch, int32_t length);
    void invalidateSources();

    // Rendering oscillators side by side: the worker pool (made on first
    // use, or again when the thread count changes) and, per oscillator, its
    // curves and its own output.
    struct OscillatorJob;
    std::unique_ptr<WorkerPool> pool_;
    std::unique_ptr<OscillatorJob[]> jobs_;  // one per oscillator
    std::array<std::vector<int32_t>, 10> own_;
    std::array<std::vector<int16_t>, 10> oscLevel_, oscFreq_, oscShape_;
    WorkerPool* workers();
    void ensureOscillatorBuffers();
    void renderFilteredOscillators(TimbreRecord& timbre, SoundBuffer target, SoundBuffer cache, bool ordinary);
    // The stages of renderTimbre, in the order the sound passes them.
    void renderFilteredBank(SoundBuffer& target, TimbreRecord& timbre, bool oscillatorsChanged, bool ordinary);
    void applyCutOff(SoundBuffer& target, const TimbreRecord& timbre, bool ordinary);
    void applyResonance(SoundBuffer& target, const TimbreRecord& timbre, bool ordinary);
    void applyFeedbackAndReverb(SoundBuffer& target, const TimbreRecord& timbre, bool ordinary);
    void consumeMidiEvents(uint8_t writeAtEntry, int32_t count);
    void prepareModulation(OscillatorRecord& osc, int32_t n, int32_t length, bool noteStream, SoundBuffer level,
                           SoundBuffer freq, SoundBuffer shape, OscillatorInputs& in);
};

// Parses one chord token as the chain does; returns the NoteName index
// (1..129) or 0 when the token names no note.
int chordTokenToNote(std::string_view token);

}  // namespace kf
