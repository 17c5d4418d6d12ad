#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <tuple>
#include <utility>

#include "tests/forest_support.h"

using forest_support::clearWorld;
using forest_support::drawsBetween;
using quillmoor::QuillmoorScene;
using Tree = QuillmoorScene::Tree;

namespace {

Tree tree(int cx, int baseY, int height, bool front, int style = 0) { return {cx, baseY, height, 0.2, style, 0xff00ff00, front}; }

TEST(ForestWorld, SizesAndPanPeriod) {
    struct Sizes {
        int w, h, groundY, fireBase, fw, fh, maxDecay, tile, blockSize, ww;
        std::size_t moon, flies;
    };
    // The moons lie wholly inside the three screens (disc points of radius 13, 10, 17); 0 x 0 is raised to 1 x 1.
    const Sizes table[] = {{960, 540, 475, 479, 17, 30, 2, 9, 10, 1308, 553, 24},
                           {800, 450, 396, 399, 15, 25, 2, 8, 8, 1090, 333, 24},
                           {1280, 720, 633, 638, 23, 40, 2, 12, 13, 1740, 941, 24},
                           {0, 0, 0, 0, 5, 6, 10, 2, 2, 9, 1, 13}};
    for (const Sizes& e : table) {
        const QuillmoorScene scene(e.w, e.h, 99, 1800);
        EXPECT_EQ(std::tie(scene.groundY, scene.fireBase, scene.fw, scene.fh, scene.maxDecay, scene.tile, scene.blockSize, scene.ww),
                  std::tie(e.groundY, e.fireBase, e.fw, e.fh, e.maxDecay, e.tile, e.blockSize, e.ww))
            << e.w << "x" << e.h;
        EXPECT_EQ(std::make_tuple(scene.moon.size(), scene.flies.size(), scene.stick.size()),
                  std::make_tuple(e.moon, e.flies, static_cast<std::size_t>(scene.ww * scene.h)));
    }
    // The environment's period reaches the scene; an explicit one is raised to at least 1.
    ::setenv("MOTHWAKES_PAN_FRAMES", "+30", 1);
    EXPECT_EQ(QuillmoorScene(40, 30, 5).panFrames, 30);
    ::setenv("MOTHWAKES_PAN_FRAMES", "3e2", 1);
    EXPECT_EQ(QuillmoorScene(40, 30, 5).panFrames, 1800);
    ::unsetenv("MOTHWAKES_PAN_FRAMES");
    EXPECT_EQ(QuillmoorScene(40, 30, 5, -7).panFrames, 1);
}

TEST(ForestWorld, SkyDitherAndMoonOutline) {
    // After 50 scrolls every open sky pixel, old or rebuilt, continues one pattern anchored in the world.
    QuillmoorScene panned(320, 180, 4, 1);
    for (int i = 0; i < 50; ++i) panned.step();
    for (int y = 0; y < panned.groundY; ++y)
        for (int x = 0; x < panned.ww; ++x) {
            const auto& e = panned.skyRow[static_cast<std::size_t>(y)];
            const uint32_t expected = e.fract > quillmoor::threshold(static_cast<int>(x + panned.pan), y) ? e.high : e.low;
            ASSERT_TRUE(panned.tentMask[panned.at(x, y)] || panned.base[panned.at(x, y)] == expected) << x << "," << y;
        }
    // Filling all columns at once matches filling them one by one, draws included.
    for (const auto& [w, h] : {std::pair{960, 540}, std::pair{33, 17}, std::pair{1, 1}}) {
        QuillmoorScene fast(w, h, 21, 1800), plain(w, h, 21, 1800);
        fast.pan = plain.pan = 6;
        fast.resetAllColumns();
        for (int x = 0; x < plain.ww; ++x) plain.resetColumn(x);
        EXPECT_TRUE(fast.rng.state == plain.rng.state && fast.base == plain.base && fast.buf == plain.buf && fast.owner == plain.owner &&
                    fast.skyMask == plain.skyMask && fast.tentMask == plain.tentMask && fast.painted == plain.painted && fast.stick == plain.stick)
            << w << "x" << h;
    }
    // A moon of radius 13 reaches k * k + k / 2 = 175: (13, 2) lies inside, (13, 3) outside.
    const QuillmoorScene scene(960, 540, 8, 1800);
    int minX = 1 << 30, minY = 1 << 30, maxX = -1, maxY = -1;
    for (const auto& m : scene.moon) minX = std::min(minX, m.x), maxX = std::max(maxX, m.x), minY = std::min(minY, m.y), maxY = std::max(maxY, m.y);
    ASSERT_EQ(std::make_pair(maxX - minX, maxY - minY), std::make_pair(26, 26));
    std::set<std::pair<int, int>> points;
    for (const auto& m : scene.moon) points.insert({m.x - minX - 13, m.y - minY - 13});
    EXPECT_TRUE(points.count({13, 2}) && points.count({0, -13}) && !points.count({13, 3}));
}

TEST(ForestTrees, PickTreeDrawsAndAcceptance) {
    QuillmoorScene scene(960, 540, 4, 1800), small(80, 50, 4, 1800);
    const auto draws = [](QuillmoorScene& sc, bool front) {
        const uint64_t before = sc.rng.state;
        sc.pickTree(front, {});
        return drawsBetween(before, sc.rng.state);
    };
    EXPECT_EQ(draws(scene, false), 4);
    EXPECT_EQ(draws(scene, true), 5);  // the front row draws its base row first
    EXPECT_EQ(draws(small, true), 4);  // unless Int(s * 10) is 0
    // A tree is accepted only when unlike its neighbours, unless the 80th try stands.
    Tree a = tree(0, 0, 200, false, 2), b = tree(0, 0, 300, false, 3);
    a.color = scene.backShades[0];
    b.color = scene.backShades[1];
    int accepted = 0;
    for (int i = 0; i < 200; ++i) {
        const uint64_t before = scene.rng.state;
        const Tree t = scene.pickTree(false, {a, b});
        const int n = drawsBetween(before, scene.rng.state, 400);
        ASSERT_EQ(n % 4, 0);
        if (n == 320) continue;
        ++accepted;
        EXPECT_TRUE(std::abs(t.height - 200) >= 32 && std::abs(t.height - 300) >= 32 && t.style != b.style && t.color != b.color);
    }
    EXPECT_GT(accepted, 150);
}

TEST(ForestTrees, TrunksClaimsAndClearings) {
    const int cases[][3] = {{108, 15, 3}, {485, 69, 17}, {27, 3, 1}};  // height, trunk rows, trunk width
    for (const auto& [height, th, tw] : cases) {
        QuillmoorScene scene(960, 540, 9, 1800);
        clearWorld(scene);
        scene.treeTop = scene.h;
        // One back tree at the right edge, so that nothing follows it.
        scene.pending = {tree(scene.ww - 3 - static_cast<int>(height * 0.2), scene.groundY + 1, height, false), tree(scene.ww, 0, 300, true)};
        scene.growRows({});
        ASSERT_EQ(scene.trees.size(), 1u);
        const Tree& t = scene.trees[0];
        int rows = 0;
        for (int y = t.baseY - 1; y >= 0; --y, ++rows) {
            std::vector<int> xs;
            for (int x = 0; x < scene.ww; ++x)
                if (scene.owner[scene.at(x, y)] == 0) xs.push_back(x);
            if (static_cast<int>(xs.size()) != tw) break;
            EXPECT_EQ(xs[0], t.cx - tw / 2);
        }
        EXPECT_EQ(rows, th) << height;
        EXPECT_EQ(scene.treeTop, std::max(0, t.baseY - height));  // never above the top row
    }

    QuillmoorScene scene(960, 540, 13, 1800);
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
    EXPECT_TRUE(scene.owner[p] == 2 && scene.painted[p] == 0 && scene.buf[p] == scene.base[p]);  // its old silhouette goes
    scene.tentMask[scene.at(20, 100)] = 1;
    scene.claim(20, 100, 0, true);
    EXPECT_EQ(scene.owner[scene.at(20, 100)], -1);  // tents are never covered

    // The back row grows through a clearing; the front row keeps out of it.
    clearWorld(scene);
    const int c = 500, r = static_cast<int>(scene.s * 110);
    scene.pending = {tree(c, scene.groundY + 1, 150, false), tree(c, scene.groundY + 2, 300, true)};
    scene.growRows({c});
    ASSERT_FALSE(scene.trees.empty());
    EXPECT_EQ(scene.trees[0].cx, c);
    int fronts = 0;
    for (const Tree& f : scene.trees) {
        if (!f.front) continue;
        ++fronts;
        const int hw = static_cast<int>(f.height * f.spread) * 6 / 10;
        EXPECT_TRUE(f.cx > c && !(c - r < f.cx + hw && f.cx - hw < c + r)) << f.cx;
    }
    EXPECT_GT(fronts, 0);
}

// The needle flag of one claimed pixel, straight from the rule.
bool plainStick(const QuillmoorScene& scene, int x, int y) {
    const std::size_t p = scene.at(x, y);
    const int32_t o = scene.owner[p];
    if ((x >= 2 && scene.owner[p - 2] != o) || (x + 2 < scene.ww && scene.owner[p + 2] != o) ||
        (y >= 2 && scene.owner[p - 2 * static_cast<std::size_t>(scene.ww)] != o))
        return false;
    const Tree& t = scene.trees[static_cast<std::size_t>(o)];
    const auto cell = [&](int d) { return ((d % scene.tile + scene.tile) % scene.tile) * 8 / scene.tile; };
    return (QuillmoorScene::needles()[static_cast<std::size_t>(t.style)][static_cast<std::size_t>(cell(t.baseY - y))] & (0x80 >> cell(x - t.cx))) != 0;
}

TEST(ForestTrees, NeedlePatternAndEdges) {
    QuillmoorScene scene(320, 540, 2, 1800);
    ASSERT_EQ(scene.tile, 9);
    clearWorld(scene);
    scene.trees = {tree(40, 300, 200, true, 1)};  // style 1, row 0 is 0x01: pattern column 7 only
    for (int y = 200; y < 300; ++y)
        for (int x = 0; x < 80; ++x) scene.owner[scene.at(x, y)] = 0;
    scene.textureBand(0, 100);
    const int y = 300 - 9 * 5;  // pattern row 0
    for (int off = -9; off < 30; ++off) EXPECT_EQ(scene.stick[scene.at(40 + off, y)], (off + 9) % 9 == 8) << off;
    // Two pixels from the right and upper edges carry no needles; the world's left edge is no edge.
    for (const auto& [x, yy] : {std::pair{78, y}, {79, y}, {41, 200}, {41, 201}}) EXPECT_EQ(scene.stick[scene.at(x, yy)], 0) << x << "," << yy;
    scene.trees[0].cx = 1;
    scene.textureBand(0, 100);
    EXPECT_EQ(scene.stick[scene.at(0, y)], 1);

    // Grown forests carry the plain rule everywhere, except next to tents built after them.
    for (const auto& [w, h] : {std::pair{960, 540}, std::pair{1280, 720}, std::pair{200, 90}}) {
        const QuillmoorScene grown(w, h, 0xF00Du + static_cast<uint64_t>(w), 1800);
        std::size_t checked = 0;
        for (int yy = 0; yy < grown.h; ++yy)
            for (int x = 0; x < grown.ww; ++x) {
                bool nearTent = false;
                for (int dy = -2; dy <= 0; ++dy)
                    for (int dx = -2; dx <= 2; ++dx)
                        nearTent = nearTent || (x + dx >= 0 && x + dx < grown.ww && yy + dy >= 0 && grown.tentMask[grown.at(x + dx, yy + dy)]);
                if (grown.owner[grown.at(x, yy)] < 0 || nearTent) continue;
                ASSERT_EQ(grown.stick[grown.at(x, yy)] != 0, plainStick(grown, x, yy)) << w << "x" << h << " at " << x << "," << yy;
                ++checked;
            }
        EXPECT_GT(checked, 1000u);
    }
}

}  // namespace
