#pragma once

namespace quillmoor {

// The integer part of a position in pixels, truncated toward zero. Positions
// far beyond any canvas (or not a number) are pinned to a column or row a
// billion pixels out, which every bounds test rejects, so the conversion never
// overflows and a few pixels of arithmetic on the result stay in range.
inline int pixelCoordinate(double v) {
    constexpr double farOut = 1e9;
    if (!(v > -farOut)) return -static_cast<int>(farOut);
    if (!(v < farOut)) return static_cast<int>(farOut);
    return static_cast<int>(v);
}

}  // namespace quillmoor
