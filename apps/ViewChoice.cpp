#include "apps/ViewChoice.h"

#include "QuillmoorMothwake/GlimmerfoldView.h"
#include "QuillmoorMothwake/RNG.h"

namespace {

// A stand-in scene until the forest exists: drifting coloured bands.
class TestPatternScene final : public quillmoor::PixelScene {
public:
    TestPatternScene(int w, int h, uint64_t seed) : w_(std::max(1, w)), h_(std::max(1, h)), rng_(seed) {}
    void step() override { offset_ += 1 + rng_.integer(2); }
    void draw(quillmoor::Canvas& canvas) override {
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                canvas.px[static_cast<size_t>(y) * w_ + x] =
                    0xFF000000u | static_cast<uint32_t>(((x + offset_) / 8) % 256) << 8 | static_cast<uint32_t>(y % 256);
    }
    uint64_t rngState() const override { return rng_.state; }

private:
    int w_, h_;
    quillmoor::RNG rng_;
    int64_t offset_ = 0;
};

class TestPatternView final : public quillmoor::PixelSaverView {
public:
    using PixelSaverView::PixelSaverView;
    double targetRows() const override { return 450; }
    std::unique_ptr<quillmoor::PixelScene> makeScene(int w, int h, uint64_t seed) override {
        return std::make_unique<TestPatternScene>(w, h, seed);
    }
};

}  // namespace

bool isKnownScene(std::string_view name) { return name == "forest" || name == "skyline"; }

std::string knownSceneNames() { return "forest, skyline"; }

std::unique_ptr<quillmoor::PixelSaverView> makeSaverView(std::string_view scene, platform::Host& host,
                                                         platform::Rect frame, bool isPreview) {
    if (scene == "skyline") return std::make_unique<quillmoor::GlimmerfoldView>(host, frame, isPreview);
    if (scene == "forest") return std::make_unique<TestPatternView>(host, frame, isPreview);
    return nullptr;
}
