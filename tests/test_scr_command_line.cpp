#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apps/ScrCommandLine.h"

namespace {

std::variant<ScrCommand, std::string> parse(std::vector<std::string> args) { return parseScrCommandLine(args); }

ScrCommand command(std::vector<std::string> args) {
    const auto parsed = parse(args);
    if (const auto* error = std::get_if<std::string>(&parsed)) ADD_FAILURE() << *error;
    return std::holds_alternative<ScrCommand>(parsed) ? std::get<ScrCommand>(parsed) : ScrCommand{};
}

std::string error(std::vector<std::string> args) {
    const auto parsed = parse(args);
    return std::holds_alternative<std::string>(parsed) ? std::get<std::string>(parsed) : "(accepted)";
}

}  // namespace

TEST(ScrCommandLine, TakesTheCommandsInEitherCaseAndTheirWindowsEitherWay) {
    EXPECT_EQ(command({}).mode, ScrMode::settings);
    for (const char* saver : {"/s", "/S", "-s", "-S"}) EXPECT_EQ(command({saver}).mode, ScrMode::saver) << saver;
    EXPECT_EQ(command({"/a"}).mode, ScrMode::password);
    EXPECT_EQ(command({"/A", "1234"}).mode, ScrMode::password) << "the window of /a is not needed";

    for (const auto& args : std::vector<std::vector<std::string>>{{"/p", "1234"}, {"/P:1234"}, {"-p", "1234"}, {"-P:0x4d2"}}) {
        const ScrCommand preview = command(args);
        EXPECT_EQ(preview.mode, ScrMode::preview) << args[0];
        EXPECT_EQ(preview.window, 1234u) << args[0];
    }
    const ScrCommand owned = command({"/c:98765"});
    EXPECT_EQ(owned.mode, ScrMode::settings);
    EXPECT_EQ(owned.window, 98765u);
    EXPECT_EQ(command({"/C"}).window, 0u);
    EXPECT_EQ(command({"/c", "42"}).window, 42u);
}

TEST(ScrCommandLine, SaverAndPreviewTakeTheOptionsOfTheX11Program) {
    const ScrCommand saver = command({"/s", "-seed", "0x2a", "-frames", "90", "--scene", "skyline", "-pan-frames",
                                      "3", "-animal", "fox", "-fps", "-grown", "-verbose"});
    EXPECT_EQ(saver.settings.seed, 42u);
    EXPECT_EQ(saver.frames, 90);
    EXPECT_EQ(saver.settings.scene, "skyline");
    EXPECT_EQ(saver.settings.sceneSettings.panFrames, 3);
    EXPECT_TRUE(saver.settings.sceneSettings.animal.has_value());
    EXPECT_TRUE(saver.settings.showFps && saver.settings.grown && saver.verbose);

    const ScrCommand preview = command({"/p", "77", "-seed", "5"});
    EXPECT_EQ(preview.window, 77u);
    EXPECT_EQ(preview.settings.seed, 5u);
    EXPECT_EQ(preview.settings.scene, defaultSceneName);
    EXPECT_FALSE(preview.frames || preview.settings.showFps || preview.settings.grown || preview.settings.sceneSettings.panFrames);
}

TEST(ScrCommandLine, TheOptionsWinOverTheStoredSettingsOneByOne) {
    SaverSettings stored;
    stored.scene = "skyline";
    stored.sceneSettings.panFrames = 300;
    stored.showFps = true;
    const std::vector<std::string> args = {"/s", "-scene", "forest", "-animal", "bear"};
    const auto parsed = parseScrCommandLine(args, stored);
    ASSERT_TRUE(std::holds_alternative<ScrCommand>(parsed));
    const SaverSettings& settings = std::get<ScrCommand>(parsed).settings;
    EXPECT_EQ(settings.scene, "forest");
    EXPECT_EQ(settings.sceneSettings.animal, quillmoor::Animals::Species::bear);
    EXPECT_EQ(settings.sceneSettings.panFrames, 300) << "a setting not on the command line keeps its stored value";
    EXPECT_TRUE(settings.showFps);
    const std::vector<std::string> dialog = {"/c"};
    EXPECT_EQ(std::get<ScrCommand>(parseScrCommandLine(dialog, stored)).settings.scene, "skyline")
        << "the settings dialog starts from what is stored";
}

TEST(ScrCommandLine, NamesWhatItCannotTake) {
    EXPECT_EQ(error({"/x"}), "unknown argument \"/x\"");
    EXPECT_EQ(error({"saver"}), "unknown argument \"saver\"");
    EXPECT_EQ(error({"/s:1"}), "unknown argument \"/s:1\"");
    EXPECT_EQ(error({"/ss"}), "unknown argument \"/ss\"");
    EXPECT_EQ(error({"/p"}), "\"/p\" needs a window handle");
    EXPECT_EQ(error({"/p:abc"}), "bad window handle \"abc\"");
    EXPECT_EQ(error({"/s", "-root"}), "unknown option \"-root\"");
    EXPECT_EQ(error({"/s", "stray"}), "unexpected argument \"stray\"");
    EXPECT_EQ(error({"/s", "-seed"}), "-seed needs a value");
    EXPECT_EQ(error({"/s", "-scene", "sea"}).rfind("unknown scene \"sea\"", 0), 0u);
}
