#include "platform/SaverSurface.h"

#include "platform/FpsOverlay.h"

namespace platform {

SaverSurface::SaverSurface(std::unique_ptr<ScreenSaverView> view, int width, int height)
    : view_(std::move(view)), context_(PixelView{}), runner_(*view_, context_), width_(width), height_(height) {
    view_->setFrameSize(width, height);
}

void SaverSurface::resize(int width, int height) {
    redrawHeld_ = true;
    width_ = width;
    height_ = height;
    context_.retarget(PixelView{});
    target_ = PixelView{};
    if (own_.width > 0) own_ = Framebuffer();
    view_->setFrameSize(width, height);
}

void SaverSurface::setTarget(PixelView target) {
    redrawHeld_ = true;
    own_ = Framebuffer();
    target_ = target;
    context_.retarget(target);
}

void SaverSurface::switchBuffer(PixelView target, std::span<const PixelRect> missed) {
    target_ = target;
    context_.switchBuffer(target);
    context_.addRedraw(missed);
}

void SaverSurface::useOwnFramebuffer(ChannelOrder order) {
    redrawHeld_ = true;
    own_ = Framebuffer(width_, height_, order);
    target_ = own_;
    context_.retarget(target_);
}

bool SaverSurface::renderFrame(const std::string* overlay) {
    const bool held = shown_ && stepLimit_ && steps_ >= *stepLimit_;
    if (held && !overlay && !redrawHeld_) {
        context_.beginFrame();  // nothing drawn: empty damage
        context_.endFrame();
        return false;
    }
    context_.beginFrame();
    if (!shown_) {
        runner_.display();
        shown_ = true;
    } else if (!held) {
        runner_.tick();
        ++steps_;
    } else {
        runner_.display();  // the held picture again: in new pixels, or under a fresh overlay
    }
    context_.addDamage(overlay_.update(overlay ? *overlay : std::string(), width_, height_));
    context_.endFrame();
    redrawHeld_ = false;
    overlay_.draw(target_);
    return true;
}

}  // namespace platform
