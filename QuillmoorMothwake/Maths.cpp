// The power function of Maths.h: Arm's optimized-routines pow (MIT licence,
// Copyright (c) 2018, Arm Limited), as glibc builds it for processors with
// fused multiply-add: every product whose only use is an addition is fused
// with it. Built with contraction off, so the compiler fuses nothing more.
#include "QuillmoorMothwake/Maths.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "QuillmoorMothwake/DoubleBits.h"
#include "QuillmoorMothwake/MathsTables.h"

namespace quillmoor {

namespace {

using maths::expTable;
using maths::logTable;

constexpr double ln2hi = 0x1.62e42fefa3800p-1;
constexpr double ln2lo = 0x1.ef35793c76730p-45;
// log1p(r) - r ~ A0 r^2 + ... + A6 r^8, scaled for the evaluation below.
constexpr double A0 = -0x1p-1, A1 = 0x1.555555555556p-2 * -2, A2 = -0x1.0000000000006p-2 * -2,
                 A3 = 0x1.999999959554ep-3 * 4, A4 = -0x1.555555529a47ap-3 * 4, A5 = 0x1.2495b9b4845e9p-3 * -8,
                 A6 = -0x1.0002b8b263fc3p-3 * -8;
constexpr uint64_t logOffset = 0x3fe6955500000000;

constexpr int expTableBits = 7;
constexpr double invLn2N = 0x1.71547652b82fep0 * 128;
constexpr double negLn2hiN = -0x1.62e42fefa0000p-8;
constexpr double negLn2loN = -0x1.cf79abc9e3b3ap-47;
constexpr double shift = 0x1.8p52;
constexpr double C2 = 0x1.ffffffffffdbdp-2, C3 = 0x1.555555555543cp-3, C4 = 0x1.55555cf172b91p-5,
                 C5 = 0x1.1111167a4d017p-7;
constexpr uint64_t signBias = 0x800 << expTableBits;

constexpr double infinity = std::numeric_limits<double>::infinity();

uint32_t top12(double x) { return static_cast<uint32_t>(bitsOf(x) >> 52); }

// log(x) as hi + tail, with about 15 bits more than a double. ix is the bit
// pattern of a positive normal x (subnormals come normalised, exponent below).
double logInline(uint64_t ix, double& tail) {
    const uint64_t tmp = ix - logOffset;
    const int i = static_cast<int>((tmp >> (52 - 7)) % 128);
    const int k = static_cast<int>(static_cast<int64_t>(tmp) >> 52);
    const uint64_t iz = ix - (tmp & 0xfffULL << 52);
    const double z = fromBits(iz);
    const double kd = k;
    const maths::LogEntry& e = logTable[static_cast<size_t>(i)];

    const double r = std::fma(z, e.invc, -1.0);
    const double t1 = std::fma(kd, ln2hi, e.logc);
    const double t2 = t1 + r;
    const double lo1 = std::fma(kd, ln2lo, e.logctail);
    const double lo2 = t1 - t2 + r;

    const double ar = A0 * r;
    const double ar2 = r * ar;
    const double ar3 = r * ar2;
    const double hi = t2 + ar2;
    const double lo3 = std::fma(ar, r, -ar2);
    const double lo4 = t2 - hi + ar2;
    const double inner = std::fma(ar2, std::fma(r, A6, A5), std::fma(r, A4, A3));
    const double poly = std::fma(ar2, inner, std::fma(r, A2, A1));
    const double lo = std::fma(ar3, poly, lo1 + lo2 + lo3 + lo4);
    const double y = hi + lo;
    tail = hi - y + lo;
    return y;
}

// scale * (1 + tmp) where it may overflow or fall into the subnormals; ki's
// sign tells which.
double specialCase(double tmp, uint64_t sbits, uint64_t ki) {
    if ((ki & 0x80000000) == 0) {
        sbits -= 1009ULL << 52;
        const double scale = fromBits(sbits);
        return 0x1p1009 * std::fma(scale, tmp, scale);
    }
    sbits += 1022ULL << 52;
    const double scale = fromBits(sbits);
    // This product is used again in the branch below, so it is not fused.
    const double scaledTmp = scale * tmp;
    double y = scale + scaledTmp;
    if (std::fabs(y) < 1.0) {
        // Rounded to its final precision before it is scaled down, so it is
        // rounded once only.
        const double one = y < 0.0 ? -1.0 : 1.0;
        double lo = scale - y + scaledTmp;
        const double hi = one + y;
        lo = one - hi + y + lo;
        y = (hi + lo) - one;
        if (y == 0.0) y = fromBits(sbits & 0x8000000000000000);
    }
    return 0x1p-1022 * y;
}

// exp(x + xtail), negated when signBias is set; |xtail| < 2^-8/128.
double expInline(double x, double xtail, uint64_t bias) {
    uint32_t abstop = top12(x) & 0x7ff;
    if (abstop - top12(0x1p-54) >= top12(512.0) - top12(0x1p-54)) {
        if (abstop - top12(0x1p-54) >= 0x80000000) {
            const double one = 1.0 + x;
            return bias ? -one : one;
        }
        if (abstop >= top12(1024.0)) {
            const double sign = bias ? -1.0 : 1.0;
            return bitsOf(x) >> 63 ? sign * 0.0 : sign * infinity;
        }
        abstop = 0;  // large |x|: the special case below
    }
    // x = ln2/128 * k + r with r in [-ln2/256, ln2/256].
    double kd = std::fma(invLn2N, x, shift);
    const uint64_t ki = bitsOf(kd);
    kd -= shift;
    double r = std::fma(kd, negLn2loN, std::fma(kd, negLn2hiN, x));
    r += xtail;
    const uint64_t idx = 2 * (ki % 128);
    const uint64_t top = (ki + bias) << (52 - expTableBits);
    const double tail = fromBits(expTable[idx]);
    const uint64_t sbits = expTable[idx + 1] + top;
    const double r2 = r * r;
    const double tmp = std::fma(r2 * r2, std::fma(r, C5, C4), std::fma(r2, std::fma(r, C3, C2), tail + r));
    if (abstop == 0) return specialCase(tmp, sbits, ki);
    const double scale = fromBits(sbits);
    return std::fma(scale, tmp, scale);
}

// 0 when iy is not a whole number, 1 when odd, 2 when even (iy finite, not 0).
int wholeNumberKind(uint64_t iy) {
    const int e = static_cast<int>(iy >> 52 & 0x7ff);
    if (e < 0x3ff) return 0;
    if (e > 0x3ff + 52) return 2;
    if (iy & ((1ULL << (0x3ff + 52 - e)) - 1)) return 0;
    if (iy & (1ULL << (0x3ff + 52 - e))) return 1;
    return 2;
}

bool zeroInfNan(uint64_t i) { return 2 * i - 1 >= 2 * bitsOf(infinity) - 1; }

}  // namespace

double power(double x, double y) {
    uint64_t bias = 0;
    uint64_t ix = bitsOf(x);
    const uint64_t iy = bitsOf(y);
    uint32_t topx = top12(x);
    const uint32_t topy = top12(y);
    if (topx - 0x001 >= 0x7ff - 0x001 || (topy & 0x7ff) - 0x3be >= 0x43e - 0x3be) {
        // x tiny, negative, infinite or nan; |y| tiny, huge or nan.
        if (zeroInfNan(iy)) {
            if (2 * iy == 0) return 1.0;
            if (ix == bitsOf(1.0)) return 1.0;
            if (2 * ix > 2 * bitsOf(infinity) || 2 * iy > 2 * bitsOf(infinity)) return x + y;
            if (2 * ix == 2 * bitsOf(1.0)) return 1.0;
            if ((2 * ix < 2 * bitsOf(1.0)) == !(iy >> 63)) return 0.0;
            return y * y;
        }
        if (zeroInfNan(ix)) {
            double x2 = x * x;
            if (ix >> 63 && wholeNumberKind(iy) == 1) x2 = -x2;
            return iy >> 63 ? 1 / x2 : x2;
        }
        if (ix >> 63) {
            const int kind = wholeNumberKind(iy);
            if (kind == 0) return std::numeric_limits<double>::quiet_NaN();
            if (kind == 1) bias = signBias;
            ix &= 0x7fffffffffffffff;
            topx &= 0x7ff;
        }
        if ((topy & 0x7ff) - 0x3be >= 0x43e - 0x3be) {
            if (ix == bitsOf(1.0)) return 1.0;
            if ((topy & 0x7ff) < 0x3be) return ix > bitsOf(1.0) ? 1.0 + y : 1.0 - y;
            return (ix > bitsOf(1.0)) == (topy < 0x800) ? infinity : 0.0;
        }
        if (topx == 0) {
            // Subnormal x: normalised, with the exponent made negative.
            ix = bitsOf(x * 0x1p52);
            ix &= 0x7fffffffffffffff;
            ix -= 52ULL << 52;
        }
    }
    double lo = 0;
    const double hi = logInline(ix, lo);
    const double ehi = y * hi;
    const double elo = std::fma(y, lo, std::fma(y, hi, -ehi));
    return expInline(ehi, elo, bias);
}

}  // namespace quillmoor
