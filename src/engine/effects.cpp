#include "engine/effects.h"
#include "engine/worker_pool.h"

#include <algorithm>
#include <cmath>

#include "engine/arith.h"
#include "engine/reference_rate.h"

namespace kf {

namespace {

constexpr long double kPiL = 3.14159265358979323846264338327950288L;
constexpr int32_t kProductMax = 1073709056;  // 32767 * 32768

// One reverb tap over the rest of the sound. Bounds: |acc| <= kProductMax,
// |src| <= 32767 and |gain| <= 32767, so the 32-bit sum cannot overflow and
// the loop stays a plain vectorisable multiply-add with min/max.
// Blocks of 8 with a fixed inner count let the compiler vectorise at -O2.
void addTap(int32_t* __restrict acc, const int16_t* __restrict src, int32_t n, int32_t gain) {
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        for (int32_t k = 0; k < 8; ++k) {
            const int32_t v = acc[i + k] + int32_t{src[i + k]} * gain;
            acc[i + k] = std::min(std::max(v, -kProductMax), kProductMax);
        }
    }
    for (; i < n; ++i) {
        const int32_t v = acc[i] + int32_t{src[i]} * gain;
        acc[i] = std::min(std::max(v, -kProductMax), kProductMax);
    }
}

// Same tap for gains outside the sample range (only reachable with a wet
// level beyond its control range).
void addTapWide(int32_t* acc, const int16_t* src, int32_t n, int32_t gain) {
    for (int32_t i = 0; i < n; ++i) acc[i] = clampProduct(int64_t{acc[i]} + int64_t{src[i]} * gain);
}

}  // namespace

void feedbackDelay(SoundBuffer sound, EffectsState& st, int32_t volume, int32_t decay, int32_t d, int32_t cut,
                   bool cyclic, bool reset) {
    auto& ring = st.feedbackRing;
    if (ring.size() < static_cast<size_t>(kFeedbackRingSize)) ring.resize(kFeedbackRingSize, 0);
    const int32_t ringSize = static_cast<int32_t>(ring.size());
    d = std::min(d, kFeedbackRingSize);
    if (d <= 0) return;  // no delay line at all: the sound passes unchanged
    int16_t* r = ring.data();
    if (reset) std::fill(r, r + d, int16_t{0});

    const int64_t vol = volume, dec = decay, ct = cut;
    const int32_t n = sound.count;
    int16_t* x = sound.samples;
    int32_t pos = st.feedbackPos;
    if (pos < 0 || pos >= ringSize) pos = 0;

    // Cyclic pre-roll: the ring takes the echo of the whole sound first, so
    // the end of the sound echoes into its beginning and the loop is seamless.
    if (cyclic && reset) {
        pos = 0;
        for (int32_t i = 0; i < n; ++i) {
            r[pos] = static_cast<int16_t>(clampSample(((r[pos] + (x[i] * vol) / 32768) * dec) / 32768));
            if (++pos >= d) pos = 0;
        }
    }
    if (reset) pos = 0;

    int64_t mem = st.feedbackMem;
    for (int32_t i = 0; i < n; ++i) {
        const int64_t in = x[i];
        const int64_t echo = r[pos];
        x[i] = static_cast<int16_t>(clampSample(in + echo));
        int64_t t = ((echo + (in * vol) / 32768) * dec) / 32768;
        t = (t * ct) / 256 + ((256 - ct) * mem) / 256;
        r[pos] = static_cast<int16_t>(clampSample(t));
        mem = r[pos];
        // A position left beyond a since-shortened delay walks back into range.
        if (++pos >= d) pos -= d;
    }
    st.feedbackPos = pos;
    st.feedbackMem = static_cast<int32_t>(mem);
}

namespace {

// The reverb's taps over the output samples lo..hi-1 of n.
struct ReverbRange {
    const EffectsState* st;
    int32_t* acc;
    const int16_t* s;
    int64_t n, lo, hi;

    static void run(void* p) {
        const auto& r = *static_cast<ReverbRange*>(p);
        for (const EffectsState::ReverbTap& t : r.st->reverbTaps) {
            // A tap before the sound's start (a negative attack) skips the
            // source samples that would land there.
            const int64_t first = std::max<int64_t>({t.offset, 0, r.lo});
            const int64_t end = std::min<int64_t>(r.hi, r.n + std::min<int64_t>(t.offset, 0));
            const int32_t count = static_cast<int32_t>(end - first);
            if (count <= 0) continue;
            int32_t* dst = r.acc + first;
            const int16_t* src = r.s + (first - t.offset);
            if (t.gain >= -kSampleMax && t.gain <= kSampleMax)
                addTap(dst, src, count, t.gain);
            else
                addTapWide(dst, src, count, t.gain);
        }
    }
};

}  // namespace

void reverb(SoundBuffer sound, SoundBuffer scratch, int32_t dry, int32_t wet, int32_t lengthMs, int32_t attackMs,
            int32_t cutCoeff, int32_t sampleRate, Random& rng, CutOffState& cutState, EffectsState& st,
            WorkerPool* pool) {
    if (lengthMs <= 0) return;
    const int32_t n = sound.count;
    if (n <= 0) return;
    if (st.reverbAcc.size() < static_cast<size_t>(n)) st.reverbAcc.resize(static_cast<size_t>(n));
    int32_t* acc = st.reverbAcc.data();
    int16_t* x = sound.samples;
    int16_t* s = scratch.samples;

    for (int32_t i = 0; i < n; ++i) {
        s[i] = x[i];
        acc[i] = clampProduct(int64_t{x[i]} * dry);
    }
    cutOffLowPass(SoundBuffer{n, s}, cutCoeff, nullptr, true, cutState);

    int64_t ls = int64_t{sampleRate} * lengthMs / 1000;
    const int64_t as = int64_t{sampleRate} * attackMs / 1000;
    if (ls + as > n) ls = n - as;

    const int64_t q = (ls - 1) / 8;
    st.reverbTaps.clear();
    const uint32_t gainRange = static_cast<uint32_t>(2 * int64_t{wet} + 1);
    for (int64_t j = 0; j <= q; ++j) {
        const int64_t offset = as + 8 * j + rng.draw(8);
        const int64_t g = int64_t{rng.intDraw(gainRange)} - wet;
        const int64_t h = ls - 8 * j;
        // g*h in 64 bits: Wet 32767 with a 2 s reverb exceeds 32 bits.
        int32_t gain = 0;
        if (ls + 1 != 0) {
            const long double den = static_cast<long double>(ls + 1);
            gain = roundToInt32(static_cast<long double>(g * h) / den * h / den * h / den);
        }
        if (offset >= n || gain == 0) continue;
        st.reverbTaps.push_back({offset, gain});
    }
    // Every output sample takes the taps in the order drawn, whichever
    // range of samples it is in, so the ranges can be summed side by side.
    ReverbRange ranges[2] = {{&st, acc, s, n, 0, n}, {&st, acc, s, n, n, n}};
    if (pool && n >= 16384) {
        ranges[0].hi = ranges[1].lo = n / 2;
        PoolJob job{&ReverbRange::run, &ranges[1]};
        pool->submit(job);
        ReverbRange::run(&ranges[0]);
        pool->wait(job);
    } else {
        ReverbRange::run(&ranges[0]);
    }

    for (int32_t i = 0; i < n; ++i) x[i] = static_cast<int16_t>(acc[i] / 32768);
}

void flanger(SoundBuffer sound, EffectsState& st, int32_t startPos, int32_t crossFade, int32_t minDelay,
             int32_t maxDelay, int32_t rate, int32_t sampleRate) {
    if (sampleRate <= 0) return;
    auto& ringVec = st.flangerRing;
    if (ringVec.size() != static_cast<size_t>(kFlangerRingSize)) ringVec.assign(kFlangerRingSize, 0);
    int16_t* ring = ringVec.data();
    constexpr int64_t kMask = kFlangerRingSize - 1;

    const int32_t lo = std::min(minDelay, maxDelay), hi = std::max(minDelay, maxDelay);
    const long double span = static_cast<long double>(hi) - lo;
    const int64_t dryShare = 32768 - int64_t{crossFade};
    const long double wetShare = crossFade;
    int16_t* x = sound.samples;
    for (int32_t i = 0; i < sound.count; ++i) {
        const int64_t t = int64_t{startPos} + i;
        // With no sweep range the sine does not matter (it is multiplied by 0).
        double delay = lo;
        if (span != 0) {
            const long double phase = static_cast<long double>(t * rate) * 0.01L / sampleRate * 2.0L * kPiL;
            delay = static_cast<double>((std::sin(phase) + 1.0L) * span + lo);
        }
        // The delay is held as a double; the position and the rest are extended.
        const long double pos = static_cast<long double>(t) - delay;
        const int64_t dry = x[i];
        ring[t & kMask] = x[i];
        const long double whole = std::trunc(pos);
        const int64_t ip = static_cast<int64_t>(whole);
        const long double a = ring[ip & kMask], b = ring[(ip + 1) & kMask];
        const long double f = pos - whole;
        const long double w = a * (1.0L - f) + b * f;
        x[i] = wrap16(roundHalfEven(w * wetShare + static_cast<long double>(dryShare * dry)) / 32768);
    }
}

void chorus(SoundBuffer sound, int32_t volume, int32_t voices, int32_t maxDelay, int32_t vibratoRate, Random& rng,
            EffectsState& st) {
    const int32_t n = sound.count;
    if (n <= 0 || volume <= 0) return;  // a zero volume would divide by zero
    const int32_t nv = std::max(voices, 0);
    int16_t* x = sound.samples;

    // e >= 1: a volume far above its range would otherwise round e to 0.
    const int64_t e = std::max<int64_t>(1, roundHalfEven(2560.0 * (nv + 1) / volume));
    for (int32_t i = 0; i < n; ++i) x[i] = wrap16((10 * int64_t{x[i]}) / e);

    // Two trailing zeros: the interpolation may read up to copy[N + 1],
    // and reads past the sound are silence.
    auto& copy = st.chorusCopy;
    if (copy.size() < static_cast<size_t>(n) + 2) copy.resize(static_cast<size_t>(n) + 2);
    std::copy(x, x + n, copy.begin());
    copy[n] = 0;
    copy[n + 1] = 0;
    const int16_t* cp = copy.data();
    auto at = [cp](int64_t j) -> double { return j >= 0 ? cp[j] : 0.0; };

    const double rate = std::max(vibratoRate, 1);  // 0 would make a segment endless
    const int64_t segLen = std::max<int64_t>(1, roundHalfEven(kReferenceRate / (rate * 0.01)));
    const double m = maxDelay;
    int64_t c = 0, len = 0;
    double slope = 0;
    for (int32_t v = 0; v < nv; ++v) {
        double g = rng.realDraw();
        for (int32_t i = 0; i < n; ++i) {
            if (c >= len) {
                c = 0;
                len = segLen;
                slope = (rng.realDraw() - g) / static_cast<double>(len);
            }
            ++c;
            g += slope;
            // A voice starting inside a segment may glide below 0; positions
            // before the sound's start read silence like those past its end.
            const double pos = std::min(m * g + i, static_cast<double>(n));
            const double whole = std::trunc(pos);
            const int64_t j = static_cast<int64_t>(whole);
            const double f = pos - whole;
            x[i] = wrap16(roundHalfEven(at(j) * (1.0 - f) + x[i] + at(j + 1) * f));
        }
    }
}

}  // namespace kf
