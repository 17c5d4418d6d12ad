#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "frontends/wayland/CompositorDamage.h"
#include "frontends/wayland/FrameGate.h"
#include "frontends/wayland/SurfaceScale.h"

using platform::CompositorDamage;
using platform::DamageGrid;
using platform::DamageSpan;
using platform::FrameGate;
using platform::PixelRect;
using platform::Region;
using platform::SurfaceScale;

namespace {

// One byte per pixel, y * width + x.
struct Mask {
    int width = 0, height = 0;
    std::vector<uint8_t> px;
    Mask(int w, int h) : width(w), height(h), px(static_cast<size_t>(w) * static_cast<size_t>(h)) {}
    void set(PixelRect r) {
        for (int y = std::max(r.y, 0); y < std::min(r.bottom(), height); ++y)
            for (int x = std::max(r.x, 0); x < std::min(r.right(), width); ++x) px[static_cast<size_t>(y) * width + x] = 1;
    }
};

// The rectangles of the mask in banded form, counted pixel row by pixel row:
// the runs of each row; a row with the same runs as the row above belongs to
// its band.
size_t plainBandedCount(const Mask& m) {
    size_t count = 0;
    std::vector<std::pair<int, int>> runs, above;
    for (int y = 0; y < m.height; ++y) {
        runs.clear();
        for (int x = 0; x < m.width; ++x) {
            if (!m.px[static_cast<size_t>(y) * m.width + x]) continue;
            if (!runs.empty() && runs.back().second == x)
                ++runs.back().second;
            else
                runs.emplace_back(x, x + 1);
        }
        if (runs != above) count += runs.size();
        std::swap(runs, above);
    }
    return count;
}

}  // namespace

TEST(SurfaceScale, BuffersAreInDevicePixelsAndOnlyMotionBeyondAFewPixelsCounts) {
    // Fractional scales (in 120ths): the logical size times the scale, rounded half away from zero, at buffer scale 1.
    for (const auto& [whole, fraction, logical, device] :
         {std::array{1, 0, 1280, 1280}, {2, 0, 400, 800}, {1, 150, 1366, 1708}, {1, 180, 1281, 1922}, {1, 140, 1000, 1167},
          {1, 120, 777, 777}})
        EXPECT_EQ((SurfaceScale{whole, static_cast<uint32_t>(fraction)}.device(logical)), device) << whole << " " << fraction << " " << logical;
    EXPECT_EQ((SurfaceScale{2, 0}.bufferScale()), 2);
    EXPECT_EQ((SurfaceScale{3, 150}.bufferScale()), 1);

    EXPECT_FALSE(platform::movedFar(100, 100, 103, 104));
    EXPECT_FALSE(platform::movedFar(100, 100, 100, 108));
    EXPECT_TRUE(platform::movedFar(100, 100, 106, 106));
    EXPECT_TRUE(platform::movedFar(100, 100, 90, 100));
}

// A span of buffer pixels taken into surface units and back as KWin does:
// start and length mapped and rounded each on their own (in float, as its
// matrices are), clipped to the surface in between. {start, end}.
std::pair<int, int> compositorRoundTrip(int start, int length, int buffer, int logical) {
    const float in = static_cast<float>(logical) / static_cast<float>(buffer);
    const float out = static_cast<float>(buffer) / static_cast<float>(logical);
    int s = static_cast<int>(std::lround(start * in)), e = s + static_cast<int>(std::lround(length * in));
    s = std::max(s, 0);
    e = std::min(e, logical);
    const int back = static_cast<int>(std::lround(s * out));
    return {back, back + static_cast<int>(std::lround((e - s) * out))};
}

TEST(DamageGrid, DamageComesBackWholeAndInsideTheBufferFromACompositorThatRounds) {
    // buffer, logical: scales 1.5, 2 (either way), 1.25, 1.75, 4/3, and sizes with no common grid.
    const std::array<std::pair<int, int>, 8> sizes = {
        {{1920, 1280}, {2880, 1920}, {2560, 1280}, {1600, 1280}, {2240, 1280}, {1707, 1280}, {1919, 1279}, {720, 720}}};
    std::mt19937 random(7);
    for (const auto& [buffer, logical] : sizes) {
        const DamageGrid grid(buffer, buffer, logical, logical);
        int lostWithoutGrid = 0;
        for (int i = 0; i < 4000; ++i) {
            const int start = static_cast<int>(random() % buffer);
            const int length = 1 + static_cast<int>(random() % std::min(40, buffer - start));
            const PixelRect covered = grid.cover({start, start, length, length});
            const auto [from, to] = compositorRoundTrip(covered.x, covered.width, buffer, logical);
            ASSERT_TRUE(from <= start && to >= start + length && to <= buffer)
                << buffer << " pixels over " << logical << ": " << start << "+" << length << " came back as " << from
                << " ... " << to;
            EXPECT_EQ(covered.y, covered.x);
            const auto [plainFrom, plainTo] = compositorRoundTrip(start, length, buffer, logical);
            lostWithoutGrid += plainFrom > start || plainTo < start + length || plainTo > buffer;
        }
        if (buffer != logical) {
            EXPECT_GT(lostWithoutGrid, 0) << buffer << " over " << logical << ": the rounding this guards against";
        }
    }
    // The grid is as fine as it can be: 3 pixels for 2 units at 1.5, the
    // buffer scale at a whole one, the whole buffer where nothing smaller fits.
    EXPECT_EQ(DamageGrid(1920, 1080, 1280, 720).stepX(), 3);
    EXPECT_EQ(DamageGrid(1920, 1080, 1280, 720).stepY(), 3);
    EXPECT_EQ(DamageGrid(800, 600, 400, 300).stepX(), 2);
    EXPECT_EQ(DamageGrid(1919, 1079, 1279, 719).stepX(), 1919);
    EXPECT_EQ(DamageGrid(640, 480, 640, 480).cover({5, 7, 3, 2}), (PixelRect{5, 7, 3, 2}));
}

// Draws after the configure, then only when the compositor asks; a slot
// passed undrawn lets the loop sleep until the compositor speaks again.
TEST(FrameGate, DrawsOnlyWhenTheCompositorAsks) {
    FrameGate gate;
    gate.missed();
    EXPECT_FALSE(gate.canDraw() || gate.wantsFrames()) << "nothing to draw before the first configure";
    gate.configured();
    EXPECT_TRUE(gate.canDraw());
    gate.drawn();
    EXPECT_FALSE(gate.canDraw()) << "the frame's callback is outstanding";
    EXPECT_TRUE(gate.wantsFrames()) << "the loop keeps its pace while the callback is on its way";
    gate.frameDone();
    EXPECT_TRUE(gate.canDraw());
    gate.drawn();
    gate.redraw();  // a configure or a new scale
    EXPECT_TRUE(gate.canDraw()) << "a configure is answered without waiting for the callback";
    gate.drawn();
    EXPECT_FALSE(gate.canDraw());

    gate.missed();  // no callback by the next slot: hidden, or just late
    EXPECT_FALSE(gate.wantsFrames() || gate.canDraw());
    gate.frameDone();
    EXPECT_TRUE(gate.wantsFrames() && gate.canDraw());
    gate.missed();  // no free buffer at the slot
    EXPECT_FALSE(gate.wantsFrames());
    gate.bufferReleased();
    EXPECT_TRUE(gate.wantsFrames());
}

TEST(CompositorDamage, BandingMatchesACountPixelByPixel) {
    std::mt19937 random(3);
    platform::Banding banding;
    for (const auto& [width, height] : {std::pair{1, 1}, {7, 5}, {64, 48}, {300, 7}, {200, 150}}) {
        for (int round = 0; round < 20; ++round) {
            std::vector<DamageSpan> rects;
            Mask mask(width, height);
            const int count = std::uniform_int_distribution<int>(0, 40)(random);
            for (int i = 0; i < count; ++i) {
                const int x = std::uniform_int_distribution<int>(0, width - 1)(random);
                const int y = std::uniform_int_distribution<int>(0, height - 1)(random);
                const int w = std::uniform_int_distribution<int>(1, std::max(1, width / 3))(random);
                const int h = std::uniform_int_distribution<int>(1, std::max(1, height / 3))(random);
                const DamageSpan r{x, std::min(x + w, width), y, std::min(y + h, height)};
                rects.push_back(r);
                mask.set(PixelRect{r.x0, r.top, r.width(), r.height()});
            }
            const std::vector<DamageSpan>& banded = banding.of(rects);
            ASSERT_EQ(banded.size(), plainBandedCount(mask)) << width << "x" << height;
            Mask got(width, height);
            for (const DamageSpan& s : banded) got.set(PixelRect{s.x0, s.top, s.width(), s.height()});
            ASSERT_EQ(got.px, mask.px);
        }
    }
}

TEST(CompositorDamage, ReportsCoverEveryChangeInFewDisjointRectangles) {
    std::mt19937 random(7);
    const std::pair<int, int> sizes[] = {{1, 1}, {5, 3}, {64, 48}, {300, 7}, {640, 480}, {1366, 768}};
    for (const auto& [width, height] : sizes) {
        CompositorDamage planner;
        for (int frame = 0; frame < 12; ++frame) {
            // Scattered specks, with a large patch now and then.
            Region damage;
            const int pieces = std::uniform_int_distribution<int>(1, 70)(random);
            for (int i = 0; i < pieces; ++i) {
                const int side = i == 0 && frame % 3 == 0 ? std::max(width, height) / 3 : 2;
                damage.add(PixelRect{std::uniform_int_distribution<int>(-2, width)(random),
                                     std::uniform_int_distribution<int>(-2, height)(random), side, side});
            }
            damage.coalesce(32);
            const Region& reported = planner.report(damage, width, height);

            Mask wanted(width, height), got(width, height);
            for (const PixelRect& r : damage) wanted.set(r);
            size_t area = 0;
            for (const PixelRect& r : reported) {
                ASSERT_TRUE(platform::contains(PixelRect{0, 0, width, height}, r)) << width << "x" << height;
                got.set(r);
                area += static_cast<size_t>(r.area());
            }
            for (size_t i = 0; i < wanted.px.size(); ++i) ASSERT_LE(wanted.px[i], got.px[i]) << "an unreported change";
            ASSERT_EQ(area, static_cast<size_t>(std::count(got.px.begin(), got.px.end(), 1))) << "overlapping rectangles";
            EXPECT_LE(plainBandedCount(got), CompositorDamage::compositorRects) << width << "x" << height;
        }
    }
}

TEST(CompositorDamage, ChangesAreMergedOnlyWhereThatIsCheaperOrTheyAreTooMany) {
    CompositorDamage planner;
    const auto rects = [](const Region& r) { return r.rects(); };
    EXPECT_EQ(rects(planner.report(Region(PixelRect{10, 110, 4, 4}), 800, 600)),
              (std::vector<PixelRect>{{10, 110, 4, 4}}));
    // Specks on the same rows become one rectangle; far apart in both directions they stay apart.
    Region line(PixelRect{10, 210, 2, 2});
    line.add(PixelRect{60, 210, 2, 2});
    EXPECT_EQ(rects(planner.report(line, 800, 600)), (std::vector<PixelRect>{{10, 210, 52, 2}}));
    Region apart(PixelRect{10, 210, 2, 2});
    apart.add(PixelRect{400, 380, 2, 2});
    EXPECT_EQ(planner.report(apart, 800, 600).size(), 2u);
    // A tall stroke across a wide line: the three bands, not their bounding box.
    Region cross(PixelRect{300, 100, 4, 300});
    cross.add(PixelRect{0, 250, 300, 4});
    cross.add(PixelRect{304, 250, 300, 4});
    EXPECT_EQ(planner.report(cross, 800, 600).area(), 4 * 300 + 604 * 4 - 4 * 4);
    // Two overlapping squares: filling the gap in their shared rows changes
    // what joining that band with the ones above and below would cost.
    Region steps(PixelRect{390, 310, 22, 22});
    steps.add(PixelRect{510, 290, 52, 22});
    EXPECT_EQ(rects(planner.report(steps, 800, 600)),
              (std::vector<PixelRect>{{510, 290, 52, 20}, {390, 310, 172, 2}, {390, 312, 22, 20}}));
    EXPECT_EQ(planner.report(Region(PixelRect{0, 0, 800, 600}), 800, 600).area(), 800 * 600);
    EXPECT_EQ(rects(planner.report(Region(PixelRect{-5, 75, 50, 50}), 40, 80)),
              (std::vector<PixelRect>{{0, 75, 40, 5}}));

    // Fifty specks on rows of their own all over a large screen: few enough
    // rectangles, and still far from the whole screen.
    std::mt19937 random(11);
    Region specks;
    for (int i = 0; i < 50; ++i)
        specks.add(PixelRect{std::uniform_int_distribution<int>(0, 1900)(random), i * 21, 3, 3});
    const Region& few = planner.report(specks, 1920, 1080);
    EXPECT_LE(few.size(), CompositorDamage::compositorRects);
    EXPECT_LT(few.area(), 1920 * 1080 / 4);
}
