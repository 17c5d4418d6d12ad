#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "frontends/wayland/WaylandSaver.h"
#include "frontends/x11/X11Saver.h"
#include "settings/SaverSettings.h"

enum class FrontEndChoice { x11, wayland };

// The command line of the desktop saver, in the conventions of XScreenSaver
// hacks: one-dash and two-dash spellings alike.
struct HackOptions {
    FrontEndChoice frontEnd = FrontEndChoice::x11;
    platform::X11Target target = platform::X11Target::ownWindow;  // when frontEnd is x11
    unsigned long windowId = 0;                                    // for X11Target::window
    platform::WaylandMode waylandMode = platform::WaylandMode::window;  // when frontEnd is wayland
    SaverSettings settings;      // -scene, -speed, -pan-frames, -animal, -fps, -seed
    std::optional<long> frames;  // steps after the first frame, then the last one is held
    bool verbose = false;
    bool addToXScreenSaver = false;  // add the saver to ~/.xscreensaver and exit
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program name. screensaverWindow is the value
// of XSCREENSAVER_WINDOW (null or empty when unset): XScreenSaver sets it alongside
// -root and xsecurelock sets it alone, so it names the window to draw into
// unless -window, -fullscreen or -window-id ask otherwise. waylandDisplay is
// the value of WAYLAND_DISPLAY: when it is set, Wayland is used unless an
// X11-only way to draw (-root, -window-id, XSCREENSAVER_WINDOW) is asked for;
// --saver is Wayland's own; --x11 and --wayland decide
// outright. On failure the result is a one-line message.
std::variant<HackOptions, std::string> parseHackOptions(std::span<char* const> args, const char* screensaverWindow,
                                                        const char* waylandDisplay = nullptr);

std::string hackUsage(const char* program);
