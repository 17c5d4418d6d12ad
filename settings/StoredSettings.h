#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "settings/SaverSettings.h"

// The settings as a store of named values keeps them between runs (the
// Windows registry): Scene ("forest" or "skyline", text), Speed (text in
// decimal as -speed takes it, "2.5"; none: each scene's own pace), Animal
// ("moose", "bear" or "fox", text; none: any) and ShowFps (the number 0 or
// 1). The seed is never kept, nor frames per pan.

// A stored value: text or a 32-bit number (REG_SZ, REG_DWORD).
using StoredValue = std::variant<std::string, uint32_t>;
using StoredValues = std::map<std::string, StoredValue, std::less<>>;

// One stored value and the setting it holds.
struct StoredName {
    std::string_view name;  // "Speed"
    SaverSetting setting;
    bool isNumber;
};

std::span<const StoredName> storedNames();

struct StoredRead {
    SaverSettings settings;
    std::vector<std::string> ignored;  // one line for each value not taken
};

// The settings the values hold, from the defaults. A value of the wrong kind,
// one its setting does not take or a speed the settings dialog does not
// offer leaves that setting at its default and gives a line naming it;
// names it does not know are passed over.
StoredRead readStoredSettings(const StoredValues& values);

// The values that keep these settings; a setting at its default has none.
StoredValues storedValuesOf(const SaverSettings& settings);

// The settings dialog's speed slider, which runs as XScreenSaver's ratio
// slider does: from slowestDialogSpeed at position 0 evenly up to the scene's
// own pace in the middle, then evenly up to fastestDialogSpeed at the right
// end. The middle is no value: each scene's own pace.
inline constexpr int speedSliderPositions = 200;
int speedSliderPosition(std::optional<Speed> speed);
std::optional<Speed> speedAtSlider(int position);
