// The process services on Windows: the name is the executable's file name
// without ".exe", and the secure random source is the system's preferred one.
#include <windows.h>
// bcrypt.h needs the types windows.h defines.
#include <bcrypt.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/ProcessInfo.h"

namespace platform {

namespace {

// The full path of the running executable, however long.
std::wstring executablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring withoutDirectoryAndExe(std::wstring path) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos) path.erase(0, slash + 1);
    const size_t dot = path.size() >= 4 ? path.size() - 4 : std::wstring::npos;
    if (dot != std::wstring::npos && CompareStringOrdinal(path.c_str() + dot, 4, L".exe", 4, TRUE) == CSTR_EQUAL)
        path.resize(dot);
    return path;
}

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int wide = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, out.data(), size, nullptr, nullptr);
    return out;
}

}  // namespace

ProcessInfo ProcessInfo::current() {
    ProcessInfo info;
    info.processName = utf8(withoutDirectoryAndExe(executablePath()));
    info.exit = [](int status) { std::exit(status); };
    return info;
}

uint64_t SystemSecureRandom::next64() {
    uint64_t value = 0;
    if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof value, BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0)
        return value;
    const auto ticks = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return ticks ^ (reinterpret_cast<uintptr_t>(&value) * 0x9E3779B97F4A7C15ULL);
}

}  // namespace platform
