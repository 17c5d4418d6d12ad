#include "platform/SaverSurface.h"

#include "platform/FpsOverlay.h"

namespace platform {

SaverSurface::SaverSurface(std::unique_ptr<ScreenSaverView> view, int width, int height)
    : view_(std::move(view)), context_(PixelView{}), runner_(*view_, context_), width_(width), height_(height) {
    view_->setFrameSize(width, height);
}

void SaverSurface::resize(int width, int height) {
    width_ = width;
    height_ = height;
    context_.retarget(PixelView{});
    target_ = PixelView{};
    if (own_.width > 0) own_ = Framebuffer();
    view_->setFrameSize(width, height);
}

void SaverSurface::setTarget(PixelView target) {
    own_ = Framebuffer();
    target_ = target;
    context_.retarget(target);
}

void SaverSurface::useOwnFramebuffer(ChannelOrder order) {
    own_ = Framebuffer(width_, height_, order);
    target_ = own_;
    context_.retarget(target_);
}

bool SaverSurface::renderFrame(const std::string* overlay) {
    if (!shown_) {
        runner_.display();
        shown_ = true;
    } else if (!stepLimit_ || steps_ < *stepLimit_) {
        runner_.tick();
        ++steps_;
    } else if (overlay) {
        runner_.display();  // the held picture again, under a fresh overlay
    } else {
        return false;
    }
    if (overlay && target_.px) drawOverlayText(target_, *overlay);
    return true;
}

}  // namespace platform
