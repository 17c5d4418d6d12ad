#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillmoor {

// A one-bit bitmap swept by shapes given in figure units: x grows right from
// the left edge, y grows up from the bottom edge (the figure's ground line).
// Each cell is tested at its centre; shapes only ever set cells.
struct Sprite {
    int width = 1;
    int height = 1;
    std::vector<uint8_t> bits;  // width * height cells, row 0 at the top
    double scale = 1.0;         // pixels per figure unit

    Sprite(double unitsWide, double unitsHigh, double scale);

    bool at(int column, int row) const { return bits[static_cast<std::size_t>(row) * width + column] != 0; }

    void ellipse(double cx, double cy, double rx, double ry);
    void limb(double x0, double y0, double x1, double y1, double thickness);
    void leg(double hipX, double hipY, double theta, double stride, double lift, double thickness);
};

}  // namespace quillmoor
