#include "platform/X11Saver.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/SoftwareGraphicsContext.h"
#include "platform/X11Display.h"
#include "platform/FpsOverlay.h"
#include "platform/X11FrameClock.h"

namespace platform {

namespace {

struct Area {
    int x = 0, y = 0, width = 0, height = 0;
};

constexpr Area ownWindowArea{0, 0, 1280, 720};
constexpr long eventsOfAdoptedWindows = StructureNotifyMask | ExposureMask;
constexpr long eventsOfOwnWindows = StructureNotifyMask | ExposureMask | KeyPressMask;

// One window and the view shown in it. Frames are rendered whole into the
// framebuffer and then put to the window in one request, so the window never
// shows a half-drawn frame.
class Surface {
public:
    Surface(X11Display& display, Window window, bool owned, Visual* visual, int depth, Area area,
            std::unique_ptr<ScreenSaverView> view)
        : display_(display), window_(window), owned_(owned), visual_(visual), depth_(depth),
          frame_(area.width, area.height), context_(frame_), view_(std::move(view)), runner_(*view_, context_),
          gc_(XCreateGC(display.get(), window, 0, nullptr)),
          image_(std::make_unique<X11Image>(display, visual, depth, area.width, area.height)), width_(area.width),
          height_(area.height) {
        chooseTarget();
    }

    ~Surface() {
        image_.reset();
        XFreeGC(display_.get(), gc_);
        if (owned_) XDestroyWindow(display_.get(), window_);
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    Window window() const { return window_; }
    const ScreenSaverView& view() const { return *view_; }
    const X11Image& image() const { return *image_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // The window is gone: nothing is left to destroy.
    void forget() { owned_ = false; }

    // Sizes arrive in bursts while a window is dragged; only the last one
    // before a frame is applied.
    void requestSize(int width, int height) {
        pendingWidth_ = width;
        pendingHeight_ = height;
    }

    // Applies a pending size: new framebuffer and image, and the view's frame
    // follows, so the view rebuilds its canvas if that size changes. True when
    // the size changed.
    bool applySize() {
        if (pendingWidth_ < 1 || pendingHeight_ < 1) return false;
        const int w = pendingWidth_, h = pendingHeight_;
        pendingWidth_ = pendingHeight_ = 0;
        if (w == width_ && h == height_) return false;
        width_ = w;
        height_ = h;
        context_.retarget(PixelView{});
        image_.reset();
        image_ = std::make_unique<X11Image>(display_, visual_, depth_, w, h);
        chooseTarget();
        view_->setFrameSize(w, h);
        painted_ = false;
        return true;
    }

    // The view's first frame is drawn as it appears; every later one is a tick.
    void drawFrame(const std::string* overlay) {
        if (direct_) image_->waitForServer();  // the frame is drawn into memory the server reads
        if (shown_) {
            runner_.tick();
        } else {
            runner_.display();
            shown_ = true;
        }
        if (overlay) drawOverlayText(direct_ ? *direct_ : PixelView(frame_), *overlay);
        if (!image_->valid()) return;
        if (!direct_) image_->write(frame_);
        image_->put(window_, gc_);
        painted_ = true;
    }

    // Puts the last finished frame again, as after an exposure.
    void repaint() {
        if (painted_) image_->put(window_, gc_);
    }

private:
    // Frames go straight into the shared image where its memory allows;
    // otherwise into our framebuffer, in the server's order where possible,
    // and are copied over after each frame.
    void chooseTarget() {
        direct_ = image_->directView();
        frame_ = direct_ ? Framebuffer() : Framebuffer(width_, height_, preferredOrder(image_->layout()));
        context_.retarget(direct_ ? *direct_ : PixelView(frame_));
    }

    X11Display& display_;
    Window window_;
    bool owned_;
    Visual* visual_;
    int depth_;
    Framebuffer frame_;
    SoftwareGraphicsContext context_;
    std::unique_ptr<ScreenSaverView> view_;
    ViewRunner runner_;
    GC gc_;
    std::unique_ptr<X11Image> image_;
    std::optional<PixelView> direct_;
    int width_;
    int height_;
    int pendingWidth_ = 0, pendingHeight_ = 0;
    bool shown_ = false;
    bool painted_ = false;
};

// The virtual root a window manager may put over the real one (named by the
// __SWM_VROOT property of a top-level window), else the root itself.
Window virtualRoot(Display* d) {
    const Window root = DefaultRootWindow(d);
    const Atom vroot = XInternAtom(d, "__SWM_VROOT", False);
    Window rootReturn = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, root, &rootReturn, &parent, &children, &count)) return root;
    Window found = root;
    for (unsigned i = 0; i < count && found == root; ++i) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, children[i], vroot, 0, 1, False, XA_WINDOW, &type, &format, &items, &after, &data) ==
                Success && data) {
            if (type == XA_WINDOW && items == 1) found = *reinterpret_cast<Window*>(data);
            XFree(data);
        }
    }
    if (children) XFree(children);
    return found;
}

// The monitors RandR reports, or the whole screen when it reports none.
std::vector<Area> monitors(Display* d) {
    std::vector<Area> areas;
    int event = 0, error = 0, major = 0, minor = 0;
    if (XRRQueryExtension(d, &event, &error) && XRRQueryVersion(d, &major, &minor) &&
        (major > 1 || (major == 1 && minor >= 5))) {
        int count = 0;
        XRRMonitorInfo* info = XRRGetMonitors(d, DefaultRootWindow(d), True, &count);
        for (int i = 0; i < count; ++i)
            if (info[i].width > 0 && info[i].height > 0)
                areas.push_back({info[i].x, info[i].y, info[i].width, info[i].height});
        if (info) XRRFreeMonitors(info);
    }
    const int screen = DefaultScreen(d);
    if (areas.empty()) areas.push_back({0, 0, DisplayWidth(d, screen), DisplayHeight(d, screen)});
    return areas;
}

enum class StopReason { none, signal, windowGone, quit };

class Session {
public:
    Session(X11Display& display, Host& host, const X11SaverConfig& config, const ViewFactory& makeView,
            const FrameObserver& afterFrame, int signalFd)
        : display_(display), d_(display.get()), host_(host), config_(config), makeView_(makeView),
          afterFrame_(afterFrame), signalFd_(signalFd), wmProtocols_(XInternAtom(d_, "WM_PROTOCOLS", False)),
          wmDelete_(XInternAtom(d_, "WM_DELETE_WINDOW", False)) {}

    ~Session() {
        surfaces_.clear();
        if (blankCursor_) XFreeCursor(d_, blankCursor_);
        XSync(d_, False);
    }

    // Finds or makes the windows and their views; false (with a message) when
    // that fails.
    bool start() {
        switch (config_.target) {
        case X11Target::ownWindow: return createOwn(ownWindowArea, false);
        case X11Target::fullscreen:
            for (const Area& area : monitors(d_))
                if (!createOwn(area, true)) return false;
            return true;
        case X11Target::root: return adopt(virtualRoot(d_));
        case X11Target::window: return adopt(config_.windowId);
        }
        return false;
    }

    void run();

private:
    void fail(const std::string& message) const {
        std::fprintf(stderr, "%s: %s\n", config_.programName.c_str(), message.c_str());
    }
    void report(const Surface& s) const {
        if (!config_.verbose) return;
        std::fprintf(stderr, "%s: window 0x%lx %dx%d (%s)\n", config_.programName.c_str(), s.window(), s.width(),
                     s.height(), s.image().usesShm() ? "MIT-SHM" : "XPutImage");
    }

    bool adopt(Window window);
    bool createOwn(Area area, bool fullscreen);
    bool addSurface(Window window, bool owned, Visual* visual, int depth, Area area);
    Surface* find(Window window);
    void handle(XEvent& event);
    void checkErrors();
    void frame();
    void stop(StopReason reason) {
        if (stop_ == StopReason::none) stop_ = reason;
    }

    X11Display& display_;
    Display* d_;
    Host& host_;
    const X11SaverConfig& config_;
    const ViewFactory& makeView_;
    const FrameObserver& afterFrame_;
    int signalFd_;
    Atom wmProtocols_, wmDelete_;
    Cursor blankCursor_ = None;
    std::vector<std::unique_ptr<Surface>> surfaces_;
    FrameStats stats_;
    StopReason stop_ = StopReason::none;
    int stopSignal_ = 0;
};

bool Session::adopt(Window window) {
    XWindowAttributes attributes{};
    const bool exists = XGetWindowAttributes(d_, window, &attributes) != 0;
    display_.takeErrors();
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", window);
    if (!exists) {
        fail(std::string("no window ") + id + " on this display");
        return false;
    }
    if (attributes.c_class == InputOnly) {
        fail(std::string("window ") + id + " cannot be drawn into (input only)");
        return false;
    }
    // Only structure and exposure events: keys and buttons stay with
    // whoever owns the window.
    XSelectInput(d_, window, eventsOfAdoptedWindows);
    if (!addSurface(window, false, attributes.visual, attributes.depth, {0, 0, attributes.width, attributes.height}))
        return false;
    if (!display_.sync()) {
        display_.takeErrors();
        fail(std::string("window ") + id + " went away");
        surfaces_.back()->forget();
        return false;
    }
    return true;
}

bool Session::createOwn(Area area, bool fullscreen) {
    const Window root = DefaultRootWindow(d_);
    XSetWindowAttributes attributes{};
    // No background: the server never clears the window, so a resize or an
    // exposure never flashes before the next frame is put.
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.event_mask = eventsOfOwnWindows;
    unsigned long mask = CWBackPixmap | CWBorderPixel | CWEventMask;
    if (fullscreen) {
        if (!blankCursor_) {
            char zero = 0;
            const Pixmap bits = XCreateBitmapFromData(d_, root, &zero, 1, 1);
            XColor black{};
            blankCursor_ = XCreatePixmapCursor(d_, bits, bits, &black, &black, 0, 0);
            XFreePixmap(d_, bits);
        }
        attributes.cursor = blankCursor_;
        mask |= CWCursor;
    }
    const Window window =
        XCreateWindow(d_, root, area.x, area.y, static_cast<unsigned>(area.width), static_cast<unsigned>(area.height),
                      0, CopyFromParent, InputOutput, CopyFromParent, mask, &attributes);

    const std::string& title = config_.windowTitle;
    XStoreName(d_, window, title.c_str());
    XChangeProperty(d_, window, XInternAtom(d_, "_NET_WM_NAME", False), XInternAtom(d_, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
    XClassHint classHint{};
    std::string name = config_.programName, className = title;
    classHint.res_name = name.data();
    classHint.res_class = className.data();
    XSetClassHint(d_, window, &classHint);
    Atom protocols[] = {wmDelete_};
    XSetWMProtocols(d_, window, protocols, 1);
    XSizeHints hints{};
    hints.flags = (fullscreen ? USPosition | USSize : PSize) | PMinSize;
    hints.x = area.x;
    hints.y = area.y;
    hints.width = area.width;
    hints.height = area.height;
    hints.min_width = hints.min_height = 1;
    XSetWMNormalHints(d_, window, &hints);
    if (fullscreen) {
        const Atom state = XInternAtom(d_, "_NET_WM_STATE_FULLSCREEN", False);
        XChangeProperty(d_, window, XInternAtom(d_, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&state), 1);
    }
    XMapRaised(d_, window);
    const int screen = DefaultScreen(d_);
    return addSurface(window, true, DefaultVisual(d_, screen), DefaultDepth(d_, screen), area);
}

bool Session::addSurface(Window window, bool owned, Visual* visual, int depth, Area area) {
    auto view = makeView_(host_, {0, 0, static_cast<double>(area.width), static_cast<double>(area.height)}, false);
    if (!view) {
        fail("no view to show");
        if (owned) XDestroyWindow(d_, window);
        return false;
    }
    surfaces_.push_back(std::make_unique<Surface>(display_, window, owned, visual, depth, area, std::move(view)));
    const Surface& s = *surfaces_.back();
    if (!s.image().valid() || !isSupported(s.image().layout())) {
        fail("the window's visual is not a TrueColor visual of 16, 24 or 32 bits per pixel");
        return false;
    }
    report(s);
    return true;
}

Surface* Session::find(Window window) {
    for (auto& s : surfaces_)
        if (s->window() == window) return s.get();
    return nullptr;
}

void Session::handle(XEvent& event) {
    Surface* s = find(event.xany.window);
    if (!s) return;
    switch (event.type) {
    case ConfigureNotify: s->requestSize(event.xconfigure.width, event.xconfigure.height); break;
    case Expose:
        if (event.xexpose.count == 0) s->repaint();
        break;
    case DestroyNotify:
        if (event.xdestroywindow.window == s->window()) {
            s->forget();
            stop(StopReason::windowGone);
        }
        break;
    case ClientMessage:
        if (event.xclient.message_type == wmProtocols_ && static_cast<Atom>(event.xclient.data.l[0]) == wmDelete_)
            stop(StopReason::quit);
        break;
    case KeyPress: {
        char text[8] = {};
        KeySym key = NoSymbol;
        const int length = XLookupString(&event.xkey, text, sizeof text, &key, nullptr);
        const bool controlC = length == 1 && text[0] == 3;
        if (key == XK_q || key == XK_Q || key == XK_Escape || controlC) stop(StopReason::quit);
        break;
    }
    default: break;
    }
}

// A window that vanished under us ends the run; any other error is reported
// and the run goes on.
void Session::checkErrors() {
    for (const X11Error& error : display_.takeErrors()) {
        if (error.code == BadWindow || error.code == BadDrawable) {
            if (Surface* s = find(error.resource)) {
                s->forget();
                stop(StopReason::windowGone);
                continue;
            }
        }
        fail("X error: " + error.text + " (request " + std::to_string(error.request) + ")");
    }
}

void Session::frame() {
    const auto started = FrameStats::Clock::now();
    const std::string* overlay = config_.showFps ? &stats_.text() : nullptr;
    for (auto& s : surfaces_) {
        if (s->applySize()) report(*s);
        s->drawFrame(overlay);
        if (afterFrame_) afterFrame_(s->view());
    }
    XFlush(d_);
    stats_.frameDone(started, FrameStats::Clock::now());
}

void Session::run() {
    double seconds = surfaces_.front()->view().animationTimeInterval();
    if (!(seconds > 0)) seconds = 1.0 / 30.0;
    const auto interval = std::chrono::duration_cast<FrameClock::Clock::duration>(std::chrono::duration<double>(seconds));
    FrameClock clock(interval, FrameClock::Clock::now());
    pollfd waits[2] = {{ConnectionNumber(d_), POLLIN, 0}, {signalFd_, POLLIN, 0}};

    while (stop_ == StopReason::none) {
        // Drain every queued event first: events already read into Xlib's
        // queue would not wake the poll below.
        while (stop_ == StopReason::none && XPending(d_)) {
            XEvent event;
            XNextEvent(d_, &event);
            handle(event);
        }
        checkErrors();
        if (stop_ != StopReason::none) break;

        const auto now = FrameClock::Clock::now();
        if (clock.due(now)) {
            frame();
            clock.frameDone(FrameClock::Clock::now());
            continue;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(clock.deadline() - now);
        const timespec timeout{static_cast<time_t>(wait.count() / 1000000000), static_cast<long>(wait.count() % 1000000000)};
        if (ppoll(waits, 2, &timeout, nullptr) > 0 && (waits[1].revents & POLLIN)) {
            signalfd_siginfo info{};
            if (read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                stopSignal_ = static_cast<int>(info.ssi_signo);
                stop(StopReason::signal);
            }
        }
    }

    // The stop is announced on the main loop, never inside a signal handler.
    host_.notifications.post(willStopNotification);
    if (config_.verbose) {
        const char* why = stop_ == StopReason::signal ? (stopSignal_ == SIGINT ? "SIGINT" : "SIGTERM")
                          : stop_ == StopReason::windowGone ? "window destroyed"
                                                            : "quit";
        std::fprintf(stderr, "%s: stopping (%s)\n", config_.programName.c_str(), why);
    }
}

}  // namespace

int runX11Saver(Host& host, const X11SaverConfig& config, const ViewFactory& makeView, const FrameObserver& afterFrame) {
    // SIGTERM and SIGINT are taken from a signalfd in the frame loop. They
    // stay blocked afterwards: the process is ending, and a second signal must
    // not turn a clean exit into death by signal.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd < 0) {
        std::perror((config.programName + ": signalfd").c_str());
        return 1;
    }

    int status = 1;
    if (auto display = X11Display::open()) {
        Session session(*display, host, config, makeView, afterFrame, signalFd);
        if (session.start()) {
            session.run();
            status = 0;
        }
    } else {
        const char* name = std::getenv("DISPLAY");
        std::fprintf(stderr, "%s: cannot open display \"%s\"\n", config.programName.c_str(), name ? name : "");
    }
    close(signalFd);
    return status;
}

}  // namespace platform
