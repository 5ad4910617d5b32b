// The Immediate window: an editable drop-down box whose expression is
// evaluated through the clipboard cycle, with its own history, a clear button
// and a Float check box. Run modally with no owner. Windows only.
#pragma once

#include <windows.h>

// The next WM_MOVE of the Immediate window comes from the program's own
// placement and is not answered.
extern int IgnoreImdMove;

// The dialog procedure of "ImdDlg", run with DialogBoxParamA and no owner.
INT_PTR CALLBACK ImdDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Sets ImdWindowPosX/Y so that the Immediate window sits directly on top of
// the Result window (or 40 above its stored place when it is not open).
void PlaceImdAboveResult(HWND imdWindow);
