#include "QuillmoorMothwake/QuillmoorMothwakeView.h"

#include "QuillmoorMothwake/QuillmoorScene.h"

namespace quillmoor {

std::unique_ptr<PixelScene> QuillmoorMothwakeView::makeScene(int width, int height, uint64_t seed) {
    auto scene = std::make_unique<QuillmoorScene>(width, height, seed,
                                                  settings_.panFrames.value_or(QuillmoorScene::defaultPanFrames));
    // The walker draws nothing at construction, so setting it afterwards is the
    // same as building the scene with it.
    scene->animals = Animals(settings_.animal);
    return scene;
}

}  // namespace quillmoor
