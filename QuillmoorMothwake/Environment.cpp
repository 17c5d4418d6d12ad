#include "QuillmoorMothwake/Environment.h"

#include <algorithm>
#include <limits>

namespace quillmoor {

int64_t panFramesFromEnvironment(const char* text, int64_t fallback) {
    if (!text) return fallback;
    const char* p = text;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    if (*p == '\0') return fallback;

    // The magnitude may reach 2^63 only for a negative value.
    const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
    uint64_t magnitude = 0;
    for (; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return fallback;
        const auto digit = static_cast<uint64_t>(*p - '0');
        if (magnitude > (limit - digit) / 10) return fallback;
        magnitude = magnitude * 10 + digit;
    }
    if (negative) return 1;  // a negative value (or minus zero) is below the minimum
    return std::max<int64_t>(1, static_cast<int64_t>(magnitude));
}

}  // namespace quillmoor
