#include "files/export.h"

#include <cctype>
#include <vector>

#include "files/file_io.h"
#include "files/sound_file.h"
#include "files/wav.h"
#include "files/xi.h"

namespace kf {

namespace {

int32_t usableCount(SoundBuffer s) { return s.count > 0 && s.samples ? s.count : 0; }

std::vector<uint8_t> raw16(SoundBuffer sound, bool bigEndian) {
    const int32_t n = usableCount(sound);
    std::vector<uint8_t> b(static_cast<size_t>(n) * 2);
    for (int32_t i = 0; i < n; ++i) {
        uint16_t v = static_cast<uint16_t>(sound.samples[i]);
        uint8_t lo = static_cast<uint8_t>(v), hi = static_cast<uint8_t>(v >> 8);
        b[2 * i] = bigEndian ? hi : lo;
        b[2 * i + 1] = bigEndian ? lo : hi;
    }
    return b;
}

std::vector<uint8_t> raw8Signed(SoundBuffer sound) {
    const int32_t n = usableCount(sound);
    std::vector<uint8_t> b(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(static_cast<int8_t>(sound.samples[i] / 256));
    return b;
}

}  // namespace

SaveFormat saveFormatFor(SaveType type, bool eightBits) {
    switch (type) {
        case SaveType::MotorolaPCM: return eightBits ? SaveFormat::Raw8Unsigned : SaveFormat::RawMotorola;
        case SaveType::IntelPCM: return eightBits ? SaveFormat::Raw8Signed : SaveFormat::RawIntel;
        case SaveType::WAV: return eightBits ? SaveFormat::Wav8 : SaveFormat::Wav16;
        case SaveType::XI: break;
    }
    return SaveFormat::XI;
}

const char* motorolaCaption(bool eightBits) { return eightBits ? "Raw PCM (Unsigned)" : "Raw PCM (Motorola)"; }
const char* intelCaption(bool eightBits) { return eightBits ? "Raw PCM (Signed)" : "Raw PCM (Intel)"; }

const char* saveExtension(SaveFormat format) {
    switch (format) {
        case SaveFormat::Wav16:
        case SaveFormat::Wav8: return ".wav";
        case SaveFormat::XI: return ".xi";
        case SaveFormat::Flac: return ".flac";
        case SaveFormat::Ogg: return ".ogg";
        default: return ".smp";
    }
}

std::string saveBaseName(const std::string& presetName) { return presetName.substr(0, presetName.find('.')); }

std::string generateSaveName(const std::string& presetName, std::string& saveDir, SaveFormat format) {
    const std::string prefix = saveBaseName(presetName).substr(0, 6) + "_";
    if (!saveDir.empty() && saveDir.back() != '/') saveDir += "/";
    const std::string ext = saveExtension(format);
    for (uint64_t n = 0;; ++n) {
        std::string candidate = saveDir + prefix + std::to_string(n) + ext;
        if (!canOpenForReading(candidate)) return candidate;
    }
}

Status saveSound(const std::string& fileName, SoundBuffer sound, SaveFormat format, int32_t rate,
                 const std::string& instrumentName) {
    SoundBuffer view{usableCount(sound), sound.samples};
    switch (format) {
        case SaveFormat::Wav16: return saveWav16(view, fileName, rate);
        case SaveFormat::Wav8: return saveWav8(soundTo8Bit(view), fileName, rate);
        case SaveFormat::XI: return saveXI(fileName, instrumentName, view, rate);
        case SaveFormat::RawIntel: return writeFileBytes(fileName, raw16(view, false));
        case SaveFormat::RawMotorola: return writeFileBytes(fileName, raw16(view, true));
        case SaveFormat::Raw8Signed: return writeFileBytes(fileName, raw8Signed(view));
        case SaveFormat::Raw8Unsigned: return writeFileBytes(fileName, soundTo8Bit(view).data);
        case SaveFormat::Flac: return writeSoundFile(fileName, view, rate, SoundFileFormat::Flac);
        case SaveFormat::Ogg: return writeSoundFile(fileName, view, rate, SoundFileFormat::OggVorbis);
    }
    return Status::error("Unknown save format");
}

Status saveSoundFile(const std::string& presetName, std::string& saveDir, SaveFormat format,
                     SoundBuffer sound, int32_t rate, std::string* fileOut) {
    std::string name = generateSaveName(presetName, saveDir, format);
    if (fileOut) *fileOut = name;
    return saveSound(name, sound, format, rate, saveBaseName(presetName));
}

bool hasExtension(const std::string& fileName) {
    size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos) return false;
    size_t sep = fileName.find_last_of("\\/");
    return sep == std::string::npos || dot > sep;
}

bool compressedFormatFor(const std::string& fileName, SaveFormat& format) {
    if (!hasExtension(fileName)) return false;
    std::string ext = fileName.substr(fileName.find_last_of('.'));
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".flac") format = SaveFormat::Flac;
    else if (ext == ".ogg" || ext == ".oga") format = SaveFormat::Ogg;
    else return false;
    return true;
}

Status saveSampleAs(std::string fileName, int filterIndex, SoundBuffer sound, int32_t rate) {
    if (SaveFormat f; compressedFormatFor(fileName, f)) return saveSound(fileName, sound, f, rate, "");
    switch (filterIndex) {
        case 1:
            if (!hasExtension(fileName)) fileName += ".WAV";
            return saveSound(fileName, sound, SaveFormat::Wav16, rate, "");
        case 2:
            if (!hasExtension(fileName)) fileName += ".XI";
            return saveSound(fileName, sound, SaveFormat::XI, rate, "");
        case 3:
        case 4:
            if (!hasExtension(fileName)) fileName += ".RAW";
            return saveSound(fileName, sound, filterIndex == 3 ? SaveFormat::RawMotorola : SaveFormat::RawIntel,
                             rate, "");
        case 5:
        case 6:
            if (!hasExtension(fileName)) fileName += filterIndex == 5 ? ".flac" : ".ogg";
            return saveSound(fileName, sound, filterIndex == 5 ? SaveFormat::Flac : SaveFormat::Ogg, rate, "");
        default: return Status::error("Unknown file type");
    }
}

}  // namespace kf
