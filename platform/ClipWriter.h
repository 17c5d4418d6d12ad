#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class ClipFormat { webp, mp4 };

// Frames per second of every clip: the saver's own frame rate.
inline constexpr int clipFramesPerSecond = 30;

// The format a file name asks for by its extension (case ignored).
inline std::optional<ClipFormat> clipFormatOf(std::string_view path) {
    const auto endsWith = [&](std::string_view ext) {
        if (path.size() <= ext.size()) return false;
        for (std::size_t i = 0; i < ext.size(); ++i) {
            const char c = path[path.size() - ext.size() + i];
            if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != ext[i]) return false;
        }
        return true;
    };
    if (endsWith(".webp")) return ClipFormat::webp;
    if (endsWith(".mp4")) return ClipFormat::mp4;
    return std::nullopt;
}

// A video clip being written: frames go in one at a time, each width x height
// RGBX pixels (0xXXBBGGRR, row 0 at the top) of the size it was opened for.
// The file appears only when finish() succeeds; a writer destroyed before
// that leaves nothing behind.
class ClipWriter {
public:
    virtual ~ClipWriter() = default;
    virtual bool addFrame(const uint32_t* pixels) = 0;
    virtual bool finish() = 0;
    // One line: "cannot write PATH: reason".
    virtual std::string error() const = 0;
};

// Opens a clip in the format its name asks for. On failure returns nothing
// and sets error to one line.
std::unique_ptr<ClipWriter> openClipWriter(const std::string& path, int width, int height, std::string& error);

}  // namespace platform
