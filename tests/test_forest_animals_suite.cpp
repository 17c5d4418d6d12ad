#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "QuillmoorMothwake/QuillmoorScene.h"

using quillmoor::Animals;
using quillmoor::Canvas;
using quillmoor::QuillmoorScene;

namespace {

bool fullLength() {
    const char* full = std::getenv("QUILLMOOR_SANITIZER_SUITE");
    return full && std::strcmp(full, "1") == 0;
}

// Forced animals walking through the forest on odd and tiny canvases, drawn on
// every frame: entering and leaving at both edges, standing, and rim light from
// fires on and off the canvas. The sanitizer preset (QUILLMOOR_SANITIZER_SUITE=1)
// runs until a second animal has come in; the ordinary suite only lets the
// first one enter.
TEST(ForestAnimalsSanitizerSuite, ForcedSpeciesCrossAndReturnOnOddCanvases) {
    const bool full = fullLength();
    const std::pair<int, int> sizes[] = {{1, 1}, {2, 1}, {1, 2}, {7, 3}, {33, 17}, {320, 180}, {961, 541}, {1707, 480}};
    for (const char* name : {"moose", "bear", "fox"})
        for (const auto& [w, h] : sizes) {
            SCOPED_TRACE(testing::Message() << name << " " << w << "x" << h);
            // The small worlds scroll on every frame, so the animal also walks over a moving forest.
            const int64_t panFrames = w * h < 1000 ? 1 : 1800;
            QuillmoorScene scene(w, h, 0xA41A1500u + static_cast<uint64_t>(w * 13 + h), panFrames);
            scene.animals = Animals(name);
            Canvas canvas(w, h);

            // A bear needs up to about 4800 frames to cross (1754 px at 0.4 px a
            // frame on 1707x480, or 4 px at 1/1200 px a frame on 1x1), then may
            // have stood for 240 and waits up to 4500.
            const int limit = full ? 11000 : 300;
            int entries = 0, exits = 0;
            bool wasPresent = false;
            for (int i = 1; i <= limit && entries < 2; ++i) {
                scene.step();
                const bool present = scene.animals.current.has_value();
                if (present && !wasPresent) ++entries;
                if (!present && wasPresent) {
                    ++exits;
                    EXPECT_GE(scene.animals.wait, 1200);
                    EXPECT_LE(scene.animals.wait, 4500);
                }
                if (i == 1) {
                    ASSERT_TRUE(present) << "a forced animal enters on the first frame";
                }
                wasPresent = present;
                scene.draw(canvas);
            }
            EXPECT_EQ(scene.animals.previous, Animals::species(name));
            if (full) {
                EXPECT_EQ(exits, 1);
                EXPECT_EQ(entries, 2) << "after " << scene.frame << " frames";
            } else {
                EXPECT_EQ(exits, 0);
                EXPECT_GT(scene.animals.current->phase, 0);
            }
        }
}

}  // namespace
