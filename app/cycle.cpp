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

}  // namespace

void ShowOutOfMemory(HWND window) {
    MessageBoxA(window, "Out of memory.", "ZARL", MB_ICONERROR);
}

void RunEvaluationCycle(HWND window, bool immediate, const char* text) {
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
