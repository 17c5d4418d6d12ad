#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "QuillmoorMothwake/QuillmoorScene.h"

namespace quillmoor {

namespace {

// x mod m in 0 ... m - 1, also for negative x.
int wrap(int x, int m) {
    const int r = x % m;
    return r < 0 ? r + m : r;
}

}  // namespace

const std::array<std::array<uint8_t, 8>, 6>& QuillmoorScene::needles() {
    static const std::array<std::array<uint8_t, 8>, 6> table{{
        {0x80, 0x40, 0x20, 0x00, 0x08, 0x04, 0x02, 0x00},  // two short strokes rising to the right
        {0x01, 0x02, 0x04, 0x00, 0x10, 0x20, 0x40, 0x00},  // two short strokes rising to the left
        {0x00, 0x18, 0x24, 0x42, 0x00, 0x00, 0x00, 0x00},  // one V, opening upward
        {0x44, 0x00, 0x11, 0x00, 0x44, 0x00, 0x11, 0x00},  // scattered dots
        {0x00, 0xe0, 0x00, 0x00, 0x00, 0x0e, 0x00, 0x00},  // two short horizontal dashes
        {0xaa, 0x00, 0x55, 0x00, 0xaa, 0x00, 0x55, 0x00},  // alternate-row checkerboard
    }};
    return table;
}

// The look of a row's next tree: up to 80 tries for one whose height, style
// and colour differ enough from its recent neighbours; the last try stands.
QuillmoorScene::Tree QuillmoorScene::pickTree(bool front, const std::vector<Tree>& after) {
    const int gap = static_cast<int>(static_cast<double>(h) * (front ? 0.09 : 0.06));
    const int baseY = front ? groundY + static_cast<int>(rng.integer(2, static_cast<int64_t>(s * 10) + 2)) : groundY + 1;
    const auto& shades = front ? frontShades : backShades;
    int height = 0;
    double v = 0;
    int style = 0;
    uint32_t color = 0;
    for (int attempt = 0; attempt < 80; ++attempt) {
        height = static_cast<int>(static_cast<double>(h) * (front ? uniform(0.42, 0.9) : uniform(0.2, 0.5)));
        v = rng.unit();
        style = static_cast<int>(rng.integer(static_cast<int64_t>(needles().size())));
        color = shades[static_cast<std::size_t>(rng.integer(static_cast<int64_t>(shades.size())))];
        if (after.empty()) break;
        const std::size_t first = after.size() >= 2 ? after.size() - 2 : 0;
        bool tooClose = false;
        for (std::size_t i = first; i < after.size(); ++i)
            if (std::abs(height - after[i].height) < gap) tooClose = true;
        if (tooClose) continue;
        if (style != after.back().style && color != after.back().color) break;
    }
    Tree t;
    t.baseY = baseY;
    t.height = height;
    t.spread = v * 0.08000000000000002 + 0.15;
    t.style = style;
    t.color = color;
    t.front = front;
    return t;
}

void QuillmoorScene::claim(int x, int y, int32_t idx, bool front) {
    if (x < 0 || x >= ww || y < 0 || y >= h) return;
    const std::size_t p = at(x, y);
    if (tentMask[p]) return;
    if (!front && owner[p] >= 0 && trees[static_cast<std::size_t>(owner[p])].front) return;
    owner[p] = idx;
    if (painted[p]) {
        painted[p] = 0;
        buf[p] = base[p];
        worldWrote(x, y);
    }
}

// Recomputes the needle flags of every claimed pixel in columns x0 ... x1:
// false within two pixels of the left, right or upper edge of its tree's
// shape, else the owning tree's pattern bit, anchored at its trunk and base.
void QuillmoorScene::textureBand(int x0, int x1) {
    const auto& patterns = needles();
    for (int y = 0; y < h; ++y) {
        const std::size_t row = at(0, y);
        // The pattern row and column offset of the owner last seen in this
        // row; along a run of one owner the offset just steps on.
        int32_t runOwner = -1;
        int runX = 0;
        int offset = 0;
        uint8_t bits = 0;
        for (int x = x0; x <= x1; ++x) {
            const std::size_t p = row + static_cast<std::size_t>(x);
            const int32_t o = owner[p];
            if (o < 0) continue;
            const bool edge = (x >= 2 && owner[p - 2] != o) || (x + 2 < ww && owner[p + 2] != o) ||
                              (y >= 2 && owner[p - 2 * static_cast<std::size_t>(ww)] != o);
            if (edge) {
                stick[p] = 0;
                continue;
            }
            if (o == runOwner) {
                offset += x - runX;
                if (offset >= tile) offset %= tile;
            } else {
                const Tree& t = trees[static_cast<std::size_t>(o)];
                offset = wrap(x - t.cx, tile);
                bits = patterns[static_cast<std::size_t>(t.style)][static_cast<std::size_t>(wrap(t.baseY - y, tile) * 8 / tile)];
                runOwner = o;
            }
            runX = x;
            stick[p] = (bits & (0x80 >> (offset * 8 / tile))) != 0;
        }
    }
}

// Places the pending trees of the back row, then the front row, for as far as
// the world reaches; front trees keep out of the clearings.
void QuillmoorScene::growRows(const std::vector<int>& clearingXs) {
    for (std::size_t i = 0; i < 2; ++i) {
        const bool front = i == 1;
        for (;;) {
            Tree t = pending[i];
            const int halfW = static_cast<int>(static_cast<double>(t.height) * t.spread);
            if (t.cx + halfW > ww - 3) break;

            bool skip = false;
            if (front && !clearingXs.empty()) {
                const int hw = (halfW * 6) / 10;
                const int r = static_cast<int>(s * 110);
                for (const int c : clearingXs)
                    if (c - r < t.cx + hw && t.cx - hw < c + r) skip = true;
            }

            if (!skip) {
                const auto idx = static_cast<int32_t>(trees.size());
                trees.push_back(t);

                const int bigH = std::max(3, t.height);
                const int th = t.height < 7 ? 1 : t.height / 7;
                const int tw = t.height >= 28 ? t.height / 28 : 1;
                const int ch = bigH - th;
                const int top = t.baseY - bigH;
                const int r = static_cast<int>(rng.integer(5)) + 5;
                const int tiers = std::max(2, std::min(ch / 3, r));

                const double maxW = static_cast<double>(bigH) * t.spread;
                for (int k = 0; k < ch; ++k) {
                    const double u = rng.unit();
                    const double q = static_cast<double>(k) / static_cast<double>(ch);
                    const double qt = q * static_cast<double>(tiers);
                    const double f = qt - std::floor(qt);
                    const int a = std::max(0, static_cast<int>(std::round(maxW * q * (0.5 + 0.5 * f) + (0.8 * u - 0.4))));
                    for (int x = t.cx - a; x <= t.cx + a; ++x) claim(x, top + k, idx, front);
                }
                for (int y = t.baseY - th; y <= t.baseY - 1; ++y)
                    for (int x = t.cx - tw / 2; x <= t.cx - tw / 2 + tw - 1; ++x) claim(x, y, idx, front);

                treeTop = std::min(treeTop, std::max(0, t.baseY - t.height));

                const int x0 = std::max(0, t.cx - halfW - 4);
                const int x1 = std::max(0, std::min(t.cx + halfW + 4, ww - 1));
                textureBand(x0, x1);

                recent[i].push_back(t);
                if (recent[i].size() > 2) recent[i].erase(recent[i].begin());
            }

            Tree next = pickTree(front, recent[i]);
            const int step = std::max(4, static_cast<int>(static_cast<double>(halfW) * uniform(1.1, 1.7)));
            next.cx = t.cx + step;
            pending[i] = next;
        }
    }
}

// Drops the trees that own no pixel any more, having scrolled off the left or
// been covered by others, and renumbers the owners of the rest, keeping their
// order. Nothing else refers to a tree by its index, and a tree that owns no
// pixel is never read again, so the picture is the same as with the whole list.
// It runs when the list has doubled since the last time (and holds at least
// a few hundred trees), which keeps the list within twice the forest in the
// world and spreads the two passes over the owners across many scrolls.
void QuillmoorScene::dropUnusedTrees() {
    const auto count = static_cast<int32_t>(trees.size());
    treeRenumbering.assign(trees.size(), -1);
    for (const int32_t o : owner)
        if (o >= 0 && o < count) treeRenumbering[static_cast<std::size_t>(o)] = 0;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < trees.size(); ++i) {
        if (treeRenumbering[i] < 0) continue;
        treeRenumbering[i] = static_cast<int32_t>(kept);
        trees[kept++] = trees[i];
    }
    trees.resize(kept);
    for (int32_t& o : owner)
        if (o >= 0 && o < count) o = treeRenumbering[static_cast<std::size_t>(o)];
    dropTreesAt = std::max(fewestTreesToDrop, 2 * kept);
}

}  // namespace quillmoor
