#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// A screen's pixels, RGBX (0xXXBBGGRR), row 0 at the top, one pixel per point.
struct Framebuffer {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> px;

    Framebuffer() = default;
    Framebuffer(int w, int h) : width(w), height(h), px(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0xFF000000u) {}

    void resize(int w, int h) {
        width = w;
        height = h;
        px.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0xFF000000u);
    }
    uint32_t at(int x, int y) const { return px[static_cast<std::size_t>(y) * width + x]; }
};

}  // namespace platform
