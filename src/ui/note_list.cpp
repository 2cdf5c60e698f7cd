#include "ui/note_list.h"

#include <QFontDatabase>
#include <QKeyEvent>

#include "core/session.h"

namespace kf::ui {

NoteStepList::NoteStepList(Session& session, QWidget* parent) : QListWidget(parent), session_(session) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setSelectionMode(QAbstractItemView::SingleSelection);
    refresh();
}

void NoteStepList::refresh() {
    std::vector<std::string> lines;
    const NoteTables tables = session_.render().tuning();
    session_.params().readUnits([&](const SoundScheme& u) { lines = u.noteSequencer().notesText(tables); });
    const int n = static_cast<int>(lines.size());
    while (count() > n) delete takeItem(count() - 1);
    while (count() < n) addItem(QString());
    for (int i = 0; i < n; ++i) {
        const QString text = QString::fromStdString(lines[static_cast<size_t>(i)]);
        if (item(i)->text() != text) item(i)->setText(text);
    }
}

bool NoteStepList::typeKey(char key) {
    const int row = currentItem() && currentItem()->isSelected() ? currentRow() : -1;
    // Without a selected step only the octave keys act.
    if (row < 0 && key != '+' && key != '-') return false;
    const NoteTables tables = session_.render().tuning();
    int32_t selected = row;
    bool changed = false;
    session_.params().editUnits([&](SoundScheme& u) {
        NoteSequencer& n = u.noteSequencer();
        n.selection = row;
        changed = n.noteKeyPress(key, tables);
        selected = n.selection;
    });
    refresh();
    if (selected >= 0 && selected < count()) setCurrentRow(selected);
    return changed;
}

void NoteStepList::keyPressEvent(QKeyEvent* e) {
    const QString text = e->text();
    if (text.size() == 1 && text[0].unicode() >= 0x20 && text[0].unicode() < 0x7f) {
        // Typed characters are the step editor's keys, never a search in the list.
        typeKey(static_cast<char>(text[0].unicode()));
        e->accept();
        return;
    }
    QListWidget::keyPressEvent(e);
}

}  // namespace kf::ui
