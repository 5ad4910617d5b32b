// The program as a whole: the evaluation delay, pausing through the system
// menu, refusing a second copy, staying minimized when restored, and ending on
// WM_CLOSE with its settings stored.
#include "zarl_test.h"

#include "res/resource.h"

#include <string>

namespace e2e {
namespace {

class Delay : public ZarlTest {};
class SystemMenu : public ZarlTest {};
class SingleInstance : public ZarlTest {};
class MainWindow : public ZarlTest {};

constexpr WPARAM kOperatingCommand = 1;

// The copies are 35 ms apart, so that a timer that is not restarted by each
// change would fire 30 ms after the last copy, too early.
TEST_F(Delay, ThreeCopiesWithinTheDelayGiveOneEvaluationOfTheLast) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Dword("Delay", 100)}));
    // The three writes must fall within 100 ms for the case to say anything; on
    // a machine too busy for that, try again.
    for (int attempt = 1;; ++attempt) {
        ClipboardWrite first = CopyText("1+1=");
        PumpMessages(Ms{35});
        ClipboardWrite second = CopyText("2+2=");
        PumpMessages(Ms{35});
        ClipboardWrite third = CopyText("3+3=");
        ASSERT_TRUE(first.ok && second.ok && third.ok)
            << first.error << second.error << third.error;
        double spread =
            std::chrono::duration<double, std::milli>(third.closedAt - first.closedAt).count();
        if (spread >= 95 && attempt < 3) {
            ASSERT_TRUE(WaitForClipboardToSettle(Ms{400}, Ms{5000}));
            continue;
        }
        ASSERT_LT(spread, 95) << "three clipboard writes took " << spread << " ms, three times";
        EXPECT_EQ(second.seqAtOpen, first.seq)
            << "the clipboard changed between the first two copies";
        EXPECT_EQ(third.seqAtOpen, second.seq)
            << "the clipboard changed between the last two copies";

        std::optional<DWORD> changed = WaitForClipboard(third.seq, kResultTimeout);
        double waited = MillisecondsSince(third.closedAt);
        ASSERT_TRUE(changed) << "no result within " << kResultTimeout.count() << " ms";
        ClipboardRead result = ReadClipboardText();
        EXPECT_EQ(Printable(result.text), Printable("6"));
        // The timer restarts with every change, so the result cannot come
        // before the delay has passed after the last copy (a little slack for
        // the timer's granularity).
        EXPECT_GE(waited, 90) << "the result came " << waited << " ms after the last copy";
        EXPECT_TRUE(ExpectClipboardStaysQuiet(result.seq, Ms{400}, std::string("6")));
        break;
    }
}

TEST_F(Delay, PausingWithinTheDelayDoesNotCancelTheCycle) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Dword("Delay", 100)}));
    ClipboardWrite write = CopyText("2+5=");
    ASSERT_TRUE(write.ok) << write.error;
    ASSERT_TRUE(ChooseSystemMenu(zarl_->Window(), kOperatingCommand));
    std::optional<DWORD> changed = WaitForClipboard(write.seq, kResultTimeout);
    ASSERT_TRUE(changed) << "the copy made just before pausing was never evaluated";
    std::string title;
    EXPECT_TRUE(WaitForTitle(zarl_->Window(), "ZARL-Pausing", Ms{2000}, &title))
        << "title: " << title;
    ClipboardRead result = ReadClipboardText();
    EXPECT_EQ(Printable(result.text), Printable("7"));
    // Paused now: later copies stay as they are.
    EXPECT_TRUE(CopyAndExpectNoChange("1+1=", Ms{400}));
}

TEST_F(SystemMenu, OperatingSwitchesEvaluationOffAndOn) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    EXPECT_EQ(zarl_->Title(), "ZARL-Operating");
    EXPECT_TRUE(CopyAndExpectResult("1+2=", "3"));

    std::string title;
    ASSERT_TRUE(ChooseSystemMenu(zarl_->Window(), kOperatingCommand));
    ASSERT_TRUE(WaitForTitle(zarl_->Window(), "ZARL-Pausing", Ms{2000}, &title))
        << "title: " << title;
    EXPECT_TRUE(CopyAndExpectNoChange("2+3=", Ms{400}));

    ASSERT_TRUE(ChooseSystemMenu(zarl_->Window(), kOperatingCommand));
    ASSERT_TRUE(WaitForTitle(zarl_->Window(), "ZARL-Operating", Ms{2000}, &title))
        << "title: " << title;
    // Switching on again evaluates nothing by itself...
    EXPECT_TRUE(ExpectClipboardStaysQuiet(ClipboardSequence(), Ms{300}, std::string("2+3=")));
    // ...and the next copy is evaluated.
    EXPECT_TRUE(CopyAndExpectResult("3+4=", "7"));
}

TEST_F(SingleInstance, SecondCopyShowsBoxAndEndsLeavingTheFirstAlone) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND firstWindow = zarl_->Window();

    PROCESS_INFORMATION info;
    std::string why;
    ASSERT_TRUE(LaunchZarlProcess(&info, &why)) << why;
    ProcessGuard second(info);
    HWND box = FindMessageBox(second.Pid(), "ZARL", "ZARL is already running.", Ms{10000});
    ASSERT_TRUE(box)
        << "no box \"ZARL is already running.\" (title \"ZARL\") from the second copy; "
        << "its windows: " << DescribeWindows(second.Pid());
    EXPECT_TRUE(TopLevelWindows(second.Pid(), "ZARL").empty())
        << "the second copy created a main window of its own";
    ASSERT_TRUE(AnswerMessageBox(box, IDOK));
    DWORD code = 0;
    ASSERT_TRUE(WaitForProcessExit(second.Process(), Ms{5000}, &code))
        << "the second copy did not end within 5 s of the answer; its windows: "
        << DescribeWindows(second.Pid());
    EXPECT_EQ(code, 0u);

    EXPECT_TRUE(zarl_->Running());
    EXPECT_EQ(zarl_->Window(), firstWindow);
    EXPECT_TRUE(zarl_->WindowPresent());
    EXPECT_EQ(zarl_->Title(), "ZARL-Operating");
    EXPECT_TRUE(CopyAndExpectResult("1+2=", "3"));
}

TEST_F(MainWindow, StartsMinimizedAndStaysMinimizedWhenRestored) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND window = zarl_->Window();
    EXPECT_TRUE(IsIconic(window)) << "the main window is not minimized after start-up";

    std::optional<LRESULT> answer = SendWithTimeout(window, WM_QUERYOPEN, 0, 0);
    ASSERT_TRUE(answer) << "no answer to WM_QUERYOPEN within 5 s";
    EXPECT_EQ(*answer, 0) << "WM_QUERYOPEN must be refused so that the window stays minimized";
    // The refused restore opens the Settings dialog instead.
    HWND settings = FindShownDialog(zarl_->Pid(), "ZARL (Settings)", kResultTimeout);
    ASSERT_TRUE(settings) << "WM_QUERYOPEN opened no Settings dialog; "
                          << DescribeWindows(zarl_->Pid());
    EXPECT_TRUE(IsIconic(window));

    // The user's way: Restore from the system menu, with the dialog open. Once
    // the dialog has carried out what was posted after the command (twice, for
    // whatever the command itself posted), the command has been handled.
    ASSERT_TRUE(ChooseSystemMenu(window, SC_RESTORE));
    ASSERT_TRUE(WaitForDialogToCatchUp(settings, IDC_ABOUTBUTTON));
    ASSERT_TRUE(WaitForDialogToCatchUp(settings, IDC_ABOUTBUTTON));
    EXPECT_TRUE(IsIconic(window)) << "Restore from the system menu left the window restored";
    EXPECT_EQ(TopLevelWindows(zarl_->Pid(), "#32770").size(), 1u)
        << "more than one dialog after two restores: " << DescribeWindows(zarl_->Pid());
    AnswerMessageBox(settings, IDCANCEL);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(settings); }, Ms{3000}))
        << "the Settings dialog did not close on Cancel";
    std::string title;
    EXPECT_TRUE(WaitForTitle(window, "ZARL-Operating", Ms{2000}, &title)) << "title: " << title;
    EXPECT_TRUE(CopyAndExpectResult("1+2=", "3"));
    EXPECT_TRUE(IsIconic(window));
}

TEST_F(MainWindow, CloseEndsWithExitCodeZeroAndLeavesDefaultsStored) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    // The first start stores every default at once.
    EXPECT_EQ(ReadRegText(kSettingsKey, "Version"), std::optional<std::string>("3.05"));
    EXPECT_TRUE(CopyAndExpectResult("1+2=", "3"));

    Zarl::Ending ending = zarl_->Close();
    EXPECT_TRUE(ending.exited) << "ZARL did not end within " << kCloseTimeout.count()
                               << " ms of WM_CLOSE";
    EXPECT_EQ(ending.exitCode, 0u);

    EXPECT_EQ(ReadRegText(kSettingsKey, "Version"), std::optional<std::string>("3.05"));
    EXPECT_EQ(ReadRegText(kSettingsKey, "EvalKey"), std::optional<std::string>("="));
    EXPECT_EQ(ReadRegText(kSettingsKey, "EvalKeyPosition"), std::optional<std::string>("SUFFIX"));
    EXPECT_EQ(ReadRegDword(kSettingsKey, "Delay"), std::optional<DWORD>(0));
    EXPECT_EQ(ReadRegText(kSettingsKey, "OutFormatType"), std::optional<std::string>("g"));
    EXPECT_EQ(ReadRegDword(kSettingsKey, "OutFormatPrecision"), std::optional<DWORD>(15));
    EXPECT_EQ(ReadRegText(kSettingsKey, "NoCopy"), std::optional<std::string>("No"));
    EXPECT_EQ(ReadRegText(kSettingsKey, "ShiftJIS"), std::optional<std::string>("No"));
    EXPECT_TRUE(KeyExists(kConstantsKey));

    // Gone from the clipboard-viewer chain: nobody evaluates any more.
    EXPECT_TRUE(CopyAndExpectNoChange("2+3=", Ms{400}));
}

// Close from the system menu: a command of the platform, handled as the
// platform defines it, which ends the program like WM_CLOSE.
TEST_F(MainWindow, CloseFromTheSystemMenuEndsIt) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    ASSERT_TRUE(ChooseSystemMenu(zarl_->Window(), SC_CLOSE));
    DWORD code = 0;
    ASSERT_TRUE(WaitForProcessExit(zarl_->Process(), kCloseTimeout, &code))
        << "ZARL did not end within " << kCloseTimeout.count()
        << " ms of Close from its system menu";
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(ReadRegText(kSettingsKey, "Version"), std::optional<std::string>("3.05"));
}

TEST_F(MainWindow, SettingsWrittenBeforeStartAreKeptAfterTheRun) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Text("EvalKeyPosition", "PREFIX"), Dword("Delay", 100),
                                        Text("ShiftJIS", "Yes"), Text("NoCopy", "Yes")}));
    // NoCopy: the result is not written; the settings are what is checked here.
    EXPECT_TRUE(CopyAndExpectNoChange("=1+2", Ms{400}));
    Zarl::Ending ending = zarl_->Close();
    EXPECT_TRUE(ending.exited);
    EXPECT_EQ(ending.exitCode, 0u);
    EXPECT_EQ(ReadRegText(kSettingsKey, "EvalKeyPosition"), std::optional<std::string>("PREFIX"));
    EXPECT_EQ(ReadRegDword(kSettingsKey, "Delay"), std::optional<DWORD>(100));
    EXPECT_EQ(ReadRegText(kSettingsKey, "ShiftJIS"), std::optional<std::string>("Yes"));
    EXPECT_EQ(ReadRegText(kSettingsKey, "NoCopy"), std::optional<std::string>("Yes"));
    EXPECT_EQ(ReadRegText(kSettingsKey, "Version"), std::optional<std::string>("3.05"));
}

// Stored values outside their expected texts fall back, and the start-up save
// writes back what was understood: a delay of 150 is the largest offered one
// not above it (100); stored texts match only exactly.
TEST_F(MainWindow, StoredValuesAreReadByTheirRules) {
    ASSERT_NO_FATAL_FAILURE(
        StartFresh({Dword("Delay", 150), Text("EvalKey", "x"), Text("EvalKeyPosition", "prefix"),
                    Text("NoCopy", "YES"), Text("OutFormatSign", "plus")}));
    EXPECT_EQ(ReadRegDword(kSettingsKey, "Delay"), std::optional<DWORD>(100));
    EXPECT_EQ(ReadRegText(kSettingsKey, "EvalKey"), std::optional<std::string>("="));
    EXPECT_EQ(ReadRegText(kSettingsKey, "EvalKeyPosition"), std::optional<std::string>("SUFFIX"));
    EXPECT_EQ(ReadRegText(kSettingsKey, "NoCopy"), std::optional<std::string>("No"));
    EXPECT_EQ(ReadRegText(kSettingsKey, "OutFormatSign"), std::optional<std::string>("-"));
    EXPECT_TRUE(CopyAndExpectResult("1+2=", "3"));
}

}  // namespace
}  // namespace e2e
