#include "apps/HackOptions.h"

#include "apps/Options.h"

namespace {

enum class Choice { none, ownWindow, fullscreen, root, window, saver, wallpaper };

const char* optionOf(Choice choice) {
    switch (choice) {
    case Choice::root: return "-root";
    case Choice::window: return "-window-id";
    case Choice::saver: return "--saver";
    default: return "";
    }
}

// Which display system to use: one asked for outright, else the only one
// that can do what was asked, else Wayland wherever a Wayland session is.
std::variant<FrontEndChoice, std::string> chooseFrontEnd(Choice choice, std::optional<FrontEndChoice> forced,
                                                         bool screensaverWindow, bool waylandSession) {
    const bool x11Only = choice == Choice::root || choice == Choice::window;
    const bool waylandOnly = choice == Choice::saver;
    if (forced == FrontEndChoice::wayland && x11Only) return std::string(optionOf(choice)) + " is for X11 only";
    if (forced == FrontEndChoice::x11 && waylandOnly) return std::string(optionOf(choice)) + " is for Wayland only";
    if (forced) return *forced;
    if (waylandOnly) return FrontEndChoice::wayland;
    if (x11Only || (choice == Choice::none && screensaverWindow)) return FrontEndChoice::x11;
    return waylandSession ? FrontEndChoice::wayland : FrontEndChoice::x11;
}

platform::WaylandMode waylandModeOf(Choice choice) {
    switch (choice) {
    case Choice::fullscreen: return platform::WaylandMode::fullscreen;
    case Choice::saver: return platform::WaylandMode::saver;
    case Choice::wallpaper: return platform::WaylandMode::wallpaper;
    default: return platform::WaylandMode::window;
    }
}

}  // namespace

std::variant<HackOptions, std::string> parseHackOptions(std::span<char* const> args, const char* screensaverWindow,
                                                        const char* waylandDisplay) {
    if (screensaverWindow && !*screensaverWindow) screensaverWindow = nullptr;  // set but empty counts as unset
    HackOptions options;
    Choice choice = Choice::none;  // the last window option given wins
    std::optional<FrontEndChoice> forced;  // the last of --x11 and --wayland wins

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string argument = args[i];
        const auto name = optionName(argument);
        if (!name) return "unexpected argument \"" + argument + "\"";
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return std::string(args[++i]);
        };

        if (*name == "root") {
            choice = Choice::root;
        } else if (*name == "window") {
            choice = Choice::ownWindow;
        } else if (*name == "fullscreen") {
            choice = Choice::fullscreen;
        } else if (*name == "saver") {
            choice = Choice::saver;
        } else if (*name == "wallpaper") {
            choice = Choice::wallpaper;
        } else if (*name == "x11") {
            forced = FrontEndChoice::x11;
        } else if (*name == "wayland") {
            forced = FrontEndChoice::wayland;
        } else if (*name == "window-id") {
            const auto text = value();
            if (!text) return "--window-id needs a window id";
            const auto id = parseWindowId(*text);
            if (!id) return "bad window id \"" + *text + "\" (decimal or 0x-hex)";
            choice = Choice::window;
            options.windowId = *id;
        } else if (const SaverSettingInfo* setting = findSaverSetting(*name)) {
            const auto text = setting->isSwitch ? std::optional<std::string>("1") : value();
            if (!text) return "--" + *name + " needs a value";
            if (auto error = readSaverSetting(*setting, *text, options.settings)) return *error;
        } else if (*name == "frames") {
            const auto text = value();
            if (!text) return "--frames needs a number";
            const auto n = parseCount(*text, 1'000'000'000);
            if (!n) return "bad frame count \"" + *text + "\" (0 ... 1000000000)";
            options.frames = static_cast<long>(*n);
        } else if (*name == "verbose") {
            options.verbose = true;
        } else if (*name == "add-to-xscreensaver") {
            options.addToXScreenSaver = true;
        } else if (*name == "help" || *name == "h") {
            options.help = true;
        } else if (*name == "version") {
            options.version = true;
        } else {
            return "unknown option \"" + argument + "\"";
        }
    }

    const auto frontEnd = chooseFrontEnd(choice, forced, screensaverWindow != nullptr,
                                         waylandDisplay != nullptr && *waylandDisplay != '\0');
    if (const auto* error = std::get_if<std::string>(&frontEnd)) return *error;
    options.frontEnd = std::get<FrontEndChoice>(frontEnd);
    if (options.frontEnd == FrontEndChoice::wayland) {
        options.waylandMode = waylandModeOf(choice);
        return options;
    }

    const auto useScreensaverWindow = [&]() -> std::optional<std::string> {
        const auto id = parseWindowId(screensaverWindow);
        if (!id) return "bad XSCREENSAVER_WINDOW \"" + std::string(screensaverWindow) + "\" (decimal or 0x-hex)";
        options.target = platform::X11Target::window;
        options.windowId = *id;
        return std::nullopt;
    };
    switch (choice) {
    case Choice::ownWindow: options.target = platform::X11Target::ownWindow; break;
    case Choice::fullscreen: options.target = platform::X11Target::fullscreen; break;
    case Choice::window: options.target = platform::X11Target::window; break;
    case Choice::wallpaper: options.target = platform::X11Target::wallpaper; break;
    case Choice::saver: break;  // Wayland's alone: chosen above
    case Choice::root:
        options.target = platform::X11Target::root;
        if (screensaverWindow)
            if (auto error = useScreensaverWindow()) return *error;
        break;
    case Choice::none:
        options.target = platform::X11Target::ownWindow;
        if (screensaverWindow)
            if (auto error = useScreensaverWindow()) return *error;
        break;
    }
    return options;
}

std::string hackUsage(const char* program) {
    const std::string p = program;
    return "Usage: " + p + " [options]\n"
           "A night forest in coarse pixel art, as an X11 or Wayland screen saver.\n"
           "\n"
           "Where to draw (the last one given wins):\n"
           "  -window             a resizable window of its own (the default)\n"
           "  -fullscreen         one full-screen window per monitor\n"
           "  -root               X11: the root window, or the window named by XSCREENSAVER_WINDOW\n"
           "  -window-id ID       X11: an existing window (decimal or 0x-hex)\n"
           "  -saver              Wayland: above everything on every output until a key, click,\n"
           "                      pointer motion or touch (as an idle daemon starts it)\n"
           "  -wallpaper          below every window on every monitor, on every workspace,\n"
           "                      taking no input (X11: a desktop window per monitor)\n"
           "  With no window option, XSCREENSAVER_WINDOW (as xsecurelock sets it) is used when set.\n"
           "\n"
           "Display system: Wayland when WAYLAND_DISPLAY is set and nothing X11-only is asked for,\n"
           "else X11; -x11 or -wayland decides outright.\n"
           "\n"
           "Other options:\n"
           "  -scene NAME         the scene to show (" + knownSceneNames() + ")\n"
           "  -speed F            scroll speed relative to the scene's own pace, 0.01 ... 1000\n"
           "                      (1: its own, 2: twice as fast, 0.5: half as fast)\n"
           "  -pan-frames N       frames (1/30 s each) per one-column scroll, 1 ... 1000000000\n"
           "                      (default 1800 for the forest, 60 for the skyline; wins over -speed)\n"
           "  -animal NAME        only this animal in the forest, the first one at once (moose, bear, fox)\n"
           "  -seed N             start from this 64-bit seed (decimal or 0x-hex) instead of a random one\n"
           "  -grown              start every scene where it looks finished, stepped there before the\n"
           "                      first frame (frame " + std::to_string(grownFrame("forest")) + " of the forest, " + std::to_string(grownFrame("skyline")) + " of the skyline)\n"
           "  -frames N           step the scene N times after the first frame, then hold the last one\n"
           "  -fps                show the frame rate and frame time in a corner\n"
           "  -verbose            report windows, sizes, canvas changes and seeds on stderr\n"
           "  -add-to-xscreensaver  add both scenes to the programs: list of ~/.xscreensaver and exit\n"
           "  -help, -version\n"
           "\n"
           "Every option may be spelled with one dash or two. In its own window, q or Esc quits.\n"
           "-pan-frames and -animal win over MOTHWAKES_PAN_FRAMES and MOTHWAKES_ANIMAL, which win\n"
           "over -speed.\n";
}
