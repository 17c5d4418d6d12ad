#include "apps/ViewChoice.h"

#include "QuillmoorMothwake/GlimmerfoldView.h"
#include "QuillmoorMothwake/QuillmoorMothwakeView.h"

bool isKnownScene(std::string_view name) { return name == "forest" || name == "skyline"; }

std::string knownSceneNames() { return "forest, skyline"; }

std::unique_ptr<quillmoor::PixelSaverView> makeSaverView(std::string_view scene, platform::Host& host,
                                                         platform::Rect frame, bool isPreview) {
    if (scene == "forest") return std::make_unique<quillmoor::QuillmoorMothwakeView>(host, frame, isPreview);
    if (scene == "skyline") return std::make_unique<quillmoor::GlimmerfoldView>(host, frame, isPreview);
    return nullptr;
}
