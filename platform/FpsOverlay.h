#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "platform/Framebuffer.h"
#include "platform/Region.h"

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

// The size of one dot of the overlay font for a frame this many rows high:
// 2 pixels up to 1080 rows, growing with the frame so the text stays readable.
int overlayDot(int frameHeight);

// The pixels drawOverlayText() writes for this text: the plate in the
// lower-left corner, as wide as the text's glyphs, clipped to the frame.
PixelRect overlayBox(int frameWidth, int frameHeight, std::string_view text, int dot);

// Draws text in a small built-in bitmap font (digits, '.', '-', ' ', and the
// letters of "fps" and "ms"), each font dot dot x dot pixels, into the
// lower-left corner of the frame, white on a black plate that covers all of
// overlayBox(). Other characters are left blank. Clipped to the frame.
void drawOverlayText(PixelView frame, const std::string& text, int dot = 2);

// The frame-rate text laid over one front end's frames. It remembers what it
// drew last, so a front end that puts only damaged pixels damages the
// overlay's box only on the frames where the text or its place changes.
class FpsOverlay {
public:
    // Sets this frame's text (empty: no overlay) for a frame of this size and
    // returns the pixels that change because of it: the last box and the new
    // one when the text or the box changed, otherwise nothing. Add that to the
    // frame's damage before the frame ends.
    Region update(const std::string& text, int frameWidth, int frameHeight);

    // Draws the current text over the finished frame (nothing when empty).
    void draw(PixelView frame) const;

    PixelRect box() const { return box_; }

private:
    std::string text_;
    PixelRect box_{};
    int dot_ = 2;
};

}  // namespace platform
