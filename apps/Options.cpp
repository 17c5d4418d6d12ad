#include "apps/Options.h"

std::optional<Size> parseSize(std::string_view text) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) return std::nullopt;
    const auto w = parseCount(text.substr(0, x), maxDimension);
    const auto h = parseCount(text.substr(x + 1), maxDimension);
    if (!w || !h || *w < 1 || *h < 1) return std::nullopt;
    return Size{static_cast<int>(*w), static_cast<int>(*h)};
}

std::optional<unsigned long> parseWindowId(std::string_view text) {
    // Spelled like a seed, within an X id's 32 bits.
    const auto value = parseSeed(text);
    if (!value || *value == 0 || *value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<unsigned long>(*value);
}

std::optional<std::string> optionName(std::string_view argument) {
    if (argument.size() < 2 || argument[0] != '-') return std::nullopt;
    argument.remove_prefix(argument[1] == '-' ? 2 : 1);
    if (argument.empty() || argument[0] == '-') return std::nullopt;
    return std::string(argument);
}
