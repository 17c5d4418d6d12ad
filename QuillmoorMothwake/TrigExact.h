#pragma once

#include <cstdint>

#include "QuillmoorMothwake/TrigTables.h"

// The slow and plain part of sine and cosine: reduction by the bits of 2/pi
// and Taylor series in 256-bit fixed point, with integers only.
namespace quillmoor::trig {

// x 2/pi modulo 4, for finite x > 0: the whole part in limb[0], the fraction
// within 2^-280.
Fixed reduceExactly(double x);

// y as a whole number plus a fraction in [-1/2, 1/2]; the fraction comes as
// its magnitude and sign.
struct NearestWhole {
    uint32_t whole;
    bool negative;
    Fixed fraction;
};
NearestWhole nearestWhole(const Fixed& y);

// A fraction as hi + lo: its first 53 bits, then the next 53.
DoubleDouble toDoubleDouble(const Fixed& fraction);

// sin x and cos x rounded to nearest, for finite x with |x| >= 2^-27, from
// values within 2^-180 of the true ones relative to their size: far closer
// than the sine or cosine of any double is expected to come to a midpoint
// between two doubles (around 2^-120 for the closest of all 2^64).
double sineExactly(double x);
double cosineExactly(double x);

}  // namespace quillmoor::trig
