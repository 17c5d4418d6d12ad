#include "settings/StoredSettings.h"

#include <algorithm>
#include <limits>

namespace {

constexpr StoredName names[] = {
    {"Scene", SaverSetting::scene, false},
    {"PanFrames", SaverSetting::panFrames, true},
    {"Animal", SaverSetting::animal, false},
    {"ShowFps", SaverSetting::showFps, true},
};

const SaverSettingInfo& infoOf(SaverSetting setting) {
    const auto all = saverSettings();
    return *std::find_if(all.begin(), all.end(), [&](const auto& info) { return info.setting == setting; });
}

// The value as the text its setting reads, or none when it is of the other kind.
std::optional<std::string> textOf(const StoredName& name, const StoredValue& value) {
    if (name.isNumber) {
        if (const auto* number = std::get_if<uint32_t>(&value)) return std::to_string(*number);
        return std::nullopt;
    }
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    return std::nullopt;
}

// Why the value is not taken, or none when it is (it is then in settings).
std::optional<std::string> readOne(const StoredName& name, const StoredValue& value, SaverSettings& settings) {
    const auto text = textOf(name, value);
    if (!text) return name.isNumber ? "text where a number belongs" : "a number where text belongs";
    SaverSettings candidate = settings;
    if (auto problem = readSaverSetting(infoOf(name.setting), *text, candidate)) return problem;
    const auto frames = candidate.sceneSettings.panFrames;
    if (frames && (*frames < fastestDialogPanFrames || *frames > slowestDialogPanFrames))
        return "scroll speed " + *text + " outside " + std::to_string(fastestDialogPanFrames) + " ... " +
               std::to_string(slowestDialogPanFrames);
    settings = candidate;
    return std::nullopt;
}

}  // namespace

std::span<const StoredName> storedNames() { return names; }

StoredRead readStoredSettings(const StoredValues& values) {
    StoredRead read;
    for (const StoredName& name : names) {
        const auto found = values.find(name.name);
        if (found == values.end()) continue;
        if (auto problem = readOne(name, found->second, read.settings))
            read.ignored.push_back("ignoring stored " + std::string(name.name) + ": " + *problem);
    }
    return read;
}

StoredValues storedValuesOf(const SaverSettings& settings) {
    StoredValues values;
    for (const StoredName& name : names) {
        const auto text = saverSettingText(infoOf(name.setting), settings);
        if (!text) continue;
        if (name.isNumber) {
            // Every number kept fits: frames per pan as the dialog offers them, or 0 and 1.
            const auto number = parseCount(*text, std::numeric_limits<uint32_t>::max());
            if (number) values.emplace(name.name, static_cast<uint32_t>(*number));
        } else {
            values.emplace(name.name, *text);
        }
    }
    return values;
}

int panSliderPosition(std::optional<int64_t> panFrames) {
    const int64_t frames = std::clamp(panFrames.value_or(slowestDialogPanFrames), fastestDialogPanFrames,
                                      slowestDialogPanFrames);
    return static_cast<int>(fastestDialogPanFrames + slowestDialogPanFrames - frames);
}

std::optional<int64_t> panFramesAtSlider(int position) {
    const int64_t frames = fastestDialogPanFrames + slowestDialogPanFrames -
                           std::clamp<int64_t>(position, fastestDialogPanFrames, slowestDialogPanFrames);
    if (frames == slowestDialogPanFrames) return std::nullopt;
    return frames;
}
