#pragma once

#include <cstdint>
#include <cstring>

namespace quillmoor {

// A double's bit pattern and back (std::bit_cast is missing from the
// WebAssembly build's older libc++).
inline uint64_t bitsOf(double x) {
    uint64_t b = 0;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

inline double fromBits(uint64_t b) {
    double x = 0;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

}  // namespace quillmoor
