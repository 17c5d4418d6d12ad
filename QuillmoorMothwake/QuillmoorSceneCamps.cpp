#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "QuillmoorMothwake/Maths.h"
#include "QuillmoorMothwake/QuillmoorScene.h"

namespace quillmoor {

namespace {

constexpr uint32_t tentCanvas = 0xff080b0d;
constexpr uint32_t tentDoor = 0xff030202;
constexpr uint32_t tentLitDim = 0xff10325a;
constexpr uint32_t tentLitBright = 0xff1c60a8;
constexpr uint32_t groundLitDim = 0xff06132a;
constexpr uint32_t groundLitBright = 0xff0c2c5c;
constexpr uint32_t logTop = 0xff102e5a;
constexpr uint32_t logLower = 0xff08182e;
constexpr uint32_t stoneTop = 0xff36383c;
constexpr uint32_t stoneLower = 0xff262224;

}  // namespace

int QuillmoorScene::campSpacing() {
    const int m = static_cast<int>(s * 160);
    const int d = static_cast<int>(static_cast<double>(w) * uniform(0.9, 1.4));
    return std::max(d, 2 * m + 4);
}

// Paints a tent into the world, records the pixels its fire lights and the
// pit's logs and stones, and lights a fire that has already burnt a while.
void QuillmoorScene::buildCamp(int x) {
    const double u = rng.unit();
    const int side = u < 0.5 ? 1 : -1;
    const int off = static_cast<int>(s * 34) * side;
    const int fireX = x + off;
    const int g = x - off;

    // Tent: a triangle on a one-pixel pole, with a dark door in its lower part.
    const int l = std::max(4, static_cast<int>(s * 26));
    const int o = std::max(5, static_cast<int>(s * 30));
    const int t = groundY + 1 - o;
    const int u0 = (2 * o) / 5;
    const int v = std::max(1, o - u0);
    for (int i = -2; i <= o; ++i) {
        const int y = t + i;
        const int a = i < 0 ? 0 : (i * l) / o;
        const int dh = i > u0 ? ((i - u0) * (l / 4)) / v : -1;
        for (int c = g - a; c <= g + a; ++c) {
            if (c < 0 || c >= ww || y < 0 || y >= h) continue;
            const std::size_t p = at(c, y);
            tentMask[p] = 1;
            skyMask[p] = 0;
            owner[p] = -1;
            stick[p] = 0;
            painted[p] = 0;
            const bool door = std::abs(c - g) <= dh;
            base[p] = buf[p] = door ? tentDoor : tentCanvas;
            worldWrote(c, y);
            if (door) continue;
            float j = static_cast<float>(c - (g - l)) / static_cast<float>(2 * l);
            if (u >= 0.5) j = 1 - j;
            const float k = (c == g || std::abs(c - g) == a) ? 0.15f : 0.0f;
            lit.push_back({c, y, j * 0.62f + 0.3f + k, threshold(c, y), tentLitDim, tentLitBright});
        }
    }

    // Ground glow: an ellipse around the fire's foot, below the horizon, away from trees and the tent.
    if (groundY < h) {
        const double rx = s * 120;
        const double ry = s * 28;
        const int r = static_cast<int>(rx);
        const int c0 = std::max(0, fireX - r);
        const int c1 = std::min(ww - 1, fireX + r);
        for (int y = groundY; y < h; ++y) {
            for (int c = c0; c <= c1; ++c) {
                const std::size_t p = at(c, y);
                if (owner[p] >= 0 || tentMask[p]) continue;
                const double ex = static_cast<double>(c - fireX) / rx;
                const double ey = static_cast<double>(y - fireBase) / ry;
                const double d = std::sqrt(ex * ex + ey * ey);
                if (d < 1)
                    lit.push_back({c, y, static_cast<float>(power(1 - d, 0.8)), threshold(c, y), groundLitDim, groundLitBright});
            }
        }
    }

    // Fire pit: a row of logs under the flames with stones either side.
    const int b = std::max(2, static_cast<int>(s * 3));
    const int hw = fw / 2;
    for (int y = fireBase - b + 1; y <= fireBase; ++y) {
        if (y < 0 || y >= h) continue;
        const bool topRow = y == fireBase - b + 1;
        for (int c = fireX - hw - 1; c <= fireX + hw + 1; ++c) overlay.push_back({c, y, topRow ? logTop : logLower});
        for (int k = 1; k <= b; ++k) {
            overlay.push_back({fireX - hw - 1 - k, y, topRow ? stoneTop : stoneLower});
            overlay.push_back({fireX + hw + 1 + k, y, topRow ? stoneTop : stoneLower});
        }
    }

    Camp camp;
    camp.centerX = x;
    camp.fireX = fireX;
    camp.heat.assign(static_cast<std::size_t>(fw) * static_cast<std::size_t>(fh), 0);
    for (int i = 0; i < 60; ++i) stepFire(camp.heat);
    camps.push_back(std::move(camp));
}

}  // namespace quillmoor
