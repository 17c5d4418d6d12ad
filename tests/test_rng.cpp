#include <gtest/gtest.h>

#include "QuillmoorMothwake/RNG.h"

using quillmoor::RNG;

namespace {

// SplitMix64's first three outputs from state 0.
constexpr uint64_t first = 0xE220A8397B1DCDAFULL, second = 0x6E789E6AA1B965F4ULL, third = 0x06C45D188009454FULL;

}  // namespace

TEST(RNG, StepsAndPeeksMatchSplitMix64) {
    RNG rng(0);
    EXPECT_EQ(rng.peek(3), third);
    EXPECT_EQ(rng.state, 0u);
    EXPECT_EQ(rng.next(), first);
    EXPECT_EQ(rng.peek(1), second);
    EXPECT_EQ(rng.next(), second);
    EXPECT_EQ(rng.next(), third);
    EXPECT_EQ(rng.state, 0xDAA66D2C7DDF743FULL);
}

TEST(RNG, RangesTakeOneStepAndEmptyRangesNone) {
    RNG a(0), b(0), c(0), u(0);
    EXPECT_EQ(a.integer(10), 5);  // a plain remainder
    EXPECT_EQ(b.integer(5, 8), 8);
    EXPECT_EQ(c.integer(-3, 3), -3 + static_cast<int64_t>(first % 7));
    EXPECT_TRUE(a.state == 0x9E3779B97F4A7C15ULL && b.state == a.state);
    EXPECT_EQ(u.unit(), 0.8833108082136426);  // the top 53 bits
    EXPECT_EQ(u.unit(), static_cast<double>(second >> 11) * 0x1p-53);

    RNG rng(77);
    for (const int64_t n : {1, 0, -3}) EXPECT_EQ(rng.integer(n), 0);
    EXPECT_EQ(rng.integer(7, 7), 7);
    EXPECT_EQ(rng.integer(9, 2), 9);
    EXPECT_EQ(rng.state, 77u);
    for (int i = 0; i < 1000; ++i) {
        const int64_t v = rng.integer(INT64_MIN / 2, INT64_MAX / 2);
        ASSERT_TRUE(v >= INT64_MIN / 2 && v <= INT64_MAX / 2) << v;
    }
}
