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
            changed_[static_cast<std::size_t>(y >> Canvas::tileShiftY) * static_cast<std::size_t>(tilesAcross_) +
                     static_cast<std::size_t>(x >> Canvas::tileShiftX)] = 1;
    }
    void moved() { moved_ = true; }

    // Starts a marked drawing by painter and brings the world, rows of
    // worldStride pixels, into the canvas: whole when the canvas is not the
    // one drawn last (or not of the world's size) or the world moved, else
    // only the tiles that need it. The canvas is then drawn over, marking.
    void copyWorld(Canvas& canvas, const void* painter, const uint32_t* world, std::size_t worldStride);
    // After the drawing: notes what was drawn over, and marks the copied tiles.
    void finishDrawing(Canvas& canvas);

private:
    int width_, height_, tilesAcross_;
    std::vector<uint8_t> changed_;
    std::vector<uint8_t> drawnOver_;
    std::vector<uint32_t> copied_;
    bool moved_ = true;
    const Canvas* drawnInto_ = nullptr;
};

}  // namespace quillmoor
