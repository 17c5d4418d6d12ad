#pragma once

#include <string>

#include "platform/SaverLoop.h"
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
    std::string appId = "saver";
    SaverRunSettings run;  // its program name also names the layer surfaces
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
