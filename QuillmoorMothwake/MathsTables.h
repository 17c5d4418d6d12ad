#pragma once

#include <array>
#include <cstdint>

namespace quillmoor::maths {

struct LogEntry {
    double invc;
    double logc;
    double logctail;
};

extern const std::array<LogEntry, 128> logTable;
extern const std::array<uint64_t, 256> expTable;

}  // namespace quillmoor::maths
