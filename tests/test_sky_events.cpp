// Shooting stars and comets. Whole runs are pinned in test_traces; these
// localise faults and reach the edges a normal run rarely touches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "QuillmoorMothwake/Comets.h"
#include "QuillmoorMothwake/Maths.h"
#include "QuillmoorMothwake/Meteors.h"

using quillmoor::Canvas;
using quillmoor::Comets;
using quillmoor::Meteors;
using quillmoor::RNG;

namespace {

constexpr uint32_t background = 0xFF201008u;
const auto openSky = [](int, int) { return false; };

template <class Sky, class Blocked>
Canvas drawn(const Sky& sky, int width, int height, double scale, const Blocked& blocked) {
    Canvas canvas(width, height);
    std::fill(canvas.px.begin(), canvas.px.end(), background);
    sky.draw(canvas, scale, blocked);
    return canvas;
}

// The canvas as rows ended by '/': a pixel of palette colour i shows as the digit i, background as '.'.
std::string picture(const Canvas& canvas, std::span<const uint32_t> palette) {
    std::string out;
    for (size_t i = 0; i < canvas.px.size(); ++i) {
        const auto c = std::find(palette.begin(), palette.end(), canvas.px[i]);
        const bool none = canvas.px[i] == background;
        out += c != palette.end() ? static_cast<char>('0' + (c - palette.begin())) : none ? '.' : '?';
        if ((i + 1) % static_cast<size_t>(canvas.width) == 0) out += '/';
    }
    return out;
}

// Steps a fresh object with a generator seeded so: it must stay away, drawing
// nothing, until the given call, and appear on it. Returns that generator.
template <class Sky, class... Args>
RNG launchedOnCall(Sky& sky, uint64_t seed, int call, Args... args) {
    RNG rng(seed);
    for (int i = 1; i < call; ++i) sky.step(rng, args...);
    EXPECT_EQ(rng.state, seed);
    EXPECT_FALSE(sky.current.has_value());
    sky.step(rng, args...);
    EXPECT_TRUE(sky.current.has_value());
    return rng;
}

}  // namespace

TEST(Meteors, FirstStarOnCall241EndsWhenLifeRunsOutOrItsHeadLeavesTheOpenSky) {
    Meteors meteors;
    const RNG rng = launchedOnCall(meteors, 42, 241, 400, 200, 1.5, openSky);
    RNG replay(42);
    const double angle = 0.3 + replay.unit() * 0.45;
    const double dx = replay.unit() < 0.5 ? quillmoor::cosine(angle) : -quillmoor::cosine(angle);
    const Meteors::Meteor want{400 * (0.1 + replay.unit() * 0.8), 200 * (replay.unit() * 0.4), dx, quillmoor::sine(angle),
                               1.5 * (3 + replay.unit() * 2.5), replay.integer(14, 34)};
    const Meteors::Meteor& got = *meteors.current;
    EXPECT_EQ(std::tie(got.x, got.y, got.dx, got.dy, got.speed, got.life),
              std::tie(want.x, want.y, want.dx, want.dy, want.speed, want.life));
    EXPECT_EQ(rng.state, replay.state);

    // A 100 x 40 field blocked at (47, 10); blocked is asked only about heads inside the field.
    const auto wall = [](int x, int y) {
        EXPECT_TRUE(x >= 0 && x < 100 && y >= 0 && y < 40) << x << ',' << y;
        return x == 47 && y == 10;
    };
    for (const auto& [star, stepsBefore] : std::vector<std::pair<Meteors::Meteor, int>>{
             {{90, 10, -1, 0, 1, 14}, 13},        // life 14 ends on the 14th step
             {{1.5, 10, -1, 0, 1, 30}, 2},        // -0.5 is still column 0
             {{97.5, 10, 1, 0, 1, 30}, 2},        // 100.5 is outside
             {{50, 1.5, 0, -1, 1, 30}, 2},        // above the top
             {{50, 37.5, 0, 1, 1, 30}, 2},        // row 40 is maxY
             {{50.5, 10.2, -1, 0, 1, 30}, 2}}) {  // into the blocked pixel
        meteors.current = star;
        RNG endRng(8);
        for (int i = 0; i <= stepsBefore; ++i) {
            EXPECT_TRUE(meteors.current.has_value()) << star.x << " step " << i;
            meteors.step(endRng, 100, 40, 1, wall);
        }
        EXPECT_EQ(std::pair(meteors.current.has_value(), meteors.wait), std::pair(false, RNG(8).integer(150, 1050)))
            << star.x;
    }
}

TEST(Meteors, StreakFadesFromWhiteAndSkipsBlockedOrOffCanvasPixels) {
    Meteors meteors;
    // A star at (1.5, 0.5) flying left trails to the right of its head.
    const auto streak = [&](double scale, int64_t life, auto blocked) {
        meteors.current = Meteors::Meteor{1.5, 0.5, -1, 0, 4, life};
        return picture(drawn(meteors, 14, 1, scale, blocked), meteors.tail);
    };
    EXPECT_EQ(streak(1, 30, openSky), ".000112223344./");
    EXPECT_EQ(streak(1, 3, openSky), ".000112......./");    // three frames to live: the six nearest the head
    EXPECT_EQ(streak(0.4, 30, openSky), ".001234......./");  // a small sky: six pixels, all five colours
    EXPECT_EQ(streak(1, 30, [](int x, int) { return x == 3; }), ".00.112223344./");
    EXPECT_EQ(Meteors::streakLength(2.5), 30);

    // Off the canvas: each pixel back along the flight line, truncated toward zero;
    // (0.7, 0.1) and then (0.1, -0.7) both land on (0, 0).
    meteors.current = Meteors::Meteor{2.5, 2.5, 0.6, 0.8, 4, 30};
    EXPECT_EQ(picture(drawn(meteors, 4, 3, 1, openSky), meteors.tail), "10../.0../..0./");
    meteors.current = Meteors::Meteor{1.5, 0.5, -1, 0, 4, 30};
    EXPECT_EQ(picture(drawn(meteors, 4, 3, 1, openSky), meteors.tail), ".000/..../..../");
}

TEST(Comets, FirstCometOnCall1201LeavesOnlyLeftRightOrBelow) {
    Comets comets;
    RNG rng = launchedOnCall(comets, 5, 1201, 300, 100, 1.0);
    RNG replay(5);
    const bool fromLeft = replay.unit() < 0.5;
    const double angle = 0.04 + replay.unit() * (0.28 - 0.04);
    const Comets::Comet want{fromLeft ? -2.0 : 302.0, 100 * (0.05 + replay.unit() * (0.4 - 0.05)),
                             fromLeft ? quillmoor::cosine(angle) : -quillmoor::cosine(angle), quillmoor::sine(angle),
                             0.7 + replay.unit() * (1.3 - 0.7)};
    const Comets::Comet& got = *comets.current;
    EXPECT_EQ(std::tie(got.x, got.y, got.dx, got.dy, got.speed),
              std::tie(want.x, want.y, want.dx, want.dy, want.speed));
    EXPECT_EQ(rng.state, replay.state);

    // The margin is 50 sky units: exactly on it the comet still flies, one step more and it is gone.
    for (const Comets::Comet& exit : {Comets::Comet{-49.5, 10, -1, 0, 0.5}, Comets::Comet{349.5, 10, 1, 0, 0.5},
                                      Comets::Comet{100, 149.5, 0, 1, 0.5}}) {
        comets.current = exit;
        RNG exitRng(3);
        comets.step(exitRng, 300, 100, 1);
        EXPECT_TRUE(comets.current.has_value()) << exit.x;
        comets.step(exitRng, 300, 100, 1);
        EXPECT_EQ(std::pair(comets.current.has_value(), comets.wait), std::pair(false, RNG(3).integer(1800, 5400)));
    }
    comets.current = Comets::Comet{100, 10, 0, -1, 5};  // no exit through the top
    for (int i = 0; i < 1000; ++i) comets.step(rng, 300, 100, 1);
    ASSERT_TRUE(comets.current.has_value());
    EXPECT_EQ(comets.current->y, 10 - 5 * 1000);
}

TEST(Comets, TailWidensAndFadesEveryNinthPixelAtScale1) {
    EXPECT_EQ(std::pair(Comets::tailSegments(1), Comets::tailSegments(0.1)), std::pair(45, 8));
    // Flying right along a row: segment f is column 150 - f. Which edge pixels
    // survive the dither depends on the row, so two neighbouring rows are drawn.
    Comets comets;
    int widest[5] = {};
    for (int row : {50, 51}) {
        comets.current = Comets::Comet{150, static_cast<double>(row), 1, 0, 1};
        const Canvas canvas = drawn(comets, 200, 100, 1, openSky);
        for (int y = 0; y < 100; ++y)
            for (int f = 2; f < 150; ++f) {  // f = 0 and 1 lie under the head
                const uint32_t p = canvas.px[static_cast<size_t>(y) * 200 + 150 - f];
                const int off = std::abs(y - row);
                EXPECT_TRUE(f >= 18 || off > 0 || p != background) << "solid core at " << f;
                if (p == background) continue;
                ASSERT_LT(f, 45) << f << ',' << y;
                EXPECT_EQ(p, comets.tail[static_cast<size_t>(f / 9)]) << f << ',' << y;
                EXPECT_LE(off, f / 9) << f << ',' << y;
                widest[f / 9] = std::max(widest[f / 9], off);
            }
    }
    EXPECT_EQ(std::tie(widest[1], widest[2], widest[3]), std::tuple(1, 2, 3));
}

TEST(Comets, HeadIsADiscWithItsCornerTruncatedFromTheWholeDifference) {
    // The tail of a comet flying right from (x, y) lies off the canvas or under its head.
    for (const auto& [scale, x, y, size, want] : std::vector<std::tuple<double, double, double, int, std::string>>{
             {0.5, 1.5, 1.5, 3, "00./00./.../"},
             {1, 1.5, 1.5, 4, "000./000./000./..../"},
             {2, 2.5, 2.5, 6, ".000../00000./00000./00000./.000../....../"},
             {1, 0.5, 1.5, 4, "000./000./000./..../"}}) {  // x - 1 = -0.5 truncates to column 0, not -1
        Comets comets;
        comets.current = Comets::Comet{x, y, 1, 0, 1};
        EXPECT_EQ(picture(drawn(comets, size, size, scale, openSky), {&comets.head, 1}), want) << scale << ' ' << x;
    }
}

TEST(Comets, TailLeftOfAndAboveTheCanvasIsNeitherAskedAboutNorDrawn) {
    // Most of this tail lies at negative columns and rows, whose dither
    // thresholds are still looked up before clipping: the sanitizer build
    // checks that lookup stays inside its table.
    for (double scale : {1.0, 4.0}) {
        Comets comets;
        comets.current = Comets::Comet{-2, 1, quillmoor::cosine(0.28), quillmoor::sine(0.28), 1};
        const auto sky = [](int x, int y) {
            EXPECT_TRUE(x >= 0 && x < 40 && y >= 0 && y < 30) << x << ',' << y;
            return false;
        };
        const Canvas canvas = drawn(comets, 40, 30, scale, sky);
        for (size_t i = 0; i < canvas.px.size(); ++i)
            EXPECT_TRUE(canvas.px[i] == background || i % 40 <= 1 + static_cast<size_t>(5 * scale)) << scale;
    }
}
