#include "ui/custom_controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

namespace kf::ui {

namespace {

// Scroll positions are whole steps; halves go to the even step.
int roundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

QString trimmedNumber(double x) {
    QString s = QString::number(x, 'f', 10);
    while (s.endsWith('0')) s.chop(1);
    if (s.endsWith('.')) s.chop(1);
    return s;
}

// Colours as packed 0x00BBGGRR integers, the way the lamp's arithmetic sees them.
uint32_t packed(QColor c) {
    return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
           static_cast<uint32_t>(c.blue()) << 16;
}
QColor unpacked(uint32_t v) { return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF)); }

}  // namespace

QColor lampShade(QColor c) { return unpacked(packed(c) * 3 / 4); }
QColor lampLight(QColor c) { return unpacked(((packed(c) >> 1) & 0x7F7F7F) + 0x7F7F7F); }

// ---------------------------------------------------------------------------

NumberEdit::NumberEdit(QWidget* parent)
    : QFrame(parent), label_(new QLabel(this)), bar_(new QScrollBar(Qt::Horizontal, this)), edit_(new QLineEdit(this)) {
    label_->move(5, 1);
    setFixedHeight(36);
    bar_->setRange(0, 100);
    edit_->setText("0");
    connect(bar_, &QScrollBar::valueChanged, this, &NumberEdit::scrollChanged);
    connect(edit_, &QLineEdit::textChanged, this, &NumberEdit::editChanged);
}

void NumberEdit::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    const int w = width();
    label_->setGeometry(5, 1, std::max(w - 10, 10), 15);
    bar_->setGeometry(5, 16, std::max(w - 60, 10), 17);
    edit_->setGeometry(w - 50, 12, 45, 23);
}

int32_t NumberEdit::scrollMin() const { return bar_->minimum(); }
int32_t NumberEdit::scrollMax() const { return bar_->maximum(); }

void NumberEdit::setScrollMin(int32_t v) {
    ++busy_;
    bar_->setMinimum(v);
    --busy_;
}

void NumberEdit::setScrollMax(int32_t v) {
    ++busy_;
    bar_->setMaximum(v);
    --busy_;
}

QString NumberEdit::description() const { return label_->text(); }
void NumberEdit::setDescription(const QString& s) {
    label_->setText(s);
    label_->repaint();
}

double NumberEdit::clamp(double x) const {
    if (min_ == kNoMin) return x;
    return std::clamp(x, double(min_), 2147483647.0);
}

double NumberEdit::value() const { return clamp(edit_->text().toDouble()); }

void NumberEdit::setValue(double x) {
    x = clamp(x);
    ++busy_;
    edit_->setText(trimmedNumber(x));
    bar_->setValue(roundEven(x / mult_));
    emit changed();
    --busy_;
}

void NumberEdit::scrollChanged(int position) {
    if (busy_) return;
    ++busy_;
    edit_->setText(QString::number(position * mult_, 'f', 0));
    --busy_;
    emit changed();
}

void NumberEdit::editChanged(const QString& text) {
    if (busy_) return;
    bool ok = false;
    qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok) v = static_cast<qlonglong>(text.trimmed().toDouble());  // partial or no number: what it reads as
    ++busy_;
    if (min_ != kNoMin && v < min_) {
        setValue(min_);
        bar_->setValue(roundEven(min_ / mult_));
    } else {
        bar_->setValue(roundEven(double(v) / mult_));
    }
    --busy_;
    emit changed();
}

// ---------------------------------------------------------------------------

GraphBox::GraphBox(QWidget* parent) : QFrame(parent) {
    setMinimumSize(64, 40);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GraphBox::setBuffer(const int16_t* samples, int32_t count) {
    samples_ = samples;
    count_ = samples ? count : 0;
    update();
}

void GraphBox::setVerticalZoom(int factor) {
    zoom_ = std::max(1, factor);
    update();
}

void GraphBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    const QRect box = rect().adjusted(2, 2, -2, -2);
    p.translate(box.topLeft());
    const int w = box.width(), h = box.height();
    p.fillRect(0, 0, w, h, palette().color(QPalette::Base));
    p.setPen(Qt::black);
    p.drawRect(0, 0, w - 1, h - 1);
    p.setPen(QColor(0, 255, 0));
    p.drawLine(1, h / 2, w - 1, h / 2);
    p.setClipRect(0, 0, w, h);
    if (samples_ && count_ > 0 && w > 0) {
        p.setPen(Qt::black);
        QPoint prev(0, h / 2);
        for (int x = 0; x < w; ++x) {
            const int32_t s = samples_[int64_t{x} * count_ / w];
            const int dy = std::clamp(((s / 256) * (h - 1)) / 256 * zoom_, -h, h);
            const QPoint pt(x, h / 2 - dy);
            p.drawLine(prev, pt);
            prev = pt;
        }
    }
    emit painted();
}

// ---------------------------------------------------------------------------

LightCheck::LightCheck(QWidget* parent) : QWidget(parent) {
    resize(13, 13);
    setAttribute(Qt::WA_TranslucentBackground);
}

void LightCheck::setChecked(bool c) {
    if (c == checked_) return;
    checked_ = c;
    update();
}

void LightCheck::setOnColor(QColor c) {
    on_ = c;
    if (checked_) update();
}

void LightCheck::setOffColor(QColor c) {
    off_ = c;
    if (!checked_) update();
}

void LightCheck::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    checked_ = !checked_;
    repaint();
    emit clicked();
}

// An 11-pixel lamp: bevelled rim, body shaded toward the lower right, lit
// toward the glint in the upper left.
void LightCheck::paintLamp(QPainter& p, int top) const {
    const QColor c = currentColor();
    const QPalette& pal = palette();
    p.setRenderHint(QPainter::Antialiasing, false);
    const int x0 = 1;
    auto px = [&](int x, int y, QColor col) {
        p.setPen(col);
        p.drawPoint(x0 + x, top + y);
    };
    // Rows of an 11 x 11 disc: first and last column per row.
    static constexpr int span[11][2] = {{3, 7}, {2, 8}, {1, 9}, {0, 10}, {0, 10}, {0, 10},
                                        {0, 10}, {0, 10}, {1, 9}, {2, 8}, {3, 7}};
    const QColor shade = lampShade(c), light = lampLight(c);
    for (int y = 0; y < 11; ++y) {
        for (int x = span[y][0]; x <= span[y][1]; ++x) {
            const bool rim = x == span[y][0] || x == span[y][1] || y == 0 || y == 10 ||
                             (y == 1 && (x <= 2 || x >= 8)) || (y == 9 && (x <= 2 || x >= 8));
            if (rim) {
                const bool upperLeft = x + y < 10;
                px(x, y, upperLeft ? pal.color(QPalette::Dark) : (x + y > 10 ? QColor(48, 48, 48) : pal.color(QPalette::Light)));
                continue;
            }
            QColor col = c;
            if (x + y >= 13) col = shade;
            else if (x + y <= 6) col = light;
            px(x, y, col);
        }
    }
    px(3, 3, Qt::white);
    // Outer highlight of the lower right rim.
    p.setPen(pal.color(QPalette::Light));
    p.drawPoint(x0 + 10, top + 8);
    p.drawPoint(x0 + 8, top + 10);
}

void LightCheck::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintLamp(p, height() / 2 - 5);
}

LightCheckBox::LightCheckBox(const QString& caption, QWidget* parent) : LightCheck(parent), caption_(caption) {
    resize(sizeHint());
}

void LightCheckBox::setCaption(const QString& c) {
    caption_ = c;
    updateGeometry();
    update();
}

QSize LightCheckBox::sizeHint() const {
    const QFontMetrics fm(font());
    return {14 + fm.horizontalAdvance(caption_) + 4, std::max(13, fm.height() + 2)};
}

void LightCheckBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintLamp(p, height() / 2 - 5);
    const QFontMetrics fm(font());
    p.setPen(palette().color(QPalette::WindowText));
    const int y = (height() - fm.height() - 1) / 2;
    p.drawText(14, y + fm.ascent(), caption_);
}

// ---------------------------------------------------------------------------

LevelBox::LevelBox(QWidget* parent) : QFrame(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // the segments cover everything
    setMinimumSize(10, 40);
}

void LevelBox::setLevel(int32_t l) {
    level_ = std::clamp(l, 0, 256);
    repaint();
}

QColor levelSegmentColor(int r, int h, int32_t level) {
    const int top = ((256 - level) * h / 256) / 2;
    if (r < top) return Qt::black;
    if (r > (h / 2) * 2 / 7) return QColor(0, 208, 0);
    if (r > (h / 2) / 10) return QColor(239, 224, 0);
    return QColor(255, 0, 0);
}

void LevelBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    const QRect box = rect().adjusted(2, 2, -2, -2);
    p.setClipRect(box);
    p.translate(box.topLeft());
    const int w = box.width(), h = box.height();
    // Segment r sits on row pair 2r, 2r + 1, moved up so that the bottom
    // segment (r = h/2) shows inside the box.
    const int shift = 2 * (h / 2) - (h - 2);
    for (int r = 0; r <= h / 2; ++r) {
        const int y = 2 * r - shift;
        p.setPen(levelSegmentColor(r, h, level_));
        p.drawLine(0, y, w - 1, y);
        p.setPen(QColor(102, 102, 102));
        p.drawLine(0, y + 1, w - 1, y + 1);
    }
}

}  // namespace kf::ui
