#pragma once

#include "platform/Region.h"

#include <cstdint>
#include <memory>
#include <optional>

#include "frontends/web/WebSettings.h"
#include "platform/FrameClock.h"
#include "platform/SaverSurface.h"
#include "platform/FpsOverlay.h"
#include "settings/SeedSource.h"

namespace quillmoor {
class PixelSaverView;
}

// The saver on a page: one view drawn into a framebuffer the size of the
// canvas in device pixels, paced by the page's animation frames.
class WebSaver {
public:
    using Clock = platform::FrameClock::Clock;

    // What a call came to, as the page is told it. When memory runs out the
    // saver lets its surface go, so that a smaller size can have the memory,
    // and shows nothing until it is given a size again.
    enum class Outcome { nothingNew = 0, drawn = 1, outOfMemory = -1 };

    explicit WebSaver(WebSettings settings);

    // The canvas's size in device pixels. A new size is drawn at once, so the
    // page never shows an emptied canvas; the same size draws nothing.
    Outcome resize(int width, int height, Clock::time_point now);

    // One animation frame of the page: draws a frame when one is due.
    Outcome animationFrame(Clock::time_point now);

    // The last frame, red in the lowest byte: the byte order of ImageData.
    const platform::Framebuffer* pixels() const;
    // The rectangles of the last frame's pixels that changed, each as x, y,
    // width, height; none when nothing did.
    const platform::Region* damage() const;
    int64_t framesDrawn() const { return drawn_; }
    bool held() const;
    const quillmoor::PixelSaverView* view() const;

private:
    template <class Step>
    Outcome unlessOutOfMemory(Step step);
    void makeSurface(int width, int height);
    void resizeSurface(int width, int height, Clock::time_point now);
    bool frameIfDue(Clock::time_point now);
    bool draw();
    void reportCanvas();

    WebSettings settings_;
    SeedSource seeds_;
    platform::Host host_;
    std::unique_ptr<platform::SaverSurface> surface_;
    std::optional<platform::FrameClock> clock_;
    platform::FrameStats stats_;
    int64_t drawn_ = 0;         // since the page opened
    int64_t drawnBySurface_ = 0;
    int reportedWidth_ = 0, reportedHeight_ = 0;
    double reportedScale_ = 0;
};
