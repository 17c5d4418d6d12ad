// The options that stand in for MOTHWAKES_PAN_FRAMES and MOTHWAKES_ANIMAL, in
// both programs: how they are read, that an option gives exactly the run its
// variable gives, and that the option wins over the variable. Also the small
// parts of both command lines: --version, --help and a renderer run that
// would write nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "apps/HackOptions.h"
#include "apps/HeadlessRenderer.h"
#include "apps/RenderOptions.h"

using quillmoor::Animals;

namespace {

HackOptions hack(std::vector<std::string> words) {
    std::vector<char*> args;
    for (auto& w : words) args.push_back(w.data());
    auto result = parseHackOptions(args, nullptr);
    if (auto* error = std::get_if<std::string>(&result)) ADD_FAILURE() << *error;
    return std::get_if<HackOptions>(&result) ? std::get<HackOptions>(result) : HackOptions{};
}

std::string hackError(std::vector<std::string> words) {
    std::vector<char*> args;
    for (auto& w : words) args.push_back(w.data());
    auto result = parseHackOptions(args, nullptr);
    return std::get_if<std::string>(&result) ? std::get<std::string>(result) : "";
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

struct Outcome {
    int status;
    std::string out;
};

// Runs one of the built programs, stdout captured, stderr appended to it.
Outcome run(const std::string& program, const std::string& args) {
    const std::string command = std::string(QUILLMOOR_BINARY_DIR) + "/" + program + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    Outcome r{-1, {}};
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.out.append(buffer, n);
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

}  // namespace

TEST(SceneSettings, BothProgramsReadTheOptionsAndRejectBadValues) {
    const HackOptions o = hack({"-pan-frames", "30", "--animal", "bear"});
    EXPECT_EQ(o.sceneSettings.panFrames, 30);
    EXPECT_EQ(o.sceneSettings.animal, Animals::Species::bear);
    EXPECT_FALSE(hack({}).sceneSettings.panFrames || hack({}).sceneSettings.animal);

    std::string error;
    const auto r = parseRenderOptions({"-pan-frames", "1000000000", "--animal", "fox", "--trace"}, error);
    ASSERT_TRUE(r) << error;
    EXPECT_EQ(r->sceneSettings.panFrames, 1'000'000'000);
    EXPECT_EQ(r->sceneSettings.animal, Animals::Species::fox);

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

TEST(SceneSettings, VersionHelpAndARunThatWritesNothing) {
    for (const char* program : {"quillmoor-render", "quillmoor-mothwake"}) {
        if (!std::filesystem::exists(std::string(QUILLMOOR_BINARY_DIR) + "/" + program)) continue;  // built without X11
        const Outcome version = run(program, "--version");
        EXPECT_EQ(version.status, 0) << program;
        EXPECT_EQ(version.out, std::string(program) + " " QUILLMOOR_VERSION "\n");
        const Outcome help = run(program, "-help");
        EXPECT_EQ(help.status, 0) << program;
        for (const char* word : {"skyline", "-pan-frames", "-animal", "-version"})
            EXPECT_NE(help.out.find(word), std::string::npos) << program << " --help lacks " << word;
    }
    const Outcome nothing = run("quillmoor-render", "--screen 64x36 --frames 3");
    EXPECT_EQ(nothing.status, 2);
    EXPECT_EQ(nothing.out, renderUsage());
}
