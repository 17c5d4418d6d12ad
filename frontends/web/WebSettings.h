#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/SaverSettings.h"

// What the page was asked for in its URL query: ?scene=skyline&seed=0x2a&fps
struct WebSettings {
    SaverSettings saver;            // scene, seed, pan, animal, fps, grown
    std::optional<int64_t> frames;  // steps after the first frame, then the picture is held
    std::optional<int64_t> from;    // frames every scene is stepped before it is shown; wins over grown
};

// Takes one query parameter into settings. A value that is not valid, or a
// name that is not known, leaves settings as they were and returns the
// one-line reason, for the console.
std::optional<std::string> applyWebSetting(WebSettings& settings, std::string_view name, std::string_view value);
