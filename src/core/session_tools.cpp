// The session's "Tools" commands, setup values and utility buttons: the
// record work lives in timbre_tools / utilities; here is only what a
// command does around it.
#include <fstream>
#include <mutex>
#include <string_view>

#include "core/session.h"

namespace kf {

// The common frame of the oscillator rewrites: edit the current record with
// the controls held still, show the selected oscillator again, and render.
void SessionCore::rewriteOscillators(const std::function<void(TimbreRecord&)>& edit) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ++loadingCount_;
    edit(timbres_[static_cast<size_t>(currentTimbre_)]);
    setOscillatorParams();
    --loadingCount_;
    oscillatorsChanged_ = true;
    // Captures the controls again: an oscillator on display above the
    // frequency bar's 11025 Hz keeps only what the bar can hold.
    generateSoundBuf();
}

FatWizard SessionCore::fatWizard() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return fatWizard_;
}

void SessionCore::setFatWizard(const FatWizard& w) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    fatWizard_ = w;
}

void SessionCore::melodicOscillatorsToC(int octave) {
    const int32_t hz = melodicCFrequency(octave);
    if (hz == 0) return;
    recordStep("Melodic oscillators to C-" + std::to_string(octave));
    rewriteOscillators([hz](TimbreRecord& t) { setMelodicFrequency(t, hz); });
}

void SessionCore::octaveShift(bool up) {
    recordStep(up ? "Octave up" : "Octave down");
    rewriteOscillators([up](TimbreRecord& t) { shiftOctave(t, up); });
}

void SessionCore::makeFatSound(uint32_t seed) {
    recordStep("Fat wizard");
    rewriteOscillators([this, seed](TimbreRecord& t) {
        random_.seed = seed;
        fatWizard_.apply(t, random_);
    });
}

uint32_t SessionCore::makeFatSound() {
    const uint32_t seed = fatWizardSeed();
    makeFatSound(seed);
    return seed;
}

void SessionCore::tb303Model() {
    recordStep("TB-303 model");
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        caption_ = "Kestrafon";
        presetName_ = "NoName";
        setPreset(defaultPreset_);
        selectOscillator(0);
        ++loadingCount_;
        TimbreRecord& cur = timbres_[static_cast<size_t>(currentTimbre_)];
        applyTb303(cur, units_.noteSequencer());
        fillControls(cur);
        --loadingCount_;
        units_.noteSequencer().setParams();
        renderRequested_ = true;
        oscillatorsChanged_ = true;
    }
    notify(Change::Preset);
    notify(Change::Units);
    resizeSound(ParamId::Length, 40, true);
}

Status SessionCore::processSoundFile(const std::string& sampleFile) {
    recordStep("Process sound file");
    // The sample it opens is part of this one step.
    ++historyHold_;
    Status loaded = loadSample(1, sampleFile);
    --historyHold_;
    if (!loaded) return loaded;
    int32_t length = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        ++loadingCount_;
        applySamplePlayer(timbres_[static_cast<size_t>(currentTimbre_)]);
        setOscillatorParams();
        --loadingCount_;
        length = lengthForSample(sample1_.view().count);
    }
    resizeSound(ParamId::Length, length, true);
    return Status::success();
}

SetupValues SessionCore::setupValues() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return kf::setupValues(settings_);
}

void SessionCore::applySetup(const SetupValues& v) {
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        kf::applySetup(settings_, v);
    }
    notify(Change::Setup);
}

std::string SessionCore::utilityName(int n) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return n == 2 ? settings_.util2 : settings_.util1;
}

Status SessionCore::runUtility(int n) {
    std::string command;
    int32_t rate = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        command = n == 2 ? settings_.util2Path : settings_.util1Path;
        rate = ratePosition_ * 5;
    }
    std::vector<int16_t> sound = playBuffer_.copy();
    if (playBuffer_.rate() > 0) rate = playBuffer_.rate();
    return kf::runUtility(command, SoundBuffer{static_cast<int32_t>(sound.size()), sound.data()}, rate);
}

}  // namespace kf
