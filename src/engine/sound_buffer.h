// The one sample container of the engine and its whole-buffer operations.
// A SoundBuffer is a non-owning view: count samples at `samples`.
#pragma once

#include <cstdint>
#include <vector>

namespace kf {

struct SoundBuffer {
    int32_t count = 0;
    int16_t* samples = nullptr;

    int16_t& operator[](int32_t i) const { return samples[i]; }
    bool present() const { return samples != nullptr; }
};

// Owned storage with a view on it; the engine's buffers are these.
struct SoundStorage {
    std::vector<int16_t> data;
    SoundBuffer view() { return SoundBuffer{static_cast<int32_t>(data.size()), data.data()}; }
};

struct Sound8 {
    std::vector<uint8_t> data;
    int32_t count() const { return static_cast<int32_t>(data.size()); }
};

// Largest sound the engine ever holds (appendSilence stops here).
constexpr int32_t kMaxSoundSamples = 262144;

void clearSound(SoundBuffer b);
void copySound(SoundBuffer src, SoundBuffer dst);  // src.count samples
void fillSound(SoundBuffer b, int32_t v);
void addSounds(SoundBuffer a, SoundBuffer b, SoundBuffer out);
void mulSounds(SoundBuffer a, SoundBuffer m);
void scaleSounds(SoundBuffer a, SoundBuffer m, int32_t d);
void amplifySound(SoundBuffer b, int32_t g);
void wrapOverdrive(SoundBuffer b, int32_t g);
// The same, each distinct sample value computed once per gain: the result
// is a function of the sample and the gain only.
struct WrapOverdriveCache {
    int32_t gain = 0;
    bool valid = false;
    std::vector<int16_t> value = std::vector<int16_t>(65536);
    std::vector<uint8_t> known = std::vector<uint8_t>(65536);
};
void wrapOverdrive(SoundBuffer b, int32_t g, WrapOverdriveCache& cache);
// Appends zeros up to the 262144-sample limit; the storage must have room.
void appendSilence(SoundBuffer& b, int32_t n);
Sound8 soundTo8Bit(SoundBuffer b);
void deltaEncode(SoundBuffer b);
void deltaDecode(SoundBuffer b);
void swapSampleBytes(SoundBuffer b);
// Samples at full scale (+-32767), where the output stage clips.
int64_t countFullScale(const int16_t* samples, int64_t count);
long double levelToDecibels(int32_t level);

}  // namespace kf
