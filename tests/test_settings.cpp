// The shared settings on both programs' command lines and the page's query;
// the options that stand in for MOTHWAKES_PAN_FRAMES and MOTHWAKES_ANIMAL,
// which win over the variables; a speed relative to each scene's own pace,
// which both win over; --version and --help.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "apps/HackOptions.h"
#include "apps/HeadlessRenderer.h"
#include "apps/RenderOptions.h"
#include "cli_support.h"
#include "frontends/web/WebSettings.h"
#include "QuillmoorMothwake/GlimmerfoldScene.h"
#include "QuillmoorMothwake/QuillmoorScene.h"

using quillmoor::Animals;

namespace {

// The hack's options, or its one-line message.
std::variant<HackOptions, std::string> hack(std::vector<std::string> words) {
    std::vector<char*> args;
    for (auto& w : words) args.push_back(w.data());
    return parseHackOptions(args, nullptr);
}

std::string hackError(std::vector<std::string> words) {
    const auto result = hack(std::move(words));
    return std::holds_alternative<std::string>(result) ? std::get<std::string>(result) : "";
}

// The trace the renderer prints for these arguments, with the two variables
// set as given (null: unset).
std::string trace(const std::vector<std::string>& args, const char* panFrames, const char* animal) {
    panFrames ? ::setenv("MOTHWAKES_PAN_FRAMES", panFrames, 1) : ::unsetenv("MOTHWAKES_PAN_FRAMES");
    animal ? ::setenv("MOTHWAKES_ANIMAL", animal, 1) : ::unsetenv("MOTHWAKES_ANIMAL");
    std::string error;
    const auto options = parseRenderOptions(args, error);
    EXPECT_TRUE(options) << error;
    if (!options) return {};
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    EXPECT_EQ(renderHeadless(*options, out, stderr), 0);
    std::fclose(out);
    std::string lines(text, size);
    std::free(text);
    ::unsetenv("MOTHWAKES_PAN_FRAMES");
    ::unsetenv("MOTHWAKES_ANIMAL");
    return lines;
}

}  // namespace

TEST(SceneSettings, BothProgramsReadTheOptionsAndRejectBadValues) {
    const auto o = std::get<HackOptions>(hack({"-pan-frames", "30", "--animal", "bear"})).settings.sceneSettings;
    EXPECT_EQ(std::pair(o.panFrames, o.animal), std::pair(std::optional<int64_t>(30), std::optional(Animals::Species::bear)));
    const auto none = std::get<HackOptions>(hack({})).settings.sceneSettings;
    EXPECT_FALSE(none.panFrames || none.animal);

    std::string error;
    const auto r = parseRenderOptions({"-pan-frames", "1000000000", "--animal", "fox", "--trace"}, error);
    ASSERT_TRUE(r) << error;
    EXPECT_EQ(r->settings.sceneSettings.panFrames, 1'000'000'000);
    EXPECT_EQ(r->settings.sceneSettings.animal, Animals::Species::fox);

    // Stricter than the variables, which fall back quietly: a typo on the command line is an error.
    for (const char* bad : {"0", "-3", "+5", "1000000001", "3e2", " 5", ""}) {
        EXPECT_NE(hackError({"-pan-frames", bad}), "") << '"' << bad << '"';
        EXPECT_FALSE(parseRenderOptions({"--pan-frames", bad, "--trace"}, error)) << '"' << bad << '"';
    }
    for (const char* bad : {"Moose", "wolf", ""}) {
        const std::string message = hackError({"-animal", bad});
        EXPECT_NE(message.find("moose, bear, fox"), std::string::npos) << message;
        EXPECT_FALSE(parseRenderOptions({"--animal", bad, "--trace"}, error)) << '"' << bad << '"';
    }
    EXPECT_NE(hackError({"-animal"}), "");
    EXPECT_FALSE(parseRenderOptions({"--trace", "--pan-frames"}, error));
}

TEST(SceneSettings, BothProgramsFillTheSameSettingsWithTheSameMessages) {
    const std::vector<std::string> words = {"-scene", "skyline", "--seed", "0x2a", "-pan-frames", "7", "-animal", "moose"};
    const SaverSettings h = std::get<HackOptions>(hack(words)).settings;
    std::vector<std::string> renderWords = words;
    renderWords.push_back("--trace");
    std::string error;
    const auto r = parseRenderOptions(renderWords, error);
    ASSERT_TRUE(r) << error;
    const SaverSettings& s = r->settings;
    EXPECT_EQ(std::tuple(h.scene, h.seed, h.sceneSettings.panFrames, h.sceneSettings.animal),
              std::tuple(s.scene, s.seed, s.sceneSettings.panFrames, s.sceneSettings.animal));
    EXPECT_EQ(h.scene, "skyline");
    EXPECT_EQ(h.seed, 42u);

    // Every setting is an option of both programs, refused with the same line,
    // except the frame rate, which the renderer has nowhere to show.
    for (const SaverSettingInfo& setting : saverSettings()) {
        const std::string name(setting.name);
        if (setting.isSwitch) {
            EXPECT_TRUE(std::holds_alternative<HackOptions>(hack({"-" + name}))) << name;
            EXPECT_EQ(parseRenderOptions({"--" + name, "--trace"}, error).has_value(), name != "fps") << name;
            continue;
        }
        EXPECT_FALSE(parseRenderOptions({"--trace", "--" + name, "x"}, error)) << name;
        EXPECT_EQ(error, hackError({"-" + name, "x"})) << name;
    }
}

TEST(SceneSettings, AnOptionGivesTheSameRunAsItsVariable) {
    for (const char* scene : {"forest", "skyline"}) {
        const std::vector<std::string> base = {"--screen", "320x180", "--seed", "11", "--frames", "600",
                                               "--trace", "--every", "100", "--scene", scene};
        const std::string plain = trace(base, nullptr, nullptr);
        const std::string byVariable = trace(base, "2", "bear");
        std::vector<std::string> withOptions = base;
        for (const char* word : {"--pan-frames", "2", "-animal", "bear"}) withOptions.push_back(word);

        EXPECT_NE(byVariable, plain) << scene << ": the settings change nothing, so this test proves nothing";
        EXPECT_EQ(trace(withOptions, nullptr, nullptr), byVariable) << scene;
        EXPECT_EQ(trace(withOptions, "900", "fox"), byVariable) << scene << ": the options must win";
    }
}

TEST(Speed, IsReadAsADecimalWithoutSignOrExponentWithinItsRange) {
    const std::pair<const char*, int64_t> taken[] = {
        {"1", 1'000'000}, {"0.25", 250'000}, {"2,5", 2'500'000}, {"007.5", 7'500'000},
        {"0.000001", 1}, {"12.345678", 12'345'678}, {"1000", 1'000'000'000}, {"0", 0}};
    for (const auto& [text, millionths] : taken) {
        EXPECT_EQ(parseSpeed(text), Speed{millionths}) << text;
        EXPECT_EQ(parseSpeed(speedText(Speed{millionths})), Speed{millionths}) << text;
    }
    EXPECT_EQ(speedText(Speed{2'500'000}), "2.5");
    EXPECT_EQ(speedText(Speed{10'000}), "0.01");
    for (const char* bad : {"", ".5", "1.", "-1", "+1", "1e3", "0x10", " 1", "1 ", "1.2345678", "1..2", "1.2.3", "inf", "nan"})
        EXPECT_EQ(parseSpeed(bad), std::nullopt) << '"' << bad << '"';

    for (const char* text : {"0.01", "1000", "1000.000000"}) EXPECT_EQ(hackError({"-speed", text}), "") << text;
    EXPECT_EQ(hackError({"-speed", "0.009"}), "bad speed \"0.009\" (0.01 ... 1000)");
    EXPECT_EQ(hackError({"-speed", "1000.000001"}), "bad speed \"1000.000001\" (0.01 ... 1000)");
}

TEST(Speed, GivesEachSceneItsOwnPaceDividedByTheSpeedRounded) {
    constexpr int64_t forest = quillmoor::QuillmoorScene::defaultPanFrames, skyline = quillmoor::GlimmerfoldScene::defaultPanFrames;
    EXPECT_EQ(std::pair(ownPanFrames("forest"), ownPanFrames("skyline")), std::pair(forest, skyline));
    const std::tuple<const char*, int64_t, int64_t> cases[] = {
        // speed, forest's frames per pan, skyline's
        {"1", 1800, 60},    {"2", 900, 30},        {"0.5", 3600, 120}, {"0.25", 7200, 240}, {"30", 60, 2},
        {"40", 45, 2},      // 1.5 rounds up
        {"7", 257, 9},      {"0.7", 2571, 86},     {"1000", 2, 1},     // never below one frame
        {"0.01", 180000, 6000}};
    for (const auto& [text, forestFrames, skylineFrames] : cases) {
        const Speed speed = *parseSpeed(text);
        EXPECT_EQ(std::pair(panFramesAtSpeed(forest, speed), panFramesAtSpeed(skyline, speed)),
                  std::pair(forestFrames, skylineFrames))
            << "speed " << text;
    }
}

TEST(Speed, MeansTheSameInBothProgramsAndThePageAndFramesPerPanWinOverIt) {
    for (const char* scene : {"forest", "skyline"}) {
        const auto frames = [&](std::vector<std::string> words, const char* variable = nullptr) {
            words.insert(words.end(), {"--scene", scene});
            const SaverSettings fromHack = std::get<HackOptions>(hack(words)).settings;
            words.push_back("--trace");
            std::string error;
            const auto fromRenderer = parseRenderOptions(words, error);
            EXPECT_TRUE(fromRenderer) << error;
            EXPECT_EQ(chosenPanFrames(fromHack, variable), chosenPanFrames(fromRenderer->settings, variable));
            return chosenPanFrames(fromHack, variable);
        };
        const int64_t own = ownPanFrames(scene);
        EXPECT_EQ(frames({}), std::nullopt) << "nothing set: the scene's own pace";
        EXPECT_EQ(frames({"-speed", "2"}), own / 2);
        EXPECT_EQ(frames({"-speed", "2", "-pan-frames", "7"}), 7);
        EXPECT_EQ(frames({"-pan-frames", "7", "-speed", "2"}), 7) << "whichever comes first";
        EXPECT_EQ(frames({"-speed", "2"}, "11"), 11) << "MOTHWAKES_PAN_FRAMES wins over a speed";
        EXPECT_EQ(frames({"-speed", "2", "-pan-frames", "7"}, "11"), 7);

        WebSettings page;
        for (const auto& [name, value] : {std::pair("scene", scene), std::pair("speed", "0.5")})
            EXPECT_EQ(applyWebSetting(page, name, value), std::nullopt);
        EXPECT_EQ(chosenPanFrames(page.saver, nullptr), frames({"-speed", "0.5"}));
        EXPECT_EQ(chosenPanFrames(page.saver, nullptr), own * 2);
        EXPECT_EQ(applyWebSetting(page, "pan", "7"), std::nullopt);
        EXPECT_EQ(chosenPanFrames(page.saver, nullptr), 7);
        EXPECT_NE(applyWebSetting(page, "speed", "-1"), std::nullopt);
    }
}

TEST(SceneSettings, VersionHelpAndARunThatWritesNothing) {
    for (const std::string program : {"quillmoor-render", "quillmoor-mothwake"}) {
        const std::string path = std::string(QUILLMOOR_BINARY_DIR) + "/" + program;
        if (!cli::fs::exists(path)) continue;  // built without X11
        const cli::Outcome version = cli::shell(path + " --version"), help = cli::shell(path + " -help");
        EXPECT_EQ(std::pair(version.status, version.out + version.err), std::pair(0, program + " " QUILLMOOR_VERSION "\n"));
        EXPECT_EQ(help.status, 0) << program;
        for (const char* word : {"skyline", "-speed", "-pan-frames", "-animal", "-version"})
            EXPECT_NE(help.out.find(word), std::string::npos) << program << " --help lacks " << word;
    }
    const cli::Outcome nothing = cli::render("--screen 64x36 --frames 3");
    EXPECT_EQ(nothing.status, 2);
    EXPECT_EQ(nothing.out + nothing.err, renderUsage());
}
