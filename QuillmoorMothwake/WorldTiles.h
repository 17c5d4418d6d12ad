#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "QuillmoorMothwake/Canvas.h"

namespace quillmoor {

// A scene draws its world into a canvas and then draws things over it. When
// the canvas still holds what the scene drew last time, only the tiles where
// the world changed since, or where something was drawn over the world last
// time, need the world again: this keeps track of those tiles (on the
// canvas's tile grid) for one scene. Every pixel write to the visible part of
// the world is reported with wrote(), a wholesale change with moved().
class WorldTiles {
public:
    WorldTiles(int width, int height);

    void wrote(int x, int y) {
        if (static_cast<unsigned>(x) < static_cast<unsigned>(width_) && static_cast<unsigned>(y) < static_cast<unsigned>(height_))
            changed_[tileOf(x, y)] = 1;
    }
    void moved() { moved_ = true; }

    // Starts a marked drawing by painter and brings the world, rows of
    // worldStride pixels, into the canvas: whole when the canvas is not the
    // one drawn last (or not of the world's size) or the world moved, else
    // only the tiles that need it, and those in alsoCopy (if given: what a
    // painter drew last time without marking and now draws differently).
    // True when it was whole. The canvas is then drawn over, marking.
    bool copyWorld(Canvas& canvas, const void* painter, const uint32_t* world, std::size_t worldStride,
                   const std::vector<uint8_t>* alsoCopy = nullptr);
    // After the drawing: notes what was drawn over, and marks the copied tiles.
    void finishDrawing(Canvas& canvas);

    // The tiles the last copyWorld copied, unless it copied everything.
    const std::vector<uint32_t>& copiedTiles() const { return copied_; }

    // The size of a per-tile mask such as alsoCopy, and the tile of a pixel.
    std::size_t tileCount() const { return changed_.size(); }
    std::size_t tileOf(int x, int y) const {
        return static_cast<std::size_t>(y >> Canvas::tileShiftY) * static_cast<std::size_t>(tilesAcross_) + static_cast<std::size_t>(x >> Canvas::tileShiftX);
    }

private:
    int width_, height_, tilesAcross_;
    std::vector<uint8_t> changed_;
    std::vector<uint8_t> drawnOver_;
    std::vector<uint32_t> copied_;
    bool moved_ = true;
    bool whole_ = false;  // the last copy
    const Canvas* drawnInto_ = nullptr;
};

}  // namespace quillmoor
