#include "settings/StoredSettings.h"

#include <algorithm>
#include <limits>

namespace {

constexpr StoredName names[] = {
    {"Scene", SaverSetting::scene, false},
    {"Speed", SaverSetting::speed, false},
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
    const auto speed = candidate.speed;
    if (speed && (speed->millionths < slowestDialogSpeed.millionths || speed->millionths > fastestDialogSpeed.millionths))
        return "speed " + *text + " outside " + speedText(slowestDialogSpeed) + " ... " + speedText(fastestDialogSpeed);
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
            // Every number kept fits: 0 or 1.
            const auto number = parseCount(*text, std::numeric_limits<uint32_t>::max());
            if (number) values.emplace(name.name, static_cast<uint32_t>(*number));
        } else {
            values.emplace(name.name, *text);
        }
    }
    return values;
}

namespace {

constexpr int middle = speedSliderPositions / 2;
// Millionths of the own pace per position on either side of the middle.
constexpr int64_t slowerStep = (ownSpeed.millionths - slowestDialogSpeed.millionths) / middle;
constexpr int64_t fasterStep = (fastestDialogSpeed.millionths - ownSpeed.millionths) / middle;
static_assert(slowerStep * middle == ownSpeed.millionths - slowestDialogSpeed.millionths &&
              fasterStep * middle == fastestDialogSpeed.millionths - ownSpeed.millionths,
              "every position is a whole number of millionths");

// n ÷ d rounded to the nearest whole number, for n, d > 0.
int64_t nearest(int64_t n, int64_t d) { return (2 * n + d) / (2 * d); }

}  // namespace

int speedSliderPosition(std::optional<Speed> speed) {
    const int64_t m = std::clamp(speed.value_or(ownSpeed).millionths, slowestDialogSpeed.millionths,
                                 fastestDialogSpeed.millionths);
    if (m <= ownSpeed.millionths) return static_cast<int>(nearest(m - slowestDialogSpeed.millionths, slowerStep));
    return middle + static_cast<int>(nearest(m - ownSpeed.millionths, fasterStep));
}

std::optional<Speed> speedAtSlider(int position) {
    const int p = std::clamp(position, 0, speedSliderPositions);
    if (p == middle) return std::nullopt;
    if (p < middle) return Speed{slowestDialogSpeed.millionths + slowerStep * p};
    return Speed{ownSpeed.millionths + fasterStep * (p - middle)};
}
