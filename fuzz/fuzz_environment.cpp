// The scenes' environment variables: MOTHWAKES_PAN_FRAMES and MOTHWAKES_ANIMAL.
// The input is the variable's value; like any environment value it ends at
// its first NUL byte.

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

#include "QuillmoorMothwake/Animals.h"
#include "QuillmoorMothwake/Environment.h"
#include "fuzz/FuzzSupport.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The period as a plain reading of the rule: an optional sign, then digits
// only, within int64_t; raised to at least 1. Nothing: not such a number.
std::optional<int64_t> panFramesPlain(std::string_view text) {
    std::string_view digits = text;
    if (digits.starts_with('+') || digits.starts_with('-')) digits.remove_prefix(1);
    if (digits.empty()) return std::nullopt;
    for (const char c : digits)
        if (!isDigit(c)) return std::nullopt;
    // from_chars takes a minus sign but no plus sign.
    const std::string_view number = text.starts_with('+') ? digits : text;
    int64_t value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc{} || end != number.data() + number.size()) return std::nullopt;
    return std::max<int64_t>(1, value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string value(fuzz::asText(data, size).substr(0, fuzz::asText(data, size).find('\0')));

    // A fallback of 0 is never a period, so it tells rejection apart.
    const int64_t period = quillmoor::panFramesFromEnvironment(value.c_str(), 0);
    fuzz::expect(period == panFramesPlain(value).value_or(0), "MOTHWAKES_PAN_FRAMES reads as a plain decimal integer");

    const quillmoor::Animals animals(value.c_str());
    const bool named = value == "moose" || value == "bear" || value == "fox";
    fuzz::expect(animals.forced.has_value() == named && (animals.wait == 0) == named,
                 "MOTHWAKES_ANIMAL forces exactly the named species, at once");
    return 0;
}
