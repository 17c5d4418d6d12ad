#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "apps/HackOptions.h"

using platform::WaylandMode;
using platform::X11Target;

namespace {

std::variant<HackOptions, std::string> parse(std::vector<std::string> words, const char* xscreensaverWindow = nullptr,
                                             const char* waylandDisplay = nullptr) {
    std::vector<char*> args;
    for (auto& w : words) args.push_back(w.data());
    return parseHackOptions(args, xscreensaverWindow, waylandDisplay);
}

HackOptions ok(std::vector<std::string> words, const char* xscreensaverWindow = nullptr, const char* waylandDisplay = nullptr) {
    auto result = parse(std::move(words), xscreensaverWindow, waylandDisplay);
    if (auto* error = std::get_if<std::string>(&result)) ADD_FAILURE() << *error;
    return std::get_if<HackOptions>(&result) ? std::get<HackOptions>(result) : HackOptions{};
}

bool refused(std::vector<std::string> words, const char* xscreensaverWindow = nullptr, const char* waylandDisplay = nullptr) {
    const auto result = parse(std::move(words), xscreensaverWindow, waylandDisplay);
    const std::string* message = std::get_if<std::string>(&result);
    return message && !message->empty() && message->find('\n') == std::string::npos;
}

}  // namespace

TEST(HackOptions, ChoosesWhereToDrawLikeXScreenSaverAndXsecurelock) {
    EXPECT_EQ(ok({}).target, X11Target::ownWindow);
    EXPECT_EQ(ok({"-root"}).target, X11Target::root);
    EXPECT_EQ(ok({"--fullscreen"}).target, X11Target::fullscreen);

    // XScreenSaver: -root with the window in hex; xsecurelock: no option, decimal.
    const HackOptions xscreensaver = ok({"-root"}, "0x600008");
    EXPECT_EQ(std::pair(xscreensaver.target, xscreensaver.windowId), std::pair(X11Target::window, 0x600008ul));
    const HackOptions xsecurelock = ok({}, "6291464");
    EXPECT_EQ(std::pair(xsecurelock.target, xsecurelock.windowId), std::pair(X11Target::window, 6291464ul));

    // An explicit window of its own or id overrides the variable; the last option wins.
    EXPECT_EQ(ok({"-window"}, "0x600008").target, X11Target::ownWindow);
    const HackOptions byId = ok({"-root", "--window-id", "0x2a"}, "0x600008");
    EXPECT_EQ(std::pair(byId.target, byId.windowId), std::pair(X11Target::window, 42ul));
    EXPECT_EQ(ok({"-window-id", "42", "-fullscreen"}).target, X11Target::fullscreen);
    EXPECT_EQ(ok({"-root"}, "").target, X11Target::root) << "an empty variable counts as unset";
    EXPECT_EQ(ok({"-root"}, "0x2a", "wayland-0").target, X11Target::window);

    const HackOptions o = ok({"-fps", "--verbose", "--seed", "0xFFFFFFFFFFFFFFFF", "-scene", "forest", "-grown"});
    EXPECT_TRUE(o.settings.showFps && o.verbose && o.settings.seed == 0xFFFFFFFFFFFFFFFFull && o.settings.scene == "forest");
    EXPECT_TRUE(o.settings.grown);
    EXPECT_FALSE(ok({}).settings.seed.has_value() || ok({}).settings.grown);
    EXPECT_TRUE(ok({"-help"}).help && ok({"--version"}).version);
}

TEST(HackOptions, WaylandWhereASessionIsUnlessSomethingX11OnlyIsAskedFor) {
    struct Case {
        std::vector<std::string> args;
        const char* xscreensaverWindow;
        const char* waylandDisplay;
        FrontEndChoice frontEnd;
    };
    const Case cases[] = {
        {{}, nullptr, "wayland-1", FrontEndChoice::wayland},
        {{}, nullptr, "", FrontEndChoice::x11},
        {{}, nullptr, nullptr, FrontEndChoice::x11},
        {{"-fullscreen"}, nullptr, "wayland-0", FrontEndChoice::wayland},
        {{"-root"}, nullptr, "wayland-0", FrontEndChoice::x11},
        {{"-window-id", "42"}, nullptr, "wayland-0", FrontEndChoice::x11},
        {{}, "0x600008", "wayland-0", FrontEndChoice::x11},  // started by an X11 saver daemon
        {{"--saver"}, "0x600008", nullptr, FrontEndChoice::wayland},
        {{"--wallpaper"}, nullptr, nullptr, FrontEndChoice::x11},
        {{"--wallpaper"}, nullptr, "wayland-0", FrontEndChoice::wayland},
        {{"--wallpaper"}, "0x600008", nullptr, FrontEndChoice::x11},
        {{"--x11"}, nullptr, "wayland-0", FrontEndChoice::x11},
        {{"--wayland", "-window"}, "0x600008", nullptr, FrontEndChoice::wayland},
        {{"--x11", "--wayland"}, nullptr, nullptr, FrontEndChoice::wayland},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ok(c.args, c.xscreensaverWindow, c.waylandDisplay).frontEnd, c.frontEnd)
            << (c.args.empty() ? "(none)" : c.args[0]) << " with " << (c.waylandDisplay ? c.waylandDisplay : "-");

    EXPECT_EQ(ok({}, nullptr, "wayland-0").waylandMode, WaylandMode::window);
    EXPECT_EQ(ok({"-fullscreen"}, nullptr, "wayland-0").waylandMode, WaylandMode::fullscreen);
    EXPECT_EQ(ok({"--wallpaper", "--saver"}, nullptr, "wayland-0").waylandMode, WaylandMode::saver);
    EXPECT_EQ(ok({"--saver", "--wallpaper"}, nullptr, "wayland-0").waylandMode, WaylandMode::wallpaper);
    // On X11 the wallpaper is its own target; XSCREENSAVER_WINDOW does not take its place.
    EXPECT_EQ(ok({"--wallpaper"}, "0x600008").target, X11Target::wallpaper);
    EXPECT_EQ(ok({"--wallpaper", "--x11"}, nullptr, "wayland-0").target, X11Target::wallpaper);
}

TEST(HackOptions, RejectsWithOneLine) {
    const std::vector<std::vector<std::string>> bad = {
        {"-bogus"}, {"root"}, {"---root"}, {"-window-id"}, {"-window-id", "0"}, {"-window-id", "0x1ffffffff"},
        {"-window-id", " 12"}, {"-seed", "18446744073709551616"}, {"-seed"}, {"-scene", "moon"}, {"-"},
        {"-seed", "-0"}, {"-frames", "-0"}, {"-frames", "+5"}, {"-pan-frames", "+5"},
    };
    for (const auto& words : bad) EXPECT_TRUE(refused(words)) << words[0];
    // Contradictions between the two front ends.
    for (const auto& words : std::vector<std::vector<std::string>>{
             {"--wayland", "-root"}, {"--wayland", "-window-id", "7"}, {"--x11", "--saver"}})
        EXPECT_TRUE(refused(words, nullptr, "wayland-0")) << words[0] << " " << words[1];
    // A malformed XSCREENSAVER_WINDOW matters only when X11 is to use it.
    EXPECT_TRUE(refused({}, "0x"));
    EXPECT_TRUE(refused({}, "junk", "wayland-0"));
    EXPECT_TRUE(std::holds_alternative<HackOptions>(parse({"-window"}, "junk")))
        << "the variable is not read when a window of its own is asked for";
    EXPECT_TRUE(std::holds_alternative<HackOptions>(parse({"--wayland"}, "junk")));
}
