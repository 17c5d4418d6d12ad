#include "frontends/x11/X11Saver.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "frontends/x11/X11Display.h"
#include "frontends/x11/X11Wallpaper.h"
#include "platform/FpsOverlay.h"
#include "platform/SaverLoop.h"
#include "platform/SaverSurface.h"

namespace platform {

namespace {

struct Area {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Area&) const = default;
};

constexpr Area ownWindowArea{0, 0, 1280, 720};
constexpr long eventsOfAdoptedWindows = StructureNotifyMask | ExposureMask;
constexpr long eventsOfOwnWindows = StructureNotifyMask | ExposureMask | KeyPressMask | VisibilityChangeMask;
constexpr long eventsOfWallpapers = StructureNotifyMask | ExposureMask | VisibilityChangeMask;

// One window and the view shown in it. Frames are rendered into the image's
// memory (or our framebuffer) and only then put to the window, so the window
// never shows a half-drawn frame.
class Surface {
public:
    Surface(X11Display& display, Window window, bool owned, Visual* visual, int depth, Area area,
            std::unique_ptr<ScreenSaverView> view)
        : display_(display), window_(window), owned_(owned), visual_(visual), depth_(depth),
          placed_(area), saver_(std::move(view), area.width, area.height),
          gc_(XCreateGC(display.get(), window, 0, nullptr)) {
        makeImage();
    }

    ~Surface() {
        image_.reset();
        XFreeGC(display_.get(), gc_);
        if (owned_) XDestroyWindow(display_.get(), window_);
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    Window window() const { return window_; }
    SaverSurface& saver() { return saver_; }
    const ScreenSaverView& view() const { return saver_.view(); }
    const X11Image& image() const { return *image_; }
    int width() const { return saver_.width(); }
    int height() const { return saver_.height(); }
    // Where the window was made: a monitor's area for the per-monitor targets.
    const Area& placed() const { return placed_; }

    // The window is gone: nothing is left to destroy.
    void forget() { owned_ = false; }

    // A window of our own shows nothing while unmapped or fully covered; its
    // scene then pauses and resumes where it was. Windows we adopt are always
    // drawn: their owner decides what is shown.
    bool shown() const { return !owned_ || (mapped_ && !obscured_); }
    void setMapped(bool mapped) { mapped_ = mapped; }
    void setObscured(bool obscured) { obscured_ = obscured; }

    // Sizes arrive in bursts while a window is dragged; only the last one
    // before a frame is applied.
    void requestSize(int width, int height) {
        pendingWidth_ = width;
        pendingHeight_ = height;
    }

    // Applies a pending size: the view follows, and the image is made anew.
    // True when the size changed.
    bool applySize() {
        if (pendingWidth_ < 1 || pendingHeight_ < 1) return false;
        const int w = pendingWidth_, h = pendingHeight_;
        pendingWidth_ = pendingHeight_ = 0;
        if (w == width() && h == height()) return false;
        image_.reset();
        saver_.resize(w, h);
        makeImage();
        painted_ = false;
        return true;
    }

    // Only the pixels that changed are moved to the server; a frame in which
    // nothing changed puts nothing. True when something was put.
    bool drawFrame(const std::string* overlay) {
        if (direct_) image_->waitForServer();  // the frame is drawn into memory the server reads
        if (!saver_.renderFrame(overlay)) return false;
        const Region& damage = saver_.damage();
        if (damage.empty()) return false;
        if (!direct_) image_->write(saver_.ownFramebuffer(), damage);
        image_->put(window_, gc_, damage);
        painted_ = true;
        return true;
    }

    // Puts the last finished frame again, as after an exposure.
    void repaint() {
        if (painted_) image_->put(window_, gc_);
    }

private:
    // Frames go straight into the shared image where its memory allows;
    // otherwise into our framebuffer, in the server's order where possible,
    // and are copied over after each frame.
    // An image that cannot be made is a lack of memory: the run ends with a message.
    void makeImage() {
        image_ = std::make_unique<X11Image>(display_, visual_, depth_, width(), height());
        if (!image_->valid()) throw std::bad_alloc();
        direct_ = image_->directView();
        if (direct_)
            saver_.setTarget(*direct_);
        else
            saver_.useOwnFramebuffer(preferredOrder(image_->layout()));
    }

    X11Display& display_;
    Window window_;
    bool owned_;
    Visual* visual_;
    int depth_;
    Area placed_;
    SaverSurface saver_;
    GC gc_;
    std::unique_ptr<X11Image> image_;
    std::optional<PixelView> direct_;
    int pendingWidth_ = 0, pendingHeight_ = 0;
    bool painted_ = false;
    bool mapped_ = false;
    bool obscured_ = false;
};

// The virtual root a window manager may put over the real one (named by the
// __SWM_VROOT property of a top-level window), else the root itself. Errors
// from a vanished window are left for the caller to take.
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
    // A stale property may name a window that no longer exists.
    XWindowAttributes attributes{};
    if (found != root && !XGetWindowAttributes(d, found, &attributes)) found = root;
    return found;
}

// The monitors RandR reports.
std::vector<Area> randrMonitors(Display* d) {
    std::vector<Area> areas;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(d, &event, &error) || !XRRQueryVersion(d, &major, &minor) ||
        !(major > 1 || (major == 1 && minor >= 5)))
        return areas;
    int count = 0;
    XRRMonitorInfo* info = XRRGetMonitors(d, DefaultRootWindow(d), True, &count);
    for (int i = 0; i < count; ++i)
        if (info[i].width > 0 && info[i].height > 0) areas.push_back({info[i].x, info[i].y, info[i].width, info[i].height});
    if (info) XRRFreeMonitors(info);
    return areas;
}

// The heads Xinerama reports, which some servers (nested ones, older
// multi-head set-ups) know of while RandR sees one screen.
std::vector<Area> xineramaHeads(Display* d) {
    std::vector<Area> areas;
    int event = 0, error = 0;
    if (!XineramaQueryExtension(d, &event, &error) || !XineramaIsActive(d)) return areas;
    int count = 0;
    XineramaScreenInfo* heads = XineramaQueryScreens(d, &count);
    for (int i = 0; i < count; ++i)
        if (heads[i].width > 0 && heads[i].height > 0)
            areas.push_back({heads[i].x_org, heads[i].y_org, heads[i].width, heads[i].height});
    if (heads) XFree(heads);
    return areas;
}

// One area per monitor: RandR's list, Xinerama's when it knows of more, the
// whole screen when neither reports any.
std::vector<Area> monitors(Display* d) {
    std::vector<Area> areas = randrMonitors(d);
    if (std::vector<Area> heads = xineramaHeads(d); heads.size() > areas.size()) areas = std::move(heads);
    const int screen = DefaultScreen(d);
    if (areas.empty()) areas.push_back({0, 0, DisplayWidth(d, screen), DisplayHeight(d, screen)});
    return areas;
}

class Session final : public FrontEnd {
public:
    Session(X11Display& display, Host& host, const X11SaverConfig& config, const ViewFactory& makeView,
            const FrameObserver& afterFrame)
        : display_(display), d_(display.get()), host_(host), config_(config), makeView_(makeView),
          afterFrame_(afterFrame), wmProtocols_(XInternAtom(d_, "WM_PROTOCOLS", False)),
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
        case X11Target::wallpaper:
            randrEvents_ = watchMonitorChanges(d_);
            for (const Area& area : monitors(d_))
                if (!createWallpaper(area)) return false;
            return true;
        }
        return false;
    }

    double animationInterval() const { return surfaces_.front()->view().animationTimeInterval(); }

    WaitHandle eventHandle() const override { return ConnectionNumber(d_); }
    void dispatch() override;
    void prepareWait() override { XFlush(d_); }
    void finishWait(bool readable) override { socketNews_ = readable; }
    void frame(StopSignals& signals) override;
    bool wantsFrames() const override {
        for (const auto& s : surfaces_)
            if (s->shown()) return true;
        return false;
    }
    StopReason stopReason() const override { return stop_; }

private:
    void fail(const std::string& message) const {
        std::fprintf(stderr, "%s: %s\n", config_.run.programName.c_str(), message.c_str());
    }
    void report(const Surface& s) const {
        if (!config_.run.verbose) return;
        std::fprintf(stderr, "%s: window 0x%lx %dx%d (%s)\n", config_.run.programName.c_str(), s.window(), s.width(),
                     s.height(), s.image().usesShm() ? "MIT-SHM" : "XPutImage");
    }

    bool adopt(Window window);
    Window makeWindow(Area area, bool placed, XSetWindowAttributes& attributes, unsigned long mask);
    bool createOwn(Area area, bool fullscreen);
    bool createWallpaper(Area area);
    void followMonitors();
    bool addSurface(Window window, bool owned, Visual* visual, int depth, Area area);
    Surface* find(Window window);
    void handle(XEvent& event);
    void checkErrors();
    void stop(StopReason reason) {
        if (stop_ == StopReason::none) stop_ = reason;
    }

    X11Display& display_;
    Display* d_;
    Host& host_;
    const X11SaverConfig& config_;
    const ViewFactory& makeView_;
    const FrameObserver& afterFrame_;
    Atom wmProtocols_, wmDelete_;
    Cursor blankCursor_ = None;
    std::vector<std::unique_ptr<Surface>> surfaces_;
    FrameStats stats_;
    StopReason stop_ = StopReason::none;
    bool socketNews_ = true;  // the socket may hold something not read yet
    int randrEvents_ = -1;     // RandR's first event code while monitors are followed
    bool monitorsChanged_ = false;
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

// A top-level window of our own with its names, close protocol and size
// hints; placed windows ask to stay exactly where and as large as made.
Window Session::makeWindow(Area area, bool placed, XSetWindowAttributes& attributes, unsigned long mask) {
    const Window window = XCreateWindow(d_, DefaultRootWindow(d_), area.x, area.y, static_cast<unsigned>(area.width),
                                        static_cast<unsigned>(area.height), 0, CopyFromParent, InputOutput,
                                        CopyFromParent, mask, &attributes);

    const std::string& title = config_.run.windowTitle;
    XStoreName(d_, window, title.c_str());
    XChangeProperty(d_, window, XInternAtom(d_, "_NET_WM_NAME", False), XInternAtom(d_, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
    XClassHint classHint{};
    std::string name = config_.run.programName, className = title;
    classHint.res_name = name.data();
    classHint.res_class = className.data();
    XSetClassHint(d_, window, &classHint);
    Atom protocols[] = {wmDelete_};
    XSetWMProtocols(d_, window, protocols, 1);
    XSizeHints hints{};
    hints.flags = (placed ? USPosition | USSize : PSize) | PMinSize;
    hints.x = area.x;
    hints.y = area.y;
    hints.width = area.width;
    hints.height = area.height;
    hints.min_width = hints.min_height = 1;
    XSetWMNormalHints(d_, window, &hints);
    return window;
}

bool Session::createOwn(Area area, bool fullscreen) {
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
            const Pixmap bits = XCreateBitmapFromData(d_, DefaultRootWindow(d_), &zero, 1, 1);
            XColor black{};
            blankCursor_ = XCreatePixmapCursor(d_, bits, bits, &black, &black, 0, 0);
            XFreePixmap(d_, bits);
        }
        attributes.cursor = blankCursor_;
        mask |= CWCursor;
    }
    const Window window = makeWindow(area, fullscreen, attributes, mask);
    if (fullscreen) {
        const Atom state = XInternAtom(d_, "_NET_WM_STATE_FULLSCREEN", False);
        XChangeProperty(d_, window, XInternAtom(d_, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&state), 1);
    }
    XMapRaised(d_, window);
    const int screen = DefaultScreen(d_);
    return addSurface(window, true, DefaultVisual(d_, screen), DefaultDepth(d_, screen), area);
}

// A desktop window over one monitor. It listens to no keys or buttons, and
// goes to the bottom of the stack before it is mapped, so even without a
// window manager it never covers anything.
bool Session::createWallpaper(Area area) {
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.event_mask = eventsOfWallpapers;
    const Window window = makeWindow(area, true, attributes, CWBackPixmap | CWBorderPixel | CWEventMask);
    const bool noInput = makeWallpaperWindow(d_, window);
    XLowerWindow(d_, window);
    XMapWindow(d_, window);
    if (config_.run.verbose && !noInput && surfaces_.empty())
        fail("the server has no input shapes (Shape 1.1): clicks on the wallpaper reach the window manager as "
             "clicks on it");
    const int screen = DefaultScreen(d_);
    return addSurface(window, true, DefaultVisual(d_, screen), DefaultDepth(d_, screen), area);
}

// After RandR reported a change: a monitor that is gone takes its window and
// view with it, a new one (or one moved or resized) gets a window and view of
// its own, and the others go on undisturbed.
void Session::followMonitors() {
    const std::vector<Area> now = monitors(d_);
    std::erase_if(surfaces_, [&](const std::unique_ptr<Surface>& s) {
        if (std::find(now.begin(), now.end(), s->placed()) != now.end()) return false;
        if (config_.run.verbose)
            std::fprintf(stderr, "%s: window 0x%lx removed: its monitor is gone\n", config_.run.programName.c_str(),
                         s->window());
        return true;
    });
    for (const Area& area : now) {
        const bool covered = std::any_of(surfaces_.begin(), surfaces_.end(),
                                         [&](const std::unique_ptr<Surface>& s) { return s->placed() == area; });
        // A window that cannot be made was reported; the other monitors go on.
        if (!covered) createWallpaper(area);
    }
}

bool Session::addSurface(Window window, bool owned, Visual* visual, int depth, Area area) {
    auto view = makeView_(host_, {0, 0, static_cast<double>(area.width), static_cast<double>(area.height)}, false);
    if (!view) {
        fail("no view to show");
        if (owned) XDestroyWindow(d_, window);
        return false;
    }
    surfaces_.push_back(std::make_unique<Surface>(display_, window, owned, visual, depth, area, std::move(view)));
    Surface& s = *surfaces_.back();
    if (config_.run.holdAfter) s.saver().holdAfter(*config_.run.holdAfter);
    if (!isSupported(s.image().layout())) {
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
    if (isMonitorChange(event, randrEvents_)) {
        monitorsChanged_ = true;
        return;
    }
    Surface* s = find(event.xany.window);
    if (!s) return;
    switch (event.type) {
    case ConfigureNotify: s->requestSize(event.xconfigure.width, event.xconfigure.height); break;
    case MapNotify: s->setMapped(true); break;
    case UnmapNotify: s->setMapped(false); break;
    case VisibilityNotify: s->setObscured(event.xvisibility.state == VisibilityFullyObscured); break;
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

// Every event already read or waiting is handled, so none waits behind a frame.
void Session::dispatch() {
    // The socket is read only when the last wait found it readable (and
    // before the first wait): what arrives meanwhile wakes the next wait at
    // once, and events read by a sync wait in Xlib's queue.
    if (std::exchange(socketNews_, false)) XEventsQueued(d_, QueuedAfterReading);
    while (stop_ == StopReason::none && XEventsQueued(d_, QueuedAlready)) {
        XEvent event;
        XNextEvent(d_, &event);
        handle(event);
    }
    // A change comes as several events; the monitors are read once after them.
    if (std::exchange(monitorsChanged_, false) && stop_ == StopReason::none) followMonitors();
    checkErrors();
}

void Session::frame(StopSignals& signals) {
    const auto started = FrameStats::Clock::now();
    const std::string* overlay = config_.run.showFps ? &stats_.text() : nullptr;
    bool put = false;
    for (auto& s : surfaces_) {
        if (&s != &surfaces_.front() && signals.take()) break;  // the loop looked just before the first
        if (!s->shown()) continue;
        if (s->applySize()) report(*s);
        put |= s->drawFrame(overlay);
        if (afterFrame_) afterFrame_(s->view());
    }
    // Waiting for the server right after the puts lets it read them and
    // answer in one wake-up; the next frame then finds the shared memory free
    // without another round trip.
    if (put)
        XSync(d_, False);
    else
        XFlush(d_);
    if (config_.run.extraFrameTime.count() > 0) std::this_thread::sleep_for(config_.run.extraFrameTime);
    stats_.frameDone(started, FrameStats::Clock::now());
}

}  // namespace

int runX11Saver(Host& host, StopSignals& signals, const X11SaverConfig& config, const ViewFactory& makeView,
                const FrameObserver& afterFrame) {
    const auto fail = [&](const std::string& message) {
        std::fprintf(stderr, "%s: %s\n", config.run.programName.c_str(), message.c_str());
        return 1;
    };
    if (const std::optional<int> status = checkBeforeConnecting(signals, config.run.programName)) return *status;

    auto display = X11Display::open(config.run.programName);
    if (!display && signals.take()) return 0;  // told to stop while still connecting: nothing to show
    if (!display) {
        const char* name = std::getenv("DISPLAY");
        return fail(std::string("cannot open display \"") + (name ? name : "") + "\"");
    }
    try {
        Session session(*display, host, config, makeView, afterFrame);
        if (!session.start()) return 1;
        runUntilStopped(session, session.animationInterval(), signals, host.notifications, config.run);
        return 0;
    } catch (const std::bad_alloc&) {
        return fail("not enough memory for the frames of a window this size");
    }
}

}  // namespace platform
