// The parameter table against the records, the default preset, the session's
// clamps and the control texts the window shows.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/session.h"
#include "engine/param_table.h"
#include "files/preset.h"

using namespace kf;

namespace {

// The value a parameter holds in a start-up preset, read at its place.
long double storedAtStart(const ParamInfo& p, const PresetRecord& preset, const Session& s) {
    const TimbreImage t = toImage(preset.timbre);
    switch (p.scope) {
        case ParamScope::Timbre: return readStored(p, t.data());
        case ParamScope::Oscillator: {
            if (p.id == ParamId::OscWaveForm) return preset.timbre.oscillators[0].waveForm;
            OscillatorImage o;
            writeOscillator(preset.timbre.oscillators[0], o.data());
            return readStored(p, o.data());
        }
        case ParamScope::Light: return preset.timbre.oscillators[p.offset].active;
        case ParamScope::Envelope: return preset.envelopeBars[p.offset];
        case ParamScope::Rate: return preset.ratePosition();
        case ParamScope::Unit: return s.params().value(p.id);
    }
    return -1;
}

}  // namespace

TEST(ParamTable, StartsAgreeWithTheDefaultPresetAndTheRecords) {
    Session s;
    const PresetRecord& preset = s.files().defaultPreset();
    const TimbreImage fresh = toImage(TimbreRecord{});
    for (const ParamInfo& p : paramTable()) {
        SCOPED_TRACE(std::string(p.control));
        // The start-up fills the oscillator page from the oscillator
        // defaults, so the window opens at 523 Hz, not at the bar's 440.
        const long double start = p.id == ParamId::OscFrequency ? 523 : p.start;
        EXPECT_EQ(storedAtStart(p, preset, s), start);
        EXPECT_EQ(s.params().value(p.id), start);
        EXPECT_LE(p.min, p.start);
        EXPECT_GE(p.max, p.start);
        EXPECT_LE(p.barMin, p.barMax);
        // A new record holds the same start at the table's offset: a wrong
        // offset would read a neighbour's (distinct) start value.
        if (p.scope == ParamScope::Timbre) {
            EXPECT_EQ(readStored(p, fresh.data()), p.start);
        }
    }
}

TEST(ParamTable, PlacesInTheRecordsDoNotOverlapAndKeysAreUnique) {
    std::map<int, std::string> timbreBytes, oscBytes;
    std::set<std::pair<int, std::string>> keys;
    for (const ParamInfo& p : paramTable()) {
        EXPECT_TRUE(keys.insert({static_cast<int>(p.scope), std::string(p.key)}).second) << p.key;
        int width = 0;
        switch (p.store) {
            case Store::I32: width = 4; break;
            case Store::I16: case Store::U16: case Store::Set16: width = 2; break;
            case Store::U8: width = 1; break;
            default: break;  // flag bits share one byte; other scopes have no bytes
        }
        auto& bytes = p.scope == ParamScope::Timbre ? timbreBytes : oscBytes;
        if (p.scope != ParamScope::Timbre && p.scope != ParamScope::Oscillator) continue;
        const int size = p.scope == ParamScope::Timbre ? TimbreRecord::kSize : OscillatorRecord::kSize;
        EXPECT_LE(p.offset + width, size) << p.key;
        for (int b = 0; b < width; ++b)
            EXPECT_TRUE(bytes.emplace(p.offset + b, std::string(p.key)).second)
                << p.key << " overlaps " << bytes[p.offset + b];
    }
    // The byte image written from a record field shows at the table's place.
    TimbreRecord t;
    t.reverbCutOff = 77;
    t.flangerMaxDelay = -3;
    t.oscillators[0].relativeFrequency = 1234;
    const TimbreImage img = toImage(t);
    EXPECT_EQ(readStored(paramInfo(ParamId::ReverbCutOff), img.data()), 77);
    EXPECT_EQ(readStored(paramInfo(ParamId::FlangerMaxDelay), img.data()), -3);
    EXPECT_EQ(readStored(paramInfo(ParamId::OscRelativeFrequency), img.data() + 130), 1234);
}

TEST(ParamTable, SetHoldsEveryParameterToItsRange) {
    Session s;
    s.render().setAutoRender(false);
    for (const ParamInfo& p : paramTable()) {
        SCOPED_TRACE(std::string(p.control));
        if (p.type == ParamType::Choice) {
            const auto items = paramChoices(p.id);
            s.params().set(p.id, items.back().value);
            EXPECT_EQ(s.params().value(p.id), items.back().value);
            s.params().set(p.id, 99);  // no item: ignored
            EXPECT_EQ(s.params().value(p.id), items.back().value);
            continue;
        }
        if (p.reaction == Reaction::Length || p.reaction == Reaction::Silence || p.reaction == Reaction::SampleStart)
            continue;  // reallocation and sample reloads: covered by their own tests
        s.params().set(p.id, p.min - 1);
        EXPECT_EQ(s.params().value(p.id), p.min);
        if (p.max < 2147483647.0L) {
            s.params().set(p.id, p.max + 1);
            EXPECT_EQ(s.params().value(p.id), p.max);
        }
        const long double inside = p.type == ParamType::Real ? 12.25L : std::floor((p.min + std::min(p.max, 4000.0L)) / 2);
        s.params().set(p.id, inside);
        EXPECT_EQ(s.params().value(p.id), inside);
    }
    EXPECT_EQ(s.render().rendersDone(), 0u);
}

TEST(ParamTable, LabelsAtStartAndAtTheEdges) {
    const std::map<ParamId, std::string> atStart = {
        {ParamId::Env1Attack, "Attack: 0.0%"},
        {ParamId::Env2Release, "Release: 70.3%"},
        {ParamId::Env3Sustain, "Sustain: 0.0%"},
        {ParamId::Env1Amplitude, "Amplitude: 100.0  "},
        {ParamId::Env1Base, "Base: 0.0    "},
        {ParamId::Env1Shape, "Shape: 1.000    "},
        {ParamId::Env1Iterations, "Iterations: 1  "},
        {ParamId::Lfo1Frequency, "Frequency: 2.0Hz"},
        {ParamId::Lfo1Amplitude, "Amplitude: 3.13"},
        {ParamId::Lfo2Base, "Base: 0.0   "},
        {ParamId::Lfo2Phase, "Phase: 0\u00b0   "},
        {ParamId::NoiseFrequency, "Frequency: 32Hz "},
        {ParamId::NoiseAmplitude, "Amplitude: 6.25   "},
        {ParamId::PreOverdrive, "PreOverdrive: 1.0   "},
        {ParamId::WrapOverdrive, "WrapOverdrive: 1.0   "},
        {ParamId::FeedBackDelay, "Delay: 159.6ms (3.520K)"},  // at the start rate, 22050 Hz
        {ParamId::AdditionalSilence, "Additional Silence: 0.00sec (0.0K)"},
        {ParamId::ReverbLength, "Length: 200ms    "},
        {ParamId::ReverbAttack, "Attack length: 15ms    "},
        {ParamId::OscVolume, "Volume: 50.0 (-6.0 dB)    "},
        {ParamId::OscShape, "Shape: 1.000   "},
        {ParamId::OscRelativeFrequency, "Relative frequency: 100.0   "},
        {ParamId::OscPhase, "Phase: 0\u00b0   "},
        {ParamId::OscillatorsVolume, "Volume: 100.0    "},
        {ParamId::ResonanceVolume, "Volume: 100.0"},
        {ParamId::ResonanceFrequency, "Frequency: 0Hz"},
        {ParamId::ResonanceCalmingSpeed, "Calming speed: 0.063   "},
        {ParamId::ResonanceDependence, "Calming dependence: 25.0%   "},
        {ParamId::FlangerRate, "Rate: 0.50Hz   "},
        {ParamId::FlangerMinDelay, "Min delay: 0.00ms   "},
        {ParamId::FlangerMaxDelay, "Max delay: 0.91ms   "},
        {ParamId::FlangerCrossFade, "Crossfade: 50.0%   "},
        {ParamId::ChorusMaxDelay, "Max delay: 3.17ms   "},
        {ParamId::ChorusVolume, "Volume: 100%   "},
        {ParamId::SampleRate, "Frequency: 22050"},
        {ParamId::Length, "Length: 0.464s, 10K    "},
        {ParamId::MainVolume, "Main volume: 100.0%   "},
        {ParamId::CutOff, "Cut off: 128   "},
    };
    Session s;
    for (const auto& [id, text] : atStart) EXPECT_EQ(s.params().label(id), text) << paramInfo(id).control;
    // The start-up shows the oscillator defaults (523 Hz), not the bar's own start.
    EXPECT_EQ(s.params().label(ParamId::OscFrequency), "Frequency: 523Hz (C-6+0)");
    EXPECT_EQ(paramLabel(ParamId::OscFrequency, 440), "Frequency: 440Hz (A-5+0)");

    struct Edge { ParamId id; long double value; std::string text; };
    const Edge edges[] = {
        {ParamId::SampleRate, 9600, "Frequency: 48000"},
        {ParamId::SampleRate, 200, "Frequency: 1000"},
        {ParamId::OscVolume, 0, "Volume: 0.0 (-99.0 dB)    "},
        {ParamId::OscVolume, 256, "Volume: 100.0 (0.0 dB)    "},
        {ParamId::Env2Base, -1024, "Base: -100.0    "},
        {ParamId::ResonanceCalmingSpeed, 1024, "Calming speed: 0.000   "},
        {ParamId::Length, 1, "Length: 0.023s, 1K    "},
        {ParamId::ChorusVolume, 1023, "Volume: 399%   "},
        {ParamId::OscFrequency, 0, "Frequency: 0Hz (C-0-8)"},
        {ParamId::OscFrequency, 13000, "Frequency: 13000Hz (G-10+455)"},
    };
    for (const Edge& e : edges) EXPECT_EQ(paramLabel(e.id, e.value), e.text) << paramInfo(e.id).control;
    EXPECT_EQ(numberEditText(10), "10");
    EXPECT_EQ(numberEditText(0.227L), "0.227");
    EXPECT_EQ(formatFixed(-0.04L, 1), "0.0");
}

// Typed entry runs the label backwards: a label's own number, typed back,
// lands on a position showing the same number, for every bar at two rates.
TEST(ParamTable, TypedValuesFindThePositionTheLabelShows) {
    for (const ParamInfo& p : paramTable()) {
        const bool harmonic = p.id >= ParamId::OscLevel1 && p.id <= ParamId::OscDetune16;
        if (p.type != ParamType::Int || p.control.ends_with("Edit") || harmonic) continue;
        ASSERT_FALSE(paramValueText(p.id, p.start).empty()) << p.control << " shows no value";
        for (long double rate : {22050.0L, 44100.0L})
            for (int32_t pos : {p.barMin, p.barMax, (p.barMin + p.barMax) / 3, p.barMin + 1}) {
                const std::string shown = paramValueText(p.id, pos, rate);
                const auto back = positionForValue(p.id, shown, rate);
                ASSERT_TRUE(back) << p.control << " " << shown;
                EXPECT_EQ(paramValueText(p.id, *back, rate), shown) << p.control;
            }
    }
    struct Typed { ParamId id; const char* text; long double rate; std::optional<int32_t> pos; };
    const Typed typed[] = {
        {ParamId::OscFrequency, "131", 22050, 131},
        {ParamId::OscFrequency, " 131 Hz ", 22050, 131},
        {ParamId::OscFrequency, "0.131kHz", 22050, 131},
        {ParamId::OscRelativeFrequency, "100.3", 22050, 1003},
        {ParamId::OscVolume, "-6 dB", 22050, 128},
        {ParamId::OscVolume, "50%", 22050, 128},
        {ParamId::FeedBackDelay, "0.16s", 22050, 221},    // 160 ms at 22050 Hz: 3528 samples
        {ParamId::FeedBackDelay, "160ms", 44100, 441},
        {ParamId::AdditionalSilence, "1 sec", 44100, 128},
        {ParamId::Env1Attack, "100", 22050, 1024},
        {ParamId::Env1Attack, "250%", 22050, 1024},      // held to the bar's end
        {ParamId::ResonanceCalmingSpeed, "0", 22050, 1024},
        {ParamId::OscFrequency, "loud", 22050, std::nullopt},
        {ParamId::OscFrequency, "131 ms", 22050, std::nullopt},
        {ParamId::OscFrequency, "nan", 22050, std::nullopt},
    };
    for (const Typed& t : typed) EXPECT_EQ(positionForValue(t.id, t.text, t.rate), t.pos) << t.text;
}
