#include "QuillmoorMothwake/WorldTiles.h"

#include <algorithm>
#include <cstring>

namespace quillmoor {

WorldTiles::WorldTiles(int width, int height)
    : width_(std::max(1, width)), height_(std::max(1, height)), tilesAcross_((width_ + Canvas::tileWidth - 1) >> Canvas::tileShiftX) {
    const std::size_t tiles = static_cast<std::size_t>(tilesAcross_) * static_cast<std::size_t>((height_ + Canvas::tileHeight - 1) >> Canvas::tileShiftY);
    changed_.assign(tiles, 0);
    drawnOver_.assign(tiles, 0);
    copied_.reserve(tiles);
}

bool WorldTiles::copyWorld(Canvas& canvas, const void* painter, const uint32_t* world, std::size_t worldStride,
                           const std::vector<uint8_t>* alsoCopy) {
    const bool same = canvas.beginMarkedDrawing(painter) && drawnInto_ == &canvas && canvas.width == width_ && canvas.height == height_;
    drawnInto_ = &canvas;
    copied_.clear();
    const int cw = std::min(width_, canvas.width);
    const int ch = std::min(height_, canvas.height);
    const auto stride = static_cast<std::size_t>(canvas.width);
    const auto copyRows = [&](int x0, int x1, int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            std::memcpy(canvas.px.data() + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x0),
                        world + static_cast<std::size_t>(y) * worldStride + static_cast<std::size_t>(x0), static_cast<std::size_t>(x1 - x0) * sizeof(uint32_t));
    };
    whole_ = !same || moved_ || (alsoCopy && alsoCopy->size() != changed_.size());
    if (whole_) {
        copyRows(0, cw, 0, ch);
    } else {
        for (std::size_t t = 0; t < changed_.size(); ++t) {
            if (!changed_[t] && !drawnOver_[t] && !(alsoCopy && (*alsoCopy)[t])) continue;
            copied_.push_back(static_cast<uint32_t>(t));
            const int x0 = static_cast<int>(t % static_cast<std::size_t>(tilesAcross_)) << Canvas::tileShiftX;
            const int y0 = static_cast<int>(t / static_cast<std::size_t>(tilesAcross_)) << Canvas::tileShiftY;
            copyRows(x0, std::min(x0 + Canvas::tileWidth, cw), y0, std::min(y0 + Canvas::tileHeight, ch));
        }
    }
    moved_ = false;
    std::fill(changed_.begin(), changed_.end(), uint8_t{0});
    return whole_;
}

void WorldTiles::finishDrawing(Canvas& canvas) {
    // Only a canvas of the world's size is drawn into tile by tile, so its
    // marks line up with ours; any other is copied whole every time.
    if (canvas.width == width_ && canvas.height == height_) std::copy(canvas.marks().begin(), canvas.marks().end(), drawnOver_.begin());
    if (whole_) canvas.markAll();
    for (const uint32_t t : copied_) canvas.markTile(t);
}

}  // namespace quillmoor
