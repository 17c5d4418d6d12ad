#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/Framebuffer.h"
#include "platform/GraphicsContext.h"
#include "platform/Region.h"

namespace platform {

// Renders into a framebuffer the size of the view (one pixel per point).
//
// Rectangles are filled by coverage: each pixel is blended with the fill
// colour at alpha x (the share of the pixel's area that the rectangle covers),
// so a 0.5-point line over a 1-point pixel row darkens it with half the alpha.
// An opaque fill is written lazily and skipped when an opaque image covers it
// before the next flush(); the framebuffer is complete after flush().
// Images are sampled nearest-neighbour at pixel centres when interpolation is
// off (the only mode the saver uses), and everything is clipped to the buffer.
//
// Frames. Between beginFrame() and endFrame() the operations are recorded,
// not drawn. endFrame() compares them with the previous frame's and redraws
// only the pixels that can differ: those under operations that changed, those
// showing image pixels that changed, and those added with addDamage(); each
// operation is drawn clipped to them. The framebuffer then holds exactly what
// drawing every operation would have given, and damage() says which pixels
// changed. A frame in which nothing is drawn shows the previous picture again.
// Drawing outside a frame happens at once, as it always did, and makes the
// next frame whole. So does a frame whose first operation does not cover the
// whole buffer with an opaque fill: its picture depends on what lay beneath.
//
// A front end that draws over the finished frame itself (an overlay) adds
// what it covers to the damage of every frame in which that changes, before
// endFrame(), so those pixels are drawn from the operations again.
//
//     context.beginFrame();
//     runner.tick();                                     // the view draws
//     context.addDamage(overlay.update(text, w, h));    // what else changes
//     context.endFrame();
//     overlay.draw(buffer);
//     for (PixelRect r : context.damage()) put(r);
class SoftwareGraphicsContext final : public GraphicsContext {
public:
    // More rectangles cost the display server more per frame than the pixels they save.
    static constexpr std::size_t damageRects = 64;

    explicit SoftwareGraphicsContext(PixelView target) : fb_(target) {}

    // Draws into other pixels from now on (after completing what is pending).
    // Their content is unknown, so the next frame is drawn and damaged whole.
    void retarget(PixelView target);
    // Draws into another buffer of the same size and order that holds an
    // earlier frame of this context, for a front end with several buffers:
    // it adds with addRedraw() what that buffer missed since it was last drawn
    // into (the damage of the frames since), so damage() stays what changed
    // since the last frame. Any other buffer is retarget().
    void switchBuffer(PixelView target);

    void beginFrame();
    void endFrame();
    bool inFrame() const { return recording_; }

    // The next frame is drawn and damaged whole (an exposure, a buffer of unknown content).
    void invalidate() { valid_ = false; }
    // Pixels the frame in progress (between frames: the next one) must redraw
    // and report, whatever the operations say; clipped to the buffer.
    void addDamage(PixelRect rect);
    void addDamage(const Region& region);
    // Pixels the frame in progress (between frames: the next one) must redraw
    // but not report: those a buffer switched to has missed, which the display
    // already shows. Clipped to the buffer; the rectangles may overlap.
    void addRedraw(std::span<const PixelRect> rects);

    // The pixels the last frame changed, row 0 at the top, as at most
    // damageRects rectangles; empty when nothing changed.
    const Region& damage() const { return damage_; }
    // The changed pixels as the rectangles they were found in: many more than
    // damage() has, and they may overlap, but they cover few pixels that did
    // not change. A buffer that missed the frame redraws these.
    std::span<const PixelRect> changes() const { return std::span<const PixelRect>(redraw_).first(changed_); }

    void setFillColor(Grey colour) override { fill_ = colour; }
    void fillRect(Rect rect) override;
    void setInterpolationQuality(InterpolationQuality quality) override { quality_ = quality; }
    void drawImage(const Image& image, Rect rect) override;
    void flush() override;

    InterpolationQuality interpolationQuality() const { return quality_; }

private:
    // A fill resolved to framebuffer pixels: rows r0 .. r1 - 1 and columns
    // c0 .. c1 - 1, of which full0 .. full1 - 1 are wholly covered across.
    struct FillGeometry {
        double fy0 = 0, fy1 = 0;
        int c0 = 0, c1 = 0, r0 = 0, r1 = 0, full0 = 0, full1 = 0;
        double coverLeft = 0, coverRight = 0, alpha = 0;
        uint32_t grey = 0;
        bool opaqueWhole = false;  // alpha 1 over whole pixels: written lazily
    };
    // An image at a whole-number scale s from a whole-point origin: image
    // pixel (x, y) is the s x s block at column left + x s, row top + y s.
    // scale 0: sampled pixel by pixel.
    struct ImageGeometry {
        int scale = 0;
        long left = 0, top = 0;
    };
    // One operation, as recorded and as resolved against the framebuffer.
    struct DrawOp {
        Rect rect;
        Grey colour;
        std::optional<Image> image;  // none for a fill
        InterpolationQuality quality = InterpolationQuality::defaultQuality;
        PixelRect bounds;  // every pixel it can change
        FillGeometry fill;
        ImageGeometry place;
    };
    struct PendingFill {
        PixelRect area;
        uint32_t colour;
    };

    PixelRect wholeBuffer() const { return {0, 0, fb_.width, fb_.height}; }
    void resolve(DrawOp& op) const;
    void paint(const DrawOp& op, PixelRect clip);
    void paintFill(const DrawOp& op, PixelRect clip);
    void paintImage(const DrawOp& op, PixelRect clip);
    void forgetHistory();
    bool isCurrentFill(const DrawOp& op, Rect rect) const;

    bool resetsEveryPixel(const std::vector<DrawOp>& ops) const;
    void collectChanges(const DrawOp& before, const DrawOp& after);
    void collectImageChanges(const Image& before, const DrawOp& after);
    // Puts the listed changes of an image row within columns from .. to - 1 in rowSpans_.
    void listedRowSpans(const ImageChanges& changes, int from, int to, int row);
    void mergeRowSpans(const DrawOp& after, int row);
    void redrawAll(const std::vector<DrawOp>& ops);
    void redrawDamaged(const std::vector<DrawOp>& ops);

    PixelView fb_;
    std::optional<PendingFill> pendingFill_;
    Grey fill_{0, 1};
    InterpolationQuality quality_ = InterpolationQuality::defaultQuality;

    bool recording_ = false;
    bool valid_ = false;  // shown_ is what the framebuffer shows
    // The operations of the last frame drawn. A frame being recorded keeps
    // only the operations that differ from shown_'s at their place in the
    // list (recorded_ counts them all): most fills repeat the last frame's
    // (the scanlines), and then only the image is new.
    struct Differing {
        std::size_t index;
        DrawOp op;
    };
    std::vector<DrawOp> shown_;
    std::vector<Differing> differing_;
    std::size_t recorded_ = 0;
    std::vector<PixelRect> addedDamage_, addedRedraw_;
    // This frame's changes, fine-grained (the first changed_), then what a
    // buffer switched to missed.
    std::vector<PixelRect> redraw_;
    std::size_t changed_ = 0;
    Region damage_;

    // Scratch kept between frames so steady frames do not allocate. A span is
    // image columns x0 .. x1 - 1 changed in every row from y0 down to the
    // row being compared.
    struct Span {
        int x0, x1, y0;
    };
    std::vector<ImageChanges::Span> rowSpans_;  // the row being compared
    std::vector<Span> openSpans_, nextSpans_;
    std::vector<uint8_t> chunkFlags_;
    std::vector<uint32_t> rowStart_, rowOps_;  // the operations meeting each framebuffer row
    bool rowIndexValid_ = false;               // for shown_ as it is
    std::vector<uint64_t> opMarks_;
};

// The plain, obviously right image draw: every framebuffer pixel whose centre
// lies inside rect samples the image pixel under that centre. The fast path
// above must give exactly the same pixels.
void drawImageReference(PixelView fb, const Image& image, Rect rect);

}  // namespace platform
