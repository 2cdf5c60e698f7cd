#include "files/xi.h"

#include <cstring>

#include "engine/tuning.h"
#include "files/file_io.h"

namespace kf {

std::vector<uint8_t> buildXI(const std::string& instrumentName, SoundBuffer sound, int32_t sampleRate) {
    const int32_t count = sound.count > 0 && sound.samples ? sound.count : 0;
    std::vector<uint8_t> b(kXiHeaderSize + static_cast<size_t>(count) * 2, 0);
    auto putText = [&](size_t at, const char* text, size_t n) { std::memcpy(&b[at], text, n); };

    putText(0, "Extended Instrument: ", 21);
    std::memset(&b[21], ' ', 22);
    putText(21, kXiLabel, 10);
    putText(32, instrumentName.data(), instrumentName.size() < 11 ? instrumentName.size() : 11);
    b[43] = 0x1A;
    std::memset(&b[44], ' ', 20);
    putText(44, "FastTracker v2.00", 17);
    putLE16(b, 64, 0x0102);
    // 66..161: note-to-sample map, all sample 0 (already zero).
    for (int i = 0; i < 11; ++i) {
        putLE16(b, 162 + 4 * i, 16 * i);
        putLE16(b, 164 + 4 * i, 64);
        putLE16(b, 210 + 4 * i, 16 * i);
        putLE16(b, 212 + 4 * i, 32);
    }
    b[258] = 2;
    b[259] = 2;
    b[270] = 0x80;
    putLE16(b, 296, 1);

    const size_t sh = 298;
    putLE32(b, sh + 0, static_cast<uint32_t>(count) * 2);
    b[sh + 12] = 64;
    int8_t finetune = -28, relativeNote = 5;
    frequencyToNote(sampleRate, relativeNote, finetune);
    b[sh + 13] = static_cast<uint8_t>(finetune);
    b[sh + 14] = 0x10;
    b[sh + 15] = 128;
    b[sh + 16] = static_cast<uint8_t>(relativeNote);
    b[sh + 17] = 16;
    putText(sh + 18, "Kestrafon v2.0!", 15);
    b[sh + 33] = 0x1A;

    // The play buffer is shared with the audio thread: code a copy.
    std::vector<int16_t> coded(sound.samples, sound.samples + count);
    deltaEncode(SoundBuffer{count, coded.data()});
    for (int32_t i = 0; i < count; ++i)
        putLE16(b, kXiHeaderSize + 2 * static_cast<size_t>(i), static_cast<uint16_t>(coded[i]));
    return b;
}

Status saveXI(const std::string& fileName, const std::string& instrumentName, SoundBuffer sound,
              int32_t sampleRate) {
    return writeFileBytes(fileName, buildXI(instrumentName, sound, sampleRate));
}

}  // namespace kf
