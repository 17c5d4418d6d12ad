#pragma once

#include <cstdint>
#include <memory>

#include "QuillmoorMothwake/Environment.h"
#include "QuillmoorMothwake/PixelSaverView.h"

namespace quillmoor {

// The module's principal view: the forest camp scene on a canvas of about 450 rows.
class QuillmoorMothwakeView final : public PixelSaverView {
public:
    QuillmoorMothwakeView(platform::Host& host, platform::Rect frame, bool isPreview, SceneSettings settings)
        : PixelSaverView(host, frame, isPreview), settings_(settings) {}

    double targetRows() const override { return 450; }
    std::unique_ptr<PixelScene> makeScene(int width, int height, uint64_t seed) override;

private:
    SceneSettings settings_;
};

}  // namespace quillmoor
