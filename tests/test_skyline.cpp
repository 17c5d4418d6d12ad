#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "QuillmoorMothwake/GlimmerfoldScene.h"
#include "QuillmoorMothwake/GlimmerfoldView.h"

using quillmoor::Canvas;
using quillmoor::GlimmerfoldScene;
using quillmoor::RNG;
using Building = GlimmerfoldScene::Building;

namespace {

size_t at(const GlimmerfoldScene& s, int x, int y) { return static_cast<size_t>(y) * s.w + x; }

int rightEnd(const GlimmerfoldScene& s, const Building& b) { return b.x + b.widthTiles * s.tile; }

Building building(int x, int widthTiles, int heightTiles, bool front, int64_t tag = 0) {
    Building b;
    b.x = x;
    b.widthTiles = widthTiles;
    b.heightTiles = heightTiles;
    b.front = front;
    b.lights = tag;  // pans never touch lights, so it identifies a building across them
    return b;
}

// Replaces the population and rebuilds the derived state, as construction does.
void arrange(GlimmerfoldScene& s, std::vector<Building> all) {
    s.buildings = std::move(all);
    s.rebuildOwner();
}

const Building* withTag(const GlimmerfoldScene& s, int64_t tag) {
    for (const Building& b : s.buildings)
        if (b.lights == tag) return &b;
    return nullptr;
}

std::vector<Building> layer(const GlimmerfoldScene& s, bool front) {
    std::vector<Building> out;
    for (const Building& b : s.buildings)
        if (b.front == front) out.push_back(b);
    return out;
}

// Every relation between the buildings and the derived state that the scene
// must keep between pans, checked against a painter's pass of its own.
void expectConsistent(const GlimmerfoldScene& s) {
    const auto firstFront = std::find_if(s.buildings.begin(), s.buildings.end(), [](const Building& b) { return b.front; });
    ASSERT_TRUE(std::none_of(firstFront, s.buildings.end(), [](const Building& b) { return !b.front; }))
        << "a back building after a front one";

    std::vector<int> visible(s.buildings.size(), 0);
    int top = s.h;
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) {
            int cover = -1;
            for (int i = 0; i < static_cast<int>(s.buildings.size()); ++i) {
                const Building& b = s.buildings[i];
                if (x >= b.x && x < rightEnd(s, b) && y >= s.h - b.heightTiles * s.tile) cover = i;
            }
            ASSERT_EQ(s.owner[at(s, x, y)], cover) << "at " << x << "," << y;
            if (cover >= 0) {
                ++visible[static_cast<size_t>(cover)];
                top = std::min(top, y);
            }
        }
    EXPECT_EQ(s.skylineTop, top);
    for (size_t i = 0; i < s.buildings.size(); ++i) EXPECT_EQ(s.buildings[i].visible, visible[i]) << "building " << i;

    ASSERT_LE(s.spires.size(), 3u);
    for (size_t k = 0; k < s.spires.size(); ++k) {
        const auto& sp = s.spires[k];
        const Building& b = s.buildings[static_cast<size_t>(sp.building)];
        EXPECT_EQ(sp.y, s.h - b.heightTiles * s.tile);
        EXPECT_GE(sp.y, 0);
        EXPECT_EQ(s.owner[at(s, sp.x, sp.y)], sp.building) << "mast on a covered roof";
        for (size_t m = 0; m < k; ++m) EXPECT_GE(std::abs(s.spires[m].x - sp.x), 12 * s.tile);
    }
}

// Every building differs from the one before it in its layer (width, style,
// colour) and in height from the two before it, as chosen when it was placed.
void expectNeighboursDiffer(const GlimmerfoldScene& s) {
    for (const bool front : {false, true}) {
        const auto row = layer(s, front);
        const int minSep = std::max(1, s.maxTiles() * (front ? 13 : 17) / 100);
        for (size_t k = 1; k < row.size(); ++k) {
            for (size_t back = 1; back <= std::min<size_t>(2, k); ++back)
                EXPECT_GE(std::abs(row[k].heightTiles - row[k - back].heightTiles), minSep) << k << " vs " << k - back;
            EXPECT_GE(std::abs(row[k].widthTiles - row[k - 1].widthTiles), 3);
            EXPECT_NE(row[k].style, row[k - 1].style);
            EXPECT_NE(row[k].color, row[k - 1].color);
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

TEST(SkylineConstruction, SizesFollowTheCanvasHeight) {
    const GlimmerfoldScene usual(480, 270, 1, 1);
    EXPECT_EQ(usual.tile, 8);
    EXPECT_EQ(usual.edge, 2);
    EXPECT_DOUBLE_EQ(usual.scale, 1.0);

    const GlimmerfoldScene large(960, 540, 1, 1);
    EXPECT_EQ(large.tile, 16);
    EXPECT_EQ(large.edge, 4);
    EXPECT_DOUBLE_EQ(large.scale, 2.0);

    const GlimmerfoldScene tiny(0, -3, 1, 0);
    EXPECT_EQ(tiny.w, 1);
    EXPECT_EQ(tiny.h, 1);
    EXPECT_EQ(tiny.tile, 2);
    EXPECT_EQ(tiny.edge, 1);
    EXPECT_EQ(tiny.panFrames, 1);
    EXPECT_EQ(tiny.buf.size(), 1u);
    EXPECT_EQ(tiny.owner.size(), 1u);
}

TEST(SkylineConstruction, StartsDarkAndConsistentWithBothLayersAcrossTheCanvas) {
    for (const auto& [w, h] : {std::pair{480, 270}, {320, 180}, {33, 17}, {961, 541}}) {
        const GlimmerfoldScene s(w, h, 99, 1);
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        EXPECT_EQ(s.buf.size(), static_cast<size_t>(w * h));
        EXPECT_TRUE(std::all_of(s.buf.begin(), s.buf.end(), [&](uint32_t c) { return c == s.black; }));
        expectConsistent(s);
        // A low canvas has too few heights to tell neighbours apart; there the
        // eightieth candidate is taken.
        if (s.maxTiles() >= 10) expectNeighboursDiffer(s);
        EXPECT_EQ(s.frame, 0);
        EXPECT_EQ(s.rngState(), s.rng.state);

        for (const bool front : {false, true}) {
            auto row = layer(s, front);
            ASSERT_FALSE(row.empty());
            EXPECT_LE(row.front().x, s.tile) << "layer starts well inside the canvas";
            EXPECT_GE(rightEnd(s, row.back()), s.w + 17 * s.tile) << "layer does not reach past the canvas";
            for (size_t i = 1; i < row.size(); ++i) {
                const int gap = row[i].x - rightEnd(s, row[i - 1]);
                EXPECT_EQ(gap % s.tile, 0);
                EXPECT_GE(gap, 0);
                EXPECT_LE(gap, (front ? 2 : 5) * s.tile);
            }
        }
    }
}

TEST(SkylineConstruction, BackBuildingsRiseAboveTheFrontBuildingsTheyStandBehind) {
    const GlimmerfoldScene s(960, 540, 5, 1);
    const int boost = s.maxTiles() * 15 / 100;
    for (const Building& b : layer(s, false)) {
        int need = 0;
        for (const Building& f : layer(s, true))
            if (f.x < rightEnd(s, b) && b.x < rightEnd(s, f)) need = std::max(need, f.heightTiles);
        EXPECT_GE(b.heightTiles, need + boost);
    }
}

TEST(SkylineConstruction, PanFramesComeFromTheEnvironment) {
    const char* saved = std::getenv("MOTHWAKES_PAN_FRAMES");
    const std::string restore = saved ? saved : "";

    ::unsetenv("MOTHWAKES_PAN_FRAMES");
    EXPECT_EQ(GlimmerfoldScene(40, 30, 1).panFrames, GlimmerfoldScene::defaultPanFrames);
    ::setenv("MOTHWAKES_PAN_FRAMES", "7", 1);
    EXPECT_EQ(GlimmerfoldScene(40, 30, 1).panFrames, 7);
    ::setenv("MOTHWAKES_PAN_FRAMES", "-4", 1);
    EXPECT_EQ(GlimmerfoldScene(40, 30, 1).panFrames, 1);
    ::setenv("MOTHWAKES_PAN_FRAMES", "fast", 1);
    EXPECT_EQ(GlimmerfoldScene(40, 30, 1).panFrames, GlimmerfoldScene::defaultPanFrames);

    if (saved) ::setenv("MOTHWAKES_PAN_FRAMES", restore.c_str(), 1);
    else ::unsetenv("MOTHWAKES_PAN_FRAMES");
}

TEST(SkylineConstruction, ViewMakesASkylineSceneAt225Rows) {
    platform::Host host;
    quillmoor::GlimmerfoldView view(host, {0, 0, 1920, 1080}, false);
    EXPECT_EQ(view.targetRows(), 225);
    auto scene = view.makeScene(480, 270, 3);
    const auto* skyline = dynamic_cast<GlimmerfoldScene*>(scene.get());
    ASSERT_NE(skyline, nullptr);
    EXPECT_EQ(skyline->w, 480);
    EXPECT_EQ(skyline->h, 270);
    EXPECT_EQ(skyline->rngState(), GlimmerfoldScene(480, 270, 3).rngState()) << "built from the seed given";
}

// ---------------------------------------------------------------------------
// Building generator

TEST(SkylineBuildings, EachBuildingTakesFourDrawsWithinItsLayersRanges) {
    GlimmerfoldScene s(960, 540, 77, 1);
    s.tile = 8;  // maxTiles = 243 / 8 = 30
    ASSERT_EQ(s.maxTiles(), 30);
    for (const bool front : {true, false}) {
        std::set<int> heights, widths, styles;
        for (int i = 0; i < 3000; ++i) {
            RNG expected = s.rng;
            for (int k = 0; k < 4; ++k) expected.next();
            const Building b = s.makeBuilding(front);
            ASSERT_EQ(s.rng.state, expected.state);
            EXPECT_EQ(b.x, s.w);
            EXPECT_EQ(b.front, front);
            EXPECT_EQ(b.visible, 0);
            EXPECT_EQ(b.lights, 0);
            EXPECT_TRUE(front ? (b.color == s.lightColors[0] || b.color == s.lightColors[1])
                              : (b.color == s.lightColors[1] || b.color == s.lightColors[2]));
            heights.insert(b.heightTiles);
            widths.insert(b.widthTiles);
            styles.insert(b.style);
        }
        EXPECT_EQ(*heights.begin(), front ? 4 : 13);
        EXPECT_EQ(*heights.rbegin(), front ? 18 : 30);
        EXPECT_EQ(widths.size(), 13u);
        EXPECT_EQ(*widths.begin(), 5);
        EXPECT_EQ(styles.size(), 6u);
        EXPECT_EQ(*styles.rbegin(), 5);
    }
}

TEST(SkylineBuildings, LowCanvasMakesEveryBuildingOneTileHigh) {
    GlimmerfoldScene s(960, 540, 8, 1);
    s.tile = 122;  // 243 < 2 * 122
    EXPECT_EQ(s.maxTiles(), 1);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(s.makeBuilding(true).heightTiles, 1);
        EXPECT_EQ(s.makeBuilding(false).heightTiles, 1);
    }
}

// ---------------------------------------------------------------------------
// Pan: scrolling, recycling, rebuild

TEST(SkylinePan, ScrollsThePictureAndDarkensTheNewColumn) {
    GlimmerfoldScene s(6, 4, 2, 1);
    for (size_t i = 0; i < s.buf.size(); ++i) s.buf[i] = 0xFF000000u + static_cast<uint32_t>(i);
    const auto before = s.buf;
    const auto xs = [&] {
        std::vector<int> v;
        for (const Building& b : s.buildings) v.push_back(b.x);
        return v;
    }();
    s.pan();
    for (int y = 0; y < s.h; ++y) {
        for (int x = 0; x + 1 < s.w; ++x) EXPECT_EQ(s.buf[at(s, x, y)], before[at(s, x + 1, y)]);
        EXPECT_EQ(s.buf[at(s, s.w - 1, y)], s.black);
    }
    // Nothing left the canvas here, so every building simply moved one column.
    ASSERT_EQ(s.buildings.size(), xs.size());
    for (size_t i = 0; i < xs.size(); ++i) EXPECT_EQ(s.buildings[i].x, xs[i] - 1);
}

TEST(SkylinePan, RemovesABuildingOnceItsRightEdgeReachesColumnZero) {
    GlimmerfoldScene s(100, 60, 4, 1);  // tile 2
    const int t = s.tile;
    arrange(s, {building(1 - 5 * t, 5, 3, false, 1),  // right edge 1 -> 0: leaves
                building(2 - 5 * t, 5, 4, false, 2),  // right edge 2 -> 1: stays
                building(40, 6, 9, false, 3),
                building(10, 5, 2, true, 4)});
    s.pan();
    EXPECT_EQ(withTag(s, 1), nullptr);
    ASSERT_NE(withTag(s, 2), nullptr);
    EXPECT_EQ(rightEnd(s, *withTag(s, 2)), 1);
    EXPECT_EQ(layer(s, false).size(), 3u) << "one back building replaced";
    EXPECT_EQ(layer(s, true).size(), 1u);
    expectConsistent(s);

    s.pan();
    EXPECT_EQ(withTag(s, 2), nullptr);
    EXPECT_EQ(layer(s, false).size(), 3u);
}

TEST(SkylinePan, BuildingsLeavingTogetherAreReplacedOneAfterAnother) {
    GlimmerfoldScene s(100, 60, 6, 1);
    const int t = s.tile;
    arrange(s, {building(-5 * t, 5, 3, false, 1), building(-6 * t, 6, 5, false, 2),
                building(70, 9, 11, false, 3),  // right end 70 + 18 = 88 before the pan
                building(0, 5, 2, true, 4)});
    RNG predicted = s.rng;
    const int firstGap = t * static_cast<int>(predicted.integer(6));
    s.pan();

    const auto back = layer(s, false);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].lights, 3);
    EXPECT_EQ(back[1].x, std::max(s.w, 87 + firstGap));
    const int secondGap = back[2].x - rightEnd(s, back[1]);
    EXPECT_GE(secondGap, 0);
    EXPECT_LE(secondGap, 5 * t);
    EXPECT_EQ(secondGap % t, 0);
    EXPECT_TRUE(s.buildings.back().front) << "back buildings go before the front layer";
    expectConsistent(s);
}

TEST(SkylinePan, AnEmptyLayerTakesItsFirstCandidateAtTheRightEdgePlusAGap) {
    GlimmerfoldScene s(100, 60, 9, 1);
    arrange(s, {building(30, 7, 20, false, 1), building(-5 * s.tile, 5, 2, true, 2)});
    GlimmerfoldScene twin = s;
    const int gap = s.tile * static_cast<int>(twin.rng.integer(3));
    const Building first = twin.makeBuilding(true);

    s.pan();
    EXPECT_EQ(s.rng.state, twin.rng.state) << "no further candidates drawn";
    const auto front = layer(s, true);
    ASSERT_EQ(front.size(), 1u);
    EXPECT_EQ(front[0].x, s.w + gap);
    EXPECT_EQ(front[0].widthTiles, first.widthTiles);
    EXPECT_EQ(front[0].heightTiles, first.heightTiles);
    EXPECT_EQ(front[0].style, first.style);
    EXPECT_EQ(front[0].color, first.color);
}

TEST(SkylinePan, WhenNoCandidateDiffersTheEightiethIsTaken) {
    // Every building here is one tile high, so every height test fails.
    GlimmerfoldScene s(300, 4, 10, 1);
    ASSERT_EQ(s.maxTiles(), 1);
    arrange(s, {building(-5 * s.tile, 5, 1, true, 1), building(295, 5, 1, true, 2)});
    GlimmerfoldScene twin = s;
    const int gap = s.tile * static_cast<int>(twin.rng.integer(3));
    Building last;
    for (int i = 0; i < 80; ++i) last = twin.makeBuilding(true);

    s.pan();
    EXPECT_EQ(s.rng.state, twin.rng.state);
    const Building& made = s.buildings.back();
    EXPECT_EQ(made.x, 294 + 5 * s.tile + gap);
    EXPECT_EQ(made.widthTiles, last.widthTiles);
    EXPECT_EQ(made.style, last.style);
    EXPECT_EQ(made.color, last.color);
}

TEST(SkylinePan, NewBackBuildingsRiseAboveOverlappingFrontOnesOnly) {
    GlimmerfoldScene s(480, 270, 12, 1);  // maxTiles 15, boost 2
    const int t = s.tile;
    const int boost = s.maxTiles() * 15 / 100;
    ASSERT_EQ(boost, 2);
    std::set<int> lifted;
    for (uint64_t seed = 0; seed < 40; ++seed) {
        s.rng.state = seed;
        arrange(s, {building(-5 * t, 5, 9, false, 1), building(100, 5, 9, false, 2),
                    building(0, 100, 20, true, 3)});  // covers every place a new back building can start
        s.pan();
        lifted.insert(layer(s, false).back().heightTiles);
    }
    EXPECT_EQ(lifted, (std::set<int>{20 + boost, 21 + boost, 22 + boost})) << "tallest front plus boost, plus 0 ... boost";

    arrange(s, {building(-5 * t, 5, 9, false, 1), building(100, 5, 9, false, 2),
                building(5000, 5, 20, true, 3)});
    s.pan();
    EXPECT_LE(layer(s, false).back().heightTiles, s.maxTiles()) << "lifted without an overlapping front building";
}

TEST(SkylinePan, StaysConsistentOverThousandsOfPans) {
    GlimmerfoldScene s(160, 90, 2024, 1);
    std::vector<size_t> counts = {layer(s, false).size(), layer(s, true).size()};
    for (int i = 0; i < 3000; ++i) {
        s.step();  // pans every frame
        if (i % 97 == 0) {
            expectConsistent(s);
            expectNeighboursDiffer(s);
            EXPECT_EQ(layer(s, false).size(), counts[0]);
            EXPECT_EQ(layer(s, true).size(), counts[1]);
        }
        if (HasFatalFailure() || HasNonfatalFailure()) return;
    }
}

// ---------------------------------------------------------------------------
// Spires

TEST(SkylineSpires, OnlyOnUncoveredRoofsInViewAndWellApart) {
    GlimmerfoldScene s(400, 100, 3, 1);  // tile 3
    const int t = s.tile;
    arrange(s, {
                   building(0, 10, 40, false, 1),    // tallest, roof above row 0
                   building(40, 10, 12, false, 2),   // roof centre covered by the front building below
                   building(150, 10, 20, false, 3),  // mast here
                   building(150 + 11 * t, 10, 19, false, 4),  // centre 11 tiles from the previous
                   building(150 + 12 * t, 10, 18, false, 5),  // 12 tiles: allowed
                   building(395, 10, 17, false, 6),  // centre beyond the right edge
                   building(300, 6, 5, false, 7),
                   building(55, 5, 12, true, 8),
               });
    ASSERT_EQ(s.spires.size(), 3u);
    const auto tagOf = [&](size_t k) { return s.buildings[static_cast<size_t>(s.spires[k].building)].lights; };
    EXPECT_EQ(tagOf(0), 3);
    EXPECT_EQ(tagOf(1), 5) << "too close to the first";
    EXPECT_EQ(tagOf(2), 8) << "out of view or covered ones skipped";
    expectConsistent(s);
}

TEST(SkylineSpires, AMastIsTheSameEachTimeItsBuildingIsChosen) {
    GlimmerfoldScene s(320, 180, 31, 1);
    for (size_t i = 0; i < s.buildings.size(); ++i) s.buildings[i].lights = static_cast<int64_t>(i) + 1;
    std::vector<std::pair<int, int>> seen(s.buildings.size() + 1, {-1, -1});
    int checked = 0;
    for (int p = 0; p < 600; ++p) {
        for (const auto& sp : s.spires) {
            const int64_t tag = s.buildings[static_cast<size_t>(sp.building)].lights;
            if (tag == 0) continue;
            EXPECT_GE(sp.height, static_cast<int>(11 * s.scale));
            EXPECT_LE(sp.height, static_cast<int>(24 * s.scale));
            auto& first = seen[static_cast<size_t>(tag)];
            if (first.first < 0) first = {sp.height, sp.phase};
            EXPECT_EQ(first, std::make_pair(sp.height, sp.phase));
            ++checked;
        }
        s.pan();
    }
    EXPECT_GT(checked, 300);
}

// ---------------------------------------------------------------------------
// Windows, stars, blots

TEST(SkylineWindows, LightOnlyPatternPixelsInsideTheMargins) {
    GlimmerfoldScene s(80, 40, 1, 1);
    s.tile = 8;
    s.edge = 2;
    // One building of 2 x 1 tiles, style 5: windows on even pattern columns of even pattern rows.
    arrange(s, {building(10, 2, 1, true)});
    Building& b = s.buildings[0];
    b.style = 5;
    b.color = s.lightColors[0];
    const int roof = s.h - 8;
    int lit = 0;
    for (int y = roof; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) {
            s.lightWindow(x, y);
            const bool window = s.buf[at(s, x, y)] == b.color;
            const int dx = x - 10, dy = y - roof, r = s.h - 1 - y;
            const bool expected = dx >= 2 && dx < 14 && dy >= 2 && r % 2 == 0 && dx % 2 == 0;
            EXPECT_EQ(window, expected) << "dx " << dx << " dy " << dy;
            lit += window;
        }
    EXPECT_EQ(lit, 6 * 3);  // columns 2, 4, ..., 12 on pattern rows 0, 2, 4
    EXPECT_EQ(b.lights, lit);
    s.lightWindow(3, s.h - 1);  // sky
    EXPECT_EQ(s.buf[at(s, 3, s.h - 1)], s.black);
}

TEST(SkylineWindows, PatternsStretchOverLargerTilesFromTheBottomRow) {
    GlimmerfoldScene s(60, 61, 1, 1);
    s.tile = 16;
    s.edge = 0;
    arrange(s, {building(0, 1, 2, true)});
    Building& b = s.buildings[0];
    b.style = 4;  // one window: pattern columns 2..5, rows 2..4
    b.color = s.lightColors[1];
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < 16; ++x) s.lightWindow(x, y);
    for (int y = s.h - 32; y < s.h; ++y)
        for (int x = 0; x < 16; ++x) {
            const int r = (s.h - 1 - y) % 16 / 2, c = x / 2;
            EXPECT_EQ(s.buf[at(s, x, y)] == b.color, r >= 2 && r <= 4 && c >= 2 && c <= 5) << x << "," << y;
        }
}

TEST(SkylineWindows, RelightingCountsOnlyAfterTheWindowWentDark) {
    GlimmerfoldScene s(40, 40, 1, 1);
    arrange(s, {building(0, 5, 4, true)});
    Building& b = s.buildings[0];
    b.style = 5;
    b.color = s.lightColors[2];
    const int x = s.edge + (s.edge % 2), y = s.h - 1;  // an even column on pattern row 0
    s.lightWindow(x, y);
    EXPECT_EQ(b.lights, 1);
    s.lightWindow(x, y);
    EXPECT_EQ(b.lights, 1);
    s.blot(x, y, 1);
    EXPECT_EQ(s.buf[at(s, x, y)], s.black);
    EXPECT_EQ(b.lights, 1) << "a blot does not take lights back";
    s.lightWindow(x, y);
    EXPECT_EQ(b.lights, 2);
}

TEST(SkylineWindows, StepKeepsBuildingsToWindowsAndSkyToStars) {
    GlimmerfoldScene s(240, 135, 42, 1000000);
    for (Building& b : s.buildings) b.style = 5;  // windows touch every margin
    s.scale = 1e6;  // no blots, so every lit window is still there
    for (int i = 0; i < 1500; ++i) s.step();

    int64_t lit = 0, stars = 0, atMargin = 0;
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) {
            const uint32_t c = s.buf[at(s, x, y)];
            const int i = s.owner[at(s, x, y)];
            if (c == s.black) continue;
            if (i < 0) {
                ++stars;
                continue;
            }
            const Building& b = s.buildings[static_cast<size_t>(i)];
            ASSERT_EQ(c, b.color) << "foreign colour on a building at " << x << "," << y;
            const int dx = x - b.x, dy = y - (s.h - b.heightTiles * s.tile);
            EXPECT_TRUE(dx >= s.edge && dx < b.widthTiles * s.tile - s.edge && dy >= s.edge);
            atMargin += dx == s.edge || dx == b.widthTiles * s.tile - s.edge - 2 || dy == s.edge;
            ++lit;
        }
    int64_t lights = 0;
    for (const Building& b : s.buildings) lights += b.lights;
    EXPECT_EQ(lights, lit);
    EXPECT_GT(lit, 1000);
    EXPECT_GT(atMargin, 50);
    EXPECT_GT(stars, 50);
}

TEST(SkylineBlots, DiscsClipAtTheCanvasEdges) {
    GlimmerfoldScene s(20, 10, 1, 1);
    const auto paint = [&](int x0, int y0, int n) {
        std::fill(s.buf.begin(), s.buf.end(), 0xFFFFFFFFu);
        s.blot(x0, y0, n);
        return std::count(s.buf.begin(), s.buf.end(), s.black);
    };
    EXPECT_EQ(paint(5, 5, 1), 1);
    EXPECT_EQ(paint(5, 2, 3), 9);   // corners just inside the circle
    EXPECT_EQ(paint(5, 2, 4), 12);  // corners just outside
    EXPECT_EQ(paint(-4, -4, 4), 0);
    EXPECT_EQ(paint(s.w, s.h, 4), 0);
    EXPECT_EQ(paint(-3, -3, 4), 0) << "only the cut-off corner pixel reaches in";
    EXPECT_EQ(paint(-2, -2, 4), 3);
    EXPECT_EQ(paint(s.w - 1, s.h - 1, 1), 1);
}

// ---------------------------------------------------------------------------
// Drawing

TEST(SkylineDraw, MastShowsOnceLitAndItsBeaconBlinksFifteenFramesAtATime) {
    GlimmerfoldScene s(100, 270, 1, 1000000);  // scale 1: beacon 2 x 2
    arrange(s, {building(20, 6, 10, false)});
    ASSERT_EQ(s.spires.size(), 1u);
    auto& sp = s.spires[0];
    sp.phase = 0;
    Canvas canvas(s.w, s.h);
    const auto px = [&](int x, int y) { return canvas.px[static_cast<size_t>(y) * s.w + x]; };

    s.draw(canvas);
    EXPECT_EQ(canvas.px, s.buf) << "no mast before any window is lit";

    s.buildings[0].lights = s.buildings[0].visible;
    const int beaconTop = sp.y - sp.height - 2;
    for (int f = 0; f < 64; ++f) {
        s.frame = f;
        s.draw(canvas);
        for (int y = sp.y - sp.height; y < sp.y; ++y) ASSERT_EQ(px(sp.x, y), 0xFF2C2C2Cu);
        EXPECT_EQ(px(sp.x, sp.y), s.black) << "mast stands on the roof";
        const bool on = (f / 15) % 2 == 0;
        for (int y = beaconTop; y < beaconTop + 2; ++y)
            for (int x = sp.x; x < sp.x + 2; ++x) EXPECT_EQ(px(x, y) == 0xFF1A2AFFu, on) << "frame " << f;
        EXPECT_NE(px(sp.x + 2, beaconTop), 0xFF1A2AFFu);
        EXPECT_NE(px(sp.x, beaconTop - 1), 0xFF1A2AFFu);
    }
    sp.phase = 10;
    s.frame = 5;  // (10 + 5) / 15 = 1: off
    s.draw(canvas);
    EXPECT_NE(px(sp.x, beaconTop), 0xFF1A2AFFu);
}

TEST(SkylineDraw, MastsAndBeaconsClipAtTheCanvasTop) {
    GlimmerfoldScene s(40, 30, 1, 1);
    arrange(s, {building(0, 5, 2, false)});
    ASSERT_EQ(s.spires.size(), 1u);
    s.buildings[0].lights = s.buildings[0].visible;
    s.spires[0].height = 100;
    s.spires[0].phase = 0;
    Canvas canvas(s.w, s.h);
    s.draw(canvas);
    EXPECT_EQ(canvas.px[static_cast<size_t>(s.spires[0].x)], 0xFF2C2C2Cu);
}

// ---------------------------------------------------------------------------
// Determinism

TEST(SkylineDeterminism, SameSeedSamePicturesAndScenesDoNotInterfere) {
    const auto run = [](GlimmerfoldScene& s, Canvas& c, int frames) {
        for (int i = 0; i < frames; ++i) s.step();
        s.draw(c);
    };
    GlimmerfoldScene a(200, 120, 555, 3), b(200, 120, 555, 3), other(200, 120, 556, 3);
    Canvas ca(200, 120), cb(200, 120), co(200, 120);
    // a alone; b interleaved frame by frame with a differently seeded scene.
    run(a, ca, 900);
    for (int i = 0; i < 900; ++i) {
        b.step();
        other.step();
    }
    b.draw(cb);
    other.draw(co);
    EXPECT_EQ(ca.px, cb.px);
    EXPECT_EQ(a.rngState(), b.rngState());
    EXPECT_EQ(a.buildings.size(), b.buildings.size());
    for (size_t i = 0; i < a.buildings.size(); ++i) {
        EXPECT_EQ(a.buildings[i].x, b.buildings[i].x);
        EXPECT_EQ(a.buildings[i].lights, b.buildings[i].lights);
    }
    EXPECT_NE(ca.px, co.px);
}

TEST(SkylineStep, PansEveryPanFramesFrames) {
    GlimmerfoldScene s(120, 60, 8, 4);
    arrange(s, {building(50, 5, 3, false, 1), building(60, 5, 2, true, 2)});
    for (int f = 1; f <= 12; ++f) {
        s.step();
        EXPECT_EQ(s.frame, f);
        EXPECT_EQ(withTag(s, 1)->x, 50 - f / 4) << "frame " << f;
    }
}

TEST(SkylineStep, WithNothingInViewNothingLights) {
    GlimmerfoldScene s(50, 40, 8, 1000000);
    arrange(s, {building(500, 5, 3, false), building(600, 5, 3, true)});
    ASSERT_EQ(s.skylineTop, s.h);
    for (int i = 0; i < 200; ++i) s.step();
    EXPECT_EQ(s.buildings[0].lights + s.buildings[1].lights, 0);
}
