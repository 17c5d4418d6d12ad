#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/SaverSettings.h"

// Parsers for the command-line values only the programs take (the settings'
// own are in settings/SaverSettings.h). Each accepts the whole text or
// nothing: no leading blanks, no trailing characters.

struct Size {
    int width = 0;
    int height = 0;
};

// The largest width or height accepted for a screen or canvas.
inline constexpr int maxDimension = 16384;

// WxH with both sides 1 ... maxDimension.
std::optional<Size> parseSize(std::string_view text);

// An X window id: decimal or 0x-hex, nonzero, within 32 bits.
std::optional<unsigned long> parseWindowId(std::string_view text);

// "--name" and "-name" are the same option; returns the name without dashes,
// or nothing when the argument is not an option.
std::optional<std::string> optionName(std::string_view argument);
