#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "apps/Options.h"
#include "settings/SaverSettings.h"

// What the headless renderer was asked to do.
struct RenderOptions {
    Size screen{1920, 1080};
    std::optional<Size> canvas;  // build the scene for exactly this canvas instead of a screen
    int64_t frames = 0;          // steps after the first draw; with a video, the frames it holds
    std::optional<int64_t> from; // the scene's frame drawn first, stepped to without drawing (--grown: its grown frame)
    std::string out;             // the screen as a user sees it
    std::string canvasOut;       // the unscaled canvas
    std::string video;           // a clip of the canvas (--canvas) or the screen, by extension
    bool trace = false;
    int64_t every = 1;
    SaverSettings settings;      // --scene, --seed, --speed, --pan-frames, --animal, --grown (nothing to show a frame rate on)
    bool help = false;
    bool version = false;

    // The last frame rendered when the first drawn is the scene's frame
    // `first`: each later one follows a step.
    int64_t lastFrame(int64_t first) const { return video.empty() ? first + frames : first + frames - 1; }
};

// True when the options ask for no output at all: no image, no clip and no trace.
inline bool writesNothing(const RenderOptions& o) {
    return o.out.empty() && o.canvasOut.empty() && o.video.empty() && !o.trace;
}

// Parses the arguments after the program name. On failure returns nothing and
// sets error to one line naming the offending argument.
std::optional<RenderOptions> parseRenderOptions(const std::vector<std::string>& args, std::string& error);

std::string renderUsage();
