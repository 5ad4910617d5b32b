// The 25 function names, the power operator and the arithmetic failures: each
// function's domain edges, the math errors that fail an evaluation even when
// the result would be finite (pow, sinh and cosh report underflow), the
// results that fail only by being infinite, and radians against degrees.
//
// Expected texts are the default 15-significant-digit form of the double
// nearest the true value, picked so that a last-bit difference in a library
// routine cannot change them, except where noted.
#include <gtest/gtest.h>

#include "eval/evaluate.h"
#include "eval/operators.h"
#include "settings/settings.h"
#include "tests/unit/eval_test_support.h"

namespace {

using zarl_test::Case;
using zarl_test::ExpectResults;
using zarl_test::kFails;

class Functions : public zarl_test::EvaluatorTest {};
class Power : public zarl_test::EvaluatorTest {};
class ArithmeticFailures : public zarl_test::EvaluatorTest {};
class AngleUnits : public zarl_test::EvaluatorTest {};

TEST_F(Functions, AbsSgnFloorCeil) {
    const Case cases[] = {
        {"ABS(-2)", "2"},
        {"ABS(2.5)", "2.5"},
        {"ABS(-0)", "-0"},   // only x < 0 is negated: -0 stays -0
        {"SGN(-3)", "-1"},
        {"SGN(0)", "0"},
        {"SGN(-0)", "0"},    // both zeros give +0
        {"SGN(1E-300)", "1"},
        {"SGN(2.5)", "1"},
        {"FLOOR(-2.5)", "-3"},
        {"FLOOR(2.5)", "2"},
        {"FLOOR(-0.5)", "-1"},
        {"FLOOR(0.5)", "0"},
        {"FLOOR(1E300)", "1e+300"},
        {"CEIL(-2.5)", "-2"},
        {"CEIL(2.5)", "3"},
        {"CEIL(0.5)", "1"},
        {"CEIL(-0.5)", "-0"},
    };
    ExpectResults(cases);
}

TEST_F(Functions, SquareRootAndLogarithms) {
    const Case cases[] = {
        {"SQRT(2)", "1.4142135623731"},   // 1.4142135623730951 rounds to ...7310
        {"SQRT(16)", "4"},
        {"SQRT(0)", "0"},
        {"SQRT(-0)", "-0"},
        {"SQRT(-1)", kFails},
        {"SQRT(-1E-300)", kFails},
        {"LOG(1)", "0"},
        {"LOGE(1)", "0"},
        {"LN(2)", "0.693147180559945"},
        {"LOG(10)", "2.30258509299405"},
        {"LOGE(10)", "2.30258509299405"},
        {"LOG(0)", kFails},
        {"LN(-1)", kFails},
        {"LOGE(-0)", kFails},
        {"LOG10(1000)", "3"},
        {"LOG10(0.001)", "-3"},
        {"LOG10(2)", "0.301029995663981"},
        {"LOG10(0)", kFails},
        {"LOG10(-10)", kFails},
        // ln(x) / ln(2.0): ln 8 / ln 2 and ln 1024 / ln 2 come out whole.
        {"LOG2(8)", "3"},
        {"LOG2(1024)", "10"},
        {"LOG2(10)", "3.32192809488736"},
        {"LOG2(0)", kFails},
        {"LOG2(-8)", kFails},
    };
    ExpectResults(cases);
}

TEST_F(Functions, Exponential) {
    const Case cases[] = {
        {"EXP(0)", "1"},
        {"EXP(2)", "7.38905609893065"},
        {"EXP(-1)", "0.367879441171442"},
        {"EXP(709)", "8.21840746155497e+307"},
        {"EXP(710)", kFails},     // above ln(DBL_MAX) = 709.78...
        {"EXP(-1000)", "0"},      // underflow is not an error for EXP
    };
    ExpectResults(cases);
}

TEST_F(Functions, Hyperbolic) {
    const Case cases[] = {
        {"COSH(0)", "1"},
        // cosh(710) = 1.1169973830808555e308, below DBL_MAX; cosh(711) is not.
        {"COSH(710)", "1.11699738308086e+308"},
        {"COSH(-710)", "1.11699738308086e+308"},
        {"COSH(711)", kFails},
        {"COSH(1000)", kFails},
        {"SINH(0)", "0"},
        {"SINH(-0)", "-0"},
        {"SINH(1)", "1.1752011936438"},
        {"SINH(-710)", "-1.11699738308086e+308"},
        {"SINH(1000)", kFails},
        {"SINH(-1000)", kFails},
        // sinh reports an underflow when its result is below the smallest
        // normal double, 2.2250738585072014e-308.
        {"SINH(2.3E-308)", "2.3e-308"},
        {"SINH(2.2E-308)", kFails},
        {"SINH(1E-320)", kFails},
        {"TANH(0)", "0"},
        {"TANH(0.5)", "0.46211715726001"},
        {"TANH(1000)", "1"},
        {"TANH(-1000)", "-1"},
        // tanh reports nothing: a subnormal result is accepted.
        {"TANH(1E-320)", "9.99988867182683e-321"},
    };
    ExpectResults(cases);
}

// ACOSH, ASINH and ATANH are their textbook formulas evaluated in double
// precision, with intermediates that may exceed a double's exponent range;
// several cases below pin that formula against a more accurate library.
TEST_F(Functions, InverseHyperbolicFollowTheirFormulas) {
    const Case cases[] = {
        {"ACOSH(1)", "0"},
        {"ACOSH(2)", "1.31695789692482"},
        // x*x = 1E400 does not overflow: ln(1E200 + 1E200) = ln(2E200).
        {"ACOSH(1E200)", "461.210165779369"},
        {"ACOSH(0.9999999)", kFails},
        {"ACOSH(0.5)", kFails},
        {"ACOSH(-2)", kFails},
        {"ASINH(0)", "0"},
        {"ASINH(-0)", "0"},   // ln(-0 + 1) is +0
        {"ASINH(1)", "0.881373587019543"},
        {"ASINH(-1)", "-0.881373587019543"},
        {"ASINH(1E200)", "461.210165779369"},
        // 1 + 1E-600 rounds to 1, so the formula gives ln(1) = 0, not 1e-300.
        {"ASINH(1E-300)", "0"},
        // x*x + 1 = 1E10 + 1 is exact; sqrt gives 100000.000005 rounded to a
        // double, and the cancelling sum leaves ln(5.0000000000...e-6).
        {"ASINH(-1E5)", "-12.2060737621866"},
        // Guards: a library asinh in place of the formula. 1E14 + 1 is exact,
        // its root 10000000.00000005 rounds to 10000000 + 27 * 2^-29, so the
        // sum is 27 * 2^-29 = 5.029e-8 and the result is ln of that, not the
        // true -16.8112428315183.
        {"ASINH(-1E7)", "-16.8054313702341"},
        // From 1E8 on, x*x + 1 rounds to x*x and the sum is exactly 0.
        {"ASINH(-1E8)", kFails},
        {"ASINH(-1E9)", kFails},
        {"ASINH(-1E10)", kFails},
        {"ATANH(0)", "0"},
        {"ATANH(0.5)", "0.549306144334055"},
        {"ATANH(-0.5)", "-0.549306144334055"},
        // 1 + 1E-10 and 1 - 1E-10 are rounded before the division:
        // 0.5 * ln(1.0000000002000000165) = 1.00000008264037e-10.
        {"ATANH(1E-10)", "1.00000008264037e-010"},
        // 1 + 1E-20 and 1 - 1E-20 both round to 1.
        {"ATANH(1E-20)", "0"},
        {"ATANH(1)", kFails},
        {"ATANH(-1)", kFails},
        {"ATANH(2)", kFails},
        {"ATANH(-2)", kFails},
    };
    ExpectResults(cases);
}

TEST_F(Functions, TrigonometryInRadians) {
    const Case cases[] = {
        {"SIN(0)", "0"},
        {"SIN(30)", "-0.988031624092862"},
        {"SIN(1E-300)", "1e-300"},
        // sin of the double nearest pi is 1.2246467991473532e-16: this needs
        // an argument reduction that keeps the bits of pi beyond the double.
        {"SIN(ACOS(-1))", "1.22464679914735e-016"},
        {"COS(0)", "1"},
        {"COS(1)", "0.54030230586814"},
        {"COS(ACOS(-1))", "-1"},
        {"TAN(0)", "0"},
        {"TAN(1)", "1.5574077246549"},
        {"ASIN(0)", "0"},
        {"ASIN(1)", "1.5707963267949"},
        {"ASIN(-1)", "-1.5707963267949"},
        {"ASIN(1.0000001)", kFails},
        {"ASIN(-1.0000001)", kFails},
        {"ACOS(1)", "0"},
        {"ACOS(0)", "1.5707963267949"},
        {"ACOS(0.5)", "1.0471975511966"},
        {"ACOS(-1)", "3.14159265358979"},
        {"ACOS(1.0000001)", kFails},
        {"ACOS(-1.0000001)", kFails},
        {"ATAN(0)", "0"},
        {"ATAN(1)", "0.785398163397448"},
        {"ATAN(-1)", "-0.785398163397448"},
        {"ATAN(1E300)", "1.5707963267949"},
        {"DEG(1)", "57.2957795130823"},
        {"DEG(ACOS(-1))", "180"},
        {"DEG(1E306)", "5.72957795130823e+307"},
        {"DEG(1E307)", kFails},   // 5.7E308 is beyond DBL_MAX
        {"RAD(180)", "3.14159265358979"},
        {"RAD(90)", "1.5707963267949"},
    };
    ExpectResults(cases);
}

TEST_F(AngleUnits, DegreesConvertTrigonometricArgumentsAndResults) {
    SetAngleUnit(AngleDegrees);
    const Case cases[] = {
        // 30 * (pi/180) rounds just below pi/6 and its sine to
        // 0.49999999999999994; fifteen digits show 0.5. Likewise below.
        {"SIN(30)", "0.5"},
        {"COS(60)", "0.5"},
        {"TAN(45)", "1"},
        {"SIN(90)", "1"},
        {"COS(180)", "-1"},
        // 180 * (pi/180) is exactly the double nearest pi.
        {"SIN(180)", "1.22464679914735e-016"},
        {"TAN(90)", "1.63312393531954e+016"},
        {"ASIN(1)", "90"},
        {"ASIN(0.5)", "30"},
        {"ACOS(0)", "90"},
        {"ACOS(-1)", "180"},
        {"ATAN(1)", "45"},
        {"ATAN(1E300)", "90"},
        // DEG and RAD do not depend on the unit; the other functions neither.
        {"DEG(1)", "57.2957795130823"},
        {"RAD(180)", "3.14159265358979"},
        {"SINH(1)", "1.1752011936438"},
        {"ACOSH(2)", "1.31695789692482"},
    };
    ExpectResults(cases);
}

TEST_F(AngleUnits, SwitchingBackRestoresRadians) {
    SetAngleUnit(AngleDegrees);
    SetAngleUnit(AngleRadians);
    const Case cases[] = {
        {"SIN(30)", "-0.988031624092862"},
        {"ASIN(1)", "1.5707963267949"},
    };
    ExpectResults(cases);
}

TEST_F(AngleUnits, FactorsFollowTheUnit) {
    EXPECT_EQ(Settings.AngleUnit, AngleRadians);
    EXPECT_EQ(AngleInFactor, 1.0);
    EXPECT_EQ(AngleOutFactor, 1.0);
    SetAngleUnit(AngleDegrees);
    EXPECT_EQ(Settings.AngleUnit, AngleDegrees);
    EXPECT_EQ(AngleInFactor, 0.017453292519943295);
    EXPECT_EQ(AngleOutFactor, 57.29577951308232);
    SetAngleUnit(AngleRadians);
    EXPECT_EQ(AngleInFactor, 1.0);
    EXPECT_EQ(AngleOutFactor, 1.0);
    SetAngleUnit(AngleDegrees);
    SetDefaultSettings();
    EXPECT_EQ(AngleInFactor, 1.0);
    EXPECT_EQ(AngleOutFactor, 1.0);
}

TEST_F(Power, DomainAndRange) {
    const Case cases[] = {
        {"2^10", "1024"},
        {"2^0", "1"},
        {"2^0.5", "1.4142135623731"},
        {"4^0.5", "2"},
        // A zero base always fails, even where the power would be 0 or 1.
        {"0^2", kFails},
        {"0^0", kFails},
        {"0^-1", kFails},
        {"(-0)^2", kFails},
        // A negative base needs a whole exponent.
        {"(-8)^3", "-512"},
        {"(-8)^2.0", "64"},
        {"(-8)^-1", "-0.125"},
        {"(-8)^(1/3)", kFails},
        {"(-2)^0.5", kFails},
        {"2^1023", "8.98846567431158e+307"},
        {"(-2)^1023", "-8.98846567431158e+307"},
        {"2^1024", kFails},
        {"10^308", "1e+308"},
    };
    ExpectResults(cases);
}

TEST_F(Power, UnderflowIsAnErrorOfThePowerOnly) {
    const Case cases[] = {
        {"2^-1022", "2.2250738585072e-308"},   // the smallest normal double
        {"10^-307", "1e-307"},
        // Zero or subnormal results of pow are reported as underflow.
        {"2^-1023", kFails},
        {"10^-308", kFails},
        {"0.5^2000", kFails},
        {"10^-400", kFails},
        // A division reports nothing: its subnormal result is accepted.
        {"1/2^1023", "1.1125369292536e-308"},
        {"1E-308/10", "1e-309"},
        {"1E-200*1E-200", "0"},
    };
    ExpectResults(cases);
}

TEST_F(ArithmeticFailures, DivisionByZeroAndOverflow) {
    const Case cases[] = {
        {"1/0", kFails},
        {"1/(-0)", kFails},
        {"0/0", kFails},
        {"0/1", "0"},
        {"0/-1", "-0"},
        {"1.7976931348623157E308*1", "1.79769313486232e+308"},
        // Guards: carrying extended-range intermediates from one operation to
        // the next. Each operation's result is tested on its own, so no later
        // step can bring an overflowed product back into range.
        {"1E308*10", kFails},
        {"-1E308*10", kFails},
        {"1E308*10/100", kFails},
        {"1E308+1E308", kFails},
        {"1E200*1E200", kFails},
    };
    ExpectResults(cases);
}

TEST_F(ArithmeticFailures, UnknownFunctionsAndMissingArguments) {
    const Case cases[] = {
        {"FOO(1)", kFails},
        {"SIN()", kFails},
        {"SQRT", kFails},
        {"sqrt(4)", "2"},
        {"Log10(100)", "2"},
    };
    ExpectResults(cases);
}

TEST(MathErrorHook, ClearsEvalOkAndLetsTheLibraryGoOn) {
    MathErrorReport report = {MathUnderflow, "pow", 2.0, -1074.0, 0.0};
    EvalOk = 1;
    EXPECT_EQ(MathErrorHook(&report), 0);
    EXPECT_EQ(EvalOk, 0);
}

}  // namespace
