#include "ui/keyboard_play.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTextEdit>
#include <QPlainTextEdit>

#include "core/session.h"
#include "ui/note_list.h"

namespace kf::ui {

namespace {

// Typing into these keeps its meaning, even for keys they do not take.
bool focusEdits() {
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QTextEdit*>(w) ||
            qobject_cast<QPlainTextEdit*>(w) || qobject_cast<NoteStepList*>(w))
            return true;
    return false;
}

}  // namespace

KeyboardPlay::KeyboardPlay(Session& session, std::function<bool()> active, std::function<int32_t()> stamp,
                           QObject* parent)
    : QObject(parent), session_(session), active_(std::move(active)), stamp_(std::move(stamp)) {}

bool KeyboardPlay::eventFilter(QObject* watched, QEvent* e) {
    const bool press = e->type() == QEvent::KeyPress;
    if (!press && e->type() != QEvent::KeyRelease) return QObject::eventFilter(watched, e);
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->isAutoRepeat() || k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = k->text();
    if (text.size() != 1 || text[0].unicode() >= 0x7f) return false;
    const char key = static_cast<char>(text[0].unicode());
    if (press) {
        if (!active_() || focusEdits() || down_.contains(k->key())) return false;
        if (!session_.live().keyboardNote(key, true, stamp_())) return false;
        down_.insert(k->key());
        return true;
    }
    // The release of a key that played: its note-off, even if real time
    // stopped meanwhile, so no note hangs.
    if (!down_.remove(k->key())) return false;
    session_.live().keyboardNote(key, false, stamp_());
    return true;
}

}  // namespace kf::ui
