#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apps/HackOptions.h"

using platform::X11Target;

namespace {

std::variant<HackOptions, std::string> parse(std::vector<std::string> words, const char* env = nullptr) {
    std::vector<char*> args;
    for (auto& w : words) args.push_back(w.data());
    return parseHackOptions(args, env);
}

HackOptions ok(std::vector<std::string> words, const char* env = nullptr) {
    auto result = parse(std::move(words), env);
    if (auto* error = std::get_if<std::string>(&result)) ADD_FAILURE() << *error;
    return std::get_if<HackOptions>(&result) ? std::get<HackOptions>(result) : HackOptions{};
}

}  // namespace

TEST(HackOptions, ChoosesWhereToDrawLikeXScreenSaverAndXsecurelock) {
    EXPECT_EQ(ok({}).target, X11Target::ownWindow);
    EXPECT_EQ(ok({"-root"}).target, X11Target::root);
    EXPECT_EQ(ok({"--fullscreen"}).target, X11Target::fullscreen);

    // XScreenSaver: -root with the window in hex; xsecurelock: no option, decimal.
    const HackOptions xscreensaver = ok({"-root"}, "0x600008");
    EXPECT_EQ(xscreensaver.target, X11Target::window);
    EXPECT_EQ(xscreensaver.windowId, 0x600008ul);
    const HackOptions xsecurelock = ok({}, "6291464");
    EXPECT_EQ(xsecurelock.target, X11Target::window);
    EXPECT_EQ(xsecurelock.windowId, 6291464ul);

    // An explicit window of its own or id overrides the variable; the last option wins.
    EXPECT_EQ(ok({"-window"}, "0x600008").target, X11Target::ownWindow);
    const HackOptions byId = ok({"-root", "--window-id", "0x2a"}, "0x600008");
    EXPECT_EQ(byId.target, X11Target::window);
    EXPECT_EQ(byId.windowId, 42ul);
    EXPECT_EQ(ok({"-window-id", "42", "-fullscreen"}).target, X11Target::fullscreen);
}

TEST(HackOptions, ReadsTheOtherOptionsInEitherSpelling) {
    const HackOptions o = ok({"-fps", "--verbose", "--seed", "0xFFFFFFFFFFFFFFFF", "-scene", "forest"});
    EXPECT_TRUE(o.showFps);
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(o.seed, 0xFFFFFFFFFFFFFFFFull);
    EXPECT_EQ(o.scene, "forest");
    EXPECT_FALSE(ok({}).seed.has_value());
    EXPECT_TRUE(ok({"-help"}).help);
    EXPECT_TRUE(ok({"--version"}).version);
}

TEST(HackOptions, RejectsWithOneLine) {
    const std::vector<std::vector<std::string>> bad = {
        {"-bogus"}, {"root"}, {"---root"}, {"-window-id"}, {"-window-id", "0"}, {"-window-id", "0x1ffffffff"},
        {"-window-id", " 12"}, {"-seed", "18446744073709551616"}, {"-seed"}, {"-scene", "moon"}, {"-"},
    };
    for (const auto& words : bad) {
        const auto result = parse(words);
        ASSERT_TRUE(std::holds_alternative<std::string>(result)) << words[0];
        const std::string& message = std::get<std::string>(result);
        EXPECT_FALSE(message.empty());
        EXPECT_EQ(message.find('\n'), std::string::npos);
    }
    EXPECT_EQ(ok({"-root"}, "").target, X11Target::root) << "an empty variable counts as unset";
    EXPECT_TRUE(std::holds_alternative<std::string>(parse({}, "0x")));
    EXPECT_TRUE(std::holds_alternative<HackOptions>(parse({"-window"}, "junk")))
        << "the variable is not read when a window of its own is asked for";
}
