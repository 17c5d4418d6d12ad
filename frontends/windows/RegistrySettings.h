#pragma once

#include <optional>
#include <string>

#include "settings/StoredSettings.h"

namespace platform {

// Where the Windows saver keeps its settings:
// HKEY_CURRENT_USER\Software\Quillmoor Mothwake.
inline constexpr const wchar_t* settingsKeyPath = L"Software\\Quillmoor Mothwake";

// The stored names' values that are text (REG_SZ) or 32-bit numbers
// (REG_DWORD); values of other types and a missing key give none.
StoredValues readRegistrySettings();

// Writes these values and deletes the other stored names' values, making the
// key when it is not there. On failure, one line saying what failed.
std::optional<std::string> writeRegistrySettings(const StoredValues& values);

}  // namespace platform
