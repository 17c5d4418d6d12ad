#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "settings/SaverSettings.h"

// What Windows asks a screen saver (.scr) to do.
enum class ScrMode {
    saver,     // /s: full screen on every monitor
    preview,   // /p HWND: in the settings' preview window
    settings,  // /c, /c:HWND or nothing: the settings
    password,  // /a: a password change (Windows 95 only): nothing to do
};

struct ScrCommand {
    ScrMode mode = ScrMode::settings;
    std::uintptr_t window = 0;  // the preview's parent, or the settings' owner (0: none given)
    // The stored settings, and for /s and /p the options the X11 program takes over them.
    SaverSettings settings;
    std::optional<long> frames;  // steps after the first frame, then the last one is held
    bool verbose = false;
};

// Parses the arguments after the program name. The command letter is taken
// in either case after "/" or "-", and its window after a colon or as the
// next argument ("/p 1234", "/P:1234"). The settings start from `stored`
// (what the settings dialog kept), and the options of /s and /p win over
// them. On failure the result is one line naming the argument.
std::variant<ScrCommand, std::string> parseScrCommandLine(std::span<const std::string> args,
                                                          const SaverSettings& stored = {});
