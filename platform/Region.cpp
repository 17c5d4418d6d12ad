#include "platform/Region.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform {

namespace {

// The pixels added by merging a and b (both not empty) into one box; less
// than zero when they overlap. Worked out inline: coalescing asks it often.
inline int64_t mergeCost(PixelRect a, PixelRect b) {
    const int64_t width = std::max(a.right(), b.right()) - std::min(a.x, b.x);
    const int64_t height = std::max(a.bottom(), b.bottom()) - std::min(a.y, b.y);
    return width * height - int64_t{a.width} * a.height - int64_t{b.width} * b.height;
}

// The first pixel of grid cell i when extent pixels are cut into cells parts:
// pixel p (from the start) falls into cell p * cells / extent.
int cellStart(int i, int cells, int extent) {
    return static_cast<int>((int64_t{i} * extent + cells - 1) / cells);
}

int cellOf(int p, int cells, int extent) { return static_cast<int>(int64_t{p} * cells / extent); }

}  // namespace

void Region::add(PixelRect rect) {
    if (rect.empty()) return;
    std::erase_if(rects_, [&](const PixelRect& held) { return platform::contains(rect, held); });
    addPart(rect, 0, rects_.size());
}

void Region::addPart(PixelRect part, std::size_t from, std::size_t held) {
    for (std::size_t k = from; k < held; ++k) {
        const PixelRect e = rects_[k];
        if (!intersects(part, e)) continue;
        const int y0 = std::max(part.y, e.y), y1 = std::min(part.bottom(), e.bottom());
        const PixelRect pieces[4] = {
            {part.x, part.y, part.width, e.y - part.y},                   // above e
            {part.x, e.bottom(), part.width, part.bottom() - e.bottom()},  // below e
            {part.x, y0, e.x - part.x, y1 - y0},                           // left of e
            {e.right(), y0, part.right() - e.right(), y1 - y0},           // right of e
        };
        for (const PixelRect& piece : pieces)
            if (!piece.empty()) addPart(piece, k + 1, held);
        return;
    }
    rects_.push_back(part);
}

void Region::add(const Region& other) {
    if (&other == this) return;
    for (const PixelRect& r : other.rects_) add(r);
}

void Region::clip(PixelRect bounds) {
    for (PixelRect& r : rects_) r = intersection(r, bounds);
    std::erase_if(rects_, [](const PixelRect& r) { return r.empty(); });
}

void Region::absorb(PixelRect rect) {
    // Taking in one rectangle can widen rect onto others, so sweep until none meets it.
    for (bool grew = true; grew;) {
        grew = false;
        for (std::size_t k = 0; k < rects_.size();) {
            if (intersects(rect, rects_[k])) {
                rect = boundingBox(rect, rects_[k]);
                rects_[k] = rects_.back();
                rects_.pop_back();
                grew = true;
            } else {
                ++k;
            }
        }
    }
    rects_.push_back(rect);
}

void Region::coalesce(std::size_t maxRects) {
    maxRects = std::max<std::size_t>(1, maxRects);
    const std::size_t n = rects_.size();
    if (n <= maxRects) return;
    // Always the cheapest pair next. Each rectangle remembers its cheapest
    // partner, so a merge costs a pass over the list rather than over all pairs.
    std::vector<int64_t> cost(n);
    std::vector<std::size_t> partner(n);
    std::vector<uint8_t> alive(n, 1);
    const auto findPartner = [&](std::size_t i) {
        cost[i] = std::numeric_limits<int64_t>::max();
        for (std::size_t j = 0; j < n; ++j) {
            if (j == i || !alive[j]) continue;
            const int64_t c = mergeCost(rects_[i], rects_[j]);
            if (c < cost[i]) {
                cost[i] = c;
                partner[i] = j;
            }
        }
    };
    // At first every pair is looked at once, for both of its rectangles;
    // partners are taken in list order, as findPartner takes them.
    std::fill(cost.begin(), cost.end(), std::numeric_limits<int64_t>::max());
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j) {
            const int64_t c = mergeCost(rects_[i], rects_[j]);
            if (c < cost[i]) {
                cost[i] = c;
                partner[i] = j;
            }
            if (c < cost[j]) {
                cost[j] = c;
                partner[j] = i;
            }
        }
    for (std::size_t count = n; count > maxRects;) {
        std::size_t i = n;
        for (std::size_t k = 0; k < n; ++k)
            if (alive[k] && (i == n || cost[k] < cost[i])) i = k;
        PixelRect merged = boundingBox(rects_[i], rects_[partner[i]]);
        alive[partner[i]] = 0;
        --count;
        // A box can reach over others: take them in too, so none overlap.
        for (bool grew = true; grew;) {
            grew = false;
            for (std::size_t k = 0; k < n; ++k)
                if (alive[k] && k != i && intersects(merged, rects_[k])) {
                    merged = boundingBox(merged, rects_[k]);
                    alive[k] = 0;
                    --count;
                    grew = true;
                }
        }
        rects_[i] = merged;
        findPartner(i);
        for (std::size_t k = 0; k < n; ++k) {
            if (!alive[k] || k == i) continue;
            if (!alive[partner[k]] || partner[k] == i) {
                findPartner(k);
            } else if (const int64_t c = mergeCost(rects_[k], merged); c < cost[k]) {
                cost[k] = c;
                partner[k] = i;
            }
        }
    }
    std::size_t kept = 0;
    for (std::size_t k = 0; k < n; ++k)
        if (alive[k]) rects_[kept++] = rects_[k];
    rects_.resize(kept);
}

Region Region::covering(std::span<const PixelRect> given, std::size_t maxRects) {
    maxRects = std::max<std::size_t>(1, maxRects);
    Region region;
    // Rectangles close together are merged first, in one pass in row order,
    // each with one of the last few boxes made: a merge that adds at most
    // closeEnough pixels costs less than another rectangle would, and it
    // leaves few enough for the careful merging below.
    constexpr int64_t closeEnough = 512;
    constexpr std::size_t lookBack = 8;
    std::vector<PixelRect> sorted;
    sorted.reserve(given.size());
    for (const PixelRect& r : given)
        if (!r.empty()) sorted.push_back(r);
    std::sort(sorted.begin(), sorted.end(), [](const PixelRect& a, const PixelRect& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    std::vector<PixelRect> rects;
    for (const PixelRect& r : sorted) {
        std::size_t k = rects.size();
        while (k > 0 && k + lookBack > rects.size() && mergeCost(rects[k - 1], r) > closeEnough) --k;
        if (k > 0 && k + lookBack > rects.size())
            rects[k - 1] = boundingBox(rects[k - 1], r);
        else
            rects.push_back(r);
    }
    const std::size_t pairwiseLimit = 2 * maxRects;
    if (rects.size() <= pairwiseLimit) {
        // Overlapping ones are merged rather than cut up, so the list never grows.
        for (const PixelRect& r : rects)
            if (!r.empty()) region.absorb(r);
        region.coalesce(maxRects);
        return region;
    }
    // Too many to merge pair by pair (they lie scattered): gather them into
    // the cells of a grid over their bounding box, one box per cell, at most
    // maxRects cells. Cells do not overlap, so neither do their boxes.
    PixelRect box{};
    for (const PixelRect& r : rects) box = boundingBox(box, r);
    if (box.empty()) return region;
    const double aspect = static_cast<double>(box.width) / box.height;
    const int cells = static_cast<int>(std::min<std::size_t>(maxRects, 1 << 20));
    const int columns = std::clamp(static_cast<int>(std::lround(std::sqrt(cells * aspect))), 1, std::min(cells, box.width));
    const int rows = std::clamp(cells / columns, 1, box.height);
    std::vector<PixelRect> cellBoxes(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
    for (const PixelRect& r : rects) {
        if (r.empty()) continue;
        const int cx0 = cellOf(r.x - box.x, columns, box.width), cx1 = cellOf(r.right() - 1 - box.x, columns, box.width);
        const int cy0 = cellOf(r.y - box.y, rows, box.height), cy1 = cellOf(r.bottom() - 1 - box.y, rows, box.height);
        for (int cy = cy0; cy <= cy1; ++cy)
            for (int cx = cx0; cx <= cx1; ++cx) {
                const int x0 = box.x + cellStart(cx, columns, box.width), x1 = box.x + cellStart(cx + 1, columns, box.width);
                const int y0 = box.y + cellStart(cy, rows, box.height), y1 = box.y + cellStart(cy + 1, rows, box.height);
                PixelRect& cell = cellBoxes[static_cast<std::size_t>(cy) * columns + cx];
                cell = boundingBox(cell, intersection(r, {x0, y0, x1 - x0, y1 - y0}));
            }
    }
    for (const PixelRect& cell : cellBoxes)
        if (!cell.empty()) region.rects_.push_back(cell);
    return region;
}

int64_t Region::area() const {
    int64_t total = 0;
    for (const PixelRect& r : rects_) total += r.area();
    return total;
}

PixelRect Region::bounds() const {
    PixelRect box{};
    for (const PixelRect& r : rects_) box = boundingBox(box, r);
    return box;
}

bool Region::contains(int x, int y) const {
    return std::any_of(rects_.begin(), rects_.end(), [&](const PixelRect& r) { return r.contains(x, y); });
}

}  // namespace platform
