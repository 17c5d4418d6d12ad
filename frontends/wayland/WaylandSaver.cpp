#include "frontends/wayland/WaylandSaver.h"

#include <linux/input-event-codes.h>
#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include "fractional-scale-v1-client-protocol.h"
#include "frontends/wayland/WaylandInput.h"
#include "frontends/wayland/WaylandSurface.h"
#include "platform/SaverLoop.h"
#include "platform/FpsOverlay.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace platform {

namespace {

// The highest versions bound: every event of these versions is handled.
constexpr uint32_t compositorVersion = 4;  // 3: buffer scale, 4: damage in buffer pixels
constexpr uint32_t wmBaseVersion = 5;
constexpr uint32_t layerShellVersion = 4;
constexpr uint32_t outputVersion = 4;  // 2: scale and done, 4: name
constexpr uint32_t seatVersion = 5;
constexpr uint32_t outputReleaseSince = 3;
constexpr uint32_t layerShellDestroySince = 3;
constexpr int readableEvents = POLLIN | POLLHUP | POLLERR;

bool pollReadable(int fd) {
    pollfd wait{fd, POLLIN, 0};
    return poll(&wait, 1, 0) > 0 && (wait.revents & readableEvents);
}

class Session final : public FrontEnd, public SurfaceOwner, public InputSink {
public:
    Session(wl_display* display, Host& host, StopSignals& signals, const WaylandSaverConfig& config,
            const ViewFactory& makeView, const FrameObserver& afterFrame)
        : display_(display), host_(host), signals_(signals), config_(config), makeView_(makeView),
          afterFrame_(afterFrame),
          settings_{config.run.windowTitle, config.appId, config.run.programName, config.run.holdAfter} {
        globals_.display = display;
    }
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Binds the globals, makes the surfaces and waits for their first
    // configure. False when it cannot (message on stderr, failed() true) or
    // a stop signal came first.
    bool start();
    double animationInterval() const;
    bool failed() const { return failed_; }
    const char* stopCause() const override { return cause_; }

    WaitHandle eventHandle() const override { return wl_display_get_fd(display_); }
    void dispatch() override;
    void prepareWait() override;
    void finishWait(bool readable) override;
    void frame(StopSignals& signals) override;
    bool wantsFrames() const override {
        return std::any_of(surfaces_.begin(), surfaces_.end(), [](const auto& s) { return s->wantsFrames(); });
    }
    StopReason stopReason() const override { return stop_; }

    std::unique_ptr<ScreenSaverView> makeView(int width, int height) override {
        return makeView_(host_, {0, 0, static_cast<double>(width), static_cast<double>(height)}, false);
    }
    void surfaceResized(const ShownSurface& surface) override { report(surface.describe()); }
    void closeRequested() override { stop(StopReason::quit, "close request"); }
    const Output* outputOf(const wl_output* proxy) const override;

    void keyPressed(uint32_t key) override;
    void pointerEntered(wl_pointer* pointer, uint32_t serial, double x, double y) override;
    void pointerMoved(double x, double y) override;
    void pointerButtonPressed() override { inputInSaver("pointer button"); }
    void pointerScrolled() override { inputInSaver("pointer scroll"); }
    void touched() override { inputInSaver("touch"); }

private:
    struct Listeners;
    // An output and the session its events go to.
    struct BoundOutput {
        Session& session;
        Output output;
    };

    void fail(const std::string& message) {
        std::fprintf(stderr, "%s: %s\n", config_.run.programName.c_str(), message.c_str());
        failed_ = true;
    }
    void report(const std::string& line) const {
        if (config_.run.verbose) std::fprintf(stderr, "%s: %s\n", config_.run.programName.c_str(), line.c_str());
    }
    void stop(StopReason reason, const char* cause) {
        if (stop_ != StopReason::none) return;
        stop_ = reason;
        cause_ = cause;
    }
    void inputInSaver(const char* cause) {
        if (config_.mode == WaylandMode::saver) stop(StopReason::quit, cause);
    }
    void lost();
    bool roundtrip();
    std::string missingGlobal() const;
    void reportGlobals() const;
    void global(uint32_t name, const char* interface, uint32_t version);
    void globalRemoved(uint32_t name);
    void outputDone(Output& output);
    void addSurfacesFor(const Output& output);

    wl_display* display_;
    Host& host_;
    StopSignals& signals_;
    const WaylandSaverConfig& config_;
    const ViewFactory& makeView_;
    const FrameObserver& afterFrame_;
    SurfaceSettings settings_;

    wl_registry* registry_ = nullptr;
    WaylandGlobals globals_;
    std::vector<std::unique_ptr<BoundOutput>> outputs_;
    std::vector<std::unique_ptr<Seat>> seats_;
    std::vector<std::unique_ptr<ShownSurface>> surfaces_;
    bool started_ = false;
    bool reading_ = false;
    bool failed_ = false;
    StopReason stop_ = StopReason::none;
    const char* cause_ = "";
    bool pointerInside_ = false;
    double pointerX_ = 0, pointerY_ = 0;  // where the pointer entered
    FrameStats stats_;
};

struct Session::Listeners {
    static constexpr wl_registry_listener registry = {
        .global = [](void* data, wl_registry*, uint32_t name, const char* interface,
                     uint32_t version) { static_cast<Session*>(data)->global(name, interface, version); },
        .global_remove = [](void* data, wl_registry*,
                            uint32_t name) { static_cast<Session*>(data)->globalRemoved(name); },
    };

    static constexpr wl_callback_listener sync = {
        .done =
            [](void* data, wl_callback* callback, uint32_t) {
                *static_cast<bool*>(data) = true;
                wl_callback_destroy(callback);
            },
    };

    static constexpr xdg_wm_base_listener wmBase = {
        .ping = [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); },
    };

    static Output& outputData(void* data) { return static_cast<BoundOutput*>(data)->output; }
    static constexpr wl_output_listener output = {
        .geometry = [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                       int32_t) {},
        .mode =
            [](void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
                if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
                outputData(data).modeWidth = width;
                outputData(data).modeHeight = height;
            },
        .done =
            [](void* data, wl_output*) {
                auto* bound = static_cast<BoundOutput*>(data);
                bound->session.outputDone(bound->output);
            },
        .scale = [](void* data, wl_output*, int32_t factor) { outputData(data).scale = std::max(factor, 1); },
        .name = [](void* data, wl_output*, const char* name) { outputData(data).name = name; },
        .description = [](void*, wl_output*, const char*) {},
    };
};

Session::~Session() {
    surfaces_.clear();
    seats_.clear();
    for (auto& bound : outputs_) {
        if (wl_output_get_version(bound->output.proxy) >= outputReleaseSince)
            wl_output_release(bound->output.proxy);
        else
            wl_output_destroy(bound->output.proxy);
    }
    if (globals_.layerShell) {
        if (zwlr_layer_shell_v1_get_version(globals_.layerShell) >= layerShellDestroySince)
            zwlr_layer_shell_v1_destroy(globals_.layerShell);
        else
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(globals_.layerShell));
    }
    if (globals_.wmBase) xdg_wm_base_destroy(globals_.wmBase);
    if (globals_.fractionalScale) wp_fractional_scale_manager_v1_destroy(globals_.fractionalScale);
    if (globals_.viewporter) wp_viewporter_destroy(globals_.viewporter);
    if (globals_.shm) wl_shm_destroy(globals_.shm);
    if (globals_.compositor) wl_compositor_destroy(globals_.compositor);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_flush(display_);
}

void Session::global(uint32_t name, const char* interface, uint32_t version) {
    const auto bind = [&](const wl_interface* type, uint32_t highest) {
        return wl_registry_bind(registry_, name, type, std::min(version, highest));
    };
    const std::string_view kind = interface;
    if (kind == wl_compositor_interface.name && !globals_.compositor) {
        globals_.compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, compositorVersion));
    } else if (kind == wl_shm_interface.name && !globals_.shm) {
        globals_.shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (kind == xdg_wm_base_interface.name && !globals_.wmBase) {
        globals_.wmBase = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, wmBaseVersion));
        xdg_wm_base_add_listener(globals_.wmBase, &Listeners::wmBase, this);
    } else if (kind == zwlr_layer_shell_v1_interface.name && !globals_.layerShell) {
        globals_.layerShell =
            static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, layerShellVersion));
    } else if (kind == wp_viewporter_interface.name && !globals_.viewporter) {
        globals_.viewporter = static_cast<wp_viewporter*>(bind(&wp_viewporter_interface, 1));
    } else if (kind == wp_fractional_scale_manager_v1_interface.name && !globals_.fractionalScale) {
        globals_.fractionalScale = static_cast<wp_fractional_scale_manager_v1*>(
            bind(&wp_fractional_scale_manager_v1_interface, 1));
    } else if (kind == wl_output_interface.name) {
        auto bound = std::make_unique<BoundOutput>(BoundOutput{*this, Output{}});
        bound->output.globalName = name;
        bound->output.proxy = static_cast<wl_output*>(bind(&wl_output_interface, outputVersion));
        wl_output_add_listener(bound->output.proxy, &Listeners::output, bound.get());
        outputs_.push_back(std::move(bound));
        // Without done events (version 1) the output is as complete as it gets now.
        if (version < 2) outputDone(outputs_.back()->output);
    } else if (kind == wl_seat_interface.name && config_.mode != WaylandMode::wallpaper) {
        // A wallpaper listens to nobody; every other mode reads keys, and the
        // saver every kind of input.
        auto* seat = static_cast<wl_seat*>(bind(&wl_seat_interface, seatVersion));
        seats_.push_back(std::make_unique<Seat>(seat, name, *this));
    }
}

void Session::globalRemoved(uint32_t name) {
    std::erase_if(seats_, [&](const auto& seat) { return seat->globalName() == name; });
    const auto it = std::find_if(outputs_.begin(), outputs_.end(),
                                 [&](const auto& bound) { return bound->output.globalName == name; });
    if (it == outputs_.end()) return;
    const Output* output = &(*it)->output;
    report("output " + output->name + " removed");
    std::erase_if(surfaces_, [&](const auto& s) { return s->output() == output; });
    for (auto& s : surfaces_) s->forgetOutput(output);
    if (wl_output_get_version(output->proxy) >= outputReleaseSince)
        wl_output_release(output->proxy);
    else
        wl_output_destroy(output->proxy);
    outputs_.erase(it);
}

void Session::outputDone(Output& output) {
    if (output.name.empty()) output.name = "output-" + std::to_string(output.globalName);
    if (output.ready) {
        for (auto& s : surfaces_) s->outputChanged();
        return;
    }
    output.ready = true;
    char line[160];
    std::snprintf(line, sizeof line, "output %s %dx%d scale %d", output.name.c_str(), output.modeWidth,
                  output.modeHeight, output.scale);
    report(line);
    if (started_) addSurfacesFor(output);
}

// One surface per output in every mode but the window.
void Session::addSurfacesFor(const Output& output) {
    SurfaceRole role = SurfaceRole::fullscreen;
    switch (config_.mode) {
    case WaylandMode::window: return;
    case WaylandMode::fullscreen: role = SurfaceRole::fullscreen; break;
    case WaylandMode::saver: role = SurfaceRole::overlay; break;
    case WaylandMode::wallpaper: role = SurfaceRole::background; break;
    }
    surfaces_.push_back(std::make_unique<ShownSurface>(*this, globals_, role, &output, settings_));
}

const Output* Session::outputOf(const wl_output* proxy) const {
    for (const auto& bound : outputs_)
        if (bound->output.proxy == proxy) return &bound->output;
    return nullptr;
}

std::string Session::missingGlobal() const {
    if (!globals_.compositor || wl_compositor_get_version(globals_.compositor) < 3)
        return "the compositor offers no wl_compositor of version 3 or later";
    if (!globals_.shm) return "the compositor offers no shared-memory buffers (wl_shm)";
    const bool layers = config_.mode == WaylandMode::saver || config_.mode == WaylandMode::wallpaper;
    if (layers && !globals_.layerShell)
        return "the compositor has no layer shell (zwlr_layer_shell_v1), which --saver and --wallpaper need; "
               "use --fullscreen (GNOME, weston)";
    if (!layers && !globals_.wmBase) return "the compositor has no xdg-shell (xdg_wm_base) for windows";
    return {};
}

void Session::reportGlobals() const {
    std::string line = "protocols: wl_compositor " + std::to_string(wl_compositor_get_version(globals_.compositor)) +
                       ", wl_shm";
    if (globals_.layerShell)
        line += ", zwlr_layer_shell_v1 " + std::to_string(zwlr_layer_shell_v1_get_version(globals_.layerShell));
    if (globals_.wmBase) line += ", xdg_wm_base " + std::to_string(xdg_wm_base_get_version(globals_.wmBase));
    if (globals_.viewporter) line += ", wp_viewporter";
    if (globals_.fractionalScale) line += ", wp_fractional_scale_manager_v1";
    report(line);
}

bool Session::start() {
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &Listeners::registry, this);
    // The first round trip brings the globals, the second the first events
    // of the outputs and seats bound in the first.
    if (!roundtrip() || !roundtrip()) return false;
    if (const std::string missing = missingGlobal(); !missing.empty()) {
        fail(missing);
        return false;
    }
    reportGlobals();
    started_ = true;
    if (config_.mode == WaylandMode::window)
        surfaces_.push_back(std::make_unique<ShownSurface>(*this, globals_, SurfaceRole::window, nullptr, settings_));
    for (const auto& bound : outputs_)
        if (bound->output.ready) addSurfacesFor(bound->output);
    if (!roundtrip()) return false;  // the first configures
    // Views are made now rather than at the first frame, so their animation
    // interval can pace the loop from the start.
    for (auto& s : surfaces_) s->applySize();
    return true;
}

double Session::animationInterval() const {
    for (const auto& s : surfaces_)
        if (const ScreenSaverView* view = s->view()) return view->animationTimeInterval();
    return 1.0 / 30.0;
}

// Waits until the compositor has handled every request sent so far, while
// still taking stop signals. False on a signal or a lost connection.
bool Session::roundtrip() {
    bool done = false;
    wl_callback* sync = wl_display_sync(display_);
    wl_callback_add_listener(sync, &Listeners::sync, &done);
    while (!done) {
        if (signals_.take() || failed_) {
            wl_callback_destroy(sync);
            return false;
        }
        prepareWait();
        pollfd waits[2] = {{eventHandle(), POLLIN, 0}, {signals_.handle(), POLLIN, 0}};
        const bool woke = poll(waits, 2, -1) > 0;
        finishWait(woke && (waits[0].revents & readableEvents));
        dispatch();
    }
    return !failed_;
}

// A protocol error or a compositor that went away ends the run as a failure.
void Session::lost() {
    if (failed_) return;
    const int error = wl_display_get_error(display_);
    if (error == EPROTO) {
        const wl_interface* interface = nullptr;
        uint32_t id = 0;
        const uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
        fail("protocol error " + std::to_string(code) + " on " + (interface ? interface->name : "?") + "@" +
             std::to_string(id));
    } else {
        fail(std::string("lost the connection to the compositor: ") + std::strerror(error ? error : errno));
    }
    stop(StopReason::windowGone, "connection lost");
}

// Reads what the socket holds without blocking, then handles every event
// queued; surfaces the compositor took away are dropped.
void Session::dispatch() {
    if (!failed_) {
        if (wl_display_prepare_read(display_) == 0) {
            if (!pollReadable(eventHandle()))
                wl_display_cancel_read(display_);
            else if (wl_display_read_events(display_) < 0)
                lost();
        }
        if (!failed_ && wl_display_dispatch_pending(display_) < 0) lost();
    }
    std::erase_if(surfaces_, [&](const auto& s) {
        if (s->closed()) report(s->describe() + " closed by the compositor");
        return s->closed();
    });
}

void Session::prepareWait() {
    if (failed_) return;
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
        lost();
        return;
    }
    while (wl_display_prepare_read(display_) != 0) {
        if (wl_display_dispatch_pending(display_) < 0) {
            lost();
            return;
        }
    }
    reading_ = true;
}

void Session::finishWait(bool readable) {
    if (!reading_) return;
    reading_ = false;
    if (!readable)
        wl_display_cancel_read(display_);
    else if (wl_display_read_events(display_) < 0)
        lost();
}

void Session::frame(StopSignals& signals) {
    const auto started = FrameStats::Clock::now();
    const std::string* overlay = config_.run.showFps ? &stats_.text() : nullptr;
    bool presented = false;
    for (auto& s : surfaces_) {
        if (&s != &surfaces_.front() && signals.take()) break;  // the loop looked just before the first
        if (!s->present(overlay)) continue;
        presented = true;
        if (afterFrame_) afterFrame_(*s->view());
    }
    if (!failed_ && wl_display_flush(display_) < 0 && errno != EAGAIN) lost();
    if (config_.run.extraFrameTime.count() > 0) std::this_thread::sleep_for(config_.run.extraFrameTime);
    if (presented) stats_.frameDone(started, FrameStats::Clock::now());
}

void Session::keyPressed(uint32_t key) {
    if (config_.mode == WaylandMode::saver)
        stop(StopReason::quit, "key press");
    else if (key == KEY_ESC || key == KEY_Q)
        stop(StopReason::quit, "q or Esc");
}

// The saver and full-screen windows hide the pointer (a null cursor, set
// on every enter as the protocol asks). The saver measures motion from here.
void Session::pointerEntered(wl_pointer* pointer, uint32_t serial, double x, double y) {
    if (config_.mode == WaylandMode::saver || config_.mode == WaylandMode::fullscreen)
        wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
    pointerInside_ = true;
    pointerX_ = x;
    pointerY_ = y;
}

void Session::pointerMoved(double x, double y) {
    if (pointerInside_ && movedFar(pointerX_, pointerY_, x, y)) inputInSaver("pointer motion");
}

}  // namespace

int runWaylandSaver(Host& host, StopSignals& signals, const WaylandSaverConfig& config, const ViewFactory& makeView,
                    const FrameObserver& afterFrame) {
    const auto fail = [&](const std::string& message) {
        std::fprintf(stderr, "%s: %s\n", config.run.programName.c_str(), message.c_str());
        return 1;
    };
    if (const std::optional<int> status = checkBeforeConnecting(signals, config.run.programName)) return *status;

    // libwayland's own messages would come on top of ours; every failure is
    // reported here in one line.
    wl_log_set_handler_client([](const char*, va_list) {});
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        const char* name = std::getenv("WAYLAND_DISPLAY");
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        std::string message = std::string("cannot connect to the Wayland display \"") +
                              (name && *name ? name : "wayland-0") + "\"";
        if ((!name || name[0] != '/') && (!runtime || !*runtime)) message += " (XDG_RUNTIME_DIR is not set)";
        return fail(message);
    }
    int status = 0;
    try {
        Session session(display, host, signals, config, makeView, afterFrame);
        if (!session.start()) {
            status = session.failed() ? 1 : 0;  // not failed: a stop signal came first
        } else {
            runUntilStopped(session, session.animationInterval(), signals, host.notifications, config.run);
            status = session.failed() ? 1 : 0;
        }
    } catch (const std::bad_alloc&) {
        status = fail("not enough memory for the frames");
    } catch (const std::runtime_error& error) {
        status = fail(error.what());
    }
    wl_display_disconnect(display);
    return status;
}

}  // namespace platform
