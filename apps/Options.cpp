#include "apps/Options.h"

#include <charconv>

namespace {

template <class T>
std::optional<T> parseWhole(std::string_view text, int base) {
    if (text.empty()) return std::nullopt;
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool hasHexPrefix(std::string_view text) { return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'); }

}  // namespace

std::optional<uint64_t> parseSeed(std::string_view text) {
    if (hasHexPrefix(text)) return parseWhole<uint64_t>(text.substr(2), 16);
    return parseWhole<uint64_t>(text, 10);
}

std::optional<int64_t> parseCount(std::string_view text, int64_t max) {
    // Digits only: a sign, even on zero ("-0"), is refused like any other stray character.
    if (text.empty() || text[0] < '0' || text[0] > '9') return std::nullopt;
    const auto value = parseWhole<int64_t>(text, 10);
    if (!value || *value < 0 || *value > max) return std::nullopt;
    return value;
}

std::optional<Size> parseSize(std::string_view text) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) return std::nullopt;
    const auto w = parseCount(text.substr(0, x), maxDimension);
    const auto h = parseCount(text.substr(x + 1), maxDimension);
    if (!w || !h || *w < 1 || *h < 1) return std::nullopt;
    return Size{static_cast<int>(*w), static_cast<int>(*h)};
}

std::optional<unsigned long> parseWindowId(std::string_view text) {
    const auto value = hasHexPrefix(text) ? parseWhole<uint64_t>(text.substr(2), 16) : parseWhole<uint64_t>(text, 10);
    if (!value || *value == 0 || *value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<unsigned long>(*value);
}

std::optional<std::string> optionName(std::string_view argument) {
    if (argument.size() < 2 || argument[0] != '-') return std::nullopt;
    argument.remove_prefix(argument[1] == '-' ? 2 : 1);
    if (argument.empty() || argument[0] == '-') return std::nullopt;
    return std::string(argument);
}
