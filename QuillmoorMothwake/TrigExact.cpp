#include "QuillmoorMothwake/TrigExact.h"
#include "QuillmoorMothwake/DoubleBits.h"

#include <array>
#include <bit>

namespace quillmoor::trig {

namespace {

// Limbs of 2/pi multiplied with the significand: with 12 (384 bits) the
// fraction of x 2/pi has at least 94 bits beyond the 256 kept.
constexpr int windowLimbs = 12;
// The window of the largest doubles (exponent 971) starts at limb (971 - 2) / 32.
static_assert((971 - 2) / 32 + windowLimbs <= static_cast<int>(twoOverPi.size()));

double powerOfTwo(int e) { return fromBits(static_cast<uint64_t>(e + 1023) << 52); }

// 32 bits of a little-endian number from bit index first on; bits outside it are zero.
template <std::size_t N>
uint32_t bitsFrom(const std::array<uint32_t, N>& p, int first) {
    const int limb = first >= 0 ? first / 32 : -((31 - first) / 32);
    const int shift = first - 32 * limb;
    const auto at = [&](int i) -> uint64_t { return i >= 0 && i < static_cast<int>(N) ? p[i] : 0; };
    return static_cast<uint32_t>((at(limb + 1) << 32 | at(limb)) >> shift);
}

uint32_t limbOf(const Fixed& v, int i) { return i <= fractionLimbs ? v.limb[i] : 0; }

// 64 bits of v from bit position start on (position 0 is the top bit of the
// whole part), and whether any bit after them is set.
uint64_t bitsFrom(const Fixed& v, int start, bool& sticky) {
    const int i = start / 32;
    const int shift = start % 32;
    const uint64_t pair = static_cast<uint64_t>(limbOf(v, i)) << 32 | limbOf(v, i + 1);
    const uint32_t third = limbOf(v, i + 2);
    uint64_t bits = pair << shift;
    if (shift > 0) bits |= third >> (32 - shift);
    sticky = (shift > 0 ? third << shift : third) != 0;
    for (int k = i + 3; k <= fractionLimbs; ++k) sticky = sticky || v.limb[k] != 0;
    return bits;
}

bool isZero(const Fixed& v) {
    for (const uint32_t limb : v.limb)
        if (limb != 0) return false;
    return true;
}

// Position of the leading one of a nonzero v (0 is the top bit of the whole part).
int leadingOne(const Fixed& v) {
    int i = 0;
    while (v.limb[i] == 0) ++i;
    return 32 * i + std::countl_zero(v.limb[i]);
}

Fixed add(const Fixed& a, const Fixed& b) {
    Fixed sum;
    uint64_t carry = 0;
    for (int i = fractionLimbs; i >= 0; --i) {
        const uint64_t t = static_cast<uint64_t>(a.limb[i]) + b.limb[i] + carry;
        sum.limb[i] = static_cast<uint32_t>(t);
        carry = t >> 32;
    }
    return sum;
}

Fixed subtract(const Fixed& a, const Fixed& b) {
    Fixed difference;
    uint64_t borrow = 0;
    for (int i = fractionLimbs; i >= 0; --i) {
        const uint64_t t = static_cast<uint64_t>(a.limb[i]) - b.limb[i] - borrow;
        difference.limb[i] = static_cast<uint32_t>(t);
        borrow = t >> 63;
    }
    return difference;
}

// a b with the fraction truncated to 256 bits; the whole part wraps.
Fixed multiply(const Fixed& a, const Fixed& b) {
    // Column i + j holds the weight 2^(-32 (i + j)).
    std::array<uint32_t, 2 * fractionLimbs + 1> columns{};
    for (int i = fractionLimbs; i >= 0; --i) {
        if (a.limb[i] == 0) continue;
        uint64_t carry = 0;
        for (int j = fractionLimbs; j >= 0; --j) {
            const uint64_t t = static_cast<uint64_t>(a.limb[i]) * b.limb[j] + columns[i + j] + carry;
            columns[i + j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        if (i > 0) columns[i - 1] = static_cast<uint32_t>(carry);
    }
    Fixed product;
    for (int i = 0; i <= fractionLimbs; ++i) product.limb[i] = columns[i];
    return product;
}

// a / d, truncated.
Fixed divide(const Fixed& a, uint32_t d) {
    Fixed quotient;
    uint64_t remainder = 0;
    for (int i = 0; i <= fractionLimbs; ++i) {
        const uint64_t current = remainder << 32 | a.limb[i];
        quotient.limb[i] = static_cast<uint32_t>(current / d);
        remainder = current % d;
    }
    return quotient;
}

// sin r = r - r^3/3! + r^5/5! - ... for 0 <= r <= pi/4; the terms fall fast
// enough that the sum is done when a term truncates to zero.
Fixed sineSeries(const Fixed& r) {
    const Fixed r2 = multiply(r, r);
    Fixed sum = r;
    Fixed term = r;
    for (uint32_t n = 2;; n += 2) {
        term = divide(multiply(term, r2), n * (n + 1));
        if (isZero(term)) return sum;
        sum = n % 4 == 2 ? subtract(sum, term) : add(sum, term);
    }
}

// cos r = 1 - r^2/2! + r^4/4! - ... for 0 <= r <= pi/4.
Fixed cosineSeries(const Fixed& r) {
    const Fixed r2 = multiply(r, r);
    Fixed sum;
    sum.limb[0] = 1;
    Fixed term = sum;
    for (uint32_t n = 1;; n += 2) {
        term = divide(multiply(term, r2), n * (n + 1));
        if (isZero(term)) return sum;
        sum = n % 4 == 1 ? subtract(sum, term) : add(sum, term);
    }
}

// A positive v below 2^32 rounded to the nearest double.
double roundToDouble(const Fixed& v) {
    if (isZero(v)) return 0;
    const int start = leadingOne(v);
    bool sticky = false;
    const uint64_t bits = bitsFrom(v, start, sticky);
    uint64_t significand = bits >> 11;
    int exponent = 31 - start;  // of the leading one
    const bool half = (bits >> 10 & 1) != 0;
    const bool beyondHalf = (bits & 0x3ff) != 0 || sticky;
    if (half && (beyondHalf || (significand & 1) != 0)) ++significand;
    if (significand >> 53) {
        significand >>= 1;
        ++exponent;
    }
    return static_cast<double>(significand) * powerOfTwo(exponent - 52);
}

// sin(|x| + quarterTurns pi/2).
double turnedSine(double x, uint32_t quarterTurns) {
    const NearestWhole reduced = nearestWhole(reduceExactly(x < 0 ? -x : x));
    const uint32_t quadrant = (reduced.whole + quarterTurns) & 3;
    // sin(quadrant pi/2 + r) for r = +-|r|: +-sin|r|, cos|r|, -+sin|r|, -cos|r|.
    const Fixed r = multiply(reduced.fraction, halfPi);
    const double magnitude = roundToDouble(quadrant % 2 == 0 ? sineSeries(r) : cosineSeries(r));
    const bool negative = (quadrant >= 2) != (quadrant % 2 == 0 && reduced.negative);
    return negative ? -magnitude : magnitude;
}

}  // namespace

Fixed reduceExactly(double x) {
    const uint64_t b = bitsOf(x);
    const int biased = static_cast<int>(b >> 52);
    const uint64_t significand = (b & ((1ULL << 52) - 1)) | (biased > 0 ? 1ULL << 52 : 0);
    const int exponent = (biased > 0 ? biased : 1) - 1075;  // x = significand 2^exponent
    // Limbs of 2/pi before this one add only multiples of 4 to x 2/pi.
    const int first = exponent >= 2 ? (exponent - 2) / 32 : 0;

    // product = significand times the window of 2/pi, little-endian.
    std::array<uint32_t, windowLimbs + 2> product{};
    const uint64_t low = significand & 0xffffffff;
    const uint64_t high = significand >> 32;
    for (int i = 0; i < windowLimbs; ++i) {
        const uint64_t g = twoOverPi[first + windowLimbs - 1 - i];
        const uint64_t t = g * low + product[i];
        product[i] = static_cast<uint32_t>(t);
        const uint64_t u = g * high + product[i + 1] + (t >> 32);
        product[i + 1] = static_cast<uint32_t>(u);
        product[i + 2] = static_cast<uint32_t>(u >> 32);
    }
    // The product has this many bits after the binary point of x 2/pi.
    const int point = 32 * (first + windowLimbs) - exponent;
    Fixed y;
    y.limb[0] = bitsFrom(product, point) & 3;
    for (int i = 1; i <= fractionLimbs; ++i) y.limb[i] = bitsFrom(product, point - 32 * i);
    return y;
}

NearestWhole nearestWhole(const Fixed& y) {
    NearestWhole split{y.limb[0], (y.limb[1] >> 31) != 0, y};
    split.fraction.limb[0] = 0;
    if (split.negative) {
        ++split.whole;
        Fixed one;
        one.limb[0] = 1;
        split.fraction = subtract(one, split.fraction);
    }
    return split;
}

DoubleDouble toDoubleDouble(const Fixed& fraction) {
    if (isZero(fraction)) return {0, 0};
    const int start = leadingOne(fraction);
    bool sticky = false;
    const uint64_t head = bitsFrom(fraction, start, sticky) >> 11;
    const uint64_t next = bitsFrom(fraction, start + 53, sticky) >> 11;
    const int exponent = 31 - start;
    return {static_cast<double>(head) * powerOfTwo(exponent - 52),
            static_cast<double>(next) * powerOfTwo(exponent - 105)};
}

double sineExactly(double x) {
    const double y = turnedSine(x, 0);
    return x < 0 ? -y : y;
}

double cosineExactly(double x) { return turnedSine(x, 1); }

}  // namespace quillmoor::trig
