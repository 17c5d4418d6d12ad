#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Region.h"

namespace platform {

// One rectangle of reported damage, inside one row of a surface cut into
// rows: columns x0 ... x1 - 1, pixel rows top ... bottom - 1.
struct DamageSpan {
    int row = 0;
    int x0 = 0;
    int x1 = 0;
    int top = 0;
    int bottom = 0;
    int width() const { return x1 - x0; }
    int height() const { return bottom - top; }
    bool operator==(const DamageSpan&) const = default;
};

// How many rectangles the union of two reports (rectangles sorted by row,
// each report's disjoint) has in the banded form pixman and the compositors
// built on it keep regions in: y bands, each a row of x spans, neighbouring
// spans in a band merged, a band with the same spans as the one right above
// merged into it. The scratch vectors are reused.
class BandCounter {
public:
    // acrossRows false: bands of neighbouring rows are not merged, which
    // counts as many or more.
    std::size_t count(const std::vector<DamageSpan>& a, const std::vector<DamageSpan>& b, bool acrossRows = true);

private:
    void addBand(int top, int bottom);

    std::vector<DamageSpan> row_, band_, lastBand_;
    std::vector<int> edges_;
    int lastBottom_ = 0;
    std::size_t count_ = 0;
};

// Chooses the rectangles a frame's damage is reported to the compositor in.
//
// wlroots (sway, and others) redraws into an output buffer the damage of
// the frames that buffer has not shown yet: the last frame's alone where a
// buffer is free again at once (the headless backend), the last two where
// one is on screen while the next is drawn (a real display, or a window of
// another compositor). Once that region has more than 20 rectangles in
// banded form it redraws its bounding box instead. The forest changes a
// few dozen small patches all over the screen each frame: sent as they are
// they make it redraw most of the screen, and so do a few boxes around them.
// Redrawing costs sway (pixman) per pixel, far more per pixel row of a
// rectangle and more again per rectangle (see costOf).
//
// So the surface is cut into a fixed number of rows and the damage into
// rectangles inside them, and of two ways to report them the cheaper is
// taken. Either neighbours in a row are merged into their bounding box,
// cheapest first, while that costs less than it saves and then until this
// frame has at most frameRects rectangles in banded form and, with the last
// frame's, at most compositorRects (few, tight rectangles: best where
// changes are few). Or every row is one band as tall as the row, whose x
// spans are joined the same way (many specks: rows that are alike in every
// frame leave the union with the last frame few bands). Rectangles never
// cross a row edge, so when neither fits, a row can become one whole-row
// rectangle that also covers the last frame's in it: then the two frames
// have at most one rectangle in each such row, and the last frame's (at
// most frameRects) elsewhere, rows + frameRects = compositorRects in all.
class CompositorDamage {
public:
    // Six rows cost sway least (costOf, over what it redrew) for both scenes
    // at 1920x1080 and 3840x2160; four, eight and ten cost more.
    static constexpr int rows = 6;
    static constexpr std::size_t compositorRects = 20;
    static constexpr std::size_t frameRects = compositorRects - rows;

    // The rectangles to report for a frame that changed `damage` on a surface
    // of width x height pixels: disjoint, inside the surface, covering every
    // damaged pixel in it. The frame is taken to be committed.
    const Region& report(const Region& damage, int width, int height);

    // The rectangles of the last report.
    const std::vector<DamageSpan>& lastSpans() const { return last_; }

    // What redrawing a rectangle costs sway with the pixman renderer, in
    // pixels: measured with rectangles of many shapes at 30 frames a second
    // (a pixel row about 60 pixels, a rectangle about 2000).
    static int64_t costOf(const DamageSpan& s) { return 2000 + int64_t{60 + s.width()} * s.height(); }

private:
    // Few tight rectangles, into spans_.
    void mergeRectangles();
    // Index of the neighbour pair (k, k + 1) in spans_ whose merging adds
    // least cost, or -1 when no two rectangles share a row; the change in `delta`.
    std::ptrdiff_t cheapestMerge(int64_t& delta) const;
    void merge(std::size_t k);
    bool fits(const std::vector<DamageSpan>& spans);
    // One whole-row rectangle per damaged row, covering the last report's there too.
    void coverRows();
    // Whole-row bands, into rows_; false when no joining fits.
    bool joinRowSpans();
    void joinGaps(std::size_t joins);

    int width_ = 0;
    int height_ = 0;
    int rowHeight_ = 1;
    std::vector<DamageSpan> pieces_;  // the damage cut at row edges, sorted by row, then x0
    std::vector<DamageSpan> spans_;   // merged rectangles
    std::vector<DamageSpan> rowSpans_, rows_;  // whole-row spans, before and after joining
    std::vector<int64_t> gaps_;       // cost of joining, and the index of the span left of the gap
    std::vector<uint8_t> joinAfter_;
    std::vector<DamageSpan> last_;
    BandCounter bands_;
    Region rects_;
};

}  // namespace platform
