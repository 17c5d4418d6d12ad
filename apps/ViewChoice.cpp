#include "apps/ViewChoice.h"

#include <cstdlib>

#include "QuillmoorMothwake/GlimmerfoldView.h"
#include "QuillmoorMothwake/QuillmoorMothwakeView.h"
#include "apps/Options.h"

bool isKnownScene(std::string_view name) { return name == "forest" || name == "skyline"; }

std::string knownSceneNames() { return "forest, skyline"; }

bool isSceneSettingOption(std::string_view name) { return name == "pan-frames" || name == "animal"; }

std::optional<std::string> readSceneSettingOption(std::string_view name, std::string_view value,
                                                  quillmoor::SceneSettings& settings) {
    if (name == "pan-frames") {
        const auto n = parseCount(value, maxPanFramesOption);
        if (!n || *n < 1) return "bad frames per pan \"" + std::string(value) + "\" (1 ... 1000000000)";
        settings.panFrames = *n;
    } else {
        settings.animal = quillmoor::Animals::species(value);
        if (!settings.animal) return "unknown animal \"" + std::string(value) + "\" (moose, bear, fox)";
    }
    return std::nullopt;
}

std::unique_ptr<quillmoor::PixelSaverView> makeSaverView(std::string_view scene, platform::Host& host,
                                                         platform::Rect frame, bool isPreview,
                                                         const quillmoor::SceneSettings& commandLine) {
    const quillmoor::SceneSettings settings = quillmoor::preferring(
        commandLine,
        quillmoor::sceneSettingsFromEnvironment(std::getenv("MOTHWAKES_PAN_FRAMES"), std::getenv("MOTHWAKES_ANIMAL")));
    if (scene == "forest") return std::make_unique<quillmoor::QuillmoorMothwakeView>(host, frame, isPreview, settings);
    if (scene == "skyline") return std::make_unique<quillmoor::GlimmerfoldView>(host, frame, isPreview, settings);
    return nullptr;
}
