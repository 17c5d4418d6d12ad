#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

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

TEST(SoftwareGraphicsContext, BlueFirstFramebuffersHoldTheSamePicture) {
    const Image image = noiseImage(7, 5, 11);
    for (const Rect rect : {Rect{0, 0, 14, 10}, Rect{-1, 2, 21, 15}, Rect{0.5, 0, 10, 7}}) {
        Framebuffer rgbx(16, 12), bgrx(16, 12, platform::ChannelOrder::bgrx);
        SoftwareGraphicsContext a(rgbx), b(bgrx);
        for (SoftwareGraphicsContext* c : {&a, &b}) {
            c->setFillColor({0.5, 1});
            c->fillRect({0, 0, 16, 12});
            c->drawImage(image, rect);
            c->setFillColor({0, 0.25});
            c->fillRect({0, 1, 16, 0.5});
            c->flush();
        }
        for (size_t i = 0; i < rgbx.px.size(); ++i) ASSERT_EQ(platform::swapRedBlue(bgrx.px[i]), rgbx.px[i]) << i;
    }
}

TEST(SoftwareGraphicsContext, ImageRowZeroIsAtTheTopOfTheRect) {
    const Image image = *Image::create(1, 2, 4, std::vector<uint8_t>{255, 0, 0, 255, 0, 0, 255, 255});  // red over blue
    Framebuffer fb(2, 4);
    SoftwareGraphicsContext(fb).drawImage(image, {0, 0, 2, 4});
    const uint32_t red = 0xFF0000FFu, blue = 0xFFFF0000u;
    EXPECT_EQ(fb.px, (std::vector<uint32_t>{red, red, red, red, blue, blue, blue, blue}));
}

// The plain version of a fill: every pixel blended by the area it shares with the rect.
void plainFill(Framebuffer& fb, Rect rect, double white, double alpha) {
    const uint32_t g = static_cast<uint32_t>(std::lround(white * 255));
    for (int r = 0; r < fb.height; ++r)
        for (int c = 0; c < fb.width; ++c) {
            // Pixel (c, r) covers view x [c, c + 1) and view y [H - r - 1, H - r).
            const double y0 = fb.height - r - 1.0;
            const double cx = std::max(0.0, std::min(c + 1.0, rect.x + rect.width) - std::max<double>(c, rect.x));
            const double cy = std::max(0.0, std::min(y0 + 1, rect.y + rect.height) - std::max(y0, rect.y));
            const uint32_t k = static_cast<uint32_t>(std::lround(alpha * cx * cy * 256));
            if (k == 0) continue;
            uint32_t& p = fb.px[static_cast<size_t>(r) * fb.width + c];
            uint32_t out = p & 0xFF000000u;
            for (int shift = 0; shift < 24; shift += 8) out |= ((((p >> shift) & 0xFF) * (256 - k) + g * k + 128) >> 8) << shift;
            p = out;
        }
}

TEST(SoftwareGraphicsContext, FillsMatchThePlainCoverageBlend) {
    quillmoor::RNG rng(3);
    for (int trial = 0; trial < 300; ++trial) {
        const int w = 1 + static_cast<int>(rng.integer(24)), h = 1 + static_cast<int>(rng.integer(24));
        const auto coordinate = [&](int extent) { return static_cast<double>(rng.integer(-4 * 4, (extent + 4) * 4)) / 4.0; };
        const Rect rect{coordinate(w), coordinate(h), static_cast<double>(rng.integer(0, 40)) / 4.0,
                        static_cast<double>(rng.integer(0, 40)) / 4.0};
        const double white = static_cast<double>(rng.integer(0, 4)) / 4.0, alpha = static_cast<double>(rng.integer(0, 4)) / 4.0;
        Framebuffer fast(w, h), plain(w, h);
        for (size_t i = 0; i < fast.px.size(); ++i) fast.px[i] = plain.px[i] = 0xFF000000u | static_cast<uint32_t>(rng.next() & 0xFFFFFF);
        SoftwareGraphicsContext context(fast);
        context.setFillColor({white, alpha});
        context.fillRect(rect);
        context.flush();
        plainFill(plain, rect, white, alpha);
        ASSERT_EQ(fast.px, plain.px) << "rect " << rect.x << "," << rect.y << " " << rect.width << "x" << rect.height << " on "
                                     << w << "x" << h << " white " << white << " alpha " << alpha;
    }
}

// An opaque fill that an image covers may be skipped, but only where it is covered.
TEST(SoftwareGraphicsContext, OpaqueFillShowsWhereNoImageCoversIt) {
    const Image image = noiseImage(2, 2, 1);
    const auto drawn = [&](platform::Grey fill, std::optional<Rect> imageRect) {
        Framebuffer fb(4, 4);
        std::fill(fb.px.begin(), fb.px.end(), 0xFF123456u);
        SoftwareGraphicsContext context(fb);
        context.setFillColor(fill);
        context.fillRect({0, 0, 4, 4});
        if (imageRect) context.drawImage(image, *imageRect);
        context.flush();
        return fb;
    };
    Framebuffer covered(4, 4);
    platform::drawImageReference(covered, image, {0, 0, 4, 4});
    EXPECT_EQ(drawn({1, 1}, Rect{0, 0, 4, 4}).px, covered.px);
    const Framebuffer partly = drawn({1, 1}, Rect{0, 0, 2, 2});  // the lower-left quarter only
    EXPECT_EQ(partly.at(3, 0), 0xFFFFFFFFu);
    EXPECT_EQ(partly.at(0, 3), image.pixel(0, 1));
    EXPECT_EQ(drawn({0, 1}, std::nullopt).px, std::vector<uint32_t>(16, 0xFF000000u));
}

TEST(SoftwareGraphicsContext, HugeWholeScalesAreSampledWithoutOverflow) {
    const Image image = noiseImage(2, 2, 4);
    Framebuffer fb(4, 4);
    SoftwareGraphicsContext(fb).drawImage(image, {0, 0, 2e10, 2e10});  // blocks of 1e10 pixels
    for (uint32_t p : fb.px) EXPECT_EQ(p, image.pixel(0, 1));
}
