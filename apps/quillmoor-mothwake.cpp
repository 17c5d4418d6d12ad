// The desktop saver: an XScreenSaver / xsecurelock hack on X11, a saver on
// every output of a Wayland compositor, or a wallpaper, a window of its own
// or full screen on either.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <utility>

#include "apps/HackOptions.h"
#include "apps/TestHooks.h"
#include "apps/XScreenSaverSetup.h"
#include "settings/SaverHost.h"

namespace {

constexpr const char* programName = "quillmoor-mothwake";
constexpr const char* windowTitle = "Quillmoor Mothwake";

int runFrontEnd(const HackOptions& options, platform::Host& host, platform::StopSignals& signals,
                const platform::ViewFactory& makeView, const platform::FrameObserver& afterFrame) {
    const char* missing = nullptr;
    const platform::SaverRunSettings run{options.settings.showFps, options.verbose, programName, windowTitle, options.frames, testFrameDelay()};
    if (options.frontEnd == FrontEndChoice::wayland) {
#ifdef QUILLMOOR_HAVE_WAYLAND
        return platform::runWaylandSaver(host, signals, {options.waylandMode, programName, run}, makeView, afterFrame);
#endif
        missing = "Wayland";
    } else {
#ifdef QUILLMOOR_HAVE_X11
        return platform::runX11Saver(host, signals, {options.target, options.windowId, run}, makeView, afterFrame);
#endif
        missing = "X11";
    }
    std::fprintf(stderr, "%s: built without %s support\n", programName, missing);
    return 1;
}

// Where Debian's XScreenSaver keeps its defaults and the programs it runs.
constexpr const char* xscreensaverDefaults = "/etc/X11/app-defaults/XScreenSaver";
constexpr const char* xscreensaverPrograms = "/usr/libexec/xscreensaver";

int runXScreenSaverSetup() {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        std::fprintf(stderr, "%s: HOME is not set, so there is no ~/.xscreensaver to add to\n", programName);
        return 2;
    }
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        std::fprintf(stderr, "%s: cannot tell where this program is: %s\n", programName, error.message().c_str());
        return 2;
    }
    const auto outcome = addToXScreenSaver({std::string(home) + "/.xscreensaver", xscreensaverDefaults},
                                           programAsXScreenSaverRunsIt(self, xscreensaverPrograms), std::time(nullptr));
    if (!outcome.ok) {
        std::fprintf(stderr, "%s: %s\n", programName, outcome.text.c_str());
        return 2;
    }
    std::fputs(outcome.text.c_str(), stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // First of all, so a stop request at any later moment ends in a clean exit.
    platform::StopSignals::block();
    signalStartToTest();

    const auto parsed = parseHackOptions({argv + 1, static_cast<size_t>(argc - 1)}, std::getenv("XSCREENSAVER_WINDOW"),
                                         std::getenv("WAYLAND_DISPLAY"));
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "%s: %s (see --help)\n", programName, error->c_str());
        return 2;
    }
    const HackOptions& options = std::get<HackOptions>(parsed);
    if (options.help || options.version) {
        std::fputs(options.help ? hackUsage(programName).c_str() : (std::string(programName) + " " QUILLMOOR_VERSION "\n").c_str(), stdout);
        return 0;
    }
    if (options.addToXScreenSaver) return runXScreenSaverSetup();

    // A stop request never waits for a frame or for the display server: what
    // has not ended by itself shortly after it is ended directly.
    platform::StopSignals signals(platform::StopSignals::saverGrace, options.verbose ? programName : "");
    SaverHost saverHost(options.settings, signals);
    // With -verbose, every change of a view's canvas size is reported with the
    // seed of its new scene, so a run can be repeated with -seed; a new scale
    // alone keeps the scene, and its seed.
    struct Shown {
        int width = 0, height = 0;
        double scale = 0;
        unsigned long long seed = 0;
    };
    std::map<const platform::ScreenSaverView*, Shown> shown;
    const platform::FrameObserver reportCanvas = [&](const platform::ScreenSaverView& view) {
        const auto* saver = dynamic_cast<const quillmoor::PixelSaverView*>(&view);
        if (!saver || !saver->canvas()) return;
        Shown& last = shown[&view];
        const int width = saver->canvas()->width, height = saver->canvas()->height;
        if (width == last.width && height == last.height && saver->pixelScale() == last.scale) return;
        if (width != last.width || height != last.height) last.seed = saverHost.lastSeed();
        last = {width, height, saver->pixelScale(), last.seed};
        std::fprintf(stderr, "%s: canvas %dx%d scale %g seed 0x%016llx\n", programName, width, height, last.scale,
                     last.seed);
    };
    return runFrontEnd(options, saverHost.host, signals, saverHost.makeView,
                       options.verbose ? reportCanvas : platform::FrameObserver{});
}
