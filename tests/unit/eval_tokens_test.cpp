// The scanner of the evaluator: decimal and hexadecimal literals, blanks and
// rejected bytes, thousands separators inside literals, names and user
// constants, and the "@" suffix that asks for a hexadecimal result.
#include <gtest/gtest.h>

#include <string>

#include "eval/evaluate.h"
#include "settings/constants.h"
#include "settings/settings.h"
#include "tests/unit/eval_test_support.h"

namespace {

using zarl_test::Case;
using zarl_test::Eval;
using zarl_test::ExpectResults;
using zarl_test::kFails;
using zarl_test::Repeat;

class DecimalLiterals : public zarl_test::EvaluatorTest {};
class HexLiterals : public zarl_test::EvaluatorTest {};
class ThousandsSeparators : public zarl_test::EvaluatorTest {};
class BlanksAndBytes : public zarl_test::EvaluatorTest {};
class Names : public zarl_test::EvaluatorTest {};
class FormatSuffix : public zarl_test::EvaluatorTest {};
class LongInput : public zarl_test::EvaluatorTest {};

TEST_F(DecimalLiterals, ReadTheLongestNumberPrefixOfTheCollectedRun) {
    const Case cases[] = {
        {"0", "0"},
        {"42", "42"},
        {"007", "7"},
        {"1.5e3", "1500"},
        {"1.5E3", "1500"},
        {"1E+2", "100"},
        {"1e-2", "0.01"},
        {"1e0001", "10"},
        {".5", "0.5"},
        {"5.", "5"},
        {".", "0"},
        // The run takes every digit and "." in any order; the conversion reads
        // the longest prefix that is a number.
        {"1.2.3", "1.2"},
        {"1..5", "1"},
        {".e5", "0"},
        // An exponent letter without digits is collected but ignored.
        {"1e", "1"},
        {"1e+", "1"},
        {"1E-", "1"},
        // The exponent takes one sign only: "1e-" is the literal 1, then a
        // binary minus: 1 - 5.
        {"1e--5", "-4"},
        {"2e+-1", "1"},
        {"12345678901234567890", "1.23456789012346e+019"},
    };
    ExpectResults(cases);
}

TEST_F(DecimalLiterals, AnOperandRightAfterALiteralFails) {
    const Case cases[] = {
        {"1.5e3.7", kFails},   // ".7" starts a second operand
        {"1e2e3", kFails},     // "e3" is read as a name where an operator is due
        {"1e 2", kFails},      // a blank ends the literal "1e"
        {"1 .5", kFails},
        {"0 x1", kFails},
    };
    ExpectResults(cases);
}

TEST_F(DecimalLiterals, OnlyFiniteValuesArePushed) {
    const Case cases[] = {
        {"1e308", "1e+308"},
        {"1e999", kFails},
        // DBL_MAX is 1.7976931348623157081e308 and the midpoint towards 2^1024
        // is 1.7976931348623158079e308: ...58e308 lies below it and reads as
        // DBL_MAX, ...59e308 lies above it and reads as an infinity.
        {"1.7976931348623158e308", "1.79769313486232e+308"},
        {"1.7976931348623159e308", kFails},
        // Underflow reads as zero, which is finite.
        {"1e-400", "0"},
        // 1e-320 is the subnormal 2024 * 2^-1074 = 9.99988867182683e-321.
        {"1E-320", "9.99988867182683e-321"},
    };
    ExpectResults(cases);
}

TEST_F(HexLiterals, PrefixesDigitsAndRange) {
    const Case cases[] = {
        {"0x1F", "31"},
        {"0X1f", "31"},
        {"&h1F", "31"},
        {"&H1f", "31"},
        {"0xabcdef", "11259375"},
        {"0xE", "14"},
        // Guards: an "e" digit read as the exponent of a decimal literal.
        {"0x1e", "30"},
        {"0x1e5", "485"},
        {"0x1e+1", "31"},
        {"0x1E-1", "29"},
        // No digits at all is the value 0.
        {"0x", "0"},
        {"&h", "0"},
        {"0x+1", "1"},
        // Eight digits are read as an unsigned 32-bit number, never as -1.
        {"0xFFFFFFFF", "4294967295"},
        {"0xffffffff+1", "4294967296"},
        {"0x80000000", "2147483648"},
        {"0x12345678", "305419896"},
        {"0x00000001", "1"},
        {"-0x1", "-1"},
        {"2*&H10", "32"},
        // A hexadecimal literal does not make the result hexadecimal.
        {"0x10+1", "17"},
    };
    ExpectResults(cases);
}

TEST_F(HexLiterals, MalformedLiteralsFail) {
    const Case cases[] = {
        {"0x123456789", kFails},   // nine digits
        {"&h000000001", kFails},   // leading zeros count
        {"0x1F.5", kFails},        // ".5" is a second operand
        {"0x.5", kFails},
        {"0xG", kFails},           // 0x alone, then a name where an operator is due
        {"0x1 0x2", kFails},
        {"&1", kFails},
        {"&", kFails},
    };
    ExpectResults(cases);
}

TEST_F(ThousandsSeparators, CommasInsideADecimalRunAreSkippedWhenSet) {
    Settings.InsThousandSep = 1;
    const Case cases[] = {
        {"1,234.5", "1234.5"},
        {"1,,2", "12"},
        {"1,5", "15"},
        {"1.2,3", "1.23"},
        {"1.5,", "1.5"},
        {"1,234*2", "2468"},
        // The evaluator itself never inserts separators into its result.
        {"1,234,567", "1234567"},
        // A comma cannot start a literal, and hexadecimal digits never skip one.
        {",5", kFails},
        {"0x1,0", kFails},
        {"1 ,2", kFails},
    };
    ExpectResults(cases);
}

TEST_F(ThousandsSeparators, ACommaEndsTheLiteralWhenClear) {
    const Case cases[] = {
        {"1,234", kFails},
        {"1,5", kFails},
        {"1.5,", kFails},
    };
    ExpectResults(cases);
}

TEST_F(BlanksAndBytes, ControlBytesAreBlanksBetweenTokens) {
    const Case cases[] = {
        {" 1 + 2 ", "3"},
        {"1\t+\n2", "3"},
        {"\r\n1+2\r\n", "3"},
        {"\x01" "1+" "\x1F" "2", "3"},
        // Blanks end a token.
        {"1 2", kFails},
        {"12 34", kFails},
        // Nothing but blanks is no expression.
        {"", kFails},
        {"   ", kFails},
        {"\t\r\n", kFails},
        {"\x1F", kFails},
    };
    ExpectResults(cases);
}

TEST_F(BlanksAndBytes, Bytes215And247AreTheOnlyHighBytesAccepted) {
    const Case cases[] = {
        {"6" "\xD7" "7", "42"},
        {"8" "\xF7" "2", "4"},
        {"2+3" "\xD7" "4", "14"},   // multiplication's precedence
        {"2" "\xF7" "0", kFails},
        {"\xD7" "3", kFails},       // no left operand
        {"1+" "\x80" "2", kFails},
        {"1+2" "\x80", kFails},     // also at the very end
        {"\x80" "1", kFails},
        {"1+2" "\x7F", kFails},
        {"1" "\xA0" "+2", kFails},
        {"1+2 " "\xFF", kFails},
        // The neighbours of the two operator bytes.
        {"1" "\xD6" "2", kFails},
        {"1" "\xD8" "2", kFails},
        {"1" "\xF6" "2", kFails},
        {"1" "\xF8" "2", kFails},
    };
    ExpectResults(cases);
}

TEST_F(BlanksAndBytes, CharactersThatCannotStartATokenFail) {
    const Case cases[] = {
        {"1!", kFails},
        {"~1", kFails},   // "~" is only the internal code of negation
        {"1=", kFails},
        {"1;2", kFails},
        {"[1]", kFails},
        {"1%2", kFails},
        {"$1", kFails},
    };
    ExpectResults(cases);
}

TEST_F(Names, AreUpperCasedAndLookedUpAsConstants) {
    ASSERT_TRUE(AppendConstant("PI", "3.14159"));
    const Case cases[] = {
        {"PI", "3.14159"},
        {"pi", "3.14159"},
        {"Pi*2", "6.28318"},
        {"2*pi", "6.28318"},
        {"PI2", kFails},   // another name: an unknown function without an argument
    };
    ExpectResults(cases);
}

TEST_F(Names, AreCutAfterEightCharacters) {
    ASSERT_TRUE(AppendConstant("ABCDEFGH", "5"));
    const Case cases[] = {
        {"abcdefgh", "5"},
        {"abcdefgh+1", "6"},
        {"ABCDEFGH(2)", "5"},
        // The ninth character is left in the input, where an operator is due.
        {"abcdefghi", kFails},
        {"abcdefgh1", kFails},
        {"ABCDEFGH_", kFails},
    };
    ExpectResults(cases);
}

TEST_F(Names, AConstantHidesAFunctionOfTheSameName) {
    ASSERT_TRUE(AppendConstant("SIN", "2"));
    const Case cases[] = {
        {"SIN", "2"},
        {"sin*3", "6"},
        // The constant 2 followed by "(30)": the result is the bottom value.
        {"SIN(30)", "2"},
        {"COS(0)", "1"},
    };
    ExpectResults(cases);
}

TEST_F(Names, DigitsUnderscoresDuplicatesAndValueTexts) {
    ASSERT_TRUE(AppendConstant("_X1", "7"));
    ASSERT_TRUE(AppendConstant("K", "1"));
    ASSERT_TRUE(AppendConstant("K", "2"));
    ASSERT_TRUE(AppendConstant("SIX", "2*3"));
    ASSERT_TRUE(AppendConstant("KILO", "1E3"));
    const Case cases[] = {
        {"_x1*2", "14"},
        {"K", "1"},      // the first of two equal names
        {"SIX", "2"},    // a value text is read as a number, never evaluated
        {"kilo", "1000"},
    };
    ExpectResults(cases);
}

TEST_F(Names, FindConstantComparesStoredNamesExactly) {
    ASSERT_TRUE(AppendConstant("PI", "3.14159"));
    ASSERT_TRUE(AppendConstant("E", "2.71828"));
    EXPECT_EQ(FindConstant("PI"), 0);
    EXPECT_EQ(FindConstant("E"), 1);
    EXPECT_EQ(FindConstant("pi"), -1);
    EXPECT_EQ(FindConstant("P"), -1);
    EXPECT_EQ(FindConstant("PIE"), -1);
}

TEST_F(Names, UnknownNamesAndMisplacedNamesFail) {
    const Case cases[] = {
        {"FOO", kFails},
        {"FOO(1)", kFails},
        {"PI", kFails},   // no constant is built in
        {"_", kFails},
        {"SQRTSQRT(16)", kFails},
        {"sqrt(4)", "2"},
        {"Sqrt(4)", "2"},
        {"SIN 30", kFails},
        {"SIN", kFails},
        {"SIN()", kFails},
        {"2SIN(1)", kFails},
        {"2 SIN(1)", kFails},
        {"SQRT(16)X", kFails},
        {"2?", kFails},
        {"??", kFails},
    };
    ExpectResults(cases);
}

TEST_F(Names, AnInfiniteConstantIsPushedButCannotBeTheResult) {
    // A constant's text is not range-checked: 1E999 is stored as an infinity.
    ASSERT_TRUE(AppendConstant("BIG", "1E999"));
    const Case cases[] = {
        {"BIG", kFails},
        {"-BIG", kFails},
        {"BIG*0", kFails},
        // 1 divided by an infinity is the finite value 0.
        {"1/BIG", "0"},
    };
    ExpectResults(cases);
}

TEST_F(FormatSuffix, AtSignAndOneLetterEndTheExpression) {
    const Case cases[] = {
        {"1+2@x", "0x3"},
        {"1+2@X", "0X3"},
        {"1+2@h", "&h3"},
        {"1+2@H", "&H3"},
        {"1+2@x  ", "0x3"},
        {"1+2@x\t\r\n", "0x3"},
        {"1+2@x" "\x01", "0x3"},
        {"1+2 @H", "&H3"},
        {"(1+2@H", "&H3"},
    };
    ExpectResults(cases);
}

TEST_F(FormatSuffix, MalformedSuffixesFail) {
    const Case cases[] = {
        {"1+2@", kFails},
        {"1+2@ x", kFails},
        {"1+2@y", kFails},
        {"1+2@x 3", kFails},
        {"1+2@xx", kFails},
        {"1+2@@x", kFails},
        {"1+2@x" "\x80", kFails},
        {"1@H+2", kFails},
        {"1+@H", kFails},     // the "+" finds one operand only
        // A second "@" after the letter is a token character.
        {"1+2@x@", kFails},
        {"@H@", kFails},
        // A suffix alone is an empty expression.
        {"@H", kFails},
        {" @H", kFails},
        {"@", kFails},
    };
    ExpectResults(cases);
}

TEST_F(LongInput, LiteralsAsLongAsTheLongestInput) {
    // 1024 characters each: the token buffer must hold a whole literal.
    const std::string zeros_then_12 = std::string(1022, '0') + "12";
    const std::string long_hex = "0x" + std::string(1022, '0');
    const std::string blanks_then_1 = std::string(1023, ' ') + "1";
    const std::string sum_of_ones = Repeat("1+", 511) + "1";
    ASSERT_EQ(zeros_then_12.size(), 1024u);
    ASSERT_EQ(long_hex.size(), 1024u);
    ASSERT_EQ(sum_of_ones.size(), 1023u);
    EXPECT_EQ(Eval(zeros_then_12), "12");
    EXPECT_EQ(Eval(long_hex), kFails);
    EXPECT_EQ(Eval(blanks_then_1), "1");
    EXPECT_EQ(Eval(sum_of_ones), "512");
}

TEST_F(LongInput, ALongLiteralWithSeparators) {
    Settings.InsThousandSep = 1;
    const std::string text = "0" + Repeat(",0", 511) + "7";
    ASSERT_EQ(text.size(), 1024u);
    EXPECT_EQ(Eval(text), "7");
}

}  // namespace
