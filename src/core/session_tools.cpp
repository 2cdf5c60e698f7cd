// The session's "Tools" commands, setup values and utility buttons: the
// record work lives in timbre_tools / utilities; here is only what a
// command does around it.
#include <mutex>

#include "core/session.h"

namespace kf {

namespace {

// The common frame of the oscillator rewrites: edit the current record with
// the controls held still, show the selected oscillator again, and render.
template <class Edit>
void rewriteOscillators(Session& s, Edit edit) {
    std::lock_guard<std::recursive_mutex> lock(s.mutex());
    ++s.loadingCount;
    edit(s.current());
    s.setOscillatorParams();
    --s.loadingCount;
    s.oscillatorsChanged = true;
    // Captures the controls again: an oscillator on display above the
    // frequency bar's 11025 Hz keeps only what the bar can hold.
    s.generateSoundBuf();
}

}  // namespace

void Session::melodicOscillatorsToC(int octave) {
    const int32_t hz = melodicCFrequency(octave);
    if (hz == 0) return;
    rewriteOscillators(*this, [hz](TimbreRecord& t) { setMelodicFrequency(t, hz); });
}

void Session::octaveShift(bool up) {
    rewriteOscillators(*this, [up](TimbreRecord& t) { shiftOctave(t, up); });
}

void Session::makeFatSound(uint32_t seed) {
    rewriteOscillators(*this, [this, seed](TimbreRecord& t) {
        random.seed = seed;
        fatWizard.apply(t, random);
    });
}

uint32_t Session::makeFatSound() {
    const uint32_t seed = fatWizardSeed();
    makeFatSound(seed);
    return seed;
}

void Session::tb303Model() {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        caption = "Kestrafon";
        presetName = "NoName";
        setPreset(defaultPreset);
        selectOscillator(0);
        ++loadingCount;
        applyTb303(current(), units.noteSequencer());
        setTimbre(current());
        --loadingCount;
        units.noteSequencer().setParams();
        renderRequested = true;
        oscillatorsChanged = true;
    }
    notify(Change::Preset);
    notify(Change::Units);
    lengthChanged(40);
    notify(Change::Timbre);  // the length control moved
}

Status Session::processSoundFile(const std::string& sampleFile) {
    if (Status st = loadSample(1, sampleFile); !st) return st;
    int32_t length = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        ++loadingCount;
        applySamplePlayer(current());
        setOscillatorParams();
        --loadingCount;
        length = lengthForSample(sample1.view().count);
    }
    lengthChanged(length);
    notify(Change::Timbre);  // the length control moved
    return Status::success();
}

SetupValues Session::setupValues() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return kf::setupValues(settings);
}

void Session::applySetup(const SetupValues& v) {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        kf::applySetup(settings, v);
    }
    notify(Change::Setup);
}

std::string Session::utilityName(int n) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return n == 2 ? settings.util2 : settings.util1;
}

Status Session::runUtility(int n) {
    std::string command;
    int32_t rate = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        command = n == 2 ? settings.util2Path : settings.util1Path;
        rate = sampleRate();
    }
    std::vector<int16_t> sound = playBuffer.copy();
    return kf::runUtility(command, SoundBuffer{static_cast<int32_t>(sound.size()), sound.data()}, rate);
}

}  // namespace kf
