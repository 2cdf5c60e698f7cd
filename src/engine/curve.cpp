#include "engine/curve.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "engine/arith.h"

namespace kf {

namespace {

inline int32_t clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

void resetData(CurveData& d) { d = CurveData{}; }

}  // namespace

bool Curve::needsRepair(const CurveData& d) {
    return d.count < 2 || d.count > kMaxPoints || d.points[static_cast<size_t>(d.count - 1)].x != kFullX;
}

bool Curve::repair(CurveData& d) {
    if (d.count < 2 || d.count > kMaxPoints || d.points[static_cast<size_t>(d.count - 1)].x == 0) {
        resetData(d);
        return true;
    }
    const int64_t last = d.points[static_cast<size_t>(d.count - 1)].x;
    if (last == kFullX) return false;
    for (int i = 0; i < d.count; ++i) {
        auto& x = d.points[static_cast<size_t>(i)].x;
        x = clamp32(int64_t{x} * kFullX / last);
    }
    return false;
}

void Curve::repairForDrawing() {
    if (repair()) changed();
}

// The lookup formula is 32-bit; damaged points can overflow it, so the
// arithmetic wraps like the 32-bit machine words it is defined on.
int32_t Curve::lookup(const CurveData& d, int32_t p) {
    const CurvePoint* pt = d.points.data();
    for (int j = 1; j < d.count; ++j) {
        if (p <= pt[j].x && pt[j].x != pt[j - 1].x) {
            const int32_t dy = wrap32(int64_t{pt[j].y} - pt[j - 1].y);
            const int32_t dp = wrap32(int64_t{p} - pt[j - 1].x);
            const int32_t dx = wrap32(int64_t{pt[j].x} - pt[j - 1].x);
            const int32_t prod = wrap32(int64_t{dy} * dp);
            return wrap32(int64_t{pt[j - 1].y} + int64_t{prod} / dx);
        }
    }
    return pt[d.count - 1].y;
}

int32_t Curve::valueAt(int32_t p) {
    if (needsRepair(data_)) repair();
    return lookup(data_, p);
}

int32_t Curve::valueAt(const CurveData& d, int32_t p) {
    if (!needsRepair(d)) return lookup(d, p);
    CurveData copy = d;
    repair(copy);
    return lookup(copy, p);
}

std::array<int16_t, kCustomWaveSize> customWaveTable(const CurveData& wave) {
    Curve c(wave);  // repaired once, at the first lookup
    std::array<int16_t, kCustomWaveSize> table{};
    constexpr int32_t step = Curve::kFullX / (kCustomWaveSize - 1);
    for (size_t i = 0; i < table.size(); ++i) table[i] = wrap16(c.valueAt(static_cast<int32_t>(i) * step));
    return table;
}

void Curve::reset() {
    resetData(data_);
    changed();
}

void Curve::invert() {
    repair();
    for (int i = 0; i < data_.count; ++i) {
        auto& y = data_.points[static_cast<size_t>(i)].y;
        y = wrap32(-int64_t{y});
    }
    changed();
}

void Curve::reverse() {
    repair();
    std::reverse(data_.points.begin(), data_.points.begin() + data_.count);
    for (int i = 0; i < data_.count; ++i) {
        auto& x = data_.points[static_cast<size_t>(i)].x;
        x = kFullX - x;
    }
    changed();
}

void Curve::fadeIn() {
    repair();
    for (int i = 0; i < data_.count; ++i) {
        auto& pt = data_.points[static_cast<size_t>(i)];
        pt.y = wrap32(int64_t{pt.y} * pt.x / kFullX);
    }
    changed();
}

void Curve::fadeOut() {
    repair();
    for (int i = 0; i < data_.count; ++i) {
        auto& pt = data_.points[static_cast<size_t>(i)];
        pt.y = wrap32((kFullX - int64_t{pt.x}) * pt.y / kFullX);
    }
    changed();
}

void Curve::doubleCurve() {
    repair();
    const int n = data_.count;
    if (n > kMaxPoints / 2) return;
    for (int i = 0; i < n; ++i) {
        const CurvePoint p = data_.points[static_cast<size_t>(i)];
        data_.points[static_cast<size_t>(n + i)] = CurvePoint{p.x / 2 + 8192, p.y};
        data_.points[static_cast<size_t>(i)] = CurvePoint{p.x / 2, p.y};
    }
    data_.count = 2 * n;
    changed();
}

void Curve::mouseDown(int32_t mx, int32_t my, int32_t w, int32_t h) {
    if (w <= 0 || h <= 0) return;  // no drawing area, nothing to hit
    repair();
    for (int i = 0; i < data_.count; ++i) {
        const CurvePoint& p = data_.points[static_cast<size_t>(i)];
        const int64_t px = int64_t{w} * p.x / kFullX;
        const int64_t py = -int64_t{p.y} * h / 65536 + h / 2;
        if (std::llabs(px - mx) + std::llabs(py - my) <= 8) {
            selected_ = i;
            mouseMove(mx, my, w, h);
            return;
        }
    }
    if (data_.count >= kMaxPoints) return;
    // A click left of or right of the area would break the first/last X rule.
    const int32_t x = clamp32(std::clamp<int64_t>(int64_t{mx} * kFullX / w, 0, kFullX));
    const int32_t y = clamp32(-int64_t{my} * 65536 / h + 32768);
    int at = 0;
    while (at < data_.count && data_.points[static_cast<size_t>(at)].x < x) ++at;
    for (int k = data_.count; k > at; --k)
        data_.points[static_cast<size_t>(k)] = data_.points[static_cast<size_t>(k - 1)];
    data_.points[static_cast<size_t>(at)] = CurvePoint{x, y};
    ++data_.count;
    selected_ = at;
}

void Curve::mouseMove(int32_t mx, int32_t my, int32_t w, int32_t h) {
    if (selected_ < 0 || selected_ >= data_.count || w <= 0 || h <= 0) return;
    const int i = selected_;
    const int last = data_.count - 1;
    int64_t x = int64_t{mx} * kFullX / w;
    const int64_t y = -int64_t{my} * 65536 / h + 32768;
    if (i < last) x = std::min<int64_t>(x, data_.points[static_cast<size_t>(i + 1)].x);
    if (i > 0) x = std::max<int64_t>(x, data_.points[static_cast<size_t>(i - 1)].x);
    if ((y > 50000 || y < -50000) && i != 0 && i != last) {
        for (int k = i; k < last; ++k) data_.points[static_cast<size_t>(k)] = data_.points[static_cast<size_t>(k + 1)];
        --data_.count;
        selected_ = -1;
        changed();
        return;
    }
    x = std::min<int64_t>(x, kFullX);
    auto& p = data_.points[static_cast<size_t>(i)];
    p.x = clamp32(x);
    p.y = static_cast<int32_t>(std::clamp<int64_t>(y, -kSampleMax, kSampleMax));
    data_.points[0].x = 0;
    data_.points[static_cast<size_t>(last)].x = kFullX;
}

void Curve::mouseUp(int32_t /*w*/, int32_t h) {
    if (selected_ >= 0 && selected_ < data_.count) {
        auto& y = data_.points[static_cast<size_t>(selected_)].y;
        if (h > 0 && std::llabs(int64_t{y}) < 131072 / h) y = 0;
        changed();
    }
    selected_ = -1;
}

}  // namespace kf
