#pragma once

#include <cstdint>
#include <optional>

#include "platform/ProcessInfo.h"

// The seeds handed to new scenes: the one given on the command line, or fresh
// ones from the system's secure source. Remembers the last one, so it can be
// reported and a run repeated.
class SeedSource final : public platform::SecureRandom {
public:
    explicit SeedSource(std::optional<uint64_t> fixed) : fixed_(fixed) {}

    uint64_t next64() override { return last_ = fixed_ ? *fixed_ : system_.next64(); }
    uint64_t last() const { return last_; }

private:
    std::optional<uint64_t> fixed_;
    platform::SystemSecureRandom system_;
    uint64_t last_ = 0;
};
