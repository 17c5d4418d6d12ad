#pragma once

#include "QuillmoorMothwake/PixelSaverView.h"

namespace quillmoor {

// A saver view showing the city skyline.
class GlimmerfoldView : public PixelSaverView {
public:
    using PixelSaverView::PixelSaverView;

    double targetRows() const override { return 225; }
    std::unique_ptr<PixelScene> makeScene(int width, int height, uint64_t seed) override;
};

}  // namespace quillmoor
