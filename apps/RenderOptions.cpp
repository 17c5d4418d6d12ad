#include "apps/RenderOptions.h"

#include <algorithm>
#include <iterator>

#include "platform/ClipWriter.h"

std::string renderUsage() {
    return "usage: quillmoor-render [--screen WxH | --canvas WxH] [--seed N] [--frames N]\n"
           "                        [--out FILE.png] [--canvas-out FILE.png] [--trace [--every K]]\n"
           "                        [--video FILE.webp|FILE.mp4] [--from N | --grown]\n"
           "                        [--scene NAME] [--speed F] [--pan-frames N] [--animal NAME]\n"
           "  --screen WxH      drive the saver view on a screen of WxH points (default 1920x1080)\n"
           "  --canvas WxH      build the scene for exactly this canvas\n"
           "  --seed N          64-bit seed, decimal or 0x-hex (default: from the system, printed)\n"
           "  --frames N        steps after the first draw (default 0)\n"
           "  --out FILE        write the screen as shown (scaled, with scanlines) as PNG\n"
           "  --canvas-out FILE write the unscaled canvas as PNG\n"
           "  --trace           print '<frame> <fnv1a64 of canvas> <generator state>' per frame\n"
           "  --every K         with --trace: only frames that are multiples of K, and the last\n"
           "  --video FILE      write a 30 fps clip of --frames frames: .webp is lossless,\n"
           "                    looping, at the canvas or screen size; .mp4 is H.264 of the\n"
           "                    screen (or canvas) scaled up by an even whole number, at least 2,\n"
           "                    to 1080 rows or more\n"
           "  --from N          step the scene N frames, without drawing, before the first frame\n"
           "                    drawn, traced or written\n"
           "  --grown           start where the scene looks finished: --from " + std::to_string(grownFrame("forest")) + " for the\n"
           "                    forest, " + std::to_string(grownFrame("skyline")) + " for the skyline\n"
           "  --scene NAME      the scene to show: " + knownSceneNames() + " (default " + std::string(defaultSceneName) + ")\n"
           "  --speed F         scroll speed relative to the scene's own pace, 0.01 ... 1000 (1: its\n"
           "                    own, 2: twice as fast); --pan-frames and MOTHWAKES_PAN_FRAMES win\n"
           "  --pan-frames N    frames per one-column scroll, 1 ... 1000000000 (default 1800 for the\n"
           "                    forest, 60 for the skyline; wins over MOTHWAKES_PAN_FRAMES)\n"
           "  --animal NAME     only this animal in the forest, the first one at once: moose, bear\n"
           "                    or fox (wins over MOTHWAKES_ANIMAL)\n"
           "  --help, --version\n"
           "At least one of --out, --canvas-out, --video and --trace is needed.\n"
           "Memory grows with the canvas height as well as its area, since the forest keeps\n"
           "a world about 0.63 x its height wider than the canvas: --canvas 3840x2160 needs\n"
           "about 210 MiB, 1x16384 2.6 GiB, 16384x16384 7.7 GiB (skyline 2.5 GiB);\n"
           "--screen 16384x16384 about 1 GiB. Without enough the renderer stops with status 1.\n";
}

std::optional<RenderOptions> parseRenderOptions(const std::vector<std::string>& args, std::string& error) {
    RenderOptions o;
    bool sawScreen = false, sawEvery = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const auto name = optionName(args[i]);
        if (!name) {
            error = "unexpected argument '" + args[i] + "'";
            return std::nullopt;
        }
        if (*name == "help" || *name == "h") {
            o.help = true;
            continue;
        }
        if (*name == "version") {
            o.version = true;
            continue;
        }
        if (*name == "trace") {
            o.trace = true;
            continue;
        }
        static const char* const valued[] = {"screen", "canvas", "frames", "out", "canvas-out", "every", "video", "from"};
        const SaverSettingInfo* setting = findSaverSetting(*name);
        if (setting && setting->setting == SaverSetting::showFps) setting = nullptr;  // nothing to show a frame rate on
        if (setting && setting->isSwitch) {
            readSaverSetting(*setting, "1", o.settings);
            continue;
        }
        if (!setting && std::find(std::begin(valued), std::end(valued), *name) == std::end(valued)) {
            error = "unknown option '" + args[i] + "'";
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = "option '" + args[i] + "' needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        const auto bad = [&](const char* what) {
            error = "invalid value '" + value + "' for " + args[i - 1] + ": " + what;
            return std::nullopt;
        };
        if (setting) {
            if (auto message = readSaverSetting(*setting, value, o.settings)) {
                error = *message;
                return std::nullopt;
            }
        } else if (*name == "screen" || *name == "canvas") {
            const auto size = parseSize(value);
            if (!size) return bad("expected WxH with sides 1 to 16384");
            if (*name == "screen") {
                o.screen = *size;
                sawScreen = true;
            } else {
                o.canvas = *size;
            }
        } else if (*name == "frames") {
            const auto n = parseCount(value, int64_t{1} << 40);
            if (!n) return bad("expected a whole number");
            o.frames = *n;
        } else if (*name == "from") {
            const auto n = parseCount(value, int64_t{1} << 40);
            if (!n) return bad("expected a whole number");
            o.from = *n;
        } else if (*name == "every") {
            const auto n = parseCount(value, int64_t{1} << 40);
            if (!n || *n < 1) return bad("expected a whole number of at least 1");
            o.every = *n;
            sawEvery = true;
        } else if (value.empty()) {
            return bad("expected a file name");
        } else if (*name == "out") {
            o.out = value;
        } else if (*name == "video") {
            if (!platform::clipFormatOf(value)) return bad("expected a name ending in .webp or .mp4");
            o.video = value;
        } else {
            o.canvasOut = value;
        }
    }
    if (sawScreen && o.canvas) {
        error = "--screen and --canvas exclude each other";
        return std::nullopt;
    }
    if (o.canvas && !o.out.empty()) {
        error = "--out shows a screen; with --canvas use --canvas-out";
        return std::nullopt;
    }
    if (o.from && o.settings.grown) {
        error = "--from and --grown exclude each other";
        return std::nullopt;
    }
    if (!o.video.empty() && o.frames < 1) {
        error = "--video needs --frames of at least 1";
        return std::nullopt;
    }
    if (sawEvery && !o.trace) {
        error = "--every needs --trace";
        return std::nullopt;
    }
    return o;
}
