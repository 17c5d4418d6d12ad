#include "frontends/web/WebSettings.h"

#include <string>

#include "QuillmoorMothwake/Environment.h"

namespace {

constexpr int64_t maxFrames = 1'000'000'000;

std::string rejected(std::string_view name, std::string_view value, std::string_view expected) {
    return "ignoring " + std::string(name) + "=" + std::string(value) + ": expected " + std::string(expected);
}

// pan=N reads like MOTHWAKES_PAN_FRAMES, which it stands for: any whole
// number, raised to at least 1.
std::optional<std::string> applyPan(SaverSettings& settings, std::string_view value) {
    // The environment's own rule decides; it never yields 0 for a valid value.
    const std::string text(value);
    const int64_t frames = quillmoor::panFramesFromEnvironment(text.c_str(), 0);
    if (frames == 0) return rejected("pan", value, "a whole number of frames per scroll");
    settings.sceneSettings.panFrames = frames;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> applyWebSetting(WebSettings& settings, std::string_view name, std::string_view value) {
    if (name == "pan") return applyPan(settings.saver, value);
    if (name == "frames" || name == "from") {
        const auto frames = parseCount(value, maxFrames);
        if (!frames) return rejected(name, value, "a whole number of frames up to 1000000000");
        (name == "frames" ? settings.frames : settings.from) = frames;
        return std::nullopt;
    }
    const SaverSettingInfo* setting = findSaverSetting(name);
    if (!setting) return "ignoring unknown setting " + std::string(name);
    // A switch given alone (?fps) is on.
    const std::string_view text = setting->isSwitch && value.empty() ? "1" : value;
    if (readSaverSetting(*setting, text, settings.saver)) return rejected(name, value, setting->expected);
    return std::nullopt;
}
