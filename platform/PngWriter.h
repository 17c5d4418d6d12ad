#pragma once

#include <cstdint>

#include "platform/OutputFile.h"

namespace platform {

// Writes RGBX pixels (0xXXBBGGRR, row 0 at the top) as an 8-bit RGB PNG into
// out, which the caller then commits. On failure returns false and out's
// error() tells why; libpng itself prints nothing.
bool writePng(OutputFile& out, const uint32_t* pixels, int width, int height);

}  // namespace platform
