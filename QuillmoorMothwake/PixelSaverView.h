#pragma once

#include <cstdint>
#include <memory>

#include "QuillmoorMothwake/Canvas.h"
#include "QuillmoorMothwake/PixelScene.h"
#include "platform/ScreenSaverView.h"

namespace quillmoor {

// The view base every saver view derives from: it sizes a small canvas to its
// bounds, builds a freshly seeded scene whenever that canvas size changes
// (a change of scale alone keeps the scene and draws it at the new scale),
// steps the scene once per animation frame and presents the canvas scaled up
// by a whole number with nearest-neighbour sampling and faint scanlines.
// This is the only part of the module that talks to the host.
class PixelSaverView : public platform::ScreenSaverView {
public:
    PixelSaverView(platform::Host& host, platform::Rect frame, bool isPreview);
    ~PixelSaverView() override;

    // Canvas rows the view aims for; the pixel scale is bounds height / targetRows, at least 1.
    virtual double targetRows() const { return 225; }

    // The scene factory; every concrete view must provide one.
    virtual std::unique_ptr<PixelScene> makeScene(int width, int height, uint64_t seed);

    // Every scene made from now on is stepped this many frames, without
    // drawing, before its first picture (0, the default: it starts empty).
    // A stop request from the host cuts the stepping short and leaves the
    // view without a scene, drawing black.
    void setStartFrame(int64_t frame) { startFrame_ = frame; }
    int64_t startFrame() const { return startFrame_; }

    // A new scene stepped to the start frame, as the view makes each of its
    // own; none when the host was asked to stop meanwhile.
    std::unique_ptr<PixelScene> startScene(int width, int height, uint64_t seed);

    void animateOneFrame() override;
    void draw(platform::Rect dirty) override;
    bool hasConfigureSheet() const override { return false; }

    PixelScene* scene() const { return scene_.get(); }
    Canvas* canvas() const { return canvas_.get(); }
    double pixelScale() const { return pixelScale_; }

private:
    void prepare();
    void saverWillStop();

    std::unique_ptr<PixelScene> scene_;
    std::unique_ptr<Canvas> canvas_;
    double pixelScale_ = 1.0;
    int64_t startFrame_ = 0;
    platform::NotificationCenter::Token stopObserver_;
};

}  // namespace quillmoor
