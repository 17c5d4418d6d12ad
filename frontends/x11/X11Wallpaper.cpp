#include "frontends/x11/X11Wallpaper.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/shape.h>

#include <iterator>

namespace platform {

namespace {

void setAtoms(Display* d, Window window, const char* property, const Atom* atoms, int count) {
    XChangeProperty(d, window, XInternAtom(d, property, False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(atoms), count);
}

// An input shape of no rectangles: the window still shows, but the pointer
// passes through it.
bool takeNoInput(Display* d, Window window) {
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XShapeQueryExtension(d, &event, &error) || !XShapeQueryVersion(d, &major, &minor) ||
        !(major > 1 || (major == 1 && minor >= 1)))
        return false;
    XShapeCombineRectangles(d, window, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    return true;
}

}  // namespace

bool makeWallpaperWindow(Display* d, Window window) {
    const Atom type = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
    setAtoms(d, window, "_NET_WM_WINDOW_TYPE", &type, 1);

    const Atom states[] = {XInternAtom(d, "_NET_WM_STATE_BELOW", False), XInternAtom(d, "_NET_WM_STATE_STICKY", False),
                           XInternAtom(d, "_NET_WM_STATE_SKIP_TASKBAR", False),
                           XInternAtom(d, "_NET_WM_STATE_SKIP_PAGER", False)};
    setAtoms(d, window, "_NET_WM_STATE", states, static_cast<int>(std::size(states)));

    // Every workspace.
    const long allDesktops = 0xFFFFFFFF;
    XChangeProperty(d, window, XInternAtom(d, "_NET_WM_DESKTOP", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&allDesktops), 1);

    // No keyboard focus: a window manager that follows ICCCM never gives it.
    XWMHints hints{};
    hints.flags = InputHint;
    hints.input = False;
    XSetWMHints(d, window, &hints);

    return takeNoInput(d, window);
}

int watchMonitorChanges(Display* d) {
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(d, &event, &error) || !XRRQueryVersion(d, &major, &minor) ||
        !(major > 1 || (major == 1 && minor >= 2)))
        return -1;
    XRRSelectInput(d, DefaultRootWindow(d), RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    return event;
}

bool isMonitorChange(XEvent& event, int randrEventBase) {
    if (randrEventBase < 0) return false;
    if (event.type == randrEventBase + RRScreenChangeNotify) {
        XRRUpdateConfiguration(&event);
        return true;
    }
    return event.type == randrEventBase + RRNotify;
}

}  // namespace platform
