#include "platform/PngWriter.h"

// Built instead of the libpng writer where libpng is not at hand (the
// WebAssembly build): every request for a PNG is refused up front, before any
// file is created.
namespace platform {

namespace {

constexpr const char* unavailable = "PNG output is not available in this build";

}  // namespace

bool writePng(const std::string&, const uint32_t*, int, int, std::string& error) {
    error = unavailable;
    return false;
}

bool canCreateFile(const std::string&, std::string& error) {
    error = unavailable;
    return false;
}

}  // namespace platform
