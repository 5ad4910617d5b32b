// The evaluator's state: the bounds of its two stacks (64 values, 64 pending
// operators; the push that would make 65 fails), the previous result that "?"
// recalls, and the reset that makes every evaluation start afresh.
#include <gtest/gtest.h>

#include <string>

#include "eval/evaluate.h"
#include "settings/settings.h"
#include "tests/unit/eval_test_support.h"

namespace {

using zarl_test::Eval;
using zarl_test::kFails;
using zarl_test::Repeat;

class StackLimits : public zarl_test::EvaluatorTest {};
class PreviousResultRecall : public zarl_test::EvaluatorTest {};
class StateReset : public zarl_test::EvaluatorTest {};

TEST_F(StackLimits, SixtyFourValues) {
    // "(1)" after an operand pushes a value that nothing ever consumes.
    EXPECT_EQ(Eval("7" + Repeat("(1)", 63)), "7");
    EXPECT_EQ(Eval("7" + Repeat("(1)", 64)), kFails);
}

TEST_F(StackLimits, SixtyFourPendingOperators) {
    // A unary minus in operand position is pushed without any reduction.
    EXPECT_EQ(Eval(Repeat("-", 64) + "1"), "1");
    EXPECT_EQ(Eval(Repeat("-", 63) + "5"), "-5");
    EXPECT_EQ(Eval(Repeat("-", 65) + "1"), kFails);
    // "+" and 63 negations are 64 entries: 1 + (-1).
    EXPECT_EQ(Eval("1+" + Repeat("-", 63) + "1"), "0");
    EXPECT_EQ(Eval("1+" + Repeat("-", 64) + "1"), kFails);
}

TEST_F(PreviousResultRecall, IsZeroBeforeAnySuccess) {
    EXPECT_EQ(Eval("?"), "0");
    EXPECT_EQ(Eval("?+1"), "1");
}

TEST_F(PreviousResultRecall, FollowsEachSuccess) {
    EXPECT_EQ(Eval("1+2"), "3");
    EXPECT_EQ(Eval("?*2"), "6");
    EXPECT_EQ(Eval("?"), "6");
    EXPECT_EQ(Eval("(?)-1"), "5");
}

TEST_F(PreviousResultRecall, AFailureKeepsTheLastSuccess) {
    EXPECT_EQ(Eval("1+2"), "3");
    EXPECT_EQ(Eval("1/0"), kFails);
    EXPECT_EQ(Eval("?+"), kFails);
    EXPECT_EQ(Eval("2^-1023"), kFails);
    EXPECT_EQ(Eval("?"), "3");
}

TEST_F(PreviousResultRecall, KeepsTheFullDoubleNotTheShownText) {
    EXPECT_EQ(Eval("1/3"), "0.333333333333333");
    EXPECT_EQ(PreviousResult, 0x1.5555555555555p-2);
    // (double)(1/3) * 3 rounds to exactly 1; the shown 15 digits would give
    // 0.999999999999999.
    EXPECT_EQ(Eval("?*3"), "1");
    EXPECT_EQ(Eval("1/3"), "0.333333333333333");
    // 0.333333333333333314829616256247 - 0.333333333333332981762708868700
    // = 3.3306690738754696e-16, exact by Sterbenz's lemma.
    EXPECT_EQ(Eval("?-0.333333333333333"), "3.33066907387547e-016");
}

TEST_F(PreviousResultRecall, AHexadecimalResultKeepsItsValue) {
    EXPECT_EQ(Eval("2.7@H"), "&H3");
    EXPECT_EQ(Eval("?"), "2.7");
}

TEST_F(PreviousResultRecall, IsTheBottomValue) {
    EXPECT_EQ(Eval("2(3)"), "2");
    EXPECT_EQ(Eval("?"), "2");
}

TEST_F(PreviousResultRecall, IsAnOperandLikeAnyOther) {
    EXPECT_EQ(Eval("5"), "5");
    EXPECT_EQ(Eval("??"), kFails);
    EXPECT_EQ(Eval("?2"), kFails);
    EXPECT_EQ(Eval("2?"), kFails);
    EXPECT_EQ(Eval("-?"), "-5");
    EXPECT_EQ(Eval("? ^ 2"), "25");
}

TEST_F(StateReset, TheBottomSlotStartsAtZero) {
    // Guards: a bottom slot not zeroed at the start, which shows here as 5.
    EXPECT_EQ(Eval("5"), "5");
    EXPECT_EQ(Eval("("), "0");
    EXPECT_EQ(Eval("5"), "5");
    EXPECT_EQ(Eval("+"), "0");
}

TEST_F(StateReset, PendingEntriesOfAFailureAreDropped) {
    EXPECT_EQ(Eval("----"), kFails);   // four negations and no operand
    EXPECT_EQ(Eval("3"), "3");          // a leftover negation would give -3
    EXPECT_EQ(Eval("((((1+"), kFails);
    EXPECT_EQ(Eval("2)*3"), "6");       // a leftover "+" or "(" would change this
    EXPECT_EQ(Eval("1+2*"), kFails);
    EXPECT_EQ(Eval("4"), "4");
}

TEST_F(StateReset, FlagsAndSuffixDoNotCarryOver) {
    EXPECT_EQ(Eval("2^-1023"), kFails);   // a math error
    EXPECT_EQ(Eval("2^2"), "4");
    EXPECT_EQ(Eval("255@H"), "&HFF");
    EXPECT_EQ(Eval("255"), "255");
    EXPECT_EQ(Eval("\x80"), kFails);
    EXPECT_EQ(Eval("1"), "1");
}

TEST_F(StateReset, FullStacksTwiceInARow) {
    const std::string values = "7" + Repeat("(1)", 63);
    const std::string operators = Repeat("-", 64) + "1";
    EXPECT_EQ(Eval(values), "7");
    EXPECT_EQ(Eval(values), "7");
    EXPECT_EQ(Eval(operators), "1");
    EXPECT_EQ(Eval(operators), "1");
}

}  // namespace
