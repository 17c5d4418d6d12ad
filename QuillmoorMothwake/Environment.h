#pragma once

#include <cstdint>

namespace quillmoor {

// Frames between one-pixel pans as set by MOTHWAKES_PAN_FRAMES. `text` is the
// variable's value, or null when it is absent. A whole decimal integer (an
// optional sign, then one or more ASCII digits and nothing else, within the
// 64-bit signed range) gives that value raised to at least 1; anything else
// gives `fallback`.
int64_t panFramesFromEnvironment(const char* text, int64_t fallback);

}  // namespace quillmoor
