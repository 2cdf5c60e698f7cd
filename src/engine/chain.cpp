// The oscillator bank and the timbre render chain.
#include <algorithm>
#include <cctype>
#include <string_view>

#include "engine/arith.h"
#include "engine/curve.h"
#include "engine/engine.h"
#include "engine/oscillator.h"
#include "engine/reference_rate.h"
#include "engine/worker_pool.h"

namespace kf {

// The sequencer's curve is the note's frequency in eighths of a hertz; it is
// divided by the default oscillator frequency (523 Hz, in eighths), so an
// oscillator at 523 Hz plays the sequence as written and any other
// frequency transposes it by f / 523.
constexpr int32_t kSequencePitchDivisor = 523 * 8;

// An oscillator rendered by a worker: its own output, met with the running
// sum later, in oscillator order.
struct Engine::OscillatorJob {
    PoolJob job;
    OscillatorRecord* osc = nullptr;
    OscillatorInputs in;
    int32_t n = 0, bankLevel = 0;
    uint8_t calm = 0;
    int32_t* own = nullptr;
    bool queued = false;  // false: rendered already, only the combine is pending

    static void run(void* p) {
        auto* j = static_cast<OscillatorJob*>(p);
        renderOscillatorOwn(j->n, j->bankLevel, *j->osc, j->in, j->calm, j->own);
    }
};

Engine::Engine() : jobs_(std::make_unique<OscillatorJob[]>(10)) { allocate(16384); }

Engine::~Engine() = default;
Engine::Engine(Engine&&) noexcept = default;
Engine& Engine::operator=(Engine&&) noexcept = default;

void Engine::allocate(int32_t capacity) {
    capacity_ = std::max(capacity, 16384);
    for (auto* v : {&filteredCache_, &levelMod_, &frequencyMod_, &shapeMod_, &source_})
        v->assign(static_cast<size_t>(capacity_), 0);
    cacheCount_ = 0;
    cacheValid_ = false;
}

void Engine::reserveRealTime() {
    const auto cap = static_cast<size_t>(capacity_);
    for (auto& c : sourceCache_) c.samples.resize(cap);
    for (auto& c : midiCurves_) c.samples.resize(cap);
    effects.feedbackRing.resize(kFeedbackRingSize, 0);
    effects.flangerRing.resize(kFlangerRingSize, 0);
    effects.reverbAcc.resize(cap);
    effects.reverbTaps.reserve(cap / 8 + 2);  // one tap per 8 samples at most
    effects.chorusCopy.resize(cap + 2);
}

void Engine::resetRunningState() {
    midiRun = MidiRunState{};
    cutOff = CutOffState{};
    resonancePosition = resonanceVelocity = 0;
    std::fill(effects.feedbackRing.begin(), effects.feedbackRing.end(), int16_t{0});
    std::fill(effects.flangerRing.begin(), effects.flangerRing.end(), int16_t{0});
    effects.feedbackPos = effects.feedbackMem = 0;
    renderPosition = 0;
}

void Engine::initCustomWaveForm(const CurveData& wave) {
    customWave = customWaveTable(wave);
}

// The bank's first work for one oscillator: its level, frequency and shape
// curves in the three buffers (absent ones left null in `in`).
void Engine::prepareModulation(OscillatorRecord& osc, int32_t n, int32_t length, bool noteStream, SoundBuffer level,
                               SoundBuffer freq, SoundBuffer shape, OscillatorInputs& in) {
    SoundBuffer src{n, source_.data()};
    bool levelOn = false;
    for (int s = 1; s < kSourceCount; ++s) {
        if (!(osc.volumeModulation.sources & srcBit(s))) continue;
        SoundBuffer v{n, sourceSamples(s, src, length)};
        if (!levelOn) fillSound(level, kSampleMax);
        levelOn = true;
        mulSounds(level, v);
    }

    // The base frequency in eighths of a hertz, limited to what the
    // 16-bit curve can hold.
    const int32_t base = clampSample(int64_t{osc.frequency} * 8);
    bool freqOn = false;
    if (noteStream && (osc.flags & kFlagMelodic)) {
        midiCurve(2, freq);
        freqOn = true;
    }
    if (osc.frequencyModulation.sources & srcBit(kSrcSeq)) {
        if (!freqOn) fillSound(freq, base);
        freqOn = true;
        generate(kSrcSeq, src, length);
        scaleSounds(freq, src, kSequencePitchDivisor);
    }
    for (int s = 1; s < kSourceCount; ++s) {
        if (s == kSrcSeq || !(osc.frequencyModulation.sources & srcBit(s))) continue;
        if (!freqOn) fillSound(freq, base);
        freqOn = true;
        SoundBuffer v{n, sourceSamples(s, src, length)};
        addSounds(freq, v, freq);
    }

    bool shapeOn = false;
    for (int s = 1; s < kSourceCount; ++s) {
        if (!(osc.shapeModulation.sources & srcBit(s))) continue;
        SoundBuffer v{n, sourceSamples(s, src, length)};
        if (!shapeOn) clearSound(shape);
        shapeOn = true;
        addSounds(shape, v, shape);
    }

    in.volumeMod = levelOn ? level : SoundBuffer{n, nullptr};
    in.frequencyMod = freqOn ? freq : SoundBuffer{n, nullptr};
    in.shapeMod = shapeOn ? shape : SoundBuffer{n, nullptr};
}

void Engine::renderOscillatorBank(TimbreRecord& timbre, SoundBuffer target, int pass, bool noteStream) {
    const int32_t n = target.count;
    SoundBuffer level{n, levelMod_.data()}, freq{n, frequencyMod_.data()}, shape{n, shapeMod_.data()};
    const int32_t length = timbre.renderLength;

    OscillatorInputs in;
    in.sampleRate = sampleRate;
    in.customWave = customWave.data();
    in.sample1 = sample1Ref.samples ? sample1Ref : SoundBuffer{static_cast<int32_t>(sample1Data.size()), sample1Data.data()};
    in.sample2 = sample2Ref.samples ? sample2Ref : SoundBuffer{static_cast<int32_t>(sample2Data.size()), sample2Data.data()};
    in.random = &random;
    in.fastMath = speed.fastMath;

    // Side by side: an oscillator that reads no running sum renders its own
    // output on a worker while the next one's curves are built; the outputs
    // meet the running sum in oscillator order, before any oscillator that
    // reads it. Oscillators that move the random generator render on this
    // thread at their turn, so the draws keep their single-thread order.
    int candidates = 0;
    for (const OscillatorRecord& osc : timbre.oscillators)
        if (osc.active && ((osc.flags & kFlagFilter) ? 1 : 0) == pass && !oscillatorReadsSum(osc)) ++candidates;
    WorkerPool* pool = candidates >= 2 ? workers() : nullptr;
    if (pool) ensureOscillatorBuffers();
    size_t pending = 0;
    auto flush = [&] {
        for (size_t p = 0; p < pending; ++p) {
            OscillatorJob& j = jobs_[p];
            if (j.queued) pool->wait(j.job);
            combineOscillator(target.samples, j.own, n, j.osc->flags);
        }
        pending = 0;
    };

    for (size_t k = 0; k < timbre.oscillators.size(); ++k) {
        OscillatorRecord& osc = timbre.oscillators[k];
        if (!osc.active || ((osc.flags & kFlagFilter) ? 1 : 0) != pass) continue;
        if (pool && !oscillatorReadsSum(osc)) {
            OscillatorJob& j = jobs_[pending++];
            j.in = in;
            prepareModulation(osc, n, length, noteStream, SoundBuffer{n, oscLevel_[k].data()},
                              SoundBuffer{n, oscFreq_[k].data()}, SoundBuffer{n, oscShape_[k].data()}, j.in);
            j.osc = &osc;
            j.n = n;
            j.bankLevel = timbre.oscillatorsVolume;
            j.calm = timbre.oscillatorsCalm;
            j.own = own_[k].data();
            j.queued = !oscillatorDrawsRandom(osc);
            if (j.queued) {
                j.job.fn = &OscillatorJob::run;
                j.job.arg = &j;
                pool->submit(j.job);
            } else {
                OscillatorJob::run(&j);
            }
            continue;
        }
        flush();
        prepareModulation(osc, n, length, noteStream, level, freq, shape, in);
        renderOscillator(target, timbre.oscillatorsVolume, osc, in, timbre.oscillatorsCalm);
    }
    flush();
}

WorkerPool* Engine::workers() {
    const int threads = renderThreads(speed.threads);
    if (threads <= 1) return nullptr;
    if (!pool_ || pool_->workers() != threads - 1) pool_ = std::make_unique<WorkerPool>(threads - 1);
    return pool_.get();
}

void Engine::ensureOscillatorBuffers() {
    const size_t cap = static_cast<size_t>(capacity_);
    for (size_t k = 0; k < 10; ++k) {
        if (own_[k].size() == cap) continue;
        own_[k].assign(cap, 0);
        oscLevel_[k].assign(cap, 0);
        oscFreq_[k].assign(cap, 0);
        oscShape_[k].assign(cap, 0);
    }
}

namespace {

bool cacheable(int source) {
    switch (source) {
        case kSrcEnv1: case kSrcEnv2: case kSrcEnv3: case kSrcGraph:
        case kSrcLfo1: case kSrcLfo2: case kSrcNoise:
            return true;  // random steps depend on the seed, which is part of the key
        default:
            return false;  // the units and the MIDI sources keep state of their own
    }
}

}  // namespace

int16_t* Engine::sourceSamples(int source, SoundBuffer scratch, int32_t length) {
    if (!cacheable(source)) {
        generate(source, scratch, length);
        return scratch.samples;
    }
    CachedSource& c = sourceCache_[static_cast<size_t>(source)];
    if (!c.valid || c.start != renderPosition || c.count != scratch.count || c.length != length ||
        c.seed != random.seed) {
        if (c.samples.size() < static_cast<size_t>(scratch.count)) c.samples.resize(static_cast<size_t>(capacity_));
        generate(source, SoundBuffer{scratch.count, c.samples.data()}, length);
        c.valid = true;
        c.start = renderPosition;
        c.count = scratch.count;
        c.length = length;
        c.seed = random.seed;
    }
    // The source buffer holds what this source wrote, cached or not: a
    // sequencer source that writes nothing leaves exactly that behind.
    std::copy_n(c.samples.data(), scratch.count, scratch.samples);
    return scratch.samples;
}

void Engine::invalidateSources() {
    for (auto& c : sourceCache_) c.valid = false;
    for (auto& c : midiCurves_) c.valid = false;
}

void Engine::midiCurve(size_t k, SoundBuffer buf) {
    CachedSource& c = midiCurves_[k];
    if (!c.valid || c.start != renderPosition || c.count != buf.count) {
        if (c.samples.size() < static_cast<size_t>(buf.count)) c.samples.resize(static_cast<size_t>(capacity_));
        const SoundBuffer curve{buf.count, c.samples.data()};
        if (k < 2)
            midiEnvelope(static_cast<int>(k) + 1, curve, renderPosition);
        else
            noteFollower(curve, renderPosition);
        c.valid = true;
        c.start = renderPosition;
        c.count = buf.count;
    }
    std::copy_n(c.samples.data(), buf.count, buf.samples);
}

int chordTokenToNote(std::string_view token) {
    // Note names have at most four characters ("G#10"); on a fixed buffer,
    // since a real-time block parses the chord too.
    if (token.size() > 4) return 0;
    std::array<char, 5> t{};
    size_t n = 0;
    for (size_t i = 0; i < token.size(); ++i) {
        if (token.size() == 2 && i == 1) t[n++] = '-';
        t[n++] = token[i];
    }
    if (n > 0) t[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
    const std::string_view name(t.data(), n);
    const auto& names = noteNames();
    for (int i = 1; i <= 129; ++i)
        if (names[static_cast<size_t>(i)] == name) return i;
    return 0;
}

// The filtered oscillators into cache and target: once per chord note when
// the chord is on, each note from phase 0.
void Engine::renderFilteredOscillators(TimbreRecord& timbre, SoundBuffer target, SoundBuffer cache, bool ordinary) {
    if (timbre.chordActive) {
        std::array<int32_t, 10> saved{};
        for (size_t k = 0; k < 10; ++k) saved[k] = timbre.oscillators[k].frequency;
        // The chord text, cut at each comma; an empty text is "C-5".
        std::array<char, 31> buf{};
        const size_t len = std::min<size_t>(timbre.chord[0], buf.size() - 1);
        std::copy_n(reinterpret_cast<const char*>(timbre.chord.data() + 1), len, buf.data());
        std::string_view text(buf.data(), len);
        if (text.empty()) text = "C-5";
        clearSound(cache);
        int32_t f = -1;  // a first token that names no note keeps the oscillators' own frequencies
        for (bool more = true; more;) {
            clearSound(target);
            const size_t comma = text.find(',');
            const std::string_view token = text.substr(0, comma);
            more = comma != std::string_view::npos;
            if (more) text.remove_prefix(comma + 1);
            if (int idx = chordTokenToNote(token)) f = roundToInt32(tuning.frequency(idx));
            for (OscillatorRecord& o : timbre.oscillators) {
                o.phaseAccumulator() = 0;
                o.cycleCount() = 0;
                if ((o.flags & kFlagMelodic) && f >= 0) o.frequency = f;
            }
            renderOscillatorBank(timbre, target, 1, !ordinary);
            addSounds(cache, target, cache);
        }
        for (size_t k = 0; k < 10; ++k) timbre.oscillators[k].frequency = saved[k];
        copySound(cache, target);
    } else {
        clearSound(cache);
        renderOscillatorBank(timbre, cache, 1, !ordinary);
        copySound(cache, target);
    }
}

// The oscillators through the filter path, or the cache when nothing that
// feeds them changed. The sequencer units keep state of their own from read
// to read, which the cache cannot hold: oscillators that read them render
// every time.
void Engine::renderFilteredBank(SoundBuffer& target, TimbreRecord& timbre, bool oscillatorsChanged, bool ordinary) {
    const int32_t n = target.count;
    bool readsUnits = false;
    for (const OscillatorRecord& o : timbre.oscillators) {
        const uint16_t all = o.volumeModulation.sources | o.frequencyModulation.sources | o.shapeModulation.sources;
        if (o.active && (o.flags & kFlagFilter) && (all & (srcBit(kSrcSeq) | srcBit(kSrcSEnv)))) readsUnits = true;
    }
    const bool reuse =
        !oscillatorsChanged && !readsUnits && cacheValid_ && cacheCount_ == n && bankKey == cacheKey_;
    cacheCount_ = n;
    SoundBuffer cache = filteredCache();
    if (reuse) {
        copySound(cache, target);
        random.seed = cacheSeedAfter_;
        midiRun = cacheMidiRun_;
        midiCurves_ = cacheMidiCurves_;
        std::copy_n(cacheSource_.data(), n, source_.data());
        for (size_t k = 0; k < 10; ++k) {
            OscillatorRecord& o = timbre.oscillators[k];
            const OscillatorRecord& c = cacheOscillators_[k];
            o.volumeModulation = c.volumeModulation;
            o.frequencyModulation = c.frequencyModulation;
            o.shapeModulation = c.shapeModulation;
        }
        return;
    }
    renderFilteredOscillators(timbre, target, cache, ordinary);
    cacheSeedAfter_ = random.seed;
    cacheOscillators_ = timbre.oscillators;
    cacheMidiRun_ = midiRun;
    if (ordinary) cacheMidiCurves_ = midiCurves_;
    if (ordinary) cacheSource_.assign(source_.begin(), source_.begin() + n);
    // A stream block leaves a block in the cache, not a whole sound.
    cacheValid_ = ordinary;
    cacheKey_ = bankKey;
}

// The cut-off filter, its frequency modulated by the product of the chosen
// sources (scaled by the cut-off when "None" is among them).
void Engine::applyCutOff(SoundBuffer& target, const TimbreRecord& timbre, bool ordinary) {
    if (!timbre.cutOffActive) return;
    const int32_t n = target.count;
    SoundBuffer curve{n, levelMod_.data()};
    SoundBuffer src{n, source_.data()};
    bool any = false;
    for (int s = 1; s < kSourceCount; ++s) {
        if (!(timbre.cutOffModulation & srcBit(s))) continue;
        generate(s, src, timbre.renderLength);
        if (!any) fillSound(curve, (timbre.cutOffModulation & srcBit(kSrcNone)) ? timbre.cutOff * 127 : kSampleMax);
        any = true;
        mulSounds(curve, src);
    }
    const SoundBuffer* c = any ? &curve : nullptr;
    if (timbre.cutOffMode == 0)
        cutOffLowPass(target, timbre.cutOff * 128, c, ordinary, cutOff);
    else
        cutOffHighPass(target, timbre.cutOff * 128, c, ordinary, cutOff);
}

// The resonator, its frequency the sum of the chosen sources (plus the set
// frequency when "None" is among them).
void Engine::applyResonance(SoundBuffer& target, const TimbreRecord& timbre, bool ordinary) {
    if (timbre.resonanceActive != 1) return;
    const int32_t n = target.count;
    SoundBuffer curve{n, levelMod_.data()};
    SoundBuffer src{n, source_.data()};
    if (timbre.resonanceFrequencyModulation & srcBit(kSrcNone))
        fillSound(curve, timbre.resonanceFrequency * 4);
    else
        clearSound(curve);
    for (int s = 1; s < kSourceCount; ++s) {
        if (!(timbre.resonanceFrequencyModulation & srcBit(s))) continue;
        generate(s, src, timbre.renderLength);
        addSounds(curve, src, curve);
    }
    if (ordinary) resonancePosition = resonanceVelocity = 0;
    Resonator r;
    r.sound = target;
    r.volume = timbre.resonanceVolume;
    r.calmingSpeed = timbre.resonanceCalmingSpeed;
    r.dependence = timbre.resonanceDependence;
    r.frequency = timbre.resonanceFrequency;
    r.modulation = &curve;
    r.position = resonancePosition;
    r.velocity = resonanceVelocity;
    resonanceFilter(r, sampleRate);
    resonancePosition = r.position;
    resonanceVelocity = r.velocity;
}

// The feedback delay, with room for the echoes in ordinary renders, then the
// reverb (ordinary renders only; its scratch is the source buffer).
void Engine::applyFeedbackAndReverb(SoundBuffer& target, const TimbreRecord& timbre, bool ordinary) {
    if (timbre.feedBackActive) {
        if (ordinary) {
            int64_t extra = int64_t{timbre.additionalSilence} * kReferenceRate / 128;
            extra = std::clamp<int64_t>(extra, 0, capacity_ - target.count);  // never past the storage
            appendSilence(target, static_cast<int32_t>(extra));
        }
        feedbackDelay(target, effects, timbre.feedBackVolume * 128, timbre.feedBackDecay * 128,
                      timbre.feedBackDelay * 16, timbre.feedBackCutOff, timbre.feedBackCyclic != 0, ordinary);
    }
    if (ordinary && timbre.reverbActive) {
        SoundBuffer scratch{target.count, source_.data()};
        reverb(target, scratch, timbre.reverbDryVolume, timbre.reverbWetVolume, timbre.reverbLength,
               timbre.reverbAttack, timbre.reverbCutOff * 127, sampleRate, random, cutOff, effects, workers());
    }
}

// The MIDI events that fell inside this buffer are used up.
void Engine::consumeMidiEvents(uint8_t writeAtEntry, int32_t count) {
    if (!midiQueue) return;
    uint8_t r = midiQueue->readIndex();
    const int64_t end = int64_t{renderPosition} + count;
    while (r != writeAtEntry && midiQueue->at(r).time < end) ++r;
    midiQueue->setReadIndex(r);
}

void Engine::renderTimbre(SoundBuffer& target, TimbreRecord& timbre, bool oscillatorsChanged) {
    const uint8_t writeAtEntry = midiQueue ? midiQueue->writeIndex() : 0;
    const bool ordinary = timbre.realTime == 0;
    auto report = [&](int pos) {
        if (ordinary && progress) progress(pos);
    };
    {
        Curve g;
        g.setData(gen.graph);
        g.repair();
        graphRepaired_ = g.data();
    }
    target.count = std::clamp(target.count, 0, capacity_);
    lastUnitError = Status::success();
    invalidateSources();  // the generator parameters may have changed since the last render

    renderFilteredBank(target, timbre, oscillatorsChanged, ordinary);
    report(2);

    // Pre-overdrive, then the average and window filters.
    amplifySound(target, timbre.preOverdrive * 16);
    if (timbre.averageFilterActive)
        averageFilter(target, timbre.averageFilterWindowWidth, timbre.averageFilterTrebleVolume,
                      timbre.averageFilterBassVolume);
    if (timbre.windowFilterActive) {
        averageFilter(target, timbre.fwWindowPos + timbre.fwWindowWidth, 255, 0);
        averageFilter(target, timbre.fwWindowPos, 0, 255);
    }
    applyCutOff(target, timbre, ordinary);
    report(3);
    applyResonance(target, timbre, ordinary);

    // The oscillators that bypass the filters, then the main volume modulation.
    renderOscillatorBank(timbre, target, 0, !ordinary);
    SoundBuffer src{target.count, source_.data()};
    for (int s = 1; s < kSourceCount; ++s) {
        if (!(timbre.volumeModulation & srcBit(s))) continue;
        generate(s, src, timbre.renderLength);
        mulSounds(target, src);
    }
    report(4);

    // Wrap and post overdrives, main volume.
    if (timbre.wrapOverdriveActive) wrapOverdrive(target, timbre.wrapOverdrive * 8, wrapCache_);
    amplifySound(target, timbre.postOverdrive * 16);
    amplifySound(target, timbre.mainVolume);

    applyFeedbackAndReverb(target, timbre, ordinary);
    if (ordinary) report(5);

    if (timbre.flangerActive)
        flanger(target, effects, renderPosition, timbre.flangerCrossFade * 128, timbre.flangerMinDelay,
                timbre.flangerMaxDelay, timbre.flangerRate, sampleRate);
    if (timbre.chorusActive)
        chorus(target, timbre.chorusVolume, timbre.chorusVoices, timbre.chorusMaxDelay, timbre.chorusVibratoRate,
               random, effects);
    report(6);
    consumeMidiEvents(writeAtEntry, target.count);
}

}  // namespace kf
