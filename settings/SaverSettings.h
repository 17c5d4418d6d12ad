#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "QuillmoorMothwake/Environment.h"
#include "QuillmoorMothwake/PixelSaverView.h"

// The settings every front end offers, whatever its syntax: -scene skyline on
// the command line, ?scene=skyline in a page's URL, a value in a settings
// dialog. Their names, the values they take and how those are read live here
// alone, so each front end only maps its own syntax onto them.

inline constexpr std::string_view defaultSceneName = "forest";

bool isKnownScene(std::string_view name);
std::string knownSceneNames();  // for usage and error messages

// What a user picked. An empty field leaves the default: the scene's own pace
// and animals (or MOTHWAKES_PAN_FRAMES and MOTHWAKES_ANIMAL), a fresh seed
// from the system for every scene.
struct SaverSettings {
    std::string scene{defaultSceneName};
    quillmoor::SceneSettings sceneSettings;  // frames per pan, the one animal
    bool showFps = false;
    std::optional<uint64_t> seed;
    bool grown = false;  // every scene starts stepped to where it looks finished
};

enum class SaverSetting { scene, panFrames, animal, showFps, seed, grown };

// One setting as every front end names and describes it.
struct SaverSettingInfo {
    SaverSetting setting;
    std::string_view name;      // the option and value name: "pan-frames"
    std::string_view problem;   // what a value it does not take is: "bad frames per pan"
    std::string_view expected;  // the values it takes: "1 ... 1000000000"
    bool isSwitch;              // on when named alone (-fps); a value of 1 or 0 also sets it
};

// The largest frames per pan accepted: a column about every 385 days.
inline constexpr int64_t maxPanFrames = 1'000'000'000;

// The scroll speeds a settings dialog offers, as the X11 settings' slider
// does: frames per pan from the slow end, where no value is set and each
// scene keeps its own pace, to the fast end.
inline constexpr int64_t slowestDialogPanFrames = 1800;
inline constexpr int64_t fastestDialogPanFrames = 10;

// The frame at which the named scene looks finished, where a grown start
// begins: the forest's every column filled in, the skyline's city.
int64_t grownFrame(std::string_view scene);

// Every setting, for a front end that lists them all (a settings dialog).
std::span<const SaverSettingInfo> saverSettings();
const SaverSettingInfo* findSaverSetting(std::string_view name);

// Takes text as the value of one setting. A value it does not take leaves
// settings as they were and gives one line naming it, such as
// unknown animal "wolf" (moose, bear, fox).
std::optional<std::string> readSaverSetting(const SaverSettingInfo& info, std::string_view text, SaverSettings& settings);

// The value of one setting as readSaverSetting takes it ("skyline", "300",
// "fox", "1"); none when the setting is left at its default.
std::optional<std::string> saverSettingText(const SaverSettingInfo& info, const SaverSettings& settings);

// Parsers for the values settings and options take. Each accepts the whole
// text or nothing: no leading blanks, no trailing characters.

// A 64-bit number: decimal, or hexadecimal with a 0x prefix.
std::optional<uint64_t> parseSeed(std::string_view text);

// A whole number 0 ... max, decimal digits only (no sign).
std::optional<int64_t> parseCount(std::string_view text, int64_t max);

// The view for the chosen scene. Each of the settings' scene settings wins
// over its environment variable; the variables are read here, when the view
// is made. With grown, the view starts every scene at its grown frame.
std::unique_ptr<quillmoor::PixelSaverView> makeSaverView(const SaverSettings& settings, platform::Host& host,
                                                         platform::Rect frame, bool isPreview);
