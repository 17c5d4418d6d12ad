#pragma once

#include <functional>

#include "platform/Geometry.h"
#include "platform/GraphicsContext.h"
#include "platform/NotificationCenter.h"
#include "platform/ProcessInfo.h"

namespace platform {

// The services a host lends to its views. One Host per front end; nothing here
// is global, so several hosts and views can live side by side.
struct Host {
    NotificationCenter notifications;
    ProcessInfo process;
    SecureRandom* secureRandom = nullptr;
    GraphicsContext* currentContext = nullptr;  // set only while a view draws
    // True once the host has been asked to stop: long work looks at it now
    // and then and gives up. Empty: the host never stops a view early.
    std::function<bool()> stopRequested;
};

// The screen-saver view base a host drives: it owns the view's frame, the
// preview flag, the animation interval and the needs-display flag; the host
// calls animateOneFrame() once per interval and draw() when display is needed.
class ScreenSaverView {
public:
    ScreenSaverView(Host& host, Rect frame, bool isPreview) : host_(host), frame_(frame), isPreview_(isPreview) {}
    virtual ~ScreenSaverView() = default;
    ScreenSaverView(const ScreenSaverView&) = delete;
    ScreenSaverView& operator=(const ScreenSaverView&) = delete;

    Rect frame() const { return frame_; }
    Rect bounds() const { return {0, 0, frame_.width, frame_.height}; }
    void setFrameSize(double width, double height) {
        frame_.width = width;
        frame_.height = height;
    }
    bool isPreview() const { return isPreview_; }

    double animationTimeInterval() const { return animationTimeInterval_; }
    void setAnimationTimeInterval(double seconds) { animationTimeInterval_ = seconds; }

    bool needsDisplay() const { return needsDisplay_; }
    void setNeedsDisplay(bool flag) { needsDisplay_ = flag; }

    virtual void animateOneFrame() {}
    virtual void draw(Rect /*dirty*/) {}
    virtual bool hasConfigureSheet() const { return false; }

    Host& host() const { return host_; }

private:
    Host& host_;
    Rect frame_;
    bool isPreview_;
    double animationTimeInterval_ = 1.0 / 30.0;
    bool needsDisplay_ = true;
};

// Drives a view as the host does: one tick is animateOneFrame(), then, when
// display is needed, draw(bounds) with the given context made current.
class ViewRunner {
public:
    ViewRunner(ScreenSaverView& view, GraphicsContext& context) : view_(view), context_(context) {}

    // Draws once without stepping, as a host does when a view first appears.
    void display();
    void tick();

private:
    ScreenSaverView& view_;
    GraphicsContext& context_;
};

}  // namespace platform
