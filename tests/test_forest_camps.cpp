#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include "tests/forest_support.h"

using forest_support::clearWorld;
using forest_support::drawsBetween;
using quillmoor::Canvas;
using quillmoor::QuillmoorScene;

namespace {

// Tent pixels of one row, and the door pixels among them.
std::pair<int, int> tentRow(const QuillmoorScene& scene, int y) {
    int tent = 0, door = 0;
    for (int x = 0; x < scene.ww; ++x) {
        tent += scene.tentMask[scene.at(x, y)];
        door += scene.tentMask[scene.at(x, y)] && scene.base[scene.at(x, y)] == 0xff030202u;
    }
    return {tent, door};
}

TEST(ForestCamps, TentAndPitGeometry) {
    QuillmoorScene scene(960, 540, 31, 1800);
    clearWorld(scene);
    scene.buildCamp(600);
    EXPECT_EQ(std::abs(scene.camps.at(0).fireX - 600), 34);
    EXPECT_EQ(tentRow(scene, scene.groundY + 1), std::make_pair(53, 13));
    EXPECT_EQ(tentRow(scene, scene.groundY - 31), std::make_pair(1, 0));  // the pole's top
    EXPECT_EQ(tentRow(scene, scene.groundY - 32).first, 0);
    EXPECT_EQ(scene.overlay.size(), 3u * (19 + 6));  // 3 rows of 19 logs and 3 stones a side

    QuillmoorScene small(100, 60, 31, 1800);  // the minimum sizes
    clearWorld(small);
    small.buildCamp(50);
    EXPECT_EQ(tentRow(small, small.groundY + 1), std::make_pair(9, 3));
    EXPECT_EQ(tentRow(small, small.groundY - 4).first, 1);
    EXPECT_EQ(small.overlay.size(), 2u * (small.fw + 2 + 4));
}

TEST(ForestCamps, FireKindlingAndPaletteBands) {
    QuillmoorScene scene(960, 540, 17, 1800);
    std::vector<uint8_t> heat(static_cast<std::size_t>(scene.fw * scene.fh), 0);
    const uint64_t before = scene.rng.state;
    scene.stepFire(heat);
    EXPECT_EQ(drawsBetween(before, scene.rng.state), scene.fw + 2 * scene.fw * (scene.fh - 1));
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
        if (l.x >= scene.w) continue;
        const float e = l.level * scene.glow * 2;
        int n = static_cast<int>(e);
        if (e - static_cast<float>(static_cast<int>(e)) > l.thr) n += 1;
        uint32_t& pixel = canvas.px[static_cast<std::size_t>(l.x + l.y * scene.w)];
        if (n >= 2) pixel = l.bright;
        else if (n == 1) pixel = l.dim;
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
    EXPECT_EQ(std::vector<uint32_t>(canvas.px.begin() + 65, canvas.px.begin() + 68), (std::vector<uint32_t>{0x2, 0x1, 0x7}));
    EXPECT_EQ(canvas.px[2 * 64], 0x7u);

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
    const std::vector<uint8_t> heat(static_cast<std::size_t>(scene.fw * scene.fh));
    scene.lit = {{0, 170, 1, 0, 1, 2}, {1, 171, 1, 0, 1, 2}};
    scene.overlay = {{0, 170, 9}, {1, 171, 9}};
    scene.camps = {{-2 * margin + 1, 0, heat}, {-2 * margin, 7, heat}};
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
            if (before.owner[q] != scene.owner[p]) continue;
            ASSERT_TRUE(scene.skyMask[p] == before.skyMask[q] && scene.tentMask[p] == before.tentMask[q] && scene.base[p] == before.base[q] &&
                        scene.buf[p] == before.buf[q] && scene.painted[p] == before.painted[q] && scene.stick[p] == before.stick[q])
                << x << "," << y;
        }
}

// Diameters of the rain patches that lie wholly inside a one-column canvas's world.
std::set<int> rainDiameters(int height) {
    QuillmoorScene scene(1, height, 61, 1800);
    clearWorld(scene);
    std::set<int> sizes;
    for (int i = 0; i < 600; ++i) {
        std::fill(scene.buf.begin(), scene.buf.end(), 1u);
        scene.rain();
        int minX = scene.ww, maxX = -1, minY = scene.h, maxY = -1;
        for (std::size_t p = 0; p < scene.buf.size(); ++p) {
            const int x = static_cast<int>(p) % scene.ww, y = static_cast<int>(p) / scene.ww;
            if (scene.buf[p] != 1u) minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
        }
        if (maxX < 0 || minX == 0 || minY == 0 || maxX == scene.ww - 1 || maxY == scene.h - 1) continue;  // none, or clipped
        EXPECT_EQ(maxY - minY, maxX - minX);
        sizes.insert(maxX - minX + 1);
    }
    return sizes;
}

TEST(ForestStep, AccumulatorRatesAndRainDiameters) {
    QuillmoorScene scene(960, 540, 5, 1800);
    scene.starAcc = scene.rainAcc = 0;
    scene.step();
    EXPECT_NEAR(scene.starAcc, 1308 * 540 * 3e-6 - 2, 1e-9);
    EXPECT_NEAR(scene.rainAcc, 1308 * 540 * 3e-4 / (72 * 1.125 * 1.125) - 2, 1e-9);
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

    QuillmoorScene flies(640, 360, 29, 1800);
    const double sc = 360.0 / 270;
    for (int i = 0; i < 3000; ++i) {
        flies.moveFlies();
        for (const auto& f : flies.flies) {
            ASSERT_TRUE(f.x >= 0 && f.x <= 639 && f.y >= 0.45 * 360 && f.y <= flies.groundY - 2);
            ASSERT_TRUE(std::abs(f.vx) <= 0.35 * sc + 1e-12 && std::abs(f.vy) <= 0.2 * sc + 1e-12);
            const bool fresh = f.timer == f.span && f.span != 1;
            ASSERT_TRUE(!fresh || (f.on ? (f.span >= 25 && f.span <= 60) : (f.span >= 40 && f.span <= 200)));
        }
    }
    // On a canvas too short for their band, fireflies sit on its lower limit.
    QuillmoorScene flat(100, 4, 29, 1800);
    for (int i = 0; i < 10; ++i) flat.moveFlies();
    for (const auto& f : flat.flies) EXPECT_EQ(f.y, 0.45 * 4);
}

}  // namespace
