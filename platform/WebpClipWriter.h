#pragma once

#include <memory>
#include <string>

#include "platform/ClipWriter.h"
#include "platform/OutputFile.h"

namespace platform {

// An animated WebP: lossless, looping, at the frames' own size.
std::unique_ptr<ClipWriter> openWebpClip(std::unique_ptr<OutputFile> file, int width, int height, std::string& error);

}  // namespace platform
