#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apps/HackOptions.h"
#include "frontends/wayland/FrameGate.h"
#include "frontends/wayland/SurfaceScale.h"

using platform::FrameGate;
using platform::SurfaceScale;
using platform::WaylandMode;
using platform::X11Target;

namespace {

std::variant<HackOptions, std::string> parse(std::vector<std::string> words, const char* xscreensaverWindow,
                                             const char* waylandDisplay) {
    std::vector<char*> args;
    for (auto& w : words) args.push_back(w.data());
    return parseHackOptions(args, xscreensaverWindow, waylandDisplay);
}

}  // namespace

TEST(FrontEndChoice, WaylandWhereASessionIsUnlessSomethingX11OnlyIsAskedFor) {
    struct Case {
        std::vector<std::string> args;
        const char* xscreensaverWindow;
        const char* waylandDisplay;
        FrontEndChoice frontEnd;
    };
    const std::vector<Case> cases = {
        {{}, nullptr, "wayland-1", FrontEndChoice::wayland},
        {{}, nullptr, "", FrontEndChoice::x11},
        {{}, nullptr, nullptr, FrontEndChoice::x11},
        {{"-fullscreen"}, nullptr, "wayland-0", FrontEndChoice::wayland},
        {{"-root"}, nullptr, "wayland-0", FrontEndChoice::x11},
        {{"-window-id", "42"}, nullptr, "wayland-0", FrontEndChoice::x11},
        {{}, "0x600008", "wayland-0", FrontEndChoice::x11},  // started by an X11 saver daemon
        {{"--saver"}, "0x600008", nullptr, FrontEndChoice::wayland},
        {{"--wallpaper"}, nullptr, nullptr, FrontEndChoice::wayland},
        {{"--x11"}, nullptr, "wayland-0", FrontEndChoice::x11},
        {{"--wayland", "-window"}, "0x600008", nullptr, FrontEndChoice::wayland},
        {{"--x11", "--wayland"}, nullptr, nullptr, FrontEndChoice::wayland},
    };
    for (const Case& c : cases) {
        const auto result = parse(c.args, c.xscreensaverWindow, c.waylandDisplay);
        ASSERT_TRUE(std::holds_alternative<HackOptions>(result)) << std::get<std::string>(result);
        EXPECT_EQ(std::get<HackOptions>(result).frontEnd, c.frontEnd)
            << (c.args.empty() ? "(none)" : c.args[0]) << " with " << (c.waylandDisplay ? c.waylandDisplay : "-");
    }

    const auto mode = [](std::vector<std::string> args) {
        return std::get<HackOptions>(parse(std::move(args), nullptr, "wayland-0")).waylandMode;
    };
    EXPECT_EQ(mode({}), WaylandMode::window);
    EXPECT_EQ(mode({"-fullscreen"}), WaylandMode::fullscreen);
    EXPECT_EQ(mode({"--wallpaper", "--saver"}), WaylandMode::saver);
    EXPECT_EQ(mode({"--saver", "--wallpaper"}), WaylandMode::wallpaper);
    EXPECT_EQ(std::get<HackOptions>(parse({"-root"}, "0x2a", "wayland-0")).target, X11Target::window);
}

TEST(FrontEndChoice, ContradictionsAreOneLineErrors) {
    const std::vector<std::vector<std::string>> contradictions = {
        {"--wayland", "-root"}, {"--wayland", "-window-id", "7"}, {"--x11", "--saver"}, {"--wallpaper", "--x11"}};
    for (const auto& args : contradictions) {
        const auto result = parse(args, nullptr, "wayland-0");
        ASSERT_TRUE(std::holds_alternative<std::string>(result)) << args[0] << " " << args[1];
        EXPECT_EQ(std::get<std::string>(result).find('\n'), std::string::npos);
    }
    // A malformed XSCREENSAVER_WINDOW matters only when X11 is to use it.
    EXPECT_TRUE(std::holds_alternative<HackOptions>(parse({"--wayland"}, "junk", nullptr)));
    EXPECT_TRUE(std::holds_alternative<std::string>(parse({}, "junk", "wayland-0")));
}

TEST(SurfaceScale, BuffersAreInDevicePixels) {
    EXPECT_EQ((SurfaceScale{1, 0}.device(1280)), 1280);
    EXPECT_EQ((SurfaceScale{2, 0}.device(400)), 800);
    EXPECT_EQ((SurfaceScale{2, 0}.bufferScale()), 2);
    // Fractional: the logical size times the scale, rounded half away from zero; buffer scale 1.
    EXPECT_EQ((SurfaceScale{1, 150}.device(1366)), 1708);  // 1707.5
    EXPECT_EQ((SurfaceScale{1, 180}.device(1281)), 1922);  // 1921.5
    EXPECT_EQ((SurfaceScale{1, 140}.device(1000)), 1167);  // 1166.67
    EXPECT_EQ((SurfaceScale{3, 150}.bufferScale()), 1);
    EXPECT_EQ((SurfaceScale{1, 120}.device(777)), 777);
}

TEST(SurfaceScale, OnlyMotionBeyondAFewPixelsCounts) {
    EXPECT_FALSE(platform::movedFar(100, 100, 103, 104));
    EXPECT_FALSE(platform::movedFar(100, 100, 100, 108));
    EXPECT_TRUE(platform::movedFar(100, 100, 106, 106));
    EXPECT_TRUE(platform::movedFar(100, 100, 90, 100));
}

TEST(FrameGate, DrawsAfterTheConfigureAndThenOnlyWhenTheCompositorAsks) {
    FrameGate gate;
    EXPECT_FALSE(gate.canDraw());
    EXPECT_FALSE(gate.wantsFrames()) << "nothing to draw before the first configure";
    gate.missed();
    EXPECT_FALSE(gate.wantsFrames());

    gate.configured();
    EXPECT_TRUE(gate.canDraw());
    gate.drawn();
    EXPECT_FALSE(gate.canDraw()) << "the frame's callback is outstanding";
    EXPECT_TRUE(gate.wantsFrames()) << "the loop keeps its pace while the callback is on its way";
    gate.frameDone();
    EXPECT_TRUE(gate.canDraw());

    gate.drawn();
    gate.redraw();  // a configure or a new scale
    EXPECT_TRUE(gate.canDraw()) << "a configure is answered without waiting for the callback";
    gate.drawn();
    EXPECT_FALSE(gate.canDraw());
}

TEST(FrameGate, ASlotPassedUndrawnLetsTheLoopSleepUntilTheCompositorSpeaks) {
    FrameGate gate;
    gate.configured();
    gate.drawn();
    gate.missed();  // no callback by the next slot: hidden, or just late
    EXPECT_FALSE(gate.wantsFrames());
    EXPECT_FALSE(gate.canDraw());
    gate.frameDone();
    EXPECT_TRUE(gate.wantsFrames());
    EXPECT_TRUE(gate.canDraw());

    gate.missed();  // no free buffer at the slot
    EXPECT_FALSE(gate.wantsFrames());
    gate.bufferReleased();
    EXPECT_TRUE(gate.wantsFrames());
}
