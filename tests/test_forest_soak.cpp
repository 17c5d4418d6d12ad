#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "QuillmoorMothwake/QuillmoorScene.h"

using quillmoor::Canvas;
using quillmoor::QuillmoorScene;

namespace {
std::atomic<long> allocations{0};
}  // namespace

// Counts every allocation of this test program.
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(ForestSoak, FramesDoNotAllocate) {
    QuillmoorScene scene(960, 540, 404, 100000);
    Canvas canvas(960, 540);
    for (int i = 0; i < 300; ++i) {
        scene.step();
        scene.draw(canvas);
    }
    const long before = allocations.load();
    for (int i = 0; i < 600; ++i) {
        scene.step();
        scene.draw(canvas);
    }
    EXPECT_EQ(allocations.load() - before, 0);
}

// The world's standing rules: every buffer keeps its size, owners name real
// trees, only claimed pixels are painted, and tents stay clear of the forest.
void expectWorldInvariants(const QuillmoorScene& scene) {
    const std::size_t cells = static_cast<std::size_t>(scene.ww) * static_cast<std::size_t>(scene.h);
    ASSERT_EQ(scene.base.size(), cells);
    ASSERT_EQ(scene.buf.size(), cells);
    ASSERT_EQ(scene.skyMask.size(), cells);
    ASSERT_EQ(scene.tentMask.size(), cells);
    ASSERT_EQ(scene.painted.size(), cells);
    ASSERT_EQ(scene.owner.size(), cells);
    ASSERT_EQ(scene.stick.size(), cells);
    const auto treeCount = static_cast<int32_t>(scene.trees.size());
    for (std::size_t p = 0; p < cells; ++p) {
        ASSERT_GE(scene.owner[p], -1) << p;
        ASSERT_LT(scene.owner[p], treeCount) << p;
        if (scene.painted[p]) {
            ASSERT_GE(scene.owner[p], 0) << p;
        }
        if (scene.tentMask[p]) {
            ASSERT_EQ(scene.owner[p], -1) << p;
            ASSERT_FALSE(scene.skyMask[p] || scene.painted[p] || scene.stick[p]) << p;
        }
    }
    for (const auto& l : scene.lit) ASSERT_GE(l.x, 0);
    const int margin = static_cast<int>(scene.s * 160);
    for (const auto& camp : scene.camps) ASSERT_GE(camp.centerX + 2 * margin, 0);
}

TEST(ForestSoak, InvariantsHoldWhileTheWorldScrollsEveryFrame) {
    for (const auto& [w, h] : {std::pair{960, 540}, std::pair{320, 180}, std::pair{97, 41}, std::pair{5, 3}}) {
        QuillmoorScene scene(w, h, 0xC0FFEEu + static_cast<uint64_t>(w), 1);
        Canvas canvas(w, h);
        expectWorldInvariants(scene);
        const int frames = w >= 960 ? 2500 : 4000;
        for (int i = 1; i <= frames; ++i) {
            scene.step();
            if (i % 50 == 0) scene.draw(canvas);
            if (i % 500 == 0) {
                SCOPED_TRACE(testing::Message() << w << "x" << h << " frame " << i);
                expectWorldInvariants(scene);
                if (HasFatalFailure()) return;
            }
        }
        EXPECT_GT(scene.camps.size(), 0u);
    }
}

// Run under AddressSanitizer and UndefinedBehaviorSanitizer by the sanitizer
// preset (which sets QUILLMOOR_SANITIZER_SUITE=1 for the full length); the
// ordinary suite runs a short version.
TEST(ForestSoak, SanitizerSuite) {
    const char* full = std::getenv("QUILLMOOR_SANITIZER_SUITE");
    const int frames = full && std::strcmp(full, "1") == 0 ? 2000 : 200;
    const std::pair<int, int> sizes[] = {{1, 1}, {2, 1}, {1, 2}, {7, 3}, {33, 17}, {320, 180}, {961, 541}, {1707, 480}};
    for (const auto& [w, h] : sizes)
        for (const int64_t panFrames : {int64_t{1}, int64_t{1800}}) {
            QuillmoorScene scene(w, h, 0x5EED0000u + static_cast<uint64_t>(w * 31 + h), panFrames);
            Canvas canvas(w, h);
            for (int i = 0; i < frames; ++i) {
                scene.step();
                scene.draw(canvas);
            }
            EXPECT_EQ(scene.buf.size(), static_cast<std::size_t>(scene.ww) * static_cast<std::size_t>(scene.h));
        }
}

}  // namespace
