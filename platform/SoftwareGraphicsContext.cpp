#include "platform/SoftwareGraphicsContext.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/TargetClones.h"

namespace platform {

namespace {

inline uint32_t quantise(double weight) {
    return static_cast<uint32_t>(std::lround(std::clamp(weight, 0.0, 1.0) * 256.0));
}

// Blends a run of RGBX pixels toward grey g (0 ... 255) by k/256, rounding to
// nearest; the X byte is kept. Red and blue, then green, are blended in
// 16-bit lanes of one 32-bit word. Built for AVX2 too, picked at load time.
QUILLMOOR_TARGET_CLONES
void blendRun(uint32_t* pixels, size_t count, uint32_t g, uint32_t k) {
    const uint32_t keep = 256 - k;
    const uint32_t add = g * k + 128;
    const uint32_t addRB = add << 16 | add;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = pixels[i];
        const uint32_t rb = (((p & 0x00FF00FFu) * keep + addRB) >> 8) & 0x00FF00FFu;
        const uint32_t gg = (((p >> 8) & 0xFFu) * keep + add) & 0x0000FF00u;
        pixels[i] = rb | gg | (p & 0xFF000000u);
    }
}

void fillRun(uint32_t* pixels, size_t count, uint32_t g, uint32_t k) {
    if (k == 0) return;
    if (k == 256) {
        std::fill(pixels, pixels + count, 0xFF000000u | g << 16 | g << 8 | g);
        return;
    }
    blendRun(pixels, count, g, k);
}

// Writes image pixels scaled by s into dst for the scaled columns [from, to)
// (relative to the image's left edge at framebuffer column left).
// Image pixels as the framebuffer stores them.
template <bool Swap>
inline uint32_t stored(uint32_t p) {
    return Swap ? swapRedBlue(p) : p;
}

template <bool Swap>
QUILLMOOR_TARGET_CLONES
void expandRow(const uint32_t* __restrict src, uint32_t* __restrict dst, long from, long to, int s, long left) {
    uint32_t* __restrict out = dst + left;
    long c = from;
    // The partial block at the start, then whole blocks, then the partial block at the end.
    for (; c < to && c % s != 0; ++c) out[c] = stored<Swap>(src[c / s]);
    const long firstWhole = c / s, endWhole = to / s;
    if (s == 2) {
        for (long i = firstWhole; i < endWhole; ++i) {
            const uint32_t v = stored<Swap>(src[i]);
            out[2 * i] = v;
            out[2 * i + 1] = v;
        }
    } else {
        for (long i = firstWhole; i < endWhole; ++i) {
            const uint32_t v = stored<Swap>(src[i]);
            for (int k = 0; k < s; ++k) out[i * s + k] = v;
        }
    }
    for (c = std::max(c, endWhole * s); c < to; ++c) out[c] = stored<Swap>(src[c / s]);
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
    flush();
    // An opaque fill of whole pixels is held back: an opaque image drawn over
    // all of it next makes writing it unnecessary.
    if (alpha == 1.0 && c0 == fx0 && c1 == fx1 && r0 == fy0 && r1 == fy1) {
        pendingFill_ = PendingFill{c0, r0, c1, r1, 0xFF000000u | g << 16 | g << 8 | g};
        return;
    }
    // Whole columns share one weight per row; only the two end columns can differ.
    const int full0 = std::min(c1, static_cast<int>(std::ceil(fx0))), full1 = std::max(full0, static_cast<int>(std::floor(fx1)));
    const double coverLeft = std::min<double>(c0 + 1, fx1) - fx0, coverRight = fx1 - std::max<double>(c1 - 1, fx0);
    for (int r = r0; r < r1; ++r) {
        const double coverY = std::min<double>(r + 1, fy1) - std::max<double>(r, fy0);
        uint32_t* row = fb_.row(r);
        if (c0 < full0) fillRun(row + c0, 1, g, quantise(alpha * coverLeft * coverY));
        fillRun(row + full0, static_cast<size_t>(full1 - full0), g, quantise(alpha * coverY));
        if (full1 < c1 && !(c1 - 1 == c0 && c0 < full0)) fillRun(row + c1 - 1, 1, g, quantise(alpha * coverRight * coverY));
    }
}

void SoftwareGraphicsContext::flush() {
    if (!pendingFill_) return;
    const PendingFill f = *pendingFill_;
    pendingFill_.reset();
    for (int r = f.r0; r < f.r1; ++r) {
        uint32_t* row = fb_.row(r);
        std::fill(row + f.c0, row + f.c1, f.colour);
    }
}

void drawImageReference(PixelView fb, const Image& image, Rect rect) {
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
            const uint32_t p = image.pixel(ix, iy);
            fb.row(r)[c] = fb.order == ChannelOrder::bgrx ? swapRedBlue(p) : p;
        }
    }
}

void SoftwareGraphicsContext::drawImage(const Image& image, Rect rect) {
    const double sx = rect.width / image.width(), sy = rect.height / image.height();
    const bool whole = sx == sy && sx >= 1 && sx == std::floor(sx) && rect.x == std::floor(rect.x) &&
                       rect.y == std::floor(rect.y) && std::abs(rect.x) < 1e9 && std::abs(rect.y) < 1e9;
    if (!whole) {
        flush();
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
    const long rows0 = std::max(0L, top), rows1 = std::min<long>(fb_.height, top + static_cast<long>(image.height()) * s);
    const bool coversFill = pendingFill_ && c0 <= pendingFill_->c0 && pendingFill_->c1 <= c1 && rows0 <= pendingFill_->r0 &&
                            pendingFill_->r1 <= rows1;
    if (coversFill) pendingFill_.reset();
    flush();
    if (c0 >= c1) return;
    for (int iy = 0; iy < image.height(); ++iy) {
        const long blockTop = top + static_cast<long>(iy) * s;
        const long r0 = std::max(0L, blockTop), r1 = std::min<long>(fb_.height, blockTop + s);
        if (r0 >= r1) continue;
        uint32_t* first = fb_.row(static_cast<int>(r0));
        const auto* src = reinterpret_cast<const uint32_t*>(image.row(iy));
        if (fb_.order == ChannelOrder::bgrx)
            expandRow<true>(src, first, c0 - left, c1 - left, s, left);
        else
            expandRow<false>(src, first, c0 - left, c1 - left, s, left);
        for (long r = r0 + 1; r < r1; ++r)
            std::memcpy(fb_.row(r) + c0, first + c0, static_cast<size_t>(c1 - c0) * 4);
    }
}

}  // namespace platform
