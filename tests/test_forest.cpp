#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>

#include "QuillmoorMothwake/QuillmoorScene.h"
#include "QuillmoorMothwake/RNG.h"

using quillmoor::Canvas;
using quillmoor::QuillmoorScene;
using Tree = QuillmoorScene::Tree;

namespace {

// How many generator steps lead from one state to another (-1 beyond a limit).
int drawsBetween(uint64_t before, uint64_t after, int limit = 100000) {
    quillmoor::RNG r(before);
    for (int n = 0; n <= limit; ++n) {
        if (r.state == after) return n;
        r.next();
    }
    return -1;
}

// A world of only sky and ground: no trees, camps or lit pixels.
void clearWorld(QuillmoorScene& scene) {
    scene.resetAllColumns();
    scene.trees.clear();
    scene.camps.clear();
    scene.lit.clear();
    scene.overlay.clear();
    scene.sparks.clear();
    scene.recent = {};
}

Tree tree(int cx, int baseY, int height, bool front, int style = 0, uint32_t color = 0) { return {cx, baseY, height, 0.2, style, color, front}; }

TEST(ForestWorld, SizesAndPanPeriod) {
    // Width, height, then groundY, fireBase, fw, fh, maxDecay, tile, blockSize, ww, moon pixels and fireflies.
    // The moons lie wholly inside the three screens (disc points of radius 13, 10, 17); 0 x 0 is raised to 1 x 1.
    const std::array<int, 12> table[] = {{960, 540, 475, 479, 17, 30, 2, 9, 10, 1308, 553, 24},
                                         {800, 450, 396, 399, 15, 25, 2, 8, 8, 1090, 333, 24},
                                         {1280, 720, 633, 638, 23, 40, 2, 12, 13, 1740, 941, 24},
                                         {0, 0, 0, 0, 5, 6, 10, 2, 2, 9, 1, 13}};
    for (const auto& e : table) {
        const QuillmoorScene sc(e[0], e[1], 99, 1800);
        EXPECT_EQ((std::array<int, 12>{e[0], e[1], sc.groundY, sc.fireBase, sc.fw, sc.fh, sc.maxDecay, sc.tile, sc.blockSize, sc.ww,
                                       static_cast<int>(sc.moon.size()), static_cast<int>(sc.flies.size())}),
                  e);
    }
    EXPECT_EQ(QuillmoorScene(40, 30, 5, -7).panFrames, 1);  // an explicit period is raised to at least 1
}

TEST(ForestWorld, SkyDitherFollowsTheWorldAndColumnsFillAlike) {
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
    const Tree a = tree(0, 0, 200, false, 2, scene.backShades[0]), b = tree(0, 0, 300, false, 3, scene.backShades[1]);
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
    for (const auto& [height, th, tw] : {std::array{108, 15, 3}, {485, 69, 17}, {27, 3, 1}}) {  // height, trunk rows and width
        QuillmoorScene scene(960, 540, 9, 1800);
        clearWorld(scene);
        scene.treeTop = scene.h;
        // One back tree at the right edge, so that nothing follows it.
        scene.pending = {tree(scene.ww - 3 - static_cast<int>(height * 0.2), scene.groundY + 1, height, false), tree(scene.ww, 0, 300, true)};
        scene.growRows({});
        ASSERT_EQ(scene.trees.size(), 1u);
        const Tree& t = scene.trees[0];
        const auto owned = [&](int y) { return std::count(&scene.owner[scene.at(0, y)], &scene.owner[scene.at(0, y)] + scene.ww, 0); };
        int rows = 0;
        for (int y = t.baseY - 1; y >= 0 && owned(y) == tw; --y, ++rows) EXPECT_EQ(scene.owner[scene.at(t.cx - tw / 2, y)], 0);
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
    scene.tentMask[p + 10] = 1;
    scene.claim(20, 100, 0, true);
    EXPECT_EQ(scene.owner[p + 10], -1);  // tents are never covered

    // The back row grows through a clearing; the front row keeps out of it.
    clearWorld(scene);
    const int c = 500, r = static_cast<int>(scene.s * 110);
    scene.pending = {tree(c, scene.groundY + 1, 150, false), tree(c, scene.groundY + 2, 300, true)};
    scene.growRows({c});
    ASSERT_FALSE(scene.trees.empty());
    EXPECT_EQ(scene.trees[0].cx, c);
    int fronts = 0;
    for (const Tree& f : scene.trees) {
        const int hw = static_cast<int>(f.height * f.spread) * 6 / 10;
        fronts += f.front;
        EXPECT_TRUE(!f.front || (f.cx > c && !(c - r < f.cx + hw && f.cx - hw < c + r))) << f.cx;
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
    for (int y = 200; y < 300; ++y) std::fill_n(&scene.owner[scene.at(0, y)], 80, 0);
    scene.textureBand(0, 100);
    const int y = 300 - 9 * 5;  // pattern row 0
    for (int off = -9; off < 30; ++off) EXPECT_EQ(scene.stick[scene.at(40 + off, y)], (off + 9) % 9 == 8) << off;
    // Two pixels from the right and upper edges carry no needles; the world's left edge is no edge.
    for (const auto& [x, yy] : {std::pair{78, y}, {79, y}, {41, 200}, {41, 201}}) EXPECT_EQ(scene.stick[scene.at(x, yy)], 0) << x << "," << yy;
    scene.trees[0].cx = 1;
    scene.textureBand(0, 100);
    EXPECT_EQ(scene.stick[scene.at(0, y)], 1);

    // Over grown forests, the run-by-run texturing agrees with the plain rule pixel by pixel.
    for (const auto& [w, h] : {std::pair{960, 540}, std::pair{1280, 720}, std::pair{200, 90}}) {
        QuillmoorScene grown(w, h, 0xF00Du + static_cast<uint64_t>(w), 1800);
        grown.textureBand(0, grown.ww - 1);
        for (std::size_t p = 0; p < grown.owner.size(); ++p) {
            const int x = static_cast<int>(p) % grown.ww, yy = static_cast<int>(p) / grown.ww;
            ASSERT_TRUE(grown.owner[p] < 0 || (grown.stick[p] != 0) == plainStick(grown, x, yy)) << w << "x" << h << " at " << x << "," << yy;
        }
    }
}

// Tent pixels of one row, and the door pixels among them.
std::pair<int, int> tentRow(const QuillmoorScene& scene, int y) {
    int tent = 0, door = 0;
    for (std::size_t p = scene.at(0, y); p < scene.at(0, y + 1); ++p) tent += scene.tentMask[p], door += scene.tentMask[p] && scene.base[p] == 0xff030202u;
    return {tent, door};
}

TEST(ForestCamps, TentAndPitGeometry) {
    QuillmoorScene scene(960, 540, 31, 1800), small(100, 60, 31, 1800);
    clearWorld(scene);
    scene.buildCamp(600);
    EXPECT_EQ(std::abs(scene.camps.at(0).fireX - 600), 34);
    EXPECT_EQ(tentRow(scene, scene.groundY + 1), std::make_pair(53, 13));
    EXPECT_EQ(tentRow(scene, scene.groundY - 31), std::make_pair(1, 0));  // the pole's top
    EXPECT_EQ(tentRow(scene, scene.groundY - 32).first, 0);
    EXPECT_EQ(scene.overlay.size(), 3u * (19 + 6));  // 3 rows of 19 logs and 3 stones a side
    clearWorld(small);  // the minimum sizes
    small.buildCamp(50);
    EXPECT_EQ(tentRow(small, small.groundY + 1), std::make_pair(9, 3));
    EXPECT_EQ(tentRow(small, small.groundY - 4).first, 1);
    EXPECT_EQ(small.overlay.size(), 2u * (small.fw + 2 + 4));
}

TEST(ForestCamps, FireKindlingAndPaletteBands) {
    QuillmoorScene scene(960, 540, 17, 1800);
    std::vector<uint8_t> heat(static_cast<std::size_t>(scene.fw * scene.fh), 0);
    const uint8_t* bottom = heat.data() + (scene.fh - 1) * scene.fw;
    for (int i = 0; i < 200; ++i) {
        scene.stepFire(heat);
        EXPECT_TRUE(bottom[0] >= 5 && bottom[0] <= 7 && bottom[scene.fw - 1] >= 5 && bottom[scene.fw - 1] <= 7 && bottom[scene.fw / 2] >= 27);
        EXPECT_LE(*std::max_element(heat.begin(), heat.end()), 35);
    }
    // The heat-to-colour table gives the hottest band whose minimum the heat reaches, else nothing (0).
    for (int v = 0; v < 256; ++v) {
        uint32_t expected = 0;
        for (auto band = scene.firePalette.rbegin(); band != scene.firePalette.rend(); ++band) expected = band->min <= v ? band->color : expected;
        EXPECT_EQ(scene.fireColorByHeat[static_cast<std::size_t>(v)], expected) << v;
    }
}

// The fire light as first written: one pixel at a time, straight from the rule.
void plainLit(const QuillmoorScene& scene, Canvas& canvas) {
    for (const auto& l : scene.lit) {
        const float e = l.level * scene.glow * 2;
        const int n = static_cast<int>(e) + (e - static_cast<float>(static_cast<int>(e)) > l.thr ? 1 : 0);
        if (l.x < scene.w && n > 0) canvas.px[static_cast<std::size_t>(l.x + l.y * scene.w)] = n >= 2 ? l.bright : l.dim;
    }
}

TEST(ForestCamps, FireLightDither) {
    QuillmoorScene scene(64, 40, 5, 1800);
    scene.lit = {{1, 1, 0.75f, 0.4f, 0x1, 0x2}, {2, 1, 0.75f, 0.6f, 0x1, 0x2}, {3, 1, 0.0f, 0.0f, 0x1, 0x2}, {64, 1, 1.0f, 0.0f, 0x1, 0x2}};
    scene.glow = 1.0f;
    Canvas canvas(64, 40);
    std::fill(canvas.px.begin(), canvas.px.end(), 0x7u);
    scene.drawLit(canvas);
    // e = 1.5: bright where its fraction beats the threshold, else dim; unlit stays; nothing wraps into the next row.
    EXPECT_EQ((std::array{canvas.px[64 + 1], canvas.px[64 + 2], canvas.px[64 + 3], canvas.px[2 * 64]}), (std::array<uint32_t, 4>{0x2, 0x1, 0x7, 0x7}));

    QuillmoorScene running(960, 540, 44, 2);
    Canvas fast(960, 540), plain(960, 540);
    for (int i = 0; i < 120; ++i) {
        running.step();
        running.drawLit(fast);
        plainLit(running, plain);
        ASSERT_EQ(fast.px, plain.px) << i;
    }
}

TEST(ForestStep, ScrollShiftsInPlaceAndDropsWhatLeaves) {
    QuillmoorScene scene(320, 180, 23, 1);
    const QuillmoorScene before = scene;
    const int margin = static_cast<int>(scene.s * 160);
    scene.lit = {{0, 170, 1, 0, 1, 2}, {1, 171, 1, 0, 1, 2}};
    scene.overlay = {{0, 170, 9}, {1, 171, 9}};
    scene.camps = {{-2 * margin + 1, 0, {}}, {-2 * margin, 7, {}}};
    const uint32_t* data = scene.buf.data();
    scene.scroll();
    EXPECT_EQ(scene.buf.data(), data);
    ASSERT_FALSE(scene.lit.empty() || scene.overlay.empty());  // a camp built by this scroll would follow
    EXPECT_EQ(std::make_pair(scene.lit[0].x, scene.lit[0].y), std::make_pair(0, 171));
    EXPECT_EQ(scene.overlay[0].y, 171);
    EXPECT_EQ(scene.camps.at(0).centerX, -2 * margin);  // kept at exactly twice the margin left of the world
    // Every buffer moved one column left; the rebuilt last column and regrown forest may differ.
    for (int y = 0; y < scene.h; ++y)
        for (int x = 0; x + 1 < scene.ww; ++x) {
            const std::size_t p = scene.at(x, y), q = before.at(x + 1, y);
            ASSERT_TRUE(before.owner[q] != scene.owner[p] ||
                        (scene.skyMask[p] == before.skyMask[q] && scene.tentMask[p] == before.tentMask[q] && scene.base[p] == before.base[q] &&
                         scene.buf[p] == before.buf[q] && scene.painted[p] == before.painted[q] && scene.stick[p] == before.stick[q]))
                << x << "," << y;
        }
}

// Diameters of the rain patches on a one-column canvas, read off the rows they wash, leaving out patches the world's edges clip.
std::set<int> rainDiameters(int height) {
    QuillmoorScene scene(1, height, 61, 1800);
    clearWorld(scene);
    std::set<int> sizes;
    for (int i = 0; i < 600; ++i) {
        std::fill(scene.buf.begin(), scene.buf.end(), 1u);
        scene.rain();
        const auto washed = [](uint32_t c) { return c != 1u; };
        const auto first = std::find_if(scene.buf.begin(), scene.buf.end(), washed) - scene.buf.begin();
        const auto last = std::find_if(scene.buf.rbegin(), scene.buf.rend(), washed).base() - scene.buf.begin() - 1;
        const int top = static_cast<int>(first) / scene.ww, bottom = static_cast<int>(last) / scene.ww, x = static_cast<int>(first) % scene.ww;
        if (last >= first && top > 0 && bottom < scene.h - 1 && x >= 16 && x < scene.ww - 16) sizes.insert(bottom - top + 1);
    }
    return sizes;
}

TEST(ForestStep, RainDiameters) {
    EXPECT_EQ(rainDiameters(540), (std::set<int>{2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15, 16}));
    EXPECT_EQ(*rainDiameters(200).begin(), 1);
}

TEST(ForestStep, SparkAndFireflyLimits) {
    QuillmoorScene scene(960, 540, 19, 1800);
    clearWorld(scene);
    scene.camps = {{500, 500, {}}};
    for (int i = 0; i < 2000; ++i) {
        scene.sparks.clear();
        scene.emitSparks();
        for (const auto& k : scene.sparks)
            ASSERT_TRUE(k.vx >= -0.4 && k.vx < 0.4 && k.vy >= -1.8 && k.vy < -0.7 && k.life >= 40 && k.life <= 110 &&
                        std::abs(k.x - 500) <= 17 * 0.25 && k.y == scene.fireBase - scene.fh / 2);
    }
    scene.sparks = {{0, 0, 0, -1, 40, 40, 0}, {0, 0, 0, -1, 41, 41, 0}};
    for (int i = 0; i < 40; ++i) scene.moveSparks();
    ASSERT_EQ(scene.sparks.size(), 1u);  // dead after exactly its life
    EXPECT_EQ(scene.sparks[0].maxLife, 41);

    QuillmoorScene flies(640, 360, 29, 1800), flat(100, 4, 29, 1800);
    const double sc = 360.0 / 270;
    for (int i = 0; i < 3000; ++i) {
        flies.moveFlies();
        for (const auto& f : flies.flies) {
            const bool fresh = f.timer == f.span && f.span != 1;
            ASSERT_TRUE(f.x >= 0 && f.x <= 639 && f.y >= 0.45 * 360 && f.y <= flies.groundY - 2);
            ASSERT_TRUE(std::abs(f.vx) <= 0.35 * sc + 1e-12 && std::abs(f.vy) <= 0.2 * sc + 1e-12);
            ASSERT_TRUE(!fresh || (f.on ? (f.span >= 25 && f.span <= 60) : (f.span >= 40 && f.span <= 200)));
        }
    }
    // On a canvas too short for their band, fireflies sit on its lower limit.
    for (int i = 0; i < 10; ++i) flat.moveFlies();
    for (const auto& f : flat.flies) EXPECT_EQ(f.y, 0.45 * 4);
}

}  // namespace
