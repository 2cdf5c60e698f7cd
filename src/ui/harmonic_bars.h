// A row of 16 upright bars, one per harmonic, each holding a value 0..256
// with a full bar at the top (bar position = 256 - value). The bars share
// the panel's width equally and are laid out again on every resize.
#pragma once

#include <QFrame>
#include <array>
#include <cstdint>

class QScrollBar;

namespace kf::ui {

class HarmonicBars : public QFrame {
    Q_OBJECT
public:
    static constexpr int kBars = 16;
    static constexpr int32_t kFull = 256;

    explicit HarmonicBars(QWidget* parent = nullptr);

    // Harmonic index 1..16.
    int32_t harmonic(int index) const;
    // Shows a value without emitting anything (the window refilling the controls).
    void showHarmonic(int index, int32_t value);
    QScrollBar* bar(int index) const { return bars_[static_cast<size_t>(index - 1)]; }

    // Where bar `index` goes in a panel of the given size.
    static QRect barGeometry(int index, QSize panel);

signals:
    void changed(int index, int32_t value);

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void layoutBars();
    std::array<QScrollBar*, kBars> bars_{};
    std::array<int32_t, kBars> values_{};
    int busy_ = 0;
};

}  // namespace kf::ui
