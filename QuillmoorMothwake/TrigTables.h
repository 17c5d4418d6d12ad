#pragma once

#include <array>
#include <cstdint>

namespace quillmoor::trig {

// hi + lo, |lo| no more than half an ulp of hi.
struct DoubleDouble {
    double hi;
    double lo;
};

// A fixed-point number: limb[0] is the whole part, limb[1] ... limb[8] the
// fraction, most significant first, 256 bits in all.
constexpr int fractionLimbs = 8;
struct Fixed {
    std::array<uint32_t, fractionLimbs + 1> limb{};
};

struct SineCosine {
    DoubleDouble sine;
    DoubleDouble cosine;
};

extern const std::array<SineCosine, 256> stepTable;
extern const std::array<double, 4> halfPiParts;
extern const DoubleDouble halfPiSplit;
extern const double twoOverPiNearest;
extern const std::array<uint32_t, 44> twoOverPi;
extern const Fixed halfPi;

}  // namespace quillmoor::trig
