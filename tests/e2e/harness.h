// The end-to-end harness: what a user and other programs do to a running
// ZARL.exe, through the same Windows interfaces they use. Nothing here reaches
// into the program; it is started as a process, fed through the clipboard,
// commanded through its window and its system menu, and inspected through the
// clipboard, its window, its message boxes and the registry.
//
// Every wait has a deadline and pumps this thread's messages while it waits:
// the test's own clipboard viewers live on this thread, and ZARL sends to them
// (and waits for them) when it passes a notification on.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

// How long the harness waits for things that normally take milliseconds.
inline constexpr Ms kStartTimeout{15000};
inline constexpr Ms kResultTimeout{5000};
inline constexpr Ms kCloseTimeout{5000};
// How long the clipboard must stay still to count as "nothing happened".
inline constexpr Ms kQuietPeriod{300};

class Deadline {
public:
    explicit Deadline(Ms timeout) : at_(Clock::now() + timeout) {}
    bool Passed() const { return Clock::now() >= at_; }
    Ms Left() const;

private:
    Clock::time_point at_;
};

double MillisecondsSince(Clock::time_point start);

// Runs this thread's message loop for the given period (sent messages,
// posted messages and the test viewers' notifications).
void PumpMessages(Ms period);

// Calls done() every poll interval, pumping messages in between, until it
// returns true (then true) or the timeout passes (then false).
template <class Done>
bool WaitUntil(Done done, Ms timeout, Ms poll = Ms{2}) {
    Deadline deadline(timeout);
    for (;;) {
        if (done()) return true;
        if (deadline.Passed()) return done();
        PumpMessages(poll);
    }
}

// Bytes as a readable C-like literal for failure messages: "1+2=\r\n",
// "\x82\x52".
std::string Printable(const std::string& bytes);

// The Shift-JIS full-width form of a text of digits, letters and the signs
// + - . , = ^ #, pair by pair from the code table (a failure for any other).
std::string FullWidthShiftJis(const std::string& ascii);

// ---------------------------------------------------------------------------
// The program under test

// The path of ZARL.exe as this (Windows) process sees it.
std::string ZarlExePath();

// Whether this process can create windows at all (a display is present).
// On failure, *why says what is missing.
bool DisplayAvailable(std::string* why);

std::string ClassName(HWND window);
std::string WindowTitle(HWND window);
DWORD WindowProcessId(HWND window);

// Top-level windows (visible or not) of one process, or of every process
// when pid is 0, whose class is className (any class when empty).
std::vector<HWND> TopLevelWindows(DWORD pid, const std::string& className);
// A one-line description of each top-level window of a process, for failure
// messages.
std::string DescribeWindows(DWORD pid);

// A started copy of ZARL.exe. The destructor ends it as a user would (WM_CLOSE)
// and waits for it; only when that does not end it within the deadline is it
// killed, so one failed case cannot leave it running for the next.
class Zarl {
public:
    Zarl(PROCESS_INFORMATION info, HWND window, double startMs);
    ~Zarl();
    Zarl(const Zarl&) = delete;
    Zarl& operator=(const Zarl&) = delete;

    HWND Window() const { return window_; }
    DWORD Pid() const { return pid_; }
    HANDLE Process() const { return process_; }
    // Milliseconds from CreateProcess to the window being ready.
    double StartMilliseconds() const { return startMs_; }

    bool Running() const;
    // The main window still exists, belongs to this process and has class ZARL.
    bool WindowPresent() const;
    std::string Title() const { return WindowTitle(window_); }

    struct Ending {
        bool exited = false;  // ended by itself within the deadline
        bool killed = false;  // had to be terminated
        DWORD exitCode = 0;   // valid when exited
        double milliseconds = 0;
    };
    // Posts WM_CLOSE to the main window and waits for the process to end;
    // kills it after the deadline. Idempotent: a second call reports the first.
    Ending Close(Ms timeout = kCloseTimeout);

private:
    HANDLE process_;
    HANDLE thread_;
    DWORD pid_;
    HWND window_;
    double startMs_;
    std::optional<Ending> ending_;
};

// Starts ZARL.exe and waits until its main window (class "ZARL") exists, is
// shown (minimized) and carries a "ZARL-..." title, i.e. start-up including the
// settings load is done. Returns null and says why on failure (the process is
// then ended). The program is the build's, started in its own folder, unless
// exe (and directory, the current folder it starts in) say otherwise.
std::unique_ptr<Zarl> StartZarl(std::string* why, Ms timeout = kStartTimeout,
                                const std::string& exe = {}, const std::string& directory = {});

// Starts ZARL.exe and returns its process without waiting for anything (for a
// copy that is expected not to open a window).
bool LaunchZarlProcess(PROCESS_INFORMATION* info, std::string* why, std::string exe = {},
                       std::string directory = {});

// Waits for a process handle to be signalled while pumping messages; the exit
// code is stored when it ends.
bool WaitForProcessExit(HANDLE process, Ms timeout, DWORD* exitCode);

// Terminates a process this harness started and waits for it.
void KillProcess(HANDLE process);

// Processes ever started by this harness, so that a leftover copy from a failed
// case can be recognised as ours (and only then ended).
bool StartedByHarness(DWORD pid);

// ---------------------------------------------------------------------------
// The clipboard, as another program uses it

DWORD ClipboardSequence();

// One clipboard write of ours: seqAtOpen is the sequence number seen right
// after OpenClipboard (before anything changed), seq the one right after
// CloseClipboard. A change between two writes shows as
// second.seqAtOpen != first.seq.
//
// The program is told of our write inside our CloseClipboard and may answer
// before seq is read; overtaken says so. It compares the step of the sequence
// number across our CloseClipboard (Wine adds the formats it synthesizes then)
// with the smallest step seen for a text write, the undisturbed one.
struct ClipboardWrite {
    bool ok = false;
    std::string error;
    DWORD seqAtOpen = 0;
    DWORD seq = 0;
    bool overtaken = false;
    // The sequence number our write alone leaves (seq unless overtaken).
    DWORD seqOurs = 0;
    Clock::time_point closedAt{};
};

// OpenClipboard(NULL), EmptyClipboard, SetClipboardData(CF_TEXT, a
// GMEM_MOVEABLE block holding the bytes and a NUL), CloseClipboard; retried
// while another program holds the clipboard open.
ClipboardWrite CopyText(const std::string& bytes, Ms timeout = Ms{2000});
// The same with a small CF_BITMAP and no text at all.
ClipboardWrite CopyBitmap(Ms timeout = Ms{2000});
// Empties the clipboard: a change that leaves no format.
ClipboardWrite EmptyTheClipboard(Ms timeout = Ms{2000});

struct ClipboardRead {
    bool opened = false;
    bool hasText = false;
    std::string text;  // the CF_TEXT bytes up to the NUL (or the block's end)
    DWORD seq = 0;     // sequence number while the clipboard was held open
};
ClipboardRead ReadClipboardText(Ms timeout = Ms{2000});
bool ClipboardHasFormat(UINT format);

// Waits until the clipboard sequence number differs from previous; returns the
// new number, or nothing when the deadline passes first.
std::optional<DWORD> WaitForClipboard(DWORD previous, Ms timeout);

// Passes when the sequence number stays `since` for the whole period and, when
// given, the clipboard then holds exactly expectedText. Comparing the content
// too covers a change that came before `since` was sampled. While ZARL runs,
// the period ends with ZarlCaughtUp and the number is checked again: a still
// clipboard means nothing unless ZARL was there to change it.
testing::AssertionResult ExpectClipboardStaysQuiet(
    DWORD since, Ms period, const std::optional<std::string>& expectedText = std::nullopt);

// Waits until the clipboard stops changing (no change for `quiet`), within
// `timeout`; returns the final sequence number or nothing.
std::optional<DWORD> WaitForClipboardToSettle(Ms quiet, Ms timeout);

// What ZARL made of one copied text.
struct Outcome {
    ClipboardWrite write;
    ClipboardRead read;       // the clipboard after the change (when changed)
    bool changed = false;     // the clipboard changed after our write
    double milliseconds = 0;  // from our CloseClipboard to the readable result
};
// Copies the text and waits (bounded) for the clipboard to change, then reads
// it. A change that happened before our sequence number was sampled is
// recognised by the content no longer being ours.
Outcome CopyAndAwaitChange(const std::string& text, Ms timeout = kResultTimeout);

// Copies the text and expects the clipboard to hold exactly `expected`
// afterwards, written by somebody else (ZARL). With quietAfter, the clipboard
// must then stay still that long (the result is not evaluated again).
testing::AssertionResult CopyAndExpectResult(const std::string& text, const std::string& expected,
                                             std::optional<Ms> quietAfter = kQuietPeriod,
                                             Ms timeout = kResultTimeout);

// Copies the text and expects nothing to happen: the clipboard stays still for
// the period and keeps the text.
testing::AssertionResult CopyAndExpectNoChange(const std::string& text, Ms period = kQuietPeriod);

// ---------------------------------------------------------------------------
// Windows of the program: system menu, title, message boxes, messages

// PostMessage(WM_SYSCOMMAND, id, 0) to the main window, as the system menu does.
bool ChooseSystemMenu(HWND window, WPARAM id);

// A positive control for "nothing happened": ZARL handles the messages sent
// to it (the clipboard notifications among them) before the posted ones, so
// once a posted command has visibly taken effect, everything sent or posted to
// it before has been handled. Two "&Operating" commands (its title flips and
// flips back) leave it as it was.
testing::AssertionResult ZarlCaughtUp(HWND zarl, Ms timeout = kResultTimeout);

// Waits until the window's title equals `title`; on failure *seen holds the last
// title.
bool WaitForTitle(HWND window, const std::string& title, Ms timeout, std::string* seen);

// A top-level dialog window (class "#32770") of process pid (any when 0) with
// the given title and a static control holding the given text; null when none
// appears before the deadline.
HWND FindMessageBox(DWORD pid, const std::string& title, const std::string& text, Ms timeout);
// Any top-level dialog of that process with that title.
HWND FindDialog(DWORD pid, const std::string& title, Ms timeout);
// The texts of a dialog's static controls, in window order.
std::vector<std::string> StaticTexts(HWND dialog);
// Presses a button of a message box or dialog (WM_COMMAND with the id, as a click
// does).
bool AnswerMessageBox(HWND box, int buttonId = IDOK);

// SendMessageTimeout; nothing when the receiver did not answer in time.
std::optional<LRESULT> SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       Ms timeout = Ms{5000});

// ---------------------------------------------------------------------------
// Settings store: registry and INI file

inline constexpr const char* kBrenmoorKey = "Software\\Brenmoor";
inline constexpr const char* kSettingsKey = "Software\\Brenmoor\\ZARL\\Settings";
inline constexpr const char* kConstantsKey = "Software\\Brenmoor\\ZARL\\Constants";

struct RegValue {
    DWORD type = REG_NONE;
    std::string data;  // raw bytes
    bool operator==(const RegValue& other) const {
        return type == other.type && data == other.data;
    }
    bool operator!=(const RegValue& other) const { return !(*this == other); }
};
using RegSnapshot = std::map<std::string, RegValue>;

// One value to store before a start.
struct Setting {
    std::string name;
    bool isDword = false;
    std::string text;
    DWORD number = 0;
};
Setting Text(std::string name, std::string value);
Setting Dword(std::string name, DWORD value);

bool DeleteBrenmoorKey();
bool KeyExists(const char* subkey);
bool WriteRegText(const char* subkey, const std::string& name, const std::string& value);
bool WriteRegDword(const char* subkey, const std::string& name, DWORD value);
std::optional<RegValue> ReadRegValue(const char* subkey, const std::string& name);
std::optional<std::string> ReadRegText(const char* subkey, const std::string& name);
std::optional<DWORD> ReadRegDword(const char* subkey, const std::string& name);
// Every value of a key, or nothing when the key does not exist.
std::optional<RegSnapshot> SnapshotKey(const char* subkey);
std::string DescribeSnapshotDifference(const RegSnapshot& before, const RegSnapshot& after);

// The Windows directory's ZARL.INI.
std::string IniPath();
bool DeleteIni();
bool WriteIni(const std::string& section, const std::string& key, const std::string& value);
std::optional<std::string> ReadIni(const std::string& section, const std::string& key);

// A fresh start: the Brenmoor key and ZARL.INI are removed; when settings are
// given they are written under the Settings key together with "Version" =
// "3.05" (without "Version" the program would not read the key at all).
testing::AssertionResult FreshStore(const std::vector<Setting>& settings = {});

// ---------------------------------------------------------------------------
// A clipboard viewer of the test process: a hidden window that joins the
// viewer chain, counts WM_DRAWCLIPBOARD, and passes notifications and chain
// changes on exactly as a well-behaved member does.

class TestViewer {
public:
    explicit TestViewer(std::string name);
    ~TestViewer();
    TestViewer(const TestViewer&) = delete;
    TestViewer& operator=(const TestViewer&) = delete;

    bool Created() const { return window_ != nullptr; }
    const std::string& Name() const { return name_; }
    HWND Window() const { return window_; }
    HWND Next() const { return next_; }
    bool Joined() const { return joined_; }

    // SetClipboardViewer; the system sends the new viewer a WM_DRAWCLIPBOARD.
    bool Join();
    // ChangeClipboardChain(this, next).
    bool Leave();

    int Draws() const { return draws_; }
    // The clipboard sequence number at each WM_DRAWCLIPBOARD received.
    const std::vector<DWORD>& DrawSequences() const { return drawSequences_; }
    int DrawsAfterLeaving() const { return drawsAfterLeaving_; }
    int ForwardFailures() const { return forwardFailures_; }
    // The (removed, following) pairs of every WM_CHANGECBCHAIN received.
    const std::vector<std::pair<HWND, HWND>>& ChainChanges() const { return chainChanges_; }
    void ResetCounts();

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Forward(UINT message, WPARAM wParam, LPARAM lParam);

    std::string name_;
    HWND window_ = nullptr;
    HWND next_ = nullptr;
    bool joined_ = false;
    int draws_ = 0;
    int drawsAfterLeaving_ = 0;
    int forwardFailures_ = 0;
    std::vector<std::pair<HWND, HWND>> chainChanges_;
    std::vector<DWORD> drawSequences_;
};

// ---------------------------------------------------------------------------
// The Result and Immediate windows, as a user meets them: opened from the
// main window's system menu, read and clicked from outside, moved, floated and
// closed. The windows belong to another process: every list and text is read
// with the wide messages (the ANSI ones come back as UTF-16 across processes
// under Wine), and every click is posted, so that a message box it opens cannot
// block the test.

inline constexpr const char* kResultWindowTitle = "ZARL-Result";
inline constexpr const char* kImdWindowTitle = "ZARL-Immediate";

// System menu commands 2 and 3 of the main window ("Show Resu&lt Window",
// "Show &Immediate Window"): each opens its window, or closes it when open.
bool ShowResultWindow(HWND mainWindow);
bool ShowImdWindow(HWND mainWindow);

// The shown (visible) top-level dialog of process pid with the given title;
// null when none is shown before the deadline. A closed Result window may
// linger hidden, so only visible ones count.
HWND FindShownDialog(DWORD pid, const std::string& title, Ms timeout);
HWND FindResultWindow(DWORD pid, Ms timeout = kResultTimeout);
HWND FindImdWindow(DWORD pid, Ms timeout = kResultTimeout);
// Every shown top-level dialog of that process with that title, now.
std::vector<HWND> ShownDialogs(DWORD pid, const std::string& title);
// Waits until the window is destroyed or hidden.
bool WaitForWindowGone(HWND window, Ms timeout = kCloseTimeout);

// The items of a combo box of another process, top first; nothing when the
// box does not answer.
std::optional<std::vector<std::string>> ComboItems(HWND combo);
// The Result window's history (IDC_HISTORY), newest first.
std::optional<std::vector<std::string>> ResultHistory(HWND resultWindow);
// The index of the selected history entry (-1: none); nothing when the box
// does not answer.
std::optional<int> SelectedHistoryEntry(HWND resultWindow);
// Selects entry i of the history as a click into the list does: the selection
// moves and the window is told (CBN_SELCHANGE).
bool SelectHistoryEntry(HWND resultWindow, int index);

// A click on a button of a dialog (BM_CLICK, posted): a check box switches
// and the dialog gets the button's command, as with the mouse.
bool ClickButton(HWND dialog, int controlId);
bool ClickCopy(HWND resultWindow);
bool ClickFloat(HWND window);
bool ClickEvaluate(HWND imdWindow);
bool ClickClear(HWND imdWindow);
// Whether a check box of a dialog is checked; nothing when it does not answer.
std::optional<bool> IsChecked(HWND dialog, int controlId);

// Puts the focus into the Immediate window's expression box and sets its text,
// as typing it would; fails unless the box then holds exactly that text.
testing::AssertionResult TypeExpression(HWND imdWindow, const std::string& text);
// The text of the expression box; nothing when it does not answer.
std::optional<std::string> ExpressionText(HWND imdWindow);
// The expression list of the Immediate window (IDC_EXPRESSION), newest first.
std::optional<std::vector<std::string>> ExpressionList(HWND imdWindow);
// A key pressed in the expression box: the dialog manager of the Immediate
// window's loop turns Enter into its default button and Esc into Cancel.
bool PressEnter(HWND imdWindow);
bool PressEsc(HWND imdWindow);

// Moves a window of another process, as the end of a drag does: its top-left
// corner goes to (x, y) and it receives WM_MOVE. Fails when the window does not
// answer first (the move itself is a synchronous call without a deadline).
bool MoveWindowTo(HWND window, int x, int y);
RECT WindowRect(HWND window);
std::string DescribeRect(const RECT& rect);
bool IsTopmost(HWND window);
// The Close box of the caption (WM_SYSCOMMAND SC_CLOSE, which the system turns
// into WM_CLOSE).
bool CloseWithCloseBox(HWND window);

// A signed screen coordinate stored as a REG_DWORD under the Settings key.
std::optional<int> ReadRegCoordinate(const std::string& name);

// Holds the clipboard open, as another program may do for a while; nobody else
// can read or write it meanwhile. Closed by the destructor.
class ClipboardHold {
public:
    explicit ClipboardHold(Ms timeout = Ms{2000});
    ~ClipboardHold();
    ClipboardHold(const ClipboardHold&) = delete;
    ClipboardHold& operator=(const ClipboardHold&) = delete;
    bool Held() const { return held_; }

private:
    bool held_ = false;
};

// ---------------------------------------------------------------------------
// The Settings dialog and its About box, as a user meets them: the dialog
// opens when the minimized main window is restored; its controls are read
// with the wide messages and worked with posted messages (clicks, typed
// characters, list selections with the notification a click sends), so that
// they reach the dialog in the order given and a message box they open cannot
// block the test. Posted work is done only once the dialog's loop has taken it:
// wait for its effect before reading what it changed.

inline constexpr const char* kSettingsTitle = "ZARL (Settings)";
inline constexpr const char* kAboutTitle = "About ZARL";

// Restore from the main window's system menu or the taskbar
// (WM_SYSCOMMAND SC_RESTORE): the program opens the Settings dialog instead.
bool RestoreMainWindow(HWND mainWindow);
// Restores the main window and returns the Settings dialog once it is shown;
// null when it is not.
HWND OpenSettingsDialog(HWND mainWindow, DWORD pid, Ms timeout = kResultTimeout);

// The items of a list box of another process, top first, and its selection
// (-1: none); nothing when the box does not answer.
std::optional<std::vector<std::string>> ListBoxItems(HWND list);
std::optional<int> ListBoxSelection(HWND list);
// The selected item of a combo box (-1: none).
std::optional<int> ComboSelection(HWND combo);
// The text of any control (edit, static, button, combo box).
std::optional<std::string> ControlText(HWND control);
// A child of the dialog by its text, for controls without an id of their own.
HWND ChildWithText(HWND dialog, const std::string& text);

// Picks item `index` of a drop-down list as the mouse does: the selection
// moves and the dialog gets CBN_SELCHANGE. Both are posted.
bool SelectComboItem(HWND dialog, int controlId, int index);
// The same for a list box (LB_SETCURSEL, then LBN_SELCHANGE).
bool SelectListBoxItem(HWND dialog, int controlId, int index);
// Replaces the text of an edit control by typing: everything is selected and
// deleted with Backspace, then each character is typed (WM_CHAR, posted); the
// edit tells the dialog of every change (EN_CHANGE) as it does for the keys.
bool TypeIntoEdit(HWND dialog, int controlId, const std::string& text);

// The window that has the keyboard focus in the thread of `window`.
HWND FocusedWindow(HWND window);
// Waits until the dialog has carried out what was posted to it so far: a
// push button of it is highlighted (BM_SETSTATE, posted) and the highlight
// read back, then taken off again; `meanwhile`, when given, runs at every
// poll. False when the dialog does not get there within the timeout.
bool WaitForDialogToCatchUp(HWND dialog, int buttonId, Ms timeout = kResultTimeout,
                            const std::function<void()>& meanwhile = nullptr);
// Moves the focus to a control of the dialog as a click or Tab does
// (WM_NEXTDLGCTL, posted) and waits until it is there.
bool FocusControl(HWND dialog, HWND control, Ms timeout = kResultTimeout);
// A key pressed with the focus on a control: the focus move (WM_NEXTDLGCTL)
// and then the key's messages are posted to the control as the system posts
// them when it takes a typed key from the input queue. Esc and Enter go down
// and up (WM_KEYDOWN, WM_KEYUP), which the dialog manager turns into Cancel
// and the default button. F1 becomes WM_KEYF1, which the control passes on as
// WM_HELP for itself to the dialog. The key does not depend on the focus
// staying: on a display without a window manager the program's dialog loses
// the activation (and the focus) whenever the help engine's windows come and
// go, and for the same reason keys typed through SendInput, which reach the
// foreground window only, get lost.
bool PressKey(HWND dialog, HWND control, UINT virtualKey);
bool PressF1(HWND dialog, HWND control);

// ---------------------------------------------------------------------------
// The help engine. WinHelpA starts winhlp32.exe, which under Wine traces every
// request it gets (WINEDEBUG=+winhelp) to the Unix standard error it inherits
// from the test; the end-to-end run sends that to a file (ZARL_E2E_HELP_TRACE,
// set by tests/e2e/run-with-help-trace.sh) read here. While a help file is
// missing the engine asks a Yes/No question, and the caller's WinHelpA waits
// for the answer; the functions below answer No.

struct HelpRequest {
    unsigned command = 0;  // HELP_CONTEXT 1, HELP_QUIT 2, HELP_FINDER 11
    unsigned data = 0;     // the context number for HELP_CONTEXT
    std::string file;      // the help file named, without the quotes of the trace
};

// The Windows path of the trace file, or empty when this run has none.
std::string HelpTracePath();
// The size of the trace file now: later requests come after it.
std::uint64_t HelpTraceSize();
// The trace's text from `offset` on (the engine's other traces with it).
std::string HelpTraceSince(std::uint64_t offset);
// The requests traced after `offset`, in order.
std::vector<HelpRequest> HelpRequestsSince(std::uint64_t offset);
std::string DescribeHelpRequests(const std::vector<HelpRequest>& requests);
// Waits until a request with this command and data for "ZARL.HLP" is traced
// after `offset`, answering the engine's questions meanwhile.
testing::AssertionResult WaitForHelpRequest(std::uint64_t offset, unsigned command, unsigned data,
                                            Ms timeout = kResultTimeout);
// The processes of the help engine now running (those with a window of class
// "MS_WINHELP").
std::vector<DWORD> HelpEnginePids();
// Answers every question box the help engine shows now (No, else Cancel, else
// OK) and returns the texts of those boxes.
std::vector<std::string> AnswerHelpEngineBoxes();
// Ends every running help engine: its boxes answered, its windows closed
// (WM_CLOSE), and only if it does not end then, its process terminated by its
// handle. False when one could not be ended.
bool CloseHelpEngine(Ms timeout = kCloseTimeout);

// Waits until a window and its children have nothing left to paint (no
// update region), so that a picture shows them drawn.
bool WaitForPainting(HWND window, Ms timeout = kResultTimeout);

// The screen's resolution as this process sees it (Wine's LogPixels).
int ScreenDpi();

// The window lies on the screen and every shown control of it lies wholly
// inside its client area, so that a picture shows them whole.
testing::AssertionResult ControlsWhole(HWND window);

// A picture of the whole X screen the programs run on, written as
// <build tree>/screenshots/<name>.png (name: letters, digits, "_" and "-";
// at another resolution than 96 DPI <name>_<dpi>dpi.png).
// Under Wine the test starts /bin/sh (a Unix program started from a Windows
// one runs as itself), which pipes xwd into ImageMagick's convert; the file
// appears under its final name only when complete. Outside Wine there is no
// such screen: a note is printed and nothing is taken.
testing::AssertionResult TakeScreenshot(const std::string& name, Ms timeout = Ms{15000});

// ---------------------------------------------------------------------------
// Process figures

// The Linux process that runs ZARL.exe in this prefix (its command line names
// ZARL.exe, its environment the same WINEPREFIX as ours), as its /proc
// directory seen through drive Z: ("Z:\\proc\\1234"); empty when there is
// not exactly one.
std::string ZarlProcDirectory();
// A whole file, as bytes (empty when it cannot be read).
std::string ReadWholeFile(const std::string& path);

struct MemoryFigures {
    bool ok = false;
    SIZE_T privateUsage = 0;
    SIZE_T workingSet = 0;
    SIZE_T peakWorkingSet = 0;
    SIZE_T pagefileUsage = 0;
};
MemoryFigures ProcessMemory(HANDLE process);

}  // namespace e2e
