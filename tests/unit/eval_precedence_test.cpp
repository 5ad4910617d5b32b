// Precedence and grouping of the evaluator: each expression is checked against
// an explicitly parenthesized form and against its value, so a wrong grouping
// cannot hide behind a coincidentally equal result; then the parenthesis rules
// (surplus ")", unclosed "(", "(" after an operand, nesting depth).
#include <gtest/gtest.h>

#include <string>

#include "eval/evaluate.h"
#include "eval/operators.h"
#include "tests/unit/eval_test_support.h"

namespace {

using zarl_test::Case;
using zarl_test::Eval;
using zarl_test::ExpectResults;
using zarl_test::kFails;
using zarl_test::Repeat;

class Precedence : public zarl_test::EvaluatorTest {};
class Parentheses : public zarl_test::EvaluatorTest {};

struct Equivalence {
    const char* input;
    const char* grouped;    // the same expression with its grouping written out
    const char* expected;
};

TEST_F(Precedence, GroupsLikeItsParenthesizedForm) {
    const Equivalence cases[] = {
        // Every binary operator groups from the left, "^" included.
        {"2^3^2", "(2^3)^2", "64"},
        {"2-3-4", "(2-3)-4", "-5"},
        {"8/4/2", "(8/4)/2", "1"},
        {"10/2*5", "(10/2)*5", "25"},
        {"12" "\xF7" "3" "\xF7" "2", "(12/3)/2", "2"},
        // Levels: "+" "-" below "*" "/" below negation below "^".
        {"2+3*4", "2+(3*4)", "14"},
        {"2*3+4", "(2*3)+4", "10"},
        {"1-2*3-4", "(1-(2*3))-4", "-9"},
        {"2*3^2", "2*(3^2)", "18"},
        {"2" "\xD7" "3^2", "2*(3^2)", "18"},
        {"2^3*2", "(2^3)*2", "16"},
        {"-2^2", "-(2^2)", "-4"},
        {"-2+3", "(-2)+3", "1"},
        {"-3-2", "(-3)-2", "-5"},
        // A unary minus after an operator is pushed without reducing anything.
        {"2^-1", "2^(-1)", "0.5"},
        {"2*-3", "2*(-3)", "-6"},
        {"2--3", "2-(-3)", "5"},
        {"--3", "-(-3)", "3"},
        {"2^-2^2", "2^(-(2^2))", "0.0625"},
        {"-2^-2", "-(2^(-2))", "-0.25"},
        // A unary plus is skipped.
        {"+-+-1", "-(-1)", "1"},
        {"2+-+3", "2+(-3)", "-1"},
        {"1-+2", "1-2", "-1"},
        // A function applies to its parenthesized argument at once.
        {"SQRT(16)^2", "(SQRT(16))^2", "16"},
        {"SQRT(9)*2", "(SQRT(9))*2", "6"},
        {"-SQRT(4)", "-(SQRT(4))", "-2"},
        {"2^SQRT(4)", "2^(SQRT(4))", "4"},
        {"SQRT(1+3)*2", "(SQRT(4))*2", "4"},
        {"SQRT((16))", "SQRT(16)", "4"},
    };
    for (const Equivalence& c : cases) {
        const std::string plain = Eval(c.input);
        EXPECT_EQ(plain, c.expected) << "input: " << c.input;
        EXPECT_EQ(plain, Eval(c.grouped)) << c.input << " against " << c.grouped;
    }
}

TEST_F(Precedence, PlainResults) {
    const Case cases[] = {
        {"7-2", "5"},
        {"8/2", "4"},
        {"2^10", "1024"},
        {"(2+3)*4", "20"},
        {"2*(3+4)*5", "70"},
        {"1+2*3^2-4/2", "17"},
        {"100/10/10", "1"},
        {"+5", "5"},
    };
    ExpectResults(cases);
}

TEST_F(Precedence, ClassesAreOrderedAsTheDriverNeedsThem) {
    struct ClassCase {
        char op;
        int expected;
    };
    const ClassCase cases[] = {
        {'(', 0}, {'+', 1}, {'-', 1}, {'*', 2}, {'\xD7', 2}, {'/', 2}, {'\xF7', 2},
        {'~', 3}, {'^', 4}, {'f', 5}, {')', 0}, {'x', 0}, {'\0', 0},
    };
    for (const ClassCase& c : cases) {
        EXPECT_EQ(PrecedenceClass(c.op), c.expected)
            << "operator byte " << static_cast<int>(static_cast<unsigned char>(c.op));
    }
}

TEST_F(Parentheses, UnbalancedAndEmptyForms) {
    const Case cases[] = {
        // An unclosed "(" is closed at the end of the input.
        {"(1+2", "3"},
        {"(((1+2)", "3"},
        {"-(1", "-1"},
        {"SIN(30", "-0.988031624092862"},
        {"SQRT(SQRT(16", "2"},
        // A surplus ")" only reduces everything pending.
        {"1+2)*3", "9"},
        {"1)+2)", "3"},
        {"SIN(30))", "-0.988031624092862"},
        {")", "0"},
        {")1", kFails},   // an operand where an operator is due
        // Nothing pushed: the bottom value is still the 0 it starts with.
        {"()", "0"},
        {"(", "0"},
        {"+", "0"},
        // Operators without their operands.
        {"-", kFails},
        {"*3", kFails},
        {"3*", kFails},
        {"3+", kFails},
        {"2^", kFails},
        {"(*3)", kFails},
        {"(1+)", kFails},
        {"1+()", kFails},
    };
    ExpectResults(cases);
}

TEST_F(Parentheses, AfterAnOperandTheResultIsTheBottomValue) {
    const Case cases[] = {
        {"2(3)", "2"},
        {"2(3)+4", "2"},   // 3+4 is computed above the 2 and ignored
        {"(1)(2)", "1"},
    };
    ExpectResults(cases);
}

TEST_F(Parentheses, SixtyFourPendingOpenParenthesesAtMost) {
    EXPECT_EQ(Eval(Repeat("(", 64) + "1" + Repeat(")", 64)), "1");
    EXPECT_EQ(Eval(Repeat("(", 64) + "1"), "1");
    EXPECT_EQ(Eval(Repeat("(", 65) + "1" + Repeat(")", 65)), kFails);
    EXPECT_EQ(Eval(Repeat("(", 65) + "1"), kFails);
    // The negation is one more pending entry on top of the parentheses.
    EXPECT_EQ(Eval(Repeat("(", 63) + "-1"), "-1");
    EXPECT_EQ(Eval(Repeat("(", 64) + "-1"), kFails);
}

}  // namespace
