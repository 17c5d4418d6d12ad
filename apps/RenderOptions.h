#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "apps/Options.h"
#include "apps/ViewChoice.h"

// What the headless renderer was asked to do.
struct RenderOptions {
    Size screen{1920, 1080};
    std::optional<Size> canvas;  // build the scene for exactly this canvas instead of a screen
    std::optional<uint64_t> seed;
    int64_t frames = 0;          // steps after the first draw
    std::string out;             // the screen as a user sees it
    std::string canvasOut;       // the unscaled canvas
    bool trace = false;
    int64_t every = 1;
    std::string scene{defaultSceneName};
    quillmoor::SceneSettings sceneSettings;  // --pan-frames, --animal
    bool help = false;
    bool version = false;
};

// True when the options ask for no output at all: no image and no trace.
inline bool writesNothing(const RenderOptions& o) { return o.out.empty() && o.canvasOut.empty() && !o.trace; }

// Parses the arguments after the program name. On failure returns nothing and
// sets error to one line naming the offending argument.
std::optional<RenderOptions> parseRenderOptions(const std::vector<std::string>& args, std::string& error);

std::string renderUsage();
