#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>

#if defined(QUILLMOOR_HAVE_QUADMATH)
#include <quadmath.h>
#endif

#include "QuillmoorMothwake/Maths.h"
#include "QuillmoorMothwake/DoubleBits.h"
#include "QuillmoorMothwake/RNG.h"
#include "QuillmoorMothwake/TrigExact.h"

using quillmoor::bitsOf;
using quillmoor::cosine;
using quillmoor::fromBits;
using quillmoor::power;
using quillmoor::sine;

namespace {

// glibc takes its fused multiply-add pow only where the processor has it;
// elsewhere its results differ from these in the last bit now and then.
bool referenceFuses() {
#if defined(__x86_64__) && defined(__GLIBC__)
    return __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

constexpr double infinity = std::numeric_limits<double>::infinity();

// A double of any finite magnitude from 2^-27 up.
double anyMagnitude(quillmoor::RNG& rng) {
    const double x = std::ldexp(1 + rng.unit(), static_cast<int>(rng.integer(-27, 1023)));
    return rng.unit() < 0.5 ? -x : x;
}

#if defined(QUILLMOOR_HAVE_QUADMATH)
// sin x or cos x rounded to nearest from libquadmath's 113 bits, or nothing
// where those lie too near the midpoint between two doubles to tell.
std::optional<double> roundedReference(double x, bool wantCosine) {
    const __float128 q = wantCosine ? cosq(x) : sinq(x);
    const double nearest = static_cast<double>(q);
    const double neighbour = std::nextafter(nearest, q > nearest ? infinity : -infinity);
    const __float128 midpoint = (static_cast<__float128>(nearest) + neighbour) / 2;
    if (fabsq(q - midpoint) <= fabsq(q) * 0x1p-108) return std::nullopt;
    return nearest;
}
#endif

}  // namespace

TEST(Power, ExactCasesEverywhere) {
    for (const auto& [x, y, exact] : {std::array{2.0, 10.0, 1024.0}, {-2, 3, -8}, {4, 0.5, 2}, {0, 1.5, 0}, {1, 0.8, 1},
                                      {0.25, 1.5, 0.125}, {123, 0, 1}, {0, -1, infinity}, {2, 2000, infinity},
                                      {2, -1074, 0x1p-1074}, {2, -1080, 0}})
        EXPECT_EQ(power(x, y), exact) << x << " ^ " << y;
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
        const double ours = power(x, y), reference = std::pow(x, y);
        if (bitsOf(ours) != bitsOf(reference) && !(std::isnan(ours) && std::isnan(reference)) && ++failures <= 5)
            ADD_FAILURE() << "power(" << std::hexfloat << x << ", " << y << ") = " << ours << ", std::pow gives " << reference;
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
    const double special[] = {0.0, -0.0, 1.0, -1.0, 0.5, -3.0, 0x1p-1074, 0x1p-1022, 1e308, 1.5, 0.8, infinity, -infinity, std::nan("")};
    for (const double x : special)
        for (const double y : special) check(x, y);
    EXPECT_EQ(failures, 0);
}

TEST(SineCosine, SpecialValuesAndSymmetry) {
    EXPECT_EQ(bitsOf(sine(0.0)), bitsOf(0.0));
    EXPECT_EQ(bitsOf(sine(-0.0)), bitsOf(-0.0));
    EXPECT_EQ(cosine(-0.0), 1);
    EXPECT_EQ(sine(0x1p-1074), 0x1p-1074);
    EXPECT_EQ(sine(-1e-300), -1e-300);
    EXPECT_EQ(sine(0x1p-27), 0x1p-27);
    EXPECT_EQ(cosine(0x1p-27), 1);
    EXPECT_EQ(cosine(0x1p-26), 0x1.fffffffffffffp-1);
    for (const double x : {infinity, -infinity, std::nan("")}) {
        EXPECT_TRUE(std::isnan(sine(x)));
        EXPECT_TRUE(std::isnan(cosine(x)));
    }
    // Checked with mpmath: pi, 1e22, the largest double, and the double
    // nearest to an odd multiple of pi/2 (6381956970095103 2^797).
    EXPECT_EQ(sine(std::numbers::pi), 0x1.1a62633145c07p-53);
    EXPECT_EQ(cosine(std::numbers::pi), -1);
    EXPECT_EQ(sine(1e22), -0x1.b453ab76bf397p-1);
    EXPECT_EQ(cosine(1e22), 0x1.0be2cef01c8f4p-1);
    EXPECT_EQ(sine(0x1.fffffffffffffp+1023), 0x1.452fc98b34e97p-8);
    EXPECT_EQ(cosine(-0x1.fffffffffffffp+1023), -0x1.fffe62ecfab75p-1);
    EXPECT_EQ(sine(0x1.6ac5b262ca1ffp+849), 1);
    EXPECT_EQ(cosine(0x1.6ac5b262ca1ffp+849), -0x1.14ae72e6ba22fp-61);
    quillmoor::RNG rng(0x51de);
    for (int i = 0; i < 20000; ++i) {
        const double x = anyMagnitude(rng);
        EXPECT_EQ(sine(-x), -sine(x));
        EXPECT_EQ(cosine(-x), cosine(x));
    }
}

// The quick evaluation settles nearly every rounding; the plain fixed-point
// computation must give the same doubles wherever it does.
TEST(SineCosine, AgreeWithThePlainFixedPointComputation) {
    quillmoor::RNG rng(0xf1ced);
    int failures = 0;
    const auto check = [&](double x) {
        const double s = sine(x), c = cosine(x);
        const double plainSine = quillmoor::trig::sineExactly(x), plainCosine = quillmoor::trig::cosineExactly(x);
        if ((bitsOf(s) != bitsOf(plainSine) || bitsOf(c) != bitsOf(plainCosine)) && ++failures <= 5)
            ADD_FAILURE() << std::hexfloat << x << ": " << s << " " << c << ", plainly " << plainSine << " " << plainCosine;
    };
    for (int i = 0; i < 20000; ++i) {
        check(anyMagnitude(rng));
        check(0x1p-27 + rng.unit() * 8);
        check(static_cast<double>(rng.integer(1 << 30)) * 0.2 + rng.unit() * 6.28);
    }
    EXPECT_EQ(failures, 0);
}

// Against libquadmath: the scenes' arguments (comet and meteor angles, the
// sparks' phase over a billion frames, the legs' angles), doubles near
// multiples of pi/2, where the reduction cancels most, and any bits at all.
TEST(SineCosine, CorrectlyRounded) {
#if !defined(QUILLMOOR_HAVE_QUADMATH)
    GTEST_SKIP() << "no libquadmath to compare with";
#else
    quillmoor::RNG rng(0x5111e);
    int failures = 0, undecided = 0;
    const auto check = [&](double x) {
        for (const bool wantCosine : {false, true}) {
            const std::optional<double> reference = roundedReference(x, wantCosine);
            if (!reference) {
                ++undecided;
                continue;
            }
            const double ours = wantCosine ? cosine(x) : sine(x);
            if (bitsOf(ours) != bitsOf(*reference) && ++failures <= 5)
                ADD_FAILURE() << (wantCosine ? "cosine(" : "sine(") << std::hexfloat << x << ") = " << ours
                              << ", rounded to nearest " << *reference;
        }
    };
    const __float128 halfPi = acosq(0);
    for (int i = 0; i < 25000; ++i) {
        check(0.04 + rng.unit() * (0.28 - 0.04));
        check(0.3 + rng.unit() * 0.45);
        check(static_cast<double>(rng.integer(1000000000)) * 0.2 + 6.28 * rng.unit());
        check(static_cast<double>(rng.integer(100000)) * 0.2 + 6.28 * rng.unit());
        const double multiple = static_cast<double>(halfPi * static_cast<__float128>(rng.next() >> rng.integer(64)));
        check(std::nextafter(multiple, rng.unit() < 0.5 ? 0.0 : infinity));
        check(static_cast<double>(halfPi * rng.integer(1, 1000000)));
        double bits = fromBits(rng.next());
        if (std::isfinite(bits)) check(bits);
    }
    for (int k = 0; k < 8; ++k) {
        const double theta = k * 2 * std::numbers::pi * 0.125;
        check(theta);
        check(theta + std::numbers::pi);
    }
    EXPECT_EQ(failures, 0);
    EXPECT_LE(undecided, 2);
#endif
}
