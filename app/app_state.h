// The program's runtime state: the windows, and the flags that guard the
// re-entry of the window procedures through modal loops. Windows only.
#pragma once

#include <windows.h>

extern HINSTANCE AppInstance;
extern HWND MainWindow;
extern HWND ResultWindow;  // the modeless Result window, while ResultWindowOpen
extern HWND ImdWindow;     // the Immediate window, while ImdWindowOpen
extern HWND NextViewer;    // the next window in the clipboard-viewer chain, or NULL

constexpr int MainTitleSize = 32;
extern char MainTitle[MainTitleSize];  // "ZARL-Operating" or "ZARL-Pausing"

extern int Operating;             // clipboard changes are evaluated
extern int Quitting;              // the main window has started to close
extern int TimerPending;          // the delay timer (id 1) runs
extern int SettingsDialogOpen;    // the Settings dialog is up
extern int ResultWindowOpen;      // the Result window exists
extern int ImdWindowOpen;         // the Immediate window exists
extern int SkipNextNotification;  // the next clipboard notification is the program's own
extern int WritingClipboard;      // the program is writing the clipboard

// The clipboard's sequence number right after the program's last own write:
// a notification that arrives while the number is unchanged is that write's
// own, however late another viewer ahead in the chain passes it on.
extern int OwnWriteKnown;
extern DWORD OwnWriteSequence;

constexpr char ClassName[] = "ZARL";
constexpr char HelpFile[] = "ZARL.HLP";
