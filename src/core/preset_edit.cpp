#include "core/preset_edit.h"

#include <cctype>
#include <nlohmann/json.hpp>

#include "core/session.h"
#include "files/preset_json.h"

namespace kf {

namespace {

using nlohmann::json;

// "a.b[2].c" -> the element it names, or an error naming the first part that is not there.
Status walk(json& root, const std::string& key, json*& out) {
    json* at = &root;
    size_t i = 0;
    while (i < key.size()) {
        if (key[i] == '[') {
            const size_t close = key.find(']', i);
            if (close == std::string::npos) return Status::error("unknown key \"" + key + "\"");
            const std::string index = key.substr(i + 1, close - i - 1);
            if (!at->is_array() || index.empty() || index.size() > 6 ||
                index.find_first_not_of("0123456789") != std::string::npos || std::stoul(index) >= at->size())
                return Status::error("unknown key \"" + key.substr(0, close + 1) + "\"");
            at = &(*at)[std::stoul(index)];
            i = close + 1;
        } else {
            if (key[i] == '.') ++i;
            size_t end = key.find_first_of(".[", i);
            if (end == std::string::npos) end = key.size();
            const std::string name = key.substr(i, end - i);
            if (!at->is_object() || !at->contains(name))
                return Status::error("unknown key \"" + key.substr(0, end) + "\"");
            at = &(*at)[name];
            i = end;
        }
    }
    out = at;
    return Status::success();
}

// Brings the session to `to` (memory form) through its operations, the
// changed controls one by one, in the order the pages list them.
Status applyDifferences(Session& s, const PresetRecord& to, const SoundScheme& units) {
    Status result;
    auto keep = [&result](const Status& st) {
        if (result && !st) result = st;
    };
    const PresetRecord from = s.files().getPreset();
    for (const ParamInfo& p : paramTable()) {
        switch (p.scope) {
            case ParamScope::Timbre: {
                const long double v = readStored(p, to.timbre);
                if (readStored(p, from.timbre) != v) keep(s.params().set(p.id, v));
                break;
            }
            case ParamScope::Envelope:
                if (from.envelopeBars[p.offset] != to.envelopeBars[p.offset])
                    keep(s.params().set(p.id, to.envelopeBars[p.offset]));
                break;
            case ParamScope::Rate:
                if (from.ratePosition() != to.ratePosition()) keep(s.params().set(p.id, to.ratePosition()));
                break;
            case ParamScope::Light:
                if (from.timbre.oscillators[p.offset].active != to.timbre.oscillators[p.offset].active)
                    keep(s.params().set(p.id, to.timbre.oscillators[p.offset].active));
                break;
            default: break;
        }
    }
    for (int k = 0; k < 10; ++k) {
        const OscillatorRecord& oa = from.timbre.oscillators[static_cast<size_t>(k)];
        const OscillatorRecord& ob = to.timbre.oscillators[static_cast<size_t>(k)];
        OscillatorImage ia, ib;
        writeOscillator(oa, ia.data());
        writeOscillator(ob, ib.data());
        if (ia == ib) continue;
        s.params().selectOscillator(k);
        for (const ParamInfo& p : paramTable()) {
            if (p.scope != ParamScope::Oscillator) continue;
            const long double v = readStored(p, ob);
            if (readStored(p, oa) != v) keep(s.params().set(p.id, v));
        }
    }
    if (!(from.timbre.envelopeGraph.points == to.timbre.envelopeGraph.points &&
          from.timbre.envelopeGraph.count == to.timbre.envelopeGraph.count))
        s.params().setEnvelopeGraph(to.timbre.envelopeGraph);
    if (!(from.timbre.waveFormGraph.points == to.timbre.waveFormGraph.points &&
          from.timbre.waveFormGraph.count == to.timbre.waveFormGraph.count))
        s.params().setWaveFormGraph(to.timbre.waveFormGraph);
    if (from.timbre.chordText() != to.timbre.chordText()) s.params().setChordText(to.timbre.chordText());
    for (int n = 1; n <= 2; ++n) {
        if (from.samplePath(n) != to.samplePath(n)) (void)s.files().loadSample(n, to.samplePath(n));
        if (s.files().getPreset().byteSwapFlag(n) != to.byteSwapFlag(n)) s.files().byteSwapSample(n);
    }
    bool unitsDiffer = false;
    s.params().readUnits([&](const SoundScheme& cur) {
        unitsDiffer = cur.noteSequencer().block() != units.noteSequencer().block() ||
                      cur.frequencySequencer().block() != units.frequencySequencer().block() ||
                      cur.envelopeSequencer().block() != units.envelopeSequencer().block();
    });
    if (unitsDiffer) s.params().editUnits([&](SoundScheme& cur) { cur = units; });
    return result;
}

}  // namespace

Status setByKey(Session& s, const std::string& key, const std::string& value) {
    const std::vector<uint8_t> before = s.history().presetBytes();
    json j = presetFileToJson(before.data());
    json* at = nullptr;
    if (Status st = walk(j, key, at); !st) return st;
    if (at->is_object() || at->is_array()) {
        json v = json::parse(value, nullptr, false);
        if (v.is_discarded()) return Status::error(key + ": give the whole value as JSON");
        *at = v;
    } else {
        json v = json::parse(value, nullptr, false);
        *at = v.is_discarded() ? json(value) : v;
    }
    std::array<uint8_t, kPresetFileSize> bytes{};
    if (Status st = jsonToPresetFile(j, bytes, true); !st) {
        const std::string prefix = "Bad preset JSON: ";  // the codec's words for a file; here it is one value
        if (st.message.starts_with(prefix)) st.message.erase(0, prefix.size());
        return st;
    }
    PresetRecord stored = s.files().defaultPreset();
    stored = toStoredForm(stored);
    SoundScheme units;
    s.params().readUnits([&](const SoundScheme& cur) { units = cur; });
    readPresetBytes(bytes.data(), bytes.size(), stored, units);
    const json wanted = presetFileToJson(bytes.data());
    s.history().beginCompoundStep(key);
    const Status applied = applyDifferences(s, fromStoredForm(stored), units);
    s.history().endCompoundStep();
    if (!applied) return applied;
    s.render().waitForRender();
    // The value must have arrived as given: a field no control holds (or
    // one its control holds to a narrower range) is said, not dropped.
    json now = presetFileToJson(s.history().presetBytes().data());
    json *got = nullptr, *want = nullptr;
    json copy = wanted;
    // A text field shows as an object when bytes are left after its text;
    // the text is what was set.
    auto text = [](const json& v) { return v.is_object() && v.contains("text") ? v["text"] : v; };
    const bool arrived = walk(now, key, got) && walk(copy, key, want) && text(*got) == text(*want);
    if (!arrived)
        return Status::error(key + ": not a setting the window can give that value (it holds " +
                             (got ? got->dump() : std::string("nothing")) + ")");
    return Status::success();
}

}  // namespace kf
