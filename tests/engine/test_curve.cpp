#include <algorithm>
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "engine/curve.h"

using namespace kf;

namespace {
CurveData make(std::initializer_list<std::pair<int32_t, int32_t>> pts) {
    CurveData d;
    int i = 0;
    for (auto [x, y] : pts) d.points[static_cast<size_t>(i++)] = CurvePoint{x, y};
    d.count = i;
    return d;
}
// The points in use, those beyond the count aside.
bool samePoints(const CurveData& a, const CurveData& b) {
    return a.count == b.count && std::equal(a.points.begin(), a.points.begin() + a.count, b.points.begin());
}
struct Counting {
    Curve c;
    int changes = 0;
    explicit Counting(const CurveData& d = CurveData{}) : c(d) { c.onChange = [this] { ++changes; }; }
};
}  // namespace

TEST(Curve, NewCurveIsZeroEverywhere) {
    Curve c;
    for (int32_t p : {0, 1, 8192, 16383, 16384}) EXPECT_EQ(c.valueAt(p), 0);
    EXPECT_EQ(c.selected(), -1);
}

TEST(Curve, ValueAtInterpolatesAndTruncates) {
    Curve c(make({{0, 0}, {8192, 32767}, {16384, 0}}));
    EXPECT_EQ(c.valueAt(4096), 16383);
    EXPECT_EQ(c.valueAt(8192), 32767);
    EXPECT_EQ(c.valueAt(12288), 16384);
    EXPECT_EQ(c.valueAt(0), 0);
    EXPECT_EQ(c.valueAt(16384), 0);
}

TEST(Curve, VerticalStepTakesSegmentEndingThere) {
    const CurveData d = make({{0, 0}, {8192, -1000}, {8192, 1000}, {16384, 0}});
    EXPECT_EQ(Curve::valueAt(d, 8192), -1000);
    EXPECT_EQ(Curve::valueAt(d, 8193), 1000);
    // Last two points share X = 16384: no segment matches, the last Y is the value.
    const CurveData e = make({{0, 0}, {16384, 500}, {16384, -700}});
    EXPECT_EQ(Curve::valueAt(e, 16384), 500);
    const CurveData f = make({{0, 0}, {0, 300}, {16384, 300}});
    EXPECT_EQ(Curve::valueAt(f, 0), 300);
}

TEST(Curve, ScaleRepairAndDamagedCurves) {
    // Stored with last X = 8192: every X is rescaled before the lookup.
    Curve c(make({{0, 0}, {4096, 1000}, {8192, 0}}));
    EXPECT_EQ(c.valueAt(8192), 1000);
    EXPECT_EQ(c.data().points[2].x, 16384);
    EXPECT_EQ(c.data().points[1].x, 8192);
    // The read-only lookup repairs a copy and leaves the snapshot alone.
    const CurveData snap = make({{0, 0}, {4096, 1000}, {8192, 0}});
    EXPECT_EQ(Curve::valueAt(snap, 8192), 1000);
    EXPECT_EQ(snap.points[2].x, 8192);
    // Curves the rescale would divide by zero on, or read past the array, reset.
    for (CurveData bad : {make({{0, 500}, {0, 600}}), make({{100, 500}}), CurveData{}}) {
        if (bad.count == 2 && bad.points[1].x == 16384) bad.count = 0;
        EXPECT_EQ(Curve::valueAt(bad, 100), 0);
        Curve b(bad);
        EXPECT_TRUE(b.repair());
        EXPECT_TRUE(samePoints(b.data(), CurveData{}));
    }
    CurveData big;
    big.count = 129;
    EXPECT_EQ(Curve::valueAt(big, 5), 0);
    Counting drawn(big);
    drawn.c.repairForDrawing();
    EXPECT_EQ(drawn.changes, 1);
    EXPECT_EQ(drawn.c.data().count, 2);
    // Extreme stored values do not overflow.
    EXPECT_NO_FATAL_FAILURE(Curve::valueAt(make({{0, -2147483647 - 1}, {16384, 2147483647}}), 16383));
    EXPECT_NO_FATAL_FAILURE(Curve::valueAt(make({{0, 0}, {2147483647, 5}}), 16384));
}

TEST(Curve, CustomWaveTableSamplesTheRepairedCurveAndWraps) {
    // Stored at half scale: the table reads the rescaled curve, end repeated.
    const auto t = customWaveTable(make({{0, 0}, {4096, 40000}, {8192, -16}}));
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[512], static_cast<int16_t>(40000 - 65536));  // kept as 16 bits
    EXPECT_EQ(t[1024], -16);
    EXPECT_EQ(t[256], 20000);
}

TEST(Curve, Commands) {
    const CurveData base = make({{0, 100}, {4096, 2000}, {12288, -3000}, {16384, 400}});
    Counting k(base);
    k.c.invert();
    EXPECT_EQ(k.c.data().points[1].y, -2000);
    EXPECT_EQ(k.c.data().points[2].y, 3000);
    EXPECT_EQ(k.changes, 1);

    k.c.setData(base);
    k.c.reverse();
    EXPECT_TRUE(samePoints(k.c.data(), make({{0, 400}, {4096, -3000}, {12288, 2000}, {16384, 100}})));
    k.c.reverse();
    EXPECT_TRUE(samePoints(k.c.data(), base));

    k.c.setData(base);
    k.c.fadeIn();
    EXPECT_TRUE(samePoints(k.c.data(), make({{0, 0}, {4096, 500}, {12288, -2250}, {16384, 400}})));
    k.c.setData(base);
    k.c.fadeOut();
    EXPECT_TRUE(samePoints(k.c.data(), make({{0, 100}, {4096, 1500}, {12288, -750}, {16384, 0}})));

    k.c.setData(make({{0, 10}, {16384, 20}}));
    k.c.doubleCurve();
    EXPECT_TRUE(samePoints(k.c.data(), make({{0, 10}, {8192, 20}, {8192, 10}, {16384, 20}})));

    k.c.reset();
    EXPECT_TRUE(samePoints(k.c.data(), CurveData{}));
    EXPECT_EQ(k.changes, 7);
}

TEST(Curve, DoubleLimits) {
    CurveData d;
    d.count = 64;
    for (int i = 0; i < 64; ++i) d.points[static_cast<size_t>(i)] = CurvePoint{i * 16384 / 63, i};
    Counting k(d);
    k.c.doubleCurve();
    EXPECT_EQ(k.c.data().count, 128);
    EXPECT_EQ(k.changes, 1);
    EXPECT_EQ(k.c.data().points[127].x, 16384);

    d.count = 65;
    for (int i = 0; i < 65; ++i) d.points[static_cast<size_t>(i)] = CurvePoint{i * 256, i};
    Counting n(d);
    n.c.doubleCurve();
    EXPECT_EQ(n.c.data().count, 65);
    EXPECT_EQ(n.changes, 0);
}

TEST(Curve, ClickInsertsDragMovesReleaseSnaps) {
    // Drawing area 256 x 128: pixel (64, 32) is X 4096, Y 16384.
    Counting k;
    k.c.mouseDown(64, 32, 256, 128);
    EXPECT_EQ(k.c.data().count, 3);
    EXPECT_EQ(k.c.selected(), 1);
    EXPECT_EQ(k.c.data().points[1].x, 4096);
    EXPECT_EQ(k.c.data().points[1].y, 16384);
    EXPECT_EQ(k.changes, 0);  // an insertion completes on release
    k.c.mouseMove(128, 63, 256, 128);  // one pixel above the middle: Y 512
    EXPECT_EQ(k.c.data().points[1].x, 8192);
    EXPECT_EQ(k.c.data().points[1].y, 512);
    k.c.mouseUp(256, 128);  // 512 < 131072 / 128: snaps to the middle line
    EXPECT_EQ(k.c.data().points[1].y, 0);
    EXPECT_EQ(k.c.selected(), -1);
    EXPECT_EQ(k.changes, 1);

    // Clicking near an existing point selects it rather than inserting.
    k.c.mouseDown(130, 66, 256, 128);
    EXPECT_EQ(k.c.data().count, 3);
    EXPECT_EQ(k.c.selected(), 1);
    // A drag is limited by the neighbours' X.
    k.c.mouseMove(300, 10, 256, 128);
    EXPECT_EQ(k.c.data().points[1].x, 16384);
    k.c.mouseUp(256, 128);
    EXPECT_NE(k.c.data().points[1].y, 0);

    // A mouse up without selection changes nothing.
    const int before = k.changes;
    k.c.mouseUp(256, 128);
    EXPECT_EQ(k.changes, before);
}

TEST(Curve, DragFarOutDeletesInnerPointsOnly) {
    Counting k(make({{0, 0}, {8192, 1000}, {16384, 0}}));
    k.c.mouseDown(128, 63, 256, 128);
    ASSERT_EQ(k.c.selected(), 1);
    k.c.mouseMove(128, -200, 256, 128);  // well above the top edge
    EXPECT_EQ(k.c.data().count, 2);
    EXPECT_EQ(k.c.selected(), -1);
    EXPECT_EQ(k.changes, 1);

    // First and last points stop at the edge instead.
    k.c.mouseDown(0, 64, 256, 128);
    ASSERT_EQ(k.c.selected(), 0);
    k.c.mouseMove(40, -500, 256, 128);
    EXPECT_EQ(k.c.data().count, 2);
    EXPECT_EQ(k.c.data().points[0].x, 0);
    EXPECT_EQ(k.c.data().points[0].y, 32767);
    k.c.mouseUp(256, 128);
    k.c.mouseDown(255, 64, 256, 128);
    ASSERT_EQ(k.c.selected(), 1);
    k.c.mouseMove(100, 900, 256, 128);
    EXPECT_EQ(k.c.data().points[1].x, 16384);
    EXPECT_EQ(k.c.data().points[1].y, -32767);
}

TEST(Curve, FullCurveIgnoresClicksAndZeroAreaIsSafe) {
    CurveData d;
    d.count = 128;
    for (int i = 0; i < 128; ++i) d.points[static_cast<size_t>(i)] = CurvePoint{i * 16384 / 127, 0};
    Counting k(d);
    k.c.mouseDown(3, 100, 256, 128);
    EXPECT_EQ(k.c.data().count, 128);
    EXPECT_EQ(k.c.selected(), -1);
    Counting z;
    z.c.mouseDown(10, 10, 0, 0);
    z.c.mouseMove(10, 10, 0, 0);
    z.c.mouseUp(0, 0);
    EXPECT_EQ(z.c.data().count, 2);
}
