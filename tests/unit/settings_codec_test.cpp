// The stored form of the settings and constants, without a store: each read
// rule over the texts and numbers a store can hold (exact matches, other
// letter cases, neighbours, empty texts), each written text read back to the
// field it came from, and the constant entry rules at their length bounds.
#include "settings/settings_codec.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "settings/constants.h"
#include "settings/settings.h"

namespace {

struct TextToInt {
    const char* text;
    int expected;
};

struct TextToText {
    const char* text;
    const char* expected;
};

template <typename Rule, size_t N>
void ExpectInts(Rule rule, const TextToInt (&cases)[N]) {
    for (const TextToInt& c : cases) {
        EXPECT_EQ(rule(c.text), c.expected) << "stored text \"" << c.text << "\"";
    }
}

template <typename Rule, size_t N>
void ExpectTexts(Rule rule, const TextToText (&cases)[N]) {
    for (const TextToText& c : cases) {
        EXPECT_STREQ(rule(c.text), c.expected) << "stored text \"" << c.text << "\"";
    }
}

// ---- Texts to fields

TEST(StoredTextsToFields, FlagIsExactlyYes) {
    const TextToInt cases[] = {
        {"Yes", 1},  {"No", 0}, {"yes", 0},  {"YES", 0}, {"yES", 0}, {"Yes ", 0},
        {" Yes", 0}, {"Ye", 0}, {"Yess", 0}, {"Y", 0},   {"1", 0},   {"", 0},
    };
    ExpectInts(FlagFromText, cases);
}

TEST(StoredTextsToFields, EvalKeyIsTheFirstCharacterWhenItIsAKey) {
    const struct {
        const char* text;
        char expected;
    } cases[] = {
        {"=", '='},  {"?", '?'},        {"!", '!'},    {"@", '@'},
        {"#", '#'},  {"+", '+'},        {"+abc", '+'},  // only the first character counts
        {"?=", '?'}, {"", '='},                         // empty or missing
        {"a", '='},  {"-", '='},        {"*", '='},    {" ?", '='},  // a blank is not skipped
        {"x?", '='}, {"\x81\x81", '='},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EvalKeyFromText(c.text), c.expected) << "stored text \"" << c.text << "\"";
    }
}

TEST(StoredTextsToFields, EvalKeyPositionIsPrefixOnlyForExactlyPREFIX) {
    const TextToInt cases[] = {
        {"PREFIX", KeyPrefix}, {"SUFFIX", KeySuffix},  {"prefix", KeySuffix},
        {"Prefix", KeySuffix}, {"PREFIX ", KeySuffix}, {"PREFI", KeySuffix},
        {"", KeySuffix},       {"0", KeySuffix},       {"garbage", KeySuffix},
    };
    ExpectInts(EvalKeyPositionFromText, cases);
}

TEST(StoredTextsToFields, AngleUnitIsDegreesOnlyForExactlyDeg) {
    const TextToInt cases[] = {
        {"Deg", AngleDegrees}, {"Rad", AngleRadians},     {"deg", AngleRadians},
        {"DEG", AngleRadians}, {"Degrees", AngleRadians}, {"", AngleRadians},
        {"1", AngleRadians},
    };
    ExpectInts(AngleUnitFromText, cases);
}

TEST(StoredTextsToFields, OutFormatSignIsPlusOnlyForExactlyPlus) {
    const TextToText cases[] = {
        {"+", "+"}, {"-", "-"}, {"", "-"}, {"++", "-"}, {" +", "-"}, {"+ ", "-"}, {"x", "-"},
    };
    ExpectTexts(OutFormatSignFromText, cases);
}

TEST(StoredTextsToFields, OutFormatTypeKeepsTheFiveLettersOnly) {
    const TextToText cases[] = {
        {"g", "g"}, {"G", "G"}, {"e", "e"},  {"E", "E"},  {"f", "f"},  {"F", "g"},  {"d", "g"},
        {"x", "g"}, {"", "g"},  {"gg", "g"}, {"e ", "g"}, {"%g", "g"}, {"lg", "g"},
    };
    ExpectTexts(OutFormatTypeFromText, cases);
}

TEST(StoredTextsToFields, HexadecimalFormKnowsTheThreeComplements) {
    const TextToInt cases[] = {
        {"SIGNED", HexSigned},
        {"COMPLEMENT_8BIT", HexComplement8},
        {"COMPLEMENT_16BIT", HexComplement16},
        {"COMPLEMENT_32BIT", HexComplement32},
        {"complement_8bit", HexSigned},
        {"COMPLEMENT_64BIT", HexSigned},
        {"COMPLEMENT_16BI", HexSigned},
        {"COMPLEMENT_32BIT ", HexSigned},
        {"1", HexSigned},
        {"", HexSigned},
    };
    ExpectInts(HexadecimalFormFromText, cases);
}

// The field copies the returned text over itself when it was read straight
// into the field (the INI load does so); that is only safe when the rule
// never hands back the text it was given.
TEST(StoredTextsToFields, FormatTextRulesReturnTheirOwnTexts) {
    const char* texts[] = {"+", "-", "g", "G", "e", "E", "f", "q"};
    for (const char* stored : texts) {
        char field[32];
        std::strcpy(field, stored);
        EXPECT_NE(OutFormatSignFromText(field), field) << stored;
        EXPECT_NE(OutFormatTypeFromText(field), field) << stored;
    }
}

// ---- Numbers to fields

TEST(StoredNumbersToFields, RegistryDelayFallsToTheLargestOfferedDelay) {
    const struct {
        uint32_t stored;
        unsigned short expected;
    } cases[] = {
        {0, 0},
        {1, 1},
        {5, 1},
        {9, 1},
        {10, 10},
        {50, 10},
        {99, 10},
        {100, 100},
        {150, 100},
        {65535, 100},
        {65536, 100},
        {0x7FFFFFFFu, 100},
        {0x80000000u, 100},  // taken unsigned
        {0xFFFFFFFFu, 100},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DelayFromRegistry(c.stored), c.expected) << "stored " << c.stored;
    }
}

TEST(StoredNumbersToFields, IniDelayIsTheLowSixteenBits) {
    const struct {
        int number;
        unsigned short expected;
    } cases[] = {
        {0, 0},         {1, 1},           {50, 50},      {99, 99},    {150, 150},
        {65535, 65535}, {65536, 0},       {70000, 4464}, {131073, 1}, {-1, 65535},
        {-65536, 0},    {INT_MAX, 65535}, {INT_MIN, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DelayFromIni(c.number), c.expected) << "stored " << c.number;
    }
}

TEST(StoredNumbersToFields, RegistryPrecisionAboveFifteenIsFifteen) {
    const struct {
        uint32_t stored;
        int expected;
    } cases[] = {
        {0, 0},
        {1, 1},
        {7, 7},
        {14, 14},
        {15, 15},
        {16, 15},
        {20, 15},
        {0xFFFFFFFFu, 15},  // -1 as a DWORD: unsigned, so above 15
        {0x80000000u, 15},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PrecisionFromRegistry(c.stored), c.expected) << "stored " << c.stored;
    }
}

TEST(StoredNumbersToFields, IniPrecisionIsLimitedToZeroThroughFifteen) {
    const struct {
        int number;
        int expected;
    } cases[] = {
        {-3, 0}, {-1, 0}, {0, 0}, {1, 1}, {15, 15}, {16, 15}, {20, 15}, {INT_MAX, 15}, {INT_MIN, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PrecisionFromIni(c.number), c.expected) << "stored " << c.number;
    }
}

TEST(StoredNumbersToFields, IniVersionTwoOrLaterIsImported) {
    const struct {
        const char* text;
        bool imported;
    } cases[] = {
        {"3.05", true},   {"2", true},     {"2.0", true},   {"2.00", true},
        {" 2.5", true},  // atof skips leading blanks
        {"2abc", true},  // and reads the longest number at the start
        {"20", true},     {"1e1", true},   {"1.99", false}, {"1.999999999", false},
        {"0.00", false},  {"", false},     {"abc", false},  {"v3.05", false},
        {"-3.05", false}, {"0x10", false}, {"inf", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IniVersionIsImported(c.text), c.imported) << "version \"" << c.text << "\"";
    }
}

// ---- Fields to texts, and back

TEST(FieldsToStoredTexts, FlagWritesYesForAnyNonzeroValue) {
    const struct {
        int flag;
        const char* expected;
    } cases[] = {{0, "No"}, {1, "Yes"}, {2, "Yes"}, {-1, "Yes"}};
    for (const auto& c : cases) {
        EXPECT_STREQ(FlagText(c.flag), c.expected) << "flag " << c.flag;
        EXPECT_EQ(FlagFromText(FlagText(c.flag)), c.flag != 0 ? 1 : 0) << "flag " << c.flag;
    }
}

TEST(FieldsToStoredTexts, EvalKeyPositionWritesSuffixForAnyNonPrefixValue) {
    const struct {
        int position;
        const char* expected;
        int readBack;
    } cases[] = {
        {KeyPrefix, "PREFIX", KeyPrefix},
        {KeySuffix, "SUFFIX", KeySuffix},
        {2, "SUFFIX", KeySuffix},
        {-1, "SUFFIX", KeySuffix},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(EvalKeyPositionText(c.position), c.expected) << c.position;
        EXPECT_EQ(EvalKeyPositionFromText(EvalKeyPositionText(c.position)), c.readBack);
    }
}

TEST(FieldsToStoredTexts, AngleUnitWritesDegOnlyForDegrees) {
    const struct {
        int unit;
        const char* expected;
        int readBack;
    } cases[] = {
        {AngleDegrees, "Deg", AngleDegrees},
        {AngleRadians, "Rad", AngleRadians},
        {2, "Rad", AngleRadians},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(AngleUnitText(c.unit), c.expected) << c.unit;
        EXPECT_EQ(AngleUnitFromText(AngleUnitText(c.unit)), c.readBack);
    }
}

TEST(FieldsToStoredTexts, HexadecimalFormWritesSignedForAnyOtherValue) {
    const struct {
        int form;
        const char* expected;
        int readBack;
    } cases[] = {
        {HexSigned, "SIGNED", HexSigned},
        {HexComplement8, "COMPLEMENT_8BIT", HexComplement8},
        {HexComplement16, "COMPLEMENT_16BIT", HexComplement16},
        {HexComplement32, "COMPLEMENT_32BIT", HexComplement32},
        {4, "SIGNED", HexSigned},
        {-1, "SIGNED", HexSigned},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(HexadecimalFormText(c.form), c.expected) << c.form;
        EXPECT_EQ(HexadecimalFormFromText(HexadecimalFormText(c.form)), c.readBack);
    }
}

TEST(FieldsToStoredTexts, EvalKeyWritesOneCharacterThatReadsBack) {
    for (const char* key = EvalKeyChoices; *key != '\0'; key++) {
        char text[2] = {'x', 'x'};
        EvalKeyText(*key, text);
        EXPECT_EQ(text[0], *key);
        EXPECT_EQ(text[1], '\0');
        EXPECT_EQ(EvalKeyFromText(text), *key);
    }
}

// Every stored text must fit the buffer it is read back into, or a saved
// value would come back as missing. "COMPLEMENT_16BIT" is the reason the
// hexadecimal form has a longer registry buffer.
TEST(FieldsToStoredTexts, EveryWrittenTextFitsItsReadBuffer) {
    const struct {
        const char* text;
        int registryBuffer;
        int iniBuffer;
    } cases[] = {
        {FlagText(1), RegTextSize, IniShortTextSize},
        {FlagText(0), RegTextSize, IniShortTextSize},
        {EvalKeyPositionText(KeyPrefix), RegTextSize, IniShortTextSize},
        {EvalKeyPositionText(KeySuffix), RegTextSize, IniShortTextSize},
        {AngleUnitText(AngleDegrees), RegTextSize, IniTextSize},
        {HexadecimalFormText(HexComplement16), RegLongTextSize, IniTextSize},
        {HexadecimalFormText(HexComplement32), RegLongTextSize, IniTextSize},
        {ProgramVersion, RegVersionSize, IniVersionSize},
    };
    for (const auto& c : cases) {
        EXPECT_LT(std::strlen(c.text), size_t(c.registryBuffer)) << c.text;
        EXPECT_LT(std::strlen(c.text), size_t(c.iniBuffer)) << c.text;
    }
    EXPECT_TRUE(IniVersionIsImported(ProgramVersion));
}

// The stored names are the interface to existing stores: a renamed constant
// would silently lose every user's settings.
TEST(StoredKeyNames, AreTheFieldNamesButForInsComma) {
    const TextToText cases[] = {
        {KeyVersion, "Version"},
        {KeyEvalKey, "EvalKey"},
        {KeyEvalKeyPosition, "EvalKeyPosition"},
        {KeyDelay, "Delay"},
        {KeyAngleUnit, "AngleUnit"},
        {KeyOutFormatSign, "OutFormatSign"},
        {KeyOutFormatType, "OutFormatType"},
        {KeyOutFormatPrecision, "OutFormatPrecision"},
        {KeyInsThousandSep, "InsThousandSep"},
        {IniKeyInsComma, "InsComma"},
        {KeyShiftJIS, "ShiftJIS"},
        {KeyHexadecimalForm, "HexadecimalForm"},
        {KeyNoCopy, "NoCopy"},
        {KeyAttachResToImd, "AttachResToImd"},
        {KeyShowResultWindow, "ShowResultWindow"},
        {KeyShowImdWindow, "ShowImdWindow"},
        {KeyResultWindowFloat, "ResultWindowFloat"},
        {KeyImdWindowFloat, "ImdWindowFloat"},
        {KeyWriteIni, "WriteIni"},
        {KeyResultWindowPosX, "ResultWindowPosX"},
        {KeyResultWindowPosY, "ResultWindowPosY"},
        {KeyImdWindowPosX, "ImdWindowPosX"},
        {KeyImdWindowPosY, "ImdWindowPosY"},
    };
    for (const TextToText& c : cases) EXPECT_STREQ(c.text, c.expected);
}

// ---- Constants

TEST(ConstantEntries, IniValueTextStartsOneSeparatorAfterTheStoredName) {
    const TextToText cases[] = {
        {"PI,3.14159", "3.14159"},
        {"PI;3.14159", "3.14159"},  // the separator is skipped whatever it is
        {"pi,1", "1"},
        {"ABCDEFGH,5", "5"},
        {"ABCDEFGHIJ,5", "J,5"},  // the name stops at 8, the text starts after 9
        {"1X,5", "X,5"},          // empty name: the text starts at character 1
        {",5", "5"},
        {"_X1,2*3", "2*3"},
        {"PI,", ""},  // shorter than name + 2
        {"PI", ""},
        {"A,", ""},
        {"A,B", "B"},
        {"X,1234567890123456789012345678901234567890", "1234567890123456789012345678901234567890"},
        {"X,12345678901234567890123456789012345678901", ""},  // 41 characters
    };
    ExpectTexts(IniConstantValueText, cases);
}

TEST(ConstantEntries, IniKeysAreCAndTheSlotNumber) {
    const struct {
        int slot;
        const char* expected;
    } cases[] = {{0, "C0"}, {1, "C1"}, {9, "C9"}, {10, "C10"}, {255, "C255"}};
    for (const auto& c : cases) {
        char key[IniConstKeySize];
        IniConstantKey(c.slot, key);
        EXPECT_STREQ(key, c.expected);
    }
}

TEST(ConstantEntries, IniEntryOfTheLongestNameAndTextReadsBack) {
    const char name[] = "ABCDEFGH";
    const std::string text(ConstTextSize - 1, '7');
    char entry[ConstEntrySize];
    IniConstantEntry(name, text.c_str(), entry);
    EXPECT_EQ(std::string(entry), std::string(name) + "," + text);
    EXPECT_EQ(std::string(IniConstantValueText(entry)), text);
    char scanned[ConstNameSize];
    ScanConstantName(entry, scanned);
    EXPECT_STREQ(scanned, name);
}

TEST(ConstantEntries, RegistryTextIsCutToFortyWithinTheDataSize) {
    const std::string forty(40, '4');
    const std::string eighty(80, '8');
    const struct {
        std::string data;  // the bytes the registry handed over, NUL included if any
        std::string expected;
    } cases[] = {
        {std::string("3.14159\0", 8), "3.14159"},
        {std::string("\0", 1), ""},
        {"", ""},
        {forty + '\0', forty},
        {forty + "5", forty},                   // 41 characters: cut to 40
        {eighty + '\0', eighty.substr(0, 40)},  // 80 characters: cut to 40
        {"123", "123"},                         // no NUL within the data
        {std::string("12\0"
                     "45",
                     5),
         "12"},                                  // a NUL ends the text
        {std::string("\x01\0\0\0", 4), "\x01"},  // a REG_DWORD 1 read as data
    };
    for (const auto& c : cases) {
        // The data sits in a buffer of exactly its size, so that a read past
        // it is a fault under the sanitizers.
        std::vector<char> buffer(c.data.begin(), c.data.end());
        char text[ConstTextSize];
        RegistryConstantText(buffer.data(), buffer.size(), text);
        EXPECT_EQ(std::string(text), c.expected) << "data of " << c.data.size() << " bytes";
    }
}

}  // namespace
