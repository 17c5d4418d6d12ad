#include <algorithm>
#include <bit>
#include <cmath>

#include "QuillmoorMothwake/GlimmerfoldScene.h"
#include "QuillmoorMothwake/Maths.h"

namespace quillmoor {

namespace {

constexpr uint32_t mastColor = 0xFF2C2C2C;
constexpr uint32_t beaconColor = 0xFF1A2AFF;

// Sky events are sized for a canvas 270 rows high.
constexpr double skyRows = 270;

}  // namespace

void GlimmerfoldScene::lightWindow(int x, int y) {
    const size_t p = static_cast<size_t>(y) * w + x;
    const int i = owner[p];
    if (i < 0) return;
    Building& b = buildings[static_cast<size_t>(i)];
    const int dx = x - b.x;
    const int dy = y - (h - b.heightTiles * tile);
    if (dx < edge || dx >= b.widthTiles * tile - edge || dy < edge) return;
    // Pattern rows count up from the bottom row, so windows line up with the building bases.
    const int c = (dx % tile) * 8 / tile;
    const int r = ((h - 1 - y) % tile) * 8 / tile;
    if (!((styles()[static_cast<size_t>(b.style)][static_cast<size_t>(r)] >> (7 - c)) & 1)) return;
    if (buf[p] == b.color) return;
    b.lights += 1;
    buf[p] = b.color;
    worldTiles.wrote(x, y);
}

void GlimmerfoldScene::blot(int x0, int y0, int n) {
    const double c = (n - 1) * 0.5;
    const double r2 = static_cast<double>(n * n) * 0.25;
    for (int j = 0; j < n; ++j) {
        const int y = y0 + j;
        if (y < 0 || y >= h) continue;
        for (int i = 0; i < n; ++i) {
            const int x = x0 + i;
            if (x < 0 || x >= w || (i - c) * (i - c) + (j - c) * (j - c) > r2) continue;
            uint32_t& pixel = buf[static_cast<size_t>(y) * w + x];
            if (pixel == black) continue;
            pixel = black;
            worldTiles.wrote(x, y);
        }
    }
}

void GlimmerfoldScene::step() {
    frame += 1;
    const auto at = [this](int x, int y) { return static_cast<size_t>(y) * w + x; };
    const int top = std::max(0, std::min(skylineTop, h - 1));

    // Windows: random pixels below the skyline.
    lightAcc += static_cast<double>(w * (h - top)) * 0.0008;
    while (lightAcc >= 1) {
        lightAcc -= 1;
        const int x = static_cast<int>(rng.integer(w));
        const int y = static_cast<int>(rng.integer(top, h - 1));
        lightWindow(x, y);
    }

    // Stars, denser towards the top, only in the open sky.
    starAcc += 0.000003 * static_cast<double>(w * h);
    while (starAcc >= 1) {
        starAcc -= 1;
        const int y = static_cast<int>(power(rng.unit(), 1.5) * h);
        const int x = static_cast<int>(rng.integer(w));
        if (y >= h || owner[at(x, y)] >= 0) continue;
        const auto red = static_cast<uint32_t>(rng.integer(180));
        const auto green = static_cast<uint32_t>(rng.integer(180));
        const auto blue = static_cast<uint32_t>(rng.integer(256));
        buf[at(x, y)] = 0xFF000000u | blue << 16 | green << 8 | red;
        worldTiles.wrote(x, y);
    }

    // Dark blots: discs that erase windows and stars, about as many pixels per
    // frame at any canvas size.
    rainAcc += static_cast<double>(w * h) * 0.0003 / (72 * scale * scale);
    while (rainAcc >= 1) {
        rainAcc -= 1;
        const int d = static_cast<int>(static_cast<double>(rng.integer(14) + 2) * scale);
        const int n = std::max(1, d);
        const int x0 = static_cast<int>(rng.integer(-n, w));
        const int y0 = static_cast<int>(rng.integer(-n, h));
        blot(x0, y0, n);
    }

    const auto blockedAt = [this](int x, int y) { return blocked(x, y); };
    const double skyScale = static_cast<double>(h) / skyRows;
    meteors.step(rng, w, h, skyScale, blockedAt);
    comets.step(rng, w, skylineTop, skyScale);

    if (frame % panFrames == 0) pan();
}

void GlimmerfoldScene::draw(Canvas& canvas) {
    // The scene draws only into a canvas of its own size.
    if (canvas.width != w || canvas.height != h) return;
    worldTiles.copyWorld(canvas, this, buf.data(), static_cast<size_t>(w));

    const auto blockedAt = [this](int x, int y) { return blocked(x, y); };
    const double skyScale = static_cast<double>(h) / skyRows;
    comets.draw(canvas, skyScale, blockedAt);
    meteors.draw(canvas, skyScale, blockedAt);

    const int b = std::max(1, static_cast<int>(std::lround(scale * 2)));
    const int half = (b - 1) / 2;
    for (const Spire& s : spires) {
        const Building& bd = buildings[static_cast<size_t>(s.building)];
        int bits = 0;
        for (const uint8_t row : styles()[static_cast<size_t>(bd.style)]) bits += std::popcount(row);
        const double density = bits / 64.0;
        const int key = bd.widthTiles * 13 + bd.heightTiles * 29;
        // Each building needs its own share of lit windows before its mast shows.
        const double share = (static_cast<double>(key % 12) / 10 + 0.5) * 0.5 * density;
        if (static_cast<double>(bd.lights) < static_cast<double>(bd.visible) * share) continue;

        if (s.x >= 0 && s.x < w)
            for (int y = std::max(0, s.y - s.height); y < std::min(s.y, h); ++y) {
                canvas.px[static_cast<size_t>(y) * w + s.x] = mastColor;
                canvas.mark(s.x, y);
            }

        if (((s.phase + frame) / 15) % 2 != 0) continue;
        for (int y = std::max(0, s.y - s.height - b); y < std::min(s.y - s.height, h); ++y)
            for (int x = std::max(0, s.x - half); x < std::min(s.x - half + b, w); ++x) {
                canvas.px[static_cast<size_t>(y) * w + x] = beaconColor;
                canvas.mark(x, y);
            }
    }
    worldTiles.finishDrawing(canvas);
}

}  // namespace quillmoor
