#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "QuillmoorMothwake/Maths.h"
#include "QuillmoorMothwake/RNG.h"

using quillmoor::power;

namespace {

uint64_t bitsOf(double x) {
    uint64_t b = 0;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

double fromBits(uint64_t b) {
    double x = 0;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// Same bits, or both not a number.
::testing::AssertionResult sameResult(double x, double y) {
    const double ours = power(x, y), reference = std::pow(x, y);
    if (bitsOf(ours) == bitsOf(reference) || (std::isnan(ours) && std::isnan(reference)))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "power(" << std::hexfloat << x << ", " << y << ") = " << ours
                                         << ", std::pow gives " << reference;
}

// glibc takes its fused multiply-add pow only where the processor has it;
// elsewhere its results differ from these in the last bit now and then.
bool referenceFuses() {
#if defined(__x86_64__) && defined(__GLIBC__)
    return __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

}  // namespace

TEST(Power, ExactCasesEverywhere) {
    EXPECT_EQ(power(2, 10), 1024);
    EXPECT_EQ(power(-2, 3), -8);
    EXPECT_EQ(power(4, 0.5), 2);
    EXPECT_EQ(power(0, 1.5), 0);
    EXPECT_EQ(power(1, 0.8), 1);
    EXPECT_EQ(power(0.25, 1.5), 0.125);
    EXPECT_EQ(power(123.0, 0), 1);
    EXPECT_EQ(power(0, -1), std::numeric_limits<double>::infinity());
    EXPECT_EQ(power(2, 2000), std::numeric_limits<double>::infinity());
    EXPECT_EQ(power(2, -1074), 0x1p-1074);
    EXPECT_EQ(power(2, -1080), 0);
    EXPECT_TRUE(std::isnan(power(-1, 0.5)));
    EXPECT_TRUE(std::isnan(power(std::nan(""), 2)));
}

// The scenes raise numbers in [0, 1] to 1.5 and 0.8; the rest of the range
// goes through the same code with the subnormal and overflow branches.
TEST(Power, SameBitsAsTheNativeLibrary) {
    if (!referenceFuses()) GTEST_SKIP() << "the C library's pow here is not the fused one";
    quillmoor::RNG rng(0x5eed);
    int failures = 0;
    const auto check = [&](double x, double y) {
        const auto result = sameResult(x, y);
        if (!result && ++failures <= 5) ADD_FAILURE() << result.message();
    };
    for (int i = 0; i < 400000; ++i) {
        const double u = rng.unit();
        check(u, 1.5);
        check(u, 0.8);
        check(1 - u, 1.5);
        check(1 - u, 0.8);
        check(std::ldexp(1 + rng.unit(), static_cast<int>(rng.integer(2200)) - 1100), rng.unit() * 4 - 2);
        check(fromBits(rng.next()), fromBits(rng.next()));
    }
    const double special[] = {0.0, -0.0, 1.0, -1.0, 0.5, -3.0, 0x1p-1074, 0x1p-1022, 1e308, 1.5, 0.8,
                              std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                              std::nan("")};
    for (const double x : special)
        for (const double y : special) check(x, y);
    EXPECT_EQ(failures, 0);
}
