#include "QuillmoorMothwake/Environment.h"

#include <algorithm>
#include <limits>

namespace quillmoor {

namespace {

// The value of MOTHWAKES_PAN_FRAMES raised to at least 1, or nothing when the
// text is not a whole decimal integer within the 64-bit signed range.
std::optional<int64_t> panFramesIn(const char* text) {
    if (!text) return std::nullopt;
    const char* p = text;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    if (*p == '\0') return std::nullopt;

    // The magnitude may reach 2^63 only for a negative value.
    const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
    uint64_t magnitude = 0;
    for (; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return std::nullopt;
        const auto digit = static_cast<uint64_t>(*p - '0');
        if (magnitude > (limit - digit) / 10) return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }
    if (negative) return 1;  // a negative value (or minus zero) is below the minimum
    return std::max<int64_t>(1, static_cast<int64_t>(magnitude));
}

}  // namespace

int64_t panFramesFromEnvironment(const char* text, int64_t fallback) { return panFramesIn(text).value_or(fallback); }

SceneSettings sceneSettingsFromEnvironment(const char* panFrames, const char* animal) {
    SceneSettings settings;
    settings.panFrames = panFramesIn(panFrames);
    if (animal) settings.animal = Animals::species(animal);
    return settings;
}

SceneSettings preferring(const SceneSettings& first, const SceneSettings& second) {
    return {first.panFrames ? first.panFrames : second.panFrames, first.animal ? first.animal : second.animal};
}

}  // namespace quillmoor
