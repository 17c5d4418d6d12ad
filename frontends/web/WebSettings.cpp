#include "frontends/web/WebSettings.h"

#include <cstdlib>

#include "QuillmoorMothwake/Animals.h"
#include "QuillmoorMothwake/Environment.h"
#include "apps/Options.h"

namespace {

constexpr int64_t maxFrames = 1'000'000'000;

std::string rejected(std::string_view name, std::string_view value, std::string_view expected) {
    return "ignoring " + std::string(name) + "=" + std::string(value) + ": expected " + std::string(expected);
}

}  // namespace

std::optional<std::string> applyWebSetting(WebSettings& settings, std::string_view name, std::string_view value) {
    if (name == "scene") {
        if (!isKnownScene(value)) return rejected(name, value, "one of " + knownSceneNames());
        settings.scene = value;
    } else if (name == "seed") {
        const auto seed = parseSeed(value);
        if (!seed) return rejected(name, value, "a 64-bit number, decimal or 0x-hex");
        settings.seed = seed;
    } else if (name == "pan") {
        // The environment's own rule decides; it never yields 0 for a valid value.
        const std::string text(value);
        const int64_t frames = quillmoor::panFramesFromEnvironment(text.c_str(), 0);
        if (frames == 0) return rejected(name, value, "a whole number of frames per scroll");
        settings.panFrames = std::to_string(frames);
    } else if (name == "animal") {
        if (!quillmoor::Animals::species(value)) return rejected(name, value, "moose, bear or fox");
        settings.animal = value;
    } else if (name == "fps") {
        if (value != "" && value != "1" && value != "0") return rejected(name, value, "fps, fps=1 or fps=0");
        settings.showFps = value != "0";
    } else if (name == "frames") {
        const auto frames = parseCount(value, maxFrames);
        if (!frames) return rejected(name, value, "a whole number of frames up to 1000000000");
        settings.frames = frames;
    } else {
        return "ignoring unknown setting " + std::string(name);
    }
    return std::nullopt;
}

void exportToEnvironment(const WebSettings& settings) {
    if (settings.panFrames) setenv("MOTHWAKES_PAN_FRAMES", settings.panFrames->c_str(), 1);
    if (settings.animal) setenv("MOTHWAKES_ANIMAL", settings.animal->c_str(), 1);
}
