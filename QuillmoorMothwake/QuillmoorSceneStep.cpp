#include <algorithm>
#include <cstring>

#include "QuillmoorMothwake/QuillmoorScene.h"

namespace quillmoor {

namespace {

// Moves every cell one place toward the front. Within a row that is the
// one-column scroll; the last cell of each row receives the first of the next
// row, which does not matter because the caller rebuilds the last column.
template <class T>
void shiftLeft(std::vector<T>& cells) {
    if (cells.size() < 2) return;
    std::memmove(cells.data(), cells.data() + 1, (cells.size() - 1) * sizeof(T));
}

}  // namespace

void QuillmoorScene::step() {
    ++frame;
    if (frame % panFrames == 0) scroll();

    // Events paced by accumulators: rates grow with the world's area.
    const auto forestArea = static_cast<double>(static_cast<int64_t>(ww) * (h - treeTop));
    const auto worldArea = static_cast<double>(static_cast<int64_t>(h) * ww);

    blockAcc += forestArea * 3e-5 / (s * s);
    // A block draws only its position, so all of a frame's positions can be
    // drawn first; their rows are then fetched from memory together.
    blockOrigins.clear();
    for (; blockAcc >= 1; blockAcc -= 1) blockOrigins.push_back(drawBlockOrigin());
    for (const BlockOrigin& b : blockOrigins) prefetchBlock(b);
    for (const BlockOrigin& b : blockOrigins) paintBlock(b);

    needleAcc += static_cast<double>(static_cast<int64_t>(h - treeTop) * ww) * 8e-4;
    for (; needleAcc >= 1; needleAcc -= 1) {
        prefetchNeedle(needleLookahead);
        paintNeedle();
    }

    starAcc += 3e-6 * worldArea;
    for (; starAcc >= 1; starAcc -= 1) addStar();

    const double k = static_cast<double>(h) / 480;
    rainAcc += worldArea * 3e-4 / (72 * (k * k));
    for (; rainAcc >= 1; rainAcc -= 1) rain();

    const double sc = static_cast<double>(h) / 270;
    const auto skyBlocked = [this](int x, int y) { return blocked(x, y); };
    meteors.step(rng, w, groundY, sc, skyBlocked);
    comets.step(rng, w, groundY / 2, sc);
    animals.step(rng, w, s);

    if (frame % 2 == 0) {
        for (Camp& camp : camps) stepFire(camp.heat);
        stepGlow();
        ++fireSteps;
    }

    emitSparks();
    moveSparks();
    moveFlies();
}

// Scrolls the world one column to the left, rebuilds the freed column, drops
// what has left on the left and grows forest and camps into the margin.
void QuillmoorScene::scroll() {
    ++pan;
    worldTiles.moved();
    shiftLeft(base);
    shiftLeft(buf);
    shiftLeft(skyMask);
    shiftLeft(tentMask);
    shiftLeft(painted);
    shiftLeft(owner);
    shiftLeft(stick);
    resetColumn(ww - 1);

    if (trees.size() >= dropTreesAt) dropUnusedTrees();
    for (Tree& t : trees) --t.cx;
    for (Tree& t : pending) --t.cx;

    const int margin = static_cast<int>(s * 160);
    for (Camp& camp : camps) {
        --camp.centerX;
        --camp.fireX;
    }
    std::erase_if(camps, [margin](const Camp& camp) { return camp.centerX + 2 * margin < 0; });
    --nextCampX;

    for (Lit& l : lit) --l.x;
    std::erase_if(lit, [](const Lit& l) { return l.x < 0; });
    for (OverlayPixel& o : overlay) --o.x;
    std::erase_if(overlay, [](const OverlayPixel& o) { return o.x < 0; });
    for (Spark& spark : sparks) spark.x -= 1.0;

    clearings.clear();
    for (const Camp& camp : camps) clearings.push_back(camp.centerX);
    clearings.push_back(nextCampX);
    growRows(clearings);

    if (nextCampX + margin <= ww - 1) {
        buildCamp(nextCampX);
        nextCampX += campSpacing();
    }
}

}  // namespace quillmoor
