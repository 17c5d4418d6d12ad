#include <gtest/gtest.h>

#include <cstdlib>
#include <numbers>
#include <vector>

#include "QuillmoorMothwake/Animals.h"

using quillmoor::Animals;
using quillmoor::Canvas;
using quillmoor::RNG;
using quillmoor::Sprite;
using Species = Animals::Species;

namespace {

constexpr double pi = std::numbers::pi;
constexpr uint32_t background = 0xFF302010u;
constexpr uint32_t black = 0xFF000000u;
constexpr uint32_t warmRim = 0xFF103C8Au;
constexpr uint32_t dimRim = 0xFF08204Au;

const auto nothingHidden = [](int, int) { return false; };

// Centres (in figure units at scale 1) of the runs of set cells in a frame's
// ground contact row, from left to right.
std::vector<double> footprints(const Sprite& frame) {
    std::vector<double> centres;
    const int row = frame.height - 1;
    for (int j = 0; j < frame.width; ++j) {
        if (!frame.at(j, row)) continue;
        const int start = j;
        while (j + 1 < frame.width && frame.at(j + 1, row)) ++j;
        centres.push_back((start + j + 1) / 2.0);
    }
    return centres;
}

int lowestSetRow(const Sprite& frame, int column) {
    for (int row = frame.height - 1; row >= 0; --row)
        if (frame.at(column, row)) return row;
    return -1;
}

// A walker over a hand-made figure: eight copies of one sprite.
Animals::Walker walkerOf(const Sprite& figure, double x, double dir) {
    Animals::Walker walker;
    walker.frames.assign(8, figure);
    walker.x = x;
    walker.dir = dir;
    return walker;
}

Sprite filled(double unitsWide, double unitsHigh) {
    Sprite s(unitsWide, unitsHigh, 1);
    std::fill(s.bits.begin(), s.bits.end(), 1);
    return s;
}

Canvas blankCanvas(int width, int height) {
    Canvas canvas(width, height);
    std::fill(canvas.px.begin(), canvas.px.end(), background);
    return canvas;
}

uint32_t pixel(const Canvas& canvas, int x, int y) { return canvas.px[static_cast<size_t>(y) * canvas.width + x]; }

void stepUntilEntered(Animals& animals, RNG& rng, int width, double scale) {
    while (!animals.current) animals.step(rng, width, scale);
}

}  // namespace

TEST(AnimalSpecies, ParsesExactNamesOnly) {
    EXPECT_EQ(Animals::species("moose"), Species::moose);
    EXPECT_EQ(Animals::species("bear"), Species::bear);
    EXPECT_EQ(Animals::species("fox"), Species::fox);
    for (const char* other : {"Moose", "BEAR", " fox", "fox ", "", "foxes", "fo"})
        EXPECT_FALSE(Animals::species(other).has_value()) << '"' << other << '"';
}

TEST(AnimalFigures, FrameSetsHaveEightFramesOfTheSpeciesSize) {
    struct Size {
        Species species;
        double scale;
        int width, height;
    };
    for (const Size& size : {Size{Species::moose, 1, 58, 50}, Size{Species::bear, 1, 50, 26},
                             Size{Species::fox, 1, 34, 16}, Size{Species::moose, 2, 116, 100},
                             Size{Species::fox, 2, 68, 32}}) {
        const auto frames = Animals::makeFrames(size.species, size.scale);
        ASSERT_EQ(frames.size(), 8u);
        for (const Sprite& frame : frames) {
            EXPECT_EQ(frame.width, size.width);
            EXPECT_EQ(frame.height, size.height);
        }
    }
}

TEST(AnimalFigures, OnlyTheLegsMove) {
    // Above the moose's hips (and their leg radius) every frame is the same.
    const auto frames = Animals::makeFrames(Species::moose, 1);
    const size_t bodyCells = 25u * 58u;
    for (const Sprite& frame : frames)
        EXPECT_TRUE(std::equal(frame.bits.begin(), frame.bits.begin() + bodyCells, frames[0].bits.begin()));
    EXPECT_NE(frames[0].bits, frames[1].bits);
}

TEST(AnimalFigures, MooseLegsAlternateEveryHalfCycle) {
    const auto frames = Animals::makeFrames(Species::moose, 1);
    // Frame 0: the legs with hips at 12 and 30 stand; those at 15 and 33 are raised to the lift height.
    EXPECT_EQ(footprints(frames[0]), (std::vector<double>{12, 30}));
    EXPECT_EQ(lowestSetRow(frames[0], 14), frames[0].height - 2);
    EXPECT_EQ(lowestSetRow(frames[0], 32), frames[0].height - 2);
    // Frame 4: the other way round.
    EXPECT_EQ(footprints(frames[4]), (std::vector<double>{15, 33}));
    EXPECT_EQ(lowestSetRow(frames[4], 11), frames[4].height - 2);
    EXPECT_EQ(lowestSetRow(frames[4], 29), frames[4].height - 2);
    // Frame 2: all four on the ground, one pair a stride ahead of its hips, the other a stride behind.
    const auto spread = footprints(frames[2]);
    const std::vector<double> feet{12 - 4, 15 + 4, 30 - 4, 33 + 4};
    ASSERT_EQ(spread.size(), 4u);
    for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(spread[i], feet[i], 0.5) << i;
}

TEST(AnimalWalker, FirstAnimalEntersOnCall1351WithoutEarlierDraws) {
    Animals animals(nullptr);
    EXPECT_FALSE(animals.forced.has_value());
    RNG rng(7);
    for (int call = 1; call <= 1350; ++call) animals.step(rng, 320, 1);
    EXPECT_FALSE(animals.current.has_value());
    EXPECT_EQ(rng.state, 7u);  // waiting draws nothing

    animals.step(rng, 320, 1);
    ASSERT_TRUE(animals.current.has_value());
    RNG replay(7);
    const Species species = Animals::allSpecies[replay.integer(3)];
    EXPECT_EQ(animals.previous, species);
    const auto& walker = *animals.current;
    const int figureWidth = Animals::makeFrames(species, 1)[0].width;
    if (replay.unit() < 0.5) {
        EXPECT_EQ(walker.x, -figureWidth);
        EXPECT_EQ(walker.dir, 1);
    } else {
        EXPECT_EQ(walker.x, 320);
        EXPECT_EQ(walker.dir, -1);
    }
    if (replay.unit() < 0.6) {
        ASSERT_TRUE(walker.pauseAt.has_value());
        EXPECT_EQ(*walker.pauseAt, 320 * (0.2 + replay.unit() * (0.8 - 0.2)));
    } else {
        EXPECT_FALSE(walker.pauseAt.has_value());
    }
    EXPECT_EQ(rng.state, replay.state);
    EXPECT_EQ(walker.phase, 0);
    EXPECT_EQ(walker.pause, 0);
}

TEST(AnimalWalker, ForcedSpeciesEntersAtOnceAndAlwaysReturns) {
    Animals animals("bear");
    EXPECT_EQ(animals.forced, Species::bear);
    EXPECT_EQ(animals.wait, 0);
    RNG rng(11);
    animals.step(rng, 60, 1);
    ASSERT_TRUE(animals.current.has_value());
    EXPECT_EQ(animals.current->frames[0].width, 50);

    // No species draw: the first draw decides the side.
    RNG replay(11);
    EXPECT_EQ(animals.current->dir, replay.unit() < 0.5 ? 1 : -1);

    for (int crossing = 0; crossing < 3; ++crossing) {
        while (animals.current) animals.step(rng, 60, 1);
        stepUntilEntered(animals, rng, 60, 1);
        EXPECT_EQ(animals.previous, Species::bear);
        EXPECT_EQ(animals.current->frames[0].width, 50);
    }
}

TEST(AnimalWalker, EnvironmentForcesOnlyExactNames) {
    EXPECT_EQ(Animals("fox").forced, Species::fox);
    for (const char* ignored : {"Bear", "", " moose", "wolf"}) {
        Animals animals(ignored);
        EXPECT_FALSE(animals.forced.has_value()) << ignored;
        EXPECT_EQ(animals.wait, 1350) << ignored;
    }

    ASSERT_EQ(setenv("MOTHWAKES_ANIMAL", "moose", 1), 0);
    const Animals fromEnvironment;
    EXPECT_EQ(fromEnvironment.forced, Species::moose);
    EXPECT_EQ(fromEnvironment.wait, 0);
    ASSERT_EQ(unsetenv("MOTHWAKES_ANIMAL"), 0);
    EXPECT_FALSE(Animals().forced.has_value());
}

TEST(AnimalWalker, NeverTheSameSpeciesTwiceRunning) {
    // After a fox the choice is int(2) over moose and bear, in that order.
    for (uint64_t seed : {1u, 2u, 3u, 4u}) {
        Animals animals(nullptr);
        animals.previous = Species::fox;
        animals.wait = 0;
        RNG rng(seed);
        animals.step(rng, 100, 1);
        RNG replay(seed);
        EXPECT_EQ(animals.previous, replay.integer(2) == 0 ? Species::moose : Species::bear);
    }

    Animals animals(nullptr);
    RNG rng(2024);
    bool seen[3] = {};
    std::optional<Species> last;
    for (int crossing = 0; crossing < 12; ++crossing) {
        stepUntilEntered(animals, rng, 40, 1);
        ASSERT_NE(animals.previous, last);
        last = animals.previous;
        seen[static_cast<int>(*last)] = true;
        while (animals.current) animals.step(rng, 40, 1);
    }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
}

TEST(AnimalWalker, StopsOnceAtItsPausePointThenWalksOn) {
    for (double dir : {1.0, -1.0}) {
        Animals animals(nullptr);
        auto walker = walkerOf(filled(4, 2), 10, dir);
        walker.speed = 0.5;
        walker.cadence = 0.25;
        walker.pauseAt = 10 + dir * 1.0;
        animals.current = walker;
        RNG rng(5);
        animals.step(rng, 100, 1);
        EXPECT_EQ(animals.current->pause, 0);
        animals.step(rng, 100, 1);  // reaches the point exactly: moved, then stands
        RNG replay(5);
        const int64_t pause = replay.integer(90, 240);
        EXPECT_EQ(animals.current->pause, pause);
        EXPECT_FALSE(animals.current->pauseAt.has_value());
        EXPECT_EQ(animals.current->x, 10 + dir * 1.0);
        EXPECT_EQ(animals.current->phase, 0.5);

        for (int64_t i = 0; i < pause; ++i) animals.step(rng, 100, 1);
        EXPECT_EQ(animals.current->x, 10 + dir * 1.0);
        EXPECT_EQ(animals.current->phase, 0.5);
        EXPECT_EQ(animals.current->pause, 0);
        animals.step(rng, 100, 1);
        EXPECT_EQ(animals.current->x, 10 + dir * 1.5);
        EXPECT_EQ(rng.state, replay.state);  // a single stop per crossing
    }
}

TEST(AnimalWalker, LeavesJustBeyondEitherEdge) {
    RNG replay(9);
    const int64_t nextWait = replay.integer(1200, 4500);

    // Right: x = width + 2 is still on the scene; a step further it has left.
    Animals right(nullptr);
    auto walker = walkerOf(filled(34, 3), 101.5, 1);
    walker.speed = 0.5;
    right.current = walker;
    RNG rng(9);
    right.step(rng, 100, 1);
    ASSERT_TRUE(right.current.has_value());
    EXPECT_EQ(rng.state, 9u);
    right.step(rng, 100, 1);
    EXPECT_FALSE(right.current.has_value());
    EXPECT_EQ(right.wait, nextWait);

    // Left: the bound is two pixels plus the figure's width beyond column 0.
    Animals left(nullptr);
    walker.x = -35.5;
    walker.dir = -1;
    left.current = walker;
    RNG rng2(9);
    left.step(rng2, 100, 1);
    ASSERT_TRUE(left.current.has_value());
    left.step(rng2, 100, 1);
    EXPECT_FALSE(left.current.has_value());
    EXPECT_EQ(left.wait, nextWait);

    // A standing animal outside the bounds leaves as well.
    Animals standing(nullptr);
    walker.x = 103;
    walker.pause = 50;
    standing.current = walker;
    RNG rng3(9);
    standing.step(rng3, 100, 1);
    EXPECT_FALSE(standing.current.has_value());
}

TEST(AnimalDrawing, StandsOnTheGroundAndMirrorsWhenWalkingLeft) {
    const auto frames = Animals::makeFrames(Species::fox, 1);
    Animals animals(nullptr);
    for (double dir : {1.0, -1.0}) {
        Animals::Walker walker;
        walker.frames = frames;
        walker.x = 10.7;  // the left edge is the floor of x
        walker.dir = dir;
        animals.current = walker;
        Canvas canvas = blankCanvas(60, 30);
        animals.draw(canvas, 25, {}, 1, nothingHidden);
        const Sprite& f = frames[0];
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 60; ++x) {
                const int sx = dir > 0 ? x - 10 : f.width - 1 - (x - 10);
                const bool inside = x >= 10 && x < 10 + f.width && y >= 25 - f.height && y < 25;
                const bool set = inside && f.at(sx, y - (25 - f.height));
                EXPECT_EQ(pixel(canvas, x, y), set ? black : background) << dir << ' ' << x << ',' << y;
            }
    }
}

TEST(AnimalDrawing, FrameFollowsThePhaseWhicheverWayItWalks) {
    Animals animals(nullptr);
    Animals::Walker walker;
    for (int k = 0; k < 8; ++k) {
        Sprite frame(8, 1, 1);
        frame.bits[static_cast<size_t>(k)] = 1;
        walker.frames.push_back(frame);
    }
    walker.x = 0;
    walker.phase = 1.55 * 2 * pi;  // 12.4 eighths of a cycle: frame 4
    for (double dir : {1.0, -1.0}) {
        walker.dir = dir;
        animals.current = walker;
        Canvas canvas = blankCanvas(8, 2);
        animals.draw(canvas, 2, {}, 1, nothingHidden);
        for (int x = 0; x < 8; ++x) EXPECT_EQ(pixel(canvas, x, 1) == black, x == (dir > 0 ? 4 : 3)) << x;
    }
}

TEST(AnimalDrawing, RimLightFacesTheNearestFire) {
    Animals animals(nullptr);
    animals.current = walkerOf(filled(4, 1), 10, 1);  // columns 10..13 on row 99
    const auto row = [&](std::vector<int> fires) {
        Canvas canvas = blankCanvas(200, 100);
        animals.draw(canvas, 100, fires, 1, nothingHidden);
        return std::vector<uint32_t>{pixel(canvas, 10, 99), pixel(canvas, 11, 99), pixel(canvas, 12, 99),
                                     pixel(canvas, 13, 99)};
    };
    EXPECT_EQ(row({}), (std::vector<uint32_t>{black, black, black, black}));
    EXPECT_EQ(row({20}), (std::vector<uint32_t>{black, black, black, warmRim}));
    EXPECT_EQ(row({100}), (std::vector<uint32_t>{black, black, black, dimRim}));  // 87 pixels: glow 0.42
    EXPECT_EQ(row({0}), (std::vector<uint32_t>{warmRim, black, black, black}));
    EXPECT_EQ(row({170}), (std::vector<uint32_t>{black, black, black, black}));  // beyond its reach
    // In the fire's own column the outline looks left.
    EXPECT_EQ(row({10}), (std::vector<uint32_t>{warmRim, black, black, black}));
    EXPECT_EQ(row({13}), (std::vector<uint32_t>{black, black, black, black}));
    // Equally near fires: the first listed wins.
    EXPECT_EQ(row({5, 15}), (std::vector<uint32_t>{warmRim, black, black, warmRim}));
    EXPECT_EQ(row({15, 5}), (std::vector<uint32_t>{black, black, black, warmRim}));
    // Each pixel looks to its own nearest fire, wherever it is listed.
    EXPECT_EQ(row({0, 16}), (std::vector<uint32_t>{black, black, black, warmRim}));
    EXPECT_EQ(row({9, 14}), (std::vector<uint32_t>{warmRim, black, black, warmRim}));
}

TEST(AnimalDrawing, GlowOfExactlyOneHalfIsDim) {
    Animals animals(nullptr);
    animals.current = walkerOf(filled(1, 310), 50, 1);
    for (double scale : {1.0, 2.0}) {
        Canvas canvas = blankCanvas(100, 400);
        const int groundY = 390;
        const int fire = 50;
        animals.draw(canvas, groundY, std::vector<int>{fire}, scale, nothingHidden);
        // Rows 75 x scale above the ground line are exactly halfway to the edge of the light.
        const int half = static_cast<int>(75 * scale);
        EXPECT_EQ(pixel(canvas, 50, groundY - half + 1), warmRim);
        EXPECT_EQ(pixel(canvas, 50, groundY - half), dimRim);
        EXPECT_EQ(pixel(canvas, 50, groundY - 2 * half + 1), dimRim);
        EXPECT_EQ(pixel(canvas, 50, groundY - 2 * half), black);  // glow 0 lights nothing
    }
}

TEST(AnimalDrawing, HiddenPixelsAndPixelsOffCanvasAreLeftAlone) {
    Animals animals(nullptr);
    animals.current = walkerOf(filled(6, 3), -3.5, 1);  // columns -4..1, half off the canvas
    std::vector<std::pair<int, int>> asked;
    const auto hidden = [&](int x, int y) {
        asked.emplace_back(x, y);
        return x == 1 && y == 8;
    };
    Canvas canvas = blankCanvas(10, 10);
    animals.draw(canvas, 10, std::vector<int>{5}, 1, hidden);
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{0, 7}, {1, 7}, {0, 8}, {1, 8}, {0, 9}, {1, 9}}));
    EXPECT_EQ(pixel(canvas, 1, 8), background);
    EXPECT_EQ(pixel(canvas, 0, 8), black);
    EXPECT_EQ(pixel(canvas, 1, 9), warmRim);
    EXPECT_EQ(pixel(canvas, 2, 9), background);
}

TEST(AnimalWalker, TwoObjectsSideBySideDoNotInterfere) {
    Animals alone(nullptr), first(nullptr), second("fox");
    RNG rngAlone(77), rngFirst(77), rngSecond(78);
    Canvas canvasAlone = blankCanvas(80, 60), canvasFirst = blankCanvas(80, 60), canvasSecond = blankCanvas(80, 60);
    for (int frame = 0; frame < 3000; ++frame) {
        alone.step(rngAlone, 80, 1);
        first.step(rngFirst, 80, 1);
        second.step(rngSecond, 80, 0.5);
        if (frame % 100 == 0) {
            alone.draw(canvasAlone, 55, std::vector<int>{20}, 1, nothingHidden);
            second.draw(canvasSecond, 30, std::vector<int>{70}, 0.5, nothingHidden);
            first.draw(canvasFirst, 55, std::vector<int>{20}, 1, nothingHidden);
        }
    }
    EXPECT_EQ(rngAlone.state, rngFirst.state);
    EXPECT_EQ(alone.previous, first.previous);
    EXPECT_EQ(alone.wait, first.wait);
    EXPECT_EQ(canvasAlone.px, canvasFirst.px);
}
