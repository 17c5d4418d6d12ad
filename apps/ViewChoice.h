#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "QuillmoorMothwake/PixelSaverView.h"

// The scenes a front end can show, by the name given with --scene.
inline constexpr std::string_view defaultSceneName = "forest";

bool isKnownScene(std::string_view name);
std::string knownSceneNames();  // for usage and error messages

std::unique_ptr<quillmoor::PixelSaverView> makeSaverView(std::string_view scene, platform::Host& host,
                                                         platform::Rect frame, bool isPreview);
