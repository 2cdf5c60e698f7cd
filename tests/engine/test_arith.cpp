#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <random>

#include "engine/arith.h"

using namespace kf;

// The rounding every stage uses must agree with the library's round-to-
// nearest-even on ties, negatives, tiny fractions and the int32 ends.
TEST(Arith, RoundingMatchesNearbyintIncludingTies) {
    ASSERT_EQ(std::fegetround(), FE_TONEAREST);
    for (long double v : {0.5L, 1.5L, 2.5L, -0.5L, -1.5L, -2.5L, 0.49999999999999999L, 1e-30L, -1e-30L,
                          2147483646.5L, -2147483647.5L, 4503599627370495.5L, 123456789.5L})
        EXPECT_EQ(roundHalfEven(v), static_cast<int64_t>(std::nearbyintl(v))) << static_cast<double>(v);
    for (double v : {0.5, 1.5, 2.5, -0.5, -2.5, 0.49999999999999994, 1048575.5, -1048576.5, 2251799813685247.5})
        EXPECT_EQ(roundHalfEven(v), static_cast<int64_t>(std::nearbyint(v))) << v;
    EXPECT_EQ(roundToInt32(3e9L), 2147483647);
    EXPECT_EQ(roundToInt32(-3e9), -2147483647 - 1);
    EXPECT_EQ(roundToInt32(std::nan("")), 0);

    std::mt19937_64 gen(1);
    std::uniform_real_distribution<double> d(-3e9, 3e9);
    for (int i = 0; i < 200000; ++i) {
        const double x = d(gen) / static_cast<double>(1 << (i % 30));
        const long double lx = static_cast<long double>(x) + static_cast<long double>(i % 7) / 3.0L;
        ASSERT_EQ(roundHalfEven(x), static_cast<int64_t>(std::nearbyint(x))) << x;
        ASSERT_EQ(roundHalfEven(lx), static_cast<int64_t>(std::nearbyintl(lx))) << x;
    }
}
