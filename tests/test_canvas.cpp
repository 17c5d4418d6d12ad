#include <gtest/gtest.h>

#include "QuillmoorMothwake/Canvas.h"

using quillmoor::Canvas;
using quillmoor::threshold;

TEST(Bayer, ThresholdsAndNegativeWrap) {
    EXPECT_FLOAT_EQ(threshold(0, 0), 0.03125f);
    EXPECT_FLOAT_EQ(threshold(3, 0), 0.65625f);
    EXPECT_FLOAT_EQ(threshold(0, 1), 0.78125f);
    EXPECT_FLOAT_EQ(threshold(5, 6), 0.71875f);
    EXPECT_FLOAT_EQ(threshold(1, 2), 0.71875f);
    EXPECT_FLOAT_EQ(threshold(-1, -1), 0.34375f);
    EXPECT_FLOAT_EQ(threshold(3, 3), 0.34375f);
    EXPECT_FLOAT_EQ(threshold(-4, -8), threshold(0, 0));
}

TEST(Bayer, EveryLevelIsUsedOnceAndHalfFillsHalfABlock) {
    std::array<int, 16> seen{};
    for (float t : quillmoor::bayer4()) {
        const int m = static_cast<int>(t * 16.0f - 0.5f + 0.001f);
        ASSERT_GE(m, 0);
        ASSERT_LT(m, 16);
        ++seen[static_cast<size_t>(m)];
        EXPECT_GT(t, 0.0f);
        EXPECT_LT(t, 1.0f);
    }
    for (int count : seen) EXPECT_EQ(count, 1);

    for (int bx : {0, 4, -4})
        for (int by : {0, 8, -12}) {
            int taken = 0;
            for (int y = by; y < by + 4; ++y)
                for (int x = bx; x < bx + 4; ++x) taken += 0.5f > threshold(x, y);
            EXPECT_EQ(taken, 8);
        }
}

TEST(Canvas, ClampsSizeAndStartsBlack) {
    Canvas tiny(0, -5);
    EXPECT_EQ(tiny.width, 1);
    EXPECT_EQ(tiny.height, 1);
    ASSERT_EQ(tiny.px.size(), 1u);
    EXPECT_EQ(tiny.px[0], 0xFF000000u);

    Canvas c(3, 2);
    ASSERT_EQ(c.px.size(), 6u);
    for (uint32_t p : c.px) EXPECT_EQ(p, 0xFF000000u);
}

TEST(Canvas, ImageIsAnImmutableCopyInRowMajorOrder) {
    Canvas c(3, 2);
    c.px[0] = 0xFF0000FFu;  // pure red, top left
    c.px[5] = 0xFFFF0000u;  // pure blue, bottom right
    const auto image = c.makeImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 3);
    EXPECT_EQ(image->height(), 2);
    EXPECT_EQ(image->bytesPerRow(), 12);
    const uint8_t* top = image->row(0);
    EXPECT_EQ(top[0], 255);  // red byte first
    EXPECT_EQ(top[1], 0);
    EXPECT_EQ(top[2], 0);
    EXPECT_EQ(image->pixel(2, 1), 0xFFFF0000u);

    c.px[0] = 0xFF00FF00u;
    EXPECT_EQ(image->pixel(0, 0), 0xFF0000FFu);
    // A later image never reuses a block an earlier one still shows.
    const auto second = c.makeImage();
    c.px[0] = 0xFF123456u;
    const auto third = c.makeImage();
    EXPECT_EQ(image->pixel(0, 0), 0xFF0000FFu);
    EXPECT_EQ(second->pixel(0, 0), 0xFF00FF00u);
    EXPECT_EQ(third->pixel(0, 0), 0xFF123456u);
}
