#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "QuillmoorMothwake/GlimmerfoldScene.h"

using quillmoor::Canvas;
using quillmoor::GlimmerfoldScene;

// Counts every allocation in this test program, so that a test can show that a
// stretch of scene time allocates nothing.
namespace {
size_t allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// The sanitizer build runs the full length; elsewhere a short run keeps the suite quick.
int framesToRun() {
    const char* full = std::getenv("QUILLMOOR_SANITIZER_SUITE");
    return full && std::strcmp(full, "1") == 0 ? 2000 : 150;
}

std::ptrdiff_t layerSize(const GlimmerfoldScene& s, bool front) {
    return std::count_if(s.buildings.begin(), s.buildings.end(), [&](const auto& b) { return b.front == front; });
}

}  // namespace

// Odd and tiny canvases with a pan on every frame: every write stays in its
// buffer, and the derived state keeps up with the buildings.
TEST(SkylineSanitizerSuite, PansEveryFrameOnOddCanvases) {
    const int frames = framesToRun();
    for (const auto& [w, h] : {std::pair{1, 1}, {2, 1}, {1, 2}, {7, 3}, {33, 17}, {320, 180}, {961, 541}, {1707, 480}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        GlimmerfoldScene s(w, h, 0x5EED0000u + static_cast<uint64_t>(w * 7 + h), 1);
        Canvas canvas(w, h);
        const std::ptrdiff_t back = layerSize(s, false), front = layerSize(s, true);
        for (int f = 0; f < frames; ++f) {
            s.step();
            s.draw(canvas);
        }
        EXPECT_EQ(s.frame, frames);
        ASSERT_EQ(s.buf.size(), static_cast<size_t>(w) * h);
        EXPECT_EQ(canvas.px.size(), static_cast<size_t>(w) * h);

        int top = h;
        std::vector<int> visible(s.buildings.size(), 0);
        for (size_t p = 0; p < s.owner.size(); ++p) {
            const int e = s.owner[p];
            ASSERT_GE(e, -1);
            ASSERT_LT(e, static_cast<int>(s.buildings.size()));
            if (e < 0) continue;
            ++visible[static_cast<size_t>(e)];
            top = std::min(top, static_cast<int>(p / static_cast<size_t>(w)));
        }
        EXPECT_EQ(s.skylineTop, top);
        for (size_t i = 0; i < visible.size(); ++i) EXPECT_EQ(s.buildings[i].visible, visible[i]);
        EXPECT_LE(s.spires.size(), 3u);
        EXPECT_EQ(layerSize(s, false), back);
        EXPECT_EQ(layerSize(s, true), front);
    }
}

TEST(SkylineSanitizerSuite, FramesAndPansAllocateNothing) {
    GlimmerfoldScene s(480, 270, 77, 1);
    Canvas canvas(480, 270);
    const size_t before = allocations;
    for (int f = 0; f < 1000; ++f) {
        s.step();
        s.draw(canvas);
    }
    EXPECT_EQ(allocations, before);
}
