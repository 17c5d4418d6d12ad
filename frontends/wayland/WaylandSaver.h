#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/SaverSurface.h"
#include "platform/StopSignals.h"

namespace platform {

// Where the Wayland host shows its views.
enum class WaylandMode {
    window,      // one resizable xdg-shell window
    fullscreen,  // one full-screen xdg-shell window per output
    saver,       // one surface per output above everything (layer shell); input ends the run
    wallpaper,   // one surface per output below every window (layer shell); no input
};

struct WaylandSaverConfig {
    WaylandMode mode = WaylandMode::window;
    bool showFps = false;
    bool verbose = false;               // report protocols, surfaces, sizes and the stop on stderr
    std::string programName = "saver";  // prefix of every message, and the layer surfaces' namespace
    std::string windowTitle = "Screen Saver";
    std::string appId = "saver";
    std::optional<long> holdAfter;               // steps after which each view's picture is held
    std::chrono::milliseconds extraFrameTime{};  // added to every frame, to test slow frames
};

// The Wayland host: connects to the compositor, makes one surface and one
// view per output (or one window), and runs the shared frame loop at the
// views' animation interval until a stop signal, input in saver mode, q or
// Esc or a close request on a window, or the loss of the compositor.
// Stopping posts the host's stop notification, then releases views, buffers
// and surfaces. Returns the exit status: 0 after a stop, 1 when it cannot
// start, runs out of memory or loses the compositor (message on stderr).
// afterFrame, when given, sees every view after each frame it drew.
int runWaylandSaver(Host& host, StopSignals& signals, const WaylandSaverConfig& config, const ViewFactory& makeView,
                    const FrameObserver& afterFrame = {});

}  // namespace platform
