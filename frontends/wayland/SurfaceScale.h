#pragma once

#include <algorithm>
#include <cstdint>
#include <numeric>

#include "platform/Region.h"

namespace platform {

// How a surface's buffers relate to its size on screen. Wayland sizes
// surfaces in logical units; the pixels of an output with scale 2 are half a
// unit wide. Buffers are made in device pixels so the picture is as sharp as
// the output: at an integer scale the buffer is the logical size times the
// scale (wl_surface.set_buffer_scale); at a fractional scale (in 120ths, as
// wp_fractional_scale_v1 gives it) the buffer is the logical size times the
// scale rounded half away from zero, shown at the logical size through a
// viewport, with buffer scale 1.
struct SurfaceScale {
    int32_t integer = 1;       // buffer scale, >= 1
    uint32_t fraction120 = 0;  // preferred fractional scale in 120ths; 0 when none is used

    bool fractional() const { return fraction120 > 0; }
    int32_t bufferScale() const { return fractional() ? 1 : integer; }
    int32_t device(int32_t logical) const {
        if (!fractional()) return logical * integer;
        return static_cast<int32_t>((static_cast<int64_t>(logical) * fraction120 + 60) / 120);
    }
    bool operator==(const SurfaceScale&) const = default;
};

// Where damage is reported in buffer pixels so that no compositor can round
// it away. Compositors take buffer damage into surface units and back,
// rounding on the way: KWin rounds a rectangle's position and size each on
// its own, at a fractional scale and at a buffer scale alike, so a rectangle
// whose edges fall inside a surface unit can lose a pixel column or row on
// either side, or come back a pixel wider than the buffer at its right or
// bottom edge, and that texture upload is then refused whole (stale pixels
// along the edge). A rectangle whose edges lie where a whole number of
// buffer pixels makes a whole number of surface units comes through any
// rounding unchanged: each rectangle is widened to that grid.
class DamageGrid {
public:
    // A buffer of bufferWidth x bufferHeight pixels shown as logicalWidth x logicalHeight surface units.
    DamageGrid(int32_t bufferWidth, int32_t bufferHeight, int32_t logicalWidth, int32_t logicalHeight)
        : width_(bufferWidth), height_(bufferHeight), stepX_(step(bufferWidth, logicalWidth)),
          stepY_(step(bufferHeight, logicalHeight)) {}

    int32_t stepX() const { return stepX_; }
    int32_t stepY() const { return stepY_; }

    // The smallest rectangle on the grid that holds r, inside the buffer.
    PixelRect cover(PixelRect r) const {
        const int32_t x0 = std::max(r.x, 0) / stepX_ * stepX_, y0 = std::max(r.y, 0) / stepY_ * stepY_;
        const int32_t x1 = std::min(roundUp(r.right(), stepX_), width_);
        const int32_t y1 = std::min(roundUp(r.bottom(), stepY_), height_);
        return {x0, y0, x1 - x0, y1 - y0};
    }

private:
    // Buffer pixels in the smallest whole number of surface units that is a whole number of them.
    static int32_t step(int32_t buffer, int32_t logical) {
        return buffer > 0 && logical > 0 ? buffer / std::gcd(buffer, logical) : 1;
    }
    static int32_t roundUp(int32_t v, int32_t step) { return (v + step - 1) / step * step; }

    int32_t width_, height_, stepX_, stepY_;
};

// Pointer motion of more than this distance (logical units) from where the
// pointer entered a saver surface counts as the user coming back; smaller
// moves are jitter.
inline constexpr double pointerMotionLimit = 8.0;

inline bool movedFar(double x0, double y0, double x, double y) {
    const double dx = x - x0, dy = y - y0;
    return dx * dx + dy * dy > pointerMotionLimit * pointerMotionLimit;
}

}  // namespace platform
