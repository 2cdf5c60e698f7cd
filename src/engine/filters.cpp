#include "engine/filters.h"

#include <algorithm>
#include <limits>

#include "engine/arith.h"

namespace kf {

namespace {

constexpr long double kPiL = 3.14159265358979323846264338327950288L;

constexpr int32_t clampAverage(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, -32512, 32512)); }

const SoundBuffer* usableCurve(const SoundBuffer* curve) {
    return (curve && curve->samples) ? curve : nullptr;
}

}  // namespace

void averageFilter(SoundBuffer buf, int32_t w, int32_t treble, int32_t bass) {
    if (w <= 0) return;
    const int32_t n = buf.count;
    int16_t* x = buf.samples;
    // A window wider than the buffer sums only the samples that exist (the
    // rest count as silence); the loop below never reads ahead in that case.
    int64_t sum = 0;
    const int32_t first = std::min(w, std::max(n, 0));
    for (int32_t i = 0; i < first; ++i) sum += x[i];
    const int64_t lastAdd = int64_t{n} - w - 2;  // x[N-2], x[N-1] are never taken in
    for (int32_t i = 0; i < n; ++i) {
        if (i < lastAdd) sum += x[i + w];
        sum -= x[i];
        const int64_t avg = clampAverage(sum / w);
        const int64_t e = int64_t{bass} * avg + int64_t{treble} * (x[i] - avg);
        x[i] = static_cast<int16_t>(clampAverage(e / 256));
    }
}

// The cut-off and resonance arithmetic is 32-bit: products and sums wrap as
// two's-complement values (an unstable coefficient curve makes them wrap,
// and the sound follows that wrap), computed without undefined overflow.

void cutOffLowPass(SoundBuffer buf, int32_t k, const SoundBuffer* curve, bool reset, CutOffState& st) {
    if (reset) st.yLp = 0;
    curve = usableCurve(curve);
    int32_t kk = k, c = wrap32(32768 - int64_t{k});
    int32_t y = st.yLp;
    for (int32_t i = 0; i < buf.count; ++i) {
        if (curve && i < curve->count) {
            kk = curve->samples[i];
            c = 32768 - kk;
        }
        const int32_t t = wrap32(int64_t{mul32(buf.samples[i], kk)} + mul32(c, y));
        y = t / 32768;
        buf.samples[i] = static_cast<int16_t>(clampSample(y));
    }
    st.yLp = y;
}

void cutOffHighPass(SoundBuffer buf, int32_t a, const SoundBuffer* curve, bool reset, CutOffState& st) {
    if (reset) {
        st.yHp = 0;
        st.xPrev = 0;
    }
    curve = usableCurve(curve);
    auto coefficients = [](int32_t a, int32_t& k, int32_t& c) {
        k = mul32(a, a) / 32768;
        c = 32768 - k / 32768;
    };
    int32_t k = 0, c = 0;
    coefficients(a, k, c);
    int32_t y = st.yHp, xPrev = st.xPrev;
    for (int32_t i = 0; i < buf.count; ++i) {
        if (curve && i < curve->count) coefficients(curve->samples[i], k, c);
        const int32_t x = buf.samples[i];
        const int32_t t = mul32(wrap32(int64_t{y} - xPrev + x), c);
        y = t / 32768;
        y = mul32(y, k) / 32768;
        xPrev = x;
        buf.samples[i] = static_cast<int16_t>(clampSample(y));
    }
    st.yHp = y;
    st.xPrev = xPrev;
}

int64_t resonanceCoefficient(int64_t f, int32_t sampleRate) {
    if (sampleRate <= 0) return 0;  // no rate, no tuning (avoids a division by zero)
    long double v = static_cast<long double>(f) * 0.125L / sampleRate * 2.0L * kPiL;
    v = v * v * 256.0L * 256.0L;
    // Far above any tuning a curve can reach; keeps d*k inside 64 bits.
    constexpr long double kMax = 4294967296.0L;
    if (v >= kMax) return static_cast<int64_t>(kMax);
    return roundHalfEven(v);
}

void resonanceFilter(Resonator& r, int32_t sampleRate) {
    const SoundBuffer* curve = usableCurve(r.modulation);
    const int32_t cs = r.calmingSpeed, dep = r.dependence, vol = r.volume;
    int64_t k = resonanceCoefficient(r.frequency, sampleRate);
    // The curve is often constant: remember the coefficient of the last value.
    int32_t lastM = -1;
    int64_t lastK = 0;
    int32_t pos = r.position, vel = r.velocity;
    int16_t* s = r.sound.samples;
    for (int32_t i = 0; i < r.sound.count; ++i) {
        if (curve && i < curve->count) {
            const int32_t m = curve->samples[i];
            if (m < 0) {
                k = 0;
            } else {
                if (m != lastM) {
                    lastM = m;
                    lastK = resonanceCoefficient(m, sampleRate);
                }
                k = lastK;
            }
        }
        const int32_t x = s[i];
        const int32_t d = wrap32(int64_t{x} - pos) / 4;
        // d*k alone is formed wide: high tunings would overflow it in 32 bits.
        vel = wrap32(vel + (d * k) / 16384);
        s[i] = static_cast<int16_t>(clampSample(wrap32(int64_t{mul32(pos, vol)} + mul32(256 - vol, x)) / 256));
        int32_t q = mul32(mul32(cs, dep), 128) / wrap32(k / 8 + 32768) + mul32(256 - dep, cs) / 256;
        if (k == 0) q = mul32(q, 55706) / 65536;  // calms faster while untuned
        vel = mul32(vel, q) / 1024;
        pos = wrap32(int64_t{pos} + vel);
        pos = mul32(pos, q) / 1024;
    }
    r.position = pos;
    r.velocity = vel;
}

}  // namespace kf
