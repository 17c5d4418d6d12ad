// Both scenes at small canvas sizes: construction, steps and drawing.
//
// Input bytes:
//   0      bit 0: skyline instead of forest; bits 1-2: forced animal (forest:
//          none, moose, bear, fox); bit 3: pan every frame instead of the
//          scene's own period; bit 4: run a second scene from the same
//          input alongside and require the same pictures and generator
//   1, 2   canvas width and height, each 1 ... 64 (byte % 64 + 1)
//   3-10   the seed, little-endian (missing bytes are 0)
//   11...  one byte per run: that many steps (0 ... 255), then a draw
// The first draw comes right after construction, as in the saver.

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

#include "QuillmoorMothwake/Animals.h"
#include "QuillmoorMothwake/Canvas.h"
#include "QuillmoorMothwake/GlimmerfoldScene.h"
#include "QuillmoorMothwake/QuillmoorScene.h"
#include "fuzz/FuzzSupport.h"

namespace {

using quillmoor::Canvas;
using quillmoor::GlimmerfoldScene;
using quillmoor::PixelScene;
using quillmoor::QuillmoorScene;

constexpr size_t headerSize = 11;
constexpr std::array<const char*, 4> animalValues{nullptr, "moose", "bear", "fox"};

std::unique_ptr<PixelScene> makeScene(uint8_t flags, int width, int height, uint64_t seed) {
    const bool skyline = flags & 1;
    const bool panEveryFrame = flags & 8;
    if (skyline)
        return std::make_unique<GlimmerfoldScene>(width, height, seed, panEveryFrame ? 1 : GlimmerfoldScene::defaultPanFrames);
    auto forest = std::make_unique<QuillmoorScene>(width, height, seed, panEveryFrame ? 1 : QuillmoorScene::defaultPanFrames);
    // What the scene would have read from MOTHWAKES_ANIMAL.
    forest->animals = quillmoor::Animals(animalValues[(flags >> 1) & 3]);
    return forest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < headerSize) return 0;
    const uint8_t flags = data[0];
    const int width = data[1] % 64 + 1;
    const int height = data[2] % 64 + 1;
    uint64_t seed = 0;
    for (size_t i = 0; i < 8; ++i) seed |= static_cast<uint64_t>(data[3 + i]) << (8 * i);

    const auto scene = makeScene(flags, width, height, seed);
    // A twin built later sits elsewhere in memory: a scene that read memory it
    // never set, or depended on addresses, would drift from it.
    const auto twin = (flags & 16) ? makeScene(flags, width, height, seed) : nullptr;
    Canvas canvas(width, height), twinCanvas(width, height);
    const auto draw = [&] {
        scene->draw(canvas);
        if (!twin) return;
        twin->draw(twinCanvas);
        fuzz::expect(twinCanvas.px == canvas.px && twin->rngState() == scene->rngState(),
                     "a scene is determined by its size, seed and settings");
    };
    draw();
    for (size_t run = headerSize; run < size; ++run) {
        for (int i = 0; i < data[run]; ++i) {
            scene->step();
            if (twin) twin->step();
        }
        draw();
    }

    // A draw covers the whole canvas and leaves the picture as it was.
    Canvas again(width, height);
    std::fill(again.px.begin(), again.px.end(), 0x5a5a5a5au);
    scene->draw(again);
    fuzz::expect(again.px == canvas.px, "a draw repaints every pixel and does not change the scene");
    return 0;
}
