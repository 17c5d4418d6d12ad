#pragma once

#include <cstdint>

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

// Pointer motion of more than this distance (logical units) from where the
// pointer entered a saver surface counts as the user coming back; smaller
// moves are jitter.
inline constexpr double pointerMotionLimit = 8.0;

inline bool movedFar(double x0, double y0, double x, double y) {
    const double dx = x - x0, dy = y - y0;
    return dx * dx + dy * dy > pointerMotionLimit * pointerMotionLimit;
}

}  // namespace platform
