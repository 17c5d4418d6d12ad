#pragma once

#include <cstdint>
#include <memory>

#include "QuillmoorMothwake/PixelSaverView.h"

namespace quillmoor {

// The module's principal view: the forest camp scene on a canvas of about 450 rows.
class QuillmoorMothwakeView final : public PixelSaverView {
public:
    using PixelSaverView::PixelSaverView;

    double targetRows() const override { return 450; }
    std::unique_ptr<PixelScene> makeScene(int width, int height, uint64_t seed) override;
};

}  // namespace quillmoor
