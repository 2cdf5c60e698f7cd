// The voice engine: the one polyphonic instrument behind the live stream,
// the MIDI-file renderer and the plugin. It owns up to 16 voices, each an
// engine of its own prepared from an immutable snapshot of the sound, and
// renders blocks without allocating, locking or touching the session.
//
// Threads: one render thread calls midi(), render() and reset(); any thread
// may publish a snapshot or change the voice count, gain and octave flag
// (they are read at the next block's start). Snapshots are handed over
// through a slot the render thread reads with atomics only; snapshots it no
// longer uses are freed by the publishing thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/curve.h"
#include "engine/generators.h"
#include "engine/random.h"
#include "engine/records.h"
#include "engine/tuning.h"
#include "files/settings.h"
#include "units/sound_scheme.h"

namespace kf {

inline constexpr int kMaxVoices = kMaxLiveVoices;

// Everything a voice reads of the sound, fixed when it was published.
struct SoundSnapshot {
    int32_t sampleRate = 22050;
    GeneratorParams gen;                  // with the controller values and sensitivities
    std::array<int16_t, kCustomWaveSize> customWave{};
    NoteTables tuning;
    Random random;                        // where a voice's generator starts
    TimbreRecord timbre;                  // real-time, oscillator states reset, length from the tempo
    SoundScheme units;                    // each voice runs a copy (units keep state between reads)
    std::vector<int16_t> sample1, sample2;
    std::array<int32_t, 2> controllerNumbers{7, 10};  // the controllers "Midi1"/"Midi2" follow
};

// A single-consumer hand-over: publish() from any thread, acquire() on the
// render thread only. acquire() is lock-free (a hazard pointer); publish()
// frees the snapshots the consumer can no longer reach.
class SnapshotSlot {
public:
    SnapshotSlot() = default;
    SnapshotSlot(const SnapshotSlot&) = delete;
    SnapshotSlot& operator=(const SnapshotSlot&) = delete;

    void publish(std::shared_ptr<const SoundSnapshot> s);
    // The newest snapshot; it stays valid until the next acquire().
    const SoundSnapshot* acquire();
    // The newest published snapshot (publisher side; may be null).
    std::shared_ptr<const SoundSnapshot> latest() const;

private:
    std::atomic<const SoundSnapshot*> latest_{nullptr};
    std::atomic<const SoundSnapshot*> inUse_{nullptr};
    mutable std::mutex publishers_;  // publishers only; the consumer never takes it
    std::vector<std::shared_ptr<const SoundSnapshot>> kept_;
};

class VoiceEngine {
public:
    // All memory (16 voices, their engines and buffers) is allocated here.
    VoiceEngine(std::shared_ptr<const SoundSnapshot> first, int32_t maxBlock);
    ~VoiceEngine();
    VoiceEngine(const VoiceEngine&) = delete;
    VoiceEngine& operator=(const VoiceEngine&) = delete;

    // ---- any thread -------------------------------------------------------
    void publish(std::shared_ptr<const SoundSnapshot> s) { slot_.publish(std::move(s)); }
    std::shared_ptr<const SoundSnapshot> latest() const { return slot_.latest(); }  // publisher side
    void setVoices(int n);              // 1..16 (held to the range); 1 is the monophonic instrument
    int voices() const { return voices_.load(std::memory_order_relaxed); }
    // The one gain stage from the voices' wide sum to 16 bits, in dB.
    void setGainDb(double db);
    // The default: 1/N for N voices (-20 log10 N dB; for N > 1 a hair under,
    // in 1/65536 steps), so the sum of N voices never reaches full scale;
    // 0 dB for one voice.
    void setAutoGain();
    static int64_t autoGainFactor(int voices);  // in 1/65536
    static int64_t gainFactor(double db);       // in 1/65536
    // Notes an octave below their frequency (presets tuned to the old follower).
    void setOctaveDown(bool on) { octaveDown_.store(on, std::memory_order_relaxed); }
    int32_t maxBlock() const { return maxBlock_; }
    int32_t sampleRate() const;  // of the first snapshot

    // ---- the render thread ------------------------------------------------
    // One short MIDI message taking effect at sample `offset` of the next
    // block (an offset below 0 counts as 0; one past the block as its next).
    // Note on/off (channels merged), controllers incl. 120 all sound off and
    // 123 all notes off. False when the message was ignored or the voice's
    // queue was full.
    bool midi(int32_t offset, const uint8_t* bytes, size_t size);
    bool midi(int32_t offset, uint32_t packed);  // status bits 0-7, data1 8-15, data2 16-23
    // The voice the last note message went to (-1: none yet, or dropped).
    int lastVoice() const { return lastVoice_; }
    // frames (1..maxBlock) samples after the gain stage; returns the samples
    // that clipped.
    int32_t render(int16_t* out, int32_t frames);
    // The voices' sum before the gain stage.
    void renderWide(int32_t* out, int32_t frames);
    // Every voice released and back at its start, position 0, pending
    // messages dropped (stream start and stop).
    void reset();
    int64_t position() const { return position_; }
    // First sequencer-unit complaint of any block (empty when none).
    const char* unitWarning() const { return warning_.data(); }

private:
    struct Voice;
    void adopt(const SoundSnapshot* s);
    void adoptVoice(Voice& v, const SoundSnapshot& s);
    void startVoice(Voice& v);
    void applyPending(int32_t frames);
    void renderVoices(int32_t frames);
    int syncVoices();  // the voice count the next block renders with

    SnapshotSlot slot_;
    const SoundSnapshot* snap_ = nullptr;
    int32_t maxBlock_ = 0;
    int32_t firstRate_ = 0;
    std::atomic<int> voices_{1};
    std::atomic<int64_t> gain_{65536};
    std::atomic<bool> autoGain_{true};
    std::atomic<bool> octaveDown_{false};
    int activeVoices_ = 1;
    std::vector<std::unique_ptr<Voice>> voice_;
    std::vector<int32_t> wide_;
    std::array<int32_t, 2> controller_{127, 127};
    std::array<int32_t, 2> lastSnapValue_{127, 127};
    int64_t position_ = 0;
    uint64_t counter_ = 0;
    int lastVoice_ = -1;
    std::array<char, 128> warning_{};
};

}  // namespace kf
