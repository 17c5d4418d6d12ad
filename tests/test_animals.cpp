// The sprite rasteriser and the walking animal. Whole runs with forced animals
// are pinned in test_traces; these localise faults and reach rare cases.
#include <gtest/gtest.h>

#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "QuillmoorMothwake/Animals.h"

using quillmoor::Animals;
using quillmoor::Canvas;
using quillmoor::RNG;
using quillmoor::Sprite;
using Species = Animals::Species;

namespace {

constexpr uint32_t background = 0xFF302010u;
const auto nothingHidden = [](int, int) { return false; };

// The cells as rows of '#' and '.', top row first, each row ended by '/'.
std::string cells(const Sprite& s) {
    std::string out;
    for (int row = 0; row < s.height; ++row) {
        for (int column = 0; column < s.width; ++column) out += s.at(column, row) ? '#' : '.';
        out += '/';
    }
    return out;
}

// An animal walking a solid block of the given size in every frame.
Animals walking(int wide, int high, double x, double dir, double speed = 0) {
    Sprite block(wide, high, 1);
    std::fill(block.bits.begin(), block.bits.end(), 1);
    Animals animals(nullptr);
    animals.current = Animals::Walker{std::vector<Sprite>(8, block), x, dir, speed, 0, 0.25, std::nullopt, 0};
    return animals;
}

// Draws on a blank canvas whose bottom row stands on the ground line, and
// returns the pixels from index `from` on: K black, W warm rim, D dim rim, '.' none.
std::string drawn(const Animals& animals, int width, int height, size_t from, size_t count,
                  std::vector<int> fires = {}, double scale = 1, quillmoor::PixelPredicate hidden = nothingHidden) {
    Canvas canvas(width, height);
    std::fill(canvas.px.begin(), canvas.px.end(), background);
    animals.draw(canvas, height, fires, scale, hidden);
    std::string out;
    for (size_t i = from; i < from + count; ++i) {
        const uint32_t p = canvas.px[i];
        out += p == 0xFF000000u ? 'K' : p == 0xFF103C8Au ? 'W' : p == 0xFF08204Au ? 'D' : '.';
    }
    return out;
}

}  // namespace

TEST(Sprite, SizesAndShapeEdgeCases) {
    EXPECT_EQ(cells(Sprite(3, 0.2, 1)), ".../");  // whole cells, rounded up, never none
    EXPECT_EQ(cells(Sprite(0, -4, 1)), "./");

    Sprite four(4, 4, 1);
    four.ellipse(2, 2, 1, 1);
    four.ellipse(2, 2, 0, 3);  // a zero radius adds nothing
    EXPECT_EQ(cells(four), "..../.##./.##./..../");
    // Limbs are never thinner than about a pixel: a radius of 0.55 / scale figure units.
    Sprite thin(10, 3, 1);
    thin.limb(1.5, 1.9, 7.5, 1.9, 0.2);
    EXPECT_EQ(cells(thin), "........../.#######../........../");
    Sprite fine(2.5, 0.75, 4);
    fine.limb(0.125, 0.48, 2.375, 0.48, 0.2);
    EXPECT_EQ(cells(fine), "........../##########/........../");

    for (double thickness : {4.0, 0.1}) {  // a zero-length limb is a disc around its end
        Sprite limb(10, 10, 1), disc(10, 10, 1);
        limb.limb(5.5, 5.5, 5.5, 5.5, thickness);
        disc.ellipse(5.5, 5.5, std::max(thickness / 2, 0.55), std::max(thickness / 2, 0.55));
        EXPECT_EQ(cells(limb), cells(disc)) << thickness;
    }
    // The foot: raised at theta 0, ahead at pi/2, under the hip at pi, behind at 3pi/2.
    constexpr double pi = std::numbers::pi;
    for (const auto& [theta, footX, footY] :
         std::vector<std::tuple<double, double, double>>{{0, 10, 3}, {pi / 2, 14, 0}, {pi, 10, 0}, {1.5 * pi, 6, 0}}) {
        Sprite leg(20, 20, 1), limb(20, 20, 1);
        leg.leg(10, 15, theta, 4, 3, 1);
        limb.limb(10, 15, footX, footY, 1);
        EXPECT_EQ(cells(leg), cells(limb)) << theta;
    }
    Sprite forward(30, 20, 1.3), backward(30, 20, 1.3);  // shapes only add: their order is free
    forward.ellipse(12, 9, 7, 4);
    forward.leg(20, 8, 0.7, 3, 2, 2);
    backward.leg(20, 8, 0.7, 3, 2, 2);
    backward.ellipse(12, 9, 7, 4);
    EXPECT_EQ(cells(forward), cells(backward));
}

TEST(Animals, SpeciesNamesAndFrameSizes) {
    for (const auto& [name, species] : std::vector<std::pair<const char*, std::optional<Species>>>{
             {"moose", Species::moose}, {"bear", Species::bear}, {"fox", Species::fox}, {"Moose", {}}, {" fox", {}},
             {"fox ", {}}, {"", {}}, {"foxes", {}}}) {
        EXPECT_EQ(Animals::species(name), species) << '"' << name << '"';
        EXPECT_EQ(Animals(name).wait, species ? 0 : 1350) << '"' << name << '"';
    }
    for (const auto& [species, scale, width, height] : std::vector<std::tuple<Species, double, int, int>>{
             {Species::moose, 1, 58, 50}, {Species::bear, 1, 50, 26}, {Species::fox, 1, 34, 16},
             {Species::moose, 2, 116, 100}}) {
        const auto frames = Animals::makeFrames(species, scale);
        ASSERT_EQ(frames.size(), 8u);
        for (const Sprite& f : frames) EXPECT_EQ(std::tie(f.width, f.height), std::tie(width, height));
    }
}

TEST(Animals, WalkerEntersOnCall1351OrAtOnceWhenForcedNeverAsThePreviousSpecies) {
    for (const char* name : {static_cast<const char*>(nullptr), "bear"}) {
        Animals animals(name);
        animals.previous = Species::bear;  // forced still brings a bear, with no species draw
        RNG rng(7), replay(7);
        for (int call = 1; call < (name ? 1 : 1351); ++call) animals.step(rng, 320, 1);
        EXPECT_EQ(rng.state, 7u);
        EXPECT_FALSE(animals.current.has_value());
        animals.step(rng, 320, 1);
        ASSERT_TRUE(animals.current.has_value());
        const Species chosen = name ? Species::bear : replay.integer(2) == 0 ? Species::moose : Species::fox;
        const auto& walker = *animals.current;
        EXPECT_EQ(animals.previous, chosen);
        EXPECT_EQ(walker.frames[0].width, Animals::makeFrames(chosen, 1)[0].width);
        const bool fromLeft = replay.unit() < 0.5;
        EXPECT_EQ(std::tie(walker.x, walker.dir),
                  std::tuple(fromLeft ? -walker.frames[0].width : 320.0, fromLeft ? 1.0 : -1.0));
        const bool pauses = replay.unit() < 0.6;
        EXPECT_EQ(walker.pauseAt, pauses ? std::optional(320 * (0.2 + replay.unit() * (0.8 - 0.2))) : std::nullopt);
        EXPECT_EQ(rng.state, replay.state);
    }
}

TEST(Animals, WalkerStopsOnceAtItsPausePointAndLeavesJustBeyondEitherEdge) {
    for (double dir : {1.0, -1.0}) {
        Animals animals = walking(4, 2, 10, dir, 0.5);
        animals.current->pauseAt = 10 + dir;
        RNG rng(5), replay(5);
        const int64_t pause = replay.integer(90, 240);
        animals.step(rng, 100, 1);
        EXPECT_EQ(animals.current->pause, 0);
        animals.step(rng, 100, 1);  // reaches the point exactly: moves, then stands
        EXPECT_EQ(animals.current->pause, pause);
        for (int64_t i = 0; i <= pause; ++i) animals.step(rng, 100, 1);
        EXPECT_EQ(std::tie(animals.current->x, animals.current->phase), std::tuple(10 + dir * 1.5, 0.75));
        EXPECT_EQ(rng.state, replay.state);  // a single stop per crossing
    }
    // Gone once beyond width + 2 or -2 - figure width, whether walking or standing.
    for (const auto& [x, dir, pause, steps] :
         std::vector<std::tuple<double, double, int64_t, int>>{{101.5, 1, 0, 2}, {-35.5, -1, 0, 2}, {103, 1, 50, 1}}) {
        Animals animals = walking(34, 3, x, dir, 0.5);
        animals.current->pause = pause;
        RNG rng(9), replay(9);
        int taken = 0;
        for (; animals.current && taken < 5; ++taken) animals.step(rng, 100, 1);
        EXPECT_EQ(std::pair(taken, animals.wait), std::pair(steps, replay.integer(1200, 4500))) << x;
    }
}

TEST(Animals, DrawingPicksTheFrameFromThePhaseAndMirrorsWhenWalkingLeft) {
    Animals animals = walking(8, 1, -0.5, 1);  // the left edge is the floor of x: column -1
    for (size_t k = 0; k < 8; ++k) {  // frame k sets only its cell k
        animals.current->frames[k].bits.assign(8, 0);
        animals.current->frames[k].bits[k] = 1;
    }
    animals.current->phase = 1.55 * 2 * std::numbers::pi;  // 12.4 eighths of a cycle: frame 4
    for (double dir : {1.0, -1.0}) {
        animals.current->dir = dir;
        EXPECT_EQ(drawn(animals, 8, 1, 0, 8), dir > 0 ? "...K...." : "..K.....");
    }
}

TEST(Animals, RimLightFacesTheNearestFireOnVisiblePixelsOnly) {
    Animals animals = walking(4, 1, 10, 1);  // columns 10..13 on the bottom row
    for (const auto& [fires, row] : std::vector<std::pair<std::vector<int>, std::string>>{
             {{}, "KKKK"}, {{20}, "KKKW"}, {{100}, "KKKD"}, {{0}, "WKKK"}, {{170}, "KKKK"},
             {{10}, "WKKK"}, {{13}, "KKKK"},                     // dx = 0 looks left
             {{5, 15}, "WKKW"}, {{15, 5}, "KKKW"}, {{9, 14}, "WKKW"}}) {  // ties: the first listed
        EXPECT_EQ(drawn(animals, 200, 1, 10, 4, fires), row) << (fires.empty() ? -1 : fires[0]);
    }
    // Straight above a fire at scale 2, 150 pixels up the glow is exactly 0.5: dim, not warm.
    animals = walking(1, 310, 0, 1);
    EXPECT_EQ(drawn(animals, 1, 390, 90, 2, {0}, 2) + drawn(animals, 1, 390, 240, 2, {0}, 2), "KDDW");
    animals = walking(6, 3, -3.5, 1);  // columns -4..1: half off the canvas
    const auto hidden = [](int x, int y) {
        EXPECT_TRUE(x >= 0 && x < 3 && y >= 0 && y < 3) << x << ',' << y;
        return x == 1 && y == 1;
    };
    EXPECT_EQ(drawn(animals, 3, 3, 0, 9, {5}, 1, hidden), "KW.K..KW.");
}

TEST(Animals, TwoSideBySideDoNotInterfere) {
    Animals alone(nullptr), first(nullptr), other("fox");
    RNG rngAlone(77), rngFirst(77), rngOther(78);
    for (int frame = 0; frame < 3000; ++frame) {
        alone.step(rngAlone, 80, 1);
        other.step(rngOther, 80, 0.5);
        first.step(rngFirst, 80, 1);
        if (frame % 100 != 0) continue;
        const std::string before = drawn(alone, 80, 55, 0, 80 * 55, {20});
        drawn(other, 80, 30, 0, 0, {70}, 0.5);
        EXPECT_EQ(drawn(first, 80, 55, 0, 80 * 55, {20}), before) << frame;
    }
    EXPECT_EQ(rngAlone.state, rngFirst.state);
}
