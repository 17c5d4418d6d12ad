// A small X client for the end-to-end tests.
//
//   x11-probe window WxH      creates and maps a window, prints its id in
//                             decimal, then obeys lines on stdin:
//                             "resize W H", "destroy", "quit"; prints "ok"
//                             after each, once the server has done it.
//   x11-probe close ID        asks a window to close (WM_DELETE_WINDOW).
//   x11-probe vroot ID TARGET sets __SWM_VROOT on window ID to TARGET, as a
//                             virtual-root window manager would.
//   x11-probe grab SECONDS    grabs the server (no other client is served),
//                             prints "grabbed", and lets go after SECONDS.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

namespace {

int usage() {
    std::fprintf(stderr, "usage: x11-probe window WxH | close ID | vroot ID TARGET | grab SECONDS\n");
    return 2;
}

int makeWindow(Display* d, const std::string& size) {
    int w = 0, h = 0;
    if (std::sscanf(size.c_str(), "%dx%d", &w, &h) != 2 || w < 1 || h < 1) return usage();
    XSetWindowAttributes a{};
    a.background_pixel = BlackPixel(d, DefaultScreen(d));
    const Window win = XCreateWindow(d, DefaultRootWindow(d), 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                                     CopyFromParent, InputOutput, CopyFromParent, CWBackPixel, &a);
    XMapWindow(d, win);
    XSync(d, False);
    std::cout << win << std::endl;
    std::string command;
    while (std::cin >> command) {
        if (command == "resize") {
            unsigned nw = 0, nh = 0;
            std::cin >> nw >> nh;
            XResizeWindow(d, win, nw, nh);
        } else if (command == "destroy") {
            XDestroyWindow(d, win);
        } else if (command == "quit") {
            break;
        }
        XSync(d, False);
        std::cout << "ok" << std::endl;
    }
    return 0;
}

int askToClose(Display* d, const std::string& id) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = std::strtoul(id.c_str(), nullptr, 0);
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, event.xclient.window, False, NoEventMask, &event);
    XSync(d, False);
    return 0;
}

int setVirtualRoot(Display* d, const std::string& id, const std::string& target) {
    const Window win = std::strtoul(id.c_str(), nullptr, 0);
    const Window value = std::strtoul(target.c_str(), nullptr, 0);
    XChangeProperty(d, win, XInternAtom(d, "__SWM_VROOT", False), XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&value), 1);
    XSync(d, False);
    return 0;
}

int grabServer(Display* d, const std::string& seconds) {
    XGrabServer(d);
    XSync(d, False);
    std::cout << "grabbed" << std::endl;
    std::this_thread::sleep_for(std::chrono::duration<double>(std::strtod(seconds.c_str(), nullptr)));
    XUngrabServer(d);
    XSync(d, False);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "x11-probe: cannot open display\n");
        return 1;
    }
    const std::string command = argv[1];
    int status = 2;
    if (command == "window") status = makeWindow(d, argv[2]);
    else if (command == "close") status = askToClose(d, argv[2]);
    else if (command == "vroot" && argc == 4) status = setVirtualRoot(d, argv[2], argv[3]);
    else if (command == "grab") status = grabServer(d, argv[2]);
    else usage();
    XCloseDisplay(d);
    return status;
}
