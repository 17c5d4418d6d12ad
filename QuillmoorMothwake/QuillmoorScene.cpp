#include "QuillmoorMothwake/QuillmoorScene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "QuillmoorMothwake/Environment.h"
#include "QuillmoorMothwake/Maths.h"

namespace quillmoor {

namespace {

// From the top of the sky down to the horizon.
constexpr std::array<uint32_t, 5> skyColors{0xff0c0302, 0xff180804, 0xff240d06, 0xff301309, 0xff3e1a0c};

}  // namespace

QuillmoorScene::QuillmoorScene(int width, int height, uint64_t seed)
    : QuillmoorScene(width, height, seed, panFramesFromEnvironment(std::getenv("MOTHWAKES_PAN_FRAMES"), defaultPanFrames)) {}

QuillmoorScene::QuillmoorScene(int width, int height, uint64_t seed, int64_t panFramesValue)
    : w(std::max(1, width)), h(std::max(1, height)), rng(seed), panFrames(std::max<int64_t>(1, panFramesValue)), worldTiles(w, h) {
    s = static_cast<double>(h) / 540;

    groundY = static_cast<int>(static_cast<double>(h) * 0.88);
    fireBase = groundY + static_cast<int>(s * 4);
    const int a = static_cast<int>(s * 17);
    fw = (a >= 6 ? a : 5) | 1;
    fh = std::max(6, static_cast<int>(s * 30));
    maxDecay = std::max(1, static_cast<int>(std::round(60 / static_cast<double>(fh))));
    tile = std::max(2, static_cast<int>(std::round(static_cast<double>(h) * 8 / 480)));
    blockSize = std::max(2, static_cast<int>(std::round(s * 10)));
    const int margin = static_cast<int>(s * 160);
    ww = w + 2 * margin + static_cast<int>(s * 20) + 8;

    for (std::size_t v = 0; v < fireColorByHeat.size(); ++v) {
        for (const FireBand& band : firePalette) {
            if (band.min <= v) {
                fireColorByHeat[v] = band.color;
                break;
            }
        }
    }

    // Sky rows: the gradient spans the sky; ground rows carry its last pair fully.
    skyRow.resize(static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        if (y >= groundY) {
            skyRow[static_cast<std::size_t>(y)] = {skyColors[3], skyColors[4], 1.0f};
            continue;
        }
        const double t = std::min(static_cast<double>(y) / static_cast<double>(std::max(1, groundY)), 1.0) * 4;
        const int i = std::min(3, static_cast<int>(t));
        skyRow[static_cast<std::size_t>(y)] = {skyColors[static_cast<std::size_t>(i)], skyColors[static_cast<std::size_t>(i) + 1],
                                               static_cast<float>(t - static_cast<double>(i))};
    }

    const std::size_t cells = static_cast<std::size_t>(ww) * static_cast<std::size_t>(h);
    base.assign(cells, 0);
    buf.assign(cells, 0);
    skyMask.assign(cells, 0);
    tentMask.assign(cells, 0);
    painted.assign(cells, 0);
    stick.assign(cells, 0);
    owner.assign(cells, -1);
    resetAllColumns();

    // Moon: a disc less a shadow disc above and to one side of it.
    const int k = std::max(3, static_cast<int>(s * 13));
    const int mx = static_cast<int>(static_cast<double>(w) * uniform(0.15, 0.85));
    const int my = static_cast<int>(static_cast<double>(h) * uniform(0.08, 0.24));
    const double off = rng.unit() < 0.5 ? 0.75 * k : -0.75 * k;
    for (int dy = -k; dy <= k; ++dy) {
        for (int dx = -k; dx <= k; ++dx) {
            if (dx * dx + dy * dy > k * k + k / 2) continue;
            const int x = mx + dx;
            const int y = my + dy;
            if (x < 0 || x >= w || y < 0 || y >= h) continue;
            const double sx = dx - off;
            const double sy = dy + 0.3 * k;
            moon.push_back({x, y, sx * sx + sy * sy > static_cast<double>(k * k)});
        }
    }

    // Camp positions, then the clearings the forest must leave for them.
    std::vector<int> campXs;
    int x = static_cast<int>(static_cast<double>(w) * uniform(0.22, 0.78));
    while (x + margin <= ww - 1) {
        campXs.push_back(x);
        x += campSpacing();
    }
    nextCampX = x;
    clearings = campXs;
    clearings.push_back(nextCampX);

    treeTop = h;
    pending.push_back(pickTree(false, {}));
    pending.push_back(pickTree(true, {}));
    pending[0].cx = -static_cast<int>(rng.integer(0, static_cast<int64_t>(s * 40)));
    pending[1].cx = -static_cast<int>(rng.integer(0, static_cast<int64_t>(s * 40)));
    growRows(clearings);

    for (const int cx : campXs) buildCamp(cx);

    const int64_t starCalls = static_cast<int64_t>(ww) * h / 140;
    for (int64_t i = 0; i < starCalls; ++i) addStar();

    const int count = std::max(4, static_cast<int>(static_cast<double>(w) / (s * 40)));
    for (int i = 0; i < count; ++i) {
        Firefly f;
        f.x = static_cast<double>(w) * rng.unit();
        f.y = static_cast<double>(h) * 0.5 + (static_cast<double>(groundY - 2) - static_cast<double>(h) * 0.5) * rng.unit();
        f.timer = static_cast<int>(rng.integer(10, 200));
        f.span = 1;
        flies.push_back(f);
    }

    // Room for the usual number of live sparks, so that emission rarely grows the list.
    sparks.reserve(512);
    fireColumns.reserve(16);
}

void QuillmoorScene::resetColumn(int x) {
    if (x < 0 || x >= ww) return;
    for (int y = 0; y < h; ++y) {
        const std::size_t p = at(x, y);
        uint32_t color = groundColor;
        if (y < groundY) {
            const SkyRow& e = skyRow[static_cast<std::size_t>(y)];
            color = e.fract > threshold(static_cast<int>((x + pan) & 3), y) ? e.high : e.low;
        }
        base[p] = buf[p] = color;
        worldWrote(x, y);
        owner[p] = -1;
        painted[p] = 0;
        tentMask[p] = 0;
        skyMask[p] = y < groundY;
        stick[p] = y < groundY ? 0 : rng.unit() < 0.07;
    }
}

// resetColumn for every column, left to right: the colours and flags are
// filled row by row, and only the ground speckles, which draw from the
// generator, are visited column by column to keep the order of draws.
void QuillmoorScene::resetAllColumns() {
    worldTiles.moved();
    for (int y = 0; y < h; ++y) {
        const std::size_t row = at(0, y);
        const std::size_t end = row + static_cast<std::size_t>(ww);
        std::array<uint32_t, 4> pattern;
        pattern.fill(groundColor);
        if (y < groundY) {
            const SkyRow& e = skyRow[static_cast<std::size_t>(y)];
            for (int c = 0; c < 4; ++c) pattern[static_cast<std::size_t>(c)] = e.fract > threshold(static_cast<int>((c + pan) & 3), y) ? e.high : e.low;
        }
        for (std::size_t p = row; p < end; ++p) base[p] = buf[p] = pattern[(p - row) & 3];
        std::fill(owner.begin() + static_cast<std::ptrdiff_t>(row), owner.begin() + static_cast<std::ptrdiff_t>(end), -1);
        std::fill(painted.begin() + static_cast<std::ptrdiff_t>(row), painted.begin() + static_cast<std::ptrdiff_t>(end), 0);
        std::fill(tentMask.begin() + static_cast<std::ptrdiff_t>(row), tentMask.begin() + static_cast<std::ptrdiff_t>(end), 0);
        std::fill(skyMask.begin() + static_cast<std::ptrdiff_t>(row), skyMask.begin() + static_cast<std::ptrdiff_t>(end), y < groundY);
        std::fill(stick.begin() + static_cast<std::ptrdiff_t>(row), stick.begin() + static_cast<std::ptrdiff_t>(end), 0);
    }
    for (int x = 0; x < ww; ++x)
        for (int y = std::max(0, groundY); y < h; ++y) stick[at(x, y)] = rng.unit() < 0.07;
}

void QuillmoorScene::addStar() {
    const int y = static_cast<int>(static_cast<double>(groundY) * power(rng.unit(), 1.5));
    const int x = static_cast<int>(rng.integer(ww));
    if (y < 0 || y >= h) return;
    const std::size_t p = at(x, y);
    if (!skyMask[p] || painted[p]) return;
    const uint32_t r = static_cast<uint32_t>(rng.integer(100, 220));
    const uint32_t g = static_cast<uint32_t>(rng.integer(110, 220));
    const uint32_t b = static_cast<uint32_t>(rng.integer(150, 255));
    buf[p] = 0xFF000000u + b * 0x10000u + g * 0x100u + r;
    worldWrote(x, y);
}

}  // namespace quillmoor
