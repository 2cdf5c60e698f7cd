// Playing the rendered sound: "Play" loops it (or starts the real-time
// stream when the Realtime mark is set), "Play Once" plays it once, "Stop"
// silences whichever plays. The device reads the PlayBuffer live, so a render
// of unchanged length is heard in place without a restart.
#pragma once

#include <functional>

#include "audio/realtime.h"
#include "audio/wave_out.h"
#include "engine/play_buffer.h"
#include "engine/playback_control.h"
#include "engine/status.h"

namespace kf {

class Playback : public PlaybackControl {
public:
    // realTime may be null: "Play" then always plays the rendered sound.
    Playback(OutputDevice& out, PlayBuffer& buffer, RealTime* realTime = nullptr);

    // The window shows these in a message box (caption + message).
    void setErrorReporter(std::function<void(const Status&)> report) { report_ = std::move(report); }
    const Status& lastStatus() const { return last_; }

    // The "Realtime" menu mark.
    void setRealTimeMark(bool mark) { realTimeMark_ = mark; }
    bool realTimeMark() const { return realTimeMark_; }

    // Window handlers.
    void playClick() override;
    void playOnce();  // the rendered sound once, from the start
    void stopClick() override;
    // Stops, toggles the mark; the caller then copies the controls into the
    // timbre (which stores the mark in its real-time flag).
    void toggleRealTime();
    // The block length bar moved: stop, new block length, replay if it played.
    void realTimeDelayChange(int position);

    Status playNonRealTime(bool loop);
    void stopNonRealTime();

    bool playing() const override { return out_.playing; }
    bool playingLight() const { return light_; }

private:
    void report(const Status& s);

    OutputDevice& out_;
    PlayBufferSource source_;
    PlayBuffer& buffer_;
    RealTime* realTime_;
    std::function<void(const Status&)> report_;
    Status last_;
    bool realTimeMark_ = false;
    bool light_ = false;
};

}  // namespace kf
