#pragma once

#include <windows.h>

#include "settings/SaverSettings.h"

namespace platform {

enum class DialogAnswer { ok, cancel, failed };

// Shows the settings dialog (the program's resource IDD_SETTINGS), modal to
// owner (none: no owner), with the controls set from `settings`. After OK
// `settings` holds what was chosen; the seed is left as it was. Nothing is
// stored here: the caller keeps the settings.
DialogAnswer showSettingsDialog(HWND owner, SaverSettings& settings);

}  // namespace platform
