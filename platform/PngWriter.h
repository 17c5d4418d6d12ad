#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Writes RGBX pixels (0xXXBBGGRR, row 0 at the top) as an 8-bit RGB PNG.
// The file appears whole or not at all: the image goes to a temporary file
// in the same directory, which is renamed over the target when complete.
// On failure returns false with a one-line reason in error.
bool writePng(const std::string& path, const uint32_t* pixels, int width, int height, std::string& error);

// Checks that a file can be created at path, without leaving anything there.
bool canCreateFile(const std::string& path, std::string& error);

}  // namespace platform
