// The Sequencer page's step list: one line per used step of the note
// sequencer, typed into from the keyboard. Every typed character goes to
// the note sequencer's own key handling for the selected line; the list
// then shows the result and selects the step the handling moved to.
#pragma once

#include <QListWidget>

namespace kf {
class Session;
}

namespace kf::ui {

class NoteStepList : public QListWidget {
    Q_OBJECT
public:
    explicit NoteStepList(Session& session, QWidget* parent = nullptr);
    // Lines from the units (only lines whose text differs are replaced,
    // so nothing flickers while typing).
    void refresh();
    // One typed character on the selected line; false when it changed nothing.
    bool typeKey(char key);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    Session& session_;
};

}  // namespace kf::ui
