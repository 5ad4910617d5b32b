// The Result window: the history of recent results (the evaluation cycle
// fills IDC_HISTORY), a Copy button that puts the selected entry back on the
// clipboard, and a Float check box. With AttachResToImd it hangs below the
// Immediate window and moves, floats and closes together with it.
//
// The window is modeless and lives on the main message loop, which does no
// dialog-message translation; while the Immediate window is up, that
// window's modal loop dispatches this window's messages.
#include "windows/result_window.h"

#include <cstring>

#include "app/app_state.h"
#include "app/cycle.h"
#include "res/resource.h"
#include "settings/persistence.h"
#include "settings/settings.h"
#include "windows/aux_window.h"

int IgnoreResultMove;

namespace {

// A history entry of this many characters or more is not copied.
constexpr int CopyTextSize = 1024;
char CopyText[CopyTextSize];

// The window the program knows as its open Result window. A window whose
// closing bookkeeping has run is no longer it, even while it still exists
// (between its WM_CLOSE and its destruction).
bool IsOpenResultWindow(HWND window) {
    return ResultWindowOpen && ResultWindow == window;
}

// Takes the place at creation and on UM_PLACERESULT: below the Immediate
// window when attached, else where the window was last closed.
void PlaceResultWindow(HWND window) {
    if (Settings.AttachResToImd) {
        PlaceResultBelowImd();
    } else {
        LoadResultWindowPos();
    }
    MoveResultWindow(window);
    CheckFloatBox(window, Settings.ResultWindowFloat != 0);
}

BOOL OpenResultWindow(HWND window) {
    ResultWindow = window;
    ResultWindowOpen = 1;
    // Saved at once, so a window open when the program ends opens again at
    // the next start.
    Settings.ShowResultWindow = 1;
    SaveSettings();
    MarkShowCommand(IDM_SHOWRESULT, true);
    PlaceResultWindow(window);
    return TRUE;
}

// A move by the user makes the attached Immediate window jump on top of
// this one. The message is posted: the Immediate window moves after this
// move is complete.
void AnswerMove(HWND window) {
    if (!Settings.AttachResToImd || !IsOpenResultWindow(window)) return;
    if (IgnoreResultMove) {
        IgnoreResultMove = 0;
        return;
    }
    if (ImdWindowOpen) PostMessageA(ImdWindow, UM_PLACEIMD, 0, 0);
}

void SaveResultPlace(HWND window) {
    RECT rect;
    if (GetWindowRect(window, &rect)) {
        Settings.ResultWindowPosX = rect.left;
        Settings.ResultWindowPosY = rect.top;
    }
    SaveResultWindowPos();
}

// Runs once per window, whichever way it ends: the Close box runs it from
// WM_CLOSE and the window's WM_DESTROY follows; WM_ENDSESSION may be
// followed by a destroy as well.
void RunClosingBookkeeping(HWND window) {
    if (!IsOpenResultWindow(window)) return;
    SaveResultPlace(window);
    ResultWindowOpen = 0;
    ResultWindow = NULL;
    SaveSettings();
    MarkShowCommand(IDM_SHOWRESULT, false);
    WinHelpA(window, HelpFile, HELP_QUIT, 0);
}

// ending is WM_ENDSESSION's first parameter. When it is FALSE the session
// goes on (a program refused to end it) and so does this window: forgetting
// it would leave a live window that the program no longer fills, closes or
// saves. Then only the place and the settings are saved.
void OnEndSession(HWND window, bool ending) {
    if (ending) {
        RunClosingBookkeeping(window);
    } else if (IsOpenResultWindow(window)) {
        SaveResultPlace(window);
        SaveSettings();
    }
}

// The Close box. The dialog manager answers the FALSE that follows with
// command 2, which destroys the window.
void CloseByCloseBox(HWND window) {
    if (!IsOpenResultWindow(window)) return;
    // ShowImdWindow is clear when the partner's own Close box started this,
    // so the two windows do not close each other in turn.
    if (Settings.AttachResToImd && ImdWindowOpen && Settings.ShowImdWindow) {
        if (!Quitting) {
            Settings.ShowResultWindow = 0;
            PostMessageA(ImdWindow, WM_CLOSE, 0, 0);
        }
    } else if (!Quitting) {
        Settings.ShowResultWindow = 0;
    }
    RunClosingBookkeeping(window);
}

// Marks the write as the program's own and hands the block over; a block the
// clipboard did not take is released.
void PutOnClipboard(HWND window, HGLOBAL block) {
    bool handedOver = false;
    SkipNextNotification = 1;
    WritingClipboard = 1;
    bool opened = OpenClipboard(window) != 0;
    if (opened) {
        EmptyClipboard();
        handedOver = SetClipboardData(CF_TEXT, block) != NULL;
        CloseClipboard();
        OwnWriteSequence = GetClipboardSequenceNumber();
        OwnWriteKnown = 1;
    }
    WritingClipboard = 0;
    // SkipNextNotification stays set for the notification of this write,
    // which arrives inside it or later through a viewer ahead in the chain.
    // Without a write no notification comes, and the flag would swallow the
    // next change another program makes.
    if (!opened) SkipNextNotification = 0;
    if (!handedOver) GlobalFree(block);
}

// Copies the selected history entry, or the newest when none is selected,
// exactly as the list shows it.
void CopySelectedEntry(HWND window) {
    LRESULT index = SendDlgItemMessageA(window, IDC_HISTORY, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) index = 0;
    LRESULT length = SendDlgItemMessageA(window, IDC_HISTORY, CB_GETLBTEXTLEN, index, 0);
    // CB_GETLBTEXT has no size argument: the length check keeps it inside
    // CopyText (the reported length is never below the real one).
    if (length == CB_ERR || length >= CopyTextSize) return;
    if (SendDlgItemMessageA(window, IDC_HISTORY, CB_GETLBTEXT, index,
                            reinterpret_cast<LPARAM>(CopyText)) == CB_ERR) {
        return;
    }
    size_t size = std::strlen(CopyText) + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    char* bytes = block != NULL ? static_cast<char*>(GlobalLock(block)) : NULL;
    if (bytes == NULL) {
        if (block != NULL) GlobalFree(block);
        ShowOutOfMemory(window);
        return;
    }
    std::memcpy(bytes, CopyText, size);
    GlobalUnlock(block);
    PutOnClipboard(window, block);
}

// origin is ORIGIN_IMD when the attached Immediate window relays its own
// switch; the partner's value then decides, and nothing is relayed back. The
// new value is saved with the next SaveSettings.
void SwitchFloat(HWND window, LPARAM origin) {
    bool attached = Settings.AttachResToImd != 0;
    bool relayed = attached && origin == ORIGIN_IMD;
    if (relayed) {
        Settings.ResultWindowFloat = Settings.ImdWindowFloat != 0;
        CheckFloatBox(window, Settings.ResultWindowFloat != 0);
    } else {
        Settings.ResultWindowFloat = FloatBoxChecked(window);
    }
    SetFloating(window, Settings.ResultWindowFloat != 0);
    if (attached && origin != ORIGIN_IMD &&
        (Settings.ResultWindowFloat != 0) != (Settings.ImdWindowFloat != 0) && ImdWindowOpen) {
        PostMessageA(ImdWindow, WM_COMMAND, IDC_FLOAT, ORIGIN_RESULT);
    }
}

BOOL OnCommand(HWND window, WORD id, LPARAM lParam) {
    switch (id) {
        case IDOK:
        case IDCANCEL:
            // Modeless: EndDialog would only hide the window, leaving it
            // alive after the program has let go of its handle.
            DestroyWindow(window);
            return TRUE;
        case IDC_COPY: CopySelectedEntry(window); return TRUE;
        case IDC_FLOAT: SwitchFloat(window, lParam); return TRUE;
        default: return FALSE;
    }
}

}  // namespace

void PlaceResultBelowImd() {
    RECT imd;
    if (ImdWindowOpen && GetWindowRect(ImdWindow, &imd)) {
        Settings.ResultWindowPosX = imd.left;
        Settings.ResultWindowPosY = imd.bottom;
    } else {
        Settings.ResultWindowPosX = Settings.ImdWindowPosX;
        Settings.ResultWindowPosY = Settings.ImdWindowPosY + PairDistanceY;
    }
}

void MoveResultWindow(HWND resultWindow) {
    // The WM_MOVE of this move arrives inside SetWindowPos. The flag is
    // cleared afterwards as well: a window already in place gets no WM_MOVE,
    // and a flag left set would swallow the user's next move.
    IgnoreResultMove = 1;
    MoveToScreenPoint(resultWindow, Settings.ResultWindowPosX, Settings.ResultWindowPosY);
    IgnoreResultMove = 0;
    if (Settings.ResultWindowFloat) SetFloating(resultWindow, true);
}

INT_PTR CALLBACK ResultDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return OpenResultWindow(window);
        case UM_PLACERESULT: PlaceResultWindow(window); return TRUE;
        case WM_MOVE: AnswerMove(window); return FALSE;
        case WM_CLOSE: CloseByCloseBox(window); return FALSE;
        case WM_DESTROY: RunClosingBookkeeping(window); return FALSE;
        case WM_ENDSESSION: OnEndSession(window, wParam != FALSE); return FALSE;
        case WM_HELP:
            // F1 or the caption's help button, whichever control asks.
            WinHelpA(window, HelpFile, HELP_CONTEXT, HELP_RESULTWINDOW);
            return TRUE;
        case WM_COMMAND: return OnCommand(window, LOWORD(wParam), lParam);
        default: return FALSE;
    }
}
