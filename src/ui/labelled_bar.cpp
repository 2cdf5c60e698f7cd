#include "ui/labelled_bar.h"

#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

namespace kf::ui {

LabelledBar::LabelledBar(QWidget* parent)
    : QWidget(parent), label_(new QLabel(this)), bar_(new QScrollBar(Qt::Horizontal, this)) {
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    v->addWidget(label_);
    v->addWidget(bar_);
    bar_->setMinimumWidth(120);
}

void LabelledBar::setText(const QString& text) {
    label_->setText(text);
    label_->repaint();
}

}  // namespace kf::ui
