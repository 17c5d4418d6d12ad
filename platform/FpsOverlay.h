#pragma once

#include <chrono>
#include <string>

#include "platform/Framebuffer.h"

namespace platform {

// Counts presented frames and the time spent making them, and gives the
// frame rate and the mean frame time over the last whole second.
class FrameStats {
public:
    using Clock = std::chrono::steady_clock;

    void frameDone(Clock::time_point started, Clock::time_point finished);

    // "30.0 fps 4.2 ms" once a second has passed, before that "-- fps".
    const std::string& text() const { return text_; }

private:
    Clock::time_point periodStart_{};
    bool started_ = false;
    int frames_ = 0;
    Clock::duration busy_{};
    std::string text_ = "-- fps";
};

// Draws text in a small built-in bitmap font (digits, '.', '-', ' ', and the
// letters of "fps" and "ms") into the lower-left corner of the frame, white on
// a black plate. Other characters are left blank. Clipped to the frame.
void drawOverlayText(PixelView frame, const std::string& text);

}  // namespace platform
