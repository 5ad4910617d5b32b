// The Immediate window: an editable drop-down box whose text goes through the
// evaluation cycle in immediate mode (the result lands on the clipboard and
// in the Result window, not here), with the list of the expressions typed, a
// clear button and a Float check box. With AttachResToImd the Result window
// hangs below this one and moves, floats and closes with it.
//
// The window runs modally (DialogBoxParamA with no owner, from the main
// window's command), and its dialog loop serves the whole thread meanwhile:
// the main window's procedure, and with it the command that destroys this
// window from outside, runs nested inside that loop.
#include "windows/imd_window.h"

#include "app/app_state.h"
#include "app/cycle.h"
#include "res/resource.h"
#include "settings/persistence.h"
#include "settings/settings.h"
#include "windows/aux_window.h"
#include "windows/result_window.h"

int IgnoreImdMove;

namespace {

// The longest expression evaluated; the buffer takes one character more, so
// that a longer text is recognised as such.
constexpr int LongestExpression = 1024;
constexpr int ImdTextSize = LongestExpression + 2;
char ImdText[ImdTextSize];

// The expression list keeps this many texts, newest first.
constexpr int ExpressionListLength = 32;

// Evaluated instead of an over-long text: it is no valid expression, so the
// Result window records the failure.
const char FailedExpression[] = "Failed to evaluate";
const char TooLongText[] = "The text in the immediate window is too long.";
const char TooLongTitle[] = "ZARL-Failed to evaluate";

// The window the program knows as its open Immediate window; no longer so
// once its closing bookkeeping has run.
bool IsOpenImdWindow(HWND window) {
    return ImdWindowOpen && ImdWindow == window;
}

BOOL OpenImdWindow(HWND window) {
    ImdWindow = window;
    ImdWindowOpen = 1;
    // Saved at once, so a window open when the program ends comes back at
    // the next start.
    Settings.ShowImdWindow = 1;
    SaveSettings();
    MarkShowCommand(IDM_SHOWIMD, true);
    // Always the stored place, attached or not. This move is not marked as
    // the program's own: its WM_MOVE brings an attached Result window along.
    LoadImdWindowPos();
    MoveToScreenPoint(window, Settings.ImdWindowPosX, Settings.ImdWindowPosY);
    if (Settings.ImdWindowFloat) SetFloating(window, true);
    CheckFloatBox(window, Settings.ImdWindowFloat != 0);
    return TRUE;
}

// A move of this window, by the user or at its opening, drags an attached
// Result window along below it.
void DragResultAlong(HWND window) {
    if (IgnoreImdMove) {
        IgnoreImdMove = 0;
        return;
    }
    if (!IsOpenImdWindow(window)) return;
    if (Settings.AttachResToImd && ResultWindowOpen) {
        PlaceResultBelowImd();
        MoveResultWindow(ResultWindow);
    }
}

// UM_PLACEIMD: the user moved the attached Result window; this window sits
// down on top of it.
void SitOnResultWindow(HWND window) {
    PlaceImdAboveResult(window);
    IgnoreResultMove = 0;
    // The WM_MOVE of this move arrives inside SetWindowPos; the flag is
    // cleared afterwards too, as a window already in place gets none.
    IgnoreImdMove = 1;
    MoveToScreenPoint(window, Settings.ImdWindowPosX, Settings.ImdWindowPosY);
    IgnoreImdMove = 0;
    if (Settings.ImdWindowFloat) SetFloating(window, true);
}

void SaveImdPlace(HWND window) {
    RECT rect;
    if (GetWindowRect(window, &rect)) {
        Settings.ImdWindowPosX = rect.left;
        Settings.ImdWindowPosY = rect.top;
    }
    SaveImdWindowPos();
}

// Runs once per window, whichever way it ends (WM_ENDSESSION may be
// followed by a destroy).
void RunClosingBookkeeping(HWND window) {
    if (!IsOpenImdWindow(window)) return;
    SaveImdPlace(window);
    ImdWindowOpen = 0;
    ImdWindow = NULL;
    SaveSettings();
    MarkShowCommand(IDM_SHOWIMD, false);
    WinHelpA(window, HelpFile, HELP_QUIT, 0);
}

// When DestroyWindow comes from outside, the dialog loop notices that its
// window is gone only when its GetMessage returns. If the destroy ran inside
// a message sent from another thread or process, GetMessage goes on waiting
// for a posted message, and the command that opened this window does not
// return until one arrives. A posted WM_NULL (as EndDialog posts one) wakes
// the loop; any other loop that gets it ignores it.
void OnDestroy(HWND window) {
    RunClosingBookkeeping(window);
    PostMessageA(NULL, WM_NULL, 0, 0);
}

// ending is WM_ENDSESSION's first parameter. When it is FALSE the session
// goes on and so does this window, which must stay known to the program;
// only its place and the settings are saved then.
void OnEndSession(HWND window, bool ending) {
    if (ending) {
        RunClosingBookkeeping(window);
    } else if (IsOpenImdWindow(window)) {
        SaveImdPlace(window);
        SaveSettings();
    }
}

// The Close box. The dialog manager answers the FALSE that follows with
// command 2, which ends the dialog; the bookkeeping runs at WM_DESTROY.
void CloseByCloseBox(HWND window) {
    if (!IsOpenImdWindow(window)) return;
    // ShowResultWindow is clear when the partner's own Close box started
    // this, so the two windows do not close each other in turn.
    if (Settings.AttachResToImd && ResultWindowOpen && Settings.ShowResultWindow) {
        if (!Quitting) {
            Settings.ShowImdWindow = 0;
            PostMessageA(ResultWindow, WM_CLOSE, 0, 0);
        }
    } else if (!Quitting) {
        Settings.ShowImdWindow = 0;
    }
}

// The "=" button, or Enter. A text longer than LongestExpression fills the
// buffer, so the count read tells it apart from one that fits exactly.
void EvaluateExpression(HWND window) {
    int length = static_cast<int>(GetDlgItemTextA(window, IDC_EXPRESSION, ImdText, ImdTextSize));
    if (length <= 0) return;
    if (length <= LongestExpression) {
        SendDlgItemMessageA(window, IDC_EXPRESSION, CB_DELETESTRING, ExpressionListLength - 1, 0);
        SendDlgItemMessageA(window, IDC_EXPRESSION, CB_INSERTSTRING, 0,
                            reinterpret_cast<LPARAM>(ImdText));
        RunEvaluationCycle(window, true, ImdText);
        return;
    }
    RunEvaluationCycle(window, true, FailedExpression);
    MessageBoxA(window, TooLongText, TooLongTitle, MB_ICONERROR);
}

// origin is ORIGIN_RESULT when the attached Result window relays its own
// switch; its value then decides, and nothing is relayed back. The new value
// is saved with the next SaveSettings.
void SwitchFloat(HWND window, LPARAM origin) {
    bool attached = Settings.AttachResToImd != 0;
    bool relayed = attached && origin == ORIGIN_RESULT;
    if (relayed) {
        Settings.ImdWindowFloat = Settings.ResultWindowFloat != 0;
        CheckFloatBox(window, Settings.ImdWindowFloat != 0);
    } else {
        Settings.ImdWindowFloat = FloatBoxChecked(window);
    }
    SetFloating(window, Settings.ImdWindowFloat != 0);
    if (attached && origin != ORIGIN_RESULT &&
        (Settings.ImdWindowFloat != 0) != (Settings.ResultWindowFloat != 0) && ResultWindowOpen) {
        PostMessageA(ResultWindow, WM_COMMAND, IDC_FLOAT, ORIGIN_IMD);
    }
}

BOOL OnCommand(HWND window, WORD id, LPARAM lParam) {
    switch (id) {
        case IDOK:
        case IDCANCEL:
            // Esc, or the Close box through the dialog manager. Esc ends this
            // window alone and leaves ShowImdWindow set.
            EndDialog(window, 1);
            return TRUE;
        case IDC_CLEAR: SetDlgItemTextA(window, IDC_EXPRESSION, ""); return TRUE;
        case IDC_EVALUATE: EvaluateExpression(window); return TRUE;
        case IDC_FLOAT: SwitchFloat(window, lParam); return TRUE;
        default: return FALSE;
    }
}

}  // namespace

void PlaceImdAboveResult(HWND imdWindow) {
    RECT result;
    RECT own;
    if (ResultWindowOpen && GetWindowRect(ResultWindow, &result) &&
        GetWindowRect(imdWindow, &own)) {
        Settings.ImdWindowPosX = result.left;
        Settings.ImdWindowPosY = result.top - (own.bottom - own.top);
    } else {
        // The Result window closed after it asked for this placement.
        Settings.ImdWindowPosX = Settings.ResultWindowPosX;
        Settings.ImdWindowPosY = Settings.ResultWindowPosY - PairDistanceY;
    }
}

INT_PTR CALLBACK ImdDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return OpenImdWindow(window);
        case WM_MOVE: DragResultAlong(window); return FALSE;
        case UM_PLACEIMD:
            // UM_PLACEIMD is WM_USER+2, the dialog manager's DM_REPOSITION.
            // Returning TRUE keeps the dialog manager from repositioning the
            // window as well, which would pull it back inside the screen's
            // work area, away from the Result window it has just sat on.
            SitOnResultWindow(window);
            return TRUE;
        case WM_CLOSE: CloseByCloseBox(window); return FALSE;
        case WM_DESTROY: OnDestroy(window); return FALSE;
        case WM_ENDSESSION: OnEndSession(window, wParam != FALSE); return FALSE;
        case WM_HELP:
            // F1 or the caption's help button, whichever control asks.
            WinHelpA(window, HelpFile, HELP_CONTEXT, HELP_IMDWINDOW);
            return TRUE;
        case WM_COMMAND: return OnCommand(window, LOWORD(wParam), lParam);
        default: return FALSE;
    }
}
