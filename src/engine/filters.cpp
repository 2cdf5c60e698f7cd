#include "engine/filters.h"

#include <algorithm>
#include <limits>

#include "engine/arith.h"

namespace kf {

namespace {

constexpr long double kPiL = 3.14159265358979323846264338327950288L;

// Filter memories are 32-bit; products are formed in 64 bits so that an
// unstable coefficient curve saturates the memory instead of overflowing.
constexpr int32_t sat32(int64_t v) {
    return v > std::numeric_limits<int32_t>::max()   ? std::numeric_limits<int32_t>::max()
           : v < std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::min()
                                                     : static_cast<int32_t>(v);
}

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

void cutOffLowPass(SoundBuffer buf, int32_t k, const SoundBuffer* curve, bool reset, CutOffState& st) {
    if (reset) st.yLp = 0;
    curve = usableCurve(curve);
    int64_t kk = k, c = 32768 - int64_t{k};
    int64_t y = st.yLp;
    for (int32_t i = 0; i < buf.count; ++i) {
        if (curve && i < curve->count) {
            kk = curve->samples[i];
            c = 32768 - kk;
        }
        const int64_t t = buf.samples[i] * kk + c * y;
        y = sat32(t / 32768);
        buf.samples[i] = static_cast<int16_t>(clampSample(y));
    }
    st.yLp = static_cast<int32_t>(y);
}

void cutOffHighPass(SoundBuffer buf, int32_t a, const SoundBuffer* curve, bool reset, CutOffState& st) {
    if (reset) {
        st.yHp = 0;
        st.xPrev = 0;
    }
    curve = usableCurve(curve);
    auto coefficients = [](int64_t a, int64_t& k, int64_t& c) {
        k = a * a / 32768;
        c = 32768 - k / 32768;
    };
    int64_t k = 0, c = 0;
    coefficients(a, k, c);
    int64_t y = st.yHp, xPrev = st.xPrev;
    for (int32_t i = 0; i < buf.count; ++i) {
        if (curve && i < curve->count) coefficients(curve->samples[i], k, c);
        const int64_t x = buf.samples[i];
        const int64_t t = (y - xPrev + x) * c;
        y = sat32(t / 32768);
        y = sat32(y * k / 32768);
        xPrev = x;
        buf.samples[i] = static_cast<int16_t>(clampSample(y));
    }
    st.yHp = static_cast<int32_t>(y);
    st.xPrev = static_cast<int32_t>(xPrev);
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
    // The control ranges are 0..1024 and 0..512; the bound only keeps
    // arbitrary callers' products inside 64 bits.
    const int64_t cs = std::clamp<int64_t>(r.calmingSpeed, -65536, 65536);
    const int64_t dep = std::clamp<int64_t>(r.dependence, -65536, 65536);
    const int64_t vol = r.volume;
    int64_t k = resonanceCoefficient(r.frequency, sampleRate);
    // The curve is often constant: remember the coefficient of the last value.
    int32_t lastM = -1;
    int64_t lastK = 0;
    int64_t pos = r.position, vel = r.velocity;
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
        const int64_t x = s[i];
        const int64_t d = (x - pos) / 4;
        vel = sat32(vel + (d * k) / 16384);
        s[i] = static_cast<int16_t>(clampSample((pos * vol + (256 - vol) * x) / 256));
        int64_t q = (cs * dep * 128) / ((k / 8) + 32768) + ((256 - dep) * cs) / 256;
        if (k == 0) q = (q * 55706) / 65536;  // calms faster while untuned
        vel = sat32(vel * q / 1024);
        pos = sat32(pos + vel);
        pos = sat32(pos * q / 1024);
    }
    r.position = static_cast<int32_t>(pos);
    r.velocity = static_cast<int32_t>(vel);
}

}  // namespace kf
