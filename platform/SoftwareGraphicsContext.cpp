#include "platform/SoftwareGraphicsContext.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform {

namespace {

// Blends one RGBX pixel toward grey g (0 ... 255) by k/256. Red and blue, then
// green and the X byte, are blended two at a time in 16-bit lanes; the X byte
// is blended toward 255, so an opaque pixel stays opaque.
inline uint32_t blend(uint32_t p, uint32_t g, uint32_t k) {
    const uint32_t keep = 256 - k;
    const uint32_t addRB = ((g * k + 128) << 16) | (g * k + 128);
    const uint32_t addGX = ((255 * k + 128) << 16) | (g * k + 128);
    const uint32_t rb = (((p & 0x00FF00FFu) * keep + addRB) >> 8) & 0x00FF00FFu;
    const uint32_t gx = (((p >> 8) & 0x00FF00FFu) * keep + addGX) & 0xFF00FF00u;
    return rb | gx;
}

inline uint32_t quantise(double weight) {
    return static_cast<uint32_t>(std::lround(std::clamp(weight, 0.0, 1.0) * 256.0));
}

}  // namespace

void SoftwareGraphicsContext::fillRect(Rect rect) {
    if (fb_.width <= 0 || fb_.height <= 0 || !(rect.width > 0) || !(rect.height > 0)) return;
    const double H = fb_.height;
    // Framebuffer space: x to the right, y downwards from the top row.
    const double fx0 = std::max(0.0, rect.x), fx1 = std::min<double>(fb_.width, rect.x + rect.width);
    const double fy0 = std::max(0.0, H - (rect.y + rect.height)), fy1 = std::min(H, H - rect.y);
    if (!(fx0 < fx1) || !(fy0 < fy1)) return;
    const uint32_t g = static_cast<uint32_t>(std::lround(std::clamp(fill_.white, 0.0, 1.0) * 255.0));
    const double alpha = std::clamp(fill_.alpha, 0.0, 1.0);

    const int c0 = static_cast<int>(std::floor(fx0)), c1 = static_cast<int>(std::ceil(fx1));
    const int r0 = static_cast<int>(std::floor(fy0)), r1 = static_cast<int>(std::ceil(fy1));
    for (int r = r0; r < r1; ++r) {
        const double coverY = std::min<double>(r + 1, fy1) - std::max<double>(r, fy0);
        uint32_t* row = fb_.px.data() + static_cast<size_t>(r) * fb_.width;
        // Whole columns share one weight; only the two end columns can differ.
        const int full0 = static_cast<int>(std::ceil(fx0)), full1 = static_cast<int>(std::floor(fx1));
        const uint32_t kFull = quantise(alpha * coverY);
        const auto put = [&](int c, uint32_t k) {
            if (k == 256 && g == 0) {
                row[c] = 0xFF000000u;
            } else if (k != 0) {
                row[c] = blend(row[c], g, k);
            }
        };
        const auto edge = [&](int c) {
            const double coverX = std::min<double>(c + 1, fx1) - std::max<double>(c, fx0);
            put(c, quantise(alpha * coverX * coverY));
        };
        const int mid0 = std::clamp(full0, c0, c1), mid1 = std::clamp(full1, mid0, c1);
        for (int c = c0; c < mid0; ++c) edge(c);
        // The whole columns share one weight: a plain fill when opaque black,
        // else one blend in a loop the compiler can vectorise.
        if (kFull == 256 && g == 0) {
            std::fill(row + mid0, row + mid1, 0xFF000000u);
        } else if (kFull != 0) {
            for (int c = mid0; c < mid1; ++c) row[c] = blend(row[c], g, kFull);
        }
        for (int c = mid1; c < c1; ++c) edge(c);
    }
}

void drawImageReference(Framebuffer& fb, const Image& image, Rect rect) {
    if (!(rect.width > 0) || !(rect.height > 0)) return;
    const double H = fb.height;
    for (int r = 0; r < fb.height; ++r) {
        const double cy = H - r - 0.5;
        if (cy < rect.y || cy >= rect.y + rect.height) continue;
        const int iy = std::min(image.height() - 1, static_cast<int>(std::floor((rect.y + rect.height - cy) / rect.height * image.height())));
        for (int c = 0; c < fb.width; ++c) {
            const double cx = c + 0.5;
            if (cx < rect.x || cx >= rect.x + rect.width) continue;
            const int ix = std::min(image.width() - 1, static_cast<int>(std::floor((cx - rect.x) / rect.width * image.width())));
            fb.px[static_cast<size_t>(r) * fb.width + c] = image.pixel(ix, iy);
        }
    }
}

void SoftwareGraphicsContext::drawImage(const Image& image, Rect rect) {
    const double sx = rect.width / image.width(), sy = rect.height / image.height();
    const bool whole = sx == sy && sx >= 1 && sx == std::floor(sx) && rect.x == std::floor(rect.x) &&
                       rect.y == std::floor(rect.y) && std::abs(rect.x) < 1e9 && std::abs(rect.y) < 1e9;
    if (!whole) {
        drawImageReference(fb_, image, rect);
        return;
    }
    // Whole-number scale at a whole-point origin: each image pixel becomes an
    // s x s block. Expand one image row into the first framebuffer row of its
    // block, then copy that row down the block.
    const int s = static_cast<int>(sx);
    const long left = static_cast<long>(rect.x);
    const long top = static_cast<long>(fb_.height - (rect.y + rect.height));  // framebuffer row of image row 0
    const long c0 = std::max(0L, left), c1 = std::min<long>(fb_.width, left + static_cast<long>(image.width()) * s);
    if (c0 >= c1) return;
    for (int iy = 0; iy < image.height(); ++iy) {
        const long blockTop = top + static_cast<long>(iy) * s;
        const long r0 = std::max(0L, blockTop), r1 = std::min<long>(fb_.height, blockTop + s);
        if (r0 >= r1) continue;
        uint32_t* first = fb_.px.data() + static_cast<size_t>(r0) * fb_.width;
        const uint8_t* src = image.row(iy);
        long c = c0;
        long ix = (c0 - left) / s;
        long run = s - (c0 - left) % s;  // columns left in the current block
        while (c < c1) {
            uint32_t value;
            std::memcpy(&value, src + ix * 4, 4);
            const long end = std::min(c1, c + run);
            for (; c < end; ++c) first[c] = value;
            ++ix;
            run = s;
        }
        for (long r = r0 + 1; r < r1; ++r)
            std::memcpy(fb_.px.data() + static_cast<size_t>(r) * fb_.width + c0, first + c0, static_cast<size_t>(c1 - c0) * 4);
    }
}

}  // namespace platform
