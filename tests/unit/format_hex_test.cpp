// Hexadecimal result texts, asked for by the "@" suffix: the letter chooses the
// prefix and the digit case, the HexadecimalForm setting chooses between a
// signed magnitude and 8-, 16- or 32-bit two's complement. Every range bound
// is exclusive and lies on a half, so each is tested with the half itself and
// with a value just inside it.
#include <gtest/gtest.h>

#include "eval/evaluate.h"
#include "eval/format.h"
#include "settings/settings.h"
#include "tests/unit/eval_test_support.h"

namespace {

using zarl_test::Case;
using zarl_test::Eval;
using zarl_test::ExpectResults;
using zarl_test::kFails;
using zarl_test::UseFormat;

class SignedHex : public zarl_test::EvaluatorTest {};
class ComplementHex : public zarl_test::EvaluatorTest {};
class HexFailures : public zarl_test::EvaluatorTest {};

TEST_F(SignedHex, LettersChoosePrefixAndCase) {
    const Case cases[] = {
        {"10@h", "&ha"},
        {"255@H", "&HFF"},
        {"255@X", "0XFF"},
        {"255@x", "0xff"},
        {"255@h", "&hff"},
        {"3735928559@X", "0XDEADBEEF"},
        {"3735928559@x", "0xdeadbeef"},
        {"0x10+1@x", "0x11"},
        {"0@H", "&H0"},
    };
    ExpectResults(cases);
}

TEST_F(SignedHex, MagnitudeIsRoundedHalfUpAndSignedByText) {
    const Case cases[] = {
        {"-255@H", "-&HFF"},
        {"-0@H", "&H0"},      // -0 is not negative
        {"2.5@H", "&H3"},
        {"2.4@H", "&H2"},
        {"-2.5@H", "-&H3"},   // the magnitude is rounded, then signed
        {"0.4@H", "&H0"},
        {"-0.4@H", "-&H0"},   // the sign comes from the value, not from the digits
        // Guards: rounding the magnitude other than by floor(m + 0.5) in
        // doubles (llround, or extended precision) gives &H0 here. 0.5 - 2^-54
        // plus 0.5 is 1 - 2^-54, a tie between 1 - 2^-53 and 1 that rounds to
        // the even 1.0 before the floor is taken.
        {"0.49999999999999994@H", "&H1"},
        {"2^31@H", "&H80000000"},
        {"0x80000000@X", "0X80000000"},
    };
    ExpectResults(cases);
}

TEST_F(SignedHex, BoundIsAMagnitudeBelow4294967295AndAHalf) {
    const Case cases[] = {
        {"4294967295@H", "&HFFFFFFFF"},
        {"4294967295.4@H", "&HFFFFFFFF"},
        {"4294967295.5@H", kFails},
        {"-4294967295@H", "-&HFFFFFFFF"},
        {"-4294967295.4@H", "-&HFFFFFFFF"},
        {"-4294967295.5@H", kFails},
        {"4294967296@H", kFails},
        {"1E300@H", kFails},
    };
    ExpectResults(cases);
}

TEST_F(SignedHex, PlusSignSettingAppliesToTheSignedFormOnly) {
    UseFormat("+", "g", 15);
    const Case cases[] = {
        {"255@H", "+&HFF"},
        {"0@H", "+&H0"},
        {"-0@H", "+&H0"},
        {"-1@H", "-&H1"},
    };
    ExpectResults(cases);
    Settings.HexadecimalForm = HexComplement8;
    const Case complement[] = {{"1@H", "&H1"}, {"-1@H", "&HFF"}};
    ExpectResults(complement);
}

TEST_F(SignedHex, UnknownFormValuesAreTheSignedForm) {
    Settings.HexadecimalForm = 7;
    const Case cases[] = {{"-1@H", "-&H1"}, {"255@x", "0xff"}};
    ExpectResults(cases);
}

TEST_F(ComplementHex, EightBit) {
    Settings.HexadecimalForm = HexComplement8;
    const Case cases[] = {
        {"-1@H", "&HFF"},
        {"127@H", "&H7F"},
        {"127.4@H", "&H7F"},
        {"127.49999999999999@H", "&H7F"},
        {"127.5@H", kFails},
        {"128@H", kFails},
        {"255@H", kFails},
        {"-128@H", "&H80"},
        {"-128.4@H", "&H80"},
        {"-128.5@H", kFails},
        {"-129@H", kFails},
        {"-2.5@H", "&HFD"},   // magnitude 2.5 rounds to 3; 256 - 3 = 253
        {"2.5@H", "&H3"},
        {"-0.3@H", "&H0"},    // rounds to 0, which is not complemented
        {"-0.5@H", "&HFF"},   // rounds to 1, complemented to 255
        {"-0@h", "&h0"},
        {"10@h", "&ha"},
        {"-10@x", "0xf6"},
    };
    ExpectResults(cases);
}

TEST_F(ComplementHex, SixteenBit) {
    Settings.HexadecimalForm = HexComplement16;
    const Case cases[] = {
        {"-1@x", "0xffff"},
        {"-1@H", "&HFFFF"},
        {"255@X", "0XFF"},
        {"32767@x", "0x7fff"},
        {"32767.4@x", "0x7fff"},
        {"32767.5@x", kFails},
        {"40000@x", kFails},
        {"-32768@x", "0x8000"},
        {"-32768.4@x", "0x8000"},
        {"-32768.5@x", kFails},
        {"-0.5@X", "0XFFFF"},
    };
    ExpectResults(cases);
}

TEST_F(ComplementHex, ThirtyTwoBit) {
    Settings.HexadecimalForm = HexComplement32;
    const Case cases[] = {
        {"-1@X", "0XFFFFFFFF"},
        {"0@H", "&H0"},
        {"2147483647@H", "&H7FFFFFFF"},
        {"2147483647.4@H", "&H7FFFFFFF"},
        {"2147483647.5@H", kFails},
        {"2147483648@H", kFails},
        {"-2147483648@H", "&H80000000"},
        {"-2147483648.4@H", "&H80000000"},
        {"-2147483648.5@H", kFails},
        {"-0.5@H", "&HFFFFFFFF"},
        {"-2.5@h", "&hfffffffd"},
    };
    ExpectResults(cases);
}

TEST_F(HexFailures, AFailedFormattingKeepsThePreviousResult) {
    Settings.HexadecimalForm = HexComplement8;
    EXPECT_EQ(Eval("5"), "5");
    EXPECT_EQ(Eval("300@H"), kFails);
    EXPECT_EQ(Eval("?"), "5");
    // The value is kept, not the two's complement pattern that was shown.
    EXPECT_EQ(Eval("-1@H"), "&HFF");
    EXPECT_EQ(Eval("?"), "-1");
}

TEST_F(HexFailures, FormatResultLeavesTheBufferAloneOnFailure) {
    Settings.HexadecimalForm = HexComplement8;
    char out[ResultBufferSize] = "untouched";
    EvalOk = 1;
    EXPECT_FALSE(FormatResult(300.0, 'H', out));
    EXPECT_EQ(EvalOk, 0);
    EXPECT_STREQ(out, "untouched");
    EvalOk = 1;
    EXPECT_TRUE(FormatResult(-1.0, 'h', out));
    EXPECT_STREQ(out, "&hff");
    EXPECT_EQ(EvalOk, 1);
}

}  // namespace
