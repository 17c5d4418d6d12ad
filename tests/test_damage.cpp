#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "QuillmoorMothwake/PixelSaverView.h"
#include "QuillmoorMothwake/RNG.h"
#include "platform/FpsOverlay.h"
#include "platform/SoftwareGraphicsContext.h"

using namespace platform;
using quillmoor::RNG;

namespace {

int pick(RNG& rng, int lo, int hi) { return static_cast<int>(rng.integer(lo, hi)); }

// Checks that the rectangles are disjoint and returns the pixels they cover.
std::vector<uint8_t> coverage(const Region& region, int width, int height) {
    std::vector<uint8_t> mask(static_cast<size_t>(width) * height, 0);
    int overlaps = 0;
    for (const PixelRect& r : region) {
        EXPECT_FALSE(r.empty());
        for (int y = std::max(0, r.y); y < std::min(height, r.bottom()); ++y)
            for (int x = std::max(0, r.x); x < std::min(width, r.right()); ++x) overlaps += mask[static_cast<size_t>(y) * width + x]++;
    }
    EXPECT_EQ(overlaps, 0) << "rectangles overlap";
    return mask;
}

// Every pixel that differs between before and after lies in the damage.
void expectDamageCovers(const Framebuffer& before, const Framebuffer& after, const Region& damage) {
    if (before.width != after.width || before.height != after.height) {
        EXPECT_EQ(damage.bounds(), (PixelRect{0, 0, after.width, after.height}));
        return;
    }
    const std::vector<uint8_t> mask = coverage(damage, after.width, after.height);
    size_t i = 0;
    while (i < after.px.size() && (before.px[i] == after.px[i] || mask[i])) ++i;
    ASSERT_EQ(i, after.px.size()) << "undamaged change at pixel " << i % after.width << "," << i / after.width;
}

}  // namespace

TEST(Region, HoldsExactlyTheAddedPixelsInDisjointRectangles) {
    RNG rng(5);
    constexpr int W = 40, H = 30;
    for (int trial = 0; trial < 60; ++trial) {
        Region region;
        std::vector<uint8_t> expected(W * H, 0);
        std::vector<PixelRect> added;
        const int count = pick(rng, 0, 24);
        for (int i = 0; i < count; ++i) {
            const PixelRect r{pick(rng, -5, W), pick(rng, -5, H), pick(rng, -2, 14), pick(rng, -2, 10)};
            added.push_back(intersection(r, {0, 0, W, H}));
            region.add(r);
            for (int y = std::max(0, r.y); y < std::min(H, r.bottom()); ++y)
                for (int x = std::max(0, r.x); x < std::min(W, r.right()); ++x) expected[y * W + x] = 1;
        }
        region.clip({0, 0, W, H});
        ASSERT_EQ(coverage(region, W, H), expected);
        EXPECT_EQ(region.area(), std::count(expected.begin(), expected.end(), 1));
        EXPECT_EQ(region.empty(), region.area() == 0);

        // Fewer rectangles never uncover a pixel, whether merged pair by pair or gathered first.
        for (size_t limit : {size_t{1}, size_t{3}, size_t{8}}) {
            for (Region merged : {region, Region::covering(added, limit)}) {
                merged.coalesce(limit);
                merged.clip({0, 0, W, H});
                EXPECT_LE(merged.size(), limit);
                EXPECT_EQ(merged.bounds(), region.bounds());
                const std::vector<uint8_t> covered = coverage(merged, W, H);
                for (size_t i = 0; i < covered.size(); ++i) ASSERT_GE(covered[i], expected[i]) << "uncovered pixel " << i;
            }
        }
    }
}

TEST(FpsOverlay, BoxHoldsEveryPixelDrawnAndGrowsWithTheDot) {
    for (const int dot : {1, 2, 4}) {
        for (const auto& [w, h] : {std::pair{300, 120}, std::pair{20, 9}}) {
            Framebuffer frame(w, h);
            std::fill(frame.px.begin(), frame.px.end(), 0xFF0000FFu);
            drawOverlayText(frame, "30.0 fps 4.2 ms", dot);
            const PixelRect box = overlayBox(w, h, "30.0 fps 4.2 ms", dot);
            ASSERT_TRUE(box.x == 0 && box.bottom() == h) << "not in the lower-left corner";
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(box.contains(x, y), frame.at(x, y) != 0xFF0000FFu) << "dot " << dot << " at " << x << "," << y;
        }
    }
    // Twice the dot on twice the frame is the same picture, each pixel doubled.
    Framebuffer small(150, 60), large(300, 120);
    drawOverlayText(small, "12.5 fps", 2);
    drawOverlayText(large, "12.5 fps", 4);
    for (int y = 0; y < large.height; ++y)
        for (int x = 0; x < large.width; ++x) ASSERT_EQ(large.at(x, y), small.at(x / 2, y / 2)) << x << "," << y;
    EXPECT_GT(std::count(large.px.begin(), large.px.end(), 0xFFFFFFFFu), 400) << "white text on the black plate";
    EXPECT_EQ(overlayDot(1080), 2);
    EXPECT_EQ(overlayDot(2160), 4);

    // "ms", not "ns": the m's foot row has three strokes, apart.
    Framebuffer m(20, 20);
    drawOverlayText(m, "m", 1);
    const int foot = m.height - 1 - 3;  // the glyph's last row: above the margin and the spare row
    std::string strokes;
    for (int x = 0; x < m.width; ++x) strokes += m.at(x, foot) == 0xFFFFFFFFu ? '#' : '.';
    EXPECT_EQ(strokes.substr(0, 10), "...#.#.#..") << strokes;

    // The overlay damages its boxes only when its text or place changes.
    FpsOverlay overlay;
    EXPECT_TRUE(overlay.update("", 640, 480).empty());
    const Region shown = overlay.update("-- fps", 640, 480);
    EXPECT_EQ(shown.bounds(), overlayBox(640, 480, "-- fps", 2));
    EXPECT_TRUE(overlay.update("-- fps", 640, 480).empty());
    EXPECT_EQ(overlay.update("30.0 fps", 640, 480).bounds(), overlayBox(640, 480, "30.0 fps", 2));
    EXPECT_EQ(overlay.update("", 640, 480).bounds(), overlayBox(640, 480, "30.0 fps", 2));
}

namespace {

class SteppingRandom final : public SecureRandom {
public:
    uint64_t next64() override { return ++state; }
    uint64_t state = 77;
};

// A scene whose picture the test sets pixel by pixel.
class PaintedScene final : public quillmoor::PixelScene {
public:
    PaintedScene(int w, int h, uint64_t seed) : width(w), height(h), picture(static_cast<size_t>(w) * h) {
        RNG rng(seed);
        for (uint32_t& p : picture) p = 0xFF000000u | static_cast<uint32_t>(rng.next() & 0xFFFFFF);
    }
    void step() override {}
    void draw(quillmoor::Canvas& canvas) override { std::copy(picture.begin(), picture.end(), canvas.px.begin()); }
    uint64_t rngState() const override { return 0; }

    // Changes nothing, one pixel, a corner, a row, a column, a block or everything.
    void change(RNG& rng) {
        const auto set = [&](int x, int y) { picture[static_cast<size_t>(y) * width + x] ^= 0x00A5C3E1u; };
        const int x = pick(rng, 0, width - 1), y = pick(rng, 0, height - 1);
        switch (rng.integer(8)) {
        case 0: break;
        case 1: set(x, y); break;
        case 2: set(rng.integer(2) ? width - 1 : 0, rng.integer(2) ? height - 1 : 0); break;
        case 3: for (int c = 0; c < width; ++c) set(c, y); break;
        case 4: for (int r = 0; r < height; ++r) set(x, r); break;
        case 5:
            for (int r = y; r < std::min(height, y + 3); ++r)
                for (int c = x; c < std::min(width, x + 40); c += 3) set(c, r);
            break;
        case 6: set(x, y), set(width - 1 - x, height - 1 - y); break;
        default: for (uint32_t& p : picture) p = ~p | 0xFF000000u; break;
        }
    }

    int width, height;
    std::vector<uint32_t> picture;
};

class PaintedView final : public quillmoor::PixelSaverView {
public:
    PaintedView(Host& host, Rect frame, int scale) : PixelSaverView(host, frame, false), scale_(scale) {}
    double targetRows() const override { return frame().height / (scale_ + 0.5); }
    std::unique_ptr<quillmoor::PixelScene> makeScene(int w, int h, uint64_t seed) override {
        return std::make_unique<PaintedScene>(w, h, seed);
    }
    PaintedScene& painted() const { return static_cast<PaintedScene&>(*scene()); }

private:
    int scale_;
};

// One front end drawing a view with damage tracking into `shown`, and the
// same view drawn whole into a scribbled `plain` buffer to compare with.
struct Screen {
    Host host;
    SteppingRandom random;
    std::vector<Framebuffer> buffers;
    std::vector<std::vector<PixelRect>> missed;  // per buffer: changes since it was last drawn into
    std::vector<uint8_t> drawn;  // per buffer: holds an earlier frame
    size_t current = 0;
    Framebuffer plain, shown;  // shown: the last frame drawn, in whichever buffer
    SoftwareGraphicsContext context{PixelView{}}, plainContext{PixelView{}};
    std::unique_ptr<PaintedView> view;
    FpsOverlay overlay;

    Screen(int w, int h, int scale, size_t bufferCount, ChannelOrder order) {
        host.secureRandom = &random;
        view = std::make_unique<PaintedView>(host, Rect{0, 0, double(w), double(h)}, scale);
        buffers.assign(bufferCount, Framebuffer(w, h, order));
        missed.assign(bufferCount, {});
        drawn.assign(bufferCount, 0);
        plain = Framebuffer(w, h, order);
        context.retarget(buffers[0]);
        plainContext.retarget(plain);
    }

    void resize(int w, int h) {
        view->setFrameSize(w, h);
        for (Framebuffer& b : buffers) b.resize(w, h);
        for (auto& m : missed) m.clear();
        std::fill(drawn.begin(), drawn.end(), 0);
        plain.resize(w, h);
        context.retarget(buffers[current]);
        plainContext.retarget(plain);
    }

    // One frame with the given overlay text; checks it against a full redraw.
    void frame(const std::string& text) {
        context.beginFrame();
        platform::ViewRunner(*view, context).tick();
        context.addDamage(overlay.update(text, buffers[current].width, buffers[current].height));
        context.addRedraw(missed[current]);
        context.endFrame();
        overlay.draw(buffers[current]);
        for (auto& m : missed) m.insert(m.end(), context.changes().begin(), context.changes().end());
        missed[current].clear();
        drawn[current] = 1;

        std::fill(plain.px.begin(), plain.px.end(), 0xFF5A5A5Au);
        platform::ViewRunner(*view, plainContext).display();
        if (!text.empty()) drawOverlayText(plain, text, overlayDot(plain.height));
        ASSERT_EQ(buffers[current].px, plain.px);
        // The damage is what changed since the frame the display shows,
        // whichever buffer that was drawn into.
        expectDamageCovers(shown, buffers[current], context.damage());
        shown = buffers[current];
        EXPECT_LE(context.damage().size(), SoftwareGraphicsContext::damageRects);
    }

    void nextBuffer() {
        current = (current + 1) % buffers.size();
        if (drawn[current])
            context.switchBuffer(buffers[current]);
        else
            context.retarget(buffers[current]);
    }
};

}  // namespace

TEST(Damage, ViewFramesMatchAFullRedraw) {
    struct Size {
        int width, height, scale, frames;
    };
    const Size sizes[] = {{1, 1, 1, 6},     {2, 3, 2, 8},     {7, 5, 3, 12},     {31, 17, 5, 16},   {64, 48, 1, 16},
                          {97, 61, 4, 16},  {161, 91, 2, 16}, {333, 211, 3, 12}, {640, 359, 5, 8},  {1366, 768, 2, 5},
                          {1920, 1080, 2, 3}, {3840, 2160, 4, 2}};
    RNG rng(21);
    const std::string texts[] = {"", "-- fps", "29.9 fps 3.1 ms"};
    for (const Size& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) + " scale " + std::to_string(size.scale));
        Screen screen(size.width, size.height, size.scale, 1, rng.integer(2) ? ChannelOrder::bgrx : ChannelOrder::rgbx);
        std::string text;
        for (int f = 0; f < size.frames; ++f) {
            if (f > 0 && screen.view->scene()) screen.view->painted().change(rng);
            if (rng.integer(4) == 0) text = texts[rng.integer(3)];
            if (f > 1 && rng.integer(6) == 0) screen.context.invalidate();
            if (f > 1 && size.width < 1000 && rng.integer(6) == 0)
                screen.resize(std::max(1, size.width + pick(rng, -9, 9)), std::max(1, size.height + pick(rng, -9, 9)));
            ASSERT_NO_FATAL_FAILURE(screen.frame(text));
        }
        // One canvas pixel changed: its block alone is damaged (small frames are simply redrawn whole).
        PaintedScene& scene = screen.view->painted();
        const int x = scene.width / 2, y = scene.height / 2, s = size.scale;
        scene.picture[static_cast<size_t>(y) * scene.width + x] ^= 0x00010101u;
        ASSERT_NO_FATAL_FAILURE(screen.frame(text));
        const PixelRect whole{0, 0, screen.plain.width, screen.plain.height};
        const PixelRect block = intersection({x * s, screen.plain.height - scene.height * s + y * s, s, s}, whole);
        const PixelRect damaged = screen.context.damage().bounds();
        EXPECT_TRUE(damaged == block || (whole.area() < 10000 && damaged == whole));
        // Nothing changed: nothing to put. After an exposure: everything, even
        // when the view does not draw (the buffer is redrawn from the last frame).
        ASSERT_NO_FATAL_FAILURE(screen.frame(text));
        EXPECT_TRUE(screen.context.damage().empty());
        std::fill(screen.buffers[0].px.begin(), screen.buffers[0].px.end(), 0xFF112233u);
        screen.context.invalidate();
        screen.context.beginFrame();
        screen.context.endFrame();
        screen.overlay.draw(screen.buffers[0]);
        EXPECT_EQ(screen.buffers[0].px, screen.plain.px);
        EXPECT_EQ(screen.context.damage().bounds(), whole);
    }
}

TEST(Damage, BuffersTakingTurnsMatchAFullRedraw) {
    RNG rng(8);
    for (const auto& [w, h, scale] : {std::tuple{120, 70, 2}, std::tuple{333, 187, 3}}) {
        Screen screen(w, h, scale, 3, ChannelOrder::bgrx);
        for (int f = 0; f < 24; ++f) {
            if (f > 0) screen.view->painted().change(rng);
            ASSERT_NO_FATAL_FAILURE(screen.frame(f % 7 < 3 ? "-- fps" : "9.5 fps"));
            screen.nextBuffer();
        }
    }
}

namespace {

struct TestOp {
    Rect rect;
    Grey colour;
    std::optional<Image> image;
};

Image noiseImage(RNG& rng, int w, int h) {
    std::vector<uint8_t> bytes(static_cast<size_t>(w) * h * 4);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng.integer(256));
    return *Image::create(w, h, w * 4, std::move(bytes));
}

// A copy of the image in a new block with count pixels changed.
Image withChangedPixels(RNG& rng, const Image& image, int count) {
    std::vector<uint8_t> bytes(image.row(0), image.row(0) + static_cast<size_t>(image.bytesPerRow()) * image.height());
    for (int i = 0; i < count; ++i) bytes[static_cast<size_t>(rng.integer(static_cast<int64_t>(bytes.size())))] ^= 0x5A;
    return *Image::create(image.width(), image.height(), image.bytesPerRow(), std::move(bytes));
}

// A fill or an image anywhere near a w x h buffer, on quarter points or, for
// most images, at a whole scale from a whole point.
TestOp randomOp(RNG& rng, int w, int h) {
    const auto coordinate = [&](int extent) { return static_cast<double>(rng.integer(-8, extent * 4 + 8)) / 4.0; };
    const auto level = [&] { return static_cast<double>(rng.integer(0, 4)) / 4.0; };
    if (rng.integer(3) != 0) return {{coordinate(w), coordinate(h), coordinate(w), coordinate(h)}, {level(), level()}, std::nullopt};
    const int iw = pick(rng, 1, 12), ih = pick(rng, 1, 12), s = pick(rng, 1, 3);
    if (rng.integer(4) == 0) return {{coordinate(w), coordinate(h), iw * 1.5 + 0.25, ih * 1.25}, {}, noiseImage(rng, iw, ih)};
    return {{double(pick(rng, -4, w)), double(pick(rng, -4, h)), double(iw * s), double(ih * s)}, {}, noiseImage(rng, iw, ih)};
}

void issue(GraphicsContext& context, const std::vector<TestOp>& ops) {
    context.setInterpolationQuality(InterpolationQuality::none);
    for (const TestOp& op : ops) {
        if (op.image) {
            context.drawImage(*op.image, op.rect);
        } else {
            context.setFillColor(op.colour);
            context.fillRect(op.rect);
        }
    }
    context.flush();
}

// Changes one thing between frames, or nothing.
void mutate(RNG& rng, std::vector<TestOp>& ops, int w, int h) {
    TestOp& op = ops[static_cast<size_t>(rng.integer(static_cast<int64_t>(ops.size())))];
    switch (rng.integer(7)) {
    case 0: break;
    case 1: op.colour.white = 1 - op.colour.white; break;
    case 2: op = randomOp(rng, w, h); break;
    case 3:
    case 4:
        if (op.image) op.image = withChangedPixels(rng, *op.image, static_cast<int>(rng.integer(4)));
        break;
    case 5: ops.front().colour.alpha = ops.front().colour.alpha == 1 ? 0.5 : 1; break;
    default:
        if (ops.size() > 1 && rng.integer(2))
            ops.pop_back();
        else
            ops.push_back(randomOp(rng, w, h));
    }
}

}  // namespace

TEST(Damage, ChangedOperationsMatchAFullRedraw) {
    RNG rng(13);
    for (int trial = 0; trial < 60; ++trial) {
        const int w = pick(rng, 1, 48), h = pick(rng, 1, 48);
        const ChannelOrder order = rng.integer(2) ? ChannelOrder::bgrx : ChannelOrder::rgbx;
        Framebuffer shown(w, h, order), plain(w, h, order);
        SoftwareGraphicsContext context(shown), plainContext(plain);
        std::vector<TestOp> ops{{{0, 0, double(w), double(h)}, {0.25, 1}, std::nullopt}};
        for (int i = pick(rng, 0, 6); i > 0; --i) ops.push_back(randomOp(rng, w, h));
        for (int frame = 0; frame < 12; ++frame) {
            SCOPED_TRACE("trial " + std::to_string(trial) + " frame " + std::to_string(frame));
            mutate(rng, ops, w, h);
            const Framebuffer before = shown;
            context.beginFrame();
            issue(context, ops);
            context.endFrame();
            issue(plainContext, ops);
            ASSERT_EQ(shown.px, plain.px);
            ASSERT_NO_FATAL_FAILURE(expectDamageCovers(before, shown, context.damage()));
        }
    }
}
