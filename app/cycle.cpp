// The evaluation cycle on the real clipboard. The text rules themselves are
// in cycle_text.cpp; this file reads and writes the clipboard, keeps the
// Result window's history and marks the program's own clipboard writes.
#include "app/cycle.h"

#include "app/app_state.h"
#include "app/cycle_text.h"
#include "eval/evaluate.h"
#include "res/resource.h"
#include "settings/settings.h"

namespace {

// The cycle's work on the clipboard and its buffers is under way. Opening and
// reading the clipboard wait for other programs (a program that renders its
// text only when asked, Wine importing a copy of an X11 program), and while
// they wait the system delivers sent messages: another clipboard notification
// can arrive then. Run at once it would close the clipboard under this cycle
// and overwrite the text this cycle is about to evaluate; so it is only noted,
// and the cycle looks at the clipboard once more when it is done.
bool CycleBusy;
bool ChangedMeanwhile;
HWND PendingImmediateWindow;  // an immediate request that came meanwhile
const char* PendingImmediateText;

DWORD SequenceRead;  // the clipboard's sequence number when the cycle read it
bool SequenceKnown;

const char EvaluatingTitle[] = "ZARL-Evaluating";
const char EvaluatingEntry[] = "Evaluating...";
const char NotEvaluatedEntry[] = "Not Evaluated";
constexpr int HistoryLength = 32;

// The newest history entry of the open Result window becomes text; with
// replace it takes the place of the current newest entry, otherwise the
// oldest entry drops off the bottom.
void PutHistoryEntry(const char* text, bool replace) {
    if (!ResultWindowOpen) return;
    WPARAM drop = replace ? 0 : HistoryLength - 1;
    SendDlgItemMessageA(ResultWindow, IDC_HISTORY, CB_DELETESTRING, drop, 0);
    SendDlgItemMessageA(ResultWindow, IDC_HISTORY, CB_INSERTSTRING, 0, (LPARAM)text);
    SendDlgItemMessageA(ResultWindow, IDC_HISTORY, CB_SETCURSEL, 0, 0);
}

// Takes the clipboard's CF_TEXT into ClipboardText. False when the clipboard
// could not be opened (the cycle then ends) and sets *refused for a text of
// 1024 bytes or more. A text with no NUL inside its block is read only as far
// as the block goes.
bool ReadClipboard(HWND window, bool* refused) {
    if (!OpenClipboard(window)) return false;
    ClipboardText[0] = '\0';
    *refused = false;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data != NULL) {
        const char* text = static_cast<const char*>(GlobalLock(data));
        if (text != NULL) {
            *refused = !TakeClipboardText(text, GlobalSize(data));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    SequenceRead = GetClipboardSequenceNumber();
    SequenceKnown = true;
    return true;
}

// Hands block to the clipboard, marking the write as the program's own.
// Returns false when the clipboard did not take it (the block is then still
// the caller's).
bool WriteClipboard(HWND window, HGLOBAL block) {
    bool handedOver = false;
    WritingClipboard = 1;
    SkipNextNotification = 1;
    if (OpenClipboard(window)) {
        EmptyClipboard();
        handedOver = SetClipboardData(CF_TEXT, block) != NULL;
        CloseClipboard();
        OwnWriteSequence = GetClipboardSequenceNumber();
        OwnWriteKnown = 1;
    }
    WritingClipboard = 0;
    SkipNextNotification = 0;
    return handedOver;
}

// Steps from the allocation of the clipboard block to the write.
void DeliverResult(HWND window) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, ClipboardBlockSize(ResultText));
    char* bytes = block != NULL ? static_cast<char*>(GlobalLock(block)) : NULL;
    if (bytes == NULL) {
        if (block != NULL) GlobalFree(block);
        ShowOutOfMemory(window);
        return;
    }
    FillClipboardBlock(bytes, ResultText, FullWidthKey != 0);
    PutHistoryEntry(ResultText, true);
    GlobalUnlock(block);
    if (Settings.NoCopy || !WriteClipboard(window, block)) GlobalFree(block);
}

// The text to evaluate, or NULL when it is not to be evaluated; NULL with
// *ended set when the clipboard could not be read at all.
const char* TakeExpression(HWND window, bool* ended) {
    bool refused;
    *ended = !ReadClipboard(window, &refused);
    if (*ended || refused) return NULL;
    TrimLineEnds(ClipboardText);
    return ExtractExpression();
}

void RunOneCycle(HWND window, bool immediate, const char* text) {
    SetWindowTextA(MainWindow, EvaluatingTitle);
    PutHistoryEntry(EvaluatingEntry, false);
    FullWidthKey = 0;
    bool ended = false;
    const char* expression = immediate ? text : TakeExpression(window, &ended);
    if (!ended) {
        if (expression != NULL && Evaluate(expression, ResultText)) {
            if (Settings.InsThousandSep) InsertThousandSeparators(ResultText);
            DeliverResult(window);
        } else {
            PutHistoryEntry(NotEvaluatedEntry, true);
        }
    }
    SetWindowTextA(MainWindow, MainTitle);
}

}  // namespace

bool ClipboardHoldsOwnWrite() {
    HWND owner = GetClipboardOwner();
    DWORD pid = 0;
    if (owner != NULL) GetWindowThreadProcessId(owner, &pid);
    return owner != NULL && pid == GetCurrentProcessId();
}

void ShowOutOfMemory(HWND window) {
    // The box's loop may start other cycles; this one's buffers are done
    // with by now, so they may.
    bool busy = CycleBusy;
    CycleBusy = false;
    MessageBoxA(window, "Out of memory.", "ZARL", MB_ICONERROR);
    CycleBusy = busy;
}

void RunEvaluationCycle(HWND window, bool immediate, const char* text) {
    if (CycleBusy) {
        if (immediate) {
            PendingImmediateWindow = window;
            PendingImmediateText = text;
        } else {
            ChangedMeanwhile = true;
        }
        return;
    }
    CycleBusy = true;
    ChangedMeanwhile = false;
    SequenceKnown = false;
    RunOneCycle(window, immediate, text);
    // What came meanwhile, in turn: a change of the clipboard is looked at
    // once more, unless it is the text this cycle read already, or the
    // clipboard holds this program's own write by now.
    while (ChangedMeanwhile || PendingImmediateWindow != NULL) {
        if (PendingImmediateWindow != NULL) {
            HWND pendingWindow = PendingImmediateWindow;
            PendingImmediateWindow = NULL;
            RunOneCycle(pendingWindow, true, PendingImmediateText);
            continue;
        }
        ChangedMeanwhile = false;
        bool readAlready = SequenceKnown && GetClipboardSequenceNumber() == SequenceRead;
        SequenceKnown = false;
        if (!readAlready && !ClipboardHoldsOwnWrite()) RunOneCycle(MainWindow, false, NULL);
    }
    CycleBusy = false;
}
