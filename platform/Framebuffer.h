#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// How a framebuffer stores a pixel: red in the low byte (0xXXBBGGRR, the
// canvas's own order) or blue in the low byte (0xXXRRGGBB, what most X
// servers use), so a front end can hand its frames over without converting.
enum class ChannelOrder { rgbx, bgrx };

// Swaps red and blue, turning one order into the other.
inline uint32_t swapRedBlue(uint32_t p) { return (p & 0xFF00FF00u) | (p & 0xFFu) << 16 | ((p >> 16) & 0xFFu); }

// Pixels that someone else owns: `height` rows of `width` pixels one after
// another, row 0 at the top. Drawing goes through views, so a front end can
// render straight into memory it shares with the display server.
struct PixelView {
    uint32_t* px = nullptr;
    int width = 0;
    int height = 0;
    ChannelOrder order = ChannelOrder::rgbx;

    uint32_t* row(int y) const { return px + static_cast<std::size_t>(y) * width; }
};

// A screen's pixels, row 0 at the top, one pixel per point.
struct Framebuffer {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> px;
    ChannelOrder order = ChannelOrder::rgbx;

    Framebuffer() = default;
    Framebuffer(int w, int h, ChannelOrder o = ChannelOrder::rgbx)
        : width(w), height(h), px(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0xFF000000u), order(o) {}

    void resize(int w, int h) {
        width = w;
        height = h;
        px.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0xFF000000u);
    }
    uint32_t at(int x, int y) const { return px[static_cast<std::size_t>(y) * width + x]; }
    operator PixelView() { return {px.data(), width, height, order}; }  // NOLINT: a framebuffer is a view of itself
};

}  // namespace platform
