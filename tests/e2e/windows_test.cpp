// The Result and Immediate windows as a user works with them: opened from the
// main window's system menu, filled by copies and by typed expressions, read,
// clicked, moved, floated and closed, and the places and flags found in the
// registry afterwards; with AttachResToImd, the pair that opens, moves, floats
// and closes together. Each case starts from a fresh store holding only what it
// writes before the start.
#include "zarl_test.h"

#include "res/resource.h"

#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace e2e {
namespace {

using Texts = std::vector<std::string>;

const std::string kNotEvaluated = "Not Evaluated";
const std::string kEvaluating = "Evaluating...";

std::string Describe(const std::optional<Texts>& texts) {
    if (!texts) return "(no answer)";
    std::ostringstream out;
    out << "{";
    for (size_t i = 0; i < texts->size(); ++i) out << (i ? ", " : " ") << Printable((*texts)[i]);
    out << " }";
    return out.str();
}

// "1+2" (or another head) followed by blanks up to `length` characters; the
// evaluator skips the blanks.
std::string Padded(const std::string& head, size_t length) {
    return head + std::string(length - head.size(), ' ');
}

class WindowsTest : public ZarlTest {
protected:
    DWORD Pid() const { return zarl_->Pid(); }
    HWND Main() const { return zarl_->Window(); }

    // Opens a window from the system menu and returns it once it is shown; null,
    // with a failure, when it is not.
    HWND Open(bool result) {
        bool posted = result ? ShowResultWindow(Main()) : ShowImdWindow(Main());
        if (!posted) {
            ADD_FAILURE() << "could not post the system command to the main window";
            return nullptr;
        }
        HWND window = result ? FindResultWindow(Pid()) : FindImdWindow(Pid());
        if (!window) {
            ADD_FAILURE() << "no shown \"" << (result ? kResultWindowTitle : kImdWindowTitle)
                          << "\" window within " << kResultTimeout.count()
                          << " ms of system command " << (result ? 2 : 3)
                          << "; windows: " << DescribeWindows(Pid());
        }
        return window;
    }
    HWND OpenResultWindow() { return Open(true); }
    HWND OpenImdWindow() { return Open(false); }

    // Opens the attached pair with one command and waits for both windows.
    // The Immediate window must never be seen without the Result window: the
    // Result window opens first.
    void OpenPair(bool fromResultCommand, HWND* result, HWND* imd) {
        *result = nullptr;
        *imd = nullptr;
        ASSERT_TRUE(fromResultCommand ? ShowResultWindow(Main()) : ShowImdWindow(Main()));
        bool imdAlone = false;
        bool both = WaitUntil(
            [&] {
                HWND i = FindImdWindow(Pid(), Ms{0});
                HWND r = FindResultWindow(Pid(), Ms{0});
                if (i && !r) imdAlone = true;
                *imd = i;
                *result = r;
                return i && r;
            },
            kResultTimeout, Ms{1});
        ASSERT_TRUE(both) << "after system command " << (fromResultCommand ? 2 : 3)
                          << " with AttachResToImd, not both windows are shown; windows: "
                          << DescribeWindows(Pid());
        EXPECT_FALSE(imdAlone) << "the Immediate window was shown before the Result window";
        EXPECT_EQ(ShownDialogs(Pid(), kResultWindowTitle).size(), 1u) << DescribeWindows(Pid());
        EXPECT_EQ(ShownDialogs(Pid(), kImdWindowTitle).size(), 1u) << DescribeWindows(Pid());
        EXPECT_TRUE(AttachedBelow(*imd, *result));
    }

    // The Result window hangs directly below the Immediate window, left edges
    // aligned (waited for, since the partner follows through posted messages).
    testing::AssertionResult AttachedBelow(HWND imd, HWND result, Ms timeout = kResultTimeout) {
        RECT i{};
        RECT r{};
        bool ok = WaitUntil(
            [&] {
                i = WindowRect(imd);
                r = WindowRect(result);
                return r.left == i.left && r.top == i.bottom;
            },
            timeout);
        if (ok) return testing::AssertionSuccess();
        return testing::AssertionFailure()
               << "the Result window " << DescribeRect(r)
               << " does not hang below the Immediate window " << DescribeRect(i);
    }

    testing::AssertionResult At(HWND window, int x, int y, Ms timeout = kResultTimeout) {
        RECT rect{};
        bool ok = WaitUntil(
            [&] {
                rect = WindowRect(window);
                return rect.left == x && rect.top == y;
            },
            timeout);
        if (ok) return testing::AssertionSuccess();
        return testing::AssertionFailure()
               << "\"" << WindowTitle(window) << "\" is at " << DescribeRect(rect)
               << ", expected its top-left corner at (" << x << "," << y << ")";
    }

    // Waits until a combo box reader returns exactly `expected`.
    template <class Read>
    testing::AssertionResult Becomes(const char* what, Read read, const Texts& expected,
                                     Ms timeout) {
        std::optional<Texts> seen;
        bool ok = WaitUntil(
            [&] {
                seen = read();
                return seen && *seen == expected;
            },
            timeout);
        if (ok) return testing::AssertionSuccess();
        return testing::AssertionFailure()
               << what << " holds " << Describe(seen) << ", expected " << Describe(expected);
    }
    testing::AssertionResult HistoryBecomes(HWND result, const Texts& expected,
                                            Ms timeout = kResultTimeout) {
        return Becomes(
            "the Result window's history", [&] { return ResultHistory(result); }, expected,
            timeout);
    }
    testing::AssertionResult ExpressionListBecomes(HWND imd, const Texts& expected,
                                                   Ms timeout = kResultTimeout) {
        return Becomes(
            "the Immediate window's expression list", [&] { return ExpressionList(imd); }, expected,
            timeout);
    }

    // Waits for the clipboard to change after `since` (without opening it
    // before: a reader holding it makes the program skip its write), then
    // expects exactly `expected` on it and nothing more for a quiet period.
    testing::AssertionResult ClipboardBecomes(DWORD since, const std::string& expected,
                                              std::optional<Ms> quietAfter = kQuietPeriod) {
        if (!WaitForClipboard(since, kResultTimeout)) {
            ClipboardRead read = ReadClipboardText();
            return testing::AssertionFailure()
                   << "the clipboard did not change within " << kResultTimeout.count()
                   << " ms; it holds "
                   << (read.hasText ? Printable(read.text) : std::string("no text"));
        }
        ClipboardRead read = ReadClipboardText();
        if (!read.hasText || read.text != expected) {
            return testing::AssertionFailure()
                   << "the clipboard holds "
                   << (read.hasText ? Printable(read.text) : std::string("no text"))
                   << ", expected " << Printable(expected);
        }
        if (quietAfter) return ExpectClipboardStaysQuiet(read.seq, *quietAfter, expected);
        return testing::AssertionSuccess();
    }

    // Types an expression into the Immediate window, presses Enter (or clicks
    // "="), and expects its result on the clipboard.
    testing::AssertionResult Evaluates(HWND imd, const std::string& text,
                                       const std::string& expected, bool clickEvaluate = false,
                                       std::optional<Ms> quietAfter = kQuietPeriod) {
        testing::AssertionResult typed = TypeExpression(imd, text);
        if (!typed) return typed;
        DWORD before = ClipboardSequence();
        if (!(clickEvaluate ? ClickEvaluate(imd) : PressEnter(imd)))
            return testing::AssertionFailure()
                   << "could not press " << (clickEvaluate ? "\"=\"" : "Enter");
        testing::AssertionResult got = ClipboardBecomes(before, expected, quietAfter);
        if (!got)
            return testing::AssertionFailure()
                   << "evaluated " << Printable(text) << ": " << got.message();
        return got;
    }

    // Clicks Copy and expects the clipboard to change to `expected` and then
    // stay still, with the history as it was: the copy is not evaluated again.
    testing::AssertionResult CopiesBack(HWND result, const std::string& expected,
                                        const Texts& history) {
        DWORD before = ClipboardSequence();
        if (!ClickCopy(result)) return testing::AssertionFailure() << "could not click Copy";
        testing::AssertionResult got = ClipboardBecomes(before, expected);
        if (!got) return testing::AssertionFailure() << "Copy: " << got.message();
        std::optional<Texts> now = ResultHistory(result);
        if (!now || *now != history) {
            return testing::AssertionFailure()
                   << "after Copy of " << Printable(expected) << " the history holds "
                   << Describe(now) << " instead of " << Describe(history)
                   << " (the copied text was taken for a new expression)";
        }
        return testing::AssertionSuccess();
    }

    // Waits until the text stored under the Settings key is `expected`: a
    // window may be gone before the save that follows its closing has run.
    static testing::AssertionResult Stored(const std::string& name, const std::string& expected,
                                           Ms timeout = Ms{2000}) {
        std::optional<std::string> seen;
        bool ok = WaitUntil(
            [&] {
                seen = ReadRegText(kSettingsKey, name);
                return seen == expected;
            },
            timeout);
        if (ok) return testing::AssertionSuccess();
        return testing::AssertionFailure()
               << "stored " << name << " is "
               << (seen ? Printable(*seen) : std::string("(missing or no text)")) << ", expected "
               << Printable(expected);
    }

    // The same for a window's place (ResultWindowPosX/Y, ImdWindowPosX/Y).
    static testing::AssertionResult StoredPlace(const std::string& window, int x, int y,
                                                Ms timeout = Ms{2000}) {
        std::optional<int> seenX;
        std::optional<int> seenY;
        bool ok = WaitUntil(
            [&] {
                seenX = ReadRegCoordinate(window + "WindowPosX");
                seenY = ReadRegCoordinate(window + "WindowPosY");
                return seenX == x && seenY == y;
            },
            timeout);
        if (ok) return testing::AssertionSuccess();
        auto show = [](const std::optional<int>& v) {
            return v ? std::to_string(*v) : std::string("(missing)");
        };
        return testing::AssertionFailure()
               << "stored " << window << "WindowPosX/Y are " << show(seenX) << ", " << show(seenY)
               << ", expected " << x << ", " << y;
    }

    // A thin tool-window caption with a Close box and a help button.
    static testing::AssertionResult HasToolCaption(HWND window) {
        LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
        LONG_PTR exStyle = GetWindowLongPtrA(window, GWL_EXSTYLE);
        bool ok = (style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU) &&
                  (exStyle & WS_EX_TOOLWINDOW) && (exStyle & WS_EX_CONTEXTHELP);
        if (ok) return testing::AssertionSuccess();
        return testing::AssertionFailure()
               << "\"" << WindowTitle(window) << "\" has style 0x" << std::hex << style
               << " and extended style 0x" << exStyle
               << ": no tool-window caption with Close and help buttons";
    }

    // Both the window's Float box and its place in the z-order.
    testing::AssertionResult Floats(HWND window, bool expected, Ms timeout = kResultTimeout) {
        std::optional<bool> checked;
        bool topmost = false;
        bool ok = WaitUntil(
            [&] {
                checked = IsChecked(window, IDC_FLOAT);
                topmost = IsTopmost(window);
                return checked == expected && topmost == expected;
            },
            timeout);
        if (ok) return testing::AssertionSuccess();
        return testing::AssertionFailure()
               << "\"" << WindowTitle(window) << "\": Float "
               << (checked ? (*checked ? "checked" : "unchecked") : "(no answer)") << ", "
               << (topmost ? "topmost" : "not topmost") << "; expected "
               << (expected ? "checked and topmost" : "unchecked and not topmost");
    }
};

class ResultWindow : public WindowsTest {};
class ImmediateWindow : public WindowsTest {};
class AttachedWindows : public WindowsTest {};
class WindowPlaces : public WindowsTest {};

// ---------------------------------------------------------------------------
// The Result window

TEST_F(ResultWindow, OpensAtItsStoredPlaceAndRecordsEveryClipboardChange) {
    ASSERT_NO_FATAL_FAILURE(
        StartFresh({Dword("ResultWindowPosX", 120), Dword("ResultWindowPosY", 200)}));
    HWND result = OpenResultWindow();
    ASSERT_TRUE(result);
    EXPECT_EQ(WindowTitle(result), kResultWindowTitle);
    EXPECT_TRUE(HasToolCaption(result));
    EXPECT_TRUE(At(result, 120, 200));
    EXPECT_TRUE(HistoryBecomes(result, {}));
    // Shown: stored at once, so that it comes back at the next start.
    EXPECT_TRUE(Stored("ShowResultWindow", "Yes"));

    // Copy with an empty history does nothing.
    DWORD before = ClipboardSequence();
    ASSERT_TRUE(ClickCopy(result));
    EXPECT_TRUE(ExpectClipboardStaysQuiet(before, kQuietPeriod, std::string("e2e")));

    EXPECT_TRUE(CopyAndExpectResult("1+2=", "3"));
    EXPECT_TRUE(HistoryBecomes(result, {"3"}));
    EXPECT_TRUE(ControlsWhole(result));
    EXPECT_TRUE(TakeScreenshot("result_window"));

    // A failed expression, a text without the key, a picture and an emptied
    // clipboard each leave one "Not Evaluated".
    EXPECT_TRUE(CopyAndExpectNoChange("1+*="));
    EXPECT_TRUE(HistoryBecomes(result, {kNotEvaluated, "3"}));
    EXPECT_TRUE(CopyAndExpectNoChange("2+3"));
    EXPECT_TRUE(HistoryBecomes(result, {kNotEvaluated, kNotEvaluated, "3"}));
    ClipboardWrite picture = CopyBitmap();
    ASSERT_TRUE(picture.ok) << picture.error;
    EXPECT_TRUE(ExpectClipboardStaysQuiet(picture.seq, kQuietPeriod));
    EXPECT_TRUE(HistoryBecomes(result, {kNotEvaluated, kNotEvaluated, kNotEvaluated, "3"}));
    ClipboardWrite emptied = EmptyTheClipboard();
    ASSERT_TRUE(emptied.ok) << emptied.error;
    EXPECT_TRUE(ExpectClipboardStaysQuiet(emptied.seq, kQuietPeriod));
    EXPECT_TRUE(
        HistoryBecomes(result, {kNotEvaluated, kNotEvaluated, kNotEvaluated, kNotEvaluated, "3"}));

    EXPECT_TRUE(CopyAndExpectResult("2*2=", "4"));
    EXPECT_TRUE(HistoryBecomes(
        result, {"4", kNotEvaluated, kNotEvaluated, kNotEvaluated, kNotEvaluated, "3"}));
    EXPECT_EQ(SelectedHistoryEntry(result), std::optional<int>(0))
        << "the newest entry is not selected";
}

TEST_F(ResultWindow, FortyCyclesLeaveTheNewest32OnTopAndSelected) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND result = OpenResultWindow();
    ASSERT_TRUE(result);
    for (int k = 1; k <= 40; ++k)
        ASSERT_TRUE(CopyAndExpectResult(std::to_string(k) + "+0=", std::to_string(k), std::nullopt))
            << "cycle " << k;
    Texts expected;
    for (int k = 40; k >= 9; --k) expected.push_back(std::to_string(k));
    EXPECT_TRUE(HistoryBecomes(result, expected));
    EXPECT_EQ(SelectedHistoryEntry(result), std::optional<int>(0))
        << "the newest entry is not selected";
}

// Another program holds the clipboard when the delayed cycle wants to read it:
// the cycle ends at once and its "Evaluating..." entry stays.
TEST_F(ResultWindow, EntryStaysEvaluatingWhenTheClipboardCannotBeRead) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Dword("Delay", 100)}));
    HWND result = nullptr;
    for (int attempt = 1;; ++attempt) {
        result = OpenResultWindow();
        ASSERT_TRUE(result);
        ClipboardWrite write = CopyText("1+2=");
        ASSERT_TRUE(write.ok) << write.error;
        std::optional<ClipboardHold> hold;
        hold.emplace();
        ASSERT_TRUE(hold->Held());
        double heldAfter = MillisecondsSince(write.closedAt);
        if (heldAfter >= 80) {
            // On a busy machine the hold may come after the cycle has read the
            // clipboard: start again with a new, empty window.
            hold.reset();
            ASSERT_LT(attempt, 3) << "three times the clipboard was only held " << heldAfter
                                  << " ms after the copy, too late for a delay of 100 ms";
            ASSERT_TRUE(WaitForClipboardToSettle(kQuietPeriod, Ms{5000}));
            ASSERT_TRUE(CloseWithCloseBox(result));
            ASSERT_TRUE(WaitForWindowGone(result));
            continue;
        }
        EXPECT_TRUE(HistoryBecomes(result, {kEvaluating}, Ms{3000}));
        // The cycle is over, not waiting: the title is back.
        std::string title;
        EXPECT_TRUE(WaitForTitle(Main(), "ZARL-Operating", Ms{2000}, &title)) << "title: " << title;
        break;
    }
    // Nothing is tried again once the clipboard is free.
    EXPECT_TRUE(ExpectClipboardStaysQuiet(ClipboardSequence(), kQuietPeriod, std::string("1+2=")));
    EXPECT_EQ(ResultHistory(result), std::optional<Texts>(Texts{kEvaluating}));
    EXPECT_TRUE(CopyAndExpectResult("2+2=", "4"));
    EXPECT_TRUE(HistoryBecomes(result, {"4", kEvaluating}));
}

// With "+" as a prefix key and a plus sign on every result, each result
// begins with the key: a copy that were evaluated would give the same text
// again and add a history entry. Another program's viewer joins the chain
// after ZARL, so the notification of the copy reaches ZARL only after its
// write has returned: the mark that the write leaves must still be there.
TEST_F(ResultWindow, CopyPutsTheSelectedEntryBackWithoutEvaluatingIt) {
    ASSERT_NO_FATAL_FAILURE(StartFresh(
        {Text("EvalKeyPosition", "PREFIX"), Text("EvalKey", "+"), Text("OutFormatSign", "+")}));
    TestViewer ahead("ahead");
    ASSERT_TRUE(ahead.Created());
    ASSERT_TRUE(ahead.Join());
    EXPECT_EQ(ahead.Next(), Main()) << "ZARL is not the viewer after the one that joined last";
    // Joining passes a notification down the chain; the clipboard holds a
    // text without the key, so nothing is written.
    ASSERT_TRUE(WaitForClipboardToSettle(Ms{200}, Ms{5000}));
    HWND result = OpenResultWindow();
    ASSERT_TRUE(result);
    EXPECT_TRUE(CopyAndExpectResult("+1+2", "+3"));
    EXPECT_TRUE(CopyAndExpectNoChange("+1+*"));
    EXPECT_TRUE(CopyAndExpectResult("+2*5", "+10"));
    const Texts history = {"+10", kNotEvaluated, "+3"};
    ASSERT_TRUE(HistoryBecomes(result, history));

    // The newest entry, selected by the cycle.
    EXPECT_TRUE(CopiesBack(result, "+10", history));
    // An older one.
    ASSERT_TRUE(SelectHistoryEntry(result, 2));
    EXPECT_TRUE(CopiesBack(result, "+3", history));
    EXPECT_EQ(SelectedHistoryEntry(result), std::optional<int>(2));
    // "Not Evaluated" is copied as it reads.
    ASSERT_TRUE(SelectHistoryEntry(result, 1));
    EXPECT_TRUE(CopiesBack(result, kNotEvaluated, history));

    // Evaluation goes on as before.
    EXPECT_TRUE(CopyAndExpectResult("+2+2", "+4"));
    EXPECT_TRUE(HistoryBecomes(result, {"+4", "+10", kNotEvaluated, "+3"}));
}

// A full-width key makes the result go back full-width, with separators; the
// history shows the single-byte text, and Copy gives exactly that.
TEST_F(ResultWindow, CopyGivesTheEntryAsShownSingleByteWithSeparators) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Text("ShiftJIS", "Yes"), Text("InsThousandSep", "Yes")}));
    HWND result = OpenResultWindow();
    ASSERT_TRUE(result);
    // Full-width 1234567+0= (digits 0x824F.., "+" 0x817B, "=" 0x8181).
    const std::string fullWidthInput =
        "\x82\x50\x82\x51\x82\x52\x82\x53\x82\x54\x82\x55\x82\x56\x81\x7B\x82\x4F\x81\x81";
    // Full-width 1,234,567 ("," 0x8143).
    const std::string fullWidthResult =
        "\x82\x50\x81\x43\x82\x51\x82\x52\x82\x53\x81\x43\x82\x54\x82\x55\x82\x56";
    EXPECT_TRUE(CopyAndExpectResult(fullWidthInput, fullWidthResult));
    const Texts history = {"1,234,567"};
    ASSERT_TRUE(HistoryBecomes(result, history));
    EXPECT_TRUE(CopiesBack(result, "1,234,567", history));
}

// Without the copy the history is the only place a result shows, from the
// clipboard and from the Immediate window alike.
TEST_F(ResultWindow, WithNoCopyTheResultShowsOnlyInTheHistory) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Text("NoCopy", "Yes")}));
    HWND result = OpenResultWindow();
    ASSERT_TRUE(result);
    EXPECT_TRUE(CopyAndExpectNoChange("1+2="));
    EXPECT_TRUE(HistoryBecomes(result, {"3"}));

    HWND imd = OpenImdWindow();
    ASSERT_TRUE(imd);
    ASSERT_TRUE(TypeExpression(imd, "2*3"));
    DWORD before = ClipboardSequence();
    ASSERT_TRUE(PressEnter(imd));
    EXPECT_TRUE(HistoryBecomes(result, {"6", "3"}));
    EXPECT_TRUE(ExpressionListBecomes(imd, {"2*3"}));
    EXPECT_TRUE(ExpectClipboardStaysQuiet(before, kQuietPeriod, std::string("1+2=")));
}

TEST_F(ResultWindow, ReopensWhereItWasClosedWithAnEmptyHistory) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND result = OpenResultWindow();
    ASSERT_TRUE(result);
    EXPECT_TRUE(At(result, 10, 60)) << "the place where nothing is stored";
    EXPECT_TRUE(CopyAndExpectResult("1+2=", "3"));
    EXPECT_TRUE(HistoryBecomes(result, {"3"}));

    ASSERT_TRUE(MoveWindowTo(result, 300, 250));
    EXPECT_TRUE(At(result, 300, 250));
    ASSERT_TRUE(CloseWithCloseBox(result));
    ASSERT_TRUE(WaitForWindowGone(result)) << "the Close box did not close the Result window";
    EXPECT_TRUE(StoredPlace("Result", 300, 250));
    EXPECT_TRUE(Stored("ShowResultWindow", "No"));
    EXPECT_TRUE(CopyAndExpectResult("2+3=", "5"))
        << "closed, the window must not stop the evaluation";

    HWND again = OpenResultWindow();
    ASSERT_TRUE(again);
    EXPECT_EQ(ShownDialogs(Pid(), kResultWindowTitle).size(), 1u) << DescribeWindows(Pid());
    EXPECT_TRUE(At(again, 300, 250));
    EXPECT_TRUE(HistoryBecomes(again, {})) << "a reopened window starts with an empty history";
    EXPECT_TRUE(Stored("ShowResultWindow", "Yes"));

    // The menu command closes an open window.
    ASSERT_TRUE(ShowResultWindow(Main()));
    EXPECT_TRUE(WaitForWindowGone(again))
        << "system command 2 did not close the open Result window";
    EXPECT_TRUE(Stored("ShowResultWindow", "No"));
    EXPECT_TRUE(StoredPlace("Result", 300, 250));
}

// ---------------------------------------------------------------------------
// The Immediate window

TEST_F(ImmediateWindow, EnterEvaluatesTheTypedExpression) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Dword("ImdWindowPosX", 150), Dword("ImdWindowPosY", 100)}));
    HWND result = OpenResultWindow();
    ASSERT_TRUE(result);
    HWND imd = OpenImdWindow();
    ASSERT_TRUE(imd);
    EXPECT_EQ(WindowTitle(imd), kImdWindowTitle);
    EXPECT_TRUE(HasToolCaption(imd));
    EXPECT_TRUE(At(imd, 150, 100));
    EXPECT_TRUE(Stored("ShowImdWindow", "Yes"));
    EXPECT_TRUE(ExpressionListBecomes(imd, {}));

    EXPECT_TRUE(Evaluates(imd, "2*3", "6"));
    EXPECT_TRUE(HistoryBecomes(result, {"6"}));
    EXPECT_TRUE(ExpressionListBecomes(imd, {"2*3"}));
    EXPECT_EQ(ExpressionText(imd), std::optional<std::string>("2*3"))
        << "the text must stay in the box";
    EXPECT_TRUE(ControlsWhole(imd));
    EXPECT_TRUE(TakeScreenshot("immediate_window"));

    // The same text again is listed again.
    DWORD before = ClipboardSequence();
    ASSERT_TRUE(PressEnter(imd));
    EXPECT_TRUE(ClipboardBecomes(before, "6"));
    EXPECT_TRUE(HistoryBecomes(result, {"6", "6"}));
    EXPECT_TRUE(ExpressionListBecomes(imd, {"2*3", "2*3"}));

    // "=" does what Enter does; "?" is the previous result.
    EXPECT_TRUE(Evaluates(imd, "?+1", "7", true));
    EXPECT_TRUE(HistoryBecomes(result, {"7", "6", "6"}));
    EXPECT_TRUE(ExpressionListBecomes(imd, {"?+1", "2*3", "2*3"}));

    // A rejected expression: listed, "Not Evaluated", the clipboard untouched.
    ASSERT_TRUE(TypeExpression(imd, "1+*"));
    before = ClipboardSequence();
    ASSERT_TRUE(PressEnter(imd));
    EXPECT_TRUE(HistoryBecomes(result, {kNotEvaluated, "7", "6", "6"}));
    EXPECT_TRUE(ExpressionListBecomes(imd, {"1+*", "?+1", "2*3", "2*3"}));
    EXPECT_TRUE(ExpectClipboardStaysQuiet(before, kQuietPeriod, std::string("7")));

    // "&C" empties the box and leaves the list.
    ASSERT_TRUE(ClickClear(imd));
    EXPECT_TRUE(WaitUntil([&] { return ExpressionText(imd) == std::optional<std::string>(""); },
                          kResultTimeout))
        << "the box still holds " << Printable(ExpressionText(imd).value_or("(no answer)"));
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_EQ(ExpressionList(imd), std::optional<Texts>(Texts{"1+*", "?+1", "2*3", "2*3"}));

    // "=" on an empty box does nothing at all.
    before = ClipboardSequence();
    ASSERT_TRUE(ClickEvaluate(imd));
    EXPECT_TRUE(ExpectClipboardStaysQuiet(before, kQuietPeriod, std::string("7")));
    EXPECT_EQ(ResultHistory(result), std::optional<Texts>(Texts{kNotEvaluated, "7", "6", "6"}));
    EXPECT_EQ(ExpressionList(imd), std::optional<Texts>(Texts{"1+*", "?+1", "2*3", "2*3"}));
}

// The typed text goes to the evaluator as it is: no key is looked for or
// taken off. After the evaluation the result is written as from the clipboard.
TEST_F(ImmediateWindow, TypedTextIsEvaluatedAsItIsAndTheResultFormedAsUsual) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Text("InsThousandSep", "Yes"), Text("ShiftJIS", "Yes")}));
    HWND result = OpenResultWindow();
    ASSERT_TRUE(result);
    HWND imd = OpenImdWindow();
    ASSERT_TRUE(imd);
    // A full-width key answers in full-width; the typed text that follows
    // has no key and is answered in single bytes.
    EXPECT_TRUE(CopyAndExpectResult(FullWidthShiftJis("1+1="), FullWidthShiftJis("2")));
    EXPECT_TRUE(Evaluates(imd, "1234567", "1,234,567"));
    EXPECT_TRUE(Evaluates(imd, "255@H", "&HFF"));
    EXPECT_TRUE(HistoryBecomes(result, {"&HFF", "1,234,567", "2"}));

    ASSERT_TRUE(TypeExpression(imd, "1+2="));
    DWORD before = ClipboardSequence();
    ASSERT_TRUE(PressEnter(imd));
    EXPECT_TRUE(HistoryBecomes(result, {kNotEvaluated, "&HFF", "1,234,567", "2"}));
    EXPECT_TRUE(ExpectClipboardStaysQuiet(before, kQuietPeriod, std::string("&HFF")));
    EXPECT_TRUE(ExpressionListBecomes(imd, {"1+2=", "255@H", "1234567"}));
}

TEST_F(ImmediateWindow, ExpressionListKeepsThe32Newest) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND imd = OpenImdWindow();
    ASSERT_TRUE(imd);
    for (int k = 1; k <= 40; ++k)
        ASSERT_TRUE(Evaluates(imd, std::to_string(k) + "+0", std::to_string(k), true, std::nullopt))
            << "evaluation " << k;
    Texts expected;
    for (int k = 40; k >= 9; --k) expected.push_back(std::to_string(k) + "+0");
    EXPECT_TRUE(ExpressionListBecomes(imd, expected));
}

TEST_F(ImmediateWindow, TextOf1024CharactersIsEvaluatedAnd1025IsTooLong) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND result = OpenResultWindow();
    ASSERT_TRUE(result);
    HWND imd = OpenImdWindow();
    ASSERT_TRUE(imd);

    const std::string longest = Padded("1+2", 1024);
    EXPECT_TRUE(Evaluates(imd, longest, "3"));
    EXPECT_TRUE(HistoryBecomes(result, {"3"}));
    EXPECT_TRUE(ExpressionListBecomes(imd, {longest}));

    const std::string tooLong = Padded("2+2", 1025);
    ASSERT_TRUE(TypeExpression(imd, tooLong));
    DWORD before = ClipboardSequence();
    ASSERT_TRUE(PressEnter(imd));
    HWND box = FindMessageBox(Pid(), "ZARL-Failed to evaluate",
                              "The text in the immediate window is too long.", kResultTimeout);
    ASSERT_TRUE(box) << "no \"too long\" box; windows: " << DescribeWindows(Pid());
    EXPECT_EQ(GetWindow(box, GW_OWNER), imd) << "the box does not belong to the Immediate window";
    // The failure is in the history before the box is answered.
    EXPECT_EQ(ResultHistory(result), std::optional<Texts>(Texts{kNotEvaluated, "3"}));
    ASSERT_TRUE(AnswerMessageBox(box, IDOK));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, kCloseTimeout))
        << "the box did not close on OK";
    EXPECT_TRUE(ExpectClipboardStaysQuiet(before, kQuietPeriod, std::string("3")));
    std::optional<Texts> list = ExpressionList(imd);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->size(), 1u) << "the too long text was put into the list";
    if (!list->empty()) {
        EXPECT_EQ(Printable(list->front()), Printable(longest));
    }
    EXPECT_EQ(ResultHistory(result), std::optional<Texts>(Texts{kNotEvaluated, "3"}));

    // Still at work.
    EXPECT_TRUE(Evaluates(imd, "2*3", "6"));
    EXPECT_TRUE(HistoryBecomes(result, {"6", kNotEvaluated, "3"}));
}

// The menu command reaches the program from another program too. Sent, it must
// come back at once although the window then stays open. Posted as the menu
// does while a modal loop runs inside a message sent from another thread (here
// the Settings dialog, opened by a sent UM_SHOWSETTINGS), it must open the
// window there, not go round and round the queue.
TEST_F(ImmediateWindow, CommandSentByAnotherProgramOrPostedInsideASentMessage) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    std::optional<LRESULT> answer =
        SendWithTimeout(Main(), WM_SYSCOMMAND, IDM_SHOWIMD, 0, Ms{3000});
    EXPECT_TRUE(answer) << "the sent command kept its sender waiting";
    HWND imd = FindImdWindow(Pid());
    ASSERT_TRUE(imd) << "the sent command did not open the window; " << DescribeWindows(Pid());
    ASSERT_TRUE(PressEsc(imd));
    ASSERT_TRUE(WaitForWindowGone(imd));

    HWND main = Main();
    std::thread sender([main] {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(main, UM_SHOWSETTINGS, 0, 0, SMTO_NORMAL, 60000, &ignored);
    });
    HWND settings = FindShownDialog(Pid(), kSettingsTitle, kResultTimeout);
    EXPECT_TRUE(settings) << "no Settings dialog; " << DescribeWindows(Pid());
    ASSERT_TRUE(ShowImdWindow(Main()));
    imd = FindImdWindow(Pid());
    EXPECT_TRUE(imd) << "the command posted into the sent message's loop did not open the window";
    if (imd) {
        EXPECT_TRUE(Evaluates(imd, "2*3", "6"));
        EXPECT_TRUE(PressEsc(imd));
        EXPECT_TRUE(WaitForWindowGone(imd));
    }
    if (settings) {
        EXPECT_TRUE(AnswerMessageBox(settings, IDCANCEL));
    }
    sender.join();
    ExpectAliveAndEvaluating();
}

// ---------------------------------------------------------------------------
// The attached pair

TEST_F(AttachedWindows, OpeningTheImmediateWindowOpensTheResultWindowFirstBelowIt) {
    ASSERT_NO_FATAL_FAILURE(StartFresh(
        {Text("AttachResToImd", "Yes"), Dword("ImdWindowPosX", 200), Dword("ImdWindowPosY", 120)}));
    HWND result = nullptr;
    HWND imd = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenPair(false, &result, &imd));
    EXPECT_TRUE(At(imd, 200, 120)) << "the Immediate window opens at its stored place";
    EXPECT_TRUE(TakeScreenshot("attached_pair"));
    EXPECT_TRUE(Stored("ShowResultWindow", "Yes"));
    EXPECT_TRUE(Stored("ShowImdWindow", "Yes"));

    EXPECT_TRUE(Evaluates(imd, "1+1", "2"));
    EXPECT_TRUE(HistoryBecomes(result, {"2"}));
}

TEST_F(AttachedWindows, OpeningTheResultWindowOpensBothAndTheMenuClosesBoth) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Text("AttachResToImd", "Yes")}));
    HWND result = nullptr;
    HWND imd = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenPair(true, &result, &imd));
    EXPECT_TRUE(At(imd, 10, 10)) << "the place where nothing is stored";

    // Hiding either from the system menu hides both.
    ASSERT_TRUE(ShowImdWindow(Main()));
    EXPECT_TRUE(WaitForWindowGone(imd)) << "system command 3 did not close the Immediate window";
    EXPECT_TRUE(WaitForWindowGone(result))
        << "system command 3 did not close the attached Result window";
    EXPECT_TRUE(Stored("ShowResultWindow", "No"));
    EXPECT_TRUE(Stored("ShowImdWindow", "No"));

    // And opens both again; this time the Result window's command closes both.
    ASSERT_NO_FATAL_FAILURE(OpenPair(false, &result, &imd));
    ASSERT_TRUE(ShowResultWindow(Main()));
    EXPECT_TRUE(WaitForWindowGone(result)) << "system command 2 did not close the Result window";
    EXPECT_TRUE(WaitForWindowGone(imd))
        << "system command 2 did not close the attached Immediate window";
    EXPECT_TRUE(Stored("ShowResultWindow", "No"));
    EXPECT_TRUE(Stored("ShowImdWindow", "No"));
}

TEST_F(AttachedWindows, MovingEitherWindowMovesTheOther) {
    ASSERT_NO_FATAL_FAILURE(StartFresh(
        {Text("AttachResToImd", "Yes"), Dword("ImdWindowPosX", 100), Dword("ImdWindowPosY", 100)}));
    HWND result = nullptr;
    HWND imd = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenPair(false, &result, &imd));
    RECT imdRect = WindowRect(imd);
    const int imdHeight = imdRect.bottom - imdRect.top;
    ASSERT_GT(imdHeight, 0);

    // Dragging the Immediate window drags the Result window along.
    ASSERT_TRUE(MoveWindowTo(imd, 300, 200));
    EXPECT_TRUE(At(imd, 300, 200));
    EXPECT_TRUE(At(result, 300, 200 + imdHeight));

    // Dragging the Result window makes the Immediate window jump on top of it,
    // and the Result window stays where it was put.
    ASSERT_TRUE(MoveWindowTo(result, 120, 400));
    EXPECT_TRUE(At(imd, 120, 400 - imdHeight));
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_TRUE(At(result, 120, 400, Ms{0}));
    EXPECT_TRUE(At(imd, 120, 400 - imdHeight, Ms{0}));

    // Near the top of the screen the Immediate window goes above the edge,
    // where its place is; nothing pulls it back.
    ASSERT_TRUE(MoveWindowTo(result, 150, 20));
    EXPECT_TRUE(At(imd, 150, 20 - imdHeight));
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_TRUE(At(result, 150, 20, Ms{0}));
    EXPECT_TRUE(At(imd, 150, 20 - imdHeight, Ms{0}));

    // The Immediate window's Close box closes both.
    ASSERT_TRUE(CloseWithCloseBox(imd));
    EXPECT_TRUE(WaitForWindowGone(imd)) << "the Close box did not close the Immediate window";
    EXPECT_TRUE(WaitForWindowGone(result))
        << "the Immediate window's Close box left the attached Result window open";
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_TRUE(StoredPlace("Imd", 150, 20 - imdHeight));
    EXPECT_TRUE(StoredPlace("Result", 150, 20));
    EXPECT_TRUE(Stored("ShowResultWindow", "No"));
    EXPECT_TRUE(Stored("ShowImdWindow", "No"));
}

TEST_F(AttachedWindows, FloatOnEitherWindowFloatsBoth) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Text("AttachResToImd", "Yes")}));
    HWND result = nullptr;
    HWND imd = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenPair(true, &result, &imd));
    EXPECT_TRUE(Floats(result, false));
    EXPECT_TRUE(Floats(imd, false));

    ASSERT_TRUE(ClickFloat(imd));
    EXPECT_TRUE(Floats(imd, true));
    EXPECT_TRUE(Floats(result, true))
        << "the Result window did not follow the Immediate window's Float";

    ASSERT_TRUE(ClickFloat(result));
    EXPECT_TRUE(Floats(result, false));
    EXPECT_TRUE(Floats(imd, false))
        << "the Immediate window did not follow the Result window's Float";

    ASSERT_TRUE(ClickFloat(result));
    EXPECT_TRUE(Floats(result, true));
    EXPECT_TRUE(Floats(imd, true))
        << "the Immediate window did not follow the Result window's Float";

    // Moving either keeps both floating.
    ASSERT_TRUE(MoveWindowTo(imd, 250, 200));
    EXPECT_TRUE(AttachedBelow(imd, result));
    ASSERT_TRUE(MoveWindowTo(result, 300, 450));
    EXPECT_TRUE(AttachedBelow(imd, result));
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_TRUE(Floats(result, true, Ms{0})) << "after the moves";
    EXPECT_TRUE(Floats(imd, true, Ms{0})) << "after the moves";

    // The Result window's Close box closes both and stores both flags.
    ASSERT_TRUE(CloseWithCloseBox(result));
    EXPECT_TRUE(WaitForWindowGone(result)) << "the Close box did not close the Result window";
    EXPECT_TRUE(WaitForWindowGone(imd))
        << "the Result window's Close box left the attached Immediate window open";
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_TRUE(Stored("ResultWindowFloat", "Yes"));
    EXPECT_TRUE(Stored("ImdWindowFloat", "Yes"));
    EXPECT_TRUE(Stored("ShowResultWindow", "No"));
    EXPECT_TRUE(Stored("ShowImdWindow", "No"));

    // Opened again, both float from the start.
    ASSERT_NO_FATAL_FAILURE(OpenPair(true, &result, &imd));
    EXPECT_TRUE(Floats(result, true));
    EXPECT_TRUE(Floats(imd, true));
}

TEST_F(AttachedWindows, EscClosesTheImmediateWindowAlone) {
    ASSERT_NO_FATAL_FAILURE(StartFresh(
        {Text("AttachResToImd", "Yes"), Dword("ImdWindowPosX", 200), Dword("ImdWindowPosY", 300)}));
    HWND result = nullptr;
    HWND imd = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenPair(false, &result, &imd));
    RECT resultRect = WindowRect(result);

    ASSERT_TRUE(PressEsc(imd));
    EXPECT_TRUE(WaitForWindowGone(imd)) << "Esc did not close the Immediate window";
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_TRUE(IsWindowVisible(result))
        << "Esc in the Immediate window closed the Result window too";
    EXPECT_TRUE(At(result, resultRect.left, resultRect.top, Ms{0}));
    // Esc is no Close box: the window stays marked as shown.
    EXPECT_TRUE(Stored("ShowImdWindow", "Yes"));
    EXPECT_TRUE(Stored("ShowResultWindow", "Yes"));
    EXPECT_TRUE(StoredPlace("Imd", 200, 300));

    // Shown again, it opens alone at its place, and the Result window joins it.
    ASSERT_TRUE(ShowImdWindow(Main()));
    HWND again = FindImdWindow(Pid());
    ASSERT_TRUE(again) << DescribeWindows(Pid());
    EXPECT_TRUE(At(again, 200, 300));
    EXPECT_TRUE(AttachedBelow(again, result));
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_TRUE(IsWindowVisible(result));
    EXPECT_EQ(ShownDialogs(Pid(), kResultWindowTitle).size(), 1u) << DescribeWindows(Pid());
    EXPECT_EQ(ShownDialogs(Pid(), kImdWindowTitle).size(), 1u) << DescribeWindows(Pid());
}

// After Esc the Immediate window is still marked as shown, so the Result
// window, closed and opened again, opens alone: 40 below the Immediate
// window's stored place.
TEST_F(AttachedWindows, ResultWindowOpensAloneBelowTheImmediateWindowsPlace) {
    ASSERT_NO_FATAL_FAILURE(StartFresh(
        {Text("AttachResToImd", "Yes"), Dword("ImdWindowPosX", 200), Dword("ImdWindowPosY", 300)}));
    HWND result = nullptr;
    HWND imd = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenPair(false, &result, &imd));
    ASSERT_TRUE(PressEsc(imd));
    ASSERT_TRUE(WaitForWindowGone(imd)) << "Esc did not close the Immediate window";
    ASSERT_TRUE(CloseWithCloseBox(result));
    ASSERT_TRUE(WaitForWindowGone(result)) << "the Close box did not close the Result window";
    EXPECT_TRUE(Stored("ShowResultWindow", "No"));
    EXPECT_TRUE(Stored("ShowImdWindow", "Yes"));

    HWND alone = OpenResultWindow();
    ASSERT_TRUE(alone);
    EXPECT_TRUE(At(alone, 200, 340));
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_TRUE(ShownDialogs(Pid(), kImdWindowTitle).empty())
        << "the Immediate window opened too; windows: " << DescribeWindows(Pid());
    EXPECT_TRUE(At(alone, 200, 340, Ms{0}));
}

TEST_F(AttachedWindows, BothComeBackAttachedAtTheNextStart) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Text("AttachResToImd", "Yes")}));
    HWND result = nullptr;
    HWND imd = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenPair(false, &result, &imd));
    ASSERT_TRUE(MoveWindowTo(imd, 250, 150));
    EXPECT_TRUE(AttachedBelow(imd, result));

    Zarl::Ending ending = zarl_->Close();
    ASSERT_TRUE(ending.exited) << "ZARL did not end within " << kCloseTimeout.count()
                               << " ms of WM_CLOSE";
    EXPECT_EQ(ending.exitCode, 0u);
    EXPECT_TRUE(Stored("ShowResultWindow", "Yes"));
    EXPECT_TRUE(Stored("ShowImdWindow", "Yes"));
    EXPECT_TRUE(StoredPlace("Imd", 250, 150));

    ASSERT_NO_FATAL_FAILURE(StartOnly());
    result = FindResultWindow(Pid(), kStartTimeout);
    imd = FindImdWindow(Pid(), kStartTimeout);
    ASSERT_TRUE(result && imd) << "not both windows came back; windows: " << DescribeWindows(Pid());
    EXPECT_TRUE(At(imd, 250, 150));
    EXPECT_TRUE(AttachedBelow(imd, result));
    // Both stay: the two start-up commands open one window each.
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_EQ(ShownDialogs(Pid(), kResultWindowTitle).size(), 1u) << DescribeWindows(Pid());
    EXPECT_EQ(ShownDialogs(Pid(), kImdWindowTitle).size(), 1u) << DescribeWindows(Pid());
}

// ---------------------------------------------------------------------------
// Two windows on their own

TEST_F(WindowPlaces, EachWindowMovesFloatsAndClosesAloneAndReopensWhereItWasClosed) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND result = OpenResultWindow();
    ASSERT_TRUE(result);
    HWND imd = OpenImdWindow();
    ASSERT_TRUE(imd);
    EXPECT_TRUE(At(imd, 10, 10)) << "the place where nothing is stored";
    EXPECT_TRUE(At(result, 10, 60)) << "the place where nothing is stored";

    ASSERT_TRUE(MoveWindowTo(result, 400, 300));
    ASSERT_TRUE(MoveWindowTo(imd, 50, 500));
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_TRUE(At(result, 400, 300, Ms{0}));
    EXPECT_TRUE(At(imd, 50, 500, Ms{0}));

    ASSERT_TRUE(ClickFloat(imd));
    EXPECT_TRUE(Floats(imd, true));
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_TRUE(Floats(result, false, Ms{0})) << "not attached, the Result window must not follow";

    ASSERT_TRUE(CloseWithCloseBox(imd));
    EXPECT_TRUE(WaitForWindowGone(imd)) << "the Close box did not close the Immediate window";
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_TRUE(IsWindowVisible(result)) << "not attached, the Result window must stay open";
    EXPECT_TRUE(StoredPlace("Imd", 50, 500));
    EXPECT_TRUE(Stored("ShowImdWindow", "No"));
    EXPECT_TRUE(Stored("ImdWindowFloat", "Yes"));
    EXPECT_TRUE(Stored("ShowResultWindow", "Yes"));

    ASSERT_TRUE(CloseWithCloseBox(result));
    EXPECT_TRUE(WaitForWindowGone(result)) << "the Close box did not close the Result window";
    EXPECT_TRUE(StoredPlace("Result", 400, 300));
    EXPECT_TRUE(Stored("ShowResultWindow", "No"));
    EXPECT_TRUE(Stored("ResultWindowFloat", "No"));

    result = OpenResultWindow();
    ASSERT_TRUE(result);
    EXPECT_TRUE(At(result, 400, 300));
    EXPECT_TRUE(Floats(result, false));
    imd = OpenImdWindow();
    ASSERT_TRUE(imd);
    EXPECT_TRUE(At(imd, 50, 500));
    EXPECT_TRUE(Floats(imd, true));
}

TEST_F(WindowPlaces, BothWindowsComeBackAtTheNextStart) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND result = OpenResultWindow();
    ASSERT_TRUE(result);
    HWND imd = OpenImdWindow();
    ASSERT_TRUE(imd);
    ASSERT_TRUE(MoveWindowTo(result, 420, 330));
    ASSERT_TRUE(MoveWindowTo(imd, 60, 520));

    Zarl::Ending ending = zarl_->Close();
    ASSERT_TRUE(ending.exited) << "ZARL did not end within " << kCloseTimeout.count()
                               << " ms of WM_CLOSE";
    EXPECT_EQ(ending.exitCode, 0u);
    EXPECT_TRUE(Stored("ShowResultWindow", "Yes"));
    EXPECT_TRUE(Stored("ShowImdWindow", "Yes"));
    EXPECT_TRUE(StoredPlace("Result", 420, 330));
    EXPECT_TRUE(StoredPlace("Imd", 60, 520));

    ASSERT_NO_FATAL_FAILURE(StartOnly());
    result = FindResultWindow(Pid(), kStartTimeout);
    imd = FindImdWindow(Pid(), kStartTimeout);
    ASSERT_TRUE(result && imd) << "not both windows came back; windows: " << DescribeWindows(Pid());
    EXPECT_TRUE(At(result, 420, 330));
    EXPECT_TRUE(At(imd, 60, 520));
    EXPECT_TRUE(CopyAndExpectResult("3*3=", "9"));
    EXPECT_TRUE(HistoryBecomes(result, {"9"}));
}

}  // namespace
}  // namespace e2e
