#include "platform/OutputFile.h"
#include "platform/PngWriter.h"

// Built instead of the libpng writer and the file machinery where neither is
// at hand (the WebAssembly build): every request for a PNG is refused up
// front, before any file is created.
namespace platform {

namespace {

constexpr const char* unavailable = "PNG output is not available in this build";

}  // namespace

std::unique_ptr<OutputFile> OutputFile::open(const std::string&, std::string& error, Temporary) {
    error = unavailable;
    return nullptr;
}

OutputFile::~OutputFile() = default;

bool OutputFile::commit() { return false; }

std::optional<OutputTarget> outputTarget(const std::string&) { return std::nullopt; }

bool writePng(OutputFile&, const uint32_t*, int, int) { return false; }

}  // namespace platform
