// The session's "Tools" commands, the harmonics presets, setup values and
// utility buttons: the record work lives in timbre_tools / utilities; here
// is only what a command does around it.
#include <algorithm>

#include "core/session.h"
#include "core/session_state.h"

namespace kf {

using Lock = SessionState::Lock;

void SoundTools::applyHarmonicsPreset(HarmonicsPreset preset) {
    s_.history().recordStep("Harmonics");
    {
        Lock lock(st_.mutex);
        OscillatorRecord& o =
            st_.current().oscillators[static_cast<size_t>(st_.selectedOscillator)];
        auto h = [&o](int i) -> uint16_t& { return o.harmonics[static_cast<size_t>(i - 1)].level; };
        switch (preset) {
            case HarmonicsPreset::Clear:
                for (int i = 2; i <= 16; ++i) h(i) = 0;
                h(1) = 256;
                break;
            case HarmonicsPreset::Max:
                for (int i = 1; i <= 16; ++i) h(i) = 256;
                break;
            case HarmonicsPreset::Random:
                for (int i = 2; i <= 16; ++i) h(i) = static_cast<uint16_t>(st_.random.draw(256));
                h(1) = 256;
                break;
            case HarmonicsPreset::Exp:
                for (int i = 2; i <= 16; ++i) h(i) = static_cast<uint16_t>(h(i) / i);
                break;
            case HarmonicsPreset::Decay:
                for (int i = 2; i <= 16; ++i) h(i) = static_cast<uint16_t>(((256 - 12 * i) * h(i)) / 256);
                break;
            case HarmonicsPreset::Keep11010:
                for (int i = 3; i <= 15; i += 2) h(i) = 0;
                break;
            case HarmonicsPreset::Keep10101:
                for (int i = 2; i <= 16; i += 2) h(i) = 0;
                break;
            case HarmonicsPreset::Mult:
                for (int i = 3; i <= 15; ++i)
                    if (i != 4 && i != 8) h(i) = 0;
                break;
        }
        st_.setOscillatorParams();
    }
    for (int i = 0; i < 16; ++i) {
        const ParamId id = offsetId(ParamId::OscLevel1, i);
        st_.notify(Notification{Change::Param, id, s_.params().value(id)});
    }
    {
        Lock lock(st_.mutex);  // as a bar change: the oscillators render anew
        st_.oscillatorsChanged = true;
        st_.getOscillatorParams();
    }
    s_.render().generateSoundBuf();
}

// The common frame of the oscillator rewrites: edit the current record with
// the controls held still, show the selected oscillator again, and render.
void SoundTools::rewriteOscillators(const std::function<void(TimbreRecord&)>& edit) {
    {
        Lock lock(st_.mutex);
        ++st_.loadingCount;
        edit(st_.current());
        st_.setOscillatorParams();
        --st_.loadingCount;
        st_.oscillatorsChanged = true;
    }
    // Captures the controls again: an oscillator on display above the
    // frequency bar's 11025 Hz keeps only what the bar can hold.
    s_.render().generateSoundBuf();
}

FatWizard SoundTools::fatWizard() const { return st_.read(fatWizard_); }

void SoundTools::setFatWizard(const FatWizard& w) { st_.write(fatWizard_, w); }

void SoundTools::melodicOscillatorsToC(int octave) {
    const int32_t hz = melodicCFrequency(octave);
    if (hz == 0) return;
    s_.history().recordStep("Melodic oscillators to C-" + std::to_string(octave));
    rewriteOscillators([hz](TimbreRecord& t) { setMelodicFrequency(t, hz); });
}

void SoundTools::octaveShift(bool up) {
    s_.history().recordStep(up ? "Octave up" : "Octave down");
    rewriteOscillators([up](TimbreRecord& t) { shiftOctave(t, up); });
}

void SoundTools::makeFatSound(uint32_t seed) {
    s_.history().recordStep("Fat wizard");
    rewriteOscillators([this, seed](TimbreRecord& t) {
        st_.random.seed = seed;
        fatWizard_.apply(t, st_.random);
    });
}

uint32_t SoundTools::makeFatSound() {
    const uint32_t seed = fatWizardSeed();
    makeFatSound(seed);
    return seed;
}

void SoundTools::tb303Model() {
    s_.history().recordStep("TB-303 model");
    bool restart = false;
    {
        Lock lock(st_.mutex);
        restart = st_.applyDefaultPreset();
        st_.selectOscillator(0);
        ++st_.loadingCount;
        TimbreRecord& cur = st_.current();
        applyTb303(cur, st_.units.noteSequencer());
        st_.fillControls(cur);
        --st_.loadingCount;
        st_.units.noteSequencer().setParams();
        st_.renderRequested = true;
        st_.oscillatorsChanged = true;
    }
    if (restart) st_.playback->playClick();
    st_.notify(Change::Preset);
    st_.notify(Change::Units);
    s_.render().resizeSound(ParamId::Length, 40, true);
}

Status SoundTools::processSoundFile(const std::string& sampleFile) {
    // The sample it opens is part of this one step.
    s_.history().beginCompoundStep("Process sound file");
    Status loaded = s_.files().loadSample(1, sampleFile);
    s_.history().endCompoundStep();
    if (!loaded) return loaded;
    int32_t length = 0;
    {
        Lock lock(st_.mutex);
        ++st_.loadingCount;
        applySamplePlayer(st_.current());
        st_.setOscillatorParams();
        --st_.loadingCount;
        length = lengthForSample(st_.sample1.view().count);
    }
    s_.render().resizeSound(ParamId::Length, length, true);
    return Status::success();
}

SetupValues SoundTools::setupValues() const {
    Lock lock(st_.mutex);
    return kf::setupValues(st_.settings);
}

void SoundTools::applySetup(const SetupValues& v) {
    {
        Lock lock(st_.mutex);
        kf::applySetup(st_.settings, v);
    }
    st_.notify(Change::Setup);
}

std::string SoundTools::utilityName(int n) const {
    Lock lock(st_.mutex);
    return n == 2 ? st_.settings.util2 : st_.settings.util1;
}

Status SoundTools::runUtility(int n) {
    std::string command;
    int32_t rate = 0;
    {
        Lock lock(st_.mutex);
        command = n == 2 ? st_.settings.util2Path : st_.settings.util1Path;
        rate = st_.sampleRate();
    }
    RenderedSound sound = renderedSound(s_.render().playBuffer(), rate);
    return kf::runUtility(command, sound.view(), sound.rate);
}

}  // namespace kf
