#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "QuillmoorMothwake/Comets.h"

using quillmoor::Canvas;
using quillmoor::Comets;
using quillmoor::RNG;

namespace {

constexpr uint32_t background = 0xFF140A05u;
const auto openSky = [](int, int) { return false; };

Canvas blankCanvas(int width, int height) {
    Canvas canvas(width, height);
    std::fill(canvas.px.begin(), canvas.px.end(), background);
    return canvas;
}

uint32_t pixel(const Canvas& canvas, int x, int y) { return canvas.px[static_cast<size_t>(y) * canvas.width + x]; }

// The drawn (non-background) pixels as (x, y) pairs.
std::set<std::pair<int, int>> drawn(const Canvas& canvas) {
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x)
            if (pixel(canvas, x, y) != background) out.emplace(x, y);
    return out;
}

}  // namespace

TEST(Comets, FirstCometLaunchesOnCall1201WithFourDrawsInOrder) {
    Comets comets;
    RNG rng(5);
    for (int call = 1; call <= 1200; ++call) comets.step(rng, 300, 100, 1);
    EXPECT_FALSE(comets.current.has_value());
    EXPECT_EQ(rng.state, 5u);

    comets.step(rng, 300, 100, 1);
    ASSERT_TRUE(comets.current.has_value());
    RNG replay(5);
    const bool fromLeft = replay.unit() < 0.5;
    const double angle = 0.04 + replay.unit() * (0.28 - 0.04);
    const double y = 100 * (0.05 + replay.unit() * (0.4 - 0.05));
    const double speed = 0.7 + replay.unit() * (1.3 - 0.7);
    const auto& comet = *comets.current;
    EXPECT_EQ(comet.x, fromLeft ? -2 : 302);
    EXPECT_EQ(comet.dx, fromLeft ? std::cos(angle) : -std::cos(angle));
    EXPECT_EQ(comet.dy, std::sin(angle));
    EXPECT_EQ(comet.y, y);
    EXPECT_EQ(comet.speed, speed);
    EXPECT_EQ(rng.state, replay.state);
}

TEST(Comets, EntersFromEitherSideAndLeavesOnlyLeftRightOrBelow) {
    bool sawLeft = false, sawRight = false;
    for (uint64_t seed = 1; seed < 40; ++seed) {
        Comets comets;
        comets.wait = 0;
        RNG rng(seed);
        comets.step(rng, 300, 100, 2);
        const auto comet = *comets.current;
        (comet.dx > 0 ? sawLeft : sawRight) = true;
        EXPECT_EQ(comet.x, comet.dx > 0 ? -2 : 302);
        EXPECT_GE(comet.y, 5);
        EXPECT_LT(comet.y, 40);
        // Flies all the way across, never cut short; the left entry at -2 is well inside the margin.
        int steps = 0;
        while (comets.current && steps < 2000) {
            comets.step(rng, 300, 100, 2);
            ++steps;
        }
        EXPECT_FALSE(comets.current.has_value());
        EXPECT_GT(steps, 300 / (2 * 1.3));
    }
    EXPECT_TRUE(sawLeft && sawRight);

    // The margin is 50 sky units: at scale 1 the head may go 50 pixels beyond an edge.
    struct Exit {
        const char* what;
        Comets::Comet comet;
    };
    for (const Exit& exit : {Exit{"left", {-49.5, 10, -1, 0, 0.5}}, Exit{"right", {349.5, 10, 1, 0, 0.5}},
                             Exit{"below", {100, 149.5, 0, 1, 0.5}}}) {
        Comets comets;
        comets.current = exit.comet;
        RNG rng(3);
        comets.step(rng, 300, 100, 1);  // exactly on the margin: still flying
        ASSERT_TRUE(comets.current.has_value()) << exit.what;
        comets.step(rng, 300, 100, 1);
        EXPECT_FALSE(comets.current.has_value()) << exit.what;
        RNG replay(3);
        EXPECT_EQ(comets.wait, replay.integer(1800, 5400)) << exit.what;
    }

    Comets rising;
    rising.current = Comets::Comet{100, 10, 0, -1, 5};
    RNG rng(3);
    for (int i = 0; i < 1000; ++i) rising.step(rng, 300, 100, 1);
    EXPECT_TRUE(rising.current.has_value());
    EXPECT_EQ(rising.current->y, 10 - 5 * 1000);
}

TEST(Comets, TailWidensAndFadesEveryNinthPixelAtSkyScale1) {
    EXPECT_EQ(Comets::tailSegments(1), 45);
    EXPECT_EQ(Comets::tailSegments(0.1), 8);

    // Flying right along row y: segment f is column 150 - f, its pixels at row y + j. Which
    // edge pixels survive the dither depends on the row, so two neighbouring rows are drawn.
    Comets comets;
    int widest[5] = {};
    for (int row : {50, 51}) {
        comets.current = Comets::Comet{150, static_cast<double>(row), 1, 0, 1};
        Canvas canvas = blankCanvas(200, 100);
        comets.draw(canvas, 1, openSky);
        for (int f = 2; f < 60; ++f) {  // f = 0 and 1 lie under the head
            const int x = 150 - f;
            for (int y = 0; y < 100; ++y) {
                if (pixel(canvas, x, y) == background) continue;
                ASSERT_LT(f, 45) << "beyond the tail at " << x << "," << y;
                EXPECT_EQ(pixel(canvas, x, y), comets.tail[static_cast<size_t>(f / 9)]) << x << "," << y;
                EXPECT_LE(std::abs(y - row), f / 9) << x << "," << y;
                widest[f / 9] = std::max(widest[f / 9], std::abs(y - row));
            }
            if (f < 18) {
                EXPECT_NE(pixel(canvas, x, row), background) << "solid core at f = " << f;
            }
        }
        if (row == 51) {
            // From f = 18 the core is dithered too: (132, 51) has threshold 0.96875, above (1 - 0.4)^1.5.
            EXPECT_EQ(pixel(canvas, 132, 51), background);
        }
    }
    // Every band reaches its full half-width somewhere but the faint end, whose edges dither away.
    EXPECT_EQ(widest[1], 1);
    EXPECT_EQ(widest[2], 2);
    EXPECT_EQ(widest[3], 3);

    // A tiny sky: eight segments, all one pixel wide.
    Comets small;
    small.current = Comets::Comet{150, 51, 1, 0, 1};
    Canvas smallCanvas = blankCanvas(200, 100);
    small.draw(smallCanvas, 0.1, openSky);
    int tailPixels = 0;
    for (const auto& [x, y] : drawn(smallCanvas)) {
        if (x >= 149) continue;  // the head: columns 149 and 150, rows 50 and 51
        EXPECT_EQ(y, 51);
        EXPECT_GT(x, 150 - 8);
        ++tailPixels;
    }
    EXPECT_GT(tailPixels, 0);
}

TEST(Comets, HeadIsARoundDiscOfTwoSkyUnitsPlusOne) {
    using Cells = std::set<std::pair<int, int>>;
    auto square = [](int d) {
        Cells cells;
        for (int y = 0; y < d; ++y)
            for (int x = 0; x < d; ++x) cells.emplace(x, y);
        return cells;
    };
    Cells disc5 = square(5);
    for (const auto& corner : Cells{{0, 0}, {4, 0}, {0, 4}, {4, 4}}) disc5.erase(corner);

    struct Head {
        double scale, centre;
        Cells cells;
    };
    // The tail of a comet flying right from the canvas's left edge lies off the canvas or under its head.
    for (const Head& head : {Head{0.5, 1.5, square(2)}, Head{1, 1.5, square(3)}, Head{2, 2.5, disc5}}) {
        Comets comets;
        comets.current = Comets::Comet{head.centre, head.centre, 1, 0, 1};
        Canvas canvas = blankCanvas(20, 20);
        comets.draw(canvas, head.scale, openSky);
        EXPECT_EQ(drawn(canvas), head.cells) << head.scale;
        for (const auto& [x, y] : head.cells) EXPECT_EQ(pixel(canvas, x, y), comets.head);
    }

    // The corner is the truncated difference: x - 1 = -0.5 gives column 0, not -1.
    Comets comets;
    comets.current = Comets::Comet{0.5, 10.5, 1, 0, 1};
    Canvas canvas = blankCanvas(20, 20);
    comets.draw(canvas, 1, openSky);
    EXPECT_EQ(drawn(canvas), (Cells{{0, 9}, {1, 9}, {2, 9}, {0, 10}, {1, 10}, {2, 10}, {0, 11}, {1, 11}, {2, 11}}));
}

TEST(Comets, BlockedPixelsAreLeftOutAndOnlyCanvasPixelsAreAsked) {
    Comets comets;
    comets.current = Comets::Comet{60, 20, std::cos(0.2), std::sin(0.2), 1};
    Canvas open = blankCanvas(100, 50);
    comets.draw(open, 1.5, openSky);

    const auto hill = [](int x, int y) { return y > 15 && x < 40; };
    Canvas behind = blankCanvas(100, 50);
    comets.draw(behind, 1.5, hill);
    int hidden = 0;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x) {
            if (hill(x, y)) {
                hidden += pixel(open, x, y) != background;
                EXPECT_EQ(pixel(behind, x, y), background);
            } else {
                EXPECT_EQ(pixel(behind, x, y), pixel(open, x, y));
            }
        }
    EXPECT_GT(hidden, 0);
}

TEST(Comets, CometLeftOfAndAboveTheCanvasDrawsOnlyItsVisiblePart) {
    // Entering on the left, high up, at a large sky scale: most of the tail lies at negative
    // columns and rows, where the dither threshold must still come from inside its table.
    for (double scale : {1.0, 4.0}) {
        Comets comets;
        comets.current = Comets::Comet{-2, 1, std::cos(0.28), std::sin(0.28), 1};
        std::vector<std::pair<int, int>> asked;
        const auto sky = [&](int x, int y) {
            asked.emplace_back(x, y);
            return false;
        };
        Canvas canvas = blankCanvas(40, 30);
        comets.draw(canvas, scale, sky);
        for (const auto& [x, y] : asked) {
            EXPECT_TRUE(x >= 0 && x < 40 && y >= 0 && y < 30) << x << "," << y;
        }
        // Only the head's right column and the outer edge of the wide tail can reach the canvas.
        for (const auto& [x, y] : drawn(canvas)) EXPECT_LE(x, 1 + static_cast<int>(5 * scale)) << scale;
    }

    // Partly in: the visible pixels are those a comet further right would draw, shifted.
    Comets left, right;
    left.current = Comets::Comet{8, 12, 1, 0, 1};
    right.current = Comets::Comet{108, 12, 1, 0, 1};  // 100 columns right: the dither pattern repeats
    Canvas a = blankCanvas(200, 30), b = blankCanvas(200, 30);
    left.draw(a, 1, openSky);
    right.draw(b, 1, openSky);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x) EXPECT_EQ(pixel(a, x, y), pixel(b, x + 100, y)) << x << "," << y;
}

TEST(Comets, TwoObjectsSideBySideDoNotInterfere) {
    Comets alone, first, second;
    RNG rngAlone(12), rngFirst(12), rngSecond(13);
    Canvas canvasAlone = blankCanvas(160, 90), canvasFirst = blankCanvas(160, 90), canvasSecond = blankCanvas(160, 90);
    const auto ridge = [](int x, int y) { return y > 40 + x / 8; };
    for (int frame = 0; frame < 3000; ++frame) {
        alone.step(rngAlone, 160, 60, 1);
        second.step(rngSecond, 160, 60, 0.5);
        first.step(rngFirst, 160, 60, 1);
        if (frame % 10 == 0) {
            alone.draw(canvasAlone, 1, ridge);
            second.draw(canvasSecond, 0.5, openSky);
            first.draw(canvasFirst, 1, ridge);
        }
    }
    EXPECT_EQ(rngAlone.state, rngFirst.state);
    EXPECT_EQ(alone.wait, first.wait);
    EXPECT_NE(canvasAlone.px, blankCanvas(160, 90).px);
    EXPECT_EQ(canvasAlone.px, canvasFirst.px);
}
