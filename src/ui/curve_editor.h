// The drawable breakpoint curve (graph envelope and custom waveform): six
// command buttons on the left, the drawing area on the right. The curve
// itself and its edit rules live in the session's Curve; this widget only
// forwards the mouse and paints.
#pragma once

#include <QWidget>
#include <functional>
#include <mutex>

namespace kf {
class Curve;
}

namespace kf::ui {

class CurveArea;

class CurveEditor : public QWidget {
    Q_OBJECT
public:
    // `lock` guards the curve (the session's mutex); `changed` runs after
    // every completed edit.
    CurveEditor(Curve& curve, std::recursive_mutex& lock, std::function<void()> changed, QWidget* parent = nullptr);
    QWidget* area() const;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    friend class CurveArea;
    int buttonWidth() const;
    Curve& curve_;
    std::recursive_mutex& lock_;
    std::function<void()> changed_;
    CurveArea* area_;
};

}  // namespace kf::ui
