#pragma once

#include <cstdint>
#include <optional>

#include "QuillmoorMothwake/Animals.h"

namespace quillmoor {

// Frames between one-pixel pans as set by MOTHWAKES_PAN_FRAMES. `text` is the
// variable's value, or null when it is absent. A whole decimal integer (an
// optional sign, then one or more ASCII digits and nothing else, within the
// 64-bit signed range) gives that value raised to at least 1; anything else
// gives `fallback`.
int64_t panFramesFromEnvironment(const char* text, int64_t fallback);

// What a front end sets for the scenes it makes: the values of
// MOTHWAKES_PAN_FRAMES and MOTHWAKES_ANIMAL, or the command-line options that
// stand in for them. An empty field leaves the scene's own default.
struct SceneSettings {
    std::optional<int64_t> panFrames;         // frames between one-pixel pans, at least 1
    std::optional<Animals::Species> animal;  // every animal of this species, the first at once
};

// The settings the two variables give (null: unset). A value a variable does
// not take leaves its field empty, as an absent variable does.
SceneSettings sceneSettingsFromEnvironment(const char* panFrames, const char* animal);

// Each field of `first` that is set, else the same field of `second`.
SceneSettings preferring(const SceneSettings& first, const SceneSettings& second);

}  // namespace quillmoor
