// The setup of ZARL as a Windows user meets it, in a prefix made anew for
// these cases (ctest's "installer"): the setups that must stop without
// leaving anything, then one user's way through a silent install, ZARL
// started as its Start-menu shortcut starts it, a second install over the
// running program and the silent uninstall with the program running.
#include "zarl_test.h"

#include "res/resource.h"

#include <objidl.h>
#include <shlobj.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#ifndef ZARL_E2E_SETUP
#define ZARL_E2E_SETUP ""  // only the build that makes the packages has one
#endif

namespace e2e {
namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZARL";

std::string Folder(int csidl) {
    char path[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return "";
    return path;
}

std::string InstallDir() {
    return Folder(CSIDL_LOCAL_APPDATA) + "\\Programs\\ZARL";
}
std::string ProgramsLink(const std::string& name) {
    return Folder(CSIDL_PROGRAMS) + "\\" + name + ".lnk";
}
std::string StartupLink() {
    return Folder(CSIDL_STARTUP) + "\\ZARL.lnk";
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The names in a folder (not "." and ".."), sorted.
std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names.insert(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

struct Shortcut {
    std::string target;
    std::string directory;
};

// What a .lnk file starts and in which folder, as the shell reads it.
std::optional<Shortcut> ReadShortcut(const std::string& path) {
    CoInitialize(nullptr);
    std::optional<Shortcut> result;
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    std::wstring widePath(path.begin(), path.end());
    char target[MAX_PATH] = "";
    char directory[MAX_PATH] = "";
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(widePath.c_str(), STGM_READ)) &&
        SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
        SUCCEEDED(link->GetWorkingDirectory(directory, MAX_PATH)))
        result = Shortcut{target, directory};
    if (file) file->Release();
    if (link) link->Release();
    return result;
}

testing::AssertionResult ShortcutIs(const std::string& link, const std::string& target,
                                    const std::string& directory) {
    std::optional<Shortcut> read = ReadShortcut(link);
    if (!read) return testing::AssertionFailure() << "cannot read " << link;
    if (_stricmp(read->target.c_str(), target.c_str()) != 0 ||
        _stricmp(read->directory.c_str(), directory.c_str()) != 0)
        return testing::AssertionFailure()
               << link << " starts \"" << read->target << "\" in \"" << read->directory
               << "\", expected \"" << target << "\" in \"" << directory << "\"";
    return testing::AssertionSuccess();
}

// Runs a program (pumping this thread's messages meanwhile, for the windows
// it may talk to) and returns its exit code, or nothing when it did not end.
std::optional<DWORD> RunProgram(const std::string& exe, const std::string& arguments,
                                Ms timeout = Ms{60000}) {
    std::string commandLine = "\"" + exe + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info))
        return std::nullopt;
    ProcessGuard guard(info);
    DWORD code = 0;
    if (!WaitForProcessExit(info.hProcess, timeout, &code)) return std::nullopt;
    return code;
}

// A running ZARL that this case did not start (the setup started it).
std::unique_ptr<Zarl> Adopt(HWND window) {
    DWORD pid = 0;
    DWORD tid = GetWindowThreadProcessId(window, &pid);
    PROCESS_INFORMATION info = {};
    info.hProcess =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
    info.hThread = OpenThread(SYNCHRONIZE, FALSE, tid);
    info.dwProcessId = pid;
    info.dwThreadId = tid;
    if (!info.hProcess || !info.hThread) return nullptr;
    return std::make_unique<Zarl>(info, window, 0.0);
}

class Installer : public ZarlTest {
protected:
    void SetUp() override {
        ZarlTest::SetUp();
        ASSERT_TRUE(Exists(setup_)) << "no setup at \"" << setup_ << "\"";
    }

    // Nothing of an installation anywhere.
    static testing::AssertionResult NothingInstalled() {
        std::set<std::string> left = Names(InstallDir());
        for (const std::string& link :
             {ProgramsLink("ZARL"), ProgramsLink("ZARL Manual"), StartupLink()})
            if (Exists(link)) left.insert(link);
        if (KeyExists(kUninstallKey)) left.insert(kUninstallKey);
        if (left.empty()) return testing::AssertionSuccess();
        testing::AssertionResult failure = testing::AssertionFailure();
        failure << "left behind:";
        for (const std::string& name : left) failure << " \"" << name << "\"";
        return failure;
    }

    // The stored settings are ZARL's own: its version is among them.
    static testing::AssertionResult SettingsKept() {
        if (ReadRegText(kSettingsKey, "Version") == std::optional<std::string>("3.05"))
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << "the stored settings are gone";
    }

    const std::string setup_ = ZARL_E2E_SETUP;
};

// A window of class ZARL that does not end on WM_CLOSE, as a ZARL that hangs
// while closing would be.
LRESULT CALLBACK IgnoreClose(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return message == WM_CLOSE ? 0 : DefWindowProcA(window, message, wParam, lParam);
}

// Exit code 2 is a setup that stopped itself; it must have written nothing.
TEST_F(Installer, SetupsThatMustStopLeaveNothing) {
    ASSERT_TRUE(NothingInstalled());
    // The folder cannot be written: /proc takes no new folder.
    EXPECT_EQ(RunProgram(setup_, "/S /D=Z:\\proc\\ZARL"), std::optional<DWORD>(2))
        << "setup into a folder that cannot be written";
    EXPECT_TRUE(NothingInstalled());

    // Another setup runs (it holds the setups' mutex).
    HANDLE other = CreateMutexA(nullptr, TRUE, "Brenmoor.ZARL.Setup");
    ASSERT_TRUE(other);
    EXPECT_EQ(RunProgram(setup_, "/S"), std::optional<DWORD>(2)) << "setup beside another setup";
    CloseHandle(other);
    EXPECT_TRUE(NothingInstalled());

    // A ZARL that does not end when asked is waited for, then left running:
    // silently the setup answers its Retry/Cancel question with Cancel.
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = IgnoreClose;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ZARL";
    ASSERT_TRUE(RegisterClassA(&windowClass));
    HWND hanging = CreateWindowA("ZARL", "ZARL-Operating", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                 nullptr, windowClass.hInstance, nullptr);
    ASSERT_TRUE(hanging);
    EXPECT_EQ(RunProgram(setup_, "/S"), std::optional<DWORD>(2))
        << "setup beside a ZARL that hangs";
    EXPECT_TRUE(IsWindow(hanging)) << "the setup did away with the hanging ZARL";
    DestroyWindow(hanging);
    UnregisterClassA("ZARL", windowClass.hInstance);
    EXPECT_TRUE(NothingInstalled());
}

TEST_F(Installer, InstallStartReinstallOverTheRunningProgramAndUninstall) {
    ASSERT_TRUE(FreshStore());
    const std::string dir = InstallDir();
    auto start = Clock::now();
    ASSERT_EQ(RunProgram(setup_, "/S"), std::optional<DWORD>(0)) << "the silent install failed";
    std::printf("[   NOTE   ] silent install: %.0f ms\n", MillisecondsSince(start));

    EXPECT_EQ(Names(dir), (std::set<std::string>{"LICENSE.txt", "README.txt",
                                                 "THIRD-PARTY-NOTICES.txt", "ZARL.CNT", "ZARL.HLP",
                                                 "ZARL.exe", "manual", "uninstall.exe"}));
    EXPECT_TRUE(Exists(dir + "\\manual\\index.html"));
    EXPECT_TRUE(ShortcutIs(ProgramsLink("ZARL"), dir + "\\ZARL.exe", dir));
    EXPECT_TRUE(ShortcutIs(ProgramsLink("ZARL Manual"), dir + "\\manual\\index.html", dir));
    EXPECT_FALSE(Exists(StartupLink())) << "a log-on shortcut nobody asked for";
    const std::string uninstaller = "\"" + dir + "\\uninstall.exe\"";
    const std::vector<std::pair<const char*, std::string>> texts = {
        {"DisplayName", "ZARL"},
        {"DisplayVersion", "3.05"},
        {"Publisher", "Brenmoor"},
        {"DisplayIcon", dir + "\\ZARL.exe,0"},
        {"InstallLocation", dir},
        {"UninstallString", uninstaller},
        {"QuietUninstallString", uninstaller + " /S"},
    };
    for (const auto& [name, value] : texts)
        EXPECT_EQ(ReadRegText(kUninstallKey, name), std::optional<std::string>(value)) << name;
    EXPECT_GT(ReadRegDword(kUninstallKey, "EstimatedSize").value_or(0), 100u);
    EXPECT_EQ(ReadRegDword(kUninstallKey, "NoModify"), std::optional<DWORD>(1));
    EXPECT_EQ(ReadRegDword(kUninstallKey, "NoRepair"), std::optional<DWORD>(1));

    // Started as the Start-menu shortcut starts it, it evaluates, and F1 in
    // its Result window opens its help file, found in the working folder.
    std::optional<Shortcut> link = ReadShortcut(ProgramsLink("ZARL"));
    ASSERT_TRUE(link);
    std::string why;
    zarl_ = StartZarl(&why, kStartTimeout, link->target, link->directory);
    ASSERT_TRUE(zarl_) << why;
    EXPECT_TRUE(CopyAndExpectResult("1+2=", "3"));
    ASSERT_TRUE(ShowResultWindow(zarl_->Window()));
    HWND result = FindResultWindow(zarl_->Pid());
    ASSERT_TRUE(result);
    std::uint64_t offset = HelpTraceSize();
    ASSERT_TRUE(PressF1(result, GetDlgItem(result, IDC_HISTORY)));
    char request[32];
    std::snprintf(request, sizeof request, "cmd=1 data=%08x", HELP_RESULTWINDOW);
    EXPECT_TRUE(WaitUntil(
        [&] {
            AnswerHelpEngineBoxes();
            std::string trace = HelpTraceSince(offset);
            size_t asked = trace.find(request);
            return asked != std::string::npos &&
                   trace.find("HLPFILE_PageByMap", asked) != std::string::npos;
        },
        Ms{15000}))
        << "the help engine did not open the Result window's topic of ZARL.HLP; it got "
        << DescribeHelpRequests(HelpRequestsSince(offset));
    EXPECT_TRUE(CloseHelpEngine());

    // Installed again over the running program, with the log-on shortcut:
    // ZARL is closed as its Close command closes it (it stores every setting
    // again, so a value taken away comes back) and started anew.
    ASSERT_EQ(RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "NoCopy"), ERROR_SUCCESS);
    ASSERT_EQ(RunProgram(setup_, "/S /AUTOSTART=1"), std::optional<DWORD>(0));
    EXPECT_FALSE(zarl_->Running()) << "the setup left the old ZARL running";
    Zarl::Ending ending = zarl_->Close();
    EXPECT_TRUE(ending.exited && ending.exitCode == 0) << "the old ZARL did not end by itself";
    EXPECT_EQ(ReadRegText(kSettingsKey, "NoCopy"), std::optional<std::string>("No"))
        << "the old ZARL did not store its settings on the way out";
    EXPECT_TRUE(ShortcutIs(StartupLink(), dir + "\\ZARL.exe", dir));
    HWND again = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::vector<HWND> windows = TopLevelWindows(0, "ZARL");
            again = windows.empty() ? nullptr : windows.front();
            return again && WindowTitle(again) == "ZARL-Operating";
        },
        kStartTimeout))
        << "the setup did not start ZARL again";
    zarl_ = Adopt(again);
    ASSERT_TRUE(zarl_);
    EXPECT_TRUE(CopyAndExpectResult("2+3=", "5"));

    // The quiet uninstall of the Uninstall key, with ZARL running: it closes
    // ZARL and removes everything but the settings. The uninstaller goes on
    // in a copy of itself, so the case waits for what it does.
    start = Clock::now();
    ASSERT_EQ(RunProgram(dir + "\\uninstall.exe", "/S"), std::optional<DWORD>(0));
    EXPECT_TRUE(WaitUntil([&] { return !zarl_->Running() && NothingInstalled(); }, Ms{30000}))
        << NothingInstalled().message();
    std::printf("[   NOTE   ] silent uninstall: %.0f ms\n", MillisecondsSince(start));
    ending = zarl_->Close();
    EXPECT_TRUE(ending.exited && ending.exitCode == 0) << "the uninstaller did not close ZARL";
    EXPECT_FALSE(Exists(dir)) << "the install folder is still there";
    EXPECT_TRUE(SettingsKept());
}

}  // namespace
}  // namespace e2e
