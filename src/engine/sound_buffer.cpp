#include "engine/sound_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/arith.h"

namespace kf {

void clearSound(SoundBuffer b) {
    if (b.count > 0) std::memset(b.samples, 0, static_cast<size_t>(b.count) * 2);
}

void copySound(SoundBuffer src, SoundBuffer dst) {
    if (src.count > 0 && src.samples != dst.samples)
        std::memmove(dst.samples, src.samples, static_cast<size_t>(src.count) * 2);
}

void fillSound(SoundBuffer b, int32_t v) {
    std::fill(b.samples, b.samples + std::max(b.count, 0), wrap16(v));
}

void addSounds(SoundBuffer a, SoundBuffer b, SoundBuffer out) {
    for (int32_t i = 0; i < a.count; ++i)
        out.samples[i] = static_cast<int16_t>(clampSample(int32_t{a.samples[i]} + b.samples[i]));
}

void mulSounds(SoundBuffer a, SoundBuffer m) {
    for (int32_t i = 0; i < a.count; ++i)
        a.samples[i] = wrap16((int32_t{a.samples[i]} * m.samples[i]) >> 15);  // arithmetic shift floors
}

void scaleSounds(SoundBuffer a, SoundBuffer m, int32_t d) {
    if (d == 0) return;  // a zero divisor is never passed; refuse rather than trap
    for (int32_t i = 0; i < a.count; ++i) {
        // 32-bit product as the format defines it (wraps like the original).
        int32_t p = static_cast<int32_t>(static_cast<uint32_t>(int32_t{a.samples[i]} * int32_t{m.samples[i]}));
        a.samples[i] = wrap16(p / d);
    }
}

void amplifySound(SoundBuffer b, int32_t g) {
    if (g == 256) return;
    for (int32_t i = 0; i < b.count; ++i) {
        int64_t p = int64_t{b.samples[i]} * g;
        b.samples[i] = static_cast<int16_t>(clampSample(p / 256));
    }
}

namespace {
int16_t wrapOverdriveValue(int16_t x, int32_t g) {
    const long double halfPi = 3.14159265358979323846264338327950288L / 2.0L;
    int64_t t = (int64_t{x} * g) / 256;
    long double y = std::sin(static_cast<long double>(t) / 32768.0L * g / 256.0L * halfPi);
    return static_cast<int16_t>(clampSample(roundHalfEven(y * static_cast<long double>(kSampleMax))));
}
}  // namespace

void wrapOverdrive(SoundBuffer b, int32_t g) {
    for (int32_t i = 0; i < b.count; ++i) b.samples[i] = wrapOverdriveValue(b.samples[i], g);
}

void wrapOverdrive(SoundBuffer b, int32_t g, WrapOverdriveCache& cache) {
    if (!cache.valid || cache.gain != g) {
        std::fill(cache.known.begin(), cache.known.end(), uint8_t{0});
        cache.gain = g;
        cache.valid = true;
    }
    for (int32_t i = 0; i < b.count; ++i) {
        const size_t k = static_cast<uint16_t>(b.samples[i]);
        if (!cache.known[k]) {
            cache.value[k] = wrapOverdriveValue(b.samples[i], g);
            cache.known[k] = 1;
        }
        b.samples[i] = cache.value[k];
    }
}

void appendSilence(SoundBuffer& b, int32_t n) {
    if (b.count + static_cast<int64_t>(n) > kMaxSoundSamples) n = kMaxSoundSamples - b.count;
    while (n > 0) {
        b.samples[b.count] = 0;
        ++b.count;
        --n;
    }
}

Sound8 soundTo8Bit(SoundBuffer b) {
    Sound8 out;
    out.data.resize(static_cast<size_t>(std::max(b.count, 0)));
    for (int32_t i = 0; i < b.count; ++i)
        out.data[static_cast<size_t>(i)] = static_cast<uint8_t>(b.samples[i] / 256 + 128);
    return out;
}

void deltaEncode(SoundBuffer b) {
    int16_t prev = 0;
    for (int32_t i = 0; i < b.count; ++i) {
        int16_t cur = b.samples[i];
        b.samples[i] = wrap16(int32_t{cur} - prev);
        prev = cur;
    }
}

void deltaDecode(SoundBuffer b) {
    int16_t sum = 0;
    for (int32_t i = 0; i < b.count; ++i) {
        sum = wrap16(int32_t{sum} + b.samples[i]);
        b.samples[i] = sum;
    }
}

void swapSampleBytes(SoundBuffer b) {
    for (int32_t i = 0; i < b.count; ++i) {
        auto u = static_cast<uint16_t>(b.samples[i]);
        b.samples[i] = static_cast<int16_t>(static_cast<uint16_t>((u >> 8) | (u << 8)));
    }
}

long double levelToDecibels(int32_t level) {
    if (level <= 0) return -99.0L;
    long double v = std::log2(static_cast<long double>(level) / 32768.0L) * 0.30102999566398119523L * 20.0L;
    // Stored through a 6-byte real (about 12 significant digits).
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.11Le", v);
    return std::strtold(buf, nullptr);
}

int64_t countFullScale(const int16_t* samples, int64_t count) {
    return std::count_if(samples, samples + count, [](int16_t v) { return v >= kSampleMax || v <= -kSampleMax; });
}

}  // namespace kf
