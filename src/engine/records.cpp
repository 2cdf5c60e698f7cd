// Byte images of the timbre and oscillator records, written and read field
// by field as record_fields.h places them, little-endian; reserved stretches
// travel verbatim so that a loaded preset saves back byte for byte.
#include "engine/records.h"

#include "engine/byte_io.h"
#include "engine/record_fields.h"

#include <algorithm>
#include <cstring>

namespace kf {

namespace {

template <class Native>
Native native(const uint8_t* p) {
    Native v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class Native>
void setNative(uint8_t* p, Native v) {
    std::memcpy(p, &v, sizeof v);
}

// `record` points at the struct's bytes, `image` at the file image.
void writeFields(std::span<const RecordField> list, const uint8_t* record, uint8_t* image) {
    for (const RecordField& f : list) {
        const uint8_t* m = record + f.member;
        uint8_t* out = image + f.offset;
        switch (f.width) {
            case Width::I32: putLE32(out, native<uint32_t>(m)); break;
            case Width::I16:
            case Width::U16: putLE16(out, native<uint16_t>(m)); break;
            case Width::U8:
            case Width::Bytes: std::memcpy(out, m, f.size); break;
            case Width::Nested:
                for (size_t i = 0; i < f.count; ++i) writeFields(f.nested, m + i * f.memberStride, out + i * f.size);
                break;
        }
    }
}

void readFields(std::span<const RecordField> list, const uint8_t* image, uint8_t* record) {
    for (const RecordField& f : list) {
        uint8_t* m = record + f.member;
        const uint8_t* in = image + f.offset;
        switch (f.width) {
            case Width::I32: setNative(m, getLE32(in)); break;
            case Width::I16:
            case Width::U16: setNative(m, getLE16(in)); break;
            case Width::U8:
            case Width::Bytes: std::memcpy(m, in, f.size); break;
            case Width::Nested:
                for (size_t i = 0; i < f.count; ++i) readFields(f.nested, in + i * f.size, m + i * f.memberStride);
                break;
        }
    }
}

template <class Record>
const uint8_t* bytesOf(const Record& r) { return reinterpret_cast<const uint8_t*>(&r); }
template <class Record>
uint8_t* bytesOf(Record& r) { return reinterpret_cast<uint8_t*>(&r); }

constexpr int kChordMax = 30;

}  // namespace

OscillatorRecord OscillatorRecord::defaults() {
    OscillatorRecord o;
    for (int k = 1; k <= 16; ++k) o.harmonics[k - 1] = Harmonic{static_cast<uint16_t>(256 / k), 0};
    return o;
}

TimbreRecord::TimbreRecord() {
    oscillators.fill(OscillatorRecord::defaults());
    setChordText("C-5,E-5");
}

std::string TimbreRecord::chordText() const {
    // A length byte above 30 can only come from a damaged file; never read
    // past the 30 character bytes.
    const size_t n = std::min<size_t>(chord[0], kChordMax);
    return std::string(reinterpret_cast<const char*>(chord.data() + 1), n);
}

void TimbreRecord::setChordText(const std::string& s) {
    // Like a short-string assignment: length and characters; bytes past the
    // text keep what they held.
    const size_t n = std::min<size_t>(s.size(), kChordMax);
    chord[0] = static_cast<uint8_t>(n);
    std::memcpy(chord.data() + 1, s.data(), n);
}

void writeOscillator(const OscillatorRecord& o, uint8_t* out) { writeFields(kOscillatorFields, bytesOf(o), out); }

OscillatorRecord readOscillator(const uint8_t* in) {
    OscillatorRecord o;
    readFields(kOscillatorFields, in, bytesOf(o));
    return o;
}

void writeBackOscillatorState(TimbreRecord& dst, TimbreRecord& src) {
    for (size_t k = 0; k < 10; ++k) {
        OscillatorRecord& d = dst.oscillators[k];
        OscillatorRecord& s = src.oscillators[k];
        d.cycleCount() = s.cycleCount();
        d.calmLevel() = s.calmLevel();
        d.calmInput() = s.calmInput();
        d.phaseAccumulator() = s.phaseAccumulator();
    }
}

TimbreImage toImage(const TimbreRecord& t) {
    TimbreImage img{};
    writeFields(kTimbreFields, bytesOf(t), img.data());
    return img;
}

TimbreRecord fromImage(const uint8_t* in) {
    TimbreRecord t;
    readFields(kTimbreFields, in, bytesOf(t));
    return t;
}

}  // namespace kf
