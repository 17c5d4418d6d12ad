#pragma once

#include "QuillmoorMothwake/Environment.h"
#include "QuillmoorMothwake/PixelSaverView.h"

namespace quillmoor {

// A saver view showing the city skyline.
class GlimmerfoldView : public PixelSaverView {
public:
    GlimmerfoldView(platform::Host& host, platform::Rect frame, bool isPreview, SceneSettings settings)
        : PixelSaverView(host, frame, isPreview), settings_(settings) {}

    double targetRows() const override { return 225; }
    std::unique_ptr<PixelScene> makeScene(int width, int height, uint64_t seed) override;

private:
    SceneSettings settings_;  // the city has no animals; only the pan period applies
};

}  // namespace quillmoor
