// The fixture every end-to-end case starts from: a display, no copy of ZARL
// left running, a neutral text on the clipboard, and (through StartFresh) a
// settings store holding only what the case writes before ZARL starts. The
// copy a case starts is ended by TearDown, killed only if WM_CLOSE does not end
// it in time, so one failed case cannot poison the next.
#pragma once

#include "harness.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {

// Ends a second process this case launched, whatever way the case leaves.
class ProcessGuard {
public:
    explicit ProcessGuard(PROCESS_INFORMATION info) : info_(info) {}
    ~ProcessGuard() {
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) KillProcess(info_.hProcess);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    ProcessGuard(const ProcessGuard&) = delete;
    ProcessGuard& operator=(const ProcessGuard&) = delete;
    HANDLE Process() const { return info_.hProcess; }
    DWORD Pid() const { return info_.dwProcessId; }

private:
    PROCESS_INFORMATION info_;
};

class ZarlTest : public testing::Test {
protected:
    void SetUp() override {
        traceOffset_ = HelpTraceSize();
        std::string why;
        ASSERT_TRUE(DisplayAvailable(&why)) << why;
        ASSERT_NE(GetFileAttributesA(ZarlExePath().c_str()), INVALID_FILE_ATTRIBUTES)
            << "ZARL.exe not found at " << ZarlExePath();
        // A copy left by an earlier case would turn this start into a second copy.
        for (HWND w : TopLevelWindows(0, "ZARL")) {
            DWORD pid = WindowProcessId(w);
            ASSERT_TRUE(StartedByHarness(pid))
                << "a ZARL window of a process this harness did not start (pid " << pid
                << ") exists; end it before running the end-to-end tests";
            HANDLE process = OpenProcess(
                PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
            if (process) {
                PostMessageA(w, WM_CLOSE, 0, 0);
                if (!WaitForProcessExit(process, kCloseTimeout, nullptr)) KillProcess(process);
                CloseHandle(process);
            }
        }
        // Nothing an earlier case left on the clipboard may be taken for input.
        ClipboardWrite neutral = CopyText("e2e");
        ASSERT_TRUE(neutral.ok) << neutral.error;
    }

    void TearDown() override {
        if (zarl_) {
            Zarl::Ending ending = zarl_->Close();
            EXPECT_FALSE(ending.killed) << "ZARL did not end within " << kCloseTimeout.count()
                                        << " ms of WM_CLOSE and was killed";
            zarl_.reset();
        }
        ExpectNoCrashReport();
    }

    // Wine reports an unhandled exception of any process of the run (ZARL,
    // the help engine) on the standard error, which the run sends to the
    // trace file; the debugger's register dump and backtrace go to the
    // standard output, where they stand in this case's output already.
    void ExpectNoCrashReport() const {
        std::istringstream trace(HelpTraceSince(traceOffset_));
        std::string line, report;
        while (std::getline(trace, line)) {
            if (line.find("wine: Unhandled") != std::string::npos ||
                line.find(":err:seh:") != std::string::npos)
                report += "\n  " + line;
        }
        EXPECT_TRUE(report.empty()) << "Wine reported a crash during this case:" << report;
    }

    // Removes the stored settings, writes the given ones, and starts ZARL.
    void StartFresh(const std::vector<Setting>& settings = {}) {
        ASSERT_TRUE(FreshStore(settings));
        StartOnly();
    }

    // Starts ZARL with whatever the store holds now.
    void StartOnly() {
        std::string why;
        zarl_ = StartZarl(&why);
        ASSERT_TRUE(zarl_) << why;
    }

    // Still running, its window still there, answering messages, not writing
    // the clipboard endlessly, and still evaluating (expression, with the key
    // where the case's settings put it, must give 3).
    void ExpectAliveAndEvaluating(const std::string& expression = "1+2=") {
        ASSERT_TRUE(zarl_);
        EXPECT_TRUE(zarl_->Running()) << "ZARL.exe has ended";
        ASSERT_TRUE(zarl_->WindowPresent()) << "the main window of class ZARL is gone";
        EXPECT_TRUE(SendWithTimeout(zarl_->Window(), WM_NULL, 0, 0, Ms{5000}))
            << "the main window does not answer a message within 5 s (hung)";
        EXPECT_TRUE(WaitForClipboardToSettle(Ms{300}, Ms{30000}))
            << "the clipboard keeps changing for 30 s";
        EXPECT_TRUE(CopyAndExpectResult(expression, "3"));
    }

    std::unique_ptr<Zarl> zarl_;
    std::uint64_t traceOffset_ = 0;
};

}  // namespace e2e
