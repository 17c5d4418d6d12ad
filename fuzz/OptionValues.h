#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "apps/Options.h"
#include "fuzz/FuzzSupport.h"

namespace fuzz {

inline std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

// Every value parser the front ends share, on one argument: what they accept
// lies in range, and a number reads back the same from its plain spellings.
inline void checkValueParsers(std::string_view text) {
    if (const auto seed = parseSeed(text)) {
        expect(parseSeed(std::to_string(*seed)) == seed, "a seed reads back from its decimal spelling");
        expect(parseSeed(hex(*seed)) == seed, "a seed reads back from its hex spelling");
    }
    if (const auto id = parseWindowId(text)) {
        expect(*id >= 1 && *id <= 0xFFFFFFFFul, "a window id is nonzero and within 32 bits");
        expect(parseWindowId(std::to_string(*id)) == id && parseWindowId(hex(*id)) == id, "a window id reads back");
    }
    if (const auto count = parseCount(text, 1000)) {
        expect(*count >= 0 && *count <= 1000, "a count lies within 0 ... max");
        expect(parseCount(std::to_string(*count), 1000) == count, "a count reads back");
    }
    if (const auto size = parseSize(text)) {
        expect(size->width >= 1 && size->width <= maxDimension && size->height >= 1 && size->height <= maxDimension,
               "a size has sides 1 ... maxDimension");
        const auto again = parseSize(std::to_string(size->width) + "x" + std::to_string(size->height));
        expect(again && again->width == size->width && again->height == size->height, "a size reads back");
    }
    if (const auto name = optionName(text)) {
        expect(!name->empty() && name->front() != '-' && text.ends_with(*name) && text.size() - name->size() <= 2,
               "an option name is the argument without its one or two dashes");
    }
}

}  // namespace fuzz
