// The computer keyboard as a MIDI keyboard while real time runs: keys that
// reach the window unhandled (no edit, spin box or step list has the focus)
// play the note sequencer's key map at its entry octave into the MIDI queue,
// stamped with the stream's current MIDI time.
#pragma once

#include <QObject>
#include <QSet>
#include <cstdint>
#include <functional>

namespace kf {
class Session;
}

namespace kf::ui {

class KeyboardPlay : public QObject {
    Q_OBJECT
public:
    // `active`: whether keys play now ("Realtime" on); `stamp`: the stream's MIDI time.
    KeyboardPlay(Session& session, std::function<bool()> active, std::function<int32_t()> stamp,
                 QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    Session& session_;
    std::function<bool()> active_;
    std::function<int32_t()> stamp_;
    QSet<int> down_;  // keys whose note-on went out, so a release sends only their note-off
};

}  // namespace kf::ui
