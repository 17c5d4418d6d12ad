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
// Windows registry): Scene ("forest" or "skyline", text), PanFrames (a
// number; none: each scene's own pace), Animal ("moose", "bear" or "fox",
// text; none: any) and ShowFps (the number 0 or 1). The seed is never kept.

// A stored value: text or a 32-bit number (REG_SZ, REG_DWORD).
using StoredValue = std::variant<std::string, uint32_t>;
using StoredValues = std::map<std::string, StoredValue, std::less<>>;

// One stored value and the setting it holds.
struct StoredName {
    std::string_view name;  // "PanFrames"
    SaverSetting setting;
    bool isNumber;
};

std::span<const StoredName> storedNames();

struct StoredRead {
    SaverSettings settings;
    std::vector<std::string> ignored;  // one line for each value not taken
};

// The settings the values hold, from the defaults. A value of the wrong kind,
// one its setting does not take or a scroll speed the settings dialog does
// not offer leaves that setting at its default and gives a line naming it;
// names it does not know are passed over.
StoredRead readStoredSettings(const StoredValues& values);

// The values that keep these settings; a setting at its default has none.
StoredValues storedValuesOf(const SaverSettings& settings);

// The settings dialog's scroll-speed slider: positions from
// fastestDialogPanFrames (slow, at the left) to slowestDialogPanFrames
// (fast), the frames per pan running the other way; the slow end is no
// value, each scene's own pace.
int panSliderPosition(std::optional<int64_t> panFrames);
std::optional<int64_t> panFramesAtSlider(int position);
