// The evaluation cycle: a text from the clipboard (or typed in the Immediate
// window) through the evaluator and back to the clipboard. Windows only.
#pragma once

#include <windows.h>

// Runs one cycle on behalf of window: in clipboard mode (immediate false) on
// the clipboard's text, in immediate mode on text.
void RunEvaluationCycle(HWND window, bool immediate, const char* text);

// The clipboard holds this program's own write: its owner is one of the
// program's windows.
bool ClipboardHoldsOwnWrite();

// The "Out of memory." box, owned by window.
void ShowOutOfMemory(HWND window);
