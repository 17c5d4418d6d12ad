#include <gtest/gtest.h>

#include "QuillmoorMothwake/RNG.h"
#include "platform/SoftwareGraphicsContext.h"

using platform::Framebuffer;
using platform::Image;
using platform::Rect;
using platform::SoftwareGraphicsContext;

namespace {

Image noiseImage(int w, int h, uint64_t seed) {
    quillmoor::RNG rng(seed);
    std::vector<uint8_t> bytes(static_cast<size_t>(w) * h * 4);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng.integer(256));
    return *Image::create(w, h, w * 4, std::move(bytes));
}

}  // namespace

TEST(SoftwareGraphicsContext, ScaledDrawMatchesThePlainSampler) {
    quillmoor::RNG rng(99);
    for (int trial = 0; trial < 120; ++trial) {
        const int iw = 1 + static_cast<int>(rng.integer(40)), ih = 1 + static_cast<int>(rng.integer(30));
        const int scale = 1 + static_cast<int>(rng.integer(4));
        const int fw = 1 + static_cast<int>(rng.integer(140)), fh = 1 + static_cast<int>(rng.integer(100));
        const double x = static_cast<double>(rng.integer(-6, 6)), y = static_cast<double>(rng.integer(-6, 6));
        const Image image = noiseImage(iw, ih, static_cast<uint64_t>(trial));
        const Rect rect{x, y, double(iw * scale), double(ih * scale)};

        Framebuffer fast(fw, fh), plain(fw, fh);
        SoftwareGraphicsContext(fast).drawImage(image, rect);
        platform::drawImageReference(plain, image, rect);
        ASSERT_EQ(fast.px, plain.px) << "image " << iw << "x" << ih << " scale " << scale << " on " << fw << "x" << fh
                                     << " at " << x << "," << y;
    }
}

TEST(SoftwareGraphicsContext, ImageRowZeroIsAtTheTopOfTheRect) {
    std::vector<uint8_t> bytes = {255, 0, 0, 255,  // row 0: red
                                  0, 0, 255, 255}; // row 1: blue
    const Image image = *Image::create(1, 2, 4, bytes);
    Framebuffer fb(2, 4);
    SoftwareGraphicsContext(fb).drawImage(image, {0, 0, 2, 4});
    EXPECT_EQ(fb.at(0, 0), 0xFF0000FFu);
    EXPECT_EQ(fb.at(1, 1), 0xFF0000FFu);
    EXPECT_EQ(fb.at(0, 2), 0xFFFF0000u);
    EXPECT_EQ(fb.at(1, 3), 0xFFFF0000u);
}

TEST(SoftwareGraphicsContext, FillsBlendByCoverageAndClip) {
    Framebuffer fb(4, 4);
    std::fill(fb.px.begin(), fb.px.end(), 0xFFC8C8C8u);
    SoftwareGraphicsContext context(fb);
    context.setFillColor({0, 0.5});
    // Half a row tall, from x = -1 (clipped) to 2.5: column 2 is half covered.
    context.fillRect({-1, 0, 3.5, 0.5});
    EXPECT_EQ(fb.at(0, 3) & 0xFF, (200u * 192 + 128) >> 8);  // alpha 0.5 x coverage 0.5
    EXPECT_EQ(fb.at(2, 3) & 0xFF, (200u * 224 + 128) >> 8);  // and half the column
    EXPECT_EQ(fb.at(3, 3), 0xFFC8C8C8u);
    EXPECT_EQ(fb.at(0, 2), 0xFFC8C8C8u);
    EXPECT_EQ(fb.at(0, 3) >> 24, 0xFFu);  // stays opaque

    context.setFillColor({1, 1});
    context.fillRect({0, 3, 4, 10});  // reaches past the top
    EXPECT_EQ(fb.at(3, 0), 0xFFFFFFFFu);
    EXPECT_EQ(fb.at(3, 1), 0xFFC8C8C8u);

    const auto before = fb.px;
    context.fillRect({0, 0, 0, 4});
    context.fillRect({10, 10, 4, 4});
    EXPECT_EQ(fb.px, before);
}
