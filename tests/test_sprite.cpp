#include <gtest/gtest.h>

#include <numbers>

#include "QuillmoorMothwake/Sprite.h"

using quillmoor::Sprite;

namespace {

int setCells(const Sprite& s) {
    int n = 0;
    for (uint8_t b : s.bits) n += b;
    return n;
}

}  // namespace

TEST(Sprite, SizeIsRoundedUpAndNeverEmpty) {
    const Sprite thin(10, 0.2, 1);
    EXPECT_EQ(thin.width, 10);
    EXPECT_EQ(thin.height, 1);

    const Sprite scaled(50, 26, 1.5);
    EXPECT_EQ(scaled.width, 75);
    EXPECT_EQ(scaled.height, 39);
    EXPECT_EQ(scaled.bits.size(), 75u * 39u);
    EXPECT_EQ(setCells(scaled), 0);

    const Sprite degenerate(0, -4, 1);
    EXPECT_EQ(degenerate.width, 1);
    EXPECT_EQ(degenerate.height, 1);
    EXPECT_EQ(degenerate.bits.size(), 1u);
}

TEST(Sprite, EllipseTestsCellCentresWithBoundaryIncluded) {
    Sprite unit(4, 4, 1);
    unit.ellipse(2, 2, 1, 1);  // the four centre cells lie at distance sqrt(0.5)
    EXPECT_EQ(setCells(unit), 4);
    for (int row : {1, 2})
        for (int column : {1, 2}) EXPECT_TRUE(unit.at(column, row));

    Sprite small(4, 4, 1);
    small.ellipse(2, 2, 0.5, 0.5);
    small.ellipse(2, 2, 0, 3);  // a zero radius draws nothing
    EXPECT_EQ(setCells(small), 0);

    // Figure y grows upward: an ellipse low in figure units lands in the bottom rows.
    Sprite low(4, 4, 1);
    low.ellipse(0.5, 0.5, 0.1, 0.1);
    EXPECT_TRUE(low.at(0, 3));
    EXPECT_EQ(setCells(low), 1);
}

TEST(Sprite, LimbsAreAtLeastAboutOnePixelThick) {
    // Thickness 0.2 at scale 1 is widened to a radius of 0.55: one row only.
    Sprite thin(10, 5, 1);
    thin.limb(1.5, 2.5, 7.5, 2.5, 0.2);
    for (int row = 0; row < 5; ++row)
        for (int column = 0; column < 10; ++column)
            EXPECT_EQ(thin.at(column, row), row == 2 && column >= 1 && column <= 7) << column << "," << row;

    // The floor is in pixels, so it still gives one row at a larger scale.
    Sprite fine(10, 5, 4);
    fine.limb(0.125, 0.625, 2.375, 0.625, 0.2);
    for (int row = 0; row < fine.height; ++row) {
        int inRow = 0;
        for (int column = 0; column < fine.width; ++column) inRow += fine.at(column, row);
        EXPECT_EQ(inRow, row == 17 ? 10 : 0) << row;
    }

    // A thicker limb than the floor keeps its own radius: three rows.
    Sprite thick(10, 5, 1);
    thick.limb(1.5, 2.5, 7.5, 2.5, 2);
    EXPECT_TRUE(thick.at(4, 1) && thick.at(4, 2) && thick.at(4, 3));
    EXPECT_FALSE(thick.at(4, 0) || thick.at(4, 4));
}

TEST(Sprite, ZeroLengthLimbIsADisc) {
    for (double thickness : {4.0, 0.1}) {
        Sprite limb(10, 10, 1);
        limb.limb(5.5, 5.5, 5.5, 5.5, thickness);
        const double r = std::max(thickness / 2, 0.55);
        Sprite disc(10, 10, 1);
        disc.ellipse(5.5, 5.5, r, r);
        EXPECT_EQ(setCells(limb), thickness > 1 ? 13 : 1);
        EXPECT_EQ(limb.bits, disc.bits) << thickness;
    }
}

TEST(Sprite, LegFootFollowsTheWalkCycle) {
    constexpr double pi = std::numbers::pi;
    struct Pose {
        double theta, footX, footY;
    };
    // Raised at theta 0, forward on the ground at pi/2, under the hip at pi, behind at 3pi/2.
    for (const Pose& pose : {Pose{0, 10, 3}, Pose{pi / 2, 14, 0}, Pose{pi, 10, 0}, Pose{3 * pi / 2, 6, 0}}) {
        Sprite leg(20, 20, 1);
        leg.leg(10, 15, pose.theta, 4, 3, 1);
        Sprite limb(20, 20, 1);
        limb.limb(10, 15, pose.footX, pose.footY, 1);
        EXPECT_EQ(leg.bits, limb.bits) << pose.theta;
    }
}

TEST(Sprite, ShapesOnlyAddSoOrderDoesNotMatter) {
    Sprite forward(30, 20, 1.3);
    forward.ellipse(12, 9, 7, 4);
    forward.limb(3, 2, 25, 15, 1.5);
    forward.leg(20, 8, 0.7, 3, 2, 2);

    Sprite backward(30, 20, 1.3);
    backward.leg(20, 8, 0.7, 3, 2, 2);
    backward.limb(3, 2, 25, 15, 1.5);
    backward.ellipse(12, 9, 7, 4);
    EXPECT_EQ(forward.bits, backward.bits);

    // A copy owns its cells: drawing on it leaves the original alone.
    Sprite copy = forward;
    copy.ellipse(15, 10, 20, 20);
    EXPECT_EQ(forward.bits, backward.bits);
    EXPECT_NE(copy.bits, forward.bits);
}
