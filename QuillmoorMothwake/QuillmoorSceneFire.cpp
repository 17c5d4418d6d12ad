#include <algorithm>

#include "QuillmoorMothwake/QuillmoorScene.h"

namespace quillmoor {

// One generation of a fire's heat field: the bottom row is kindled along a
// parabola, hottest in the middle; every other cell takes the heat of a random
// neighbour in the row below, cooled by a random amount. Rows are visited top
// first, so each reads the row below as it stood before this generation.
void QuillmoorScene::stepFire(std::vector<uint8_t>& heat) {
    const int cols = fw;
    const int rows = fh;
    if (cols <= 0 || rows <= 0 || heat.size() < static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows)) return;

    const int n = cols / 2;
    uint8_t* bottom = heat.data() + static_cast<std::size_t>(rows - 1) * static_cast<std::size_t>(cols);
    for (int i = 0; i < cols; ++i) {
        const double q = static_cast<double>(i - n) / static_cast<double>(n + 1);
        const double v = uniform(0.75, 1.0) * ((1 - q * q) * 36);
        bottom[i] = static_cast<uint8_t>(std::max(v, 0.0));
    }

    for (int y = 0; y + 1 < rows; ++y) {
        uint8_t* row = heat.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(cols);
        const uint8_t* below = row + cols;
        for (int x = 0; x < cols; ++x) {
            const int o = std::clamp(x + static_cast<int>(rng.integer(-1, 1)), 0, cols - 1);
            const int src = below[o];
            const int r = static_cast<int>(rng.integer(0, maxDecay));
            row[x] = static_cast<uint8_t>(std::max(0, src - r));
        }
    }
}

// The fire light drifts toward a target that is re-chosen at random half the time.
void QuillmoorScene::stepGlow() {
    if (rng.unit() < 0.5) glowTarget = static_cast<float>(uniform(0.7, 1.0));
    glow = glow + (glowTarget - glow) * 0.4f;
}

}  // namespace quillmoor
