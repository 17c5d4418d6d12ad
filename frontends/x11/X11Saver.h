#pragma once

#include <memory>

#include "platform/SaverLoop.h"
#include "platform/SaverSurface.h"
#include "platform/StopSignals.h"

namespace platform {

// Where the X11 host shows its views.
enum class X11Target {
    ownWindow,   // one resizable window of its own
    fullscreen,  // one window of its own per monitor, each with its own view
    root,        // the root window (or the virtual root a window manager provides)
    window,      // an existing window, by id; never a window of its own
    wallpaper,   // one desktop window per monitor below every other window, taking
                 // no input, following monitors as they come and go
};

struct X11SaverConfig {
    X11Target target = X11Target::ownWindow;
    unsigned long windowId = 0;  // for X11Target::window
    SaverRunSettings run;
};

// The X11 host: opens the display, makes one view per window it draws into,
// and runs the shared frame loop at the views' animation interval until a stop
// signal, a quit key or close request on a window of its own, or the
// destruction of the window it draws into. Stopping posts the host's stop
// notification, then releases views, images and windows. Returns the exit
// status: 0 after a stop, 1 when it cannot start or runs out of memory
// (message on stderr). afterFrame, when given, sees every view after each
// frame it drew.
int runX11Saver(Host& host, StopSignals& signals, const X11SaverConfig& config, const ViewFactory& makeView,
                const FrameObserver& afterFrame = {});

}  // namespace platform
