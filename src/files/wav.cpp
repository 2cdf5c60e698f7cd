#include "files/wav.h"

#include "engine/byte_io.h"
#include "files/atomic_file.h"

#include <cstring>
#include <vector>

namespace kf {

namespace {

Status writeFile(const std::string& fileName, const std::array<uint8_t, 44>& header, const uint8_t* data,
                 size_t size) {
    return writeFileAtomically(fileName, [&](AtomicFile& f) {
        Status st = f.write(header.data(), header.size());
        return st && size > 0 ? f.write(data, size) : st;
    });
}

}  // namespace

std::array<uint8_t, 44> wavHeader(uint32_t dataSize, int32_t rate, int bits) {
    const uint32_t bytesPerSample = bits == 16 ? 2 : 1;
    const uint32_t r = static_cast<uint32_t>(rate);
    std::array<uint8_t, 44> h{};
    std::memcpy(&h[0], "RIFF", 4);
    putLE32(&h[4], dataSize + 36);
    std::memcpy(&h[8], "WAVE", 4);
    std::memcpy(&h[12], "fmt ", 4);
    putLE32(&h[16], 16);
    putLE16(&h[20], 1);  // PCM
    putLE16(&h[22], 1);  // mono
    putLE32(&h[24], r);
    putLE32(&h[28], r * bytesPerSample);
    putLE16(&h[32], bytesPerSample);
    putLE16(&h[34], bytesPerSample * 8);
    std::memcpy(&h[36], "data", 4);
    putLE32(&h[40], dataSize);
    return h;
}

Status saveWav16(SoundBuffer sound, const std::string& fileName, int32_t sampleRate) {
    const size_t count = sound.count > 0 && sound.samples ? static_cast<size_t>(sound.count) : 0;
    std::vector<uint8_t> bytes(count * 2);
    for (size_t i = 0; i < count; ++i) putLE16(&bytes[2 * i], static_cast<uint16_t>(sound.samples[i]));
    return writeFile(fileName, wavHeader(static_cast<uint32_t>(bytes.size()), sampleRate, 16), bytes.data(),
                     bytes.size());
}

Status saveWav8(const Sound8& sound, const std::string& fileName, int32_t sampleRate) {
    return writeFile(fileName, wavHeader(static_cast<uint32_t>(sound.data.size()), sampleRate, 8),
                     sound.data.data(), sound.data.size());
}

}  // namespace kf
