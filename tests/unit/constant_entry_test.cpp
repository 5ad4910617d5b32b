// The text rules behind the Settings dialog's constants group: which typed
// names are accepted (and which message a refused one gets), and how a list
// entry NAME=TEXT becomes a slot of the table, value included.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/constants.h"

namespace {

struct NameCase {
    const char* typed;
    TypedName expected;
    const char* stored;  // the name after the check, when accepted
};

TEST(TypedConstantName, AcceptsNameCharactersAndUpperCasesThem) {
    const NameCase cases[] = {
        {"pi", TypedName::Accepted, "PI"},
        {"_x1", TypedName::Accepted, "_X1"},
        {"Abc_9", TypedName::Accepted, "ABC_9"},
        {"z", TypedName::Accepted, "Z"},
        {"ABCDEFG", TypedName::Accepted, "ABCDEFG"},
        {"", TypedName::Empty, ""},
        {"9lives", TypedName::BeginsWithDigit, nullptr},
        {"0", TypedName::BeginsWithDigit, nullptr},
        {"my-pi", TypedName::IllegalCharacter, nullptr},
        {" pi", TypedName::IllegalCharacter, nullptr},
        {"pi ", TypedName::IllegalCharacter, nullptr},
        {"a.b", TypedName::IllegalCharacter, nullptr},
        {"=", TypedName::IllegalCharacter, nullptr},
        {"\xE4x", TypedName::IllegalCharacter, nullptr},  // a byte above 127
        {"x\x82\x60", TypedName::IllegalCharacter, nullptr},
        // A digit is refused as "beginning with numbers" only in front.
        {"a9-", TypedName::IllegalCharacter, nullptr},
        {"-9", TypedName::IllegalCharacter, nullptr},
    };
    for (const NameCase& c : cases) {
        char name[16];
        std::strcpy(name, c.typed);
        EXPECT_EQ(CheckTypedConstantName(name), c.expected) << '"' << c.typed << '"';
        if (c.stored != nullptr) {
            EXPECT_STREQ(name, c.stored) << '"' << c.typed << '"';
        }
    }
}

TEST(TypedConstantName, UpperCasingTouchesAsciiLettersOnly) {
    char text[] = "1e3abz_\xE4\xF6-+";
    UpperCaseAscii(text);
    EXPECT_STREQ(text, "1E3ABZ_\xE4\xF6-+");
}

class ConstantEntry : public testing::Test {
protected:
    void SetUp() override { ConstCount = 0; }
    void TearDown() override { ConstCount = 0; }
};

struct EntryCase {
    const char* entry;
    const char* name;
    const char* text;
    double value;
};

TEST_F(ConstantEntry, SplitsAtTheFirstEqualsSignAndReadsTheValueText) {
    const EntryCase cases[] = {
        {"PI=3.14159", "PI", "3.14159", 3.14159},
        {"pi=3.14159", "PI", "3.14159", 3.14159},
        {"E=1e3", "E", "1E3", 1000.0},
        {"TWO=2*3", "TWO", "2*3", 2.0},    // a text, not an expression
        {"ALIAS=PI", "ALIAS", "PI", 0.0},  // a name gives 0
        {"N=-0.5", "N", "-0.5", -0.5},
        {"N=  7", "N", "  7", 7.0},     // leading blanks are skipped
        {"EMPTY=", "EMPTY", "0", 0.0},  // nothing after "=" is "0"
        {"=5", "", "5", 5.0},
        {"A=B=C", "A", "B=C", 0.0},
        {"NOEQUALS", "NOEQUALS", "0", 0.0},
    };
    for (const EntryCase& c : cases) {
        SetConstantFromEntry(0, c.entry);
        EXPECT_STREQ(ConstName[0], c.name) << c.entry;
        EXPECT_STREQ(ConstText[0], c.text) << c.entry;
        EXPECT_EQ(ConstValue[0], c.value) << c.entry;
    }
}

TEST_F(ConstantEntry, OverlongPartsAreCutToTheirSlots) {
    // Entries the dialog makes always fit; one that does not must not
    // overrun the slot's arrays.
    std::string entry = std::string(20, 'N') + "=" + std::string(60, '7');
    SetConstantFromEntry(1, entry.c_str());
    EXPECT_EQ(std::string(ConstName[1]), std::string(ConstNameSize - 1, 'N'));
    EXPECT_EQ(std::string(ConstText[1]), std::string(ConstTextSize - 1, '7'));
    EXPECT_EQ(ConstValue[1], 7777777777777777777777777777777777777777.0);
}

TEST_F(ConstantEntry, ACommittedEntryIsFoundByTheEvaluatorsLookup) {
    SetConstantFromEntry(0, "pi=3.14159");
    SetConstantFromEntry(1, "SIN=2");
    ConstCount = 2;
    EXPECT_EQ(FindConstant("PI"), 0);
    EXPECT_EQ(FindConstant("SIN"), 1);
    EXPECT_EQ(FindConstant("pi"), -1);  // the lookup gets upper-cased names
}

}  // namespace
