#include "ui/labelled_bar.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QVBoxLayout>

namespace kf::ui {

LabelledBar::LabelledBar(QWidget* parent)
    : QWidget(parent),
      label_(new QLabel(this)),
      editor_(new QLineEdit(this)),
      bar_(new QScrollBar(Qt::Horizontal, this)) {
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    v->addWidget(label_);
    v->addWidget(editor_);
    v->addWidget(bar_);
    bar_->setMinimumWidth(120);
    bar_->setFocusPolicy(Qt::StrongFocus);  // so every position is reachable from the keyboard
    // The editor takes the label's place without moving the bar.
    const int line = fontMetrics().height() + 2;
    label_->setFixedHeight(line);
    editor_->setFixedHeight(line);
    editor_->setFrame(false);
    editor_->hide();
    label_->installEventFilter(this);
    bar_->installEventFilter(this);
    editor_->installEventFilter(this);
    connect(editor_, &QLineEdit::returnPressed, this, [this] {
        const QString text = editor_->text();
        closeEditor();
        emit valueTyped(text);
    });
}

void LabelledBar::setText(const QString& text) {
    label_->setText(text);
    label_->repaint();
}

void LabelledBar::openEditor(const QString& text) {
    editor_->setText(text);
    editor_->selectAll();
    label_->hide();
    editor_->show();
    editor_->setFocus();
}

void LabelledBar::closeEditor() {
    if (editor_->isHidden()) return;
    editor_->hide();
    label_->show();
    bar_->setFocus();
}

bool LabelledBar::eventFilter(QObject* watched, QEvent* e) {
    if (watched == label_ && e->type() == QEvent::MouseButtonDblClick) {
        emit editRequested();
        return true;
    }
    if (watched == editor_ && e->type() == QEvent::FocusOut) {
        closeEditor();  // leaving the editor cancels it
        return false;
    }
    if (e->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(e)->key();
    if (watched == editor_ && key == Qt::Key_Escape) {
        closeEditor();
        return true;
    }
    if (watched != bar_) return false;
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit editRequested();
            return true;
        // One position, not the row's small step (which the bar's arrow buttons keep).
        case Qt::Key_Left:
        case Qt::Key_Down:
            bar_->setValue(bar_->value() - 1);
            return true;
        case Qt::Key_Right:
        case Qt::Key_Up:
            bar_->setValue(bar_->value() + 1);
            return true;
        default:
            return false;
    }
}

}  // namespace kf::ui
