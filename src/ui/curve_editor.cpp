#include "ui/curve_editor.h"

#include <QMouseEvent>
#include <algorithm>
#include <array>
#include <QPainter>
#include <QPushButton>

#include "engine/curve.h"

namespace kf::ui {

class CurveArea : public QWidget {
public:
    explicit CurveArea(CurveEditor* owner) : QWidget(owner), owner_(owner) { setMouseTracking(false); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const int w = width(), h = height();
        p.fillRect(rect(), palette().color(QPalette::Base));
        p.setPen(Qt::black);
        p.drawRect(0, 0, w - 1, h - 1);
        p.setPen(QColor(0, 255, 0));
        for (int y : {h / 2, h / 4, 3 * h / 4}) p.drawLine(1, y, w - 2, y);
        for (int k = 1; k < 8; ++k) p.drawLine(k * w / 8, 1, k * w / 8, h - 2);
        bool reset = false;
        owner_->curve_.onChange = [&reset] { reset = true; };
        owner_->curve_.repairForDrawing();
        owner_->curve_.onChange = nullptr;
        const CurveData d = owner_->curve_.data();
        if (reset && owner_->changed_) owner_->changed_();
        p.setPen(Qt::black);
        p.setBrush(Qt::black);
        QPoint prev;
        for (int i = 0; i < d.count && i < 128; ++i) {
            const auto& pt = d.points[static_cast<size_t>(i)];
            const QPoint q(static_cast<int>(int64_t{w} * pt.x / 16384),
                           static_cast<int>(-int64_t{pt.y} * h / 65536 + h / 2));
            if (i > 0) p.drawLine(prev, q);
            p.drawEllipse(QRect(q.x() - 3, q.y() - 3, 6, 6));  // a 6-pixel dot
            prev = q;
        }
    }
    void mousePressEvent(QMouseEvent* e) override { edit([&](Curve& c) { c.mouseDown(e->pos().x(), e->pos().y(), width(), height()); }); }
    void mouseMoveEvent(QMouseEvent* e) override {
        edit([&](Curve& c) {
            if (c.selected() >= 0) c.mouseMove(e->pos().x(), e->pos().y(), width(), height());
        });
    }
    void mouseReleaseEvent(QMouseEvent*) override { edit([&](Curve& c) { c.mouseUp(width(), height()); }); }

private:
    template <class F>
    void edit(F f) {
        bool changed = false;
        owner_->curve_.onChange = [&changed] { changed = true; };
        f(owner_->curve_);
        owner_->curve_.onChange = nullptr;
        update();
        if (changed && owner_->changed_) owner_->changed_();
    }
    CurveEditor* owner_;
    friend class CurveEditor;
};

CurveEditor::CurveEditor(QWidget* parent) : QWidget(parent), area_(new CurveArea(this)) {
    const std::array<std::pair<const char*, void (Curve::*)()>, 6> buttons{{{"Reset", &Curve::reset},
                                                                            {"Invert", &Curve::invert},
                                                                            {"Reverse", &Curve::reverse},
                                                                            {"FadeIn", &Curve::fadeIn},
                                                                            {"FadeOut", &Curve::fadeOut},
                                                                            {"Double", &Curve::doubleCurve}}};
    for (size_t i = 0; i < buttons.size(); ++i) {
        auto* b = new QPushButton(buttons[i].first, this);
        b->setGeometry(7, 8 + 24 * static_cast<int>(i), buttonWidth(), 20);
        connect(b, &QPushButton::clicked, this, [this, op = buttons[i].second] {
            area_->edit([op](Curve& c) { (c.*op)(); });
        });
    }
    setMinimumSize(200, 160);
}

QWidget* CurveEditor::area() const { return area_; }

void CurveEditor::setData(const CurveData& d) {
    curve_.setData(d);
    area_->update();
}

// 52 pixels as designed, wider when the font needs it.
int CurveEditor::buttonWidth() const { return std::max(52, fontMetrics().horizontalAdvance("FadeOut") + 12); }

void CurveEditor::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const int left = buttonWidth() + 12;
    area_->setGeometry(left, 8, width() - left - 8, height() - 16);
}

}  // namespace kf::ui
