#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/FpsOverlay.h"
#include "platform/Framebuffer.h"
#include "platform/Region.h"
#include "platform/ScreenSaverView.h"
#include "platform/SoftwareGraphicsContext.h"

namespace platform {

// How a front end makes the view for each area it draws on, and what it
// tells about a view after each frame drawn into it.
using ViewFactory = std::function<std::unique_ptr<ScreenSaverView>(Host& host, Rect frame, bool isPreview)>;
using FrameObserver = std::function<void(const ScreenSaverView& view)>;

// One view shown on one drawable area, the piece every front end shares: the
// view, the runner that drives it as a host would, and the software context
// it draws through. The pixels are the front end's (memory it shares with the
// display server) or, where it has none to offer, a framebuffer of our own.
class SaverSurface {
public:
    // The view is sized to width x height; frames go nowhere until a target is set.
    SaverSurface(std::unique_ptr<ScreenSaverView> view, int width, int height);
    SaverSurface(const SaverSurface&) = delete;
    SaverSurface& operator=(const SaverSurface&) = delete;

    ScreenSaverView& view() { return *view_; }
    const ScreenSaverView& view() const { return *view_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // The drawable's new size: the view's frame follows, so the view rebuilds
    // its canvas when that changes its size. Set a target of the new size next.
    void resize(int width, int height);
    // Frames are drawn into these pixels from now on; their content is
    // unknown, so the next frame is drawn whole.
    void setTarget(PixelView target);
    // Frames are drawn into another buffer of the same size that holds an
    // earlier frame of this surface, missing the pixels in `missed` (for front
    // ends that take turns between buffers).
    void switchBuffer(PixelView target, std::span<const PixelRect> missed);
    // Frames are drawn into a framebuffer of our own, in this channel order.
    void useOwnFramebuffer(ChannelOrder order);
    const Framebuffer& ownFramebuffer() const { return own_; }

    // After this many steps the scene is held: later frames show the last one
    // again and step nothing (drawn anew after a resize, when the view may
    // have started a new scene for a new canvas size).
    void holdAfter(long steps) { stepLimit_ = steps; }

    // Draws one frame: the view's first frame is drawn as it appears, every
    // later one is a tick (a step, then a draw). The overlay text, if any, is
    // drawn over it. Only pixels that can have changed are drawn; damage()
    // then says which did. False when nothing was drawn (a held scene).
    bool renderFrame(const std::string* overlay);
    bool hasFrame() const { return shown_; }
    const Region& damage() const { return context_.damage(); }
    std::span<const PixelRect> changes() const { return context_.changes(); }
    // The next frame is drawn and damaged whole, a held picture too.
    void invalidate() {
        context_.invalidate();
        redrawHeld_ = true;
    }

private:
    std::unique_ptr<ScreenSaverView> view_;
    Framebuffer own_;
    PixelView target_;
    SoftwareGraphicsContext context_;
    ViewRunner runner_;
    FpsOverlay overlay_;
    int width_;
    int height_;
    bool shown_ = false;
    bool redrawHeld_ = false;  // a held picture must be drawn again into new pixels
    long steps_ = 0;
    std::optional<long> stepLimit_;
};

}  // namespace platform
