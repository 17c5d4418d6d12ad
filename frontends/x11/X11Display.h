#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Framebuffer.h"
#include "platform/Region.h"
#include "frontends/x11/X11Pixels.h"

namespace platform {

// An X error as the error handler recorded it.
struct X11Error {
    int code = 0;
    XID resource = 0;
    int request = 0;
    std::string text;
};

// The connection to the X server. X errors never end the process: the
// handler records them and the owner looks at them after a sync or between
// frames (a window that vanished shows up as BadWindow or BadDrawable).
// A lost connection ends the process with status 1 and one line that starts
// with the program's name, instead of Xlib's own message.
class X11Display {
public:
    // Nothing when the display cannot be opened.
    static std::unique_ptr<X11Display> open(const std::string& programName);
    ~X11Display();
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;

    Display* get() const { return display_; }
    const std::string& programName() const { return programName_; }
    bool hasShm() const { return hasShm_; }

    // Waits until the server has handled every request sent so far; true
    // when that produced no new error.
    bool sync();
    std::vector<X11Error> takeErrors();
    size_t errorCount() const { return errors_.size(); }

    void record(const XErrorEvent& event);

private:
    X11Display(Display* display, std::string programName);

    Display* display_;
    std::string programName_;
    bool hasShm_ = false;
    std::vector<X11Error> errors_;
    XErrorHandler previousHandler_ = nullptr;
    XIOErrorHandler previousIoHandler_ = nullptr;
};

// A client-side image the size of a window, in the window's visual, put to
// the window whole. Shared memory (MIT-SHM) where the server offers it and
// the segment can be attached; a plain XPutImage otherwise.
class X11Image {
public:
    X11Image(X11Display& display, Visual* visual, int depth, int width, int height);
    ~X11Image();
    X11Image(const X11Image&) = delete;
    X11Image& operator=(const X11Image&) = delete;

    bool valid() const { return image_ != nullptr; }
    bool usesShm() const { return shm_; }
    PixelLayout layout() const;

    // The image's own memory as pixels a frame can be drawn into directly:
    // shared memory in the framebuffer's blue-first order, rows unpadded.
    // Nothing when frames must be converted (write them with write()).
    std::optional<PixelView> directView() const;

    // Waits until the server has finished reading the last frame put from
    // shared memory, so the memory can be drawn into again; at once when a
    // sync since the put showed that already.
    void waitForServer();

    // Copies a framebuffer of the image's size (all of it, or the region) into
    // the image, first waiting until the server has finished reading the
    // previous frame from it.
    void write(const Framebuffer& frame);
    void write(const Framebuffer& frame, const Region& region);
    // Puts the whole image, or the region's rectangles, at the same place in target.
    void put(Drawable target, GC gc);
    void put(Drawable target, GC gc, const Region& region);

private:
    bool attachShm(Visual* visual, int depth, int width, int height);

    X11Display& display_;
    XImage* image_ = nullptr;
    XShmSegmentInfo segment_{};
    bool shm_ = false;
    unsigned long lastPut_ = 0;  // the request number of the last put from shared memory not known to be done
};

}  // namespace platform
