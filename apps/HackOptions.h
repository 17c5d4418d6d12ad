#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "QuillmoorMothwake/Environment.h"
#include "frontends/x11/X11Saver.h"

// The command line of the desktop saver, in the conventions of XScreenSaver
// hacks: one-dash and two-dash spellings alike.
struct HackOptions {
    platform::X11Target target = platform::X11Target::ownWindow;
    unsigned long windowId = 0;  // for X11Target::window
    std::string scene;
    quillmoor::SceneSettings sceneSettings;  // -pan-frames, -animal
    std::optional<uint64_t> seed;
    std::optional<long> frames;  // steps after the first frame, then the last one is held
    bool showFps = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program name. screensaverWindow is the value
// of XSCREENSAVER_WINDOW (null or empty when unset): XScreenSaver sets it alongside
// -root and xsecurelock sets it alone, so it names the window to draw into
// unless -window, -fullscreen or -window-id ask otherwise. On failure the
// result is a one-line message.
std::variant<HackOptions, std::string> parseHackOptions(std::span<char* const> args, const char* screensaverWindow);

std::string hackUsage(const char* program);
