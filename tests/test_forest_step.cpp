#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>

#include "tests/forest_support.h"

using forest_support::clearWorld;
using quillmoor::Canvas;
using quillmoor::QuillmoorScene;

namespace {

TEST(ForestStep, ScrollShiftsEveryBufferAndDropsWhatLeaves) {
    QuillmoorScene scene(320, 180, 23, 1);
    const QuillmoorScene before = scene;
    const int margin = static_cast<int>(scene.s * 160);
    scene.lit = {{0, 170, 1, 0, 1, 2}, {1, 171, 1, 0, 1, 2}, {5, 172, 1, 0, 1, 2}};
    scene.overlay = {{0, 170, 9}, {1, 171, 9}};
    scene.camps = {{-2 * margin + 1, 0, std::vector<uint8_t>(static_cast<std::size_t>(scene.fw * scene.fh))},
                   {-2 * margin, 7, std::vector<uint8_t>(static_cast<std::size_t>(scene.fw * scene.fh))},
                   {40, 77, std::vector<uint8_t>(static_cast<std::size_t>(scene.fw * scene.fh))}};
    scene.sparks = {{10.5, 20.0, 0, 0, 50, 50, 0}};
    scene.scroll();

    EXPECT_EQ(scene.pan, 1);
    ASSERT_GE(scene.lit.size(), 2u);  // a camp built by this scroll would follow
    EXPECT_EQ(scene.lit[0].x, 0);
    EXPECT_EQ(scene.lit[0].y, 171);
    EXPECT_EQ(scene.lit[1].x, 4);
    ASSERT_GE(scene.overlay.size(), 1u);
    EXPECT_EQ(scene.overlay[0].y, 171);
    ASSERT_GE(scene.camps.size(), 2u);
    EXPECT_EQ(scene.camps[0].centerX, -2 * margin);  // stays at exactly twice the margin left of the world
    EXPECT_EQ(scene.camps[1].fireX, 76);
    EXPECT_DOUBLE_EQ(scene.sparks[0].x, 9.5);

    // Every buffer moved one column left in place; the last column is fresh sky and ground.
    for (int y = 0; y < scene.h; y += 7)
        for (int x = 0; x + 1 < scene.ww; ++x) {
            const std::size_t p = scene.at(x, y), q = before.at(x + 1, y);
            if (before.owner[q] != scene.owner[p]) continue;  // regrown forest may claim anew
            ASSERT_EQ(scene.skyMask[p], before.skyMask[q]);
            ASSERT_EQ(scene.tentMask[p], before.tentMask[q]);
            ASSERT_EQ(scene.base[p], before.base[q]);
            ASSERT_EQ(scene.buf[p], before.buf[q]);
        }
    EXPECT_EQ(scene.base.size(), before.base.size());
}

TEST(ForestStep, PansOnMultiplesOfPanFrames) {
    QuillmoorScene every(120, 68, 1, 1);
    QuillmoorScene slow(120, 68, 1, 5);
    for (int i = 0; i < 12; ++i) every.step(), slow.step();
    EXPECT_EQ(every.pan, 12);
    EXPECT_EQ(slow.pan, 2);
    const uint32_t* data = every.buf.data();
    every.step();
    EXPECT_EQ(every.buf.data(), data);  // shifted in place, never reallocated
}

TEST(ForestStep, AccumulatorRatesAt960x540) {
    QuillmoorScene scene(960, 540, 5, 1800);
    scene.starAcc = scene.rainAcc = 0;
    scene.step();
    EXPECT_NEAR(scene.starAcc, 2.11896 - 2, 1e-9);
    EXPECT_NEAR(scene.rainAcc, 706320 * 3e-4 / (72 * 1.125 * 1.125) - 2, 1e-9);
    EXPECT_NEAR(scene.rainAcc + 2, 2.325, 1e-3);
}

// Diameters of rain patches, read off the washed pixels.
std::set<int> rainDiameters(int height) {
    QuillmoorScene scene(1, height, 61, 1800);
    clearWorld(scene);
    std::set<int> sizes;
    for (int i = 0; i < 600; ++i) {
        std::fill(scene.buf.begin(), scene.buf.end(), 1u);
        scene.rain();
        int minX = scene.ww, maxX = -1, minY = scene.h, maxY = -1;
        for (int y = 0; y < scene.h; ++y)
            for (int x = 0; x < scene.ww; ++x)
                if (scene.buf[scene.at(x, y)] != 1u)
                    minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
        if (maxX < 0 || minX == 0 || minY == 0 || maxX == scene.ww - 1 || maxY == scene.h - 1) continue;
        const int n = maxX - minX + 1;
        EXPECT_EQ(maxY - minY + 1, n);
        int washed = 0;
        for (int y = minY; y <= maxY; ++y)
            for (int x = minX; x <= maxX; ++x) washed += scene.buf[scene.at(x, y)] != 1u;
        if (n <= 2) {
            EXPECT_EQ(washed, n * n);  // the whole square is washed
        }
        sizes.insert(n);
    }
    return sizes;
}

TEST(ForestPainting, RainDiameters) {
    EXPECT_EQ(rainDiameters(540), (std::set<int>{2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15, 16}));
    EXPECT_EQ(*rainDiameters(200).begin(), 1);
}

TEST(ForestPainting, BlocksNeedlesAndWarmth) {
    QuillmoorScene scene(320, 180, 71, 1800);
    for (int i = 0; i < 400; ++i) scene.paintBlock();
    for (std::size_t p = 0; p < scene.owner.size(); ++p)
        if (scene.painted[p]) {
            ASSERT_EQ(scene.buf[p], scene.silhouette(p));
        }

    // A needle on a claimed but unpainted pixel draws only its position.
    clearWorld(scene);
    scene.trees = {{0, 200, 100, 0.2, 0, 0xff00ff00, true}};
    std::fill(scene.owner.begin(), scene.owner.end(), 0);
    std::fill(scene.stick.begin(), scene.stick.end(), 1);
    scene.treeTop = 0;
    uint64_t before = scene.rng.state;
    scene.paintNeedle();
    EXPECT_EQ(forest_support::drawsBetween(before, scene.rng.state), 2);

    // Painted and far from any fire: the tree's own colour, no warmth draw.
    std::fill(scene.painted.begin(), scene.painted.end(), 1);
    before = scene.rng.state;
    scene.paintNeedle();
    EXPECT_EQ(forest_support::drawsBetween(before, scene.rng.state), 2);
    for (const uint32_t c : scene.buf) EXPECT_TRUE(c != scene.warmDim && c != scene.warmBright);

    // Warm tints appear only near a fire, the bright one nearer still.
    scene.camps = {{0, 0, {}}};
    for (int i = 0; i < 3000; ++i) scene.paintNeedle();
    int bright = 0;
    for (int y = 0; y < scene.h; ++y)
        for (int x = 0; x < scene.ww; ++x) {
            const uint32_t c = scene.buf[scene.at(x, y)];
            const double d = std::hypot(x, y - scene.groundY);
            if (c == scene.warmBright) {
                ++bright;
                EXPECT_LT(d, 0.45 * 260 * scene.s);
            }
            if (c == scene.warmDim) {
                EXPECT_LT(d, 260 * scene.s);
            }
        }
    EXPECT_GT(bright, 0);
}

TEST(ForestSparks, EmissionMotionAndAge) {
    QuillmoorScene scene(960, 540, 19, 1800);
    clearWorld(scene);
    scene.camps = {{500, 500, {}}};
    for (int i = 0; i < 2000; ++i) {
        scene.sparks.clear();
        scene.emitSparks();
        for (const auto& spark : scene.sparks) {
            EXPECT_GE(spark.vx, -0.4);
            EXPECT_LT(spark.vx, 0.4);
            EXPECT_GE(spark.vy, -1.8);
            EXPECT_LT(spark.vy, -0.7);
            EXPECT_GE(spark.life, 40);
            EXPECT_LE(spark.life, 110);
            EXPECT_LE(std::abs(spark.x - 500), 17 * 0.25);
            EXPECT_EQ(spark.y, scene.fireBase - scene.fh / 2);
        }
    }
    scene.sparks = {{0, 0, 0, -1, 40, 40, 0}, {0, 0, 0, -1, 41, 41, 0}};
    for (int i = 0; i < 39; ++i) scene.moveSparks();
    EXPECT_EQ(scene.sparks.size(), 2u);
    scene.moveSparks();
    ASSERT_EQ(scene.sparks.size(), 1u);
    EXPECT_EQ(scene.sparks[0].maxLife, 41);
}

TEST(ForestFireflies, StayInTheirBandAndBlink) {
    QuillmoorScene scene(640, 360, 29, 1800);
    const double sc = 360.0 / 270, minY = 0.45 * 360, maxY = scene.groundY - 2;
    std::vector<int> periods;
    for (int i = 0; i < 3000; ++i) {
        scene.moveFlies();
        for (const auto& f : scene.flies) {
            ASSERT_GE(f.x, 0);
            ASSERT_LE(f.x, 639);
            ASSERT_GE(f.y, minY);
            ASSERT_LE(f.y, maxY);
            ASSERT_LE(std::abs(f.vx), 0.35 * sc + 1e-12);
            ASSERT_LE(std::abs(f.vy), 0.2 * sc + 1e-12);
            if (f.timer == f.span && f.span != 1) {
                ASSERT_TRUE(f.on ? (f.span >= 25 && f.span <= 60) : (f.span >= 40 && f.span <= 200));
            }
        }
    }
    // On a canvas too short for the band, every firefly sits on its lower limit.
    QuillmoorScene flat(100, 4, 29, 1800);
    for (int i = 0; i < 10; ++i) flat.moveFlies();
    for (const auto& f : flat.flies) EXPECT_EQ(f.y, 0.45 * 4);
    // Overshooting the right edge turns the firefly round.
    scene.flies = {{639.0, 200.0, 0.3, 0, false, 50, 50}};
    scene.moveFlies();
    EXPECT_EQ(scene.flies[0].x, 639.0);
    EXPECT_LT(scene.flies[0].vx, 0);
}

}  // namespace
