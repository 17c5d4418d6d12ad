#include "QuillmoorMothwake/GlimmerfoldScene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "QuillmoorMothwake/Environment.h"

namespace quillmoor {

namespace {

// Canvas rows at which every size of the scene has its base value.
constexpr double baseRows = 270;

// Generated widths are 5 ... 17 tiles.
constexpr int minWidthTiles = 5;
constexpr int widthChoices = 13;
constexpr int maxWidthTiles = minWidthTiles + widthChoices - 1;

// How far left of the canvas each layer's first building may start.
constexpr int layoutLeadTiles = 4;

double uniform(RNG& rng, double a, double b) { return a + (b - a) * rng.unit(); }

}  // namespace

const std::array<std::array<uint8_t, 8>, 6>& GlimmerfoldScene::styles() {
    static const std::array<std::array<uint8_t, 8>, 6> table = {{
        {0x00, 0x44, 0x00, 0x00, 0x00, 0x44, 0x00, 0x00},  // four small windows
        {0x00, 0x66, 0x66, 0x66, 0x00, 0x00, 0x00, 0x00},  // two 2 x 3 windows
        {0x00, 0x00, 0x7E, 0x00, 0x00, 0x00, 0x7E, 0x00},  // two bands
        {0x00, 0x24, 0x24, 0x24, 0x24, 0x24, 0x00, 0x00},  // two tall narrow windows
        {0x00, 0x00, 0x3C, 0x3C, 0x3C, 0x00, 0x00, 0x00},  // one 4 x 3 window
        {0xAA, 0x00, 0xAA, 0x00, 0xAA, 0x00, 0xAA, 0x00},  // checker on every other row
    }};
    return table;
}

GlimmerfoldScene::GlimmerfoldScene(int width, int height, uint64_t seed)
    : GlimmerfoldScene(width, height, seed,
                       panFramesFromEnvironment(std::getenv("MOTHWAKES_PAN_FRAMES"), defaultPanFrames)) {}

GlimmerfoldScene::GlimmerfoldScene(int width, int height, uint64_t seed, int64_t framesPerPan)
    : w(std::max(1, width)),
      h(std::max(1, height)),
      rng(seed),
      buf(static_cast<size_t>(w) * static_cast<size_t>(h)),
      owner(buf.size(), -1),
      scale(static_cast<double>(h) / baseRows),
      // Deep night blue for bodies and sky; warm amber and pale warm white in
      // front, the same pale white and a cool blue-white further back.
      black(0xFF140A06),
      lightColors{0xFF3FA8F0, 0xFF8ED8F2, 0xFFD8B07A},
      panFrames(std::max<int64_t>(1, framesPerPan)),
      worldTiles(w, h) {
    // A tile is 8 pixels at the base height, so every window pattern cell is
    // one pixel there and the city keeps its proportions at any height.
    tile = std::max(2, static_cast<int>(std::lround(8 * scale)));
    edge = std::max(1, tile / 4);
    std::fill(buf.begin(), buf.end(), black);
    spires.reserve(3);

    // Front first, so that back buildings are lifted above the front row they
    // stand behind, just as when they are recycled.
    layOutLayer(true);
    layOutLayer(false);
    order_.reserve(buildings.size());
    rebuildOwner();
}

int GlimmerfoldScene::maxTiles() const { return std::max(1, (h * 45 / 100) / tile); }

GlimmerfoldScene::Building GlimmerfoldScene::makeBuilding(bool front) {
    const int tallest = maxTiles();
    const double fraction = front ? uniform(rng, 0.1, 0.6) : uniform(rng, 0.4, 1.0);
    Building b;
    b.widthTiles = minWidthTiles + static_cast<int>(rng.integer(widthChoices));
    b.style = static_cast<int>(rng.integer(static_cast<int64_t>(styles().size())));
    const auto c = static_cast<size_t>(rng.integer(2));
    b.color = lightColors[front ? c : c + 1];
    b.heightTiles = static_cast<int>(fraction * tallest) + 1;
    b.x = w;
    b.front = front;
    return b;
}

void GlimmerfoldScene::layOutLayer(bool front) {
    // From a little left of the canvas to one widest building past its right
    // edge, so that recycling keeps the layer closed as it pans.
    const int leftLimit = -layoutLeadTiles * tile;
    int right = leftLimit;
    while (right < w + maxWidthTiles * tile) right = placeBuilding(front, leftLimit);
}

}  // namespace quillmoor
