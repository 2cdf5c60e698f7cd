// The drawable breakpoint curve (graph envelope and custom waveform): six
// command buttons on the left, the drawing area on the right. The edit
// rules live in the engine's Curve; this widget forwards the mouse, paints,
// and hands every completed edit to its owner.
#pragma once

#include <QWidget>
#include <functional>

#include "engine/curve.h"

namespace kf::ui {

class CurveArea;

class CurveEditor : public QWidget {
    Q_OBJECT
public:
    explicit CurveEditor(QWidget* parent = nullptr);
    QWidget* area() const;
    Curve& curve() { return curve_; }
    // Replaces the points (a preset or timbre was loaded); no change event.
    void setData(const CurveData& d);
    void setOnChange(std::function<void()> f) { changed_ = std::move(f); }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    friend class CurveArea;
    int buttonWidth() const;
    Curve curve_;
    std::function<void()> changed_;
    CurveArea* area_;
};

}  // namespace kf::ui
