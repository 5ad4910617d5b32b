// The main window's procedure. The window draws nothing and stays minimized;
// it joins the clipboard-viewer chain, starts an evaluation cycle for every
// clipboard change (at once or after the delay), and carries the system-menu
// commands. Modal loops (message boxes, dialogs) re-enter this procedure, so
// the flags in app_state.h guard everything that must not run twice.
#include "app/main_window.h"

#include <cstring>

#include "app/app_state.h"
#include "app/cycle.h"
#include "res/resource.h"
#include "settings/persistence.h"
#include "settings/settings.h"
#include "settings/settings_dialog.h"
#include "windows/imd_window.h"
#include "windows/result_window.h"

HINSTANCE AppInstance;
HWND MainWindow;
HWND ResultWindow;
HWND ImdWindow;
HWND NextViewer;
char MainTitle[MainTitleSize];
int Operating;
int Quitting;
int TimerPending;
int SettingsDialogOpen;
int ResultWindowOpen;
int ImdWindowOpen;
int SkipNextNotification;
int WritingClipboard;
int OwnWriteKnown;
DWORD OwnWriteSequence;

namespace {

constexpr UINT_PTR DelayTimer = 1;

// "Show Immediate Window" as this window re-posts it to itself (see
// ToggleImdWindow). Menu ids are 16 bits wide, so no menu command or system
// command can carry this value.
constexpr WPARAM RepostedShowImd = 0x10000 | IDM_SHOWIMD;

void ShowTimerFailure() {
    MessageBoxA(NULL, "Failed to get a timer.", "ZARL", MB_SYSTEMMODAL | MB_ICONEXCLAMATION);
}

// A notification caused by the program's own write: inside the write (the
// two flags), or passed on late by a viewer ahead in the chain (the
// clipboard still holds that write).
bool IsOwnWrite() {
    if (SkipNextNotification) {
        SkipNextNotification = 0;
        return true;
    }
    if (WritingClipboard) return true;
    if (OwnWriteKnown && GetClipboardSequenceNumber() == OwnWriteSequence) return true;
    // Reading the clipboard can change its sequence number (formats made on
    // request, such as Wine's Unicode text for another program), so the
    // owner decides too: a window of this program owns only its own writes.
    return ClipboardHoldsOwnWrite();
}

LRESULT OnDrawClipboard(HWND window, WPARAM wParam, LPARAM lParam) {
    // The chain comes first, whatever follows.
    if (NextViewer != NULL) SendMessageA(NextViewer, WM_DRAWCLIPBOARD, wParam, lParam);
    if (IsOwnWrite() || !Operating) return 0;
    if (Settings.Delay > 0) {
        // Setting the timer again while it runs restarts it: a burst of
        // changes gives one cycle, after the last.
        if (SetTimer(window, DelayTimer, Settings.Delay, NULL) != 0) {
            TimerPending = 1;
        } else {
            ShowTimerFailure();
            TimerPending = 0;
        }
        return 0;
    }
    RunEvaluationCycle(window, false, NULL);
    return 0;
}

LRESULT OnChangeClipboardChain(WPARAM wParam, LPARAM lParam) {
    HWND leaving = reinterpret_cast<HWND>(wParam);
    if (leaving == NextViewer) {
        NextViewer = reinterpret_cast<HWND>(lParam);
    } else if (NextViewer != NULL) {
        SendMessageA(NextViewer, WM_CHANGECBCHAIN, wParam, lParam);
    }
    return 0;
}

LRESULT OnTimer(HWND window) {
    KillTimer(window, DelayTimer);
    TimerPending = 0;
    RunEvaluationCycle(window, false, NULL);
    return 0;
}

LRESULT OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SetBkMode(dc, TRANSPARENT);
    EndPaint(window, &paint);
    return 0;
}

LRESULT OnClose(HWND window) {
    Quitting = 1;
    SaveSettings();
    if (ResultWindowOpen) DestroyWindow(ResultWindow);
    if (ImdWindowOpen) DestroyWindow(ImdWindow);
    DestroyWindow(window);
    return 0;
}

LRESULT OnDestroy(HWND window) {
    Quitting = 1;
    ChangeClipboardChain(window, NextViewer);
    if (TimerPending) KillTimer(window, DelayTimer);
    WinHelpA(window, HelpFile, HELP_QUIT, 0);
    PostQuitMessage(0);
    return 0;
}

LRESULT OnQueryOpen(HWND window) {
    if (!SettingsDialogOpen) PostMessageA(window, UM_SHOWSETTINGS, 0, 0);
    return 0;  // stay minimized
}

LRESULT OnShowSettings(HWND window) {
    if (SettingsDialogOpen) return 0;
    DialogBoxParamA(AppInstance, "SettingDlg", window, SettingsDlgProc, 0);
    // "&END ZARL" closes this window from inside the dialog.
    if (Quitting || !IsWindow(window)) return 0;
    ShowOperatingState(window);
    return 0;
}

// The attach rule on the Result side: with AttachResToImd the partner opens
// and closes too, relayed through this window with an origin marker, unless
// the command came from the partner itself or from the Settings dialog
// (which acts on one window only).
LRESULT ToggleResultWindow(HWND window, LPARAM origin) {
    bool attached = Settings.AttachResToImd != 0;
    if (ResultWindowOpen) {
        if (attached && origin != ORIGIN_IMD && origin != ORIGIN_SETTINGS && ImdWindowOpen) {
            PostMessageA(window, WM_SYSCOMMAND, IDM_SHOWIMD, ORIGIN_RESULT);
        }
        DestroyWindow(ResultWindow);  // its WM_DESTROY saves its place
        if (Settings.ShowResultWindow) {
            Settings.ShowResultWindow = 0;
            SaveSettings();
        }
        return 0;
    }
    if (attached && origin != ORIGIN_SETTINGS && !ImdWindowOpen && !Settings.ShowImdWindow) {
        PostMessageA(window, WM_SYSCOMMAND, IDM_SHOWIMD, ORIGIN_RESULT);
    }
    CreateDialogParamA(AppInstance, "ResultDlg", NULL, ResultDlgProc, 0);
    return 0;
}

// The attach rule on the Immediate side. Opening an attached pair starts
// with the Result window, whose relay opens this one once it exists.
LRESULT ToggleImdWindow(HWND window, LPARAM origin, bool reposted) {
    // A command sent from another thread or program runs inside the
    // GetMessage of whichever loop waits, perhaps the Immediate window's own
    // dialog loop. Destroying the window there makes that loop take the next
    // posted message (such as the relay below) and return without
    // dispatching it; opening the window there keeps the sender waiting until
    // the window closes. Posted to this window, the command runs from a
    // loop's dispatch instead.
    // It is re-posted once only: InSendMessage also answers true for a posted
    // message that a modal loop (a message box) dispatches while it runs
    // inside the handler of a sent message (WM_DRAWCLIPBOARD), and re-posting
    // from there would bring the command straight back, for as long as the
    // box stays up.
    if (!reposted && InSendMessage()) {
        PostMessageA(window, WM_SYSCOMMAND, RepostedShowImd, origin);
        return 0;
    }
    bool attached = Settings.AttachResToImd != 0;
    bool fromPartnerOrSettings = origin == ORIGIN_RESULT || origin == ORIGIN_SETTINGS;
    if (ImdWindowOpen) {
        if (attached && !fromPartnerOrSettings && ResultWindowOpen) {
            PostMessageA(window, WM_SYSCOMMAND, IDM_SHOWRESULT, ORIGIN_IMD);
        }
        DestroyWindow(ImdWindow);  // its WM_DESTROY saves its place
        if (Settings.ShowImdWindow) {
            Settings.ShowImdWindow = 0;
            SaveSettings();
        }
        return 0;
    }
    if (attached && !fromPartnerOrSettings && !ResultWindowOpen && !Settings.ShowResultWindow) {
        PostMessageA(window, WM_SYSCOMMAND, IDM_SHOWRESULT, ORIGIN_IMD);
        return 0;
    }
    // Returns when the Immediate window has ended; its loop serves the whole
    // thread meanwhile, this procedure included.
    DialogBoxParamA(AppInstance, "ImdDlg", NULL, ImdDlgProc, 0);
    return 0;
}

LRESULT OnSysCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    // The ids 1 to 4 lie in the four low bits that Windows reserves in
    // WM_SYSCOMMAND for its own use, so they are compared exactly, never
    // masked.
    switch (wParam) {
        case IDM_OPERATING:
            Operating = !Operating;
            ShowOperatingState(window);
            return 0;
        case IDM_HELP: WinHelpA(window, HelpFile, HELP_FINDER, 0); return 0;
        case IDM_SHOWRESULT: return ToggleResultWindow(window, lParam);
        case IDM_SHOWIMD: return ToggleImdWindow(window, lParam, false);
        case RepostedShowImd: return ToggleImdWindow(window, lParam, true);
        default: return DefWindowProcA(window, WM_SYSCOMMAND, wParam, lParam);
    }
}

}  // namespace

void ShowOperatingState(HWND window) {
    std::strcpy(MainTitle, ClassName);
    std::strcat(MainTitle, Operating ? "-Operating" : "-Pausing");
    CheckMenuItem(GetSystemMenu(window, FALSE), IDM_OPERATING,
                  MF_BYCOMMAND | (Operating ? MF_CHECKED : MF_UNCHECKED));
    SetWindowTextA(window, MainTitle);
}

void AppendSystemMenuCommands(HWND window) {
    HMENU menu = GetSystemMenu(window, FALSE);
    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuA(menu, MF_STRING, IDM_OPERATING, "&Operating");
    AppendMenuA(menu, MF_STRING, IDM_SHOWRESULT, "Show Resu&lt Window");
    AppendMenuA(menu, MF_STRING, IDM_SHOWIMD, "Show &Immediate Window");
    AppendMenuA(menu, MF_STRING, IDM_HELP, "&Help");
}

extern "C" LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            NextViewer = SetClipboardViewer(window);
            AppInstance = reinterpret_cast<CREATESTRUCTA*>(lParam)->hInstance;
            return 0;
        case WM_DESTROY: return OnDestroy(window);
        case WM_MOVE: return 0;
        case WM_SIZE:
            // Any size change minimizes the window again.
            if (!IsIconic(window)) CloseWindow(window);
            return 0;
        case WM_PAINT: return OnPaint(window);
        case WM_CLOSE: return OnClose(window);
        case WM_QUERYOPEN: return OnQueryOpen(window);
        case UM_SHOWSETTINGS: return OnShowSettings(window);
        case WM_SYSCOMMAND: return OnSysCommand(window, wParam, lParam);
        case WM_TIMER: return OnTimer(window);
        case WM_DRAWCLIPBOARD: return OnDrawClipboard(window, wParam, lParam);
        case WM_CHANGECBCHAIN: return OnChangeClipboardChain(wParam, lParam);
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}
