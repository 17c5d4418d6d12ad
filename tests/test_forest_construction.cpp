#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <utility>

#include "QuillmoorMothwake/QuillmoorMothwakeView.h"
#include "tests/forest_support.h"

using quillmoor::Canvas;
using quillmoor::QuillmoorScene;

namespace {

struct Sizes {
    int w, h, groundY, fireBase, fw, fh, maxDecay, tile, blockSize, ww, moonK, flies;
};

// Integer points of the moon's disc of radius k.
std::size_t discPoints(int k) {
    std::size_t n = 0;
    for (int dy = -k; dy <= k; ++dy)
        for (int dx = -k; dx <= k; ++dx) n += dx * dx + dy * dy <= k * k + k / 2;
    return n;
}

TEST(ForestConstruction, SizesFollowTheCanvasHeight) {
    const Sizes table[] = {{960, 540, 475, 479, 17, 30, 2, 9, 10, 1308, 13, 24},
                           {800, 450, 396, 399, 15, 25, 2, 8, 8, 1090, 10, 24},
                           {1280, 720, 633, 638, 23, 40, 2, 12, 13, 1740, 17, 24}};
    for (const Sizes& e : table) {
        const QuillmoorScene scene(e.w, e.h, 99, 1800);
        EXPECT_EQ(scene.groundY, e.groundY);
        EXPECT_EQ(scene.fireBase, e.fireBase);
        EXPECT_EQ(scene.fw, e.fw);
        EXPECT_EQ(scene.fh, e.fh);
        EXPECT_EQ(scene.maxDecay, e.maxDecay);
        EXPECT_EQ(scene.tile, e.tile);
        EXPECT_EQ(scene.blockSize, e.blockSize);
        EXPECT_EQ(scene.ww, e.ww);
        EXPECT_EQ(scene.flies.size(), static_cast<std::size_t>(e.flies));
        // The moon lies wholly inside these canvases, so all of its disc is kept.
        EXPECT_EQ(scene.moon.size(), discPoints(e.moonK)) << e.w << "x" << e.h;
        for (auto* buffer : {&scene.skyMask, &scene.tentMask, &scene.painted, &scene.stick})
            EXPECT_EQ(buffer->size(), static_cast<std::size_t>(e.ww * e.h));
    }
}

TEST(ForestConstruction, EmptyCanvasIsRaisedToOnePixel) {
    const QuillmoorScene scene(0, 0, 1, 1800);
    EXPECT_EQ(scene.w, 1);
    EXPECT_EQ(scene.h, 1);
    EXPECT_DOUBLE_EQ(scene.s, 1.0 / 540);
    EXPECT_EQ(scene.groundY, 0);
    EXPECT_EQ(scene.fw, 5);
    EXPECT_EQ(scene.fh, 6);
    EXPECT_EQ(scene.maxDecay, 10);
    EXPECT_EQ(scene.tile, 2);
    EXPECT_EQ(scene.blockSize, 2);
    EXPECT_EQ(scene.ww, 9);
    EXPECT_EQ(scene.flies.size(), 13u);
    EXPECT_EQ(scene.buf.size(), 9u);
    EXPECT_EQ(scene.skyMask[0], 0);  // the only row is ground
}

TEST(ForestConstruction, PanFramesFromTheEnvironment) {
    ::setenv("MOTHWAKES_PAN_FRAMES", "+30", 1);
    EXPECT_EQ(QuillmoorScene(40, 30, 5).panFrames, 30);
    ::setenv("MOTHWAKES_PAN_FRAMES", "3e2", 1);
    EXPECT_EQ(QuillmoorScene(40, 30, 5).panFrames, 1800);
    ::unsetenv("MOTHWAKES_PAN_FRAMES");
    EXPECT_EQ(QuillmoorScene(40, 30, 5).panFrames, 1800);
    EXPECT_EQ(QuillmoorScene(40, 30, 5, -7).panFrames, 1);
}

TEST(ForestConstruction, SkyRowsAndTheirDitherTravelWithThePan) {
    QuillmoorScene scene(960, 540, 3, 1);
    EXPECT_EQ(scene.skyRow[0].low, 0xff0c0302u);
    EXPECT_EQ(scene.skyRow[0].high, 0xff180804u);
    EXPECT_EQ(scene.skyRow[0].fract, 0.0f);
    for (int y = scene.groundY; y < scene.h; ++y) EXPECT_EQ(scene.skyRow[static_cast<std::size_t>(y)].fract, 1.0f);

    // A row with fract 0.6 takes high where (x + pan) & 3 is 0, 1 or 2.
    scene.skyRow[8] = {0x11, 0x22, 0.6f};
    for (scene.pan = 0; scene.pan < 4; ++scene.pan)
        for (int x = 100; x < 104; ++x) {
            scene.resetColumn(x);
            EXPECT_EQ(scene.base[scene.at(x, 8)], ((x + scene.pan) & 3) == 3 ? 0x11u : 0x22u);
        }

    // After scrolling, the background of every open sky pixel still continues the pattern.
    QuillmoorScene panned(320, 180, 4, 1);
    for (int i = 0; i < 50; ++i) panned.step();
    ASSERT_EQ(panned.pan, 50);
    for (int y = 0; y < panned.groundY; ++y)
        for (int x = 0; x < panned.ww; ++x) {
            const std::size_t p = panned.at(x, y);
            if (panned.tentMask[p]) continue;
            const auto& e = panned.skyRow[static_cast<std::size_t>(y)];
            ASSERT_EQ(panned.base[p], e.fract > quillmoor::threshold(static_cast<int>(x + panned.pan), y) ? e.high : e.low);
        }
}

TEST(ForestConstruction, FillingAllColumnsAtOnceMatchesColumnByColumn) {
    for (const auto& [w, h] : {std::pair{960, 540}, std::pair{33, 17}, std::pair{1, 1}}) {
        QuillmoorScene fast(w, h, 21, 1800);
        QuillmoorScene plain(w, h, 21, 1800);
        fast.pan = plain.pan = 6;
        fast.resetAllColumns();
        for (int x = 0; x < plain.ww; ++x) plain.resetColumn(x);
        EXPECT_EQ(fast.rng.state, plain.rng.state);
        EXPECT_EQ(fast.base, plain.base);
        EXPECT_EQ(fast.buf, plain.buf);
        EXPECT_EQ(fast.owner, plain.owner);
        EXPECT_EQ(fast.skyMask, plain.skyMask);
        EXPECT_EQ(fast.tentMask, plain.tentMask);
        EXPECT_EQ(fast.painted, plain.painted);
        EXPECT_EQ(fast.stick, plain.stick);
    }
    // Only ground rows draw: 65 per column at 540 rows.
    QuillmoorScene scene(960, 540, 21, 1800);
    const uint64_t before = scene.rng.state;
    scene.resetColumn(5);
    EXPECT_EQ(forest_support::drawsBetween(before, scene.rng.state), 65);
}

TEST(ForestConstruction, MoonIsACrescentInsideItsOutline) {
    const QuillmoorScene scene(960, 540, 8, 1800);
    int minX = 1 << 30, maxX = -1, minY = 1 << 30, maxY = -1;
    for (const auto& m : scene.moon) {
        minX = std::min(minX, m.x), maxX = std::max(maxX, m.x);
        minY = std::min(minY, m.y), maxY = std::max(maxY, m.y);
    }
    ASSERT_EQ(maxX - minX, 26);
    ASSERT_EQ(maxY - minY, 26);
    const int mx = minX + 13, my = minY + 13;
    std::set<std::pair<int, int>> points;
    for (const auto& m : scene.moon) points.insert({m.x - mx, m.y - my});
    EXPECT_TRUE(points.count({13, 2}));
    EXPECT_FALSE(points.count({13, 3}));
    EXPECT_TRUE(points.count({0, -13}));

    // The lit part is the disc less a shadow disc 0.75 K to one side and 0.3 K up.
    bool matchesOneSide = false;
    for (const double off : {0.75 * 13, -0.75 * 13}) {
        bool all = true;
        for (const auto& m : scene.moon) {
            const double sx = (m.x - mx) - off, sy = (m.y - my) + 0.3 * 13;
            all = all && m.bright == (sx * sx + sy * sy > 169.0);
        }
        matchesOneSide = matchesOneSide || all;
    }
    EXPECT_TRUE(matchesOneSide);
}

TEST(ForestConstruction, StarOnBlockedPixelUsesOnlyItsPositionDraws) {
    QuillmoorScene scene(320, 180, 12, 1800);
    std::fill(scene.skyMask.begin(), scene.skyMask.end(), 0);
    const uint64_t before = scene.rng.state;
    scene.addStar();
    EXPECT_EQ(forest_support::drawsBetween(before, scene.rng.state), 2);
}

TEST(ForestDeterminism, SameSeedAndSizeGiveTheSamePictures) {
    QuillmoorScene a(400, 225, 77, 3);
    QuillmoorScene b(400, 225, 77, 3);
    QuillmoorScene other(400, 225, 78, 3);
    Canvas ca(400, 225), cb(400, 225), co(400, 225);
    for (int i = 0; i < 300; ++i) {
        // Interleaved with a differently seeded scene: scenes never share state.
        a.step();
        other.step();
        a.draw(ca);
        other.draw(co);
    }
    for (int i = 0; i < 300; ++i) b.step();
    b.draw(cb);
    EXPECT_EQ(a.rngState(), b.rngState());
    EXPECT_EQ(ca.px, cb.px);
    EXPECT_NE(ca.px, co.px);
    EXPECT_EQ(a.buf, b.buf);
    EXPECT_EQ(a.owner, b.owner);
    EXPECT_EQ(a.stick, b.stick);
    EXPECT_EQ(a.lit.size(), b.lit.size());
    EXPECT_EQ(a.trees.size(), b.trees.size());
    EXPECT_EQ(a.glow, b.glow);
}

TEST(ForestView, BuildsTheForestSceneAtAboutFourHundredFiftyRows) {
    platform::Host host;
    quillmoor::QuillmoorMothwakeView view(host, {0, 0, 1920, 1080}, false);
    EXPECT_EQ(view.targetRows(), 450);
    const auto scene = view.makeScene(960, 540, 5);
    ASSERT_NE(dynamic_cast<QuillmoorScene*>(scene.get()), nullptr);
    EXPECT_EQ(scene->rngState(), QuillmoorScene(960, 540, 5, 1800).rngState());
}

}  // namespace
