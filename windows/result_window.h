// The Result window: a modeless tool window with the history of the last 32
// results, a Copy button and a Float check box. Windows only.
#pragma once

#include <windows.h>

// The next WM_MOVE of the Result window comes from the program's own
// placement and is not answered.
extern int IgnoreResultMove;

// With the partner window closed, the stored places of an attached pair lie
// this many pixels apart, the Result window below.
constexpr int PairDistanceY = 40;

// The dialog procedure of "ResultDlg", created modeless with no owner.
INT_PTR CALLBACK ResultDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Sets ResultWindowPosX/Y so that the Result window hangs directly below the
// Immediate window (or 40 below its stored place when it is not open).
void PlaceResultBelowImd();

// Moves the Result window to ResultWindowPosX/Y as the program's own move,
// which its WM_MOVE does not answer, and raises it again if it floats.
void MoveResultWindow(HWND resultWindow);
