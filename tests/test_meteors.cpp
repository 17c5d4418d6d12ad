#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "QuillmoorMothwake/Meteors.h"

using quillmoor::Canvas;
using quillmoor::Meteors;
using quillmoor::RNG;

namespace {

constexpr uint32_t background = 0xFF201008u;
const auto openSky = [](int, int) { return false; };

Canvas blankCanvas(int width, int height) {
    Canvas canvas(width, height);
    std::fill(canvas.px.begin(), canvas.px.end(), background);
    return canvas;
}

uint32_t pixel(const Canvas& canvas, int x, int y) { return canvas.px[static_cast<size_t>(y) * canvas.width + x]; }

// A star flying straight left, so its streak trails to the right of the head.
Meteors::Meteor flyingLeft(double x, double y, double speed, int64_t life) {
    return Meteors::Meteor{x, y, -1, 0, speed, life};
}

// The colours along row y from column x0 to the right, up to count pixels.
std::vector<uint32_t> rowFrom(const Canvas& canvas, int x0, int y, int count) {
    std::vector<uint32_t> out;
    for (int x = x0; x < x0 + count; ++x) out.push_back(pixel(canvas, x, y));
    return out;
}

}  // namespace

TEST(Meteors, FirstStarLaunchesOnCall241WithSixDrawsInOrder) {
    Meteors meteors;
    RNG rng(42);
    for (int call = 1; call <= 240; ++call) meteors.step(rng, 400, 200, 1.5, openSky);
    EXPECT_FALSE(meteors.current.has_value());
    EXPECT_EQ(rng.state, 42u);

    meteors.step(rng, 400, 200, 1.5, openSky);
    ASSERT_TRUE(meteors.current.has_value());
    RNG replay(42);
    const double angle = 0.3 + replay.unit() * 0.45;
    const double dx = replay.unit() < 0.5 ? std::cos(angle) : -std::cos(angle);
    const double x = 400 * (0.1 + replay.unit() * 0.8);
    const double y = 200 * (replay.unit() * 0.4);
    const double speed = 1.5 * (3 + replay.unit() * 2.5);
    const int64_t life = replay.integer(14, 34);
    const auto& star = *meteors.current;
    EXPECT_EQ(star.dx, dx);
    EXPECT_EQ(star.dy, std::sin(angle));
    EXPECT_EQ(star.x, x);
    EXPECT_EQ(star.y, y);
    EXPECT_EQ(star.speed, speed);
    EXPECT_EQ(star.life, life);
    EXPECT_EQ(rng.state, replay.state);
    EXPECT_EQ(meteors.wait, 0);
}

TEST(Meteors, StarEndsWhenLifeRunsOutOrItsHeadLeavesTheOpenSky) {
    struct Case {
        const char* what;
        Meteors::Meteor star;
        int stepsBeforeEnd;
    };
    const Case cases[] = {
        {"life 14 ends on the 14th step", flyingLeft(90, 10, 1, 14), 13},
        {"past the left edge", Meteors::Meteor{1.5, 10, -1, 0, 1, 30}, 2},      // 0.5, then -0.5 is column 0, then -1.5
        {"past the right edge", Meteors::Meteor{97.5, 10, 1, 0, 1, 30}, 2},     // 98.5, 99.5, then 100.5
        {"above the top", Meteors::Meteor{50, 1.5, 0, -1, 1, 30}, 2},
        {"at maxY", Meteors::Meteor{50, 37.5, 0, 1, 1, 30}, 2},                  // 38.5, 39.5, then row 40
    };
    for (const Case& c : cases) {
        Meteors meteors;
        meteors.current = c.star;
        RNG rng(8);
        for (int i = 0; i < c.stepsBeforeEnd; ++i) {
            meteors.step(rng, 100, 40, 1, openSky);
            ASSERT_TRUE(meteors.current.has_value()) << c.what << ", step " << i + 1;
        }
        meteors.step(rng, 100, 40, 1, openSky);
        EXPECT_FALSE(meteors.current.has_value()) << c.what;
        RNG replay(8);
        EXPECT_EQ(meteors.wait, replay.integer(150, 1050)) << c.what;
    }
}

TEST(Meteors, BlockedIsAskedAboutTheNextHeadOnlyWhenItIsInTheField) {
    std::vector<std::pair<int, int>> asked;
    const auto wall = [&](int x, int y) {
        asked.emplace_back(x, y);
        return x <= 47;
    };
    Meteors meteors;
    meteors.current = flyingLeft(50.5, 10.2, 1, 30);
    RNG rng(1);
    meteors.step(rng, 100, 40, 1, wall);
    ASSERT_TRUE(meteors.current.has_value());
    EXPECT_EQ(meteors.current->x, 49.5);
    EXPECT_EQ(meteors.current->life, 29);
    meteors.step(rng, 100, 40, 1, wall);
    meteors.step(rng, 100, 40, 1, wall);  // the head would reach column 47: the star ends there
    EXPECT_FALSE(meteors.current.has_value());
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{49, 10}, {48, 10}, {47, 10}}));

    // Neither an exhausted star nor one leaving the field asks.
    asked.clear();
    meteors.current = flyingLeft(50, 10, 1, 1);
    meteors.step(rng, 100, 40, 1, wall);
    meteors.current = flyingLeft(0.5, 10, 2, 30);
    meteors.step(rng, 100, 40, 1, wall);
    EXPECT_TRUE(asked.empty());
}

TEST(Meteors, StreakFadesFromWhiteOverTwelveSkyUnits) {
    Meteors meteors;
    const auto& t = meteors.tail;
    meteors.current = flyingLeft(20.5, 5.5, 4, 30);
    Canvas canvas = blankCanvas(60, 10);
    meteors.draw(canvas, 1, openSky);
    EXPECT_EQ(rowFrom(canvas, 20, 5, 13), (std::vector<uint32_t>{t[0], t[0], t[0], t[1], t[1], t[2], t[2], t[2], t[3],
                                                                  t[3], t[4], t[4], background}));
    EXPECT_EQ(pixel(canvas, 19, 5), background);

    // With three frames to live only the six pixels nearest the head remain, in their usual colours.
    meteors.current->life = 3;
    std::fill(canvas.px.begin(), canvas.px.end(), background);
    meteors.draw(canvas, 1, openSky);
    EXPECT_EQ(rowFrom(canvas, 20, 5, 7),
              (std::vector<uint32_t>{t[0], t[0], t[0], t[1], t[1], t[2], background}));

    // A small sky still gets six pixels, spread over all five colours.
    meteors.current->life = 30;
    std::fill(canvas.px.begin(), canvas.px.end(), background);
    meteors.draw(canvas, 0.4, openSky);
    EXPECT_EQ(Meteors::streakLength(0.4), 6);
    EXPECT_EQ(rowFrom(canvas, 20, 5, 7), (std::vector<uint32_t>{t[0], t[0], t[1], t[2], t[3], t[4], background}));
    EXPECT_EQ(Meteors::streakLength(2.5), 30);
}

TEST(Meteors, StreakSkipsBlockedAndOffCanvasPixelsAndGoesOnBehindThem) {
    Meteors meteors;
    const auto& t = meteors.tail;
    meteors.current = flyingLeft(55.5, 5.5, 4, 30);  // the streak runs off the right edge
    const auto pole = [](int x, int) { return x == 57; };
    Canvas canvas = blankCanvas(60, 10);
    meteors.draw(canvas, 1, pole);
    EXPECT_EQ(rowFrom(canvas, 55, 5, 5), (std::vector<uint32_t>{t[0], t[0], background, t[1], t[1]}));

    // Diagonal: each pixel back along the flight line, truncated toward zero.
    meteors.current = Meteors::Meteor{2.5, 2.5, 0.6, 0.8, 4, 30};
    std::fill(canvas.px.begin(), canvas.px.end(), background);
    meteors.draw(canvas, 1, openSky);
    EXPECT_EQ(pixel(canvas, 2, 2), t[0]);
    EXPECT_EQ(pixel(canvas, 1, 1), t[0]);  // (1.9, 1.7)
    EXPECT_EQ(pixel(canvas, 1, 0), t[0]);  // (1.3, 0.9)
    EXPECT_EQ(pixel(canvas, 0, 0), t[1]);  // (0.7, 0.1) and (0.1, -0.7)
    int drawn = 0;
    for (uint32_t p : canvas.px) drawn += p != background;
    EXPECT_EQ(drawn, 4);
}

TEST(Meteors, SameSeedAndAnswersGiveTheSameStarsSideBySide) {
    Meteors alone, first, second;
    RNG rngAlone(99), rngFirst(99), rngSecond(100);
    const auto treeLine = [](int x, int y) { return y > 30 + (x % 7); };
    Canvas canvasAlone = blankCanvas(120, 60), canvasFirst = blankCanvas(120, 60), canvasSecond = blankCanvas(120, 60);
    int flying = 0;
    for (int frame = 0; frame < 4000; ++frame) {
        alone.step(rngAlone, 120, 50, 1, treeLine);
        second.step(rngSecond, 120, 50, 2, openSky);
        first.step(rngFirst, 120, 50, 1, treeLine);
        alone.draw(canvasAlone, 1, treeLine);
        second.draw(canvasSecond, 2, openSky);
        first.draw(canvasFirst, 1, treeLine);
        flying += alone.current.has_value();
    }
    EXPECT_GT(flying, 0);
    EXPECT_EQ(rngAlone.state, rngFirst.state);
    EXPECT_EQ(alone.wait, first.wait);
    EXPECT_EQ(canvasAlone.px, canvasFirst.px);
}
