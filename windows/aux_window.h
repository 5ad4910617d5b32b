// What the Result and Immediate windows do alike: the two SetWindowPos calls
// of their placement and float switch, the Float check box, and the check
// mark of their command on the main window's system menu. Windows only.
#pragma once

#include <windows.h>

#include "app/app_state.h"
#include "res/resource.h"

// Moves window to the screen point (x, y), keeping its size and without
// activating it. HWND_NOTOPMOST drops the topmost state as a side effect;
// a floating window is raised again by SetFloating afterwards.
inline void MoveToScreenPoint(HWND window, int x, int y) {
    SetWindowPos(window, HWND_NOTOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

// Keeps window above all others (topmost) or lets others cover it again.
inline void SetFloating(HWND window, bool floating) {
    SetWindowPos(window, floating ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}

inline void CheckFloatBox(HWND window, bool floating) {
    CheckDlgButton(window, IDC_FLOAT, floating ? BST_CHECKED : BST_UNCHECKED);
}

inline bool FloatBoxChecked(HWND window) {
    return IsDlgButtonChecked(window, IDC_FLOAT) == BST_CHECKED;
}

// The check mark of "Show Resu&lt Window" or "Show &Immediate Window". At the
// program's end the main window may already be gone; GetSystemMenu then
// gives NULL and CheckMenuItem does nothing.
inline void MarkShowCommand(UINT command, bool shown) {
    CheckMenuItem(GetSystemMenu(MainWindow, FALSE), command,
                  MF_BYCOMMAND | (shown ? MF_CHECKED : MF_UNCHECKED));
}
