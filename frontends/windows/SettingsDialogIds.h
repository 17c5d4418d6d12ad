// The settings dialog's resource and control ids, shared by the program's
// resource script and the code that runs the dialog.
#pragma once

#define IDD_SETTINGS 100
#define IDC_SCENE 1001
#define IDC_SPEED 1002
#define IDC_ANIMAL 1003
#define IDC_FPS 1004
#define IDC_DEFAULTS 1005
