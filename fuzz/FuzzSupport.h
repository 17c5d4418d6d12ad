#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// Shared by the fuzz targets: reading the input and failing loudly.
namespace fuzz {

inline std::string_view asText(const uint8_t* data, size_t size) { return {reinterpret_cast<const char*>(data), size}; }

// A broken property is a finding: abort so that libFuzzer keeps the input.
inline void expect(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

// One argument per line; a newline at the very end only ends the last line,
// as in a text file. A command line cannot carry a NUL byte, so each argument
// ends at its first one, as it would in argv.
inline std::vector<std::string> splitArguments(std::string_view text) {
    std::vector<std::string> arguments;
    if (text.ends_with('\n')) text.remove_suffix(1);
    if (text.empty()) return arguments;
    size_t start = 0;
    while (true) {
        const size_t end = text.find('\n', start);
        const std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        arguments.emplace_back(line.substr(0, line.find('\0')));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return arguments;
}

// Error messages go to stderr as one line.
inline bool isOneLine(const std::string& message) { return !message.empty() && message.find('\n') == std::string::npos; }

}  // namespace fuzz
