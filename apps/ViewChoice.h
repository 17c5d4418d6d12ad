#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "QuillmoorMothwake/Environment.h"
#include "QuillmoorMothwake/PixelSaverView.h"

// The scenes a front end can show, by the name given with --scene.
inline constexpr std::string_view defaultSceneName = "forest";

bool isKnownScene(std::string_view name);
std::string knownSceneNames();  // for usage and error messages

// The options both programs take for what the environment variables set:
// -pan-frames N (MOTHWAKES_PAN_FRAMES) and -animal NAME (MOTHWAKES_ANIMAL).
bool isSceneSettingOption(std::string_view name);
// Takes the value of one of them into settings; on failure returns one line
// naming what is wrong.
std::optional<std::string> readSceneSettingOption(std::string_view name, std::string_view value,
                                                  quillmoor::SceneSettings& settings);
// The largest -pan-frames accepted: a column about every 385 days.
inline constexpr int64_t maxPanFramesOption = 1'000'000'000;

// The view for a scene. Each setting given on the command line wins over its
// environment variable; the variables are read here, when the view is made.
std::unique_ptr<quillmoor::PixelSaverView> makeSaverView(std::string_view scene, platform::Host& host,
                                                         platform::Rect frame, bool isPreview,
                                                         const quillmoor::SceneSettings& commandLine = {});
