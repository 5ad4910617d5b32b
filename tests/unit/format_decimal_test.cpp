// Decimal result texts: the format string built from the settings, and the
// digits written through it. The program writes its own digits, so every
// build must agree: the value is first taken to 17 correctly rounded
// significant digits, further positions are zeros, rounding to the requested
// digits is half up on those 17, and the exponent has a sign and 3 digits.
// Many expected texts below differ from what glibc's printf writes.
#include <gtest/gtest.h>

#include <cstring>
#include <ios>
#include <limits>
#include <string>
#include <vector>

#include "eval/evaluate.h"
#include "eval/format.h"
#include "settings/constants.h"
#include "settings/settings.h"
#include "tests/unit/eval_test_support.h"

namespace {

using zarl_test::Case;
using zarl_test::Eval;
using zarl_test::ExpectResults;
using zarl_test::kFails;
using zarl_test::UseFormat;

class OutFormat : public zarl_test::EvaluatorTest {};
class DecimalText : public zarl_test::EvaluatorTest {};
class DecimalResults : public zarl_test::EvaluatorTest {};
class NegativeZero : public zarl_test::EvaluatorTest {};
class NonFiniteResults : public zarl_test::EvaluatorTest {};

constexpr double kDblMax = 0x1.fffffffffffffp+1023;

std::string Decimal(double value, const char* format) {
    std::vector<char> out(ResultBufferSize, 'Z');
    FormatDecimal(value, format, out.data());
    if (std::memchr(out.data(), '\0', out.size()) == nullptr) return "<unterminated>";
    return std::string(out.data());
}

TEST_F(OutFormat, BuildsThePrintfStyleFormat) {
    struct FormatCase {
        const char* sign;
        const char* type;
        int precision;
        const char* expected;
    };
    const FormatCase cases[] = {
        {"-", "g", 15, "%.15lg"},
        {"+", "f", 3, "%+.3lf"},
        {"-", "E", 0, "%.0lE"},
        {"+", "G", 10, "%+.10lG"},
        {"-", "e", 7, "%.7le"},
        {"+", "g", 0, "%+.0lg"},
        // Only the exact text "+" asks for the plus sign.
        {"", "g", 5, "%.5lg"},
        {"++", "g", 5, "%.5lg"},
        {"+ ", "f", 2, "%.2lf"},
    };
    for (const FormatCase& c : cases) {
        BuildOutFormat(c.sign, c.type, c.precision);
        EXPECT_STREQ(OutFormatString, c.expected)
            << "sign \"" << c.sign << "\", type " << c.type << ", precision " << c.precision;
    }
}

TEST_F(OutFormat, DefaultsGiveFifteenSignificantDigits) {
    std::strcpy(OutFormatString, "junk");
    SetDefaultSettings();
    EXPECT_STREQ(OutFormatString, "%.15lg");
    EXPECT_STREQ(Settings.OutFormatSign, "-");
    EXPECT_STREQ(Settings.OutFormatType, "g");
    EXPECT_EQ(Settings.OutFormatPrecision, 15);
    EXPECT_EQ(Settings.HexadecimalForm, HexSigned);
    EXPECT_EQ(Settings.InsThousandSep, 0);
}

struct TextCase {
    double value;
    const char* format;
    const char* expected;
};

void ExpectTexts(const TextCase* begin, const TextCase* end) {
    for (const TextCase* c = begin; c != end; ++c) {
        EXPECT_EQ(Decimal(c->value, c->format), c->expected)
            << "value " << std::hexfloat << c->value << " through " << c->format;
    }
}

TEST_F(DecimalText, GeneralFormWithFifteenDigits) {
    const TextCase cases[] = {
        {0x1.5555555555555p-2, "%.15lg", "0.333333333333333"},   // 1/3
        {0x1.5555555555555p-1, "%.15lg", "0.666666666666667"},   // 2/3
        {0.125, "%.15lg", "0.125"},
        {1e20, "%.15lg", "1e+020"},
        {1e20, "%.15lG", "1E+020"},
        {12345678901234567.0, "%.15lg", "1.23456789012346e+016"},
        {1e-5, "%.15lg", "1e-005"},
        {0.0001, "%.15lg", "0.0001"},
        // 17 digits 99999999999999951e-21 round half up to 1.0e-4: the form
        // is chosen from the rounded exponent -4, so it stays fixed.
        {0.00009999999999999995, "%.15lg", "0.0001"},
        {123456789012345.0, "%.15lg", "123456789012345"},
        {1e14, "%.15lg", "100000000000000"},
        {1e15, "%.15lg", "1e+015"},
        // Rounds up to 1e15, whose exponent 15 is not below the precision.
        {999999999999999.5, "%.15lg", "1e+015"},
        // Guards: rounding the exact binary value (as glibc's printf does,
        // giving ...345). The double is 123456.78901234549994...; its 17
        // digits end in ...50, which rounds half up.
        {123456.7890123455, "%.15lg", "123456.789012346"},
        {0x1.3333333333334p-2, "%.15lg", "0.3"},   // 0.1 + 0.2
        {1e100, "%.15lg", "1e+100"},
        {1e-100, "%.15lg", "1e-100"},
        {kDblMax, "%.15lg", "1.79769313486232e+308"},
        {0x1p-1022, "%.15lg", "2.2250738585072e-308"},
        {0x0.0000000000001p-1022, "%.15lg", "4.94065645841247e-324"},
        {0.0, "%.15lg", "0"},
    };
    ExpectTexts(std::begin(cases), std::end(cases));
}

TEST_F(DecimalText, GeneralFormWithFewDigits) {
    const TextCase cases[] = {
        // Precision 0 counts as 1.
        {2.5, "%.0lg", "3"},
        {0.5, "%.0lg", "0.5"},
        {123.0, "%.0lg", "1e+002"},
        {0.00012, "%.0lg", "0.0001"},
        {9.5, "%.0lg", "1e+001"},   // rounds to 10: exponent 1 is not below 1
        // 0.15 is 0.1499999999999999944...: 17 digits 14999999999999999.
        {0.15, "%.1lg", "0.1"},
        {1234.56, "%.3lg", "1.23e+003"},
        {0.000123456, "%.3lg", "0.000123"},
        {999.5, "%.3lg", "1e+003"},
        {100.0, "%.3lg", "100"},
        {1000.0, "%.3lg", "1e+003"},
        {2.0, "%.3lg", "2"},
        {1.5e-7, "%.15lG", "1.5E-007"},
    };
    ExpectTexts(std::begin(cases), std::end(cases));
}

TEST_F(DecimalText, ExponentForm) {
    const TextCase cases[] = {
        {1234.56, "%.3le", "1.235e+003"},
        {0.000123456, "%.3lE", "1.235E-004"},
        {12345.0, "%.0le", "1e+004"},
        {2.5, "%.0le", "3e+000"},
        {9.5, "%.0le", "1e+001"},
        {0x1.5555555555555p-2, "%.15le", "3.333333333333333e-001"},
        {0.1, "%.15le", "1.000000000000000e-001"},
        // 2^70 = 1180591620717411303424; 17 digits 11805916207174113.
        {0x1p+70, "%.15le", "1.180591620717411e+021"},
        {1.5e-7, "%.15lE", "1.500000000000000E-007"},
        {kDblMax, "%.15le", "1.797693134862316e+308"},
        {0.0, "%.3le", "0.000e+000"},
    };
    ExpectTexts(std::begin(cases), std::end(cases));
}

TEST_F(DecimalText, FixedForm) {
    const TextCase cases[] = {
        {0x1.5555555555555p-1, "%.2lf", "0.67"},
        // Half up on an exact tie (glibc gives 0.12 and -0.12).
        {0.125, "%.2lf", "0.13"},
        {-0.125, "%.2lf", "-0.13"},
        // 0.105 is 0.10499999999999999611...; its 17 digits are
        // 10500000000000000, and half up on those gives 0.11.
        {0.105, "%.2lf", "0.11"},
        {1e20, "%.2lf", "100000000000000000000.00"},
        {0.0, "%.2lf", "0.00"},
        {0.000001, "%.2lf", "0.00"},
        {-0.001, "%.2lf", "-0.00"},
        {2.5, "%.0lf", "3"},
        {-2.5, "%.0lf", "-3"},
        {0.5, "%.0lf", "1"},
        {1.5, "%.0lf", "2"},
        {0.4, "%.0lf", "0"},
        {0.49999999999999994, "%.0lf", "0"},
        {1e22, "%.0lf", "10000000000000000000000"},
        {1e-5, "%.15lf", "0.000010000000000"},
        {5e-16, "%.15lf", "0.000000000000001"},
        {4.9e-16, "%.15lf", "0.000000000000000"},
        {0.1, "%.15lf", "0.100000000000000"},
    };
    ExpectTexts(std::begin(cases), std::end(cases));
}

TEST_F(DecimalText, SeventeenDigitsThenZeros) {
    const TextCase cases[] = {
        // 123456789.12345679104...: 17 digits, then zeros.
        {123456789.123456789, "%.15lf", "123456789.123456790000000"},
        // 1000/3 = 333.33333333333331438...: 17 digits ...331, then one zero.
        {0x1.4d55555555555p+8, "%.15lf", "333.333333333333310"},
        // 100/3 = 33.33333333333333570...: exactly 17 digits are shown.
        {0x1.0aaaaaaaaaaabp+5, "%.15lf", "33.333333333333336"},
        // 2^70 = 1180591620717411303424.
        {0x1p+70, "%.0lf", "1180591620717411300000"},
    };
    ExpectTexts(std::begin(cases), std::end(cases));
}

TEST_F(DecimalText, SeventeenDigitsTieRoundsToEven) {
    // These doubles are exact: their 18th significant digit is a final 5, so
    // the 17-digit step meets a true tie and keeps the even digit. Half up
    // from the exact value would give ...0.3 and ...0.13.
    const TextCase cases[] = {
        {1000000000000000.25, "%.1lf", "1000000000000000.2"},
        {1000000000000000.25, "%.2lf", "1000000000000000.20"},
        {1000000000000000.75, "%.1lf", "1000000000000000.8"},
        {100000000000000.125, "%.2lf", "100000000000000.12"},
        {100000000000000.375, "%.2lf", "100000000000000.38"},
    };
    ExpectTexts(std::begin(cases), std::end(cases));
}

TEST_F(DecimalText, PlusSign) {
    const TextCase cases[] = {
        {5.0, "%+.15lg", "+5"},
        {-5.0, "%+.15lg", "-5"},
        {0.0, "%+.15lg", "+0"},
        {-0.0, "%+.15lg", "-0"},
        {1e20, "%+.15lg", "+1e+020"},
        {2.5, "%+.0lf", "+3"},
        {0.0, "%+.2le", "+0.00e+000"},
    };
    ExpectTexts(std::begin(cases), std::end(cases));
}

TEST_F(DecimalText, TheLongestTextFillsTheResultBuffer) {
    // -DBL_MAX in the fixed form with 15 decimals: "-", 309 integer digits
    // (17 significant ones and 292 zeros), ".", 15 zeros: 326 characters.
    const std::string expected =
        "-17976931348623157" + std::string(292, '0') + "." + std::string(15, '0');
    ASSERT_EQ(expected.size(), static_cast<size_t>(MaxResultLength));
    EXPECT_EQ(Decimal(-kDblMax, "%.15lf"), expected);
    EXPECT_EQ(Decimal(kDblMax, "%+.15lf"), "+" + expected.substr(1));
}

TEST_F(DecimalResults, DefaultFormat) {
    const Case cases[] = {
        {"1/3", "0.333333333333333"},
        {"2/3", "0.666666666666667"},
        {"1/8", "0.125"},
        {"1E20", "1e+020"},
        {"12345678901234567", "1.23456789012346e+016"},
        {"1E-5", "1e-005"},
        {"0.0001", "0.0001"},
        {"0.1+0.2", "0.3"},
        {"123456.7890123455", "123456.789012346"},
    };
    ExpectResults(cases);
}

TEST_F(DecimalResults, SettingsReachTheResultThroughTheFormatString) {
    UseFormat("-", "f", 2);
    const Case fixed2[] = {
        {"2/3", "0.67"},
        {"0.125", "0.13"},
        {"0.105", "0.11"},
        {"1E20", "100000000000000000000.00"},
        {"-0.001", "-0.00"},
    };
    ExpectResults(fixed2);

    UseFormat("-", "f", 15);
    const Case fixed15[] = {
        {"123456789.123456789", "123456789.123456790000000"},
        {"1000/3", "333.333333333333310"},
    };
    ExpectResults(fixed15);

    UseFormat("-", "f", 0);
    const Case fixed0[] = {
        {"2.5", "3"},
        {"0.5", "1"},
        {"2^70", "1180591620717411300000"},
    };
    ExpectResults(fixed0);

    UseFormat("-", "f", 1);
    const Case fixed1[] = {
        {"1000000000000000.25", "1000000000000000.2"},
    };
    ExpectResults(fixed1);

    UseFormat("-", "e", 3);
    const Case exp3[] = {{"1234.56", "1.235e+003"}};
    ExpectResults(exp3);

    UseFormat("-", "E", 3);
    const Case upperExp3[] = {{"0.000123456", "1.235E-004"}};
    ExpectResults(upperExp3);

    UseFormat("-", "G", 15);
    const Case upperGeneral[] = {{"1E20", "1E+020"}, {"1/3", "0.333333333333333"}};
    ExpectResults(upperGeneral);

    UseFormat("+", "g", 15);
    const Case plus[] = {{"5", "+5"}, {"-5", "-5"}, {"0", "+0"}, {"1E20", "+1e+020"}};
    ExpectResults(plus);
}

TEST_F(DecimalResults, TheFormatStringAloneDecides) {
    // Changing the settings without rebuilding the format changes nothing.
    Settings.OutFormatType[0] = 'f';
    Settings.OutFormatPrecision = 2;
    EXPECT_EQ(Eval("2/3"), "0.666666666666667");
}

TEST_F(DecimalResults, TheLongestResultThroughEvaluate) {
    UseFormat("-", "f", 15);
    const std::string expected =
        "-17976931348623157" + std::string(292, '0') + "." + std::string(15, '0');
    EXPECT_EQ(Eval("-1.7976931348623157E308"), expected);
}

TEST_F(NegativeZero, KeepsItsSign) {
    const Case cases[] = {
        {"-0", "-0"},
        {"CEIL(-0.5)", "-0"},
        {"0*-1", "-0"},
        {"-0-0", "-0"},
        {"-0+0", "0"},   // IEEE: -0 + 0 is +0
    };
    ExpectResults(cases);
}

TEST_F(NegativeZero, KeepsItsSignWithThePlusSignAndFixedForm) {
    UseFormat("+", "g", 15);
    const Case plus[] = {{"-0", "-0"}, {"CEIL(-0.5)", "-0"}, {"0", "+0"}};
    ExpectResults(plus);
    UseFormat("-", "f", 2);
    const Case fixed[] = {{"-0", "-0.00"}};
    ExpectResults(fixed);
    UseFormat("-", "e", 2);
    const Case exponent[] = {{"-0", "-0.00e+000"}};
    ExpectResults(exponent);
}

TEST_F(NonFiniteResults, FormatResultRefusesThem) {
    const double values[] = {
        std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN(),
    };
    const char letters[] = {0, 'H'};
    for (double value : values) {
        for (char letter : letters) {
            char out[ResultBufferSize] = "untouched";
            EvalOk = 1;
            EXPECT_FALSE(FormatResult(value, letter, out)) << value << " letter " << +letter;
            EXPECT_EQ(EvalOk, 0) << value << " letter " << +letter;
            EXPECT_STREQ(out, "untouched") << value << " letter " << +letter;
        }
    }
}

TEST_F(NonFiniteResults, AnInfiniteConstantFailsTheEvaluation) {
    ASSERT_TRUE(AppendConstant("BIG", "1E999"));
    EXPECT_EQ(Eval("5"), "5");
    EXPECT_EQ(Eval("BIG"), kFails);
    EXPECT_EQ(Eval("?"), "5");
}

TEST_F(NonFiniteResults, FormatResultWritesFiniteValues) {
    char out[ResultBufferSize] = "untouched";
    EvalOk = 1;
    EXPECT_TRUE(FormatResult(0.125, 0, out));
    EXPECT_STREQ(out, "0.125");
    EXPECT_EQ(EvalOk, 1);
}

}  // namespace
