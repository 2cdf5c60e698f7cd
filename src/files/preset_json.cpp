#include "files/preset_json.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/param_table.h"
#include "engine/record_fields.h"
#include "files/file_io.h"

namespace kf {

using nlohmann::json;

namespace {

constexpr const char* kFormat = "kestrafon-preset";
constexpr int kVersion = 1;

enum class Kind { I32, I16, U16, U8, Set16, Flags8, Wave8, Hex, PStr, Curve, Osc };

struct Field {
    std::string name;
    Kind kind;
    uint16_t offset;     // from the start of the enclosing record
    uint16_t size = 0;   // Hex: bytes; PStr: characters after the length byte
    bool preset = false; // shown under "preset" instead of "timbre"
};

Kind kindOf(const RecordField& f) {
    switch (f.shown) {
        case Shown::Sources: return Kind::Set16;
        case Shown::Flags: return Kind::Flags8;
        case Shown::WaveForm: return Kind::Wave8;
        case Shown::Hex: return Kind::Hex;
        case Shown::Text: return Kind::PStr;
        case Shown::Curve: return Kind::Curve;
        case Shown::Oscillators: return Kind::Osc;
        default: break;
    }
    switch (f.width) {
        case Width::I16: return Kind::I16;
        case Width::U16: return Kind::U16;
        case Width::U8: return Kind::U8;
        default: return Kind::I32;  // also the rate position, kept as the file's four bytes
    }
}

// A record's fields as the JSON lists them; the oscillator's harmonics and
// modulation slots are handled apart.
std::vector<Field> listed(std::span<const RecordField> fields) {
    std::vector<Field> out;
    for (const RecordField& f : fields) {
        if (f.shown == Shown::Slot || f.shown == Shown::Harmonics) continue;
        const uint16_t size = f.shown == Shown::Text ? f.size - 1 : f.size;
        out.push_back({std::string(f.name), kindOf(f), f.offset, size, f.preset});
    }
    return out;
}

const std::vector<Field>& timbreFields() {
    static const std::vector<Field> f = listed(kTimbreFields);
    return f;
}
const std::vector<Field>& oscillatorFields() {
    static const std::vector<Field> f = listed(kOscillatorFields);
    return f;
}

const RecordField& timbreField(std::string_view name) { return *findField(kTimbreFields, name); }
const RecordField& oscillatorField(std::string_view name) { return *findField(kOscillatorFields, name); }

// The slots' places and their parts' offsets.
std::vector<const RecordField*> slots() {
    std::vector<const RecordField*> out;
    for (const RecordField& f : kOscillatorFields)
        if (f.shown == Shown::Slot) out.push_back(&f);
    return out;
}
const RecordField& slotPart(std::string_view name) { return *findField(fields::kSlot, name); }

bool isHarmonicBar(const ParamInfo& p) {
    return p.key.starts_with("harmonicLevel") || p.key.starts_with("harmonicDetune");
}

// Harmonic `h`'s level (part 0) or detune (part 1) in an oscillator image.
size_t harmonicAt(int h, int part) {
    const RecordField& f = oscillatorField("harmonics");
    return f.offset + static_cast<size_t>(h) * f.size + f.nested[static_cast<size_t>(part)].offset;
}

// Bits 14 and 15 name no source but may be set in a file.
const char* const kSourceBits[16] = {kSourceNames[0].data(), kSourceNames[1].data(), kSourceNames[2].data(),
                                     kSourceNames[3].data(), kSourceNames[4].data(), kSourceNames[5].data(),
                                     kSourceNames[6].data(), kSourceNames[7].data(), kSourceNames[8].data(),
                                     kSourceNames[9].data(), kSourceNames[10].data(), kSourceNames[11].data(),
                                     kSourceNames[12].data(), kSourceNames[13].data(), "Bit14", "Bit15"};
static_assert(kSourceCount == 14);
const char* const kFlagNames[8] = {"Filter", "Melodic", "Invert", "RingMod", "Sync", "PhaseMod", "FM", "Bit7"};
const char* const kEnvelopeParts[7] = {"Attack", "Sustain", "Release", "Amplitude", "Base", "Shape", "Iterations"};
const char* const kEnvelopeDoubles[5] = {"attack", "decayAngle", "release", "releaseStart", "amplitude"};

// The waveform named for a stored code; empty for codes no item has.
std::string_view waveName(uint8_t code) {
    for (const WaveListItem& w : kWaveList)
        if (w.code == code) return w.name;
    return {};
}

std::string envelopeBarName(int i) {
    return "Env" + std::to_string(i / 7 + 1) + kEnvelopeParts[i % 7] + "Bar";
}

// ---- dump -------------------------------------------------------------

int32_t i32(const uint8_t* p) { return static_cast<int32_t>(getLE32(p)); }

std::string toHex(const uint8_t* p, size_t n) {
    static const char* d = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += d[p[i] >> 4];
        s += d[p[i] & 15];
    }
    return s;
}

bool allZero(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i]) return false;
    return true;
}

json bitNames(uint32_t bits, const char* const* names, int count) {
    json list = json::array();
    for (int i = 0; i < count; ++i)
        if (bits & (1u << i)) list.push_back(names[i]);
    return list;
}

// Plain text when that is all there is; otherwise every byte as hex.
json dumpPString(const uint8_t* p, size_t cap) {
    size_t len = p[0];
    bool plain = len <= cap && allZero(p + 1 + len, cap - len);
    for (size_t i = 0; plain && i < len; ++i) plain = p[1 + i] >= 0x20 && p[1 + i] < 0x7F;
    if (plain) return std::string(reinterpret_cast<const char*>(p + 1), len);
    std::string readable;
    for (size_t i = 0; i < std::min(len, cap); ++i)
        readable += (p[1 + i] >= 0x20 && p[1 + i] < 0x7F) ? static_cast<char>(p[1 + i]) : '?';
    return json{{"length", len}, {"bytes", toHex(p + 1, cap)}, {"text", readable}};
}

// A curve's parts: the points (x, y) and the count.
const RecordField& kCurvePoints = fields::kCurve[0];
const RecordField& kCurveCount = fields::kCurve[1];
const uint8_t* pointAt(const uint8_t* curve, int i) { return curve + kCurvePoints.offset + kCurvePoints.size * i; }
uint8_t* pointAt(uint8_t* curve, int i) { return curve + kCurvePoints.offset + kCurvePoints.size * i; }

json dumpCurve(const uint8_t* p) {
    int last = -1;
    for (int i = 0; i < kCurvePoints.count; ++i)
        if (!allZero(pointAt(p, i), kCurvePoints.size)) last = i;
    json points = json::array();
    for (int i = 0; i <= last; ++i)
        points.push_back(json::array({i32(pointAt(p, i) + fields::kPoint[0].offset),
                                      i32(pointAt(p, i) + fields::kPoint[1].offset)}));
    return json{{"points", points}, {"count", i32(p + kCurveCount.offset)}};
}

void dumpFields(const std::vector<Field>& fields, const uint8_t* base, json& main, json* preset);

json dumpOscillator(const uint8_t* o) {
    json j;
    json levels = json::array(), detunes = json::array();
    for (int h = 0; h < 16; ++h) {
        levels.push_back(getLE16(o + harmonicAt(h, 0)));
        detunes.push_back(getLE16(o + harmonicAt(h, 1)));
    }
    j["harmonicLevelsStored"] = levels;
    j["harmonicDetunes"] = detunes;
    for (const RecordField* s : slots()) {
        const uint8_t* p = o + s->offset;
        j[std::string(s->name)] = json{{"sources", bitNames(getLE16(p + slotPart("sources").offset), kSourceBits, 16)},
                                       {"word0", i32(p + slotPart("word0").offset)},
                                       {"word1", i32(p + slotPart("word1").offset)}};
    }
    dumpFields(oscillatorFields(), o, j, nullptr);
    return j;
}

void dumpFields(const std::vector<Field>& fields, const uint8_t* base, json& main, json* preset) {
    for (const Field& f : fields) {
        json& target = (f.preset && preset) ? *preset : main;
        const uint8_t* p = base + f.offset;
        switch (f.kind) {
            case Kind::I32: target[f.name] = i32(p); break;
            case Kind::I16: target[f.name] = static_cast<int16_t>(getLE16(p)); break;
            case Kind::U16: target[f.name] = getLE16(p); break;
            case Kind::U8: target[f.name] = p[0]; break;
            case Kind::Set16: target[f.name] = bitNames(getLE16(p), kSourceBits, 16); break;
            case Kind::Flags8: target[f.name] = bitNames(p[0], kFlagNames, 8); break;
            case Kind::Wave8:
                if (const std::string_view name = waveName(p[0]); !name.empty()) target[f.name] = name;
                else target[f.name] = p[0];
                break;
            case Kind::Hex:
                if (!allZero(p, f.size)) target[f.name] = toHex(p, f.size);
                break;
            case Kind::PStr: target[f.name] = dumpPString(p, f.size); break;
            case Kind::Curve: target[f.name] = dumpCurve(p); break;
            case Kind::Osc: {
                json list = json::array();
                for (int k = 0; k < 10; ++k) list.push_back(dumpOscillator(p + OscillatorRecord::kSize * k));
                target[f.name] = list;
                break;
            }
        }
    }
}

json dumpLinks(const uint8_t* p) {
    json list = json::array();
    for (int i = 0; i < 10; ++i) list.push_back(i32(p + 4 * i));
    return list;
}

json dumpDouble(const uint8_t* p) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= uint64_t{p[i]} << (8 * i);
    double v;
    std::memcpy(&v, &bits, 8);
    if (std::isfinite(v)) return v;
    char s[24];
    std::snprintf(s, sizeof s, "0x%016llx", static_cast<unsigned long long>(bits));
    return s;  // NaN and infinities keep their exact bits
}

// ---- build ------------------------------------------------------------

struct BuildError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void bad(const std::string& path, const std::string& what) { throw BuildError(path + ": " + what); }

const json& member(const json& obj, const std::string& key, const std::string& path) {
    auto it = obj.find(key);
    if (it == obj.end()) bad(path + "." + key, "missing");
    return *it;
}

const json& object(const json& j, const std::string& path) {
    if (!j.is_object()) bad(path, "expected an object");
    return j;
}

// Every key of obj must be one the reader knows (catches misspelt names).
void onlyKeys(const json& obj, const std::set<std::string>& known, const std::string& path) {
    for (auto it = obj.begin(); it != obj.end(); ++it)
        if (!known.count(it.key())) bad(path + "." + it.key(), "unknown field");
}

int64_t integer(const json& j, int64_t lo, int64_t hi, const std::string& path) {
    int64_t v;
    if (j.is_number_unsigned()) {
        uint64_t u = j.get<uint64_t>();
        if (u > static_cast<uint64_t>(hi)) bad(path, "out of range " + std::to_string(lo) + ".." + std::to_string(hi));
        v = static_cast<int64_t>(u);
    } else if (j.is_number_integer()) {
        v = j.get<int64_t>();
    } else {
        bad(path, "expected an integer");
    }
    if (v < lo || v > hi) bad(path, "out of range " + std::to_string(lo) + ".." + std::to_string(hi));
    return v;
}


void fromHex(const json& j, uint8_t* p, size_t n, const std::string& path) {
    if (!j.is_string()) bad(path, "expected a hex string");
    const std::string& s = j.get_ref<const std::string&>();
    if (s.size() != 2 * n) bad(path, "expected " + std::to_string(2 * n) + " hex digits");
    auto digit = [&](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        bad(path, "not a hex digit");
    };
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(digit(s[2 * i]) << 4 | digit(s[2 * i + 1]));
}

uint32_t namesToBits(const json& j, const char* const* names, int count, const std::string& path) {
    if (!j.is_array()) bad(path, "expected a list of names");
    uint32_t bits = 0;
    for (const auto& item : j) {
        if (!item.is_string()) bad(path, "expected a list of names");
        const std::string& s = item.get_ref<const std::string&>();
        int found = -1;
        for (int i = 0; i < count; ++i)
            if (s == names[i]) found = i;
        if (found < 0) bad(path, "unknown name \"" + s + "\"");
        bits |= 1u << found;
    }
    return bits;
}

uint8_t waveCode(const std::string& name, const std::string& path) {
    for (const WaveListItem& w : kWaveList)
        if (name == w.name) return w.code;
    bad(path, "unknown waveform \"" + name + "\"");
}

void buildPString(const json& j, uint8_t* p, size_t cap, const std::string& path) {
    std::memset(p, 0, cap + 1);
    if (j.is_string()) {
        const std::string& s = j.get_ref<const std::string&>();
        if (s.size() > cap) bad(path, "longer than " + std::to_string(cap) + " characters");
        p[0] = static_cast<uint8_t>(s.size());
        std::memcpy(p + 1, s.data(), s.size());
        return;
    }
    object(j, path);
    onlyKeys(j, {"length", "bytes", "text"}, path);
    p[0] = static_cast<uint8_t>(integer(member(j, "length", path), 0, 255, path + ".length"));
    fromHex(member(j, "bytes", path), p + 1, cap, path + ".bytes");
}

void buildCurve(const json& j, uint8_t* p, const std::string& path) {
    object(j, path);
    onlyKeys(j, {"points", "count"}, path);
    const json& pts = member(j, "points", path);
    if (!pts.is_array() || pts.size() > kCurvePoints.count) bad(path + ".points", "expected a list of at most 128 [x, y] pairs");
    std::memset(p, 0, kCurveCount.offset);
    for (size_t i = 0; i < pts.size(); ++i) {
        const std::string ip = path + ".points[" + std::to_string(i) + "]";
        if (!pts[i].is_array() || pts[i].size() != 2) bad(ip, "expected [x, y]");
        uint8_t* at = pointAt(p, static_cast<int>(i));
        putLE32(at + fields::kPoint[0].offset, integer(pts[i][0], INT32_MIN, INT32_MAX, ip));
        putLE32(at + fields::kPoint[1].offset, integer(pts[i][1], INT32_MIN, INT32_MAX, ip));
    }
    putLE32(p + kCurveCount.offset, integer(member(j, "count", path), INT32_MIN, INT32_MAX, path + ".count"));
}

void buildFields(const std::vector<Field>& fields, uint8_t* base, const json& main, const json* preset,
                 const std::string& mainPath, const std::string& presetPath);

void buildOscillator(const json& j, uint8_t* o, const std::string& path) {
    object(j, path);
    std::set<std::string> known = {"harmonicLevelsStored", "harmonicDetunes"};
    for (const RecordField* s : slots()) known.insert(std::string(s->name));
    for (const Field& f : oscillatorFields()) known.insert(f.name);
    onlyKeys(j, known, path);
    for (int part = 0; part < 2; ++part) {
        const char* key = part == 0 ? "harmonicLevelsStored" : "harmonicDetunes";
        const json& list = member(j, key, path);
        if (!list.is_array() || list.size() != 16) bad(path + "." + key, "expected 16 numbers");
        for (int h = 0; h < 16; ++h)
            putLE16(o + harmonicAt(h, part), integer(list[h], 0, 65535, path + "." + key + "[" + std::to_string(h) + "]"));
    }
    for (const RecordField* s : slots()) {
        const std::string name(s->name);
        const std::string sp = path + "." + name;
        const json& slot = object(member(j, name, path), sp);
        onlyKeys(slot, {"sources", "word0", "word1"}, sp);
        uint8_t* p = o + s->offset;
        putLE16(p + slotPart("sources").offset,
                namesToBits(member(slot, "sources", sp), kSourceBits, 16, sp + ".sources"));
        putLE32(p + slotPart("word0").offset, integer(member(slot, "word0", sp), INT32_MIN, INT32_MAX, sp + ".word0"));
        putLE32(p + slotPart("word1").offset, integer(member(slot, "word1", sp), INT32_MIN, INT32_MAX, sp + ".word1"));
    }
    buildFields(oscillatorFields(), o, j, nullptr, path, path);
}

void buildFields(const std::vector<Field>& fields, uint8_t* base, const json& main, const json* preset,
                 const std::string& mainPath, const std::string& presetPath) {
    for (const Field& f : fields) {
        const json& src = (f.preset && preset) ? *preset : main;
        const std::string& parent = (f.preset && preset) ? presetPath : mainPath;
        const std::string path = parent + "." + f.name;
        uint8_t* p = base + f.offset;
        if (f.kind == Kind::Hex) {
            std::memset(p, 0, f.size);
            if (src.contains(f.name)) fromHex(src[f.name], p, f.size, path);
            continue;
        }
        const json& v = member(src, f.name, parent);
        switch (f.kind) {
            case Kind::I32: putLE32(p, integer(v, INT32_MIN, INT32_MAX, path)); break;
            case Kind::I16: putLE16(p, integer(v, INT16_MIN, INT16_MAX, path)); break;
            case Kind::U16: putLE16(p, integer(v, 0, 65535, path)); break;
            case Kind::U8: p[0] = static_cast<uint8_t>(integer(v, 0, 255, path)); break;
            case Kind::Set16: putLE16(p, namesToBits(v, kSourceBits, 16, path)); break;
            case Kind::Flags8: p[0] = static_cast<uint8_t>(namesToBits(v, kFlagNames, 8, path)); break;
            case Kind::Wave8:
                p[0] = v.is_string() ? waveCode(v.get_ref<const std::string&>(), path)
                                     : static_cast<uint8_t>(integer(v, 0, 255, path));
                break;
            case Kind::PStr: buildPString(v, p, f.size, path); break;
            case Kind::Curve: buildCurve(v, p, path); break;
            case Kind::Osc:
                if (!v.is_array() || v.size() != 10) bad(path, "expected 10 oscillators");
                for (int k = 0; k < 10; ++k)
                    buildOscillator(v[k], p + OscillatorRecord::kSize * k, path + "[" + std::to_string(k) + "]");
                break;
            case Kind::Hex: break;
        }
    }
}

std::set<std::string> knownNames(const std::vector<Field>& fields, bool presetGroup) {
    std::set<std::string> s;
    for (const Field& f : fields)
        if (f.preset == presetGroup) s.insert(f.name);
    return s;
}

void buildLinks(const json& j, uint8_t* p, const std::string& path) {
    if (!j.is_array() || j.size() != 10) bad(path, "expected 10 links");
    for (int i = 0; i < 10; ++i) putLE32(p + 4 * i, integer(j[i], INT32_MIN, INT32_MAX, path + "[" + std::to_string(i) + "]"));
}

void buildDouble(const json& j, uint8_t* p, const std::string& path) {
    uint64_t bits;
    if (j.is_string()) {
        const std::string& s = j.get_ref<const std::string&>();
        if (s.size() != 18 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) bad(path, "expected a number or 0x + 16 hex digits");
        uint8_t raw[8];
        fromHex(json(s.substr(2)), raw, 8, path);
        bits = 0;
        for (int i = 0; i < 8; ++i) bits = bits << 8 | raw[i];
    } else if (j.is_number()) {
        double v = j.get<double>();
        std::memcpy(&bits, &v, 8);
    } else {
        bad(path, "expected a number");
    }
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(bits >> (8 * i));
}

// Values no control can hold are refused, naming the field and its range.
void checkRange(ParamId id, long double v, const std::string& path) {
    const ParamInfo& p = paramInfo(id);
    if (p.type == ParamType::Choice) {
        if (clampParam(id, v) == v) return;
        std::string items;
        for (const ParamChoice& c : paramChoices(id)) items += (items.empty() ? "" : ", ") + std::to_string(c.value);
        bad(path, "out of range: one of " + items);
    }
    if (v >= p.min && v <= p.max) return;
    auto text = [](long double x) { return numberEditText(x); };
    bad(path, "out of range " + text(p.min * p.scale) + ".." + text(p.max * p.scale));
}

long double rawStored(const ParamInfo& p, const uint8_t* record) {
    ParamInfo unscaled = p;
    unscaled.scale = 1;
    return readStored(unscaled, record);
}

void checkRanges(const uint8_t* b) {
    const uint8_t* t = b + kPresetTimbreOffset;
    for (const ParamInfo& p : paramTable()) {
        const std::string key(p.key);
        switch (p.scope) {
            case ParamScope::Timbre: {
                const long double raw = rawStored(p, t);
                checkRange(p.id, raw / p.scale, ".timbre." + key);
                break;
            }
            case ParamScope::Oscillator:
                if (p.store == Store::Bit || p.store == Store::Set16) break;  // every bit pattern is some choice
                for (int k = 0; k < 10; ++k) {
                    const uint8_t* o = t + timbreField("oscillators").offset + OscillatorRecord::kSize * k;
                    const std::string path = ".timbre.oscillators[" + std::to_string(k) + "].";
                    const long double raw = rawStored(p, o);
                    if (isHarmonicBar(p)) {
                        const bool level = p.key.starts_with("harmonicLevel");
                        checkRange(p.id, raw, path + (level ? "harmonicLevelsStored[" : "harmonicDetunes[") +
                                                  std::to_string((p.offset - oscillatorField("harmonics").offset) /
                                                                 oscillatorField("harmonics").size) + "]");
                    } else if (p.scale > 1) {
                        if (raw < p.min * p.scale || raw > p.max * p.scale) checkRange(p.id, p.max + 1, path + key);
                    } else {
                        checkRange(p.id, raw, path + key);
                    }
                }
                break;
            case ParamScope::Light: {
                const uint8_t active = t[timbreField("oscillators").offset + OscillatorRecord::kSize * p.offset +
                                         oscillatorField("active").offset];
                checkRange(p.id, active, ".timbre.oscillators[" + std::to_string(p.offset) + "].active");
                break;
            }
            case ParamScope::Envelope:
                checkRange(p.id, static_cast<int32_t>(getLE32(b + 8 + 4 * p.offset)), ".envelopeBars." + key);
                break;
            case ParamScope::Rate:
                checkRange(p.id, static_cast<int32_t>(getLE32(t + timbreField("ratePosition").offset)), ".preset.ratePosition");
                break;
            case ParamScope::Unit:
                if (p.id == ParamId::NoteCount)
                    checkRange(p.id, static_cast<int32_t>(getLE32(b + kPresetNoteBlockOffset + 40)),
                               ".noteSequencer.noteCount");
                else if (p.id == ParamId::PortamentoSpeed)
                    checkRange(p.id, static_cast<int32_t>(getLE32(b + kPresetFrequencyBlockOffset + 40)),
                               ".frequencySequencer.portamentoSpeed");
                else {
                    const int i = p.offset - 2;
                    const double v = getLEDouble(b + kPresetEnvelopeBlockOffset + 40 + 8 * i);
                    if (v == v) checkRange(p.id, v, std::string(".envelopeSequencer.") + kEnvelopeDoubles[i]);
                }
                break;
        }
    }
}

void buildAll(const json& j, uint8_t* out, bool withRanges) {
    object(j, "preset file");
    onlyKeys(j, {"format", "version", "reserved", "envelopeBars", "timbre", "preset", "noteSequencer",
                 "envelopeSequencer", "frequencySequencer"}, "");
    const json& format = member(j, "format", "");
    if (!format.is_string() || format.get<std::string>() != kFormat) bad(".format", std::string("expected \"") + kFormat + "\"");
    if (integer(member(j, "version", ""), 0, INT32_MAX, ".version") != kVersion) bad(".version", "unsupported version");

    std::memset(out, 0, kPresetFileSize);
    if (j.contains("reserved")) fromHex(j["reserved"], out, 8, ".reserved");

    const json& bars = object(member(j, "envelopeBars", ""), ".envelopeBars");
    std::set<std::string> barNames;
    for (int i = 0; i < kEnvelopeBarCount; ++i) {
        const std::string name = envelopeBarName(i);
        barNames.insert(name);
        putLE32(out + 8 + 4 * i, integer(member(bars, name, ".envelopeBars"), INT32_MIN, INT32_MAX, ".envelopeBars." + name));
    }
    onlyKeys(bars, barNames, ".envelopeBars");

    const json& timbre = object(member(j, "timbre", ""), ".timbre");
    const json& preset = object(member(j, "preset", ""), ".preset");
    onlyKeys(timbre, knownNames(timbreFields(), false), ".timbre");
    onlyKeys(preset, knownNames(timbreFields(), true), ".preset");
    buildFields(timbreFields(), out + kPresetTimbreOffset, timbre, &preset, ".timbre", ".preset");

    const json& note = object(member(j, "noteSequencer", ""), ".noteSequencer");
    onlyKeys(note, {"inputs", "noteCount", "steps"}, ".noteSequencer");
    uint8_t* nb = out + kPresetNoteBlockOffset;
    buildLinks(member(note, "inputs", ".noteSequencer"), nb, ".noteSequencer.inputs");
    putLE32(nb + 40, integer(member(note, "noteCount", ".noteSequencer"), INT32_MIN, INT32_MAX, ".noteSequencer.noteCount"));
    const json& steps = member(note, "steps", ".noteSequencer");
    if (!steps.is_array() || steps.size() != 32) bad(".noteSequencer.steps", "expected 32 steps");
    for (int i = 0; i < 32; ++i) {
        const std::string sp = ".noteSequencer.steps[" + std::to_string(i) + "]";
        const json& s = object(steps[i], sp);
        onlyKeys(s, {"frequency", "porta", "tie"}, sp);
        putLE16(nb + 44 + 4 * i, integer(member(s, "frequency", sp), INT16_MIN, INT16_MAX, sp + ".frequency"));
        nb[46 + 4 * i] = static_cast<uint8_t>(integer(member(s, "porta", sp), 0, 255, sp + ".porta"));
        nb[47 + 4 * i] = static_cast<uint8_t>(integer(member(s, "tie", sp), 0, 255, sp + ".tie"));
    }

    const json& env = object(member(j, "envelopeSequencer", ""), ".envelopeSequencer");
    std::set<std::string> envKeys = {"inputs"};
    for (const char* n : kEnvelopeDoubles) envKeys.insert(n);
    onlyKeys(env, envKeys, ".envelopeSequencer");
    uint8_t* eb = out + kPresetEnvelopeBlockOffset;
    buildLinks(member(env, "inputs", ".envelopeSequencer"), eb, ".envelopeSequencer.inputs");
    for (int i = 0; i < 5; ++i)
        buildDouble(member(env, kEnvelopeDoubles[i], ".envelopeSequencer"), eb + 40 + 8 * i,
                    std::string(".envelopeSequencer.") + kEnvelopeDoubles[i]);

    const json& freq = object(member(j, "frequencySequencer", ""), ".frequencySequencer");
    onlyKeys(freq, {"inputs", "portamentoSpeed"}, ".frequencySequencer");
    uint8_t* fb = out + kPresetFrequencyBlockOffset;
    buildLinks(member(freq, "inputs", ".frequencySequencer"), fb, ".frequencySequencer.inputs");
    putLE32(fb + 40, integer(member(freq, "portamentoSpeed", ".frequencySequencer"), INT32_MIN, INT32_MAX,
                           ".frequencySequencer.portamentoSpeed"));
    if (withRanges) checkRanges(out);
}

}  // namespace

json presetFileToJson(const uint8_t* b) {
    json j;
    j["format"] = kFormat;
    j["version"] = kVersion;
    if (!allZero(b, 8)) j["reserved"] = toHex(b, 8);
    json bars;
    for (int i = 0; i < kEnvelopeBarCount; ++i) bars[envelopeBarName(i)] = i32(b + 8 + 4 * i);
    j["envelopeBars"] = bars;
    json timbre = json::object(), preset = json::object();
    dumpFields(timbreFields(), b + kPresetTimbreOffset, timbre, &preset);
    j["timbre"] = timbre;
    j["preset"] = preset;

    const uint8_t* nb = b + kPresetNoteBlockOffset;
    json steps = json::array();
    for (int i = 0; i < 32; ++i)
        steps.push_back(json{{"frequency", static_cast<int16_t>(getLE16(nb + 44 + 4 * i))},
                             {"porta", nb[46 + 4 * i]},
                             {"tie", nb[47 + 4 * i]}});
    j["noteSequencer"] = json{{"inputs", dumpLinks(nb)}, {"noteCount", i32(nb + 40)}, {"steps", steps}};

    const uint8_t* eb = b + kPresetEnvelopeBlockOffset;
    json env{{"inputs", dumpLinks(eb)}};
    for (int i = 0; i < 5; ++i) env[kEnvelopeDoubles[i]] = dumpDouble(eb + 40 + 8 * i);
    j["envelopeSequencer"] = env;

    const uint8_t* fb = b + kPresetFrequencyBlockOffset;
    j["frequencySequencer"] = json{{"inputs", dumpLinks(fb)}, {"portamentoSpeed", i32(fb + 40)}};
    return j;
}

Status jsonToPresetFile(const json& j, std::array<uint8_t, kPresetFileSize>& out, bool checkRanges) {
    std::array<uint8_t, kPresetFileSize> built{};
    try {
        buildAll(j, built.data(), checkRanges);
    } catch (const BuildError& e) {
        std::string m = e.what();
        if (!m.empty() && m[0] == '.') m.erase(0, 1);
        return Status::error("Bad preset JSON: " + m);
    } catch (const json::exception& e) {
        return Status::error(std::string("Bad preset JSON: ") + e.what());
    }
    out = built;
    return Status::success();
}

}  // namespace kf
