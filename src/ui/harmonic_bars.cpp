#include "ui/harmonic_bars.h"

#include <QResizeEvent>
#include <QScrollBar>

namespace kf::ui {

HarmonicBars::HarmonicBars(QWidget* parent) : QFrame(parent) {
    for (int i = 1; i <= kBars; ++i) {
        auto* b = new QScrollBar(Qt::Vertical, this);
        b->setRange(0, kFull);
        b->setSingleStep(1);
        b->setPageStep(16);
        bars_[static_cast<size_t>(i - 1)] = b;
        values_[static_cast<size_t>(i - 1)] = kFull / i;
        b->setValue(kFull - kFull / i);
        connect(b, &QScrollBar::valueChanged, this, [this, i](int position) {
            if (busy_) return;
            values_[static_cast<size_t>(i - 1)] = kFull - position;
            emit changed(i, kFull - position);
        });
    }
    setMinimumSize(2 + kBars * 6, 40);
    layoutBars();
}

int32_t HarmonicBars::harmonic(int index) const { return values_[static_cast<size_t>(index - 1)]; }

void HarmonicBars::showHarmonic(int index, int32_t value) {
    values_[static_cast<size_t>(index - 1)] = value;
    ++busy_;
    bar(index)->setValue(kFull - value);
    --busy_;
}

QRect HarmonicBars::barGeometry(int index, QSize panel) {
    const int w = (panel.width() - 2) / kBars;
    return {w * (index - 1) + 1, 1, w, panel.height() - 2};
}

void HarmonicBars::layoutBars() {
    for (int i = 1; i <= kBars; ++i) {
        bar(i)->setGeometry(barGeometry(i, size()));
        // Range and position again from the value, as after any resize.
        showHarmonic(i, harmonic(i));
    }
}

void HarmonicBars::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    layoutBars();
}

}  // namespace kf::ui
