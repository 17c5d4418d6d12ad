#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace platform {

// A rectangle of whole framebuffer pixels: columns x ... x + width - 1 and
// rows y ... y + height - 1, row 0 at the top. Empty when a side is not positive.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    int right() const { return x + width; }
    int bottom() const { return y + height; }
    bool empty() const { return width <= 0 || height <= 0; }
    int64_t area() const { return empty() ? 0 : int64_t{width} * height; }
    bool contains(int px, int py) const { return px >= x && px < right() && py >= y && py < bottom(); }
    bool operator==(const PixelRect&) const = default;
};

// Inline: merging damage asks these in tight loops over every pair of rectangles.

// The pixels in both; empty when they do not meet.
inline PixelRect intersection(PixelRect a, PixelRect b) {
    const int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
    const int x1 = std::min(a.right(), b.right()), y1 = std::min(a.bottom(), b.bottom());
    if (x0 >= x1 || y0 >= y1) return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

// The smallest rectangle holding both; an empty one adds nothing.
inline PixelRect boundingBox(PixelRect a, PixelRect b) {
    if (a.empty()) return b.empty() ? PixelRect{} : b;
    if (b.empty()) return a;
    const int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    return {x0, y0, std::max(a.right(), b.right()) - x0, std::max(a.bottom(), b.bottom()) - y0};
}

inline bool intersects(PixelRect a, PixelRect b) {
    return std::max(a.x, b.x) < std::min(a.right(), b.right()) && std::max(a.y, b.y) < std::min(a.bottom(), b.bottom());
}

// True when every pixel of inner lies in outer (an empty inner always does).
inline bool contains(PixelRect outer, PixelRect inner) {
    return inner.empty() || (!outer.empty() && outer.x <= inner.x && outer.y <= inner.y && inner.right() <= outer.right() &&
                             inner.bottom() <= outer.bottom());
}

// A set of framebuffer pixels kept as a short list of disjoint, non-empty
// rectangles: what a front end puts to the screen or hands to a compositor as
// damage. Adding splits the new rectangle around those already held, so no
// pixel is listed twice; coalesce() trades a few extra pixels for fewer
// rectangles.
class Region {
public:
    Region() = default;
    explicit Region(PixelRect rect) { add(rect); }

    // The region of at most maxRects rectangles that covers every given one
    // (they may overlap): nearby rectangles are merged into their bounding boxes.
    static Region covering(std::span<const PixelRect> rects, std::size_t maxRects);

    // Union. The new rectangle is cut around those already held, so the list
    // can grow by more than one; coalesce() keeps it short.
    void add(PixelRect rect);
    void add(const Region& other);
    // Keeps only the pixels inside bounds.
    void clip(PixelRect bounds);
    // Merges rectangles into their bounding boxes, cheapest first, until at
    // most maxRects (at least one) are left; every pixel stays covered.
    void coalesce(std::size_t maxRects);
    void clear() { rects_.clear(); }

    bool empty() const { return rects_.empty(); }
    std::size_t size() const { return rects_.size(); }
    int64_t area() const;
    PixelRect bounds() const;
    bool contains(int x, int y) const;

    const std::vector<PixelRect>& rects() const { return rects_; }
    std::vector<PixelRect>::const_iterator begin() const { return rects_.begin(); }
    std::vector<PixelRect>::const_iterator end() const { return rects_.end(); }

private:
    // Adds what of part lies outside the held rectangles from..held - 1 (the
    // ones held before this add began; the pieces added since are disjoint).
    void addPart(PixelRect part, std::size_t from, std::size_t held);
    // Puts rect in, first taking in every held rectangle that meets it, so the
    // list stays disjoint without cutting rect up.
    void absorb(PixelRect rect);

    std::vector<PixelRect> rects_;
};

}  // namespace platform
