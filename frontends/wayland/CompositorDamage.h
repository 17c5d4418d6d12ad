#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Region.h"

namespace platform {

// One rectangle of damage: columns x0 ... x1 - 1, pixel rows top ... bottom - 1.
struct DamageSpan {
    int x0 = 0;
    int x1 = 0;
    int top = 0;
    int bottom = 0;
    int width() const { return x1 - x0; }
    int height() const { return bottom - top; }
    bool operator==(const DamageSpan&) const = default;
};

// The banded form pixman, and the compositors built on it, keep regions in:
// y bands, each a row of x spans; spans of a band that touch are joined, and
// a band with the same spans as the one right above it is joined to it. The
// scratch vectors are reused.
class Banding {
public:
    // The union of the rectangles (they may overlap) in banded form, sorted
    // by top, then x0.
    const std::vector<DamageSpan>& of(const std::vector<DamageSpan>& rects);

private:
    std::vector<DamageSpan> all_, slab_, out_;
    std::vector<int> edges_;
};

// Chooses the rectangles a frame's damage is reported to the compositor in.
//
// wlroots (sway, and others) keeps damage in banded form and redraws each of
// its rectangles from the surface's buffer; once the region has more than 20
// rectangles it redraws their bounding box instead. Redrawing costs sway
// (pixman) per pixel, far more per pixel row of a rectangle and more again
// per rectangle (see costOf). The forest changes a few dozen small patches
// all over the screen each frame, some 35 rectangles in banded form: sent as
// they are, sway redraws most of the screen.
//
// So the damage is taken in banded form and changed step by step, each step
// the one that adds least cost: a gap between two spans of a band filled, or
// two neighbouring bands made one, with the union of their spans or with
// their bounding box. Steps are taken while they save cost, then while the
// frame has more than compositorRects rectangles.
//
// The plan is for the frame alone, as sway redraws it on the headless
// backend, where the output's buffer is free again at once. An output that
// shows one buffer while the next is drawn redraws the last two frames'
// damage, and two such plans together nearly always pass 20 rectangles (their
// bands interleave), so there it redraws their bounding box.
class CompositorDamage {
public:
    static constexpr std::size_t compositorRects = 20;

    // The rectangles to report for a frame that changed `damage` on a surface
    // of width x height pixels: disjoint, inside the surface, covering every
    // damaged pixel in it, at most compositorRects of them, in banded form.
    const Region& report(const Region& damage, int width, int height);

    // What redrawing a rectangle costs sway with the pixman renderer, in
    // pixels: measured with rectangles of many shapes at 30 frames a second
    // (a pixel row about 60 pixels, a rectangle about 2000).
    static int64_t costOf(const DamageSpan& s) { return 2000 + int64_t{60 + s.width()} * s.height(); }

private:
    // A band of spans_: spans_[first] ... spans_[end - 1], all of the same rows.
    struct Band {
        std::size_t first = 0;
        std::size_t end = 0;
        int64_t cost = 0;
    };
    enum class Kind : uint8_t { fillGap, unite, box };
    // One possible step: what it adds to the cost and to the count of rectangles.
    struct Step {
        Kind kind = Kind::fillGap;
        std::size_t at = 0;  // fillGap: the span left of the gap; unite, box: the upper band
        int64_t cost = 0;
        std::ptrdiff_t count = 0;
    };

    // The two ways of making bands b and b + 1 one, found again only when
    // one of them changes: most steps leave all but one or two pairs as they were.
    struct PairSteps {
        Step unite, box;
    };

    void findBands();
    // The spans of bands b and b + 1 together, touching ones joined, into united_.
    void uniteSpans(std::size_t b);
    PairSteps pairSteps(std::size_t b);
    std::size_t bandOf(std::size_t span) const;
    // The step that adds least cost (saving: any; else the least per
    // rectangle saved); false when there is none.
    bool cheapestStep(bool saving, Step& best);
    void take(const Step& step);
    void replaceBands(std::size_t b, const std::vector<DamageSpan>& spans);

    std::vector<DamageSpan> pieces_;  // the damage inside the surface
    std::vector<DamageSpan> spans_;   // the report being made, in banded form
    std::vector<Band> bands_;
    std::vector<PairSteps> pairs_;  // pairs_[b]: bands b and b + 1
    std::vector<DamageSpan> united_;
    Banding banding_;
    Region rects_;
};

}  // namespace platform
