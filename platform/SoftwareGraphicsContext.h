#pragma once

#include <optional>

#include "platform/Framebuffer.h"
#include "platform/GraphicsContext.h"

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
class SoftwareGraphicsContext final : public GraphicsContext {
public:
    explicit SoftwareGraphicsContext(PixelView target) : fb_(target) {}

    // Draws into other pixels from now on (after completing what is pending).
    void retarget(PixelView target) {
        flush();
        fb_ = target;
    }

    void setFillColor(Grey colour) override { fill_ = colour; }
    void fillRect(Rect rect) override;
    void setInterpolationQuality(InterpolationQuality quality) override { quality_ = quality; }
    void drawImage(const Image& image, Rect rect) override;
    void flush() override;

    InterpolationQuality interpolationQuality() const { return quality_; }

private:
    struct PendingFill {
        int c0, r0, c1, r1;
        uint32_t colour;
    };

    PixelView fb_;
    std::optional<PendingFill> pendingFill_;
    Grey fill_{0, 1};
    InterpolationQuality quality_ = InterpolationQuality::defaultQuality;
};

// The plain, obviously right image draw: every framebuffer pixel whose centre
// lies inside rect samples the image pixel under that centre. The fast path
// above must give exactly the same pixels.
void drawImageReference(PixelView fb, const Image& image, Rect rect);

}  // namespace platform
