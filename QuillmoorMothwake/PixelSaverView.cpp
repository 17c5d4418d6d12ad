#include "QuillmoorMothwake/PixelSaverView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quillmoor {

namespace {

constexpr double scanlineAlpha = 0.25;

}  // namespace

PixelSaverView::PixelSaverView(platform::Host& host, platform::Rect frame, bool isPreview)
    : platform::ScreenSaverView(host, frame, isPreview) {
    setAnimationTimeInterval(1.0 / 30.0);
    stopObserver_ = host.notifications.addObserver(platform::willStopNotification, [this] { saverWillStop(); });
}

PixelSaverView::~PixelSaverView() { host().notifications.removeObserver(stopObserver_); }

std::unique_ptr<PixelScene> PixelSaverView::makeScene(int, int, uint64_t) {
    std::fprintf(stderr, "Fatal error: subclass must override makeScene\n");
    std::abort();
}

void PixelSaverView::animateOneFrame() {
    if (scene_) scene_->step();
    setNeedsDisplay(true);
}

void PixelSaverView::prepare() {
    const platform::Rect b = bounds();
    const double scale = std::max(std::floor(b.height / targetRows()), 1.0);
    const int w = static_cast<int>(std::ceil(b.width / scale));
    const int h = static_cast<int>(std::ceil(b.height / scale));
    // A new scale alone (the same canvas on a bigger or denser screen) keeps
    // the scene: the frame is drawn at the new scale from now on.
    pixelScale_ = scale;
    if (canvas_ && canvas_->width == w && canvas_->height == h) return;

    scene_.reset();
    canvas_ = std::make_unique<Canvas>(w, h);
    const uint64_t seed = host().secureRandom->next64();
    scene_ = startScene(w, h, seed);
    // Stopping: nothing is shown, and a later draw starts a scene anew.
    if (!scene_) canvas_.reset();
}

// Drawing changes nothing in a scene, so its first picture after the steps
// is the one it would have drawn at that frame.
std::unique_ptr<PixelScene> PixelSaverView::startScene(int width, int height, uint64_t seed) {
    auto scene = makeScene(width, height, seed);
    const auto& stopRequested = host().stopRequested;
    for (int64_t frame = 0; frame < startFrame_; ++frame) {
        if (stopRequested && stopRequested()) return nullptr;
        scene->step();
    }
    return scene;
}

void PixelSaverView::draw(platform::Rect) {
    platform::GraphicsContext* context = host().currentContext;
    if (!context) return;

    const platform::Rect b = bounds();
    context->setFillColor({0, 1});
    context->fillRect(b);
    if (b.width < 1 || b.height < 1) return;

    prepare();
    if (!scene_ || !canvas_) return;
    scene_->draw(*canvas_);
    const auto image = canvas_->makeImage();
    if (!image) return;

    context->setInterpolationQuality(platform::InterpolationQuality::none);
    context->drawImage(*image, {0, 0, canvas_->width * pixelScale_, canvas_->height * pixelScale_});

    // One darkened line along the lower edge of every displayed canvas row.
    if (pixelScale_ >= 2) {
        context->setFillColor({0, scanlineAlpha});
        const double lineHeight = pixelScale_ >= 3 ? 1.0 : 0.5;
        for (int i = 0; i < canvas_->height; ++i) context->fillRect({0, i * pixelScale_, b.width, lineHeight});
    }
}

void PixelSaverView::saverWillStop() {
    // Only the system's legacy saver host expects its views to end the process.
    if (host().process.processName.find("legacyScreenSaver") != std::string::npos && host().process.exit)
        host().process.exit(0);
}

}  // namespace quillmoor
