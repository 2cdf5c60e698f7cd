// The time-based effects at the end of the render chain: feedback delay,
// reverb, flanger and chorus. All work in place on one sound buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/filters.h"
#include "engine/random.h"
#include "engine/sound_buffer.h"

namespace kf {

class WorkerPool;

constexpr int32_t kFeedbackRingSize = 65536;
constexpr int32_t kFlangerRingSize = 8192;

// Effect memories of one engine. The rings are allocated once; the work
// arrays grow to the largest sound seen and are then reused.
struct EffectsState {
    std::vector<int16_t> feedbackRing = std::vector<int16_t>(kFeedbackRingSize);
    int32_t feedbackPos = 0, feedbackMem = 0;
    std::vector<int16_t> flangerRing = std::vector<int16_t>(kFlangerRingSize);  // starts silent
    std::vector<int32_t> reverbAcc;
    struct ReverbTap {
        int64_t offset;
        int32_t gain;
    };
    std::vector<ReverbTap> reverbTaps;
    std::vector<int16_t> chorusCopy;
};

// volume, decay in 1/32768; d = delay in samples (1..65536; 0 leaves the
// sound unchanged); cut in 1/256 (256 = no low-pass in the loop).
void feedbackDelay(SoundBuffer sound, EffectsState& st, int32_t volume, int32_t decay, int32_t d, int32_t cut,
                   bool cyclic, bool reset);

// dry, wet in 1/32768; lengthMs, attackMs in ms; scratch holds at least
// sound.count samples and receives the low-passed copy (through cutState).
void reverb(SoundBuffer sound, SoundBuffer scratch, int32_t dry, int32_t wet, int32_t lengthMs, int32_t attackMs,
            int32_t cutCoeff, int32_t sampleRate, Random& rng, CutOffState& cutState, EffectsState& st,
            WorkerPool* pool = nullptr);  // pool: taps applied on two sample ranges side by side

// startPos = absolute position of the first sample; crossFade = wet share in
// 1/32768; delays in samples; rate in 1/100 Hz.
void flanger(SoundBuffer sound, EffectsState& st, int32_t startPos, int32_t crossFade, int32_t minDelay,
             int32_t maxDelay, int32_t rate, int32_t sampleRate);

// volume in 1/256; voices >= 1; maxDelay in samples; vibratoRate in 1/100 Hz.
void chorus(SoundBuffer sound, int32_t volume, int32_t voices, int32_t maxDelay, int32_t vibratoRate, Random& rng,
            EffectsState& st);

}  // namespace kf
