#pragma once

#include <memory>
#include <string>

#include "platform/ClipWriter.h"
#include "platform/OutputFile.h"

namespace platform {

// The whole-number factor an MP4 clip scales frames of `rows` rows by: the
// smallest even one, at least 2, that reaches 1080 rows. Every source pixel
// then covers whole 2 x 2 chroma blocks, so 4:2:0 subsampling never mixes two
// of them and even a single pixel keeps a chroma sample of its own, which
// players' smoothing of chroma cannot wash out entirely.
int mp4Scale(int rows);

// An H.264 MP4 (libx264, yuv420p, CRF 18, moov first), frames scaled up by
// mp4Scale nearest-neighbour.
std::unique_ptr<ClipWriter> openMp4Clip(std::unique_ptr<OutputFile> file, int width, int height, std::string& error);

}  // namespace platform
