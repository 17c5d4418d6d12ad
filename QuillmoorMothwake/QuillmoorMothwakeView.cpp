#include "QuillmoorMothwake/QuillmoorMothwakeView.h"

#include "QuillmoorMothwake/QuillmoorScene.h"

namespace quillmoor {

std::unique_ptr<PixelScene> QuillmoorMothwakeView::makeScene(int width, int height, uint64_t seed) {
    return std::make_unique<QuillmoorScene>(width, height, seed);
}

}  // namespace quillmoor
