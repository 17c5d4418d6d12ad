// Scenes draw into the canvas they drew last only where something can have
// changed, and mark what they write so that an image compares only that.
// Both shortcuts are checked against the plain way: a twin scene that draws
// whole every time, and a pixel-by-pixel comparison with the last image.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "QuillmoorMothwake/Canvas.h"
#include "QuillmoorMothwake/GlimmerfoldScene.h"
#include "QuillmoorMothwake/QuillmoorScene.h"
#include "QuillmoorMothwake/RNG.h"

using quillmoor::Canvas;

namespace {

// Every pixel that differs between the two images lies in one of the spans
// the later one lists.
void expectChangesListed(const platform::Image& before, const platform::Image& image) {
    const platform::ImageChanges* changes = image.changesSince(before);
    ASSERT_NE(changes, nullptr);
    for (int y = 0; y < image.height(); ++y) {
        uint32_t k = changes->rowStart[static_cast<std::size_t>(y)];
        for (int x = 0; x < image.width(); ++x) {
            while (k < changes->rowStart[static_cast<std::size_t>(y) + 1] && changes->spans[k].x1 <= x) ++k;
            const bool listed = k < changes->rowStart[static_cast<std::size_t>(y) + 1] && changes->spans[k].x0 <= x;
            ASSERT_TRUE(listed || before.pixel(x, y) == image.pixel(x, y)) << "unlisted change at " << x << "," << y;
        }
    }
}

// Steps the twins alike (sometimes several steps, sometimes none) and after
// each round draws one into its own canvas and the other into a fresh one.
// The kept canvas makes an image now and then, so marks gather over several
// drawings; each image must list every change since the one before.
template <class Scene>
void drawTwins(Scene& kept, Scene& whole, int frames, uint64_t seed, void (*nudge)(Scene&, int frame) = nullptr) {
    quillmoor::RNG rng(seed);
    Canvas canvas(kept.w, kept.h);
    std::optional<platform::Image> last;
    for (int frame = 0; frame < frames; ++frame) {
        const int steps = static_cast<int>(rng.integer(0, 3)) == 0 ? 0 : static_cast<int>(rng.integer(1, 2));
        for (int i = 0; i < steps; ++i) {
            kept.step();
            whole.step();
        }
        if (nudge) {
            nudge(kept, frame);
            nudge(whole, frame);
        }
        kept.draw(canvas);
        Canvas fresh(whole.w, whole.h);
        whole.draw(fresh);
        ASSERT_EQ(canvas.px, fresh.px) << "frame " << frame;
        if (rng.integer(3) != 0) {
            std::optional<platform::Image> image = canvas.makeImage();
            ASSERT_TRUE(image);
            if (last) {
                ASSERT_NO_FATAL_FAILURE(expectChangesListed(*last, *image)) << "frame " << frame;
            }
            last = std::move(image);
        }
    }
}

// Sky events now and then, so that their drawing is covered at every size.
template <class Scene>
void launchSkyEvents(Scene& scene, int frame) {
    if (frame % 150 != 20) return;
    const double sc = scene.h / 270.0;
    scene.meteors.current = quillmoor::Meteors::Meteor{scene.w * 0.6, scene.h * 0.05, 0.8, 0.6, sc * 4, 30};
    scene.comets.current = quillmoor::Comets::Comet{scene.w * 0.2, scene.h * 0.05, 0.99, 0.1, sc};
}

const std::pair<int, int> sizes[] = {{1, 1}, {3, 2}, {17, 9}, {33, 47}, {160, 90}, {250, 141}, {480, 270}};

}  // namespace

TEST(MarkedDrawing, ForestDrawsWhatAWholeDrawingDraws) {
    for (const auto& [w, h] : sizes)
        for (const int64_t pan : {int64_t{1}, int64_t{7}, quillmoor::QuillmoorScene::defaultPanFrames}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " pan " + std::to_string(pan));
            quillmoor::QuillmoorScene kept(w, h, 11, pan), whole(w, h, 11, pan);
            kept.animals = whole.animals = quillmoor::Animals("fox");
            drawTwins<quillmoor::QuillmoorScene>(kept, whole, w * h > 100000 ? 500 : 900, 5, launchSkyEvents<quillmoor::QuillmoorScene>);
        }
}

TEST(MarkedDrawing, SkylineDrawsWhatAWholeDrawingDraws) {
    for (const auto& [w, h] : sizes)
        for (const int64_t pan : {int64_t{1}, int64_t{7}, quillmoor::GlimmerfoldScene::defaultPanFrames}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " pan " + std::to_string(pan));
            quillmoor::GlimmerfoldScene kept(w, h, 12, pan), whole(w, h, 12, pan);
            drawTwins<quillmoor::GlimmerfoldScene>(kept, whole, 900, 6, launchSkyEvents<quillmoor::GlimmerfoldScene>);
        }
}

// A scene moved to another canvas and back, or a canvas drawn by another
// scene in between, is drawn whole: neither can know what the other left.
TEST(MarkedDrawing, CanvasesAndScenesThatChangePartnersAreDrawnWhole) {
    quillmoor::QuillmoorScene a(64, 36, 3, 5), b(64, 36, 4, 5), twin(64, 36, 3, 5);
    Canvas first(64, 36), second(64, 36);
    for (int frame = 0; frame < 60; ++frame) {
        a.step();
        b.step();
        twin.step();
        Canvas& target = frame % 3 == 0 ? second : first;
        a.draw(target);
        if (frame % 5 == 0) b.draw(first);
        a.draw(target);  // drawn twice, the second time over b's picture if b drew last
        Canvas fresh(64, 36);
        twin.draw(fresh);
        ASSERT_EQ(target.px, fresh.px) << "frame " << frame;
    }
}

TEST(MarkedDrawing, RectanglesMarkTheTilesTheyTouchClippedToTheCanvas) {
    Canvas c(37, 19);  // 3 x 3 tiles, the last ones partial
    ASSERT_EQ(c.tilesAcross, 3);
    ASSERT_EQ(c.tilesDown, 3);
    const auto marked = [&](int x0, int y0, int x1, int y1) {
        c.makeImage();  // clears the marks
        c.markRect(x0, y0, x1, y1);
        std::string s;
        for (const uint8_t m : c.marks()) s += m ? '#' : '.';
        return s;
    };
    EXPECT_EQ(marked(15, 7, 17, 9), "##.##....");
    EXPECT_EQ(marked(-5, -5, 1, 1), "#........");
    EXPECT_EQ(marked(36, 18, 99, 99), "........#");
    EXPECT_EQ(marked(10, 10, 10, 30), ".........");
    EXPECT_EQ(marked(-9, 8, 99, 16), "...###...");
    c.makeImage();
    c.mark(-1, 0);
    c.mark(37, 0);
    c.mark(32, 16);
    EXPECT_EQ(std::count(c.marks().begin(), c.marks().end(), 1), 1);
    EXPECT_EQ(c.marks().back(), 1);
}
