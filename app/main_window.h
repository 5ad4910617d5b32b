// The main window: minimized for the whole run, a member of the
// clipboard-viewer chain, with four commands on its system menu.
#pragma once

#include <windows.h>

// The window procedure of class "ZARL", exported under this name.
extern "C" __declspec(dllexport) LRESULT CALLBACK
    WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Builds MainTitle and the check mark of "&Operating" from Operating, and
// sets the title.
void ShowOperatingState(HWND window);

// Appends the separator and the four commands to the system menu.
void AppendSystemMenuCommands(HWND window);
