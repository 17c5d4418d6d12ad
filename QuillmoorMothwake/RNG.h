#pragma once

#include <cstdint>

namespace quillmoor {

// SplitMix64. Every random decision of a scene comes from one of these, in a
// fixed order, so a scene is reproducible from its seed and size.
struct RNG {
    uint64_t state = 0;

    RNG() = default;
    explicit RNG(uint64_t seed) : state(seed) {}

    // One generator step.
    uint64_t next();

    // What the n-th next step (n >= 1) will return, without taking any step.
    uint64_t peek(uint64_t n) const;

    // A value in 0 ... n - 1 by plain remainder; n < 2 gives 0 without a step.
    int64_t integer(int64_t n);

    // A value in lo ... hi, both included; lo >= hi gives lo without a step.
    int64_t integer(int64_t lo, int64_t hi);

    // A uniform double in [0, 1) from the top 53 bits of one step.
    double unit();
};

}  // namespace quillmoor
