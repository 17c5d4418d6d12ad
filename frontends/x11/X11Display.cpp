#include "frontends/x11/X11Display.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace platform {

namespace {

// Xlib's error handler is process-wide and carries no user data, so the one
// open connection registers itself here while it lives.
X11Display* errorSink = nullptr;

int recordError(Display*, XErrorEvent* event) {
    if (errorSink) errorSink->record(*event);
    return 0;
}

// Xlib calls this when the connection breaks and ends the process if it
// returns; it must not return into Xlib.
int connectionLost(Display*) {
    std::fprintf(stderr, "%s: lost the connection to the X server\n",
                 errorSink ? errorSink->programName().c_str() : "saver");
    std::exit(1);
}

}  // namespace

std::unique_ptr<X11Display> X11Display::open(const std::string& programName) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    return std::unique_ptr<X11Display>(new X11Display(display, programName));
}

X11Display::X11Display(Display* display, std::string programName)
    : display_(display), programName_(std::move(programName)) {
    errorSink = this;
    previousHandler_ = XSetErrorHandler(recordError);
    previousIoHandler_ = XSetIOErrorHandler(connectionLost);
    int major = 0, minor = 0;
    Bool pixmaps = False;
    hasShm_ = XShmQueryExtension(display_) && XShmQueryVersion(display_, &major, &minor, &pixmaps);
}

X11Display::~X11Display() {
    XCloseDisplay(display_);
    XSetErrorHandler(previousHandler_);
    XSetIOErrorHandler(previousIoHandler_);
    errorSink = nullptr;
}

void X11Display::record(const XErrorEvent& event) {
    char text[160] = {};
    XGetErrorText(display_, event.error_code, text, sizeof text);
    errors_.push_back({event.error_code, event.resourceid, event.request_code, text});
}

bool X11Display::sync() {
    const size_t before = errors_.size();
    XSync(display_, False);
    return errors_.size() == before;
}

std::vector<X11Error> X11Display::takeErrors() {
    std::vector<X11Error> taken;
    taken.swap(errors_);
    return taken;
}

X11Image::X11Image(X11Display& display, Visual* visual, int depth, int width, int height) : display_(display) {
    if (display.hasShm() && attachShm(visual, depth, width, height)) return;
    image_ = XCreateImage(display.get(), visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                          static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!image_) return;
    image_->data = static_cast<char*>(std::malloc(static_cast<size_t>(image_->bytes_per_line) * height));
    if (!image_->data) {
        XDestroyImage(image_);
        image_ = nullptr;
    }
}

bool X11Image::attachShm(Visual* visual, int depth, int width, int height) {
    Display* d = display_.get();
    image_ = XShmCreateImage(d, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &segment_,
                             static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!image_) return false;
    segment_.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image_->bytes_per_line) * height, IPC_CREAT | 0600);
    if (segment_.shmid >= 0) {
        void* address = shmat(segment_.shmid, nullptr, 0);
        // Marked for removal at once (Linux still lets the server attach it),
        // so the segment goes away with the last detach however this process
        // ends, even while it waits for the server's answer below.
        shmctl(segment_.shmid, IPC_RMID, nullptr);
        if (address != reinterpret_cast<void*>(-1)) {
            segment_.shmaddr = image_->data = static_cast<char*>(address);
            segment_.readOnly = False;
            XShmAttach(d, &segment_);
            if (display_.sync()) {
                shm_ = true;
                return true;
            }
            display_.takeErrors();
            shmdt(address);
        }
    }
    image_->data = nullptr;
    XDestroyImage(image_);
    image_ = nullptr;
    return false;
}

X11Image::~X11Image() {
    if (!image_) return;
    if (shm_) {
        // Our mapping goes first, while the server's still holds the segment:
        // the server's detach then frees its pages, on the server's time and
        // without a round trip here (a stop must not wait for that).
        shmdt(segment_.shmaddr);
        XShmDetach(display_.get(), &segment_);
        image_->data = nullptr;
    }
    XDestroyImage(image_);
}

PixelLayout X11Image::layout() const {
    if (!image_) return {};
    return {static_cast<uint32_t>(image_->red_mask), static_cast<uint32_t>(image_->green_mask),
            static_cast<uint32_t>(image_->blue_mask), image_->bits_per_pixel, image_->byte_order == MSBFirst};
}

std::optional<PixelView> X11Image::directView() const {
    if (!image_ || !shm_ || preferredOrder(layout()) != ChannelOrder::bgrx || image_->bytes_per_line != image_->width * 4)
        return std::nullopt;
    return PixelView{reinterpret_cast<uint32_t*>(image_->data), image_->width, image_->height, ChannelOrder::bgrx};
}

void X11Image::waitForServer() {
    // Any reply or event to a later request shows the server is past the put.
    if (shm_ && lastPut_ && LastKnownRequestProcessed(display_.get()) < lastPut_) XSync(display_.get(), False);
    lastPut_ = 0;
}

void X11Image::write(const Framebuffer& frame) {
    if (!image_) return;
    write(frame, Region({0, 0, image_->width, image_->height}));
}

void X11Image::write(const Framebuffer& frame, const Region& region) {
    if (!image_ || frame.width != image_->width || frame.height != image_->height) return;
    waitForServer();
    for (const PixelRect& r : region)
        writeFrame(frame, layout(), reinterpret_cast<uint8_t*>(image_->data), image_->bytes_per_line, r);
}

void X11Image::put(Drawable target, GC gc) {
    if (!image_) return;
    put(target, gc, Region({0, 0, image_->width, image_->height}));
}

void X11Image::put(Drawable target, GC gc, const Region& region) {
    if (!image_) return;
    for (PixelRect r : region) {
        r = intersection(r, {0, 0, image_->width, image_->height});
        if (r.empty()) continue;
        const auto w = static_cast<unsigned>(r.width), h = static_cast<unsigned>(r.height);
        if (shm_) {
            XShmPutImage(display_.get(), target, gc, image_, r.x, r.y, r.x, r.y, w, h, False);
            lastPut_ = NextRequest(display_.get()) - 1;
        } else {
            XPutImage(display_.get(), target, gc, image_, r.x, r.y, r.x, r.y, w, h);
        }
    }
}

}  // namespace platform
