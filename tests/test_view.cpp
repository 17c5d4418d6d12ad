#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "QuillmoorMothwake/PixelSaverView.h"
#include "QuillmoorMothwake/QuillmoorMothwakeView.h"
#include "platform/SoftwareGraphicsContext.h"

using platform::Framebuffer;
using platform::Host;
using platform::Rect;
using platform::SoftwareGraphicsContext;
using quillmoor::Canvas;
using quillmoor::PixelSaverView;
using quillmoor::PixelScene;

namespace {

constexpr uint32_t sceneGrey = 0xFFC8C8C8u;  // 200 in every channel

struct SceneLog {
    std::vector<uint64_t> seeds;
    int steps = 0;
};

// Paints one flat grey and counts what the view asks of it.
class FlatScene final : public PixelScene {
public:
    FlatScene(SceneLog& log, uint64_t seed) : log_(log), seed_(seed) {}
    void step() override { ++log_.steps; }
    void draw(Canvas& canvas) override { std::fill(canvas.px.begin(), canvas.px.end(), sceneGrey); }
    uint64_t rngState() const override { return seed_; }

private:
    SceneLog& log_;
    uint64_t seed_;
};

class CountingRandom final : public platform::SecureRandom {
public:
    uint64_t next64() override { return ++drawn; }
    uint64_t drawn = 1000;
};

class FlatView final : public PixelSaverView {
public:
    FlatView(Host& host, Rect frame, double rows, SceneLog& log) : PixelSaverView(host, frame, false), rows_(rows), log_(log) {}
    double targetRows() const override { return rows_; }
    std::unique_ptr<PixelScene> makeScene(int, int, uint64_t seed) override {
        log_.seeds.push_back(seed);
        return std::make_unique<FlatScene>(log_, seed);
    }

private:
    double rows_;
    SceneLog& log_;
};

struct Screen {
    Host host;
    CountingRandom random;
    Framebuffer fb;
    SoftwareGraphicsContext context{fb};
    SceneLog log;
    std::unique_ptr<FlatView> view;

    Screen(double width, double height, double rows = 225) : fb(static_cast<int>(width), static_cast<int>(height)) {
        host.secureRandom = &random;
        view = std::make_unique<FlatView>(host, Rect{0, 0, width, height}, rows, log);
    }
    void draw() { platform::ViewRunner(*view, context).display(); }
    void tick() { platform::ViewRunner(*view, context).tick(); }
    void resize(double width, double height) {
        view->setFrameSize(width, height);
        fb.resize(static_cast<int>(width), static_cast<int>(height));
        context.retarget(fb);
    }
};

uint8_t red(uint32_t p) { return static_cast<uint8_t>(p); }

// The forest on a screen of this size after `steps` frames, drawn whole by a
// fresh view whose first scene gets the seed 1001.
Framebuffer freshForest(double width, double height, int steps) {
    Host host;
    CountingRandom random;
    host.secureRandom = &random;
    quillmoor::QuillmoorMothwakeView view(host, {0, 0, width, height}, false, {});
    Framebuffer fb(static_cast<int>(width), static_cast<int>(height));
    SoftwareGraphicsContext context(fb);
    platform::ViewRunner runner(view, context);
    runner.display();
    for (int i = 0; i < steps; ++i) runner.tick();
    return fb;
}

}  // namespace

TEST(PixelSaverView, SizesTheCanvasFromTheBoundsHeight) {
    struct Case {
        double w, h, rows;
        int cw, ch;
        double scale;
    };
    const Case cases[] = {
        {1920, 1080, 225, 480, 270, 4}, {1920, 1080, 450, 960, 540, 2}, {1920, 1350, 450, 640, 450, 3},
        {1920, 1000, 450, 960, 500, 2}, {1365, 900, 450, 683, 450, 2},  {296, 184, 450, 296, 184, 1},
    };
    for (const Case& c : cases) {
        Screen s(c.w, c.h, c.rows);
        s.draw();
        ASSERT_NE(s.view->canvas(), nullptr);
        EXPECT_EQ(std::tuple(s.view->canvas()->width, s.view->canvas()->height, s.view->pixelScale()), std::tuple(c.cw, c.ch, c.scale))
            << c.w << "x" << c.h;
    }
}

TEST(PixelSaverView, ScanlinesDarkenTheLowerEdgeOfEveryCanvasRow) {
    // Scale 2: half-point lines darken every second framebuffer row by half of 0.25.
    Screen two(1920, 1080, 450);
    two.draw();
    for (int y = 0; y < 1080; ++y) {
        const bool line = y % 2 == 1;
        EXPECT_EQ(red(two.fb.at(0, y)), line ? 175 : 200) << "row " << y;
        EXPECT_EQ(two.fb.at(1919, y), two.fb.at(0, y));
    }
    // Scale 4: whole-point lines on the bottom row of every 4-row block, alpha 0.25.
    Screen four(1920, 1080, 225);
    four.draw();
    for (int y = 0; y < 1080; ++y) EXPECT_EQ(red(four.fb.at(7, y)), y % 4 == 3 ? 150 : 200) << "row " << y;
    // Scale 1: no scanlines at all.
    Screen one(296, 184, 450);
    one.draw();
    for (uint32_t p : one.fb.px) EXPECT_EQ(p, sceneGrey);
}

TEST(PixelSaverView, RoundedUpCanvasIsClippedAtTheRightAndTop) {
    // 1365 x 901 at scale 2: canvas 683 x 451, image 1366 x 902 from the bottom.
    Screen s(1365, 901, 450);
    s.draw();
    ASSERT_EQ(s.log.seeds.size(), 1u);
    EXPECT_EQ(std::pair(s.view->canvas()->width, s.view->canvas()->height), std::pair(683, 451));
    // Framebuffer row 0 shows only the lower half of canvas row 0, which is
    // where that row's scanline lies; the rows below alternate as usual.
    EXPECT_EQ(red(s.fb.at(1364, 0)), 175);
    EXPECT_EQ(red(s.fb.at(1364, 1)), 200);
    EXPECT_EQ(red(s.fb.at(1364, 2)), 175);
}

TEST(PixelSaverView, RebuildsWithAFreshSeedOnlyWhenTheCanvasSizeChanges) {
    Screen s(900, 900, 225);
    s.draw();
    PixelScene* first = s.view->scene();
    s.tick();
    s.tick();
    EXPECT_EQ(s.view->scene(), first);
    EXPECT_EQ(s.log.steps, 2);
    ASSERT_EQ(s.log.seeds.size(), 1u);

    // 450 x 450 at 225 rows is still a 225 x 225 canvas: same scene.
    s.resize(450, 450);
    s.tick();
    EXPECT_EQ(s.view->scene(), first);
    EXPECT_EQ(s.log.seeds.size(), 1u);

    s.resize(500, 450);
    s.tick();
    ASSERT_EQ(s.log.seeds.size(), 2u);
    EXPECT_NE(s.log.seeds[1], s.log.seeds[0]);
    EXPECT_EQ(s.view->canvas()->width, 250);
}

TEST(PixelSaverView, ANewScaleForTheSameCanvasKeepsTheSceneAndFillsTheScreen) {
    // 1920 x 1080 and these sizes all make a 960 x 540 forest canvas.
    const std::tuple<double, double, double> bigger[] = {{2880, 1620, 3}, {3840, 2160, 4}};
    for (const auto& [width, height, scale] : bigger) {
        Host host;
        CountingRandom random;
        host.secureRandom = &random;
        quillmoor::QuillmoorMothwakeView view(host, {0, 0, 1920, 1080}, false, {});
        Framebuffer fb(1920, 1080);
        SoftwareGraphicsContext context(fb);
        platform::ViewRunner runner(view, context);
        runner.display();
        for (int i = 0; i < 5; ++i) runner.tick();
        const PixelScene* scene = view.scene();

        view.setFrameSize(width, height);
        fb.resize(static_cast<int>(width), static_cast<int>(height));
        context.retarget(fb);
        runner.tick();
        EXPECT_EQ(view.scene(), scene) << width;
        EXPECT_EQ(random.drawn, 1001u) << "no new seed";
        EXPECT_EQ(std::tuple(view.canvas()->width, view.canvas()->height, view.pixelScale()), std::tuple(960, 540, scale));
        const Framebuffer expected = freshForest(width, height, 6);
        EXPECT_TRUE(fb.px == expected.px) << width << "x" << height;
        // The sky reaches the top-right corner: not black as outside a picture of the old size.
        EXPECT_NE(fb.at(static_cast<int>(width) - 1, 0) & 0xFFFFFFu, 0u);
    }
}

TEST(PixelSaverView, BuildsNothingUntilItCanDraw) {
    Screen s(640, 480);
    s.view->setNeedsDisplay(false);
    s.view->animateOneFrame();  // before the first draw: only asks for display
    EXPECT_TRUE(s.view->needsDisplay());
    s.view->draw(s.view->bounds());  // no graphics context: the frame is skipped
    EXPECT_EQ(s.view->scene(), nullptr);
    EXPECT_DOUBLE_EQ(s.view->animationTimeInterval(), 1.0 / 30.0);

    Screen narrow(0, 1080);  // zero-wide bounds stay black
    narrow.draw();
    EXPECT_EQ(narrow.view->canvas(), nullptr);
    EXPECT_TRUE(narrow.log.seeds.empty());
    EXPECT_EQ(s.log.steps + narrow.log.steps, 0);
}

TEST(PixelSaverView, EveryNewSceneIsSteppedToTheStartFrameUnlessAStopCutsItShort) {
    Screen s(900, 900, 225);
    s.view->setStartFrame(40);
    s.draw();
    EXPECT_EQ(s.log.steps, 40);
    s.tick();
    EXPECT_EQ(s.log.steps, 41);
    s.resize(500, 450);  // a new canvas size: a new scene, stepped again
    s.draw();
    EXPECT_EQ(s.log.steps, 81);
    ASSERT_EQ(s.log.seeds.size(), 2u);

    // A stop request between steps: no scene, only black, and no more steps.
    int asked = 0;
    s.host.stopRequested = [&] { return ++asked > 10; };
    s.resize(600, 450);
    s.draw();
    EXPECT_EQ(s.log.steps, 91);
    EXPECT_EQ(s.view->scene(), nullptr);
    EXPECT_EQ(s.view->canvas(), nullptr);
    EXPECT_EQ(s.fb.px[0] | s.fb.px[s.fb.px.size() - 1], 0xFF000000u);
    s.tick();  // another scene, given up before its first step
    EXPECT_EQ(s.log.steps, 91);
    EXPECT_EQ(s.log.seeds.size(), 4u);

    // Should the host go on after all, the next draw starts a scene afresh.
    s.host.stopRequested = [] { return false; };
    s.draw();
    EXPECT_EQ(s.log.steps, 131);
    EXPECT_EQ(s.log.seeds.size(), 5u);
    EXPECT_EQ(s.fb.px[0], sceneGrey);
}

TEST(PixelSaverView, StopNotificationEndsOnlyTheLegacyHostProcessWhileTheViewLives) {
    for (const std::string name : {"legacyScreenSaver", "legacyScreenSaver (Wallpaper)", "quillmoor-mothwake"}) {
        for (const bool released : {false, true}) {
            Screen s(640, 480);
            std::vector<int> exits;
            s.host.process.processName = name;
            s.host.process.exit = [&](int status) { exits.push_back(status); };
            if (released) s.view.reset();
            s.host.notifications.post(platform::willStopNotification);
            s.host.notifications.post("some.other.notification");
            const bool legacy = name.starts_with("legacyScreenSaver") && !released;
            EXPECT_EQ(exits, legacy ? std::vector<int>{0} : std::vector<int>{}) << name << (released ? ", released" : "");
        }
    }
}
