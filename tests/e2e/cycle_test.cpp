// Copying text in another program and finding the result on the clipboard:
// which texts are evaluated (the key at the configured end, CR LF trimmed,
// full-width text) and which are left alone, the stored options that change
// the cycle, and that the program's own result is never taken for a new
// expression.
#include "zarl_test.h"

#include <string>

namespace e2e {
namespace {

class ClipboardCycle : public ZarlTest {};

// "1+2" followed by blanks and the key, `length` bytes in all with `tail`
// at the end; blanks are skipped by the evaluator, so the value is 3.
std::string PaddedExpression(size_t length, const std::string& tail) {
    std::string text = "1+2";
    text.append(length - text.size() - tail.size(), ' ');
    return text + tail;
}

TEST_F(ClipboardCycle, SuffixKeyFollowedByCrLfGivesResult) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    EXPECT_TRUE(CopyAndExpectResult("1+2=\r\n", "3"));
    EXPECT_TRUE(CopyAndExpectResult("2+3=", "5"));
    EXPECT_TRUE(CopyAndExpectResult("3+4=\n\r\n", "7"));
}

TEST_F(ClipboardCycle, TextWithoutKeyAtItsEndIsLeftAlone) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    EXPECT_TRUE(CopyAndExpectNoChange("1+2"));
    EXPECT_TRUE(CopyAndExpectNoChange("=1+2"));
    EXPECT_TRUE(CopyAndExpectNoChange("1+2= x"));
    // Still listening: the next good expression, and only its result, arrives.
    EXPECT_TRUE(CopyAndExpectResult("2+3=", "5"));
}

TEST_F(ClipboardCycle, EmptyInputsAreLeftAlone) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    EXPECT_TRUE(CopyAndExpectNoChange("="));
    EXPECT_TRUE(CopyAndExpectNoChange("\r\n"));
    EXPECT_TRUE(CopyAndExpectNoChange("=\r\n"));
    EXPECT_TRUE(CopyAndExpectNoChange(""));
    EXPECT_TRUE(CopyAndExpectNoChange("1+*="));
    EXPECT_TRUE(CopyAndExpectResult("2+3=", "5"));
}

TEST_F(ClipboardCycle, PrefixKeyPosition) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Text("EvalKeyPosition", "PREFIX")}));
    EXPECT_TRUE(CopyAndExpectResult("=1+2", "3"));
    EXPECT_TRUE(CopyAndExpectNoChange("1+2="));
    EXPECT_TRUE(CopyAndExpectResult("=2+3\r\n", "5"));
}

TEST_F(ClipboardCycle, KeyCharacterComesFromTheSettings) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Text("EvalKey", "#")}));
    EXPECT_TRUE(CopyAndExpectResult("2*3#", "6"));
    EXPECT_TRUE(CopyAndExpectNoChange("2*3="));
}

// Full-width 1 + 2 = as Shift-JIS pairs, written as raw CF_TEXT bytes.
const std::string kFullWidthOnePlusTwo = "\x82\x50\x81\x7B\x82\x51";
const std::string kFullWidthEquals = "\x81\x81";

TEST_F(ClipboardCycle, FullWidthTextWithFullWidthKeyGivesFullWidthResult) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Text("ShiftJIS", "Yes")}));
    EXPECT_TRUE(CopyAndExpectResult(kFullWidthOnePlusTwo + kFullWidthEquals, "\x82\x52"));
    // Full-width 1.5 + 2 gives 3.5: the full stop comes back full-width too.
    EXPECT_TRUE(CopyAndExpectResult("\x82\x50\x81\x44\x82\x54\x81\x7B\x82\x51" + kFullWidthEquals,
                                    "\x82\x52\x81\x44\x82\x54"));
}

TEST_F(ClipboardCycle, FullWidthTextWithHalfWidthKeyGivesHalfWidthResult) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Text("ShiftJIS", "Yes")}));
    EXPECT_TRUE(CopyAndExpectResult(kFullWidthOnePlusTwo + "=", "3"));
}

TEST_F(ClipboardCycle, FullWidthTextIsLeftAloneWithoutShiftJis) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    EXPECT_TRUE(CopyAndExpectNoChange(kFullWidthOnePlusTwo + kFullWidthEquals));
    EXPECT_TRUE(CopyAndExpectResult("1+2=", "3"));
}

TEST_F(ClipboardCycle, FullWidthResultCarriesSignSeparatorsAndExponent) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Text("ShiftJIS", "Yes"), Text("InsThousandSep", "Yes")}));
    EXPECT_TRUE(CopyAndExpectResult(FullWidthShiftJis("0-1234.5="), FullWidthShiftJis("-1,234.5")));
    EXPECT_TRUE(CopyAndExpectResult(FullWidthShiftJis("10^20="), FullWidthShiftJis("1e+020")));
}

TEST_F(ClipboardCycle, PrefixKeyWithShiftJis) {
    ASSERT_NO_FATAL_FAILURE(
        StartFresh({Text("ShiftJIS", "Yes"), Text("EvalKeyPosition", "PREFIX")}));
    EXPECT_TRUE(CopyAndExpectResult(FullWidthShiftJis("=1+2"), FullWidthShiftJis("3")));
    // A lone lead byte at the end pairs with the terminating NUL and becomes a
    // byte the evaluator rejects.
    EXPECT_TRUE(CopyAndExpectNoChange("=1+2\x82"));
    EXPECT_TRUE(CopyAndExpectResult("=1+2", "3"));
}

TEST_F(ClipboardCycle, ThousandSeparatorsGoIntoPlainResultsOnly) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Text("InsThousandSep", "Yes")}));
    EXPECT_TRUE(CopyAndExpectResult("1234567+0=", "1,234,567"));
    EXPECT_TRUE(CopyAndExpectResult("0-1234.5=", "-1,234.5"));
    EXPECT_TRUE(CopyAndExpectResult("10^20=", "1e+020"));
    EXPECT_TRUE(CopyAndExpectResult("0.12345+0=", "0.12345"));
}

// "?" stands for the last result that was evaluated successfully.
TEST_F(ClipboardCycle, PreviousResultCarriesFromCopyToCopy) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    EXPECT_TRUE(CopyAndExpectResult("1+2=", "3"));
    EXPECT_TRUE(CopyAndExpectResult("?*2=", "6"));
    EXPECT_TRUE(CopyAndExpectNoChange("1+*="));
    EXPECT_TRUE(CopyAndExpectResult("?+1=", "7"));
}

TEST_F(ClipboardCycle, NoCopyLeavesTheClipboardAlone) {
    ASSERT_NO_FATAL_FAILURE(StartFresh({Text("NoCopy", "Yes")}));
    EXPECT_TRUE(CopyAndExpectNoChange("1+2=", Ms{500}));
    EXPECT_TRUE(CopyAndExpectNoChange("2+3=\r\n", Ms{500}));
    EXPECT_TRUE(zarl_->Running());
    EXPECT_TRUE(zarl_->WindowPresent());
    EXPECT_EQ(ReadRegText(kSettingsKey, "NoCopy"), std::optional<std::string>("Yes"));
}

// With "+" as a prefix key and results written with a plus sign, the result
// "+3" is itself a valid input: taking the program's own write for a new
// expression would make it evaluate forever.
TEST_F(ClipboardCycle, ResultIsNotEvaluatedAgain) {
    ASSERT_NO_FATAL_FAILURE(StartFresh(
        {Text("EvalKeyPosition", "PREFIX"), Text("EvalKey", "+"), Text("OutFormatSign", "+")}));
    EXPECT_TRUE(CopyAndExpectResult("+1+2", "+3", Ms{600}));
    EXPECT_TRUE(CopyAndExpectResult("+2*5", "+10", Ms{600}));
}

TEST_F(ClipboardCycle, TextOf1023BytesIsEvaluatedAnd1024IsNot) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    EXPECT_TRUE(CopyAndExpectResult(PaddedExpression(1023, "="), "3"));
    EXPECT_TRUE(CopyAndExpectNoChange(PaddedExpression(1024, "=")));
    // The length counts before CR LF are trimmed.
    EXPECT_TRUE(CopyAndExpectResult(PaddedExpression(1023, "=\r\n"), "3"));
    EXPECT_TRUE(CopyAndExpectNoChange(PaddedExpression(1024, "=\r\n")));
}

TEST_F(ClipboardCycle, StoredConstantIsUsed) {
    ASSERT_TRUE(FreshStore({Text("EvalKey", "=")}));
    ASSERT_TRUE(WriteRegText(kConstantsKey, "K", "2.5"));
    ASSERT_NO_FATAL_FAILURE(StartOnly());
    EXPECT_TRUE(CopyAndExpectResult("K*2=", "5"));
    EXPECT_TRUE(CopyAndExpectNoChange("NOSUCH*2="));
}

TEST_F(ClipboardCycle, TextOnTheClipboardAtStartIsNotEvaluated) {
    ASSERT_TRUE(FreshStore());
    ClipboardWrite before = CopyText("4+4=");
    ASSERT_TRUE(before.ok) << before.error;
    ASSERT_NO_FATAL_FAILURE(StartOnly());
    EXPECT_TRUE(ExpectClipboardStaysQuiet(before.seq, Ms{400}, std::string("4+4=")));
    EXPECT_TRUE(CopyAndExpectResult("1+2=", "3"));
}

TEST_F(ClipboardCycle, IniFileIsImportedOnFirstStart) {
    ASSERT_TRUE(FreshStore());
    ASSERT_TRUE(WriteIni("ZARL", "Version", "3.05"));
    ASSERT_TRUE(WriteIni("ZARL", "EvalKeyPosition", "PREFIX"));
    ASSERT_NO_FATAL_FAILURE(StartOnly());
    EXPECT_TRUE(CopyAndExpectResult("=1+2", "3"));
    EXPECT_TRUE(CopyAndExpectNoChange("1+2="));
    EXPECT_EQ(ReadRegText(kSettingsKey, "EvalKeyPosition"), std::optional<std::string>("PREFIX"));
}

}  // namespace
}  // namespace e2e
