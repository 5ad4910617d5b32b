// The end-to-end harness: starting and ending ZARL.exe, the clipboard as
// another program uses it, the program's windows and message boxes, the Result
// and Immediate windows as a user handles them, screenshots, the settings
// store, and a clipboard viewer of the test process. See harness.h.
#include "harness.h"

#include "res/resource.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <set>
#include <sstream>

#ifndef ZARL_EXE
#define ZARL_EXE ""
#endif
#ifndef ZARL_E2E_SCREENSHOT_DIR
#define ZARL_E2E_SCREENSHOT_DIR ""
#endif

namespace e2e {

namespace {

std::set<DWORD>& StartedPids() {
    static std::set<DWORD> pids;
    return pids;
}

DWORD ToTimeout(Ms ms) {
    return ms.count() <= 0 ? 0 : static_cast<DWORD>(ms.count());
}

// OpenClipboard(NULL), retried while another program holds the clipboard.
bool OpenClipboardWithRetry(Ms timeout) {
    Deadline deadline(timeout);
    for (;;) {
        if (OpenClipboard(nullptr)) return true;
        if (deadline.Passed()) return false;
        PumpMessages(Ms{1});
    }
}

std::string LastErrorText(const char* what) {
    std::ostringstream out;
    out << what << " failed (error " << GetLastError() << ")";
    return out.str();
}

}  // namespace

Ms Deadline::Left() const {
    auto left = std::chrono::duration_cast<Ms>(at_ - Clock::now());
    return left.count() < 0 ? Ms{0} : left;
}

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void PumpMessages(Ms period) {
    Deadline deadline(period);
    MSG msg;
    for (;;) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Ms left = deadline.Left();
        if (left.count() <= 0) return;
        MsgWaitForMultipleObjectsEx(0, nullptr, ToTimeout(left), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

std::string Printable(const std::string& bytes) {
    // Long texts show their beginning and end.
    if (bytes.size() > 80) {
        return "(" + std::to_string(bytes.size()) + " bytes) " + Printable(bytes.substr(0, 40)) +
               "..." + Printable(bytes.substr(bytes.size() - 20));
    }
    std::string out = "\"";
    char buffer[8];
    for (unsigned char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            out += buffer;
        }
    }
    out += "\"";
    return out;
}

// ---------------------------------------------------------------------------
// The program under test

std::string ZarlExePath() {
    char buffer[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableA("ZARL_E2E_EXE", buffer, sizeof buffer);
    std::string path =
        (n > 0 && n < sizeof buffer) ? std::string(buffer, n) : std::string(ZARL_EXE);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool DisplayAvailable(std::string* why) {
    static int known = -1;
    static std::string reason;
    if (known < 0) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ZarlE2EProbe";
        RegisterClassA(&wc);
        HWND probe = CreateWindowExA(0, "ZarlE2EProbe", "probe", WS_OVERLAPPED, 0, 0, 10, 10,
                                     nullptr, nullptr, wc.hInstance, nullptr);
        if (probe) {
            DestroyWindow(probe);
            known = 1;
        } else {
            char display[256] = "";
            GetEnvironmentVariableA("DISPLAY", display, sizeof display);
            reason = LastErrorText("CreateWindowExA of a hidden window") +
                     ": no display for Wine (DISPLAY=\"" + display +
                     "\"). Start a session first: bash cmake/wine-session.sh start <preset> "
                     "build/<preset>/wineprefix (./test.sh does this).";
            known = 0;
        }
    }
    if (why) *why = reason;
    return known == 1;
}

std::string ClassName(HWND window) {
    char buffer[256] = "";
    int n = GetClassNameA(window, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? n : 0);
}

std::string WindowTitle(HWND window) {
    char buffer[1024] = "";
    int n = GetWindowTextA(window, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? n : 0);
}

DWORD WindowProcessId(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

struct WindowQuery {
    DWORD pid;
    const std::string* className;
    std::vector<HWND> found;
};

// Enumeration callbacks are stdcall on 32-bit Windows, which a lambda is not.
BOOL CALLBACK CollectTopLevelWindow(HWND window, LPARAM param) {
    auto* q = reinterpret_cast<WindowQuery*>(param);
    if (q->pid != 0 && WindowProcessId(window) != q->pid) return TRUE;
    if (!q->className->empty() && ClassName(window) != *q->className) return TRUE;
    q->found.push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD pid, const std::string& className) {
    WindowQuery query{pid, &className, {}};
    EnumWindows(CollectTopLevelWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

std::string DescribeWindows(DWORD pid) {
    std::ostringstream out;
    auto windows = TopLevelWindows(pid, "");
    if (windows.empty()) return "(no top-level windows)";
    for (HWND w : windows) {
        out << "[class \"" << ClassName(w) << "\" title \"" << WindowTitle(w) << "\""
            << (IsWindowVisible(w) ? " visible" : " hidden") << (IsIconic(w) ? " minimized" : "")
            << "] ";
    }
    return out.str();
}

bool StartedByHarness(DWORD pid) {
    return StartedPids().count(pid) != 0;
}

// Every ZARL this program starts belongs to one job that ends it when this
// program ends, also by a crash or a kill: a copy left running would make the
// next test's ZARL a second copy.
namespace {
HANDLE EndWithUsJob() {
    static HANDLE job = [] {
        HANDLE created = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (created && !SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits,
                                                sizeof limits)) {
            CloseHandle(created);
            created = nullptr;
        }
        return created;
    }();
    return job;
}
}  // namespace

bool LaunchZarlProcess(PROCESS_INFORMATION* info, std::string* why, std::string exe,
                       std::string directory) {
    if (exe.empty()) exe = ZarlExePath();
    if (exe.empty()) {
        *why = "the path of ZARL.exe is not known (ZARL_EXE was not defined at build time)";
        return false;
    }
    if (GetFileAttributesA(exe.c_str()) == INVALID_FILE_ATTRIBUTES) {
        *why = "ZARL.exe not found at " + exe;
        return false;
    }
    if (directory.empty()) directory = exe.substr(0, exe.find_last_of('\\'));
    std::string commandLine = "\"" + exe + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    *info = {};
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, directory.c_str(), &startup, info)) {
        *why = LastErrorText(("CreateProcessA(" + exe + ")").c_str());
        return false;
    }
    HANDLE job = EndWithUsJob();
    if (!job || !AssignProcessToJobObject(job, info->hProcess)) {
        *why = LastErrorText("AssignProcessToJobObject for ZARL.exe");
        TerminateProcess(info->hProcess, 0xDEAD);
        CloseHandle(info->hThread);
        CloseHandle(info->hProcess);
        return false;
    }
    ResumeThread(info->hThread);
    StartedPids().insert(info->dwProcessId);
    return true;
}

bool WaitForProcessExit(HANDLE process, Ms timeout, DWORD* exitCode) {
    Deadline deadline(timeout);
    for (;;) {
        DWORD r = MsgWaitForMultipleObjects(
            1, &process, FALSE, ToTimeout(std::min(deadline.Left(), Ms{20})), QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) {
            if (exitCode) GetExitCodeProcess(process, exitCode);
            return true;
        }
        PumpMessages(Ms{0});
        if (deadline.Passed()) {
            if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
                if (exitCode) GetExitCodeProcess(process, exitCode);
                return true;
            }
            return false;
        }
    }
}

void KillProcess(HANDLE process) {
    TerminateProcess(process, 0xDEAD);
    WaitForProcessExit(process, Ms{5000}, nullptr);
}

Zarl::Zarl(PROCESS_INFORMATION info, HWND window, double startMs)
    : process_(info.hProcess),
      thread_(info.hThread),
      pid_(info.dwProcessId),
      window_(window),
      startMs_(startMs) {}

Zarl::~Zarl() {
    Close();
    CloseHandle(thread_);
    CloseHandle(process_);
}

bool Zarl::Running() const {
    return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Zarl::WindowPresent() const {
    return IsWindow(window_) && WindowProcessId(window_) == pid_ && ClassName(window_) == "ZARL";
}

Zarl::Ending Zarl::Close(Ms timeout) {
    if (ending_) return *ending_;
    Ending ending;
    auto start = Clock::now();
    if (Running() && IsWindow(window_)) PostMessageA(window_, WM_CLOSE, 0, 0);
    DWORD code = 0;
    if (WaitForProcessExit(process_, timeout, &code)) {
        ending.exited = true;
        ending.exitCode = code;
    } else {
        KillProcess(process_);
        ending.killed = true;
    }
    ending.milliseconds = MillisecondsSince(start);
    ending_ = ending;
    return ending;
}

std::unique_ptr<Zarl> StartZarl(std::string* why, Ms timeout, const std::string& exe,
                                const std::string& directory) {
    auto start = Clock::now();
    PROCESS_INFORMATION info;
    if (!LaunchZarlProcess(&info, why, exe, directory)) return nullptr;

    HWND window = nullptr;
    std::string state = "no window of class ZARL yet";
    bool exited = false;
    bool ready = WaitUntil(
        [&] {
            if (WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0) {
                exited = true;
                return true;
            }
            auto windows = TopLevelWindows(info.dwProcessId, "ZARL");
            if (windows.empty()) return false;
            window = windows.front();
            std::string title = WindowTitle(window);
            bool visible = IsWindowVisible(window) != FALSE;
            state = "window of class ZARL with title \"" + title + "\", " +
                    (visible ? "shown" : "not shown yet");
            return visible && title.rfind("ZARL-", 0) == 0;
        },
        timeout, Ms{2});
    double ms = MillisecondsSince(start);
    if (exited || !ready) {
        if (exited) {
            DWORD code = 0;
            GetExitCodeProcess(info.hProcess, &code);
            *why =
                "ZARL.exe ended (exit code " + std::to_string(static_cast<long>(code)) +
                ") before its window was ready; its windows: " + DescribeWindows(info.dwProcessId);
        } else {
            *why = "ZARL.exe was not ready within " + std::to_string(timeout.count()) +
                   " ms: " + state + "; its windows: " + DescribeWindows(info.dwProcessId);
        }
        // Ending it like any other copy: WM_CLOSE, then kill.
        Zarl failed(info, window, ms);
        failed.Close(Ms{2000});
        return nullptr;
    }
    // The window is shown after the settings load and just before the message
    // loop; a bounded wait for the loop to go idle closes that gap.
    WaitForInputIdle(info.hProcess, 2000);
    return std::make_unique<Zarl>(info, window, ms);
}

// ---------------------------------------------------------------------------
// The clipboard

DWORD ClipboardSequence() {
    return GetClipboardSequenceNumber();
}

namespace {

// The smallest step of the sequence number across the CloseClipboard of a
// text write: what closing alone adds when nobody else writes in between.
DWORD g_textCloseStep = 0xFFFFFFFF;

template <class Fill>
ClipboardWrite WriteClipboard(Ms timeout, bool text, Fill fill) {
    ClipboardWrite write;
    if (!OpenClipboardWithRetry(timeout)) {
        write.error = LastErrorText("OpenClipboard (held by another program for the whole wait)");
        return write;
    }
    write.seqAtOpen = GetClipboardSequenceNumber();
    if (!EmptyClipboard()) {
        write.error = LastErrorText("EmptyClipboard");
        CloseClipboard();
        return write;
    }
    write.ok = fill(&write.error);
    DWORD beforeClose = GetClipboardSequenceNumber();
    CloseClipboard();
    write.closedAt = Clock::now();
    write.seq = GetClipboardSequenceNumber();
    if (text && write.ok) {
        DWORD step = write.seq - beforeClose;
        write.overtaken = g_textCloseStep != 0xFFFFFFFF && step > g_textCloseStep;
        g_textCloseStep = std::min(g_textCloseStep, step);
        write.seqOurs = beforeClose + g_textCloseStep;
    } else {
        write.seqOurs = write.seq;
    }
    return write;
}

}  // namespace

ClipboardWrite CopyText(const std::string& bytes, Ms timeout) {
    return WriteClipboard(timeout, true, [&](std::string* error) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size() + 1);
        if (!block) {
            *error = LastErrorText("GlobalAlloc");
            return false;
        }
        auto* p = static_cast<char*>(GlobalLock(block));
        if (!p) {
            *error = LastErrorText("GlobalLock");
            GlobalFree(block);
            return false;
        }
        std::memcpy(p, bytes.data(), bytes.size());
        p[bytes.size()] = '\0';
        GlobalUnlock(block);
        if (!SetClipboardData(CF_TEXT, block)) {
            *error = LastErrorText("SetClipboardData(CF_TEXT)");
            GlobalFree(block);
            return false;
        }
        return true;
    });
}

ClipboardWrite CopyBitmap(Ms timeout) {
    return WriteClipboard(timeout, false, [&](std::string* error) {
        std::vector<std::uint32_t> pixels(16 * 16);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = (i % 3 == 0) ? 0x00FF0000u : 0x000000FFu;
        HBITMAP bitmap = CreateBitmap(16, 16, 1, 32, pixels.data());
        if (!bitmap) {
            *error = LastErrorText("CreateBitmap");
            return false;
        }
        if (!SetClipboardData(CF_BITMAP, bitmap)) {
            *error = LastErrorText("SetClipboardData(CF_BITMAP)");
            DeleteObject(bitmap);
            return false;
        }
        return true;
    });
}

ClipboardWrite EmptyTheClipboard(Ms timeout) {
    return WriteClipboard(timeout, false, [](std::string*) { return true; });
}

ClipboardRead ReadClipboardText(Ms timeout) {
    ClipboardRead read;
    if (!OpenClipboardWithRetry(timeout)) return read;
    read.opened = true;
    read.seq = GetClipboardSequenceNumber();
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data) {
        SIZE_T size = GlobalSize(data);
        const char* p = static_cast<const char*>(GlobalLock(data));
        if (p) {
            read.hasText = true;
            SIZE_T n = 0;
            while (n < size && p[n] != '\0') ++n;
            read.text.assign(p, n);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return read;
}

bool ClipboardHasFormat(UINT format) {
    return IsClipboardFormatAvailable(format) != FALSE;
}

std::optional<DWORD> WaitForClipboard(DWORD previous, Ms timeout) {
    DWORD now = previous;
    bool changed = WaitUntil(
        [&] {
            now = GetClipboardSequenceNumber();
            return now != previous;
        },
        timeout, Ms{1});
    if (!changed) return std::nullopt;
    return now;
}

testing::AssertionResult ExpectClipboardStaysQuiet(DWORD since, Ms period,
                                                   const std::optional<std::string>& expectedText) {
    DWORD changedTo = since;
    auto start = Clock::now();
    bool changed = WaitUntil(
        [&] {
            changedTo = GetClipboardSequenceNumber();
            return changedTo != since;
        },
        period, Ms{2});
    if (changed) {
        double ms = MillisecondsSince(start);
        // Let the writer finish before looking at what it wrote.
        ClipboardRead read = ReadClipboardText();
        return testing::AssertionFailure()
               << "the clipboard changed " << static_cast<int>(ms)
               << " ms into a period in which nothing should happen (sequence " << since << " -> "
               << changedTo << "); it now holds "
               << (read.hasText ? Printable(read.text) : std::string("no text"));
    }
    // The positive control: a running ZARL has handled every change notified
    // before now, and still nothing has changed.
    std::vector<HWND> zarls = TopLevelWindows(0, "ZARL");
    if (zarls.size() == 1) {
        testing::AssertionResult alive = ZarlCaughtUp(zarls[0]);
        if (!alive)
            return testing::AssertionFailure()
                   << "the clipboard stayed still for " << period.count()
                   << " ms, but that proves nothing: " << alive.message();
        changedTo = GetClipboardSequenceNumber();
        if (changedTo != since)
            return testing::AssertionFailure()
                   << "the clipboard changed after a still period of " << period.count()
                   << " ms, before ZARL had caught up (sequence " << since << " -> " << changedTo
                   << ")";
    }
    if (expectedText) {
        ClipboardRead read = ReadClipboardText();
        if (!read.opened) return testing::AssertionFailure() << "could not open the clipboard";
        if (!read.hasText || read.text != *expectedText) {
            return testing::AssertionFailure()
                   << "the clipboard should still hold " << Printable(*expectedText)
                   << " but holds "
                   << (read.hasText ? Printable(read.text) : std::string("no text"));
        }
    }
    return testing::AssertionSuccess();
}

std::optional<DWORD> WaitForClipboardToSettle(Ms quiet, Ms timeout) {
    Deadline deadline(timeout);
    DWORD last = GetClipboardSequenceNumber();
    auto lastChange = Clock::now();
    for (;;) {
        PumpMessages(Ms{5});
        DWORD now = GetClipboardSequenceNumber();
        if (now != last) {
            last = now;
            lastChange = Clock::now();
        } else if (Clock::now() - lastChange >= quiet) {
            return last;
        }
        if (deadline.Passed()) return std::nullopt;
    }
}

Outcome CopyAndAwaitChange(const std::string& text, Ms timeout) {
    Outcome outcome;
    outcome.write = CopyText(text);
    if (!outcome.write.ok) return outcome;
    // The clipboard must not be opened before the change shows: a reader that
    // holds it while the program wants to read makes the program skip the text.
    if (outcome.write.overtaken || WaitForClipboard(outcome.write.seq, timeout)) {
        outcome.read = ReadClipboardText();
        outcome.changed = true;
    } else {
        outcome.read = ReadClipboardText();
        outcome.changed =
            outcome.read.opened && (!outcome.read.hasText || outcome.read.text != text);
    }
    outcome.milliseconds =
        std::chrono::duration<double, std::milli>(Clock::now() - outcome.write.closedAt).count();
    return outcome;
}

testing::AssertionResult CopyAndExpectResult(const std::string& text, const std::string& expected,
                                             std::optional<Ms> quietAfter, Ms timeout) {
    Outcome outcome = CopyAndAwaitChange(text, timeout);
    if (!outcome.write.ok)
        return testing::AssertionFailure()
               << "copying " << Printable(text) << ": " << outcome.write.error;
    if (!outcome.changed) {
        return testing::AssertionFailure()
               << "copied " << Printable(text) << ", expected " << Printable(expected)
               << ", but the clipboard did not change within " << timeout.count()
               << " ms (it still holds " << Printable(outcome.read.text) << ")";
    }
    if (!outcome.read.hasText || outcome.read.text != expected) {
        return testing::AssertionFailure()
               << "copied " << Printable(text) << ", expected " << Printable(expected) << ", seen "
               << (outcome.read.hasText ? Printable(outcome.read.text) : std::string("no text"));
    }
    if (quietAfter) {
        auto quiet = ExpectClipboardStaysQuiet(outcome.read.seq, *quietAfter, expected);
        if (!quiet) {
            return testing::AssertionFailure()
                   << "copied " << Printable(text) << " and got " << Printable(expected)
                   << ", but then: " << quiet.message();
        }
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult CopyAndExpectNoChange(const std::string& text, Ms period) {
    ClipboardWrite write = CopyText(text);
    if (!write.ok)
        return testing::AssertionFailure() << "copying " << Printable(text) << ": " << write.error;
    if (write.overtaken) {
        ClipboardRead read = ReadClipboardText();
        return testing::AssertionFailure()
               << "copied " << Printable(text)
               << ": the clipboard changed right after the copy; it holds "
               << (read.hasText ? Printable(read.text) : std::string("no text"));
    }
    auto quiet = ExpectClipboardStaysQuiet(write.seq, period, text);
    if (!quiet)
        return testing::AssertionFailure()
               << "copied " << Printable(text) << ": " << quiet.message();
    return testing::AssertionSuccess();
}

// ---------------------------------------------------------------------------
// Windows of the program

bool ChooseSystemMenu(HWND window, WPARAM id) {
    return PostMessageA(window, WM_SYSCOMMAND, id, 0) != FALSE;
}

testing::AssertionResult ZarlCaughtUp(HWND zarl, Ms timeout) {
    const std::string operating = "ZARL-Operating";
    const std::string pausing = "ZARL-Pausing";
    std::string title;
    // A cycle in progress shows "ZARL-Evaluating" until it ends.
    bool settled = WaitUntil(
        [&] {
            title = WindowTitle(zarl);
            return title == operating || title == pausing;
        },
        timeout);
    if (!settled) return testing::AssertionFailure() << "ZARL's title stays " << Printable(title);
    for (int command = 0; command < 2; ++command) {
        const std::string& flipped = title == operating ? pausing : operating;
        if (!ChooseSystemMenu(zarl, IDM_OPERATING))
            return testing::AssertionFailure() << "could not post to ZARL's window";
        if (!WaitForTitle(zarl, flipped, timeout, &title))
            return testing::AssertionFailure()
                   << "ZARL did not carry out a posted \"Operating\" command within "
                   << timeout.count() << " ms (title " << Printable(title) << ")";
    }
    return testing::AssertionSuccess();
}

bool WaitForTitle(HWND window, const std::string& title, Ms timeout, std::string* seen) {
    std::string last;
    bool ok = WaitUntil(
        [&] {
            last = WindowTitle(window);
            return last == title;
        },
        timeout);
    if (seen) *seen = last;
    return ok;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM param) {
    if (ClassName(child) == "Static")
        reinterpret_cast<std::vector<std::string>*>(param)->push_back(WindowTitle(child));
    return TRUE;
}

std::vector<std::string> StaticTexts(HWND dialog) {
    std::vector<std::string> texts;
    EnumChildWindows(dialog, CollectStaticText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

HWND FindDialog(DWORD pid, const std::string& title, Ms timeout) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND w : TopLevelWindows(pid, "#32770")) {
                if (WindowTitle(w) == title) {
                    found = w;
                    return true;
                }
            }
            return false;
        },
        timeout, Ms{5});
    return found;
}

HWND FindMessageBox(DWORD pid, const std::string& title, const std::string& text, Ms timeout) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND w : TopLevelWindows(pid, "#32770")) {
                if (WindowTitle(w) != title) continue;
                for (const std::string& s : StaticTexts(w)) {
                    if (s == text) {
                        found = w;
                        return true;
                    }
                }
            }
            return false;
        },
        timeout, Ms{5});
    return found;
}

bool AnswerMessageBox(HWND box, int buttonId) {
    HWND button = GetDlgItem(box, buttonId);
    return PostMessageA(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                        reinterpret_cast<LPARAM>(button)) != FALSE;
}

std::optional<LRESULT> SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       Ms timeout) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, ToTimeout(timeout),
                             &result))
        return std::nullopt;
    return static_cast<LRESULT>(result);
}

// ---------------------------------------------------------------------------
// Settings store

Setting Text(std::string name, std::string value) {
    Setting s;
    s.name = std::move(name);
    s.text = std::move(value);
    return s;
}

Setting Dword(std::string name, DWORD value) {
    Setting s;
    s.name = std::move(name);
    s.isDword = true;
    s.number = value;
    return s;
}

bool KeyExists(const char* subkey) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool DeleteBrenmoorKey() {
    LONG r = RegDeleteTreeA(HKEY_CURRENT_USER, kBrenmoorKey);
    if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) return false;
    return !KeyExists(kBrenmoorKey);
}

namespace {

bool WriteRegValue(const char* subkey, const std::string& name, DWORD type, const void* data,
                   DWORD size) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG r = RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS;
}

}  // namespace

bool WriteRegText(const char* subkey, const std::string& name, const std::string& value) {
    return WriteRegValue(subkey, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

bool WriteRegDword(const char* subkey, const std::string& name, DWORD value) {
    return WriteRegValue(subkey, name, REG_DWORD, &value, sizeof value);
}

std::optional<RegValue> ReadRegValue(const char* subkey, const std::string& name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    std::optional<RegValue> value;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::string data(size, '\0');
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
            data.resize(size);
            value = RegValue{type, data};
        }
    }
    RegCloseKey(key);
    return value;
}

std::optional<std::string> ReadRegText(const char* subkey, const std::string& name) {
    auto value = ReadRegValue(subkey, name);
    if (!value || value->type != REG_SZ) return std::nullopt;
    std::string text = value->data;
    // Stored with its terminating zero byte; show the text itself.
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

std::optional<DWORD> ReadRegDword(const char* subkey, const std::string& name) {
    auto value = ReadRegValue(subkey, name);
    if (!value || value->type != REG_DWORD || value->data.size() != sizeof(DWORD))
        return std::nullopt;
    DWORD number;
    std::memcpy(&number, value->data.data(), sizeof number);
    return number;
}

std::optional<RegSnapshot> SnapshotKey(const char* subkey) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD maxName = 0;
    DWORD maxData = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                     &maxData, nullptr, nullptr);
    RegSnapshot snapshot;
    for (DWORD index = 0;; ++index) {
        std::string name(maxName + 2, '\0');
        std::string data(maxData + 2, '\0');
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG r = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type,
                               reinterpret_cast<BYTE*>(data.data()), &dataSize);
        if (r != ERROR_SUCCESS) break;
        name.resize(nameSize);
        data.resize(dataSize);
        snapshot[name] = RegValue{type, data};
    }
    RegCloseKey(key);
    return snapshot;
}

std::string DescribeSnapshotDifference(const RegSnapshot& before, const RegSnapshot& after) {
    std::ostringstream out;
    auto show = [](const RegValue& v) {
        return "type " + std::to_string(v.type) + " " + Printable(v.data);
    };
    for (const auto& [name, value] : before) {
        auto it = after.find(name);
        if (it == after.end())
            out << name << " removed (was " << show(value) << "); ";
        else if (it->second != value)
            out << name << " changed from " << show(value) << " to " << show(it->second) << "; ";
    }
    for (const auto& [name, value] : after)
        if (!before.count(name)) out << name << " added (" << show(value) << "); ";
    return out.str();
}

std::string IniPath() {
    char buffer[MAX_PATH] = "";
    UINT n = GetWindowsDirectoryA(buffer, sizeof buffer);
    std::string path(buffer, n);
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path + "ZARL.INI";
}

bool DeleteIni() {
    // Our own cached copy first, so that a later read sees the file, not the cache.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, "ZARL.INI");
    std::string path = IniPath();
    DeleteFileA(path.c_str());
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool WriteIni(const std::string& section, const std::string& key, const std::string& value) {
    bool ok = WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), "ZARL.INI") !=
              FALSE;
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, "ZARL.INI");
    return ok;
}

std::optional<std::string> ReadIni(const std::string& section, const std::string& key) {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, "ZARL.INI");
    const char* missing = "\x01missing\x01";
    char buffer[1024] = "";
    GetPrivateProfileStringA(section.c_str(), key.c_str(), missing, buffer, sizeof buffer,
                             "ZARL.INI");
    if (std::strcmp(buffer, missing) == 0) return std::nullopt;
    return std::string(buffer);
}

testing::AssertionResult FreshStore(const std::vector<Setting>& settings) {
    if (!DeleteBrenmoorKey())
        return testing::AssertionFailure() << "could not delete HKCU\\" << kBrenmoorKey;
    if (!DeleteIni()) return testing::AssertionFailure() << "could not delete " << IniPath();
    if (settings.empty()) return testing::AssertionSuccess();
    if (!WriteRegText(kSettingsKey, "Version", "3.05"))
        return testing::AssertionFailure()
               << "could not write Version under HKCU\\" << kSettingsKey;
    for (const Setting& s : settings) {
        bool ok = s.isDword ? WriteRegDword(kSettingsKey, s.name, s.number)
                            : WriteRegText(kSettingsKey, s.name, s.text);
        if (!ok) return testing::AssertionFailure() << "could not write " << s.name;
    }
    return testing::AssertionSuccess();
}

// ---------------------------------------------------------------------------
// The test process's clipboard viewer

namespace {
const char* kViewerClass = "ZarlE2EViewer";
}

TestViewer::TestViewer(std::string name) : name_(std::move(name)) {
    static bool registered = false;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = instance;
        wc.lpszClassName = kViewerClass;
        registered = RegisterClassA(&wc) != 0;
    }
    window_ = CreateWindowExA(0, kViewerClass, name_.c_str(), WS_OVERLAPPED, 0, 0, 50, 50, nullptr,
                              nullptr, instance, nullptr);
    if (window_) SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TestViewer::~TestViewer() {
    if (!window_) return;
    if (joined_) {
        // ChangeClipboardChain sends to the head of the chain and waits without a
        // time limit; only ask a head that answers.
        HWND head = GetClipboardViewer();
        DWORD_PTR ignored;
        if (!head || WindowProcessId(head) == GetCurrentProcessId() ||
            SendMessageTimeoutA(head, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored))
            Leave();
    }
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

bool TestViewer::Join() {
    if (!window_ || joined_) return false;
    SetLastError(0);
    HWND next = SetClipboardViewer(window_);
    if (!next && GetLastError() != 0) return false;
    next_ = next;
    joined_ = true;
    return true;
}

bool TestViewer::Leave() {
    if (!joined_) return false;
    joined_ = false;
    ChangeClipboardChain(window_, next_);
    return true;
}

void TestViewer::ResetCounts() {
    draws_ = 0;
    drawsAfterLeaving_ = 0;
    forwardFailures_ = 0;
    chainChanges_.clear();
    drawSequences_.clear();
}

LRESULT CALLBACK TestViewer::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TestViewer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self) return self->Handle(message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

void TestViewer::Forward(UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR ignored;
    if (!SendMessageTimeoutA(next_, message, wParam, lParam, SMTO_NORMAL, 5000, &ignored))
        ++forwardFailures_;
}

LRESULT TestViewer::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DRAWCLIPBOARD:
            ++draws_;
            drawSequences_.push_back(GetClipboardSequenceNumber());
            if (!joined_) {
                // Not a member any more: whoever sent this holds a stale handle.
                ++drawsAfterLeaving_;
                return 0;
            }
            if (next_) Forward(message, wParam, lParam);
            return 0;
        case WM_CHANGECBCHAIN:
            chainChanges_.emplace_back(reinterpret_cast<HWND>(wParam),
                                       reinterpret_cast<HWND>(lParam));
            if (reinterpret_cast<HWND>(wParam) == next_)
                next_ = reinterpret_cast<HWND>(lParam);
            else if (next_ && joined_)
                Forward(message, wParam, lParam);
            return 0;
        default: return DefWindowProcA(window_, message, wParam, lParam);
    }
}

// ---------------------------------------------------------------------------
// The Result and Immediate windows

bool ShowResultWindow(HWND mainWindow) {
    return ChooseSystemMenu(mainWindow, IDM_SHOWRESULT);
}

bool ShowImdWindow(HWND mainWindow) {
    return ChooseSystemMenu(mainWindow, IDM_SHOWIMD);
}

std::vector<HWND> ShownDialogs(DWORD pid, const std::string& title) {
    std::vector<HWND> shown;
    for (HWND w : TopLevelWindows(pid, "#32770"))
        if (IsWindowVisible(w) && WindowTitle(w) == title) shown.push_back(w);
    return shown;
}

HWND FindShownDialog(DWORD pid, const std::string& title, Ms timeout) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            std::vector<HWND> shown = ShownDialogs(pid, title);
            found = shown.empty() ? nullptr : shown.front();
            return found != nullptr;
        },
        timeout, Ms{2});
    return found;
}

HWND FindResultWindow(DWORD pid, Ms timeout) {
    return FindShownDialog(pid, kResultWindowTitle, timeout);
}

HWND FindImdWindow(DWORD pid, Ms timeout) {
    return FindShownDialog(pid, kImdWindowTitle, timeout);
}

bool WaitForWindowGone(HWND window, Ms timeout) {
    return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeout);
}

namespace {

std::optional<LRESULT> SendWideWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                           Ms timeout = Ms{5000}) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, ToTimeout(timeout),
                             &result))
        return std::nullopt;
    return static_cast<LRESULT>(result);
}

// The program's texts are 8-bit; the wide form read across the process
// boundary goes back through the same code page.
std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                            nullptr, nullptr);
    return out;
}

HWND ExpressionEdit(HWND imdWindow) {
    HWND combo = GetDlgItem(imdWindow, IDC_EXPRESSION);
    return combo ? FindWindowExA(combo, nullptr, "Edit", nullptr) : nullptr;
}

bool PressKey(HWND imdWindow, UINT key, UINT scanCode) {
    HWND edit = ExpressionEdit(imdWindow);
    if (!edit) return false;
    LPARAM down = 1 | (static_cast<LPARAM>(scanCode) << 16);
    LPARAM up = down | (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
    return PostMessageA(edit, WM_KEYDOWN, key, down) && PostMessageA(edit, WM_KEYUP, key, up);
}

}  // namespace

std::optional<std::vector<std::string>> ComboItems(HWND combo) {
    if (!combo) return std::nullopt;
    std::optional<LRESULT> count = SendWideWithTimeout(combo, CB_GETCOUNT, 0, 0);
    if (!count || *count < 0) return std::nullopt;
    std::vector<std::string> items;
    for (LRESULT i = 0; i < *count; ++i) {
        std::optional<LRESULT> length = SendWideWithTimeout(combo, CB_GETLBTEXTLEN, i, 0);
        if (!length || *length < 0) return std::nullopt;
        std::wstring text(static_cast<size_t>(*length) + 1, L'\0');
        std::optional<LRESULT> got =
            SendWideWithTimeout(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        if (!got || *got < 0) return std::nullopt;
        text.resize(std::min(static_cast<size_t>(*got), static_cast<size_t>(*length)));
        items.push_back(Narrow(text));
    }
    return items;
}

std::optional<std::vector<std::string>> ResultHistory(HWND resultWindow) {
    return ComboItems(GetDlgItem(resultWindow, IDC_HISTORY));
}

std::optional<int> SelectedHistoryEntry(HWND resultWindow) {
    HWND combo = GetDlgItem(resultWindow, IDC_HISTORY);
    if (!combo) return std::nullopt;
    std::optional<LRESULT> selected = SendWideWithTimeout(combo, CB_GETCURSEL, 0, 0);
    if (!selected) return std::nullopt;
    return static_cast<int>(*selected);
}

bool SelectHistoryEntry(HWND resultWindow, int index) {
    HWND combo = GetDlgItem(resultWindow, IDC_HISTORY);
    if (!combo) return false;
    std::optional<LRESULT> selected = SendWideWithTimeout(combo, CB_SETCURSEL, index, 0);
    if (!selected || *selected != index) return false;
    return PostMessageA(resultWindow, WM_COMMAND, MAKEWPARAM(IDC_HISTORY, CBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(combo)) != FALSE;
}

bool ClickButton(HWND dialog, int controlId) {
    HWND button = GetDlgItem(dialog, controlId);
    return button && PostMessageA(button, BM_CLICK, 0, 0) != FALSE;
}

bool ClickCopy(HWND resultWindow) {
    return ClickButton(resultWindow, IDC_COPY);
}

bool ClickFloat(HWND window) {
    return ClickButton(window, IDC_FLOAT);
}

bool ClickEvaluate(HWND imdWindow) {
    return ClickButton(imdWindow, IDC_EVALUATE);
}

bool ClickClear(HWND imdWindow) {
    return ClickButton(imdWindow, IDC_CLEAR);
}

std::optional<bool> IsChecked(HWND dialog, int controlId) {
    HWND box = GetDlgItem(dialog, controlId);
    if (!box) return std::nullopt;
    std::optional<LRESULT> state = SendWideWithTimeout(box, BM_GETCHECK, 0, 0);
    if (!state) return std::nullopt;
    return *state == BST_CHECKED;
}

std::optional<std::string> ExpressionText(HWND imdWindow) {
    HWND combo = GetDlgItem(imdWindow, IDC_EXPRESSION);
    if (!combo) return std::nullopt;
    std::optional<LRESULT> length = SendWideWithTimeout(combo, WM_GETTEXTLENGTH, 0, 0);
    if (!length || *length < 0) return std::nullopt;
    std::wstring text(static_cast<size_t>(*length) + 1, L'\0');
    std::optional<LRESULT> got =
        SendWideWithTimeout(combo, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    if (!got || *got < 0) return std::nullopt;
    text.resize(std::min(static_cast<size_t>(*got), static_cast<size_t>(*length)));
    return Narrow(text);
}

testing::AssertionResult TypeExpression(HWND imdWindow, const std::string& text) {
    HWND combo = GetDlgItem(imdWindow, IDC_EXPRESSION);
    if (!combo) return testing::AssertionFailure() << "the Immediate window has no expression box";
    // A click into the box: the dialog manager gives it the focus.
    if (!SendWithTimeout(imdWindow, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(combo), TRUE))
        return testing::AssertionFailure() << "the Immediate window does not answer within 5 s";
    std::optional<LRESULT> set =
        SendWithTimeout(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (!set) return testing::AssertionFailure() << "the expression box does not answer within 5 s";
    std::optional<std::string> now = ExpressionText(imdWindow);
    if (!now || *now != text) {
        return testing::AssertionFailure()
               << "typed " << Printable(text) << " into the expression box, which then holds "
               << (now ? Printable(*now) : std::string("(no answer)"));
    }
    return testing::AssertionSuccess();
}

std::optional<std::vector<std::string>> ExpressionList(HWND imdWindow) {
    return ComboItems(GetDlgItem(imdWindow, IDC_EXPRESSION));
}

bool PressEnter(HWND imdWindow) {
    return PressKey(imdWindow, VK_RETURN, 0x1C);
}

bool PressEsc(HWND imdWindow) {
    return PressKey(imdWindow, VK_ESCAPE, 0x01);
}

bool MoveWindowTo(HWND window, int x, int y) {
    if (!SendWithTimeout(window, WM_NULL, 0, 0)) return false;
    return SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) !=
           FALSE;
}

RECT WindowRect(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

std::string DescribeRect(const RECT& rect) {
    std::ostringstream out;
    out << "(" << rect.left << "," << rect.top << ")-(" << rect.right << "," << rect.bottom << ")";
    return out.str();
}

bool IsTopmost(HWND window) {
    return (GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

bool CloseWithCloseBox(HWND window) {
    return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE;
}

std::optional<int> ReadRegCoordinate(const std::string& name) {
    std::optional<DWORD> value = ReadRegDword(kSettingsKey, name);
    if (!value) return std::nullopt;
    return static_cast<int>(static_cast<std::int32_t>(*value));
}

ClipboardHold::ClipboardHold(Ms timeout) : held_(OpenClipboardWithRetry(timeout)) {}

ClipboardHold::~ClipboardHold() {
    if (held_) CloseClipboard();
}

// ---------------------------------------------------------------------------
// The Settings dialog and the About box

bool RestoreMainWindow(HWND mainWindow) {
    return PostMessageA(mainWindow, WM_SYSCOMMAND, SC_RESTORE, 0) != FALSE;
}

HWND OpenSettingsDialog(HWND mainWindow, DWORD pid, Ms timeout) {
    if (!RestoreMainWindow(mainWindow)) return nullptr;
    return FindShownDialog(pid, kSettingsTitle, timeout);
}

std::optional<std::vector<std::string>> ListBoxItems(HWND list) {
    if (!list) return std::nullopt;
    std::optional<LRESULT> count = SendWideWithTimeout(list, LB_GETCOUNT, 0, 0);
    if (!count || *count < 0) return std::nullopt;
    std::vector<std::string> items;
    for (LRESULT i = 0; i < *count; ++i) {
        std::optional<LRESULT> length = SendWideWithTimeout(list, LB_GETTEXTLEN, i, 0);
        if (!length || *length < 0) return std::nullopt;
        std::wstring text(static_cast<size_t>(*length) + 1, L'\0');
        std::optional<LRESULT> got =
            SendWideWithTimeout(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        if (!got || *got < 0) return std::nullopt;
        text.resize(std::min(static_cast<size_t>(*got), static_cast<size_t>(*length)));
        items.push_back(Narrow(text));
    }
    return items;
}

std::optional<int> ListBoxSelection(HWND list) {
    if (!list) return std::nullopt;
    std::optional<LRESULT> selected = SendWideWithTimeout(list, LB_GETCURSEL, 0, 0);
    if (!selected) return std::nullopt;
    return static_cast<int>(*selected);
}

std::optional<int> ComboSelection(HWND combo) {
    if (!combo) return std::nullopt;
    std::optional<LRESULT> selected = SendWideWithTimeout(combo, CB_GETCURSEL, 0, 0);
    if (!selected) return std::nullopt;
    return static_cast<int>(*selected);
}

std::optional<std::string> ControlText(HWND control) {
    if (!control) return std::nullopt;
    std::optional<LRESULT> length = SendWideWithTimeout(control, WM_GETTEXTLENGTH, 0, 0);
    if (!length || *length < 0) return std::nullopt;
    std::wstring text(static_cast<size_t>(*length) + 1, L'\0');
    std::optional<LRESULT> got = SendWideWithTimeout(control, WM_GETTEXT, text.size(),
                                                     reinterpret_cast<LPARAM>(text.data()));
    if (!got || *got < 0) return std::nullopt;
    text.resize(std::min(static_cast<size_t>(*got), static_cast<size_t>(*length)));
    return Narrow(text);
}

namespace {

struct ChildQuery {
    const std::string* text;
    HWND found;
};

BOOL CALLBACK FindChildWithText(HWND child, LPARAM param) {
    auto* q = reinterpret_cast<ChildQuery*>(param);
    if (WindowTitle(child) != *q->text) return TRUE;
    q->found = child;
    return FALSE;
}

}  // namespace

HWND ChildWithText(HWND dialog, const std::string& text) {
    ChildQuery query{&text, nullptr};
    EnumChildWindows(dialog, FindChildWithText, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

bool SelectComboItem(HWND dialog, int controlId, int index) {
    HWND combo = GetDlgItem(dialog, controlId);
    return combo && PostMessageA(combo, CB_SETCURSEL, index, 0) &&
           PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, CBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(combo));
}

bool SelectListBoxItem(HWND dialog, int controlId, int index) {
    HWND list = GetDlgItem(dialog, controlId);
    return list && PostMessageA(list, LB_SETCURSEL, index, 0) &&
           PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, LBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(list));
}

bool TypeIntoEdit(HWND dialog, int controlId, const std::string& text) {
    HWND edit = GetDlgItem(dialog, controlId);
    if (!edit) return false;
    if (!PostMessageA(edit, EM_SETSEL, 0, -1) || !PostMessageA(edit, WM_CHAR, VK_BACK, 1))
        return false;
    for (unsigned char c : text)
        if (!PostMessageA(edit, WM_CHAR, c, 1)) return false;
    return true;
}

HWND FocusedWindow(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

bool FocusControl(HWND dialog, HWND control, Ms timeout) {
    if (!control || !PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE))
        return false;
    return WaitUntil([&] { return FocusedWindow(dialog) == control; }, timeout);
}

bool WaitForDialogToCatchUp(HWND dialog, int buttonId, Ms timeout,
                            const std::function<void()>& meanwhile) {
    HWND button = GetDlgItem(dialog, buttonId);
    if (!button) return false;
    Deadline deadline(timeout);
    for (WPARAM state : {TRUE, FALSE}) {
        if (!PostMessageA(button, BM_SETSTATE, state, 0)) return false;
        bool done = WaitUntil(
            [&] {
                if (meanwhile) meanwhile();
                std::optional<LRESULT> now =
                    SendWideWithTimeout(button, BM_GETSTATE, 0, 0, Ms{100});
                return now && ((*now & BST_PUSHED) != 0) == (state != FALSE);
            },
            deadline.Left(), Ms{5});
        if (!done) return false;
    }
    return true;
}

bool PressKey(HWND dialog, HWND control, UINT virtualKey) {
    UINT scanCode = MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
    LPARAM down = 1 | (static_cast<LPARAM>(scanCode) << 16);
    LPARAM up = down | (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
    return control &&
           PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE) &&
           PostMessageA(control, WM_KEYDOWN, virtualKey, down) &&
           PostMessageA(control, WM_KEYUP, virtualKey, up);
}

bool PressF1(HWND dialog, HWND control) {
    // What the system posts to the focused window for the key; not in the
    // SDK headers.
    const UINT wmKeyF1 = 0x004D;
    return control &&
           PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE) &&
           PostMessageA(control, wmKeyF1, 0, 0);
}

// ---------------------------------------------------------------------------
// The help engine

std::string HelpTracePath() {
    char buffer[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableA("ZARL_E2E_HELP_TRACE", buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return std::string();
    std::string path(buffer, n);
    // A Unix path (the wrapper's) is reached through drive Z:.
    if (path[0] == '/') {
        std::replace(path.begin(), path.end(), '/', '\\');
        path = "Z:" + path;
    }
    return path;
}

namespace {

// The bytes of the trace file from `offset` on.
std::string ReadTraceFrom(std::uint64_t offset) {
    std::string text;
    std::string path = HelpTracePath();
    if (path.empty()) return text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            text.append(buffer, got);
    }
    CloseHandle(file);
    return text;
}

struct EngineBoxQuery {
    std::vector<DWORD> pids;
    std::vector<HWND> boxes;
};

BOOL CALLBACK CollectEngineBox(HWND window, LPARAM param) {
    auto* q = reinterpret_cast<EngineBoxQuery*>(param);
    DWORD pid = WindowProcessId(window);
    if (std::find(q->pids.begin(), q->pids.end(), pid) == q->pids.end()) return TRUE;
    if (ClassName(window) == "#32770" && IsWindowVisible(window)) q->boxes.push_back(window);
    return TRUE;
}

}  // namespace

std::string HelpTraceSince(std::uint64_t offset) {
    return ReadTraceFrom(offset);
}

std::uint64_t HelpTraceSize() {
    WIN32_FILE_ATTRIBUTE_DATA data;
    std::string path = HelpTracePath();
    if (path.empty() || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<HelpRequest> HelpRequestsSince(std::uint64_t offset) {
    // trace:winhelp:WINHELP_HandleCommand Got[25]: cmd=1 data=00000083 fn="ZARL.HLP"
    std::vector<HelpRequest> requests;
    std::istringstream lines(ReadTraceFrom(offset));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("WINHELP_HandleCommand") == std::string::npos) continue;
        size_t at = line.find("cmd=");
        if (at == std::string::npos) continue;
        HelpRequest request;
        if (std::sscanf(line.c_str() + at, "cmd=%u data=%x", &request.command, &request.data) != 2)
            continue;
        size_t fn = line.find("fn=", at);
        if (fn != std::string::npos) {
            request.file = line.substr(fn + 3);
            while (!request.file.empty() &&
                   (request.file.back() == '\r' || request.file.back() == ' '))
                request.file.pop_back();
            if (request.file.size() >= 2 && request.file.front() == '"' &&
                request.file.back() == '"')
                request.file = request.file.substr(1, request.file.size() - 2);
        }
        requests.push_back(request);
    }
    return requests;
}

std::string DescribeHelpRequests(const std::vector<HelpRequest>& requests) {
    if (requests.empty()) return "(no requests)";
    std::ostringstream out;
    for (const HelpRequest& r : requests)
        out << "[cmd " << r.command << " data " << r.data << " file \"" << r.file << "\"] ";
    return out.str();
}

testing::AssertionResult WaitForHelpRequest(std::uint64_t offset, unsigned command, unsigned data,
                                            Ms timeout) {
    if (HelpTracePath().empty())
        return testing::AssertionFailure() << "no help trace file (ZARL_E2E_HELP_TRACE is not set)";
    std::vector<HelpRequest> seen;
    bool found = WaitUntil(
        [&] {
            AnswerHelpEngineBoxes();
            seen = HelpRequestsSince(offset);
            for (const HelpRequest& r : seen)
                if (r.command == command && r.data == data && r.file == "ZARL.HLP") return true;
            return false;
        },
        timeout, Ms{10});
    if (found) return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "the help engine got no request cmd=" << command << " data=" << data
           << " for ZARL.HLP within " << timeout.count() << " ms; it got "
           << DescribeHelpRequests(seen);
}

std::vector<DWORD> HelpEnginePids() {
    std::vector<DWORD> pids;
    for (HWND w : TopLevelWindows(0, "MS_WINHELP")) {
        DWORD pid = WindowProcessId(w);
        if (std::find(pids.begin(), pids.end(), pid) == pids.end()) pids.push_back(pid);
    }
    return pids;
}

std::vector<std::string> AnswerHelpEngineBoxes() {
    std::vector<std::string> texts;
    EngineBoxQuery query{HelpEnginePids(), {}};
    if (query.pids.empty()) return texts;
    EnumWindows(CollectEngineBox, reinterpret_cast<LPARAM>(&query));
    for (HWND box : query.boxes) {
        std::string text = WindowTitle(box) + ":";
        for (const std::string& s : StaticTexts(box))
            if (!s.empty()) text += " " + s;
        texts.push_back(text);
        int answer = GetDlgItem(box, IDNO) ? IDNO : GetDlgItem(box, IDCANCEL) ? IDCANCEL : IDOK;
        AnswerMessageBox(box, answer);
    }
    return texts;
}

bool CloseHelpEngine(Ms timeout) {
    std::vector<DWORD> pids = HelpEnginePids();
    if (pids.empty()) return true;
    std::vector<HANDLE> processes;
    for (DWORD pid : pids)
        if (HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid))
            processes.push_back(p);
    for (HWND w : TopLevelWindows(0, "MS_WINHELP")) PostMessageA(w, WM_CLOSE, 0, 0);
    bool ended = WaitUntil(
        [&] {
            AnswerHelpEngineBoxes();
            for (HANDLE p : processes)
                if (WaitForSingleObject(p, 0) == WAIT_TIMEOUT) return false;
            return true;
        },
        timeout, Ms{10});
    for (HANDLE p : processes) {
        if (WaitForSingleObject(p, 0) == WAIT_TIMEOUT) KillProcess(p);
        CloseHandle(p);
    }
    return ended && processes.size() == pids.size();
}

namespace {

BOOL CALLBACK FindUnpaintedChild(HWND child, LPARAM param) {
    if (!IsWindowVisible(child) || !GetUpdateRect(child, nullptr, FALSE)) return TRUE;
    *reinterpret_cast<bool*>(param) = true;
    return FALSE;
}

}  // namespace

bool WaitForPainting(HWND window, Ms timeout) {
    return WaitUntil(
        [&] {
            if (!IsWindowVisible(window) || GetUpdateRect(window, nullptr, FALSE)) return false;
            bool unpainted = false;
            EnumChildWindows(window, FindUnpaintedChild, reinterpret_cast<LPARAM>(&unpainted));
            return !unpainted;
        },
        timeout);
}

namespace {

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string ReadSmallFile(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[512];
        size_t n = std::fread(buffer, 1, sizeof buffer, f);
        text.assign(buffer, n);
        std::fclose(f);
    }
    return text;
}

}  // namespace

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

namespace {

BOOL CALLBACK CollectShownChild(HWND child, LPARAM param) {
    if (IsWindowVisible(child)) reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
    return TRUE;
}

}  // namespace

testing::AssertionResult ControlsWhole(HWND window) {
    RECT client{};
    if (!GetClientRect(window, &client)) return testing::AssertionFailure() << "no such window";
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT outer = WindowRect(window);
    // One pixel of slack: dialog units round to pixels, and a combo box of
    // the one-line windows (12 units high) takes the height its font needs,
    // which at 96 DPI reaches one pixel past them.
    auto inside = [](const RECT& inner, const RECT& box) {
        return inner.left >= box.left - 1 && inner.top >= box.top - 1 &&
               inner.right <= box.right + 1 && inner.bottom <= box.bottom + 1;
    };
    std::ostringstream faults;
    if (!inside(outer, screen))
        faults << "\"" << WindowTitle(window) << "\" " << DescribeRect(outer)
               << " reaches beyond the screen; ";
    std::vector<HWND> children;
    EnumChildWindows(window, CollectShownChild, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        RECT rect = WindowRect(child);
        if (GetParent(child) == window && !inside(rect, client))
            faults << "control " << GetDlgCtrlID(child) << " \"" << WindowTitle(child) << "\" "
                   << DescribeRect(rect) << " is cut off by " << DescribeRect(client) << "; ";
    }
    if (faults.str().empty()) return testing::AssertionSuccess();
    return testing::AssertionFailure() << faults.str() << "at " << ScreenDpi() << " DPI";
}

testing::AssertionResult TakeScreenshot(const std::string& name, Ms timeout) {
    if (name.empty() || name.find_first_not_of(
                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-") !=
                            std::string::npos)
        return testing::AssertionFailure()
               << "screenshot name " << Printable(name) << " is not a plain name";
    if (!RunningUnderWine()) {
        std::printf("[   NOTE   ] not under Wine: no screenshot %s taken\n", name.c_str());
        return testing::AssertionSuccess();
    }
    const std::string unixDirectory = ZARL_E2E_SCREENSHOT_DIR;
    if (unixDirectory.empty() || unixDirectory.find_first_of("'\"\\") != std::string::npos)
        return testing::AssertionFailure()
               << "no usable screenshot directory (" << Printable(unixDirectory) << ")";
    char display[256] = "";
    DWORD n = GetEnvironmentVariableA("DISPLAY", display, sizeof display);
    if (n == 0 || n >= sizeof display || std::strpbrk(display, "'\"\\"))
        return testing::AssertionFailure() << "no usable DISPLAY for the screenshot";

    // Pictures at another resolution than the usual 96 DPI keep their own names.
    std::string fileName = name;
    if (int dpi = ScreenDpi(); dpi != 96) fileName += "_" + std::to_string(dpi) + "dpi";
    const std::string unixFile = unixDirectory + "/" + fileName + ".png";
    const std::string unixLog = unixDirectory + "/" + fileName + ".log";
    auto windowsPath = [](std::string path) {
        std::replace(path.begin(), path.end(), '/', '\\');
        return "Z:" + path;
    };
    const std::string file = windowsPath(unixFile);
    const std::string log = windowsPath(unixLog);
    DeleteFileA(file.c_str());
    DeleteFileA(log.c_str());

    // The shell's streams are detached first: inherited from a test run by
    // ctest, they would keep ctest's output pipe open.
    std::string script = "exec </dev/null >/dev/null 2>&1; /bin/mkdir -p '" + unixDirectory +
                         "' || exit 1; exec 2>'" + unixLog + "'; /usr/bin/xwd -root -display '" +
                         display + "' | /usr/bin/convert xwd:- 'png:" + unixFile +
                         ".part' && /bin/mv -f '" + unixFile + ".part' '" + unixFile + "'";
    std::string commandLine = "/bin/sh -c \"" + script + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA("Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info))
        return testing::AssertionFailure()
               << LastErrorText("CreateProcessA(/bin/sh) for the screenshot");
    // A Unix process gives no handle to wait on: the finished file is the sign.
    if (info.hThread) CloseHandle(info.hThread);
    if (info.hProcess) CloseHandle(info.hProcess);
    bool done =
        WaitUntil([&] { return GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES; },
                  timeout, Ms{20});
    if (!done) {
        return testing::AssertionFailure()
               << "no screenshot " << unixFile << " within " << timeout.count()
               << " ms; the shell said: " << Printable(ReadSmallFile(log));
    }
    std::string head = ReadSmallFile(file).substr(0, 8);
    if (head != "\x89PNG\r\n\x1A\n")
        return testing::AssertionFailure() << unixFile << " is not a PNG file";
    DeleteFileA(log.c_str());
    std::printf("[   NOTE   ] screenshot %s\n", unixFile.c_str());
    return testing::AssertionSuccess();
}

// ---------------------------------------------------------------------------
// Process figures

std::string ReadWholeFile(const std::string& path) {
    // Not through a stream: libstdc++'s file buffer throws on a failed read,
    // and a file under /proc fails to read when its process ends meanwhile.
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    char block[4096];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, nullptr) && got > 0) text.append(block, got);
    CloseHandle(file);
    return text;
}

std::string ZarlProcDirectory() {
    char prefix[1024] = "";
    GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
    const std::string wanted = std::string("WINEPREFIX=") + prefix;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return "";
    std::string match;
    int matches = 0;
    do {
        const char* name = found.cFileName;
        if (!*name || std::strspn(name, "0123456789") != std::strlen(name)) continue;
        std::string dir = std::string("Z:\\proc\\") + name;
        std::string cmdline = ReadWholeFile(dir + "\\cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        if (cmdline.find("ZARL.exe") == std::string::npos) continue;
        if (prefix[0]) {
            std::istringstream entries(ReadWholeFile(dir + "\\environ"));
            std::string entry;
            bool same = false;
            while (std::getline(entries, entry, '\0'))
                if (entry == wanted) same = true;
            if (!same) continue;
        }
        ++matches;
        match = dir;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return matches == 1 ? match : "";
}

MemoryFigures ProcessMemory(HANDLE process) {
    MemoryFigures figures;
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters)) {
        figures.ok = true;
        figures.privateUsage = counters.PrivateUsage;
        figures.workingSet = counters.WorkingSetSize;
        figures.peakWorkingSet = counters.PeakWorkingSetSize;
        figures.pagefileUsage = counters.PagefileUsage;
    }
    return figures;
}

std::string FullWidthShiftJis(const std::string& ascii) {
    std::string out;
    auto pair = [&](unsigned lead, unsigned trail) {
        out += static_cast<char>(lead);
        out += static_cast<char>(trail);
    };
    for (char c : ascii) {
        if (c >= '0' && c <= '9')
            pair(0x82, 0x4F + (c - '0'));
        else if (c >= 'A' && c <= 'Z')
            pair(0x82, 0x60 + (c - 'A'));
        else if (c >= 'a' && c <= 'z')
            pair(0x82, 0x81 + (c - 'a'));
        else if (c == '+')
            pair(0x81, 0x7B);
        else if (c == '-')
            pair(0x81, 0x7C);
        else if (c == '.')
            pair(0x81, 0x44);
        else if (c == ',')
            pair(0x81, 0x43);
        else if (c == '=')
            pair(0x81, 0x81);
        else if (c == '^')
            pair(0x81, 0x4F);
        else if (c == '#')
            pair(0x81, 0x94);
        else
            ADD_FAILURE() << "no full-width form listed here for " << c;
    }
    return out;
}

}  // namespace e2e
