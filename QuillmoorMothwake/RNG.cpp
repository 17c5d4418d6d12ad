#include "QuillmoorMothwake/RNG.h"

namespace quillmoor {

namespace {

constexpr uint64_t golden = 0x9E3779B97F4A7C15ULL;

uint64_t mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

}  // namespace

uint64_t RNG::next() {
    state += golden;
    return mix(state);
}

// The state only ever advances by the same increment, so any later output is
// one multiplication away.
uint64_t RNG::peek(uint64_t n) const { return mix(state + n * golden); }

int64_t RNG::integer(int64_t n) {
    if (n < 2) return 0;
    return static_cast<int64_t>(next() % static_cast<uint64_t>(n));
}

int64_t RNG::integer(int64_t lo, int64_t hi) {
    if (lo >= hi) return lo;
    const uint64_t n = static_cast<uint64_t>(hi) - static_cast<uint64_t>(lo) + 1;
    return lo + static_cast<int64_t>(next() % n);
}

double RNG::unit() {
    return static_cast<double>(next() >> 11) * 0x1.0p-53;
}

}  // namespace quillmoor
