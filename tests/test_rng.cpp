#include <gtest/gtest.h>

#include "QuillmoorMothwake/RNG.h"

using quillmoor::RNG;

TEST(RNG, StepsFromZeroStateMatchSplitMix64) {
    RNG rng(0);
    EXPECT_EQ(rng.next(), 0xE220A8397B1DCDAFULL);
    EXPECT_EQ(rng.next(), 0x6E789E6AA1B965F4ULL);
    EXPECT_EQ(rng.next(), 0x06C45D188009454FULL);
    EXPECT_EQ(rng.state, 0xDAA66D2C7DDF743FULL);
}

TEST(RNG, PeekSeesLaterStepsWithoutTakingThem) {
    RNG rng(0);
    EXPECT_EQ(rng.peek(3), 0x06C45D188009454FULL);
    EXPECT_EQ(rng.peek(1), 0xE220A8397B1DCDAFULL);
    EXPECT_EQ(rng.state, 0u);
    rng.next();
    EXPECT_EQ(rng.peek(1), 0x6E789E6AA1B965F4ULL);
}

TEST(RNG, SeedIsTakenVerbatim) {
    RNG rng(0x0123456789ABCDEFULL);
    EXPECT_EQ(rng.state, 0x0123456789ABCDEFULL);
}

TEST(RNG, IntegerRangesUsePlainRemainderAndOneStep) {
    RNG a(0);
    EXPECT_EQ(a.integer(10), 5);
    EXPECT_EQ(a.state, 0x9E3779B97F4A7C15ULL);
    RNG b(0);
    EXPECT_EQ(b.integer(5, 8), 8);
    EXPECT_EQ(b.state, 0x9E3779B97F4A7C15ULL);
    RNG c(0);
    EXPECT_EQ(c.integer(-3, 3), -3 + static_cast<int64_t>(0xE220A8397B1DCDAFULL % 7));
}

TEST(RNG, DegenerateRangesDrawNothing) {
    RNG rng(77);
    EXPECT_EQ(rng.integer(1), 0);
    EXPECT_EQ(rng.integer(0), 0);
    EXPECT_EQ(rng.integer(-3), 0);
    EXPECT_EQ(rng.integer(7, 7), 7);
    EXPECT_EQ(rng.integer(9, 2), 9);
    EXPECT_EQ(rng.state, 77u);
}

TEST(RNG, UnitTakesTheTop53Bits) {
    RNG rng(0);
    EXPECT_DOUBLE_EQ(rng.unit(), 0.8833108082136426);
    EXPECT_EQ(rng.unit(), static_cast<double>(0x6E789E6AA1B965F4ULL >> 11) / 9007199254740992.0);
    // The largest output still lies below 1.
    EXPECT_LT(static_cast<double>(~0ULL >> 11) * 0x1.0p-53, 1.0);
}

TEST(RNG, WideRangesDoNotOverflow) {
    RNG rng(5);
    for (int i = 0; i < 1000; ++i) {
        const int64_t v = rng.integer(INT64_MIN / 2, INT64_MAX / 2);
        EXPECT_GE(v, INT64_MIN / 2);
        EXPECT_LE(v, INT64_MAX / 2);
    }
}
