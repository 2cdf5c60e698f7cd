#include "audio/playback.h"

namespace kf {

Playback::Playback(OutputDevice& out, PlayBuffer& buffer, RealTime* realTime)
    : out_(out), source_(buffer), buffer_(buffer), realTime_(realTime) {}

void Playback::report(const Status& s) {
    last_ = s;
    if (!s && report_) report_(s);
}

void Playback::playClick() {
    stopClick();
    if (realTimeMark_ && realTime_)
        report(realTime_->playRealTime());
    else
        report(playNonRealTime(true));
    light_ = out_.playing;
}

void Playback::playOnce() {
    stopClick();
    // The light stays as the stop left it (off) although the sound plays.
    report(playNonRealTime(false));
}

void Playback::stopClick() {
    if (realTimeMark_ && realTime_)
        realTime_->stopRealTime();
    else
        stopNonRealTime();
    light_ = out_.playing;
}

void Playback::toggleRealTime() {
    stopClick();
    realTimeMark_ = !realTimeMark_;
}

void Playback::realTimeDelayChange(int position) {
    bool wasPlaying = out_.playing;
    stopClick();
    if (realTime_) realTime_->setBufferPosition(position);
    if (wasPlaying) playClick();
}

Status Playback::playNonRealTime(bool loop) {
    const int32_t count = buffer_.count();
    if (count < 4) return Status::success();  // silently not played
    WaveOut& wave = out_.wave;
    // The samples' own rate: a rate changed since the render must not speed them up.
    const int32_t rate = buffer_.rate() > 0 ? buffer_.rate() : out_.sampleRate.load();
    if (Status s = wave.open(out_.deviceItem.load(), rate); !s) return s;
    // The last two samples are never played.
    if (Status s = wave.prepare(WaveSource{&source_, count - 2}, loop); !s) {
        out_.playing = true;
        stopClick();
        return s;
    }
    if (Status s = wave.write(); !s) {
        // Nothing plays; the device is closed at once rather than left open
        // until a stop that would not close it.
        wave.close();
        return s;
    }
    out_.playing = true;
    return Status::success();
}

void Playback::stopNonRealTime() {
    if (!out_.playing) return;
    out_.wave.stop();
    out_.wave.close();
    out_.playing = false;
}

}  // namespace kf
