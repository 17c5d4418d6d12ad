#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// What the view may ask of its process: its name, and how to end it.
struct ProcessInfo {
    std::string processName;
    std::function<void(int)> exit;  // ends the process with a status

    // The running process: name from /proc/self/comm (on Windows the
    // executable's name without ".exe"), exit via std::exit.
    static ProcessInfo current();
};

// 8 bytes from the operating system's secure random source.
class SecureRandom {
public:
    virtual ~SecureRandom() = default;
    virtual uint64_t next64() = 0;
};

// getrandom(2) (BCryptGenRandom on Windows); falls back to /dev/urandom,
// then to the clock and address bits, so a seed is always produced.
class SystemSecureRandom final : public SecureRandom {
public:
    uint64_t next64() override;
};

}  // namespace platform
