#pragma once

#include <cstdint>
#include <string>

#include "platform/SaverLoop.h"
#include "platform/SaverSurface.h"
#include "platform/StopSignals.h"

namespace platform {

// Where the Windows host shows its views.
enum class WindowsTarget {
    screens,  // one topmost borderless window per monitor, each with its own view
    preview,  // a child window filling the client area of a window of the settings
};

struct WindowsSaverConfig {
    WindowsTarget target = WindowsTarget::screens;
    std::uintptr_t parent = 0;  // the window to preview in, for WindowsTarget::preview
    // For tests, where a screenshot cannot see the picture (Wine shows nothing
    // one process draws into another's window): after each frame the first
    // window's pixels are written to this file as a binary PPM, whole or not at all.
    std::string pixelsOut;
    SaverRunSettings run;
};

// The Windows host: makes its windows and one view per window, and runs the
// shared frame loop at the views' animation interval until the user moves
// (a key, a button, the wheel, the pointer more than a few pixels; screens
// only), the saver loses activation, a window is closed, the session ends or
// the preview's parent goes away. Returns the exit status: 0 after a stop, 1
// when it cannot start or runs out of memory (message on stderr).
int runWindowsSaver(Host& host, StopSignals& signals, const WindowsSaverConfig& config, const ViewFactory& makeView,
                    const FrameObserver& afterFrame = {});

}  // namespace platform
