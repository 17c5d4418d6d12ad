#include <algorithm>
#include <cmath>
#include <limits>

#include "QuillmoorMothwake/QuillmoorScene.h"

namespace quillmoor {

QuillmoorScene::BlockOrigin QuillmoorScene::drawBlockOrigin() {
    const int c = blockSize;
    const int bx = static_cast<int>(rng.integer(-c, ww - 1));
    const int by = static_cast<int>(rng.integer(treeTop - c, h - 1));
    return {bx, by};
}

void QuillmoorScene::prefetchBlock(BlockOrigin b) const {
    const int x0 = std::max(0, b.x);
    if (x0 >= ww) return;
    for (int y = std::max(0, b.y); y < std::min(b.y + blockSize, h); ++y) {
        const std::size_t p = at(x0, y);
        __builtin_prefetch(&painted[p]);
        __builtin_prefetch(&owner[p]);
    }
}

// Paints the silhouettes of the claimed, unpainted pixels in one square block.
void QuillmoorScene::paintBlock(BlockOrigin b) {
    const int c = blockSize;
    const int bx = b.x, by = b.y;
    const int x0 = std::max(0, bx);
    const int x1 = std::min(bx + c, ww);
    for (int y = std::max(0, by); y < std::min(by + c, h); ++y) {
        const std::size_t row = at(0, y);
        for (int x = x0; x < x1; ++x) {
            const std::size_t p = row + static_cast<std::size_t>(x);
            if (painted[p] || owner[p] < 0) continue;
            painted[p] = 1;
            buf[p] = silhouette(p);
            worldWrote(x, y);
        }
    }
}

// Starts fetching the pixel that the k-th next needle event will look at,
// as long as no event before it makes more than its two position draws
// (a wrong guess costs only a useless fetch).
void QuillmoorScene::prefetchNeedle(uint64_t k) const {
    if (ww < 2 || h - 1 <= treeTop) return;
    const auto x = static_cast<int>(rng.peek(2 * k - 1) % static_cast<uint64_t>(ww));
    const auto y = treeTop + static_cast<int>(rng.peek(2 * k) % static_cast<uint64_t>(h - treeTop));
    const std::size_t p = at(x, y);
    __builtin_prefetch(&stick[p]);
    __builtin_prefetch(&owner[p]);
}

// Colours one needle of a painted tree, or one ground speckle, tinted warm
// with a chance that grows toward the nearest fire.
void QuillmoorScene::paintNeedle() {
    const int x = static_cast<int>(rng.integer(ww));
    const int y = static_cast<int>(rng.integer(treeTop, h - 1));
    if (y < 0 || y >= h) return;
    const std::size_t p = at(x, y);
    if (!stick[p]) return;
    uint32_t c = grass;
    if (owner[p] >= 0) {
        if (!painted[p]) return;
        c = trees[static_cast<std::size_t>(owner[p])].color;
    }

    // The nearest fire, measured to its column on the ground row; the
    // smallest square root is the root of the smallest square.
    double nearest = std::numeric_limits<double>::infinity();
    for (const Camp& camp : camps) {
        const double dx = static_cast<double>(x - camp.fireX);
        const double dy = static_cast<double>(y - groundY);
        nearest = std::min(nearest, dx * dx + dy * dy);
    }
    const double d = std::sqrt(nearest);
    const double warmth = 1 - d / (s * 260);
    if (warmth > 0 && warmth * 1.2 > rng.unit()) {
        c = warmDim;
        if (warmth > 0.55) c = rng.unit() < 0.6 ? warmBright : warmDim;
    }
    if (buf[p] == c) return;
    buf[p] = c;
    worldWrote(x, y);
}

// Washes a small round patch back to its resting colours: silhouette where painted, else the background.
void QuillmoorScene::rain() {
    const double k = static_cast<double>(h) / 480;
    const int n = std::max(1, static_cast<int>(static_cast<double>(rng.integer(2, 15)) * k));
    const int x0 = static_cast<int>(rng.integer(-n, ww));
    const int y0 = static_cast<int>(rng.integer(-n, h));
    const double cc = (n - 1) * 0.5;
    const double r2 = n * n * 0.25;
    for (int dy = 0; dy < n; ++dy) {
        const int y = y0 + dy;
        if (y < 0 || y >= h) continue;
        const double ddy = (dy - cc) * (dy - cc);
        for (int dx = 0; dx < n; ++dx) {
            const int x = x0 + dx;
            if (x < 0 || x >= ww || (dx - cc) * (dx - cc) + ddy > r2) continue;
            const std::size_t p = at(x, y);
            const uint32_t c = painted[p] ? silhouette(p) : base[p];
            if (buf[p] == c) continue;
            buf[p] = c;
            worldWrote(x, y);
        }
    }
}

}  // namespace quillmoor
