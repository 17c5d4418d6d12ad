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

// A pace relative to the scene's own, in millionths: 1000000 is the scene's
// own pace, 2000000 twice as fast, 500000 half as fast.
struct Speed {
    int64_t millionths;
    friend bool operator==(Speed, Speed) = default;
};

inline constexpr Speed ownSpeed{1'000'000};
inline constexpr Speed slowestSpeed{10'000};            // 0.01: a hundredth of the own pace
inline constexpr Speed fastestSpeed{1'000'000'000};     // 1000

// What a user picked. An empty field leaves the default: the scene's own pace
// and animals (or MOTHWAKES_PAN_FRAMES and MOTHWAKES_ANIMAL), a fresh seed
// from the system for every scene. Frames per pan, set or from the
// environment, win over a speed.
struct SaverSettings {
    std::string scene{defaultSceneName};
    quillmoor::SceneSettings sceneSettings;  // frames per pan, the one animal
    std::optional<Speed> speed;
    bool showFps = false;
    std::optional<uint64_t> seed;
    bool grown = false;  // every scene starts stepped to where it looks finished
};

enum class SaverSetting { scene, speed, panFrames, animal, showFps, seed, grown };

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

// The speeds a settings dialog offers, as the X11 settings' slider does:
// a quarter of each scene's own pace to thirty times it.
inline constexpr Speed slowestDialogSpeed{250'000};
inline constexpr Speed fastestDialogSpeed{30'000'000};

// Frames (1/30 s each) per one-column pan of a scene at its own pace.
int64_t ownPanFrames(std::string_view scene);

// Frames per pan at a speed relative to a scene's own pace of ownFrames:
// ownFrames ÷ speed, rounded to the nearest whole frame (halves up), at
// least 1. One speed thus means the same to every scene.
int64_t panFramesAtSpeed(int64_t ownFrames, Speed speed);

// The frames per pan the settings give the chosen scene: those set, else
// MOTHWAKES_PAN_FRAMES (its text, null when unset), else the speed applied to
// the scene's own pace; none when nothing is set (the scene's own pace).
std::optional<int64_t> chosenPanFrames(const SaverSettings& settings, const char* environmentPanFrames);

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

// A speed written in decimal: digits, then optionally a point and up to six
// more digits ("2", "0.25", "12.5"). No sign, no exponent. A comma may stand
// for the point, as a settings window writes it in a locale that uses one.
std::optional<Speed> parseSpeed(std::string_view text);

// The speed in the shortest decimal parseSpeed reads back: "2", "0.25".
std::string speedText(Speed speed);

// The view for the chosen scene. Each of the settings' scene settings wins
// over its environment variable; the variables are read here, when the view
// is made. With grown, the view starts every scene at its grown frame.
std::unique_ptr<quillmoor::PixelSaverView> makeSaverView(const SaverSettings& settings, platform::Host& host,
                                                         platform::Rect frame, bool isPreview);
