#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Region.h"

namespace platform {

// One x span of damage in one row of a surface cut into rows: columns
// x0 ... x1 - 1 over the whole height of the row.
struct DamageSpan {
    int row = 0;
    int x0 = 0;
    int x1 = 0;
    bool operator==(const DamageSpan&) const = default;
};

// How many rectangles the union of two span lists (each sorted by row, then
// x, its spans in a row disjoint and not touching) has in the banded form
// pixman and the compositors built on it keep regions in: bands of rows, a
// band with the same spans as the band just above it merged into that one,
// neighbouring spans in a band merged. row and lastRow are scratch.
std::size_t bandedRectCount(const std::vector<DamageSpan>& a, const std::vector<DamageSpan>& b,
                            std::vector<DamageSpan>& row, std::vector<DamageSpan>& lastRow);

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
//
// So the surface is cut into a fixed number of rows, and a frame's damage
// becomes, in each row it meets, the x spans it covers there, each as tall
// as the row. The rows are the same in every frame, so this frame's bands
// and the last one's meet only at row edges and the union of the two stays
// small and countable. Where the spans are too many, neighbours in a row
// are joined, narrowest gap (fewest pixels added) first, until this frame
// has at most frameRects spans and, with the last frame's, at most
// compositorRects rectangles. Both can always be had: with every gap joined
// a frame has one span per row, and rows + frameRects = compositorRects.
// Six rows made sway redraw the fewest pixels for the forest: with fewer,
// each speck is reported taller; with more, a frame has fewer spans left.
class CompositorDamage {
public:
    static constexpr int rows = 6;
    static constexpr std::size_t compositorRects = 20;
    static constexpr std::size_t frameRects = compositorRects - rows;

    // The rectangles to report for a frame that changed `damage` on a surface
    // of width x height pixels: disjoint, inside the surface, covering every
    // damaged pixel in it. The frame is taken to be committed.
    const Region& report(const Region& damage, int width, int height);

    // The spans of the last report.
    const std::vector<DamageSpan>& lastSpans() const { return last_; }

private:
    int rowHeight(int row) const { return std::min(rowHeight_, height_ - row * rowHeight_); }
    // The spans with the `joins` cheapest gaps joined, into joined_.
    void join(std::size_t joins);

    int width_ = 0;
    int height_ = 0;
    int rowHeight_ = 1;
    std::vector<DamageSpan> spans_;   // this frame's, before joining
    std::vector<DamageSpan> joined_;  // this frame's, as reported
    std::vector<DamageSpan> last_;    // the last frame's, as reported
    std::vector<DamageSpan> row_, lastRow_;
    std::vector<uint64_t> gaps_;  // pixels to fill, and the index of the span left of the gap
    std::vector<uint8_t> joinAfter_;
    Region rects_;
};

}  // namespace platform
