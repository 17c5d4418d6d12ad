#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "QuillmoorMothwake/GlimmerfoldScene.h"

namespace quillmoor {

namespace {

constexpr int maxAttempts = 80;
constexpr int maxSpires = 3;

}  // namespace

void GlimmerfoldScene::pan() {
    // Windows and stars scroll with the city; the new right column is dark.
    worldTiles.moved();
    for (int y = 0; y < h; ++y) {
        uint32_t* row = buf.data() + static_cast<size_t>(y) * w;
        std::memmove(row, row + 1, static_cast<size_t>(w - 1) * sizeof(uint32_t));
        row[w - 1] = black;
    }
    for (Building& b : buildings) b.x -= 1;

    for (const bool front : {false, true}) {
        const auto gone = std::erase_if(buildings, [&](const Building& b) {
            return b.front == front && b.x + b.widthTiles * tile < 1;
        });
        for (size_t k = 0; k < gone; ++k) placeBuilding(front, w);
    }
    rebuildOwner();
}

int GlimmerfoldScene::placeBuilding(bool front, int leftLimit) {
    // The layer's last two buildings in left-to-right order; of two at the same
    // x the later one in the array counts as further right.
    int last = -1, previous = -1;
    for (int i = 0; i < static_cast<int>(buildings.size()); ++i) {
        if (buildings[i].front != front) continue;
        if (last < 0 || buildings[i].x >= buildings[last].x) {
            previous = last;
            last = i;
        } else if (previous < 0 || buildings[i].x >= buildings[previous].x) {
            previous = i;
        }
    }

    const int rightEnd = last < 0 ? leftLimit : buildings[last].x + buildings[last].widthTiles * tile;
    const int gap = tile * static_cast<int>(rng.integer(front ? 3 : 6));
    const int startX = std::max(leftLimit, rightEnd + gap);

    const int rawMaxTiles = (h * 45 / 100) / tile;
    const int minSep = std::max(1, maxTiles() * (front ? 13 : 17) / 100);
    const int boost = rawMaxTiles >= 7 ? maxTiles() * 15 / 100 : 1;

    Building cand;
    int height = 0;
    for (int attempt = 1;; ++attempt) {
        cand = makeBuilding(front);
        height = cand.heightTiles;
        if (!front) {
            // Keep a back building visible above the front buildings it stands behind.
            const int candRight = startX + cand.widthTiles * tile;
            int need = 0;
            for (const Building& f : buildings)
                if (f.front && f.x < candRight && startX < f.x + f.widthTiles * tile)
                    need = std::max(need, f.heightTiles);
            need += boost;
            if (height < need) height = need + static_cast<int>(rng.integer(0, boost));
        }
        if (last < 0) break;

        const Building& l = buildings[last];
        const auto tooClose = [&](int i) { return i >= 0 && std::abs(height - buildings[i].heightTiles) < minSep; };
        const bool differs = !tooClose(last) && !tooClose(previous) &&
                             std::abs(cand.widthTiles - l.widthTiles) >= 3 && cand.style != l.style;
        if (attempt == maxAttempts || (differs && cand.color != l.color)) break;
    }

    cand.x = startX;
    cand.heightTiles = height;
    if (front) {
        buildings.push_back(cand);
    } else {
        const auto firstFront = std::find_if(buildings.begin(), buildings.end(), [](const Building& b) { return b.front; });
        buildings.insert(firstFront, cand);
    }
    return startX + cand.widthTiles * tile;
}

void GlimmerfoldScene::rebuildOwner() {
    std::fill(owner.begin(), owner.end(), int16_t{-1});
    skylineTop = h;
    for (int i = 0; i < static_cast<int>(buildings.size()); ++i) {
        const Building& b = buildings[i];
        const int x0 = std::max(0, b.x);
        const int x1 = std::min(b.x + b.widthTiles * tile, w);
        if (x0 >= x1) continue;
        const int top = std::max(0, h - b.heightTiles * tile);
        for (int y = top; y < h; ++y) {
            int16_t* row = owner.data() + static_cast<size_t>(y) * w;
            std::fill(row + x0, row + x1, static_cast<int16_t>(i));
        }
        skylineTop = std::min(skylineTop, top);
    }

    for (Building& b : buildings) b.visible = 0;
    for (const int16_t e : owner)
        if (e >= 0) buildings[static_cast<size_t>(e)].visible += 1;

    // Masts go on the tallest buildings whose roof centre is in view and
    // uncovered, kept well apart.
    spires.clear();
    order_.resize(buildings.size());
    for (int i = 0; i < static_cast<int>(order_.size()); ++i) order_[i] = i;
    std::sort(order_.begin(), order_.end(), [&](int a, int b) {
        if (buildings[a].heightTiles != buildings[b].heightTiles)
            return buildings[a].heightTiles > buildings[b].heightTiles;
        return a < b;
    });
    for (const int u : order_) {
        if (static_cast<int>(spires.size()) == maxSpires) break;
        const Building& b = buildings[u];
        const int cx = b.x + b.widthTiles * tile / 2;
        const int roof = h - b.heightTiles * tile;
        if (cx < 0 || cx >= w || roof < 0 || owner[static_cast<size_t>(roof) * w + cx] != u) continue;
        const bool crowded = std::any_of(spires.begin(), spires.end(),
                                         [&](const Spire& s) { return std::abs(s.x - cx) < 12 * tile; });
        if (crowded) continue;
        const int key = b.widthTiles * 31 + b.heightTiles * 17 + b.style * 7;
        spires.push_back({u, cx, roof, static_cast<int>(static_cast<double>(key % 14 + 11) * scale), key * 5});
    }
}

}  // namespace quillmoor
