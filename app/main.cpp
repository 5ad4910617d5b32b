// The entry point: one running copy, the main window, the settings, and the
// message loop. Exit codes: 0 (also when another copy runs), -1 when the
// window class cannot be registered, 2 when the window cannot be created.
#include <windows.h>

#include <cstring>

#include "app/app_state.h"
#include "app/main_window.h"
#include "eval/evaluate.h"
#include "eval/format.h"
#include "res/resource.h"
#include "settings/constants.h"
#include "settings/persistence.h"
#include "settings/settings.h"

namespace {

// A start-up failure: the string-table text in a box with the default title.
void ShowStartupFailure(HINSTANCE instance, UINT id) {
    char text[256];
    LoadStringA(instance, id, text, sizeof text);
    MessageBoxA(NULL, text, NULL, MB_ICONEXCLAMATION);
}

bool RegisterMainClass(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_BYTEALIGNWINDOW;
    windowClass.lpfnWndProc = WndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, ClassName);
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    // No menu resource has this name: the window gets no menu bar.
    windowClass.lpszMenuName = ClassName;
    windowClass.lpszClassName = ClassName;
    return RegisterClassA(&windowClass) != 0;
}

HWND CreateMainWindow(HINSTANCE instance) {
    return CreateWindowExA(0, ClassName, ClassName,
                           WS_MINIMIZE | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                           CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, NULL, NULL, instance, NULL);
}

// Defaults, runtime flags, and then the stored settings.
void InitializeState(HWND window) {
    SetDefaultSettings();
    ConstCount = 0;
    SettingsDialogOpen = 0;
    ResultWindowOpen = 0;
    ImdWindowOpen = 0;
    TimerPending = 0;
    Operating = 1;
    ShowOperatingState(window);
    WritingClipboard = 0;
    SkipNextNotification = 0;
    PreviousResult = 0.0;
    LoadSettings();
}

// Reopens the windows that were open at the last exit.
void PostReopenCommands(HWND window) {
    if (Settings.ShowResultWindow) PostMessageA(window, WM_SYSCOMMAND, IDM_SHOWRESULT, 0);
    if (Settings.ShowImdWindow) PostMessageA(window, WM_SYSCOMMAND, IDM_SHOWIMD, 0);
}

int RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    std::strcpy(MainTitle, ClassName);
    AppInstance = instance;
    if (FindWindowA(ClassName, NULL) != NULL) {
        MessageBoxA(NULL, "ZARL is already running.", "ZARL", MB_SYSTEMMODAL | MB_ICONEXCLAMATION);
        return 0;
    }
    if (!RegisterMainClass(instance)) {
        ShowStartupFailure(instance, IDS_REGISTER_FAILED);
        return -1;
    }
    MainWindow = CreateMainWindow(instance);
    if (MainWindow == NULL) {
        ShowStartupFailure(instance, IDS_CREATE_FAILED);
        return 2;
    }
    Quitting = 0;
    AppendSystemMenuCommands(MainWindow);
    InitializeState(MainWindow);
    ShowWindow(MainWindow, SW_SHOWMINIMIZED);
    PostReopenCommands(MainWindow);
    int exitCode = RunMessageLoop();
    UnregisterClassA(ClassName, instance);
    return exitCode;
}
