// The modulation sources: envelopes, LFOs, noise, graph envelope, sequencer
// curves, MIDI controller levels, MIDI note envelopes and the note follower.
#include <algorithm>
#include <cmath>

#include "engine/arith.h"
#include "engine/curve.h"
#include "engine/engine.h"

namespace kf {

namespace {

constexpr long double kPiL = 3.14159265358979323846264338327950288L;

// Non-negative remainder; the positions are never negative in practice, but
// a damaged length or start must not produce a negative index.
inline int64_t posMod(int64_t a, int64_t m) {
    int64_t r = a % m;
    return r < 0 ? r + m : r;
}

// The random LFO / noise step value: a pure function of k and the seed,
// leaving the seed as it was.
int32_t randomStep(Random& rng, int64_t k, int32_t amplitude, bool lfo1Form) {
    uint32_t saved = rng.seed;
    rng.seed = static_cast<uint32_t>(k);
    rng.seed = rng.intDraw(2147483647u) + saved;
    if (lfo1Form) {
        rng.seed = rng.intDraw(2147483647u) - saved;
        rng.seed = rng.intDraw(2147483647u) + saved;
    } else {
        rng.seed = rng.intDraw(2147483647u);
        rng.seed = rng.intDraw(2147483647u);
    }
    int32_t v = static_cast<int32_t>(rng.intDraw(static_cast<uint32_t>(2 * static_cast<int64_t>(amplitude)))) - amplitude;
    rng.seed = saved;
    return v;
}

// Double-precision evaluations of the extended-precision curves, used where
// their error bound leaves no doubt about the rounded result (the rounding
// boundaries n + 1/2 are further away than the bound); otherwise the caller
// evaluates in extended precision.
inline bool decided(double v, double err) {
    if (!(std::fabs(v) < 1e15)) return false;
    return std::fabs(v - std::floor(v) - 0.5) > err;
}

constexpr double kEps = 2.220446049250313e-16;  // 2^-52

// round(min(exp(f ln c) * amplitude + base, 32767)) for 0 < c < 1.
bool fastEnvelopeValue(long double c, long double f, int32_t amplitude, int32_t base, int32_t& out) {
    const double cd = static_cast<double>(c), fd = static_cast<double>(f);
    const double z = fd * std::log(cd);
    if (!(std::fabs(z) < 700.0)) return false;
    const double e = std::exp(z);
    const double v = e * amplitude + base;
    // c and f rounded to double, log and exp each within an ulp, the
    // products and sum rounded; doubled for the extended evaluation's own error.
    const double dz = 4 * kEps * (std::fabs(fd) + std::fabs(z) + 1.0);
    const double err = 2 * ((dz + 4 * kEps) * e * std::fabs(static_cast<double>(amplitude)) + 2 * kEps * std::fabs(v)) + 1e-9;
    if (!decided(v, err)) return false;
    out = roundToInt32(std::min<double>(v, kSampleMax));
    return true;
}

// round(cos(arg) * amplitude).
bool fastCosineValue(long double arg, int32_t amplitude, int32_t& out) {
    const double a = static_cast<double>(arg);
    if (!(std::fabs(a) < 1e9)) return false;
    const double v = std::cos(a) * amplitude;
    // arg rounded to double, cos within an ulp, the product rounded; doubled.
    const double err =
        2 * ((std::fabs(a) * kEps + 2 * kEps) * std::fabs(static_cast<double>(amplitude)) + kEps * std::fabs(v)) + 1e-9;
    if (!decided(v, err)) return false;
    out = roundToInt32(v);
    return true;
}

}  // namespace

void Engine::envelope(int n, SoundBuffer buf, int32_t start, int32_t length) const {
    const EnvelopeParams& p = gen.env[static_cast<size_t>(n - 1)];
    const int64_t len = std::max<int32_t>(length, 1);
    const int64_t e = len / std::max<int32_t>(p.iterations, 1) + 1;
    const int64_t A = p.attack * e / 1024, S = p.sustain * e / 1024, R = p.release * e / 1024;
    const long double f0 = p.shape / 256.1L;
    const long double f = f0 / (2.0L - f0);
    for (int32_t i = 0; i < buf.count; ++i) {
        int64_t q;
        if (n == 1)
            q = posMod(int64_t{start} + i, e);
        else
            q = posMod(posMod(int64_t{start} + i + len, len), e);
        long double c;
        if (q < A)
            c = static_cast<long double>(q) / A;
        else if (q <= A + S)
            c = 1.0L;
        else if (q < A + S + R)
            c = static_cast<long double>(A + S + R - q) / R;
        else
            c = 0.0L;
        if (speed.fastMath && c != 0.0L && c != 1.0L) {
            int32_t r;
            if (fastEnvelopeValue(c, f, p.amplitude, p.base, r)) {
                buf.samples[i] = wrap16(r);
                continue;
            }
        }
        long double v = c != 0.0L ? std::exp(f * std::log(c)) * p.amplitude : 0.0L;
        v += p.base;
        if (v > kSampleMax) v = kSampleMax;
        buf.samples[i] = wrap16(roundToInt32(v));
    }
}

int16_t Engine::envelopeValue(int n, int32_t position, int32_t length) const {
    int16_t out = 0;
    // One sample of the same curve; position is already reduced by the caller.
    SoundBuffer one{1, &out};
    const int32_t len = std::max<int32_t>(length, 1);
    // envelope() maps start + i + length mod length; start = position gives the same p.
    envelope(n, one, static_cast<int32_t>(posMod(position, len)), len);
    return out;
}

void Engine::lfo(int n, SoundBuffer buf, int32_t start) {
    const LfoParams& p = gen.lfo[static_cast<size_t>(n - 1)];
    const long double sr = sampleRate > 0 ? sampleRate : 1;
    const long double phi = p.phase / 256.0L;
    for (int32_t i = 0; i < buf.count; ++i) {
        const long double t = static_cast<long double>(int64_t{start} + i);
        int64_t v = 0;
        switch (p.form) {
            case 0: {
                const long double arg = 2.0L * kPiL * (t / sr) * (p.frequency / 16.0L) + 2.0L * kPiL * phi;
                int32_t r;
                if (speed.fastMath && fastCosineValue(arg, p.amplitude, r)) v = r;
                else v = roundToInt32(std::cos(arg) * p.amplitude);
                break;
            }
            case 3: {
                long double g = fracTrunc(phi + (t / sr) * (p.frequency / 16.0L));
                v = roundToInt32((std::fabs(2.0L - 4.0L * g) - 1.0L) * p.amplitude);
                break;
            }
            case 6: {
                long double kk = std::trunc((t / sr) * p.frequency * 0.5L / kPiL);
                v = randomStep(random, static_cast<int64_t>(kk), p.amplitude, n == 1);
                break;
            }
            default:
                v = 0;
        }
        buf.samples[i] = static_cast<int16_t>(clampSample(p.base + v));
    }
}

void Engine::noise(SoundBuffer buf, int32_t start) {
    const NoiseParams& p = gen.noise;
    const long double sr = sampleRate > 0 ? sampleRate : 1;
    for (int32_t i = 0; i < buf.count; ++i) {
        const long double t = static_cast<long double>(int64_t{start} + i);
        long double kk = std::trunc((t / sr) * p.frequency);
        int32_t v = randomStep(random, static_cast<int64_t>(kk), p.amplitude, false);
        buf.samples[i] = static_cast<int16_t>(clampSample(int64_t{v} + p.base));
    }
}

void Engine::graphEnvelope(SoundBuffer buf, int32_t start, int32_t length) const {
    const int64_t len = std::max<int32_t>(length, 1);
    for (int32_t i = 0; i < buf.count; ++i) {
        int64_t p = posMod(int64_t{start} + i + len, len);
        int32_t pos = roundToInt32(static_cast<double>(p) * 1.0 * 16384 / static_cast<double>(len));
        buf.samples[i] = wrap16(Curve::valueAt(graphRepaired_, pos));
    }
}

void Engine::midiLevel(int n, SoundBuffer buf) const {
    const size_t k = static_cast<size_t>(n - 1);
    fillSound(buf, static_cast<int32_t>(static_cast<uint32_t>(gen.midiValue[k]) * static_cast<uint32_t>(gen.midiSensitivity[k])));
}

void Engine::midiEnvelope(int n, SoundBuffer buf, int32_t start) {
    const size_t k = static_cast<size_t>(n - 1);
    const MidiEnvelopeParams& p = gen.midiEnv[k];
    int64_t level = midiRun.level[k];
    int32_t stage = midiRun.stage[k];
    const int64_t attackStep = 32768 / (int64_t{p.attack} * 127 + 1);
    const int64_t decayStep = 32768 / (int64_t{p.decay} * 127 + 1);
    const int64_t releaseStep = 32768 / (int64_t{p.release} * 127 + 1);
    uint8_t cursor = midiQueue ? midiQueue->readIndex() : 0;
    const uint8_t write = midiQueue ? midiQueue->writeIndex() : 0;
    for (int32_t i = 0; i < buf.count; ++i) {
        const int64_t a = int64_t{start} + i;
        if (stage == 0) {
            if (level < 32768) level += attackStep;
            if (level >= 32768) {
                level = 32768;
                stage = 1;
            }
        }
        if (stage == 1) {
            level -= decayStep;
            if (level <= p.sustain) {
                level = p.sustain;
                stage = 2;
            }
        } else if (stage == -1) {
            level -= releaseStep;
            if (level < 0) level = 0;
        }
        if (cursor != write) {
            MidiEvent ev = midiQueue->at(cursor);
            if (ev.time < a) {
                if ((ev.message >> 16) & 0x7F) {
                    stage = 0;
                    level = 0;
                } else {
                    stage = -1;
                }
                ++cursor;
            }
        }
        buf.samples[i] = wrap16(level * p.amplitude / 32768);
    }
    midiRun.level[k] = static_cast<int32_t>(level);
    midiRun.stage[k] = stage;
}

void Engine::noteFollower(SoundBuffer buf, int32_t start) {
    uint8_t cursor = midiQueue ? midiQueue->readIndex() : 0;
    const uint8_t write = midiQueue ? midiQueue->writeIndex() : 0;
    int32_t current = midiRun.followerCurrent;
    for (int32_t i = 0; i < buf.count; ++i) {
        const int64_t a = int64_t{start} + i;
        if (cursor != write) {
            MidiEvent ev = midiQueue->at(cursor);
            if (ev.time < a) {
                if (ev.velocity() != 0) {
                    int idx = std::min<int>(ev.note() + 1, 129);
                    // In eighths of a hertz, from the unrounded frequency;
                    // the octave-down flag keeps the old follower's factor 4.
                    // The curve holds 16 bits: notes above 4095 Hz stay there.
                    current = std::min(roundToInt32(tuning.frequency(idx) * (followerOctaveDown ? 4 : 8)), kSampleMax);
                }
                ++cursor;
            }
        }
        buf.samples[i] = wrap16(current);
    }
    midiRun.followerCurrent = current;
}

void Engine::unitError(const Status& s) {
    if (!s.ok && lastUnitError.ok) lastUnitError = s;
}

void Engine::generate(int source, SoundBuffer buf, int32_t length) {
    const int32_t start = renderPosition;
    switch (source) {
        case kSrcEnv1: case kSrcEnv2: case kSrcEnv3:
            envelope(source, buf, start, length);
            break;
        case kSrcLfo1: case kSrcLfo2:
            lfo(source - kSrcLfo1 + 1, buf, start);
            break;
        case kSrcNoise:
            noise(buf, start);
            break;
        case kSrcGraph:
            graphEnvelope(buf, start, length);
            break;
        case kSrcSeq:
            if (sequencerFrequency) unitError(sequencerFrequency(buf, start, length));
            break;
        case kSrcSEnv:
            if (sequencerEnvelope) unitError(sequencerEnvelope(buf, start, length));
            break;
        case kSrcMidi1: case kSrcMidi2:
            midiLevel(source - kSrcMidi1 + 1, buf);
            break;
        case kSrcMEnv1: case kSrcMEnv2:
            midiCurve(static_cast<size_t>(source - kSrcMEnv1), buf);
            break;
        default:
            break;
    }
}

}  // namespace kf
