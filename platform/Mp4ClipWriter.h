#pragma once

#include <memory>
#include <string>

#include "platform/ClipWriter.h"
#include "platform/OutputFile.h"

namespace platform {

// The whole-number factor an MP4 clip scales frames of `rows` rows by: the
// smallest that reaches 1080 rows, made even when it scales at all, so that
// every source pixel covers whole 2 x 2 chroma blocks and 4:2:0 subsampling
// never mixes two of them.
int mp4Scale(int rows);

// An H.264 MP4 (libx264, yuv420p, CRF 18, moov first), frames scaled up by
// mp4Scale nearest-neighbour.
std::unique_ptr<ClipWriter> openMp4Clip(std::unique_ptr<OutputFile> file, int width, int height, std::string& error);

}  // namespace platform
