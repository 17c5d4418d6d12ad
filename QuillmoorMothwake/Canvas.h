#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Image.h"

namespace quillmoor {

// Colours are 0xXXBBGGRR: in memory red, green, blue, then an ignored byte.
inline constexpr uint32_t opaqueBlack = 0xFF000000u;

// The off-screen picture a scene draws into; row 0 is the top row.
class Canvas {
public:
    Canvas(int width, int height);

    const int width;
    const int height;
    std::vector<uint32_t> px;

    // An immutable copy of the current pixels, or nothing when it cannot be made.
    std::optional<platform::Image> makeImage() const;

    // Marked drawing. A painter that marks every pixel it writes lets the
    // next image compare only the marked tiles with the last image, instead
    // of every pixel. The marks gather from beginMarkedDrawing to the next
    // image; without a marked drawing an image compares everything.
    static constexpr int tileShiftX = 4;  // tiles of 16 x 8 pixels
    static constexpr int tileShiftY = 3;
    static constexpr int tileWidth = 1 << tileShiftX;
    static constexpr int tileHeight = 1 << tileShiftY;
    const int tilesAcross;
    const int tilesDown;

    // Starts (or continues) a marked drawing by painter. True when painter
    // made the last marked drawing in this canvas: then the pixels still hold
    // what it drew, as long as nobody wrote them without marking since.
    bool beginMarkedDrawing(const void* painter);
    void mark(int x, int y) {
        if (static_cast<unsigned>(x) < static_cast<unsigned>(width) && static_cast<unsigned>(y) < static_cast<unsigned>(height))
            marks_[static_cast<std::size_t>(y >> tileShiftY) * static_cast<std::size_t>(tilesAcross) + static_cast<std::size_t>(x >> tileShiftX)] = 1;
    }
    // Marks every tile that pixels x0 .. x1 - 1 of rows y0 .. y1 - 1 touch (clipped).
    void markRect(int x0, int y0, int x1, int y1);
    void markTile(std::size_t tile) { marks_[tile] = 1; }
    void markAll();
    // Per tile, row-major: nonzero where marked since the last image.
    const std::vector<uint8_t>& marks() const { return marks_; }

private:
    // Where the next image is written: over the last one's block (nobody
    // holds that image), over the block before it (it holds the image before
    // last, so only what changed since then is copied), or whole.
    enum class Write { inPlace, catchUp, whole };
    Write chooseBlock(std::size_t& slot) const;
    platform::ImageChanges& freshRecord() const;
    void writeRow(Write write, std::size_t slot, int y, const platform::ImageChanges* before, const platform::ImageChanges& now) const;

    // The blocks the last two images were written into, and the serial of the
    // image each holds. A block is written only while no image refers to it,
    // so steady presentation does not allocate a fresh block every frame,
    // even while the presenter keeps the previous frame's image to compare
    // the next one with.
    mutable std::array<std::shared_ptr<std::vector<uint8_t>>, 2> imageBytes_;
    mutable std::array<uint64_t, 2> blockSerial_{};
    mutable std::size_t lastBlock_ = 0;
    mutable uint64_t serial_ = 0;
    // Change records for the images, reused once no image carries them; the
    // last one also says what the block before last is missing.
    mutable std::array<std::shared_ptr<platform::ImageChanges>, 3> records_;
    mutable std::size_t lastRecord_ = 0;
    mutable std::vector<uint8_t> chunkFlags_;

    void endMarkedDrawing() const;
    void findRowChanges(const uint32_t* base, int y, platform::ImageChanges& now) const;
    mutable std::vector<uint8_t> marks_;
    mutable bool marked_ = false;
    mutable std::vector<platform::ImageChanges::Span> markedRuns_;  // of the current row of tiles
    const void* painter_ = nullptr;
};

// The 4 x 4 ordered-dither thresholds, row-major by (y mod 4, x mod 4).
const std::array<float, 16>& bayer4();

// The dither threshold of a pixel; the low two bits of each coordinate index
// the table, so negative coordinates wrap like positive ones.
inline float threshold(int x, int y) {
    return bayer4()[static_cast<std::size_t>(((y & 3) << 2) | (x & 3))];
}

}  // namespace quillmoor
