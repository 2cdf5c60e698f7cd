#include "files/preset.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "files/file_io.h"
#include "units/sound_scheme.h"

namespace kf {

namespace {

// Offsets inside TimbreRecord::unused3536 (timbre offset 3536).
constexpr size_t kPathField[3] = {0, 3636 - 3536, 3737 - 3536};
constexpr size_t kPathChars = 100;
constexpr size_t kCaptureScratch = 3635 - 3536;  // unused bytes 3536..3634 cleared on capture

int pathIndex(int n) { return n == 2 ? 2 : 1; }

void copyBlock(std::array<uint8_t, kPresetFileSize>& out, size_t at, const std::vector<uint8_t>& block,
               size_t size) {
    std::memcpy(&out[at], block.data(), std::min(size, block.size()));
}

}  // namespace

std::string PresetRecord::samplePath(int n) const {
    const uint8_t* f = &timbre.unused3536[kPathField[pathIndex(n)]];
    size_t len = std::min<size_t>(f[0], kPathChars);
    return std::string(reinterpret_cast<const char*>(f + 1), len);
}

void PresetRecord::setSamplePath(int n, const std::string& path) {
    uint8_t* f = &timbre.unused3536[kPathField[pathIndex(n)]];
    size_t len = std::min(path.size(), kPathChars);
    std::memset(f, 0, kPathChars + 1);
    f[0] = static_cast<uint8_t>(len);
    std::memcpy(f + 1, path.data(), len);
}

bool PresetRecord::byteSwapFlag(int n) const { return timbre.unused3844[pathIndex(n) - 1] != 0; }
void PresetRecord::setByteSwapFlag(int n, bool on) { timbre.unused3844[pathIndex(n) - 1] = on ? 1 : 0; }

int32_t PresetRecord::ratePosition() const { return static_cast<int32_t>(getLE32(timbre.unused3854.data())); }
void PresetRecord::setRatePosition(int32_t position) {
    for (int i = 0; i < 4; ++i) timbre.unused3854[i] = static_cast<uint8_t>(static_cast<uint32_t>(position) >> (8 * i));
}

void PresetRecord::clearCaptureStretch() {
    timbre.realTime = 0;
    std::fill(timbre.unused3536.begin(), timbre.unused3536.begin() + kCaptureScratch, uint8_t{0});
}

PresetImage presetToImage(const PresetRecord& p) {
    PresetImage img{};
    std::memcpy(img.data(), p.reserved.data(), 8);
    for (int i = 0; i < kEnvelopeBarCount; ++i) {
        uint32_t v = static_cast<uint32_t>(p.envelopeBars[i]);
        for (int b = 0; b < 4; ++b) img[8 + 4 * i + b] = static_cast<uint8_t>(v >> (8 * b));
    }
    const TimbreImage t = toImage(p.timbre);
    std::memcpy(img.data() + kPresetTimbreOffset, t.data(), t.size());
    return img;
}

PresetRecord presetFromImage(const uint8_t* in) {
    PresetRecord p;
    std::memcpy(p.reserved.data(), in, 8);
    for (int i = 0; i < kEnvelopeBarCount; ++i) p.envelopeBars[i] = static_cast<int32_t>(getLE32(in + 8 + 4 * i));
    p.timbre = fromImage(in + kPresetTimbreOffset);
    return p;
}

void readPresetOver(PresetRecord& p, const uint8_t* bytes, size_t n) {
    if (n == 0) return;
    PresetImage img = presetToImage(p);
    std::memcpy(img.data(), bytes, std::min<size_t>(n, img.size()));
    p = presetFromImage(img.data());
}

PresetRecord toStoredForm(const PresetRecord& p) {
    PresetRecord s = p;
    for (auto& o : s.timbre.oscillators) {
        for (auto& h : o.harmonics) h.level = static_cast<uint16_t>(256 - h.level);
        // Bytes 89 and 90 are the low half of the volume slot's first word.
        o.volumeModulation.word0 = static_cast<int32_t>(static_cast<uint32_t>(o.volumeModulation.word0) & 0xFFFF0000u);
    }
    s.timbre.realTime = 0;
    return s;
}

PresetRecord fromStoredForm(const PresetRecord& stored) {
    PresetRecord p = stored;
    for (auto& o : p.timbre.oscillators) {
        for (auto& h : o.harmonics) h.level = static_cast<uint16_t>(256 - h.level);
        const uint32_t w = static_cast<uint32_t>(o.volumeModulation.word0);
        if (w & 0x00FFu) o.flags |= kFlagMelodic;
        if (w & 0xFF00u) o.flags |= kFlagInvert;
    }
    p.timbre.realTime &= 1;
    return p;
}

std::array<uint8_t, kPresetFileSize> presetFileBytes(const PresetRecord& storedForm, const SoundScheme& scheme) {
    std::array<uint8_t, kPresetFileSize> out{};
    const PresetImage img = presetToImage(storedForm);
    std::memcpy(out.data(), img.data(), img.size());
    copyBlock(out, kPresetNoteBlockOffset, scheme.noteSequencer().block(), 172);
    copyBlock(out, kPresetEnvelopeBlockOffset, scheme.envelopeSequencer().block(), 80);
    copyBlock(out, kPresetFrequencyBlockOffset, scheme.frequencySequencer().block(), 44);
    return out;
}

Status savePresetFile(const std::string& path, const PresetRecord& storedForm, const SoundScheme& scheme) {
    const auto bytes = presetFileBytes(storedForm, scheme);
    return writeFileBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

Status readPresetFileBytes(const std::string& path, std::vector<uint8_t>& bytes) {
    Status st = readFileBytes(path, kPresetFileSize, bytes);
    if (!st) return Status::error("Cannot open preset " + st.message, st.caption);
    return st;
}

Status loadPresetFile(const std::string& path, PresetRecord& rec, SoundScheme& scheme) {
    std::vector<uint8_t> bytes;
    if (Status st = readPresetFileBytes(path, bytes); !st) return st;
    readPresetBytes(bytes.data(), bytes.size(), rec, scheme);
    return Status::success();
}

void readPresetBytes(const uint8_t* bytes, size_t n, PresetRecord& rec, SoundScheme& scheme) {
    readPresetOver(rec, bytes, std::min<size_t>(n, kPresetRecordSize));
    auto apply = [&](SoundUnit& unit, size_t at, size_t size) {
        if (n > at) unit.setBlock(bytes + at, std::min(size, n - at));
    };
    apply(scheme.noteSequencer(), kPresetNoteBlockOffset, 172);
    apply(scheme.envelopeSequencer(), kPresetEnvelopeBlockOffset, 80);
    apply(scheme.frequencySequencer(), kPresetFrequencyBlockOffset, 44);
    scheme.noteSequencer().setParams();
    scheme.frequencySequencer().setParams();
    scheme.envelopeSequencer().setParams();
}

Status openPreset(const std::string& path, const PresetRecord& base, PresetRecord& out, SoundScheme& scheme) {
    PresetRecord rec = toStoredForm(base);
    Status st = loadPresetFile(path, rec, scheme);
    if (!st) return st;
    out = fromStoredForm(rec);
    return st;
}

std::string presetCaption(const std::string& fileName) { return "Kestrafon (" + bareFileName(fileName) + ")"; }

}  // namespace kf
