#include "platform/ProcessInfo.h"

#include <sys/random.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace platform {

ProcessInfo ProcessInfo::current() {
    ProcessInfo info;
    std::ifstream comm("/proc/self/comm");
    std::getline(comm, info.processName);
    info.exit = [](int status) { std::exit(status); };
    return info;
}

uint64_t SystemSecureRandom::next64() {
    uint64_t value = 0;
    if (getrandom(&value, sizeof value, 0) == static_cast<ssize_t>(sizeof value)) return value;
    if (FILE* f = std::fopen("/dev/urandom", "rb")) {
        const size_t got = std::fread(&value, 1, sizeof value, f);
        std::fclose(f);
        if (got == sizeof value) return value;
    }
    const auto ticks = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return ticks ^ (reinterpret_cast<uintptr_t>(&value) * 0x9E3779B97F4A7C15ULL);
}

}  // namespace platform
