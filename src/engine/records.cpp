// Byte images of the timbre and oscillator records. Every field is written
// at its fixed offset, little-endian; reserved stretches travel verbatim so
// that a loaded preset saves back byte for byte.
#include "engine/records.h"

#include "engine/byte_io.h"

#include <algorithm>
#include <cstring>

namespace kf {

namespace {

void put8(uint8_t* p, int off, uint8_t v) { p[off] = v; }
void put16(uint8_t* p, int off, uint16_t v) { putLE16(p + off, v); }
void put32(uint8_t* p, int off, int32_t v) { putLE32(p + off, static_cast<uint32_t>(v)); }
uint8_t get8(const uint8_t* p, int off) { return p[off]; }
uint16_t get16(const uint8_t* p, int off) { return getLE16(p + off); }
int32_t get32(const uint8_t* p, int off) { return static_cast<int32_t>(getLE32(p + off)); }

template <size_t N>
void putBytes(uint8_t* p, int off, const std::array<uint8_t, N>& a) {
    std::memcpy(p + off, a.data(), N);
}
template <size_t N>
void getBytes(const uint8_t* p, int off, std::array<uint8_t, N>& a) {
    std::memcpy(a.data(), p + off, N);
}

void putSlot(uint8_t* p, int off, const ModSlot& s) {
    put16(p, off, s.sources);
    put32(p, off + 2, s.word0);
    put32(p, off + 6, s.word1);
}
ModSlot getSlot(const uint8_t* p, int off) {
    ModSlot s;
    s.sources = get16(p, off);
    s.word0 = get32(p, off + 2);
    s.word1 = get32(p, off + 6);
    return s;
}

// 128 points {x, y} then, elsewhere, the count.
void putCurvePoints(uint8_t* p, int off, const CurveData& c) {
    for (int i = 0; i < 128; ++i) {
        put32(p, off + 8 * i, c.points[i].x);
        put32(p, off + 8 * i + 4, c.points[i].y);
    }
}
void getCurvePoints(const uint8_t* p, int off, CurveData& c) {
    for (int i = 0; i < 128; ++i) {
        c.points[i].x = get32(p, off + 8 * i);
        c.points[i].y = get32(p, off + 8 * i + 4);
    }
}

constexpr int kOscBase = 130;
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

void writeOscillator(const OscillatorRecord& o, uint8_t* out) {
    for (int k = 0; k < 16; ++k) {
        put16(out, 4 * k, o.harmonics[k].level);
        put16(out, 4 * k + 2, o.harmonics[k].detune);
    }
    put32(out, 64, o.volume);
    put32(out, 68, o.frequency);
    put32(out, 72, o.relativeFrequency);
    put32(out, 76, o.shape);
    put16(out, 80, o.phase);
    putBytes(out, 82, o.unused82);
    put8(out, 84, o.active);
    put8(out, 85, o.harmonicsActive);
    put8(out, 86, o.flags);
    putSlot(out, 87, o.volumeModulation);
    putSlot(out, 97, o.frequencyModulation);
    putSlot(out, 107, o.shapeModulation);
    put8(out, 117, o.waveForm);
}

OscillatorRecord readOscillator(const uint8_t* in) {
    OscillatorRecord o;
    for (int k = 0; k < 16; ++k) {
        o.harmonics[k].level = get16(in, 4 * k);
        o.harmonics[k].detune = get16(in, 4 * k + 2);
    }
    o.volume = get32(in, 64);
    o.frequency = get32(in, 68);
    o.relativeFrequency = get32(in, 72);
    o.shape = get32(in, 76);
    o.phase = get16(in, 80);
    getBytes(in, 82, o.unused82);
    o.active = get8(in, 84);
    o.harmonicsActive = get8(in, 85);
    o.flags = get8(in, 86);
    o.volumeModulation = getSlot(in, 87);
    o.frequencyModulation = getSlot(in, 97);
    o.shapeModulation = getSlot(in, 107);
    o.waveForm = get8(in, 117);
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
    uint8_t* p = img.data();
    put32(p, 0, t.lfo1Frequency);
    put32(p, 4, t.lfo1Base);
    put32(p, 8, t.lfo1Amplitude);
    put8(p, 12, t.lfo1Shape);
    putBytes(p, 13, t.reserved13);
    put32(p, 16, t.lfo2Frequency);
    put32(p, 20, t.lfo2Base);
    put32(p, 24, t.lfo2Amplitude);
    put8(p, 28, t.lfo2Shape);
    putBytes(p, 29, t.reserved29);
    put32(p, 32, t.noiseFrequency);
    put32(p, 36, t.noiseBase);
    put32(p, 40, t.noiseAmplitude);
    putBytes(p, 44, t.reserved44);
    put16(p, 48, t.resonanceFrequencyModulation);
    put8(p, 50, t.cutOffMode);
    put32(p, 51, t.renderLength);
    putBytes(p, 55, t.reserved55);
    put16(p, 58, t.cutOffModulation);
    putBytes(p, 60, t.reserved60);
    put32(p, 72, t.resonanceFrequency);
    put32(p, 76, t.resonanceVolume);
    put32(p, 80, t.resonanceCalmingSpeed);
    put32(p, 84, t.chorusVolume);
    putBytes(p, 88, t.reserved88);
    put32(p, 108, t.length);
    put8(p, 112, t.resonanceActive);
    put8(p, 113, t.cutOffActive);
    put32(p, 114, t.cutOff);
    put32(p, 118, t.averageFilterWindowWidth);
    put32(p, 122, t.averageFilterTrebleVolume);
    put32(p, 126, t.averageFilterBassVolume);
    for (int k = 0; k < 10; ++k)
        writeOscillator(t.oscillators[k], p + kOscBase + OscillatorRecord::kSize * k);
    put32(p, 1310, t.oscillatorsVolume);
    putCurvePoints(p, 1314, t.waveFormGraph);
    put32(p, 2338, t.waveFormGraph.count);
    put8(p, 2342, t.feedBackActive);
    put32(p, 2343, t.feedBackVolume);
    put32(p, 2347, t.feedBackDelay);
    put32(p, 2351, t.additionalSilence);
    put8(p, 2355, t.feedBackCyclic);
    put32(p, 2356, t.mainVolume);
    put32(p, 2360, t.preOverdrive);
    put32(p, 2364, t.postOverdrive);
    put32(p, 2368, t.wrapOverdrive);
    put8(p, 2372, t.wrapOverdriveActive);
    put16(p, 2373, t.volumeModulation);
    put32(p, 2375, t.feedBackDecay);
    put32(p, 2379, t.feedBackCutOff);
    put8(p, 2383, t.windowFilterActive);
    put32(p, 2384, t.fwWindowPos);
    put32(p, 2388, t.fwWindowWidth);
    putCurvePoints(p, 2392, t.envelopeGraph);
    put32(p, 3416, t.envelopeGraph.count);
    put32(p, 3420, t.lfo1Phase);
    put32(p, 3424, t.lfo2Phase);
    put32(p, 3428, t.tempo);
    put32(p, 3432, t.sample1StartPos);
    put32(p, 3436, t.sample2StartPos);
    put8(p, 3440, t.chordActive);
    putBytes(p, 3441, t.chord);
    put32(p, 3472, t.midiEnv1Attack);
    put32(p, 3476, t.midiEnv1Decay);
    put32(p, 3480, t.midiEnv1Sustain);
    put32(p, 3484, t.midiEnv1Release);
    put8(p, 3488, t.flangerActive);
    put16(p, 3489, static_cast<uint16_t>(t.flangerMinDelay));
    put16(p, 3491, static_cast<uint16_t>(t.flangerMaxDelay));
    put32(p, 3493, t.flangerRate);
    put8(p, 3497, t.flangerInvert);
    put32(p, 3498, t.flangerCrossFade);
    put8(p, 3502, t.chorusActive);
    put32(p, 3503, t.chorusVoices);
    put32(p, 3507, t.chorusMaxDelay);
    put32(p, 3511, t.midiEnv2Attack);
    put32(p, 3515, t.midiEnv2Decay);
    put32(p, 3519, t.midiEnv2Sustain);
    put32(p, 3523, t.midiEnv2Release);
    put32(p, 3527, t.midiEnv1Amplitude);
    put32(p, 3531, t.midiEnv2Amplitude);
    put8(p, 3535, t.realTime);
    putBytes(p, 3536, t.unused3536);
    put8(p, 3838, t.averageFilterActive);
    put8(p, 3839, t.oscillatorsCalm);
    put32(p, 3840, t.chorusVibratoRate);
    putBytes(p, 3844, t.unused3844);
    put32(p, 3850, t.resonanceDependence);
    putBytes(p, 3854, t.unused3854);
    put8(p, 3858, t.reverbActive);
    put16(p, 3859, static_cast<uint16_t>(t.reverbDryVolume));
    put16(p, 3861, static_cast<uint16_t>(t.reverbWetVolume));
    put32(p, 3863, t.reverbLength);
    put32(p, 3867, t.reverbAttack);
    put32(p, 3871, t.reverbCutOff);
    static_assert(3871 + 4 == TimbreRecord::kSize);
    return img;
}

TimbreRecord fromImage(const uint8_t* p) {
    TimbreRecord t;
    t.lfo1Frequency = get32(p, 0);
    t.lfo1Base = get32(p, 4);
    t.lfo1Amplitude = get32(p, 8);
    t.lfo1Shape = get8(p, 12);
    getBytes(p, 13, t.reserved13);
    t.lfo2Frequency = get32(p, 16);
    t.lfo2Base = get32(p, 20);
    t.lfo2Amplitude = get32(p, 24);
    t.lfo2Shape = get8(p, 28);
    getBytes(p, 29, t.reserved29);
    t.noiseFrequency = get32(p, 32);
    t.noiseBase = get32(p, 36);
    t.noiseAmplitude = get32(p, 40);
    getBytes(p, 44, t.reserved44);
    t.resonanceFrequencyModulation = get16(p, 48);
    t.cutOffMode = get8(p, 50);
    t.renderLength = get32(p, 51);
    getBytes(p, 55, t.reserved55);
    t.cutOffModulation = get16(p, 58);
    getBytes(p, 60, t.reserved60);
    t.resonanceFrequency = get32(p, 72);
    t.resonanceVolume = get32(p, 76);
    t.resonanceCalmingSpeed = get32(p, 80);
    t.chorusVolume = get32(p, 84);
    getBytes(p, 88, t.reserved88);
    t.length = get32(p, 108);
    t.resonanceActive = get8(p, 112);
    t.cutOffActive = get8(p, 113);
    t.cutOff = get32(p, 114);
    t.averageFilterWindowWidth = get32(p, 118);
    t.averageFilterTrebleVolume = get32(p, 122);
    t.averageFilterBassVolume = get32(p, 126);
    for (int k = 0; k < 10; ++k)
        t.oscillators[k] = readOscillator(p + kOscBase + OscillatorRecord::kSize * k);
    t.oscillatorsVolume = get32(p, 1310);
    getCurvePoints(p, 1314, t.waveFormGraph);
    t.waveFormGraph.count = get32(p, 2338);
    t.feedBackActive = get8(p, 2342);
    t.feedBackVolume = get32(p, 2343);
    t.feedBackDelay = get32(p, 2347);
    t.additionalSilence = get32(p, 2351);
    t.feedBackCyclic = get8(p, 2355);
    t.mainVolume = get32(p, 2356);
    t.preOverdrive = get32(p, 2360);
    t.postOverdrive = get32(p, 2364);
    t.wrapOverdrive = get32(p, 2368);
    t.wrapOverdriveActive = get8(p, 2372);
    t.volumeModulation = get16(p, 2373);
    t.feedBackDecay = get32(p, 2375);
    t.feedBackCutOff = get32(p, 2379);
    t.windowFilterActive = get8(p, 2383);
    t.fwWindowPos = get32(p, 2384);
    t.fwWindowWidth = get32(p, 2388);
    getCurvePoints(p, 2392, t.envelopeGraph);
    t.envelopeGraph.count = get32(p, 3416);
    t.lfo1Phase = get32(p, 3420);
    t.lfo2Phase = get32(p, 3424);
    t.tempo = get32(p, 3428);
    t.sample1StartPos = get32(p, 3432);
    t.sample2StartPos = get32(p, 3436);
    t.chordActive = get8(p, 3440);
    getBytes(p, 3441, t.chord);
    t.midiEnv1Attack = get32(p, 3472);
    t.midiEnv1Decay = get32(p, 3476);
    t.midiEnv1Sustain = get32(p, 3480);
    t.midiEnv1Release = get32(p, 3484);
    t.flangerActive = get8(p, 3488);
    t.flangerMinDelay = static_cast<int16_t>(get16(p, 3489));
    t.flangerMaxDelay = static_cast<int16_t>(get16(p, 3491));
    t.flangerRate = get32(p, 3493);
    t.flangerInvert = get8(p, 3497);
    t.flangerCrossFade = get32(p, 3498);
    t.chorusActive = get8(p, 3502);
    t.chorusVoices = get32(p, 3503);
    t.chorusMaxDelay = get32(p, 3507);
    t.midiEnv2Attack = get32(p, 3511);
    t.midiEnv2Decay = get32(p, 3515);
    t.midiEnv2Sustain = get32(p, 3519);
    t.midiEnv2Release = get32(p, 3523);
    t.midiEnv1Amplitude = get32(p, 3527);
    t.midiEnv2Amplitude = get32(p, 3531);
    t.realTime = get8(p, 3535);
    getBytes(p, 3536, t.unused3536);
    t.averageFilterActive = get8(p, 3838);
    t.oscillatorsCalm = get8(p, 3839);
    t.chorusVibratoRate = get32(p, 3840);
    getBytes(p, 3844, t.unused3844);
    t.resonanceDependence = get32(p, 3850);
    getBytes(p, 3854, t.unused3854);
    t.reverbActive = get8(p, 3858);
    t.reverbDryVolume = static_cast<int16_t>(get16(p, 3859));
    t.reverbWetVolume = static_cast<int16_t>(get16(p, 3861));
    t.reverbLength = get32(p, 3863);
    t.reverbAttack = get32(p, 3867);
    t.reverbCutOff = get32(p, 3871);
    return t;
}

}  // namespace kf
