#pragma once

#include <X11/Xlib.h>

namespace platform {

// Marks a window of our own, before it is mapped, as a desktop window in the
// window manager's terms (EWMH): below every other window, on every
// workspace, left out of task bars and pagers, never given the keyboard.
// Where the server has the Shape extension (1.1 or later) its input area is
// made empty as well, so clicks and pointer motion go to whatever is below
// it. True when the input shape was set.
bool makeWallpaperWindow(Display* d, Window window);

// Asks RandR (1.2 or later) for notice of monitors turned on, off, moved or
// resized on the default screen. Returns the extension's first event code,
// or -1 when there is no such RandR and nothing can be followed.
int watchMonitorChanges(Display* d);

// True for an event that can mean the monitors changed, with Xlib's idea of
// the screen brought up to date. randrEventBase is what
// watchMonitorChanges returned.
bool isMonitorChange(XEvent& event, int randrEventBase);

}  // namespace platform
