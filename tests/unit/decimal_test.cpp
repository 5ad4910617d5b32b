// The host-independent decimal conversions: ClassicAtof, which reads the
// decimal prefix of a text as the classic Windows atof does (never hexadecimal,
// "inf" or "nan", whatever the host's strtod accepts), correctly rounded for
// any number of digits; and SeventeenDigits, the correctly rounded 17
// significant digits every decimal result is made from.
//
// Expected doubles are hexadecimal literals, so that the test never depends on
// the conversion it checks.
#include <gtest/gtest.h>

#include <ios>
#include <limits>
#include <string>

#include "eval/decimal.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kDblMax = 0x1.fffffffffffffp+1023;
constexpr double kDenormMin = 0x0.0000000000001p-1022;

struct AtofCase {
    const char* text;
    double expected;
};

void ExpectAtof(const AtofCase* begin, const AtofCase* end) {
    for (const AtofCase* c = begin; c != end; ++c) {
        EXPECT_EQ(ClassicAtof(c->text), c->expected)
            << "text \"" << c->text << "\", expected " << std::hexfloat << c->expected;
    }
}

TEST(ClassicAtof, ReadsTheLongestDecimalPrefix) {
    const AtofCase cases[] = {
        {"0", 0.0},
        {"1", 1.0},
        {"42", 42.0},
        {"  12", 12.0},
        {"\t12", 12.0},
        {"-2.5", -2.5},
        {"+2.5", 2.5},
        {"1.5e3", 1500.0},
        {"1.5E+3xyz", 1500.0},
        {"25e-1", 2.5},
        {".5", 0.5},
        {"5.", 5.0},
        {"-.5e1", -5.0},
        {"1.2.3", 0x1.3333333333333p+0},   // 1.2
        {"1 2", 1.0},
        {"2*3", 2.0},
        {"1,5", 1.0},
        // An exponent needs at least one digit, or it is not part of the number.
        {"1e", 1.0},
        {"1e+", 1.0},
        {"1E-", 1.0},
        {"1ex", 1.0},
    };
    ExpectAtof(std::begin(cases), std::end(cases));
}

TEST(ClassicAtof, TextsWithoutANumberGiveZero) {
    const AtofCase cases[] = {
        {"", 0.0},
        {"abc", 0.0},
        {".", 0.0},
        {"- 5", 0.0},
        {"e5", 0.0},
        {".e5", 0.0},
        // glibc's strtod reads these as 16, 31, infinity and NaN.
        {"0x10", 0.0},
        {"0X1F", 0.0},
        {"inf", 0.0},
        {"INF", 0.0},
        {"infinity", 0.0},
        {"nan", 0.0},
        {"NAN(1)", 0.0},
    };
    ExpectAtof(std::begin(cases), std::end(cases));
}

TEST(ClassicAtof, OverflowGivesInfinityUnderflowGivesZero) {
    const AtofCase cases[] = {
        {"1e999", kInf},
        {"-1e999", -kInf},
        {"1e-999", 0.0},
        {"1e99999999999999999999", kInf},
        {"1e-99999999999999999999", 0.0},
        {"0e99999999999", 0.0},
        // The midpoint between DBL_MAX and 2^1024 is 1.7976931348623158079e308.
        {"1.7976931348623157e308", kDblMax},
        {"1.7976931348623158e308", kDblMax},
        {"1.7976931348623159e308", kInf},
        // Half the smallest subnormal is 2.4703282292062327209e-324: below it
        // the value reads as zero, above it as the smallest subnormal.
        {"2.4703282292062327e-324", 0.0},
        {"2.4703282292062328e-324", kDenormMin},
        {"4.9406564584124654e-324", kDenormMin},
    };
    ExpectAtof(std::begin(cases), std::end(cases));
}

TEST(ClassicAtof, LongMantissasAreCorrectlyRounded) {
    const AtofCase cases[] = {
        {"0.1", 0x1.999999999999ap-4},
        {"1e-320", 0x0.00000000007e8p-1022},   // 2024 times the smallest subnormal
        {"2.2250738585072011e-308", 0x0.fffffffffffffp-1022},
        {"2.2250738585072012e-308", 0x1p-1022},
        // 2^53 + 1 is a tie between 2^53 and 2^53 + 2: the even 2^53 wins;
        // any digit beyond the tie decides upwards.
        {"9007199254740993", 0x1p+53},
        {"9007199254740993.0000000001", 0x1.0000000000001p+53},
        {"9007199254740995", 0x1.0000000000002p+53},
        // 1 + 2^-53 written out exactly is a tie between 1 and 1 + 2^-52; a
        // digit 50 places after the point decides it.
        {"1.00000000000000011102230246251565404236316680908203125", 1.0},
        {"1.000000000000000111022302462515654042363166809082031250000000001",
         0x1.0000000000001p+0},
        {"1.0000000000000001110223024625156540423631668090820312499999", 1.0},
        {"123456789012345678901234567890e-10", 0x1.56a95319d63e1p+63},
        {"0.0000000000000000000000000000001e31", 1.0},
        {"00000000000000000000000000001", 1.0},
    };
    ExpectAtof(std::begin(cases), std::end(cases));
}

TEST(ClassicAtof, HundredsOfDigits) {
    EXPECT_EQ(ClassicAtof(("0." + std::string(400, '3')).c_str()), 0x1.5555555555555p-2);
    EXPECT_EQ(ClassicAtof(("1" + std::string(400, '0') + "e-400").c_str()), 1.0);
    EXPECT_EQ(ClassicAtof(("0." + std::string(400, '0') + "1e401").c_str()), 1.0);
    EXPECT_EQ(ClassicAtof(("1" + std::string(400, '0')).c_str()), kInf);
}

struct DigitsCase {
    double value;
    const char* digits;
    int exponent;
};

TEST(SeventeenDigits, CorrectlyRoundedDigitsAndExponent) {
    const DigitsCase cases[] = {
        {1.0, "10000000000000000", 0},
        {0.0, "00000000000000000", 0},
        {-0.0, "00000000000000000", 0},
        {-2.5, "25000000000000000", 0},   // the sign is ignored
        {9.5, "95000000000000000", 0},
        // 0.1000000000000000055511...
        {0x1.999999999999ap-4, "10000000000000001", -1},
        // 0.29999999999999998889...
        {0x1.3333333333333p-2, "29999999999999999", -1},
        {0x1.5555555555555p-2, "33333333333333331", -1},
        {0x1.5555555555555p-1, "66666666666666663", -1},
        // 1 + 2^-52 = 1.00000000000000022204...
        {0x1.0000000000001p+0, "10000000000000002", 0},
        {123456789.123456789, "12345678912345679", 8},
        // 2^53 + 2 has 16 digits; the 17th is 0.
        {0x1.0000000000001p+53, "90071992547409940", 15},
        // 2^64 = 18446744073709551616.
        {0x1p+64, "18446744073709552", 19},
        {1e22, "10000000000000000", 22},
        // The double nearest 1e23 is 99999999999999991611392.
        {0x1.52d02c7e14af6p+76, "99999999999999992", 22},
        {kDblMax, "17976931348623157", 308},
        {0x1p-1022, "22250738585072014", -308},
        {kDenormMin, "49406564584124654", -324},
        // The double nearest 1e-305 is 9.99999999999999996282...e-306: its 17
        // digits round up to a carry into the next decade.
        {0x1.c16c5c5253575p-1014, "10000000000000000", -305},
    };
    for (const DigitsCase& c : cases) {
        char digits[17];
        int exponent = 12345;
        SeventeenDigits(c.value, digits, &exponent);
        EXPECT_EQ(std::string(digits, 17), c.digits) << std::hexfloat << c.value;
        EXPECT_EQ(exponent, c.exponent) << std::hexfloat << c.value;
    }
}

TEST(SeventeenDigits, ExactTiesRoundToEven) {
    // A double M / 2^k with an odd M has exactly k digits after the point and
    // ends in 5. With M * 5^k between 1e17 and 1e18 the decimal expansion has
    // exactly 18 significant digits: a true tie at the 17-digit step.
    //   1e15 + 1/4  = 1000000000000000.25  (M = 4e15 + 1, k = 2, M < 2^53)
    //   1e15 + 3/4  = 1000000000000000.75
    //   1e14 + 1/8  =  100000000000000.125 (k = 3)
    //   1053 / 2^20 = 0.00100421905517578125 (1053 * 5^20 = 100421905517578125)
    const DigitsCase cases[] = {
        {1000000000000000.25, "10000000000000002", 15},   // half up would give ...03
        {1000000000000000.75, "10000000000000008", 15},
        {100000000000000.125, "10000000000000012", 14},   // half up would give ...13
        {100000000000000.375, "10000000000000038", 14},
        {0x41Dp-20, "10042190551757812", -3},             // half up would give ...13
    };
    for (const DigitsCase& c : cases) {
        char digits[17];
        int exponent = 12345;
        SeventeenDigits(c.value, digits, &exponent);
        EXPECT_EQ(std::string(digits, 17), c.digits) << std::hexfloat << c.value;
        EXPECT_EQ(exponent, c.exponent) << std::hexfloat << c.value;
    }
}

}  // namespace
