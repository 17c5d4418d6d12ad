// Sine and cosine rounded to nearest: the double closest to the true value,
// the same bits in every build. A quick evaluation in double-double
// arithmetic comes with a bound on its error; when the bound leaves the
// rounding open, the result comes from the slow, plain computation in
// TrigExact.cpp instead. Built with contraction off: the error-free sums and
// products below depend on every operation being rounded on its own.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

#include "QuillmoorMothwake/DoubleBits.h"
#include "QuillmoorMothwake/Maths.h"
#include "QuillmoorMothwake/TrigExact.h"
#include "QuillmoorMothwake/TrigTables.h"

namespace quillmoor {

namespace {

using trig::DoubleDouble;

// Every operation on doubles must round to double at once, never to a wider
// format first (as x87 code does).
static_assert(FLT_EVAL_METHOD == 0);

// Below pi/4 nothing is reduced; below 2^29 the number of quarter turns
// stays under 2^29, where its products with the parts of pi/2 are exact.
constexpr double quarterPi = 0x1.921fb54442d18p-1;
constexpr double nearLimit = 0x1p29;

// Adding this rounds a number below 2^51 to a whole number, which then
// stands in the low bits of the sum.
constexpr double shifter = 0x1.8p52;

// Taylor coefficients of sin r / r and cos r.
constexpr double S3 = -1.0 / 6, S5 = 1.0 / 120, S7 = -1.0 / 5040;
constexpr double C4 = 1.0 / 24, C6 = -1.0 / 720;

constexpr double signs[] = {1.0, -1.0};

// a + b exactly, as the rounded sum and its error.
DoubleDouble twoSum(double a, double b) {
    const double s = a + b;
    const double bPart = s - a;
    return {s, (a - (s - bPart)) + (b - bPart)};
}

// The same where a is zero or |a| >= |b|.
DoubleDouble fastTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a as two halves of 26 bits or fewer, whose products are exact.
DoubleDouble halves(double a) {
    const double c = 0x1.0000002p27 * a;
    const double hi = c - (c - a);
    return {hi, a - hi};
}

// a b exactly, as the rounded product and its error.
DoubleDouble twoProduct(double a, double b) {
    const double p = a * b;
    const DoubleDouble x = halves(a);
    const DoubleDouble y = halves(b);
    return {p, ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo};
}

// x = quadrant pi/2 + hi + lo (modulo 2 pi), |hi + lo| <= pi/4 nearly,
// |lo| < 2^-40, and hi + lo within error of the true remainder.
struct Reduced {
    uint32_t quadrant;
    double hi, lo, error;
};

// Cody and Waite's reduction for pi/4 <= x < nearLimit.
Reduced reduceNear(double x) {
    const double t = x * trig::twoOverPiNearest + shifter;
    const double k = t - shifter;
    const auto& c = trig::halfPiParts;
    // x and k c[0] are within a factor of two of each other, so their
    // difference is exact. So is the next step: its result is below 1 and a
    // multiple of 2^-53 or, from x = 2^5 on, of 2^-47. The third keeps its
    // rounding error, and the last product joins that.
    const double r1 = (x - k * c[0]) - k * c[1];
    const DoubleDouble r = twoSum(r1, -(k * c[2]));
    // The product with the last part and the rest of pi/2 beyond it stay
    // below k 2^-122, the two roundings below 2^-104 of r.
    return {static_cast<uint32_t>(bitsOf(t) & 3), r.hi, r.lo - k * c[3], k * 0x1p-120 + std::fabs(r.hi) * 0x1p-102};
}

// Reduction by the bits of 2/pi, for large x.
Reduced reduceFar(double x) {
    const trig::NearestWhole turns = trig::nearestWhole(trig::reduceExactly(x));
    const DoubleDouble f = trig::toDoubleDouble(turns.fraction);
    const DoubleDouble& c = trig::halfPiSplit;
    const DoubleDouble p = twoProduct(f.hi, c.hi);
    const DoubleDouble r = twoSum(p.hi, p.lo + (f.hi * c.lo + f.lo * c.hi));
    const double sign = signs[turns.negative];
    return {turns.whole & 3, sign * r.hi, sign * r.lo, std::fabs(r.hi) * 0x1p-100};
}

// u cos r + v sin r, r = rh + rl, into result when its rounding is certain,
// for |r| <= 2^-9, |rl| no more than half an ulp of rh, and error the
// uncertainty of r. u is at most twice the result, v r at most the result.
//
// As u + v rh + u (cos r - 1) + v (sin r - rh), the first two terms are
// exact and the others are below 2^-18 and 2^-20.5 of the result, so their
// rounding errors stay far below an ulp. Counted in units of 2^-53 of the
// largest each can be: five in the cosine term, eight in the sine term, four
// in the tail's sums and the test below, and under 2^-72 of the result for
// the truncated series, the rounded coefficients and the tables; 2^-67.5 of
// the result in all, which the test doubles and more.
bool rotate(const DoubleDouble& u, const DoubleDouble& v, double rh, double rl, double error, double& result) {
    const double z = rh * rh;
    const double z2 = z * z;
    const double sinPart = z * S3 + z2 * (S5 + z * S7);    // sin rh / rh - 1
    const double cosPart = z * -0.5 + z2 * (C4 + z * C6);  // cos rh - 1
    const DoubleDouble p = twoProduct(v.hi, rh);
    const DoubleDouble s = fastTwoSum(u.hi, p.hi);
    const double cosTerm = u.hi * (cosPart - rl * rh);  // u (cos r - 1)
    const double sinTerm = p.hi * sinPart + v.hi * rl;  // v (sin r - rh)
    const double tail = ((cosTerm + sinTerm) + ((s.lo + u.lo) + v.lo * rh)) + p.lo;
    // The true value lies within bound of s.hi + tail; where both ends of
    // that interval round to the same double, so does the true value.
    const double bound = 0x1p-66 * std::fabs(s.hi) + error;
    const double up = s.hi + (tail + bound);
    const double down = s.hi + (tail - bound);
    if (up != down) return false;
    result = up;
    return true;
}

// sin(quadrant pi/2 + r) into result when its rounding is certain: with r =
// +-(a + f), a = j/256 the nearest step from the table, as rotate() of
// (sin a, cos a) or (cos a, -sin a) with the sign the quadrant gives.
bool quickSine(const Reduced& r, double& result) {
    const bool odd = (r.quadrant & 1) != 0;
    const bool negative = (r.quadrant >= 2) != (!odd && r.hi < 0);
    const double magnitude = std::fabs(r.hi);
    const double lo = r.hi < 0 ? -r.lo : r.lo;
    const double t = magnitude * 256 + shifter;
    // Exact: magnitude and j/256 are within a factor of two.
    const DoubleDouble f = twoSum(magnitude - (t - shifter) * 0x1p-8, lo);
    const trig::SineCosine& a = trig::stepTable[bitsOf(t) & 255];
    double y = 0;
    const bool certain = odd ? rotate(a.cosine, {-a.sine.hi, -a.sine.lo}, f.hi, f.lo, r.error, y)
                             : rotate(a.sine, a.cosine, f.hi, f.lo, r.error, y);
    result = signs[negative] * y;
    return certain;
}

Reduced reduce(double x) {
    if (x < quarterPi) return {0, x, 0, 0};
    return x < nearLimit ? reduceNear(x) : reduceFar(x);
}

constexpr double quietNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

double sine(double x) {
    const double magnitude = std::fabs(x);
    if (!(magnitude <= std::numeric_limits<double>::max())) return quietNaN;
    // sin x = x (1 - x^2/6 + ...) rounds to x here, and so keeps its sign.
    if (magnitude < 0x1p-27) return x;
    double y = 0;
    if (!quickSine(reduce(magnitude), y)) y = trig::sineExactly(magnitude);
    return x < 0 ? -y : y;
}

double cosine(double x) {
    const double magnitude = std::fabs(x);
    if (!(magnitude <= std::numeric_limits<double>::max())) return quietNaN;
    // cos x = 1 - x^2/2 + ... rounds to 1 here.
    if (magnitude < 0x1p-27) return 1;
    // cos x = sin(x + pi/2): a quarter turn more.
    Reduced r = reduce(magnitude);
    r.quadrant = (r.quadrant + 1) & 3;
    double y = 0;
    if (!quickSine(r, y)) y = trig::cosineExactly(magnitude);
    return y;
}

}  // namespace quillmoor
