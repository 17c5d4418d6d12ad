// Unit tests of the skyline scene: each localises one kind of fault, or
// reaches a case that a normal run rarely meets. Whole runs are pinned frame
// by frame in test_traces.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <set>
#include <string_view>
#include <tuple>
#include <vector>

#include "QuillmoorMothwake/GlimmerfoldScene.h"

using quillmoor::Canvas;
using quillmoor::GlimmerfoldScene;
using quillmoor::RNG;
using Building = GlimmerfoldScene::Building;

namespace {

// Every allocation in this program (see operator new below).
size_t allocations = 0;

size_t at(const GlimmerfoldScene& s, int x, int y) { return static_cast<size_t>(y) * s.w + x; }
int rightEnd(const GlimmerfoldScene& s, const Building& b) { return b.x + b.widthTiles * s.tile; }

// `lights` doubles as a tag: pans never change it, so it follows a building through them.
Building building(int x, int widthTiles, int heightTiles, bool front, int64_t tag = 0) {
    return {x, widthTiles, heightTiles, 0, 0, front, 0, tag};
}

void arrange(GlimmerfoldScene& s, std::vector<Building> all) {
    s.buildings = std::move(all);
    s.rebuildOwner();
}

// The derived state against a painter's pass of its own; lit pixels on a
// building are its windows, never stars.
void expectConsistent(const GlimmerfoldScene& s) {
    const auto& all = s.buildings;
    EXPECT_TRUE(std::is_partitioned(all.begin(), all.end(), [](const Building& b) { return !b.front; }))
        << "a back building after a front one";
    std::vector<int> visible(all.size(), 0);
    int top = s.h;
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) {
            int cover = -1;
            for (int i = 0; i < static_cast<int>(all.size()); ++i)
                if (x >= all[i].x && x < rightEnd(s, all[i]) && y >= s.h - all[i].heightTiles * s.tile) cover = i;
            ASSERT_EQ(s.owner[at(s, x, y)], cover) << "at " << x << "," << y;
            if (cover < 0) continue;
            ++visible[static_cast<size_t>(cover)];
            top = std::min(top, y);
            const uint32_t c = s.buf[at(s, x, y)];
            EXPECT_TRUE(c == s.black || c == all[static_cast<size_t>(cover)].color) << "a star on a building";
        }
    EXPECT_EQ(s.skylineTop, top);
    for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i].visible, visible[i]) << "building " << i;
}

}  // namespace

// Counts allocations, so that a test can show that scene time allocates nothing.
void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST(SkylineBuildings, FourDrawsWithinTheLayersHeightsAndColours) {
    // At 540 rows a tile of 8 allows 30 tiles; a tile of 122 allows only one.
    struct Case { int tile; bool front; int lowest, highest; };
    for (const auto& [tile, front, lowest, highest] : {Case{8, true, 4, 18}, {8, false, 13, 30}, {122, true, 1, 1}, {122, false, 1, 1}}) {
        SCOPED_TRACE(testing::Message() << "tile " << tile << (front ? " front" : " back"));
        GlimmerfoldScene s(960, 540, 77, 1);
        s.tile = tile;
        std::set<int> heights;
        for (int i = 0; i < 3000; ++i) {
            RNG expected = s.rng;
            for (int k = 0; k < 4; ++k) expected.next();
            const Building b = s.makeBuilding(front);
            ASSERT_EQ(s.rng.state, expected.state);
            ASSERT_TRUE(b.color == s.lightColors[front ? 0 : 1] || b.color == s.lightColors[front ? 1 : 2]);
            heights.insert(b.heightTiles);
        }
        EXPECT_EQ(*heights.begin(), lowest);
        EXPECT_EQ(*heights.rbegin(), highest);
    }
}

TEST(SkylinePan, ReplacesBuildingsThatLeaveOnTheLeft) {
    GlimmerfoldScene s(100, 60, 4, 1);  // tile 2
    const int t = s.tile;
    // Back buildings 1 and 2 leave in this pan (right edge 1 -> 0); 3 stays one pan longer (2 -> 1).
    arrange(s, {building(1 - 5 * t, 5, 3, false, 1), building(1 - 6 * t, 6, 5, false, 2),
                building(2 - 5 * t, 5, 4, false, 3), building(90, 9, 11, false, 4), building(0, 5, 2, true, 5)});
    RNG next = s.rng;
    const int firstGap = t * static_cast<int>(next.integer(6));
    s.pan();
    expectConsistent(s);
    ASSERT_EQ(s.buildings.size(), 5u);
    EXPECT_EQ(s.buildings[0].lights, 3);
    EXPECT_EQ(s.buildings[2].x, 107 + firstGap) << "not after the layer's rightmost building";
    const int secondGap = s.buildings[3].x - rightEnd(s, s.buildings[2]);
    EXPECT_TRUE(secondGap >= 0 && secondGap <= 5 * t && secondGap % t == 0) << "not chained: " << secondGap;
    s.pan();
    EXPECT_EQ(s.buildings[0].lights, 4);

    // An emptied layer starts again at w plus a gap with its first candidate.
    arrange(s, {building(30, 7, 20, false), building(-5 * t, 5, 2, true)});
    GlimmerfoldScene twin = s;
    const int gap = t * static_cast<int>(twin.rng.integer(3));
    twin.makeBuilding(true);
    s.pan();
    EXPECT_EQ(s.rng.state, twin.rng.state) << "a second candidate was drawn";
    EXPECT_EQ(s.buildings.back().x, s.w + gap);
}

TEST(SkylinePan, NewBackBuildingsRiseAboveTheFrontBuildingsTheyStandBehind) {
    GlimmerfoldScene s(480, 270, 12, 1);  // 15 tiles at most, so the lift adds 2 and draws 0 ... 2 more
    const int t = s.tile;
    std::set<int> heights;
    for (uint64_t seed = 0; seed < 40; ++seed) {
        s.rng.state = seed;
        // The front building spans every place the new back building can start.
        arrange(s, {building(-5 * t, 5, 9, false), building(100, 5, 9, false), building(0, 100, 20, true)});
        s.pan();
        heights.insert(s.buildings[1].heightTiles);
    }
    EXPECT_EQ(heights, (std::set<int>{22, 23, 24}));
    arrange(s, {building(-5 * t, 5, 9, false), building(100, 5, 9, false), building(5000, 5, 20, true)});
    s.pan();
    EXPECT_LE(s.buildings[1].heightTiles, s.maxTiles()) << "lifted behind no front building";
}

TEST(SkylinePan, StaysConsistentOverThousandsOfPansAndUntouchedByAnotherScene) {
    GlimmerfoldScene s(160, 90, 2024, 1), twin(160, 90, 2024, 1), other(160, 90, 2025, 1);
    for (int i = 0; i < 3000 && !HasFailure(); ++i) {
        if (i % 97 == 0) expectConsistent(s);
        s.step();
        other.step();
    }
    for (int i = 0; i < 3000; ++i) twin.step();
    EXPECT_EQ(s.buf, twin.buf) << "a scene stepped beside another ran differently";
    EXPECT_EQ(s.rngState(), twin.rngState());
}

TEST(SkylineSpires, OnlyOnUncoveredRoofsInViewWellApartAndAtMostThree) {
    GlimmerfoldScene s(400, 100, 3, 1);  // tile 3
    const int t = s.tile;
    arrange(s, {building(0, 10, 40, false),             // roof above row 0
                building(40, 10, 12, false),            // roof centre covered by the last building
                building(150, 10, 20, false),           // a mast
                building(150 + 11 * t, 10, 19, false),  // 11 tiles from it: too close
                building(150 + 12 * t, 10, 18, false),  // 12 tiles: a mast
                building(395, 10, 17, false),           // roof centre right of the canvas
                building(300, 6, 5, false),             // would be the fourth
                building(55, 5, 12, true)});
    ASSERT_EQ(s.spires.size(), 3u);
    EXPECT_EQ(std::tie(s.spires[0].building, s.spires[1].building, s.spires[2].building), std::make_tuple(2, 4, 7));
}

TEST(SkylineWindows, LightOnlyPatternPixelsInsideTheMarginsAndCountEachSwitchOn) {
    GlimmerfoldScene s(60, 61, 1, 1);
    s.tile = 16;  // each pattern cell covers 2 x 2 pixels
    s.edge = 4;
    arrange(s, {building(10, 2, 1, true)});
    Building& b = s.buildings[0];
    b.style = 5;  // windows in the even cells of the even pattern rows, counted up from the bottom row
    b.color = s.lightColors[0];
    int64_t lit = 0;
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) {
            s.lightWindow(x, y);
            const int dx = x - 10, dy = y - (s.h - 16), r = s.h - 1 - y;
            const bool window = dx >= 4 && dx < 28 && dy >= 4 && dx / 2 % 2 == 0 && r / 2 % 2 == 0;
            EXPECT_EQ(s.buf[at(s, x, y)] == b.color, window) << x << "," << y;
            lit += window;
        }
    EXPECT_EQ(b.lights, lit);
    s.lightWindow(14, s.h - 1);  // lit already: does not count
    s.blot(14, s.h - 1, 1);
    s.lightWindow(14, s.h - 1);  // dark again: counts
    EXPECT_EQ(b.lights, lit + 1);
}

TEST(SkylineBlots, ClipAtTheCanvasEdgesAndPaintNothingWhollyOutside) {
    GlimmerfoldScene s(20, 10, 1, 1);
    struct Case { int x0, y0, n; long dark; };
    for (const auto& [x0, y0, n, dark] : {Case{5, 5, 1, 1}, {5, 2, 3, 9}, {5, 2, 4, 12}, {-4, -4, 4, 0}, {20, 10, 4, 0},
                                          {-3, -3, 4, 0}, {-2, -2, 4, 3}, {18, 8, 4, 3}, {19, 9, 1, 1}}) {
        std::fill(s.buf.begin(), s.buf.end(), 0xFFFFFFFFu);
        s.blot(x0, y0, n);
        EXPECT_EQ(std::count(s.buf.begin(), s.buf.end(), s.black), dark) << x0 << "," << y0 << " n " << n;
    }
}

TEST(SkylineDraw, MastWaitsForLitWindowsAndItsBeaconBlinksByPhase) {
    constexpr uint32_t mast = 0xFF2C2C2C, beacon = 0xFF1A2AFF;
    GlimmerfoldScene s(100, 270, 1, 1000000);  // scale 1: a 2 x 2 beacon
    arrange(s, {building(20, 6, 10, false)});
    ASSERT_EQ(s.spires.size(), 1u);
    auto& sp = s.spires[0];
    Canvas canvas(s.w, s.h);
    s.draw(canvas);
    EXPECT_EQ(canvas.px, s.buf) << "a mast before any window is lit";
    s.buildings[0].lights = s.buildings[0].visible;
    struct Case { int phase; int64_t frame; bool on; };
    for (const auto& [phase, frame, on] :
         {Case{0, 0, true}, {0, 14, true}, {0, 15, false}, {0, 30, true}, {10, 4, true}, {10, 5, false}}) {
        sp.phase = phase;
        s.frame = frame;
        s.draw(canvas);
        EXPECT_EQ(canvas.px[at(s, sp.x, sp.y - 1)], mast);
        EXPECT_EQ(canvas.px[at(s, sp.x + 1, sp.y - sp.height - 2)] == beacon, on) << phase << " " << frame;
    }
    sp.height = 4 * s.h;  // reaches above the canvas
    s.draw(canvas);
    EXPECT_EQ(canvas.px[at(s, sp.x, 0)], mast);
}

// Odd and tiny canvases with a pan on every frame: every write stays in its
// buffer (the sanitizer build runs the full length), nothing allocates, and
// the derived state keeps up with the buildings.
TEST(SkylineSanitizerSuite, PansEveryFrameOnOddCanvases) {
    const char* full = std::getenv("QUILLMOOR_SANITIZER_SUITE");
    const int frames = full && std::string_view(full) == "1" ? 2000 : 150;
    for (const auto& [w, h] : {std::pair{1, 1}, {2, 1}, {1, 2}, {7, 3}, {33, 17}, {320, 180}, {961, 541}, {1707, 480}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        GlimmerfoldScene s(w, h, 0x5EED0000u + static_cast<uint64_t>(w * 7 + h), 1);
        Canvas canvas(w, h);
        const size_t before = allocations;
        for (int f = 0; f < frames; ++f) {
            s.step();
            s.draw(canvas);
        }
        EXPECT_EQ(allocations, before) << "frames and pans allocate";
        expectConsistent(s);
    }
}
