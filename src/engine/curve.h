// The breakpoint curve behind both graph editors (graph envelope and custom
// waveform): lookup, the six commands and the mouse edit rules. Drawing is
// the widget's business; this class only tells it when an edit completed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "engine/records.h"

namespace kf {

class Curve {
public:
    static constexpr int32_t kFullX = 16384;
    static constexpr int kMaxPoints = 128;

    Curve() = default;
    explicit Curve(const CurveData& d) : data_(d) {}

    const CurveData& data() const { return data_; }
    void setData(const CurveData& d) { data_ = d; }

    // True when the stored points need the scale repair (or a reset).
    static bool needsRepair(const CurveData& d);
    // Rescales X so the last point sits at 16384. A curve that cannot be
    // rescaled (fewer than 2 or more than 128 points, last X at 0) is reset.
    // Returns true when it had to be reset.
    static bool repair(CurveData& d);
    bool repair() { return repair(data_); }
    // Repair before painting: a reset there counts as an edit.
    void repairForDrawing();

    int32_t valueAt(int32_t p);
    // Read-only lookup for snapshots; repairs a copy only when needed.
    static int32_t valueAt(const CurveData& d, int32_t p);

    void reset();
    void invert();
    void reverse();
    void fadeIn();
    void fadeOut();
    void doubleCurve();

    // Mouse over a drawing area of w x h pixels.
    void mouseDown(int32_t mx, int32_t my, int32_t w, int32_t h);
    void mouseMove(int32_t mx, int32_t my, int32_t w, int32_t h);
    void mouseUp(int32_t w, int32_t h);
    int selected() const { return selected_; }

    std::function<void()> onChange;

private:
    static int32_t lookup(const CurveData& d, int32_t p);  // on a repaired curve
    void changed() {
        if (onChange) onChange();
    }

    CurveData data_;
    int selected_ = -1;
};

// The custom waveform as the oscillators read it: the curve sampled at
// 1025 evenly spaced points across its X range (the last repeats the end
// so interpolation needs no wrap), each kept as a 16-bit value.
constexpr size_t kCustomWaveSize = 1025;
std::array<int16_t, kCustomWaveSize> customWaveTable(const CurveData& wave);

}  // namespace kf
