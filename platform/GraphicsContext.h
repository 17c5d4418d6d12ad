#pragma once

#include "platform/Geometry.h"
#include "platform/Image.h"

namespace platform {

// A device-independent grey with alpha, both 0 ... 1.
struct Grey {
    double white = 0;
    double alpha = 1;
};

enum class InterpolationQuality { defaultQuality = 0, none = 1, low = 2, high = 3 };

// The drawing surface a view paints into during draw(). Coordinates are the
// view's own: origin lower left, y upwards, one point per unit.
class GraphicsContext {
public:
    virtual ~GraphicsContext() = default;

    virtual void setFillColor(Grey colour) = 0;
    virtual void fillRect(Rect rect) = 0;
    virtual void setInterpolationQuality(InterpolationQuality quality) = 0;
    // Draws the image stretched into rect, not tiled; image row 0 is at the top of rect.
    virtual void drawImage(const Image& image, Rect rect) = 0;
    // Completes every drawing operation issued so far.
    virtual void flush() {}
};

}  // namespace platform
