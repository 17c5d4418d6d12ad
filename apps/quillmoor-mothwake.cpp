// The desktop saver: an XScreenSaver / xsecurelock hack on X11, a saver or
// wallpaper on every output of a Wayland compositor, or a window of its own
// or full screen on either.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

#include "apps/HackOptions.h"
#include "apps/TestHooks.h"
#include "settings/SeedSource.h"

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

    // A stop request never waits for a frame or for the display server: what
    // has not ended by itself shortly after it is ended directly.
    platform::StopSignals signals(platform::StopSignals::saverGrace, options.verbose ? programName : "");
    SeedSource seeds(options.settings.seed);
    platform::Host host;
    host.process = platform::ProcessInfo::current();
    host.secureRandom = &seeds;
    host.stopRequested = [&signals] { return signals.take() != 0; };  // ends a grown start early

    const platform::ViewFactory makeView = [&](platform::Host& h, platform::Rect frame, bool isPreview) {
        return std::unique_ptr<platform::ScreenSaverView>(
            makeSaverView(options.settings, h, frame, isPreview));
    };
    // With -verbose, every change of a view's canvas size is reported with the
    // seed of its new scene, so a run can be repeated with -seed.
    std::map<const platform::ScreenSaverView*, std::pair<int, int>> canvasSizes;
    const platform::FrameObserver reportCanvas = [&](const platform::ScreenSaverView& view) {
        const auto* saver = dynamic_cast<const quillmoor::PixelSaverView*>(&view);
        if (!saver || !saver->canvas()) return;
        const std::pair size{saver->canvas()->width, saver->canvas()->height};
        if (std::exchange(canvasSizes[&view], size) == size) return;
        std::fprintf(stderr, "%s: canvas %dx%d scale %g seed 0x%016llx\n", programName, size.first, size.second,
                     saver->pixelScale(), static_cast<unsigned long long>(seeds.last()));
    };
    return runFrontEnd(options, host, signals, makeView, options.verbose ? reportCanvas : platform::FrameObserver{});
}
