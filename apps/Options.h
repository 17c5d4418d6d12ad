#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Parsers for command-line values shared by the front ends. Each accepts the
// whole text or nothing: no leading blanks, no trailing characters.

struct Size {
    int width = 0;
    int height = 0;
};

// The largest width or height accepted for a screen or canvas.
inline constexpr int maxDimension = 16384;

// A 64-bit seed: decimal, or hexadecimal with a 0x prefix.
std::optional<uint64_t> parseSeed(std::string_view text);

// A whole number 0 ... max, decimal digits only (no sign).
std::optional<int64_t> parseCount(std::string_view text, int64_t max);

// WxH with both sides 1 ... maxDimension.
std::optional<Size> parseSize(std::string_view text);

// An X window id: decimal or 0x-hex, nonzero, within 32 bits.
std::optional<unsigned long> parseWindowId(std::string_view text);

// "--name" and "-name" are the same option; returns the name without dashes,
// or nothing when the argument is not an option.
std::optional<std::string> optionName(std::string_view argument);
