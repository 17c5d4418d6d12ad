#include "QuillmoorMothwake/GlimmerfoldView.h"

#include "QuillmoorMothwake/GlimmerfoldScene.h"

namespace quillmoor {

std::unique_ptr<PixelScene> GlimmerfoldView::makeScene(int width, int height, uint64_t seed) {
    return std::make_unique<GlimmerfoldScene>(width, height, seed,
                                              settings_.panFrames.value_or(GlimmerfoldScene::defaultPanFrames));
}

}  // namespace quillmoor
