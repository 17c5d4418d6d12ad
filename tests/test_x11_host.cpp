#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "frontends/x11/X11Pixels.h"
#include "platform/FpsOverlay.h"
#include "platform/FrameClock.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

// Red 0x12, green 0x34, blue 0x56 in the framebuffer's 0xXXBBGGRR.
constexpr uint32_t sample = 0xFF563412u;

std::vector<uint8_t> written(const Framebuffer& frame, const PixelLayout& layout, int bytesPerRow) {
    std::vector<uint8_t> image(static_cast<size_t>(bytesPerRow) * frame.height, 0xEE);
    writeFrame(frame, layout, image.data(), bytesPerRow);
    return image;
}

}  // namespace

TEST(X11Pixels, WritesEveryCommonLayoutByteForByte) {
    Framebuffer frame(2, 2);
    frame.px = {sample, 0xFF000000u, 0xFFFFFFFFu, sample};
    struct Case {
        PixelLayout layout;
        int bytes;
        std::vector<uint8_t> samplePixel;
    };
    const Case cases[] = {
        {{0xFF0000, 0xFF00, 0xFF, 32, false}, 4, {0x56, 0x34, 0x12, 0x00}},  // BGRX, the usual
        {{0xFF, 0xFF00, 0xFF0000, 32, false}, 4, {0x12, 0x34, 0x56, 0x00}},  // RGBX
        {{0xFF0000, 0xFF00, 0xFF, 32, true}, 4, {0x00, 0x12, 0x34, 0x56}},   // XRGB, big-endian server
        {{0xFF0000, 0xFF00, 0xFF, 24, false}, 3, {0x56, 0x34, 0x12}},        // packed 24 bits
        {{0xF800, 0x07E0, 0x001F, 16, false}, 2, {0xAA, 0x11}},              // 5-6-5: 00010 001101 01010
    };
    for (const Case& c : cases) {
        const int bytesPerRow = 2 * c.bytes + 3;  // padded rows
        const auto image = written(frame, c.layout, bytesPerRow);
        const auto at = [&](int x, int y) { return image.data() + y * bytesPerRow + x * c.bytes; };
        EXPECT_EQ(0, std::memcmp(at(0, 0), c.samplePixel.data(), c.bytes)) << c.layout.bitsPerPixel;
        EXPECT_EQ(0, std::memcmp(at(1, 1), c.samplePixel.data(), c.bytes)) << c.layout.bitsPerPixel;
        for (int i = 0; i < c.bytes; ++i) EXPECT_EQ(at(1, 0)[i], 0) << "black";
        EXPECT_EQ(at(0, 1)[0] | at(0, 1)[1], 0xFF) << "white";
        EXPECT_EQ(image[2 * c.bytes], 0xEE) << "row padding must stay untouched";
    }
}

TEST(X11Pixels, FramesKeptInServerOrderGiveTheSameColours) {
    Framebuffer canonical(3, 1);
    canonical.px = {sample, 0xFF000000u, 0xFF0A0B0Cu};
    Framebuffer swapped(3, 1, ChannelOrder::bgrx);
    for (size_t i = 0; i < swapped.px.size(); ++i) swapped.px[i] = swapRedBlue(canonical.px[i]);

    const PixelLayout bgrx{0xFF0000, 0xFF00, 0xFF, 32, false}, rgbx{0xFF, 0xFF00, 0xFF0000, 32, false};
    EXPECT_EQ(preferredOrder(bgrx), ChannelOrder::bgrx);
    EXPECT_EQ(preferredOrder(rgbx), ChannelOrder::rgbx);
    for (const PixelLayout& layout : {bgrx, rgbx}) {
        const auto expected = written(canonical, layout, 12), actual = written(swapped, layout, 12);
        for (size_t i = 0; i < expected.size(); ++i)
            if (i % 4 != 3) {  // the fourth byte is unused
                EXPECT_EQ(actual[i], expected[i]) << "byte " << i;
            }
    }
}

TEST(X11Pixels, EncodesAndRejectsMasks) {
    const PixelLayout bgrx{0xFF0000, 0xFF00, 0xFF, 32, false};
    EXPECT_EQ(encodePixel(sample, bgrx), 0x123456u);
    const PixelLayout deep{0x3FF00000, 0xFFC00, 0x3FF, 32, false};  // 10 bits a channel
    EXPECT_EQ(encodePixel(0xFFFFFFFFu, deep), 0x3FCFF3FCu);
    EXPECT_TRUE(isSupported(bgrx));
    EXPECT_FALSE(isSupported({0xFF0000, 0xFF00, 0xFF, 8, false}));
    EXPECT_FALSE(isSupported({0xF0F000, 0xFF00, 0xFF, 32, false}));
    EXPECT_FALSE(isSupported({0, 0xFF00, 0xFF, 32, false}));
}

TEST(FrameClock, KeepsTheGridAndDropsLateFrames) {
    const FrameClock::Clock::time_point t0{};
    FrameClock clock(33ms, t0);
    EXPECT_TRUE(clock.due(t0));
    clock.frameDone(t0 + 5ms);  // on time: next one interval after the deadline
    EXPECT_EQ(clock.deadline(), t0 + 33ms);
    EXPECT_FALSE(clock.due(t0 + 32ms));
    clock.frameDone(t0 + 140ms);  // very late: the slots at 66, 99 and 132 ms are dropped
    EXPECT_EQ(clock.deadline(), t0 + 165ms);
    EXPECT_FALSE(clock.due(t0 + 141ms));
    clock.frameDone(t0 + 170ms);  // on time again: back on the grid
    EXPECT_EQ(clock.deadline(), t0 + 198ms);
    clock.restart(t0 + 1000ms);
    EXPECT_TRUE(clock.due(t0 + 1000ms));
}

TEST(FrameStats, ReportsRateAndFrameTimeEachSecond) {
    FrameStats stats;
    const FrameStats::Clock::time_point t0{};
    EXPECT_EQ(stats.text(), "-- fps");
    for (int i = 0; i < 30; ++i) {
        const auto start = t0 + i * 34ms;
        stats.frameDone(start, start + 4ms);
    }
    EXPECT_EQ(stats.text(), "-- fps");  // 990 ms so far
    stats.frameDone(t0 + 1020ms, t0 + 1026ms);
    EXPECT_EQ(stats.text(), "30.2 fps 4.1 ms");
}
