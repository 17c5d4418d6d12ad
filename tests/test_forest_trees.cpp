#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/forest_support.h"

using forest_support::clearWorld;
using forest_support::drawsBetween;
using quillmoor::QuillmoorScene;
using Tree = QuillmoorScene::Tree;

namespace {

Tree tree(int cx, int baseY, int height, bool front, int style = 0, double spread = 0.2) {
    Tree t;
    t.cx = cx;
    t.baseY = baseY;
    t.height = height;
    t.spread = spread;
    t.style = style;
    t.color = 0xff00ff00;
    t.front = front;
    return t;
}

TEST(ForestTrees, PickTreeDrawsAndRanges) {
    QuillmoorScene scene(960, 540, 4, 1800);
    uint64_t before = scene.rng.state;
    scene.pickTree(false, {});
    EXPECT_EQ(drawsBetween(before, scene.rng.state), 4);
    before = scene.rng.state;
    scene.pickTree(true, {});
    EXPECT_EQ(drawsBetween(before, scene.rng.state), 5);  // the base row is drawn first
    QuillmoorScene small(80, 50, 4, 1800);                   // Int(s * 10) is 0: no base-row draw
    before = small.rng.state;
    EXPECT_EQ(small.pickTree(true, {}).baseY, small.groundY + 2);
    EXPECT_EQ(drawsBetween(before, small.rng.state), 4);

    for (int i = 0; i < 300; ++i) {
        const Tree back = scene.pickTree(false, {});
        EXPECT_GE(back.height, 108);
        EXPECT_LE(back.height, 269);
        EXPECT_EQ(back.baseY, scene.groundY + 1);
        const Tree front = scene.pickTree(true, {});
        EXPECT_GE(front.height, 226);
        EXPECT_LE(front.height, 485);
        EXPECT_GE(front.baseY, scene.groundY + 2);
        EXPECT_LE(front.baseY, scene.groundY + 12);
        EXPECT_GE(front.spread, 0.15);
        EXPECT_LT(front.spread, 0.23);
    }
}

TEST(ForestTrees, PickTreeAcceptsOnlyUnlikeNeighboursUnlessTriesRunOut) {
    QuillmoorScene scene(960, 540, 6, 1800);
    Tree a = tree(0, 0, 200, false, 2);
    Tree b = tree(0, 0, 300, false, 3);
    a.color = scene.backShades[0];
    b.color = scene.backShades[1];
    int accepted = 0;
    for (int i = 0; i < 200; ++i) {
        const uint64_t before = scene.rng.state;
        const Tree t = scene.pickTree(false, {a, b});
        const int draws = drawsBetween(before, scene.rng.state, 400);
        ASSERT_EQ(draws % 4, 0);
        if (draws == 320) continue;  // the 80th try stands whatever it is
        ++accepted;
        EXPECT_GE(std::abs(t.height - 200), 32);
        EXPECT_GE(std::abs(t.height - 300), 32);
        EXPECT_NE(t.style, b.style);
        EXPECT_NE(t.color, b.color);
    }
    EXPECT_GT(accepted, 150);
}

// A world holding one tree of the given height in the back row, placed at the right edge so that nothing follows it.
QuillmoorScene withOneTree(int height) {
    QuillmoorScene scene(960, 540, 9, 1800);
    clearWorld(scene);
    scene.treeTop = scene.h;
    Tree t = tree(0, scene.groundY + 1, height, false);
    t.cx = scene.ww - 3 - static_cast<int>(height * t.spread);
    scene.pending = {t, tree(scene.ww, scene.groundY + 1, 300, true)};
    scene.growRows({});
    return scene;
}

TEST(ForestTrees, TrunkSizesScaleWithHeight) {
    const int cases[][3] = {{108, 15, 3}, {485, 69, 17}, {27, 3, 1}};
    for (const auto& [height, th, tw] : cases) {
        const QuillmoorScene scene = withOneTree(height);
        ASSERT_EQ(scene.trees.size(), 1u);
        const Tree& t = scene.trees[0];
        int trunkRows = 0;
        for (int y = t.baseY - 1; y >= 0; --y) {
            int width = 0, left = scene.ww;
            for (int x = 0; x < scene.ww; ++x)
                if (scene.owner[scene.at(x, y)] == 0) ++width, left = std::min(left, x);
            if (width != tw) break;
            EXPECT_EQ(left, t.cx - tw / 2);
            ++trunkRows;
        }
        EXPECT_EQ(trunkRows, th) << height;
        EXPECT_EQ(scene.treeTop, std::max(0, t.baseY - height));  // never above the top row
    }
}

TEST(ForestTrees, ClaimRules) {
    QuillmoorScene scene(320, 180, 2, 1800);
    clearWorld(scene);
    scene.trees = {tree(10, 150, 50, true), tree(10, 150, 50, false), tree(12, 150, 50, false)};
    const std::size_t p = scene.at(10, 100);

    scene.claim(10, 100, 0, true);
    scene.claim(10, 100, 1, false);
    EXPECT_EQ(scene.owner[p], 0);  // a back tree never takes a front tree's pixel

    scene.owner[p] = 1;
    scene.painted[p] = 1;
    scene.buf[p] = QuillmoorScene::backSilhouette;
    scene.claim(10, 100, 2, false);
    EXPECT_EQ(scene.owner[p], 2);
    EXPECT_EQ(scene.painted[p], 0);  // the old silhouette goes, to be painted anew
    EXPECT_EQ(scene.buf[p], scene.base[p]);
    scene.claim(10, 100, 0, true);
    EXPECT_EQ(scene.owner[p], 0);  // a front tree takes any pixel

    const std::size_t q = scene.at(20, 100);
    scene.tentMask[q] = 1;
    scene.claim(20, 100, 0, true);
    EXPECT_EQ(scene.owner[q], -1);  // tents are never covered

    scene.claim(-1, 100, 0, true);
    scene.claim(scene.ww, 100, 0, true);
    scene.claim(5, scene.h, 0, true);
}

TEST(ForestTrees, NeedlePatternIsAnchoredAtTrunkAndBase) {
    QuillmoorScene scene(320, 540, 2, 1800);
    ASSERT_EQ(scene.tile, 9);
    clearWorld(scene);
    // Style 1, row 0 is 0x01: only pattern column 7 carries needles.
    scene.trees = {tree(40, 300, 200, true, 1)};
    for (int y = 200; y < 300; ++y)
        for (int x = 0; x < 80; ++x) scene.owner[scene.at(x, y)] = 0;
    scene.textureBand(0, 100);
    const int y = 300 - 9 * 5;  // pattern row 0
    for (int off = -9; off < 30; ++off) {
        const int x = 40 + off;
        const int wrapped = ((off % 9) + 9) % 9;
        EXPECT_EQ(scene.stick[scene.at(x, y)], wrapped == 8 ? 1 : 0) << off;  // offset -1 falls in column 7
    }
    // Style 0, row 0 is 0x80: column 0 covers offsets 0 and 1 when tile is 9.
    scene.trees[0].style = 0;
    scene.textureBand(0, 100);
    for (int off = 0; off < 9; ++off) EXPECT_EQ(scene.stick[scene.at(40 + off, y)], off <= 1 ? 1 : 0) << off;

    // Edges: within two pixels of the right or upper edge no needles; at the left world edge no test.
    EXPECT_EQ(scene.stick[scene.at(78, y)], 0);
    EXPECT_EQ(scene.stick[scene.at(79, y)], 0);
    EXPECT_EQ(scene.stick[scene.at(41, 200)], 0);
    EXPECT_EQ(scene.stick[scene.at(41, 201)], 0);
    scene.trees[0].cx = 0;
    scene.textureBand(0, 100);
    EXPECT_EQ(scene.stick[scene.at(0, y)], 1);
    EXPECT_EQ(scene.stick[scene.at(1, y)], 1);
    // A neighbour two columns to the left owned by another tree marks an edge.
    scene.trees.push_back(tree(0, 300, 200, false));
    scene.owner[scene.at(0, y)] = 1;
    scene.textureBand(0, 100);
    EXPECT_EQ(scene.stick[scene.at(2, y)], 0);
}

// The needle flag of one claimed pixel, straight from the rule.
bool plainStick(const QuillmoorScene& scene, int x, int y) {
    const std::size_t p = scene.at(x, y);
    const int32_t o = scene.owner[p];
    if ((x >= 2 && scene.owner[p - 2] != o) || (x + 2 < scene.ww && scene.owner[p + 2] != o) ||
        (y >= 2 && scene.owner[p - 2 * static_cast<std::size_t>(scene.ww)] != o))
        return false;
    const Tree& t = scene.trees[static_cast<std::size_t>(o)];
    const int col = (((x - t.cx) % scene.tile + scene.tile) % scene.tile) * 8 / scene.tile;
    const int row = (((t.baseY - y) % scene.tile + scene.tile) % scene.tile) * 8 / scene.tile;
    return (QuillmoorScene::needles()[static_cast<std::size_t>(t.style)][static_cast<std::size_t>(row)] & (0x80 >> col)) != 0;
}

TEST(ForestTrees, GrownForestCarriesThePlainNeedlePattern) {
    for (const auto& [w, h] : {std::pair{960, 540}, std::pair{1280, 720}, std::pair{200, 90}}) {
        const QuillmoorScene scene(w, h, 0xF00Du + static_cast<uint64_t>(w), 1800);
        std::size_t checked = 0;
        for (int y = 0; y < scene.h; ++y)
            for (int x = 0; x < scene.ww; ++x) {
                if (scene.owner[scene.at(x, y)] < 0) continue;
                // Tents built after the forest leave their neighbours' flags as they were.
                bool nearTent = false;
                for (int dy = -2; dy <= 0; ++dy)
                    for (int dx = -2; dx <= 2; ++dx)
                        if (x + dx >= 0 && x + dx < scene.ww && y + dy >= 0) nearTent = nearTent || scene.tentMask[scene.at(x + dx, y + dy)];
                if (nearTent) continue;
                ASSERT_EQ(scene.stick[scene.at(x, y)] != 0, plainStick(scene, x, y)) << w << "x" << h << " at " << x << "," << y;
                ++checked;
            }
        EXPECT_GT(checked, 1000u);
    }
}

TEST(ForestTrees, FrontTreesKeepOutOfClearingsBackTreesDoNot) {
    QuillmoorScene scene(960, 540, 13, 1800);
    clearWorld(scene);
    const int c = 500;
    scene.pending = {tree(c, scene.groundY + 1, 150, false), tree(c, scene.groundY + 2, 300, true)};
    scene.treeTop = scene.h;
    scene.growRows({c});
    ASSERT_FALSE(scene.trees.empty());
    EXPECT_FALSE(scene.trees[0].front);
    EXPECT_EQ(scene.trees[0].cx, c);
    const int r = static_cast<int>(scene.s * 110);
    int fronts = 0;
    for (const Tree& t : scene.trees) {
        if (!t.front) continue;
        ++fronts;
        const int hw = static_cast<int>(t.height * t.spread) * 6 / 10;
        EXPECT_FALSE(c - r < t.cx + hw && t.cx - hw < c + r) << t.cx;
        EXPECT_GT(t.cx, c);
    }
    EXPECT_GT(fronts, 0);

    // A row whose pending tree does not fit places nothing and draws nothing.
    const uint64_t before = scene.rng.state;
    const std::size_t count = scene.trees.size();
    scene.growRows({c});
    EXPECT_EQ(scene.rng.state, before);
    EXPECT_EQ(scene.trees.size(), count);
}

}  // namespace
