// The Settings dialog, where every option and the user constants are edited,
// and the About box it opens. Windows only.
#pragma once

#include <windows.h>

// The dialog procedure of "SettingDlg", run modally, owned by the main window.
INT_PTR CALLBACK SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The dialog procedure of "ABOUTDLG", run modally, owned by the Settings dialog.
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
