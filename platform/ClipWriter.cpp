#include "platform/ClipWriter.h"

#include "platform/Mp4ClipWriter.h"
#include "platform/OutputFile.h"
#include "platform/WebpClipWriter.h"

namespace platform {

std::unique_ptr<ClipWriter> openClipWriter(const std::string& path, int width, int height, std::string& error) {
    const auto format = clipFormatOf(path);
    if (!format) {
        error = "cannot write " + path + ": expected a name ending in .webp or .mp4";
        return nullptr;
    }
    auto file = OutputFile::open(path, error);
    if (!file) return nullptr;
    if (*format == ClipFormat::webp) return openWebpClip(std::move(file), width, height, error);
    return openMp4Clip(std::move(file), width, height, error);
}

}  // namespace platform
