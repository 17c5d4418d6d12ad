#include <gtest/gtest.h>

#include <cmath>
#include <set>

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
        const std::size_t p = scene.at(x, y);
        tent += scene.tentMask[p];
        door += scene.tentMask[p] && scene.base[p] == 0xff030202u;
    }
    return {tent, door};
}

TEST(ForestCamps, TentGeometry) {
    QuillmoorScene scene(960, 540, 31, 1800);
    clearWorld(scene);
    scene.buildCamp(600);
    const auto& camp = scene.camps.at(0);
    EXPECT_EQ(std::abs(camp.fireX - 600), 34);
    const int g = 1200 - camp.fireX;
    EXPECT_EQ(tentRow(scene, scene.groundY + 1), std::make_pair(53, 13));
    EXPECT_EQ(tentRow(scene, scene.groundY - 31), std::make_pair(1, 0));  // the pole's top
    EXPECT_EQ(tentRow(scene, scene.groundY - 32).first, 0);
    EXPECT_EQ(scene.tentMask[scene.at(g, scene.groundY - 31)], 1);
    // Pole pixels are lit as ridge pixels; the half facing the fire is brighter.
    const auto& pole = scene.lit.at(0);
    EXPECT_EQ(pole.y, scene.groundY - 31);
    EXPECT_FLOAT_EQ(pole.level, 0.5f * 0.62f + 0.3f + 0.15f);
    float towardFire = 0, away = 0;
    for (const auto& l : scene.lit)
        if (l.y == scene.groundY && scene.tentMask[scene.at(l.x, l.y)]) (l.x - g) * (camp.fireX - g) > 0 ? towardFire += l.level : away += l.level;
    EXPECT_GT(towardFire, away);
    // Fire pit: 19 logs and 3 stones a side on each of 3 rows.
    EXPECT_EQ(scene.overlay.size(), 3u * (19 + 6));

    // A small canvas keeps the minimum sizes.
    QuillmoorScene small(100, 60, 31, 1800);
    clearWorld(small);
    small.buildCamp(50);
    EXPECT_EQ(tentRow(small, small.groundY + 1), std::make_pair(9, 3));
    EXPECT_EQ(tentRow(small, small.groundY - 4).first, 1);
    EXPECT_EQ(small.overlay.size(), 2u * (small.fw + 2 + 4));

    // A tent partly outside the world writes only the pixels inside.
    QuillmoorScene edge(960, 540, 31, 1800);
    edge.buildCamp(5);
    edge.buildCamp(edge.ww - 3);
    for (const auto& l : edge.lit) {
        EXPECT_GE(l.x, 0);
        EXPECT_LT(l.x, edge.ww);
    }
}

TEST(ForestCamps, SpacingNeverFallsBelowTwoMarginsAndFour) {
    QuillmoorScene scene(20, 540, 3, 1800);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(scene.campSpacing(), 2 * 160 + 4);
}

TEST(ForestFire, KindlingAndPaletteBands) {
    QuillmoorScene scene(960, 540, 17, 1800);
    std::vector<uint8_t> heat(static_cast<std::size_t>(scene.fw * scene.fh), 0);
    const uint64_t before = scene.rng.state;
    scene.stepFire(heat);
    EXPECT_EQ(drawsBetween(before, scene.rng.state), scene.fw + 2 * scene.fw * (scene.fh - 1));
    for (int i = 0; i < 200; ++i) {
        scene.stepFire(heat);
        const uint8_t* bottom = heat.data() + (scene.fh - 1) * scene.fw;
        EXPECT_GE(bottom[0], 5);
        EXPECT_LE(bottom[0], 7);
        EXPECT_GE(bottom[scene.fw - 1], 5);
        EXPECT_LE(bottom[scene.fw - 1], 7);
        EXPECT_GE(bottom[scene.fw / 2], 27);
        for (const uint8_t v : heat) EXPECT_LE(v, 35);
    }

    // The heat-to-colour table agrees with a search of the palette, hottest band first.
    for (int v = 0; v < 256; ++v) {
        uint32_t expected = 0;
        for (const auto& band : scene.firePalette)
            if (band.min <= v) {
                expected = band.color;
                break;
            }
        EXPECT_EQ(scene.fireColorByHeat[static_cast<std::size_t>(v)], expected) << v;
    }
    clearWorld(scene);
    scene.buildCamp(300);
    auto& fire = scene.camps[0].heat;
    std::fill(fire.begin(), fire.end(), 0);
    fire[0] = 34;
    fire[1] = 6;
    fire[2] = 5;
    scene.lit.clear();
    scene.overlay.clear();
    Canvas canvas(960, 540);
    scene.draw(canvas);
    const int left = scene.camps[0].fireX - scene.fw / 2, top = scene.fireBase - (scene.fh - 1);
    EXPECT_EQ(canvas.px[static_cast<std::size_t>(top * 960 + left)], 0xffb0f3ffu);
    EXPECT_EQ(canvas.px[static_cast<std::size_t>(top * 960 + left + 1)], 0xff08147au);
    EXPECT_EQ(canvas.px[static_cast<std::size_t>(top * 960 + left + 2)], scene.buf[scene.at(left + 2, top)]);
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

TEST(ForestDrawing, FireLightDither) {
    QuillmoorScene scene(64, 40, 5, 1800);
    scene.lit = {{1, 1, 0.75f, 0.4f, 0x1, 0x2}, {2, 1, 0.75f, 0.6f, 0x1, 0x2}, {3, 1, 0.0f, 0.0f, 0x1, 0x2}, {64, 1, 1.0f, 0.0f, 0x1, 0x2}};
    scene.glow = 1.0f;
    Canvas canvas(64, 40);
    std::fill(canvas.px.begin(), canvas.px.end(), 0x7u);
    scene.drawLit(canvas);
    EXPECT_EQ(canvas.px[64 + 1], 0x2u);  // e = 1.5, fraction above 0.4: bright
    EXPECT_EQ(canvas.px[64 + 2], 0x1u);  // fraction below 0.6: dim
    EXPECT_EQ(canvas.px[64 + 3], 0x7u);  // unlit
    EXPECT_EQ(canvas.px[2 * 64], 0x7u);  // beyond the canvas: not wrapped into the next row

    // Over a running scene the lit layer matches the plain rule frame after frame.
    QuillmoorScene running(960, 540, 44, 2);
    Canvas fast(960, 540), plain(960, 540);
    for (int i = 0; i < 120; ++i) {
        running.step();
        running.drawLit(fast);
        plainLit(running, plain);
        ASSERT_EQ(fast.px, plain.px) << i;
    }
}

TEST(ForestDrawing, LayersAndPredicates) {
    QuillmoorScene scene(96, 54, 8, 1800);
    Canvas canvas(96, 54);
    std::fill(canvas.px.begin(), canvas.px.end(), 0x12345678u);
    scene.moon.clear();
    scene.lit.clear();
    scene.overlay.clear();
    scene.camps.clear();
    scene.draw(canvas);
    for (int y = 0; y < 54; ++y)
        for (int x = 0; x < 96; ++x) ASSERT_EQ(canvas.px[static_cast<std::size_t>(y * 96 + x)], scene.buf[scene.at(x, y)]);

    EXPECT_TRUE(scene.blocked(-1, 0));
    EXPECT_TRUE(scene.hidden(scene.w, 0));
    EXPECT_FALSE(scene.blocked(3, 0));
    scene.trees = {{0, 60, 40, 0.2, 0, 0, false}, {0, 60, 40, 0.2, 0, 0, true}};
    const std::size_t p = scene.at(3, 2);
    scene.owner[p] = 0;
    scene.painted[p] = 1;
    EXPECT_TRUE(scene.blocked(3, 2));
    EXPECT_FALSE(scene.hidden(3, 2));  // the animal walks in front of back-row trees
    scene.owner[p] = 1;
    EXPECT_TRUE(scene.hidden(3, 2));

    // Sparks truncate toward zero; fireflies glow as an s x 2 square away from the ends of their period.
    QuillmoorScene big(960, 540, 8, 1800);
    Canvas c(960, 540);
    big.lit.clear();
    big.overlay.clear();
    big.sparks = {{-0.5, 10.0, 0, 0, 100, 100, 0}, {-1.0, 12.0, 0, 0, 100, 100, 0}};
    big.flies = {{959.5, 20.0, 0, 0, true, 10, 30}, {100.0, 30.0, 0, 0, true, 26, 30}};
    big.draw(c);
    EXPECT_EQ(c.px[10 * 960], 0xff4ad8ffu);
    EXPECT_EQ(c.px[12 * 960], big.buf[big.at(0, 12)]);
    EXPECT_EQ(c.px[20 * 960 + 959], 0xff70f0d8u);
    EXPECT_EQ(c.px[21 * 960 + 959], 0xff70f0d8u);
    EXPECT_EQ(c.px[30 * 960 + 100], 0xff28806au);
    EXPECT_EQ(c.px[30 * 960 + 101], big.buf[big.at(101, 30)]);
}

}  // namespace
