// The desktop saver for X11: an XScreenSaver / xsecurelock hack that can also
// run in a window of its own or full screen on every monitor.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

#include "apps/HackOptions.h"
#include "apps/ViewChoice.h"
#include "platform/X11Saver.h"

namespace {

constexpr const char* programName = "quillmoor-mothwake";

// Hands out the seed given on the command line in place of a random one.
class FixedSeed final : public platform::SecureRandom {
public:
    explicit FixedSeed(uint64_t seed) : seed_(seed) {}
    uint64_t next64() override { return seed_; }

private:
    uint64_t seed_;
};

}  // namespace

int main(int argc, char** argv) {
    const auto parsed = parseHackOptions({argv + 1, static_cast<size_t>(argc - 1)}, std::getenv("XSCREENSAVER_WINDOW"));
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "%s: %s (see --help)\n", programName, error->c_str());
        return 2;
    }
    const HackOptions& options = std::get<HackOptions>(parsed);
    if (options.help) {
        std::fputs(hackUsage(programName).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s %s\n", programName, QUILLMOOR_VERSION);
        return 0;
    }

    platform::SystemSecureRandom systemRandom;
    FixedSeed fixedSeed(options.seed.value_or(0));
    platform::Host host;
    host.process = platform::ProcessInfo::current();
    host.secureRandom = options.seed ? static_cast<platform::SecureRandom*>(&fixedSeed) : &systemRandom;

    const platform::X11SaverConfig config{options.target, options.windowId, options.showFps, options.verbose,
                                          programName, "Quillmoor Mothwake"};
    const platform::ViewFactory makeView = [&](platform::Host& h, platform::Rect frame, bool isPreview) {
        return std::unique_ptr<platform::ScreenSaverView>(makeSaverView(options.scene, h, frame, isPreview));
    };
    // With -verbose, every change of a view's canvas size is reported.
    std::map<const platform::ScreenSaverView*, std::pair<int, int>> canvasSizes;
    const platform::FrameObserver reportCanvas = [&](const platform::ScreenSaverView& view) {
        const auto* saver = dynamic_cast<const quillmoor::PixelSaverView*>(&view);
        if (!saver || !saver->canvas()) return;
        const std::pair size{saver->canvas()->width, saver->canvas()->height};
        if (std::exchange(canvasSizes[&view], size) == size) return;
        std::fprintf(stderr, "%s: canvas %dx%d scale %g\n", programName, size.first, size.second, saver->pixelScale());
    };
    return platform::runX11Saver(host, config, makeView, options.verbose ? reportCanvas : platform::FrameObserver{});
}
