#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "QuillmoorMothwake/QuillmoorScene.h"
#include "apps/HeadlessRenderer.h"

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
// Kept out of line: inlined next to the operator new above, GCC takes the
// free for a mismatch with new and warns.
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(ForestSoak, FramesDoNotAllocate) {
    QuillmoorScene scene(960, 540, 404, 100000);
    Canvas canvas(960, 540);
    long before = 0;
    for (int i = 0; i < 900; ++i) {
        if (i == 300) before = allocations.load();  // after the spark list has found its size
        scene.step();
        scene.draw(canvas);
    }
    EXPECT_EQ(allocations.load() - before, 0);
}

// The world's standing rules: every buffer keeps its size, owners name real
// trees, only claimed pixels are painted, and tents stay clear of the forest.
void expectWorldInvariants(const QuillmoorScene& scene) {
    const std::size_t cells = static_cast<std::size_t>(scene.ww) * static_cast<std::size_t>(scene.h);
    for (const std::size_t n : {scene.base.size(), scene.buf.size(), scene.skyMask.size(), scene.tentMask.size(), scene.painted.size(), scene.stick.size()})
        ASSERT_EQ(n, cells);
    ASSERT_EQ(scene.owner.size(), cells);
    for (std::size_t p = 0; p < cells; ++p)
        ASSERT_TRUE(scene.owner[p] >= -1 && scene.owner[p] < static_cast<int32_t>(scene.trees.size()) && (!scene.painted[p] || scene.owner[p] >= 0) &&
                    (!scene.tentMask[p] || (scene.owner[p] == -1 && !scene.skyMask[p] && !scene.painted[p] && !scene.stick[p])))
            << p;
}

// Steps and draws a scene for a number of frames, checking the invariants every 500 frames and at the end.
void soak(int w, int h, int64_t panFrames, int frames) {
    SCOPED_TRACE(testing::Message() << w << "x" << h << " panning every " << panFrames);
    QuillmoorScene scene(w, h, 0x5EED0000u + static_cast<uint64_t>(w * 31 + h), panFrames);
    Canvas canvas(w, h);
    for (int i = 1; i <= frames; ++i) {
        scene.step();
        scene.draw(canvas);
        if (i % 500 == 0 || i == frames) expectWorldInvariants(scene);
        if (testing::Test::HasFatalFailure()) return;
    }
}

// The sanitizer preset sets QUILLMOOR_SANITIZER_SUITE=1 for the full length
// of the runs over odd and tiny canvases; the ordinary suite runs them short.
bool fullLength() {
    const char* full = std::getenv("QUILLMOOR_SANITIZER_SUITE");
    return full && std::strcmp(full, "1") == 0;
}

const std::pair<int, int> oddSizes[] = {{1, 1}, {2, 1}, {1, 2}, {7, 3}, {33, 17}, {320, 180}, {961, 541}, {1707, 480}};

TEST(ForestSoak, SanitizerSuite) {
    for (const auto& [w, h] : {std::pair{960, 540}, std::pair{320, 180}, std::pair{97, 41}, std::pair{5, 3}}) soak(w, h, 1, w >= 960 ? 2500 : 4000);
    for (const auto& [w, h] : oddSizes)
        for (const int64_t panFrames : {int64_t{1}, int64_t{1800}}) soak(w, h, panFrames, fullLength() ? 2000 : 200);
}

// Forced animals drawn on every frame: entering and leaving at both edges,
// standing, and rim light from fires on and off the canvas. The full length
// runs until a second animal has come in (a bear may need about 4800 frames
// to cross, 240 standing and up to 4500 waiting); the short one lets the
// first one enter.
TEST(ForestSoak, SanitizerSuiteForcedAnimalsCrossAndReturn) {
    const bool full = fullLength();
    for (const char* name : {"moose", "bear", "fox"})
        for (const auto& [w, h] : oddSizes) {
            SCOPED_TRACE(testing::Message() << name << " " << w << "x" << h);
            // The small worlds scroll on every frame, so the animal also walks over a moving forest.
            QuillmoorScene scene(w, h, 0xA41A1500u + static_cast<uint64_t>(w * 13 + h), w * h < 1000 ? 1 : 1800);
            scene.animals = quillmoor::Animals(name);
            Canvas canvas(w, h);
            int entries = 0, exits = 0;
            bool wasPresent = false;
            for (int i = 1; i <= (full ? 11000 : 300) && entries < 2; ++i) {
                scene.step();
                const bool present = scene.animals.current.has_value();
                ASSERT_TRUE(i > 1 || present) << "a forced animal enters on the first frame";
                entries += present && !wasPresent;
                if (!present && wasPresent) {
                    ++exits;
                    EXPECT_TRUE(scene.animals.wait >= 1200 && scene.animals.wait <= 4500) << scene.animals.wait;
                }
                wasPresent = present;
                scene.draw(canvas);
            }
            EXPECT_EQ(scene.animals.previous, quillmoor::Animals::species(name));
            EXPECT_EQ(std::pair(exits, entries), full ? std::pair(1, 2) : std::pair(0, 1)) << "after " << scene.frame << " frames";
            EXPECT_TRUE(full || scene.animals.current->phase > 0);
        }
}

bool sameTree(const QuillmoorScene::Tree& a, const QuillmoorScene::Tree& b) {
    return a.cx == b.cx && a.baseY == b.baseY && a.height == b.height && a.spread == b.spread && a.style == b.style && a.color == b.color &&
           a.front == b.front;
}

// The scroll drops trees that own no pixel any more. Beside a scene that keeps
// every tree it ever grew, the pruned one draws the same generator values and
// the same pixels, and each of its pixels is owned by the same tree. Its list
// stays within the world's width plus the length at which pruning starts (two
// rows of trees at least four columns apart own pixels in at most half as
// many columns, and the list may double between prunings), while the other
// one grows with every scroll; the wide, low world prunes by doubling.
TEST(ForestSoak, DroppingUnusedTreesKeepsOwnersAndPicture) {
    for (const auto& [w, h, frames] : {std::array{64, 36, 12000}, {160, 90, 6000}, {1200, 30, 4000}, {7, 3, 6000}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        QuillmoorScene pruned(w, h, 0x7EE5u + static_cast<uint64_t>(w), 1), whole(w, h, 0x7EE5u + static_cast<uint64_t>(w), 1);
        whole.dropTreesAt = std::numeric_limits<std::size_t>::max();
        const std::size_t bound = static_cast<std::size_t>(pruned.ww) + QuillmoorScene::fewestTreesToDrop;
        std::size_t largest = 0;
        for (int i = 1; i <= frames; ++i) {
            pruned.step();
            whole.step();
            largest = std::max(largest, pruned.trees.size());
            if (i % 1000 != 0) continue;
            ASSERT_EQ(pruned.rng.state, whole.rng.state) << i;
            ASSERT_EQ(pruned.buf, whole.buf) << i;
            for (std::size_t p = 0; p < pruned.owner.size(); ++p) {
                const int32_t a = pruned.owner[p], b = whole.owner[p];
                ASSERT_TRUE(a < static_cast<int32_t>(pruned.trees.size()) && (a < 0) == (b < 0) &&
                            (a < 0 || sameTree(pruned.trees[static_cast<std::size_t>(a)], whole.trees[static_cast<std::size_t>(b)])))
                    << "frame " << i << " pixel " << p;
            }
        }
        EXPECT_LE(largest, bound);
        EXPECT_GT(whole.trees.size(), bound);  // the run is long enough to show the difference
    }
}

// A long run with a scroll on every frame, pinned to the picture and the
// generator state of the scene as it was before trees were ever dropped.
TEST(ForestSoak, LongRunMatchesTheForestThatKeptEveryTree) {
    QuillmoorScene scene(64, 36, 9, 1);
    Canvas canvas(64, 36);
    const std::array<std::array<uint64_t, 3>, 2> pinned{{{40000, 0xdec2ed05ab4b581fu, 0xb7b577e0a1904880u},
                                                         {80000, 0x037ed55f16bf1197u, 0xb15d9989565fdb44u}}};
    for (const auto& [frame, fingerprint, state] : pinned) {
        while (scene.frame < static_cast<int64_t>(frame)) scene.step();
        scene.draw(canvas);
        EXPECT_EQ(canvasFingerprint(canvas.px.data(), canvas.px.size()), fingerprint) << frame;
        EXPECT_EQ(scene.rngState(), state) << frame;
    }
}

}  // namespace
