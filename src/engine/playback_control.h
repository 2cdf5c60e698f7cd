// What the render driver needs of playback: restart after a render changed
// the sound's length. Implemented by the audio layer; the core runs without one.
#pragma once

namespace kf {

struct PlaybackControl {
    virtual ~PlaybackControl() = default;
    virtual bool playing() const = 0;
    virtual void stopClick() = 0;
    virtual void playClick() = 0;
};

}  // namespace kf
