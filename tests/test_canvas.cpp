#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "QuillmoorMothwake/Canvas.h"
#include "QuillmoorMothwake/RNG.h"

using quillmoor::Canvas;
using quillmoor::threshold;

TEST(Bayer, SixteenLevelsOnceEachRepeatingInBothDirections) {
    EXPECT_FLOAT_EQ(threshold(0, 0), 0.03125f);
    EXPECT_FLOAT_EQ(threshold(3, 0), 0.65625f);
    EXPECT_FLOAT_EQ(threshold(0, 1), 0.78125f);
    EXPECT_FLOAT_EQ(threshold(1, 2), 0.71875f);
    EXPECT_FLOAT_EQ(threshold(3, 3), 0.34375f);
    for (int y = -8; y < 8; ++y)
        for (int x = -8; x < 8; ++x) EXPECT_EQ(threshold(x, y), threshold(x & 3, y & 3)) << x << "," << y;
    std::array<int, 16> seen{};
    for (const float t : quillmoor::bayer4()) ++seen.at(static_cast<size_t>(t * 16));  // (level + 0.5) / 16
    EXPECT_EQ(seen, (std::array<int, 16>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
}

TEST(Canvas, ClampsSizeAndStartsBlack) {
    for (const auto& [w, h, cw, ch] : {std::array{0, -5, 1, 1}, {3, 2, 3, 2}}) {
        const Canvas c(w, h);
        EXPECT_EQ(std::tie(c.width, c.height), std::tie(cw, ch));
        EXPECT_EQ(c.px, std::vector<uint32_t>(static_cast<size_t>(cw * ch), 0xFF000000u));
    }
}

// Kept images staying as they were is checked in ImagesListExactlyWhatChangedSinceTheLastOne.
TEST(Canvas, ImageIsInRowMajorOrderRedFirst) {
    Canvas c(3, 2);
    c.px[0] = 0xFF0000FFu;  // pure red, top left
    c.px[5] = 0xFFFF0000u;  // pure blue, bottom right
    const auto image = c.makeImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(std::tuple(image->width(), image->height(), image->bytesPerRow()), std::tuple(3, 2, 12));
    EXPECT_EQ(std::vector<uint8_t>(image->row(0), image->row(0) + 3), (std::vector<uint8_t>{255, 0, 0}));  // red byte first
    EXPECT_EQ(image->pixel(2, 1), 0xFFFF0000u);
}

namespace {

// Changes a few pixels, a run along a row, or everything.
void scribble(Canvas& c, quillmoor::RNG& rng) {
    const auto at = [&](int64_t i) -> uint32_t& { return c.px[static_cast<std::size_t>(i)]; };
    switch (rng.integer(6)) {
    case 0: break;
    case 1:
    case 2:
        for (int64_t k = rng.integer(1, 6); k > 0; --k) at(rng.integer(static_cast<int64_t>(c.px.size()))) ^= 0x00010203u;
        break;
    case 3: {
        const int64_t start = rng.integer(static_cast<int64_t>(c.px.size()));
        for (int64_t i = start; i < std::min<int64_t>(start + rng.integer(1, 70), static_cast<int64_t>(c.px.size())); i += rng.integer(1, 3))
            at(i) ^= 0x00808080u;
        break;
    }
    case 4: at(0) ^= 1, at(static_cast<int64_t>(c.px.size()) - 1) ^= 1; break;
    default:
        for (uint32_t& p : c.px) p += 0x00010101u;
    }
}

// The image holds the canvas's pixels, and its record lists exactly the
// pixels that differ from `before`: each in a span, every span starting and
// ending on one, spans in order without overlap.
void expectExactChanges(const Canvas& c, const platform::Image& before, const platform::Image& image) {
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            ASSERT_EQ(image.pixel(x, y), c.px[static_cast<std::size_t>(y) * c.width + x]) << x << "," << y;
    const platform::ImageChanges* changes = image.changesSince(before);
    ASSERT_NE(changes, nullptr);
    ASSERT_EQ(changes->rowStart.size(), static_cast<std::size_t>(c.height) + 1);
    for (int y = 0; y < c.height; ++y) {
        std::vector<uint8_t> listed(static_cast<std::size_t>(c.width), 0);
        int end = 0;
        for (uint32_t k = changes->rowStart[y]; k < changes->rowStart[y + 1]; ++k) {
            const auto span = changes->spans[k];
            ASSERT_TRUE(span.x0 >= end && span.x0 < span.x1 && span.x1 <= c.width) << "row " << y;
            ASSERT_NE(before.pixel(span.x0, y), image.pixel(span.x0, y)) << "stale start, row " << y;
            ASSERT_NE(before.pixel(span.x1 - 1, y), image.pixel(span.x1 - 1, y)) << "stale end, row " << y;
            std::fill(listed.begin() + span.x0, listed.begin() + span.x1, 1);
            end = span.x1;
        }
        for (int x = 0; x < c.width; ++x)
            ASSERT_TRUE(listed[x] || before.pixel(x, y) == image.pixel(x, y)) << "unlisted change at " << x << "," << y;
    }
}

}  // namespace

TEST(Canvas, ImagesListExactlyWhatChangedSinceTheLastOne) {
    quillmoor::RNG rng(31);
    for (const auto& [w, h] : {std::pair{1, 1}, std::pair{5, 3}, std::pair{16, 4}, std::pair{37, 23}, std::pair{130, 41}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        Canvas c(w, h), other(h + 3, w + 1);
        for (uint32_t& p : c.px) p = 0xFF000000u | static_cast<uint32_t>(rng.next() & 0xFFFFFF);
        std::optional<platform::Image> previous = c.makeImage(), otherImage = other.makeImage();
        ASSERT_EQ(previous->changesSince(*previous), nullptr);
        // Someone else keeps some images for a while, with a copy of what they showed.
        std::vector<std::tuple<platform::Image, std::vector<uint8_t>, int>> kept;
        for (int frame = 0; frame < 40; ++frame) {
            scribble(c, rng);
            // Sometimes nobody holds the last image (as when drawn outside a frame).
            const bool drop = rng.integer(5) == 0;
            const std::optional<platform::Image> last = drop ? std::nullopt : previous;
            if (drop) previous.reset();
            std::optional<platform::Image> image = c.makeImage();
            ASSERT_TRUE(image);
            if (last) {
                ASSERT_NO_FATAL_FAILURE(expectExactChanges(c, *last, *image));
            }
            // No record across a gap or from another canvas's image.
            EXPECT_EQ(image->changesSince(*otherImage), nullptr);
            for (const auto& [held, bytes, when] : kept)
                EXPECT_TRUE(when >= frame - 1 || image->changesSince(held) == nullptr);
            if (rng.integer(3) == 0) {
                otherImage = other.makeImage();
                other.px[0] ^= 0x00FFFFFFu;
            }

            if (rng.integer(4) == 0)
                kept.emplace_back(*image, std::vector<uint8_t>(image->row(0), image->row(0) + std::size_t{4} * w * h), frame);
            if (!kept.empty() && rng.integer(3) == 0) kept.erase(kept.begin());
            for (const auto& [held, bytes, when] : kept) ASSERT_TRUE(std::equal(bytes.begin(), bytes.end(), held.row(0))) << "a kept image changed";
            previous = std::move(image);
        }
    }
}

TEST(Canvas, ImagesRefuseChangeRecordsThatDoNotFitTheirRows) {
    const auto bytes = std::make_shared<const std::vector<uint8_t>>(std::size_t{4} * 3 * 2);
    auto changes = std::make_shared<platform::ImageChanges>();
    changes->rowStart = {0, 1, 1};
    changes->spans = {{0, 2}};
    EXPECT_TRUE(platform::Image::create(3, 2, 12, bytes, 1, changes));
    EXPECT_FALSE(platform::Image::create(3, 2, 12, bytes, 0, changes));  // not numbered
    EXPECT_FALSE(platform::Image::create(3, 3, 12, std::make_shared<const std::vector<uint8_t>>(36), 1, changes));
    changes->rowStart = {0, 2, 1};
    EXPECT_FALSE(platform::Image::create(3, 2, 12, bytes, 1, changes));
    changes->rowStart = {0, 1, 2};
    EXPECT_FALSE(platform::Image::create(3, 2, 12, bytes, 1, changes));
}
