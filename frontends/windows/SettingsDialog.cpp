#include "frontends/windows/SettingsDialog.h"

#include <commctrl.h>

#include <string>
#include <string_view>

#include "frontends/windows/SettingsDialogIds.h"
#include "settings/StoredSettings.h"

namespace platform {

namespace {

// A choice in a list and the setting's value it stands for ("": the default).
struct Choice {
    std::string_view value;
    const wchar_t* label;
};

constexpr Choice scenes[] = {{"forest", L"Night forest"}, {"skyline", L"City skyline"}};
constexpr Choice animals[] = {{"", L"Any animal"}, {"moose", L"Only moose"}, {"bear", L"Only bears"}, {"fox", L"Only foxes"}};

// The slider's page (Page Up, Page Down, a click beside the thumb) and ticks:
// a tenth of its range, so that the middle, each scene's own pace, has a tick.
constexpr int sliderPage = speedSliderPositions / 10;

const SaverSettingInfo& settingNamed(std::string_view name) { return *findSaverSetting(name); }

LRESULT send(HWND dialog, int control, UINT message, WPARAM w = 0, LPARAM l = 0) {
    return SendDlgItemMessageW(dialog, control, message, w, l);
}

template <std::size_t n>
void fillList(HWND dialog, int control, const Choice (&choices)[n]) {
    for (const Choice& choice : choices) send(dialog, control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.label));
}

template <std::size_t n>
void selectValue(HWND dialog, int control, const Choice (&choices)[n], std::string_view value) {
    for (std::size_t i = 0; i < n; ++i)
        if (choices[i].value == value) send(dialog, control, CB_SETCURSEL, i);
}

template <std::size_t n>
std::string_view selectedValue(HWND dialog, int control, const Choice (&choices)[n]) {
    const LRESULT index = send(dialog, control, CB_GETCURSEL);
    return index >= 0 && static_cast<std::size_t>(index) < n ? choices[static_cast<std::size_t>(index)].value : choices[0].value;
}

// The dialog's one piece of state: the settings it was given, whose seed it keeps.
class SettingsDialog {
public:
    explicit SettingsDialog(SaverSettings& settings) : settings_(settings) {}

    static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM w, LPARAM l) {
        if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, l);
        auto* self = reinterpret_cast<SettingsDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
        return self ? self->handle(dialog, message, w) : FALSE;
    }

private:
    INT_PTR handle(HWND dialog, UINT message, WPARAM w) {
        if (message == WM_INITDIALOG) {
            prepare(dialog);
            show(dialog, settings_);
            return TRUE;  // the first control takes the focus
        }
        if (message != WM_COMMAND) return FALSE;
        switch (LOWORD(w)) {
        case IDOK:
            settings_ = chosen(dialog);
            EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        case IDC_DEFAULTS: show(dialog, SaverSettings{}); return TRUE;
        default: return FALSE;
        }
    }

    static void prepare(HWND dialog) {
        fillList(dialog, IDC_SCENE, scenes);
        fillList(dialog, IDC_ANIMAL, animals);
        send(dialog, IDC_SPEED, TBM_SETRANGEMIN, FALSE, 0);
        send(dialog, IDC_SPEED, TBM_SETRANGEMAX, FALSE, speedSliderPositions);
        send(dialog, IDC_SPEED, TBM_SETPAGESIZE, 0, sliderPage);
        send(dialog, IDC_SPEED, TBM_SETTICFREQ, sliderPage);
    }

    static void show(HWND dialog, const SaverSettings& settings) {
        selectValue(dialog, IDC_SCENE, scenes, settings.scene);
        selectValue(dialog, IDC_ANIMAL, animals, saverSettingText(settingNamed("animal"), settings).value_or(""));
        send(dialog, IDC_SPEED, TBM_SETPOS, TRUE, speedSliderPosition(settings.speed));
        CheckDlgButton(dialog, IDC_FPS, settings.showFps ? BST_CHECKED : BST_UNCHECKED);
    }

    // The settings the controls show, through the same table as every
    // other front end's; every choice the controls offer is a value it takes.
    SaverSettings chosen(HWND dialog) const {
        SaverSettings settings;
        settings.seed = settings_.seed;
        readSaverSetting(settingNamed("scene"), selectedValue(dialog, IDC_SCENE, scenes), settings);
        if (const auto animal = selectedValue(dialog, IDC_ANIMAL, animals); !animal.empty())
            readSaverSetting(settingNamed("animal"), animal, settings);
        if (const auto speed = speedAtSlider(static_cast<int>(send(dialog, IDC_SPEED, TBM_GETPOS))))
            readSaverSetting(settingNamed("speed"), speedText(*speed), settings);
        readSaverSetting(settingNamed("fps"), IsDlgButtonChecked(dialog, IDC_FPS) == BST_CHECKED ? "1" : "0", settings);
        return settings;
    }

    SaverSettings& settings_;
};

}  // namespace

DialogAnswer showSettingsDialog(HWND owner, SaverSettings& settings) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    if (!InitCommonControlsEx(&controls)) return DialogAnswer::failed;
    SettingsDialog dialog(settings);
    const INT_PTR answer = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), owner,
                                           &SettingsDialog::procedure, reinterpret_cast<LPARAM>(&dialog));
    if (answer == IDOK) return DialogAnswer::ok;
    if (answer == IDCANCEL) return DialogAnswer::cancel;
    return DialogAnswer::failed;
}

}  // namespace platform
