#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "QuillmoorMothwake/GlimmerfoldView.h"
#include "platform/SaverLoop.h"
#include "platform/SaverSurface.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

class FixedRandom final : public SecureRandom {
public:
    uint64_t next64() override { return 0x5EED; }
};

struct Shared {
    FixedRandom random;
    Host host;
    Shared() { host.secureRandom = &random; }
};

std::unique_ptr<ScreenSaverView> skyline(Host& host, int w, int h) {
    return std::make_unique<quillmoor::GlimmerfoldView>(host, Rect{0, 0, double(w), double(h)}, false, quillmoor::SceneSettings{});
}

// The plain way to get the picture after n steps: a fresh view drawn whole.
Framebuffer plainPicture(Host& host, int w, int h, int steps) {
    auto view = skyline(host, w, h);
    Framebuffer frame(w, h);
    SoftwareGraphicsContext context(frame);
    ViewRunner runner(*view, context);
    runner.display();
    for (int i = 0; i < steps; ++i) runner.tick();
    return frame;
}

// A front end without a display: its event descriptor is a pipe the test
// never writes, and each frame may take a while.
class FakeFrontEnd final : public FrontEnd {
public:
    explicit FakeFrontEnd(std::chrono::milliseconds frameTime) : frameTime_(frameTime) {
        if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
    }
    ~FakeFrontEnd() override {
        close(fds_[0]);
        close(fds_[1]);
    }
    WaitHandle eventHandle() const override { return fds_[0]; }
    void dispatch() override {}
    void frame(StopSignals&) override {
        ++frames;
        if (onFrame) onFrame(frames);
        std::this_thread::sleep_for(frameTime_);
    }
    bool wantsFrames() const override { return visible; }
    StopReason stopReason() const override { return frames >= stopAfter ? StopReason::quit : StopReason::none; }

    int frames = 0;
    int stopAfter = 1 << 30;
    bool visible = true;
    std::function<void(int)> onFrame;

private:
    std::chrono::milliseconds frameTime_;
    int fds_[2] = {-1, -1};
};

}  // namespace

TEST(SaverSurface, HoldsThePictureAfterItsStepsAndRedrawsItAfterAResize) {
    Shared shared;
    SaverSurface surface(skyline(shared.host, 300, 200), 300, 200);
    surface.useOwnFramebuffer(ChannelOrder::rgbx);
    surface.holdAfter(7);
    for (int i = 0; i <= 7; ++i) EXPECT_TRUE(surface.renderFrame(nullptr));
    EXPECT_EQ(surface.ownFramebuffer().px, plainPicture(shared.host, 300, 200, 7).px);

    EXPECT_FALSE(surface.renderFrame(nullptr)) << "held: nothing to draw";
    EXPECT_TRUE(surface.damage().empty());
    EXPECT_EQ(surface.ownFramebuffer().px, plainPicture(shared.host, 300, 200, 7).px);

    // A new size while held: the view starts its new scene, which is shown
    // at once as it first appears, and then held.
    surface.resize(500, 260);
    surface.useOwnFramebuffer(ChannelOrder::rgbx);
    EXPECT_TRUE(surface.renderFrame(nullptr));
    EXPECT_EQ(surface.damage().area(), 500 * 260);
    EXPECT_EQ(surface.ownFramebuffer().px, plainPicture(shared.host, 500, 260, 0).px);
    EXPECT_FALSE(surface.renderFrame(nullptr));
}

TEST(SaverSurface, AHeldPictureFollowsANewScaleOfTheSameCanvasAtOnce) {
    // 450 x 225 at scale 1 and 900 x 450 at scale 2: the same 450 x 225
    // canvas, so the same scene, held after 7 steps, drawn whole at scale 2.
    Shared shared;
    SaverSurface surface(skyline(shared.host, 450, 225), 450, 225);
    surface.useOwnFramebuffer(ChannelOrder::rgbx);
    surface.holdAfter(7);
    for (int i = 0; i <= 8; ++i) surface.renderFrame(nullptr);
    surface.resize(900, 450);
    surface.useOwnFramebuffer(ChannelOrder::rgbx);
    EXPECT_TRUE(surface.renderFrame(nullptr));
    EXPECT_EQ(surface.damage().area(), 900 * 450);
    EXPECT_TRUE(surface.ownFramebuffer().px == plainPicture(shared.host, 900, 450, 7).px);

    // A front end's invalidate() draws even a held picture whole again.
    EXPECT_FALSE(surface.renderFrame(nullptr));
    surface.invalidate();
    EXPECT_TRUE(surface.renderFrame(nullptr));
    EXPECT_EQ(surface.damage().area(), 900 * 450);
}

TEST(SaverSurface, TwoSurfacesSideBySideDoNotInterfere) {
    Shared shared;
    SaverSurface a(skyline(shared.host, 320, 180), 320, 180), b(skyline(shared.host, 320, 180), 320, 180);
    a.useOwnFramebuffer(ChannelOrder::rgbx);
    b.useOwnFramebuffer(ChannelOrder::bgrx);
    for (int i = 0; i < 40; ++i) {
        a.renderFrame(nullptr);
        if (i % 2 == 0) b.renderFrame(nullptr);
    }
    EXPECT_EQ(a.ownFramebuffer().px, plainPicture(shared.host, 320, 180, 39).px);
    Framebuffer expected = plainPicture(shared.host, 320, 180, 19);
    for (uint32_t& p : expected.px) p = swapRedBlue(p);
    EXPECT_EQ(b.ownFramebuffer().px, expected.px);
}

TEST(SaverLoop, StopsBetweenSlowFramesAndWhilePaused) {
    StopSignals signals;
    ASSERT_TRUE(signals.valid());
    EXPECT_EQ(signals.take(), 0);
    SaverLoop loop(signals, std::chrono::duration<double>(1.0 / 30.0));

    // Frames taking three intervals each: the signal raised during the
    // second one ends the run before a third begins.
    FakeFrontEnd slow(100ms);
    slow.onFrame = [](int frame) {
        if (frame == 2) kill(getpid(), SIGTERM);
    };
    EXPECT_EQ(loop.run(slow), StopReason::signal);
    EXPECT_EQ(loop.signal(), SIGTERM);
    EXPECT_EQ(slow.frames, 2);
    EXPECT_EQ(signals.take(), SIGTERM) << "taken from the descriptor, not killing the process, and remembered";
}

TEST(SaverLoop, PacesFramesAndDrawsNoneWhileNothingIsShown) {
    StopSignals signals;
    ASSERT_TRUE(signals.valid());
    SaverLoop loop(signals, std::chrono::duration<double>(1.0 / 100.0));
    FakeFrontEnd fast(0ms);
    fast.stopAfter = 10;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(loop.run(fast), StopReason::quit);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 85ms) << "ten frames at 100 per second";

    FakeFrontEnd hidden(0ms);
    hidden.visible = false;
    std::thread stopper([] {
        std::this_thread::sleep_for(50ms);
        kill(getpid(), SIGTERM);
    });
    EXPECT_EQ(loop.run(hidden), StopReason::signal);
    stopper.join();
    EXPECT_EQ(hidden.frames, 0);
}

// A stop request with a grace period: a process whose normal exit is stuck
// (a frame that never ends, a display that never answers) is ended with
// status 0 shortly after the signal; one that finishes its exit in time
// keeps its own status.
TEST(StopSignals, EndTheProcessWhenTheNormalExitIsStuck) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EXIT(
        {
            StopSignals signals(50ms, "saver");
            kill(getpid(), SIGINT);
            std::this_thread::sleep_for(5s);
            std::_Exit(3);
        },
        testing::ExitedWithCode(0), "^saver: stopping \\(SIGINT\\)\n$");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);

    EXPECT_EXIT(
        {
            {
                StopSignals signals(1s);
                kill(getpid(), SIGTERM);
                while (!signals.take()) std::this_thread::sleep_for(1ms);
            }
            std::this_thread::sleep_for(1500ms);
            std::_Exit(3);
        },
        testing::ExitedWithCode(3), "^$");
}

// The program's allocation functions are linked into this test.
TEST(LargeAllocations, PutLargeBlocksOnHugePageBoundariesAndRefuseImpossibleSizes) {
    constexpr std::uintptr_t hugePage = std::uintptr_t{2} << 20;
    for (const std::size_t size : {std::size_t{1} << 20, (std::size_t{2} << 20) + 1, std::size_t{5'000'000}}) {
        std::vector<uint32_t> pixels(size / 4, 7);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pixels.data()) % hugePage, 0u) << size;
        EXPECT_EQ(pixels.back(), 7u);
    }
    const auto small = std::make_unique<char[]>(100);
    EXPECT_NE(small, nullptr);
    // Sizes near the top of the address space must fail, not wrap around to
    // a small block. (AddressSanitizer stops the process on such a request.)
#if !defined(__SANITIZE_ADDRESS__)
    volatile std::size_t impossible = SIZE_MAX - 4096;
    EXPECT_EQ(::operator new(impossible, std::nothrow), nullptr);
    EXPECT_THROW(::operator delete(::operator new(impossible)), std::bad_alloc);
#endif
}
