// The text rules of the clipboard evaluation cycle: taking the clipboard text,
// trimming its line ends, the evaluation key at either end, full-width
// (Shift-JIS) characters in both directions, thousands separators and the
// bytes of the clipboard block. Every comparison is byte for byte; texts with
// bytes outside printable ASCII show as \xNN in failure messages.
//
// The full-width tables are checked against a list of their rows written out
// here, independently of the tables under test.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/cycle_text.h"
#include "eval/evaluate.h"
#include "eval/format.h"
#include "settings/constants.h"
#include "settings/settings.h"
#include "tests/unit/eval_test_support.h"

namespace {

using zarl_test::Printable;

static_assert(sizeof FullWidthToAscii == 347, "FullWidthToAscii covers 0x8140-0x81FF and 0x8200-0x829A");
static_assert(sizeof AsciiToFullWidthLead == 96, "one lead byte for each of 0x20-0x7F");
static_assert(sizeof AsciiToFullWidthTrail == 96, "one trail byte for each of 0x20-0x7F");
static_assert(sizeof ClipboardText == 1025, "1024 bytes and a NUL");

// Stands for "nothing goes to the clipboard" in the tables.
constexpr const char* kNotEvaluated = nullptr;

// The settings a row runs with.
struct Config {
    char key;
    int position;
    int shiftJIS;
    int separators;
};

constexpr Config kSuffix = {'=', KeySuffix, 0, 0};
constexpr Config kPrefix = {'=', KeyPrefix, 0, 0};
constexpr Config kSjis = {'=', KeySuffix, 1, 0};
constexpr Config kSjisPrefix = {'=', KeyPrefix, 1, 0};
constexpr Config kSjisSeparators = {'=', KeySuffix, 1, 1};

std::string Describe(const Config& config) {
    char text[96];
    std::snprintf(text, sizeof text, "key '%c', %s, ShiftJIS %d, separators %d", config.key,
                  config.position == KeyPrefix   ? "prefix"
                  : config.position == KeySuffix ? "suffix"
                                                 : "position other",
                  config.shiftJIS, config.separators);
    return text;
}

// Pair value (lead * 256 + trail) as "0xLLTT".
std::string PairName(unsigned pair) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", pair);
    return text;
}

class CycleTextFixture : public ::testing::Test {
protected:
    void SetUp() override {
        zarl_test::ResetEvaluatorState();
        // Stale contents of an earlier cycle, which every step must overwrite.
        std::memset(ClipboardText, 'Q', sizeof ClipboardText);
        std::memset(ResultText, 'R', sizeof ResultText);
        ResultText[sizeof ResultText - 1] = '\0';
        FullWidthKey = 0;
    }

    static void Use(const Config& config) {
        zarl_test::ResetEvaluatorState();
        Settings.EvalKey = config.key;
        Settings.EvalKeyPosition = config.position;
        Settings.ShiftJIS = config.shiftJIS;
        Settings.InsThousandSep = config.separators;
    }

    // The whole clipboard path for one text: take, trim, key, evaluate,
    // separators, block. Returns false when nothing would be written; else
    // block holds all ClipboardBlockSize bytes of the zeroed, filled block.
    // The block is checked on the way for its size and for writes past it.
    static bool RunClipboardText(const std::string& text, std::string* block) {
        FullWidthKey = 0;  // cleared at the start of every cycle
        if (!TakeClipboardText(text.c_str())) return false;
        TrimLineEnds(ClipboardText);
        const char* expression = ExtractExpression();
        if (expression == nullptr) return false;
        if (Evaluate(expression, ResultText) == 0) return false;
        if (Settings.InsThousandSep) InsertThousandSeparators(ResultText);
        const size_t length = std::strlen(ResultText);
        const size_t size = ClipboardBlockSize(ResultText);
        EXPECT_EQ(size, 2 * length + 1) << "block size for the result " << Printable(ResultText);
        const size_t guard = 16;
        std::vector<char> memory(size + guard, '\x5A');
        std::memset(memory.data(), 0, size);
        FillClipboardBlock(memory.data(), ResultText, FullWidthKey != 0);
        for (size_t i = size; i < size + guard; i++) {
            EXPECT_EQ(memory[i], '\x5A') << "byte " << i << " written past the block of " << size
                                         << " bytes for the result " << Printable(ResultText);
        }
        block->assign(memory.data(), size);
        return true;
    }
};

// ------------------------------------------------------------ taking the text

class CycleTextTake : public CycleTextFixture {};

TEST_F(CycleTextTake, TextsBelow1024BytesAreTakenWhole) {
    const std::string texts[] = {
        "",
        "1+2=",
        "1+2=\r\n",
        std::string(1023, '7'),
        "\x82\x50\x81\x7B\x82\x51\x81\x81",
    };
    for (const std::string& text : texts) {
        std::memset(ClipboardText, 'Q', sizeof ClipboardText);
        EXPECT_TRUE(TakeClipboardText(text.c_str())) << text.size() << " bytes";
        EXPECT_EQ(std::string(ClipboardText), text) << text.size() << " bytes";
    }
}

TEST_F(CycleTextTake, TextsOf1024BytesOrMoreAreRefusedAfter1024Bytes) {
    for (size_t length : {size_t(1024), size_t(1025), size_t(5000)}) {
        std::string text;
        for (size_t i = 0; i < length; i++) text += char('0' + i % 10);
        std::memset(ClipboardText, 'Q', sizeof ClipboardText);
        EXPECT_FALSE(TakeClipboardText(text.c_str())) << length << " bytes";
        // The copy stops after 1024 bytes and is terminated.
        EXPECT_EQ(std::string(ClipboardText, 1024), text.substr(0, 1024)) << length << " bytes";
        EXPECT_EQ(ClipboardText[1024], '\0') << length << " bytes";
    }
}

TEST_F(CycleTextTake, CopyStopsAtTheTerminatingNul) {
    const char text[] = "12=\0" "99";
    ASSERT_TRUE(TakeClipboardText(text));
    EXPECT_EQ(std::string(ClipboardText), "12=");
}

// A clipboard block may lack its NUL: nothing past its size is read. Each
// block lives in memory of exactly its size, so that a read past it is seen
// by the address sanitizer.
TEST_F(CycleTextTake, BlockWithoutNulIsReadUpToItsSize) {
    const struct {
        std::string bytes;  // the whole block
        bool taken;
        std::string text;   // what ClipboardText then holds
    } cases[] = {
        {"1+2=", true, "1+2="},
        {"", true, ""},
        {std::string("1+2=\0" "77", 7), true, "1+2="},
        {std::string(1023, '5'), true, std::string(1023, '5')},
        {std::string(1024, '5'), false, std::string(1024, '5')},
        {std::string(1500, '5'), false, std::string(1024, '5')},
        {std::string(1023, '5') + std::string(1, '\0') + "9", true, std::string(1023, '5')},
    };
    for (const auto& c : cases) {
        std::vector<char> block(c.bytes.begin(), c.bytes.end());
        std::memset(ClipboardText, 'Q', sizeof ClipboardText);
        EXPECT_EQ(TakeClipboardText(block.data(), block.size()), c.taken) << c.bytes.size() << "-byte block";
        EXPECT_EQ(std::string(ClipboardText), c.text) << c.bytes.size() << "-byte block";
    }
}

// ------------------------------------------------------------ trimming

class CycleTextTrim : public CycleTextFixture {};

TEST_F(CycleTextTrim, RemovesEveryCrAndLfAtTheEndOnly) {
    const struct {
        const char* text;
        const char* trimmed;
    } cases[] = {
        {"1+2=\r\n", "1+2="},
        {"1+2=\n\r\n\r\r\n\n", "1+2="},
        {"1+2=\n", "1+2="},
        {"1+2=\r", "1+2="},
        {"\r\n", ""},
        {"\r\n\r\n\n\r", ""},
        {"", ""},
        {"1+2=", "1+2="},
        {"\r\n1+2=", "\r\n1+2="},   // only the end is trimmed
        {"1\r\n+2=", "1\r\n+2="},
        {"1+2= \r\n", "1+2= "},     // a space ends the trimming
        {"1+2=\t\n", "1+2=\t"},
        {"\x82\x52\r\n", "\x82\x52"},
    };
    for (const auto& c : cases) {
        char text[64];
        std::memset(text, 'Q', sizeof text);
        std::strcpy(text, c.text);
        TrimLineEnds(text);
        EXPECT_EQ(std::string(text), c.trimmed) << "text " << Printable(c.text);
    }
}

// ------------------------------------------------------------ full-width pairs

class CycleTextPairs : public CycleTextFixture {};

TEST_F(CycleTextPairs, ConvertiblePairsAreLead81From40AndLead82UpTo9A) {
    int mismatches = 0;
    for (int lead = 0; lead < 256; lead++) {
        for (int trail = 0; trail < 256; trail++) {
            const bool expected = (lead == 0x81 && trail >= 0x40) || (lead == 0x82 && trail <= 0x9A);
            const bool actual = IsConvertiblePair(static_cast<unsigned char>(lead),
                                                  static_cast<unsigned char>(trail));
            if (actual != expected && ++mismatches <= 10) {
                ADD_FAILURE() << "IsConvertiblePair(" << PairName(lead * 256 + trail) << ") is " << actual;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(CycleTextPairs, ConversionWalksThePairsFromTheStart) {
    const struct {
        const char* text;
        const char* converted;
    } cases[] = {
        {"\x82\x50\x81\x7B\x82\x51\x81\x81", "1+2="},
        {"1+2=", "1+2="},
        {"", ""},
        {"a\x81\x40" "b", "a b"},
        {"\x82\x4F\x82\x58", "09"},
        {"\x82\x60\x82\x79\x82\x81\x82\x9A", "AZaz"},
        {"\x81\x7E\x81\x80", "\xD7\xF7"},                  // multiplication and division signs
        {"1\x81\x5B" "2", "1\x80" "2"},                    // no counterpart: 0x80
        {"\x81\xFF", "\x80"},
        {"\x82\x3D", "\x80"},                              // 0x82 with a low trail is a pair
        {"\x81\x3F", "\x81\x3F"},                          // trail below 0x40: not a pair
        {"\x82\x9B", "\x82\x9B"},                          // trail above 0x9A: not a pair
        {"\x83\x40\x80\x40", "\x83\x40\x80\x40"},          // other lead bytes
        {"\xB1\xDF", "\xB1\xDF"},                          // half-width katakana stay
        {"\x82\x82\x50", "bP"},                            // pairs are taken in order from the start
        {"\x81\x81\x81", "=\x81"},                         // a lone 0x81 before the NUL stays
        {"1\x82", "1\x80"},                                // a lone 0x82 pairs with the NUL
        {"\x82", "\x80"},
        {"(\x82\x50\x81\x7B\x82\x51)\x81\x96\x82\x52", "(1+2)*3"},
    };
    for (const auto& c : cases) {
        char text[64];
        std::memset(text, 'Q', sizeof text);
        std::strcpy(text, c.text);
        ConvertFullWidth(text);
        EXPECT_EQ(Printable(text), Printable(c.converted)) << "text " << Printable(c.text);
    }
}

// ------------------------------------------------------------ the tables

struct TableRow {
    unsigned pair;
    unsigned char byte;
};

// Every full-width character with a single-byte counterpart, besides the
// digits and letters, which ExpectedFullWidthRows adds.
const TableRow kFullWidthRows[] = {
    {0x8140, 0x20},  // ideographic space
    {0x8143, 0x2C},  // comma
    {0x8144, 0x2E},  // full stop
    {0x8146, 0x3A},  // colon
    {0x8147, 0x3B},  // semicolon
    {0x8148, 0x3F},  // question mark
    {0x8149, 0x21},  // exclamation mark
    {0x814D, 0x60},  // grave accent
    {0x814F, 0x5E},  // circumflex
    {0x8150, 0x7E},  // macron
    {0x8151, 0x5F},  // low line
    {0x815E, 0x2F},  // solidus
    {0x8162, 0x7C},  // vertical line
    {0x8166, 0x27},  // right single quotation mark
    {0x8168, 0x22},  // right double quotation mark
    {0x8169, 0x28},  // left parenthesis
    {0x816A, 0x29},  // right parenthesis
    {0x816D, 0x5B},  // left square bracket
    {0x816E, 0x5D},  // right square bracket
    {0x816F, 0x7B},  // left curly bracket
    {0x8170, 0x7D},  // right curly bracket
    {0x817B, 0x2B},  // plus sign
    {0x817C, 0x2D},  // minus sign
    {0x817E, 0xD7},  // multiplication sign
    {0x8180, 0xF7},  // division sign
    {0x8181, 0x3D},  // equals sign
    {0x8183, 0x3C},  // less-than sign
    {0x8184, 0x3E},  // greater-than sign
    {0x818F, 0x5C},  // yen sign
    {0x8190, 0x24},  // dollar sign
    {0x8193, 0x25},  // percent sign
    {0x8194, 0x23},  // number sign
    {0x8195, 0x26},  // ampersand
    {0x8196, 0x2A},  // asterisk
    {0x8197, 0x40},  // commercial at
};

std::vector<TableRow> ExpectedFullWidthRows() {
    std::vector<TableRow> rows(std::begin(kFullWidthRows), std::end(kFullWidthRows));
    for (unsigned i = 0; i < 10; i++) rows.push_back({0x824F + i, static_cast<unsigned char>('0' + i)});
    for (unsigned i = 0; i < 26; i++) rows.push_back({0x8260 + i, static_cast<unsigned char>('A' + i)});
    for (unsigned i = 0; i < 26; i++) rows.push_back({0x8281 + i, static_cast<unsigned char>('a' + i)});
    return rows;
}

int TableIndex(unsigned pair) { return int((pair >> 8) - 0x81) * 256 + int(pair & 0xFF) - 0x40; }

class CycleTextTables : public CycleTextFixture {};

TEST_F(CycleTextTables, FullWidthToAsciiHoldsTheListedRowsAnd80Elsewhere) {
    const std::vector<TableRow> rows = ExpectedFullWidthRows();
    ASSERT_EQ(rows.size(), 97u);
    std::vector<int> expected(FullWidthTableSize, 0x80);
    for (const TableRow& row : rows) {
        const int index = TableIndex(row.pair);
        ASSERT_TRUE(index >= 0 && index < FullWidthTableSize) << PairName(row.pair);
        expected[index] = row.byte;
    }
    // The first and last entries are 0x8140 and 0x829A.
    EXPECT_EQ(TableIndex(0x8140), 0);
    EXPECT_EQ(TableIndex(0x829A), FullWidthTableSize - 1);
    int listed = 0;
    for (int index = 0; index < FullWidthTableSize; index++) {
        const unsigned pair = unsigned(0x8140 + index);
        EXPECT_EQ(int(FullWidthToAscii[index]), expected[index])
            << "entry " << index << " (" << PairName(pair) << ")";
        if (expected[index] != 0x80) listed++;
    }
    EXPECT_EQ(listed, 97);
}

TEST_F(CycleTextTables, ConversionUsesTheTableForEveryPair) {
    std::vector<int> expected(FullWidthTableSize, 0x80);
    for (const TableRow& row : ExpectedFullWidthRows()) expected[TableIndex(row.pair)] = row.byte;
    // Every pair that can stand inside a text (the trail byte 0x00 of 0x8200
    // can only be the terminating NUL: see the lone lead byte above).
    for (int index = 0; index < FullWidthTableSize; index++) {
        const unsigned pair = unsigned(0x8140 + index);
        if ((pair & 0xFF) == 0) continue;
        char text[8] = {'<', char(pair >> 8), char(pair & 0xFF), '>', '\0'};
        ConvertFullWidth(text);
        const char wanted[] = {'<', char(expected[index]), '>', '\0'};
        EXPECT_EQ(Printable(text), Printable(wanted)) << PairName(pair);
    }
}

TEST_F(CycleTextTables, AsciiToFullWidthIsTheInverseAnd7FIsZero) {
    const std::vector<TableRow> rows = ExpectedFullWidthRows();
    for (int c = 0x20; c <= 0x7E; c++) {
        unsigned pair = 0;
        int found = 0;
        for (const TableRow& row : rows) {
            if (row.byte == c) {
                pair = row.pair;
                found++;
            }
        }
        ASSERT_EQ(found, 1) << "test table: byte " << c;
        EXPECT_EQ(PairName(AsciiToFullWidthLead[c - 0x20] * 256u + AsciiToFullWidthTrail[c - 0x20]),
                  PairName(pair))
            << "byte 0x" << std::hex << c << " '" << char(c) << "'";
    }
    EXPECT_EQ(int(AsciiToFullWidthLead[0x7F - 0x20]), 0);
    EXPECT_EQ(int(AsciiToFullWidthTrail[0x7F - 0x20]), 0);
}

// ------------------------------------------------------------ the key

class CycleTextKey : public CycleTextFixture {};

struct KeyCase {
    Config config;
    const char* text;        // the taken and trimmed text
    const char* expression;  // what ExtractExpression returns, or nullptr
    int fullWidthKey;
};

TEST_F(CycleTextKey, FindsAndRemovesTheKeyAtTheConfiguredEnd) {
    const Config keyQuestion = {'?', KeySuffix, 0, 0};
    const Config keyNumberPrefix = {'#', KeyPrefix, 0, 0};
    const Config keyPlus = {'+', KeySuffix, 0, 0};
    const Config keyAt = {'@', KeySuffix, 0, 0};
    const Config keyBangPrefix = {'!', KeyPrefix, 0, 0};
    const Config positionOther = {'=', 2, 0, 0};
    const Config positionOtherSjis = {'=', 2, 1, 0};
    const KeyCase cases[] = {
        {kSuffix, "1+2=", "1+2", 0},
        {kSuffix, "1+2", nullptr, 0},
        {kSuffix, "=1+2", nullptr, 0},
        {kSuffix, "", nullptr, 0},
        {kSuffix, "1+2==", "1+2=", 0},  // only one key is removed
        {kPrefix, "=1+2", "1+2", 0},
        {kPrefix, "1+2=", nullptr, 0},
        {kPrefix, "==1", "=1", 0},
        {kPrefix, "", nullptr, 0},
        {keyQuestion, "1+2?", "1+2", 0},
        {keyQuestion, "1+2=", nullptr, 0},
        {keyNumberPrefix, "#5*5", "5*5", 0},
        {keyNumberPrefix, "5*5#", nullptr, 0},
        {keyPlus, "1+2+", "1+2", 0},
        {keyAt, "255@H@", "255@H", 0},
        {keyBangPrefix, "!7", "7", 0},
        {positionOther, "1+2=", nullptr, 0},
        {positionOther, "=1+2", nullptr, 0},
        {positionOtherSjis, "1+2\x81\x81", nullptr, 0},
        {positionOtherSjis, "\x81\x81" "1+2", nullptr, 0},
        // ShiftJIS clear: full-width bytes are neither a key nor converted.
        {kSuffix, "1+2\x81\x81", nullptr, 0},
        {kSuffix, "\x82\x50\x81\x7B\x82\x51=", "\x82\x50\x81\x7B\x82\x51", 0},
        {kPrefix, "\x81\x81" "1+2", nullptr, 0},
        // ShiftJIS set, suffix.
        {kSjis, "\x82\x50\x81\x7B\x82\x51\x81\x81", "1+2", 1},
        {kSjis, "\x82\x50\x81\x7B\x82\x51=", "1+2", 0},
        {kSjis, "1+2\x81\x81", "1+2", 1},
        {kSjis, "1+2=", "1+2", 0},
        {kSjis, "\x82\x50\x81\x7B\x82\x51", nullptr, 0},
        {kSjis, "1+2\x81\x48", nullptr, 0},            // full-width "?" is not the key "="
        {kSjis, "1+2\x81\x81=", "1+2=", 0},           // (0x81, "=") is no pair; the pair before converts
        {kSjis, "1\x82=", nullptr, 0},                // (0x82, "=") converts to 0x80: the key is gone
        {kSjis, "\x82=", nullptr, 0},                 // the same in a text of two bytes
        {kSjis, "\x81\x81", "", 1},                   // the key alone leaves an empty input
        {kSjis, "=", "", 0},
        {kSjis, "1\x81\x5B" "2\x81\x81", "1\x80" "2", 1},
        {kSjis, "\x82\x58\x81\x80\x82\x52=", "9\xF7" "3", 0},
        {{'?', KeySuffix, 1, 0}, "1+2\x81\x48", "1+2", 1},
        {{'?', KeySuffix, 1, 0}, "1+2\x81\x81", nullptr, 0},
        {{'+', KeySuffix, 1, 0}, "\x82\x50\x81\x7B\x82\x51\x81\x7B", "1+2", 1},
        {{'@', KeySuffix, 1, 0}, "\x82\x51\x82\x54\x82\x54\x81\x97", "255", 1},
        {{'!', KeySuffix, 1, 0}, "7\x81\x49", "7", 1},
        {{'#', KeyPrefix, 1, 0}, "\x81\x94\x82\x52", "3", 1},
        // ShiftJIS set, prefix.
        {kSjisPrefix, "\x81\x81" "1+2", "1+2", 1},
        {kSjisPrefix, "=1+2", "1+2", 0},
        {kSjisPrefix, "=\x82\x50\x82\x4F", "10", 0},
        {kSjisPrefix, "1+2\x81\x81", nullptr, 0},
        {kSjisPrefix, "=1+2\x82", "1+2\x80", 0},      // the lone lead byte pairs with the NUL
        {kSjisPrefix, "\x81\x81" "1+2\x82", "1+2\x80", 1},
    };
    for (const KeyCase& c : cases) {
        Use(c.config);
        std::memset(ClipboardText, 'Q', sizeof ClipboardText);
        std::strcpy(ClipboardText, c.text);
        FullWidthKey = 0;
        const char* expression = ExtractExpression();
        const std::string where = Describe(c.config) + ", text " + Printable(c.text);
        if (c.expression == nullptr) {
            EXPECT_EQ(expression, nullptr) << where << " gave " << Printable(expression ? expression : "");
        } else if (expression == nullptr) {
            ADD_FAILURE() << where << ": no expression, expected " << Printable(c.expression);
        } else {
            EXPECT_TRUE(expression >= ClipboardText && expression < ClipboardText + sizeof ClipboardText)
                << where << ": the expression is not inside ClipboardText";
            EXPECT_EQ(Printable(expression), Printable(c.expression)) << where;
        }
        EXPECT_EQ(FullWidthKey, c.fullWidthKey) << where;
    }
}

TEST_F(CycleTextKey, TextWithoutTheKeyIsNotConverted) {
    const struct {
        Config config;
        const char* text;
    } cases[] = {
        {kSjis, "\x82\x50\x81\x7B\x82\x51"},
        {kSjis, "\x81\x81" "1+2"},
        {kSjisPrefix, "1+2\x81\x81"},
        {kSjisPrefix, "\x82\x50="},
        {kSuffix, "\x82\x50\x81\x7B\x82\x51\x81\x81"},
    };
    for (const auto& c : cases) {
        Use(c.config);
        std::strcpy(ClipboardText, c.text);
        EXPECT_EQ(ExtractExpression(), nullptr) << Printable(c.text);
        EXPECT_EQ(Printable(ClipboardText), Printable(c.text)) << Describe(c.config);
    }
}

TEST_F(CycleTextKey, EveryRunSetsFullWidthKeyAfresh) {
    // A full-width key, then texts with a half-width key or none: the flag of
    // the first must not stay behind.
    Use(kSjis);
    std::strcpy(ClipboardText, "1+2\x81\x81");
    ASSERT_NE(ExtractExpression(), nullptr);
    ASSERT_EQ(FullWidthKey, 1);
    std::strcpy(ClipboardText, "1+2=");
    ASSERT_NE(ExtractExpression(), nullptr);
    EXPECT_EQ(FullWidthKey, 0) << "after a half-width key";
    FullWidthKey = 1;
    std::strcpy(ClipboardText, "1+2");
    EXPECT_EQ(ExtractExpression(), nullptr);
    EXPECT_EQ(FullWidthKey, 0) << "after a text without the key";
}

// ------------------------------------------------------------ the whole path

class CycleTextRun : public CycleTextFixture {};

struct RunCase {
    Config config;
    const char* text;       // the clipboard text
    const char* clipboard;  // the block's bytes up to its NUL, or kNotEvaluated
    bool fullWidth;         // the block holds pairs (else single bytes)
    const char* shown;      // the half-width result text
};

TEST_F(CycleTextRun, ClipboardTextsGiveTheirBlocks) {
    const RunCase cases[] = {
        // The default key and position.
        {kSuffix, "1+2=\r\n", "3", false, "3"},
        {kSuffix, "1+2=", "3", false, "3"},
        {kSuffix, "1+2", kNotEvaluated, false, nullptr},
        {kSuffix, "=1+2", kNotEvaluated, false, nullptr},
        {kSuffix, "=", kNotEvaluated, false, nullptr},
        {kSuffix, "=\r\n", kNotEvaluated, false, nullptr},
        {kSuffix, "\r\n\r\n", kNotEvaluated, false, nullptr},
        {kSuffix, "", kNotEvaluated, false, nullptr},
        {kSuffix, "1+2==", kNotEvaluated, false, nullptr},
        {kSuffix, "1E20=", "1e+020", false, "1e+020"},
        {kSuffix, "1234567=", "1234567", false, "1234567"},
        {kPrefix, "=1+2", "3", false, "3"},
        {kPrefix, "=1+2\r\n", "3", false, "3"},
        {kPrefix, "1+2=", kNotEvaluated, false, nullptr},
        {kPrefix, "=", kNotEvaluated, false, nullptr},
        {kPrefix, "=\r\n", kNotEvaluated, false, nullptr},
        // ShiftJIS clear: a full-width key is no key.
        {kSuffix, "1+2\x81\x81", kNotEvaluated, false, nullptr},
        {kSuffix, "\x82\x50\x81\x7B\x82\x51\x81\x81", kNotEvaluated, false, nullptr},
        {kSuffix, "\x82\x50\x81\x7B\x82\x51=", kNotEvaluated, false, nullptr},
        // ShiftJIS set: the full-width key makes the result full-width.
        {kSjis, "\x82\x50\x81\x7B\x82\x51\x81\x81", "\x82\x52", true, "3"},
        {kSjis, "\x82\x50\x81\x7B\x82\x51\x81\x81\r\n", "\x82\x52", true, "3"},
        {kSjis, "\x82\x50\x81\x7B\x82\x51=", "3", false, "3"},
        {kSjis, "1+2\x81\x81", "\x82\x52", true, "3"},
        {kSjis, "\x81\x7C\x82\x52\x81\x81", "\x81\x7C\x82\x52", true, "-3"},
        {kSjis, "\x82\x50\x82\x4F\x81\x5E\x82\x53\x81\x81", "\x82\x51\x81\x44\x82\x54", true, "2.5"},
        {kSjis, "1E20\x81\x81", "\x82\x50\x82\x85\x81\x7B\x82\x4F\x82\x51\x82\x4F", true, "1e+020"},
        {kSjis, "255@H\x81\x81", "\x81\x95\x82\x67\x82\x65\x82\x65", true, "&HFF"},
        {kSjis, "255@x\x81\x81", "\x82\x4F\x82\x98\x82\x86\x82\x86", true, "0xff"},
        {kSjis, "\x82\x72\x82\x70\x82\x71\x82\x73\x81\x69\x82\x50\x82\x55\x81\x6A\x81\x81", "\x82\x53",
         true, "4"},
        // Multiplication and division signs become the bytes 215 and 247.
        {kSjis, "2\x81\x7E" "3\x81\x81", "\x82\x55", true, "6"},
        {kSjis, "\x82\x58\x81\x80\x82\x52=", "3", false, "3"},
        {kSjis, "\x81\x69\x82\x50\x81\x7B\x82\x51\x81\x6A\x81\x96\x82\x52=", "9", false, "9"},
        // Half-width key, full-width digits inside: converted, half-width out.
        {kSjis, "\x82\x50\x82\x51\x82\x52\x82\x53\x81\x7E\x82\x51=", "2468", false, "2468"},
        // No counterpart: 0x80, which the evaluator rejects.
        {kSjis, "1\x81\x5B" "2=", kNotEvaluated, false, nullptr},
        {kSjis, "1\x81\x5B" "2\x81\x81", kNotEvaluated, false, nullptr},
        {kSjis, "\x82\xA0=", kNotEvaluated, false, nullptr},
        {kSjis, "\x81\x81", kNotEvaluated, false, nullptr},
        {kSjis, "=", kNotEvaluated, false, nullptr},
        {kSjis, "1+2", kNotEvaluated, false, nullptr},
        // Prefix with ShiftJIS.
        {kSjisPrefix, "\x81\x81" "1+2", "\x82\x52", true, "3"},
        {kSjisPrefix, "=1+2", "3", false, "3"},
        {kSjisPrefix, "=1+2\x82", kNotEvaluated, false, nullptr},
        {kSjisPrefix, "\x81\x81" "1+2\x82", kNotEvaluated, false, nullptr},
        {kSjisPrefix, "=", kNotEvaluated, false, nullptr},
        // Separators, written back full-width with a full-width key.
        {kSjisSeparators, "1234567\x81\x81",
         "\x82\x50\x81\x43\x82\x51\x82\x52\x82\x53\x81\x43\x82\x54\x82\x55\x82\x56", true, "1,234,567"},
        {kSjisSeparators, "-1234.5678\x81\x81",
         "\x81\x7C\x82\x50\x81\x43\x82\x51\x82\x52\x82\x53\x81\x44\x82\x54\x82\x55\x82\x56\x82\x57", true,
         "-1,234.5678"},
        {kSjisSeparators, "1234567=", "1,234,567", false, "1,234,567"},
        {kSjisSeparators, "\x82\x50\x82\x51\x82\x52\x82\x53\x81\x7E\x82\x51=", "2,468", false, "2,468"},
        {kSjisSeparators, "\x82\x50\x81\x43\x82\x4F\x82\x4F\x82\x4F\x81\x7B\x82\x50\x81\x81",
         "\x82\x50\x81\x43\x82\x4F\x82\x4F\x82\x50", true, "1,001"},
        {kSjisSeparators, "1E20\x81\x81", "\x82\x50\x82\x85\x81\x7B\x82\x4F\x82\x51\x82\x4F", true, "1e+020"},
        {kSjisSeparators, "0.12345\x81\x81", "\x82\x4F\x81\x44\x82\x50\x82\x51\x82\x52\x82\x53\x82\x54", true,
         "0.12345"},
        {{'=', KeySuffix, 0, 1}, "12345.5=", "12,345.5", false, "12,345.5"},
        {{'=', KeySuffix, 0, 1}, "-1000=", "-1,000", false, "-1,000"},
        {{'=', KeySuffix, 0, 1}, "100000=", "100,000", false, "100,000"},
        {{'=', KeySuffix, 0, 1}, "255@H=", "&HFF", false, "&HFF"},
    };
    for (const RunCase& c : cases) {
        Use(c.config);
        std::string block;
        const bool written = RunClipboardText(c.text, &block);
        const std::string where = Describe(c.config) + ", text " + Printable(c.text);
        if (c.clipboard == kNotEvaluated) {
            EXPECT_FALSE(written) << where << " gave " << Printable(block);
            continue;
        }
        if (!written) {
            ADD_FAILURE() << where << ": not evaluated, expected " << Printable(c.clipboard);
            continue;
        }
        // A full-width block is filled to its end; a single-byte one keeps
        // its zeroed second half.
        std::string expected = c.clipboard;
        const size_t resultLength = c.fullWidth ? expected.size() / 2 : expected.size();
        expected.resize(2 * resultLength + 1, '\0');
        EXPECT_EQ(Printable(block), Printable(expected)) << where;
        EXPECT_EQ(FullWidthKey, c.fullWidth ? 1 : 0) << where;
        EXPECT_EQ(Printable(ResultText), Printable(c.shown)) << where << ": the half-width result";
    }
}

TEST_F(CycleTextRun, ExponentLettersGoBackFullWidth) {
    Use(kSjis);
    zarl_test::UseFormat("-", "E", 3);
    std::string block;
    ASSERT_TRUE(RunClipboardText("1500\x81\x81", &block));
    EXPECT_EQ(Printable(ResultText), Printable("1.500E+003"));
    EXPECT_EQ(Printable(block), Printable(std::string("\x82\x50\x81\x44\x82\x54\x82\x4F\x82\x4F\x82\x64"
                                                      "\x81\x7B\x82\x4F\x82\x4F\x82\x52",
                                                      20) +
                                          std::string(1, '\0')));
}

// Lengths around the 1024-byte bound, with the key and line ends inside it.
TEST_F(CycleTextRun, ClipboardTextsOf1024BytesAreRefusedBeforeTrimming) {
    const struct {
        Config config;
        std::string text;
        bool evaluated;
    } cases[] = {
        {kSuffix, "1+2" + std::string(1019, ' ') + "=", true},              // 1023 bytes
        {kSuffix, "1+2" + std::string(1017, ' ') + "=\r\n", true},          // 1023 bytes
        {kSuffix, "1+2" + std::string(1020, ' ') + "=", false},             // 1024 bytes
        {kSuffix, "1+2" + std::string(1018, ' ') + "=\r\n", false},         // 1024, 1022 once trimmed
        {kSuffix, "1+2=" + std::string(1020, '\n'), false},                 // 1024, 4 once trimmed
        {kSuffix, "1+2=" + std::string(1019, '\n'), true},                  // 1023
        {kPrefix, "=1+2" + std::string(1019, ' '), true},                   // 1023
        {kPrefix, "=1+2" + std::string(1020, ' '), false},                  // 1024
        {kSjis, "1+2" + std::string(1018, ' ') + "\x81\x81", true},         // 1023
        {kSjis, "1+2" + std::string(1019, ' ') + "\x81\x81", false},        // 1024
    };
    for (const auto& c : cases) {
        Use(c.config);
        std::string block;
        const bool written = RunClipboardText(c.text, &block);
        EXPECT_EQ(written, c.evaluated) << Describe(c.config) << ", " << c.text.size() << " bytes";
        if (written && c.evaluated) {
            const std::string expected = FullWidthKey ? std::string("\x82\x52\0", 3) : std::string("3\0\0", 3);
            EXPECT_EQ(Printable(block), Printable(expected)) << c.text.size() << " bytes";
        }
    }
}

// ------------------------------------------------------------ separators

class CycleTextSeparators : public CycleTextFixture {};

TEST_F(CycleTextSeparators, CommasGoBetweenGroupsOfThreeBeforeThePoint) {
    const struct {
        const char* text;
        const char* separated;
    } cases[] = {
        {"1234567", "1,234,567"},
        {"-1234.5678", "-1,234.5678"},
        {"123", "123"},
        {"0.12345", "0.12345"},
        {"12345.5", "12,345.5"},
        {"-1000", "-1,000"},
        {"100000", "100,000"},
        {"1000", "1,000"},
        {"999", "999"},
        {"-999.999", "-999.999"},
        {"+1234", "+1,234"},
        {"1234.", "1,234."},
        {"10000.00001", "10,000.00001"},
        {"12345678901234567890", "12,345,678,901,234,567,890"},
        {"123456789012.25", "123,456,789,012.25"},
        {"1234.5678.9", "1,234.5678.9"},   // only the first "." counts
        {"0", "0"},
        {"", ""},
        // Letters: exponent, hexadecimal and other forms stay as they are.
        {"1.5e+006", "1.5e+006"},
        {"1.500E+003", "1.500E+003"},
        {"&HFF", "&HFF"},
        {"-&H3E8", "-&H3E8"},
        {"0x1f", "0x1f"},
        {"12345678x", "12345678x"},
        {"1.#INF", "1.#INF"},
        // No digit before the ".".
        {".5", ".5"},
        {"-.1234", "-.1234"},
        {"-", "-"},
    };
    for (const auto& c : cases) {
        char text[MaxSeparatedLength + 1];
        std::memset(text, 'Q', sizeof text);
        std::strcpy(text, c.text);
        InsertThousandSeparators(text);
        EXPECT_EQ(std::string(text), c.separated) << "text \"" << c.text << "\"";
    }
}

// The digits 1234567890 repeated to count, and their separated form, built
// from the left: a first group of 1 to 3 digits, then groups of three.
std::string Digits(size_t count) {
    std::string digits;
    for (size_t i = 0; i < count; i++) digits += char('0' + (i + 1) % 10);
    return digits;
}

std::string Grouped(const std::string& digits) {
    size_t first = digits.size() % 3;
    if (first == 0) first = 3;
    std::string grouped = digits.substr(0, first);
    for (size_t i = first; i < digits.size(); i += 3) grouped += "," + digits.substr(i, 3);
    return grouped;
}

TEST_F(CycleTextSeparators, ASeparatedTextLongerThan1024StaysUnseparated) {
    const struct {
        std::string text;
        std::string separated;
    } cases[] = {
        {Digits(800), Digits(800)},                                   // 1066 once separated
        {Digits(769), Digits(769)},                                   // 1025
        {Digits(767) + ".5", Grouped(Digits(767)) + ".5"},            // 1024 exactly
        {Digits(768) + ".5", Digits(768) + ".5"},                     // 1025
        {"-" + Digits(768), "-" + Grouped(Digits(768))},              // 1024 exactly
        {"-" + Digits(769), "-" + Digits(769)},                       // 1026
        {Digits(768), Grouped(Digits(768))},                          // 1023
    };
    for (const auto& c : cases) {
        ASSERT_LE(c.separated.size(), size_t(MaxSeparatedLength)) << "test table";
        char text[MaxSeparatedLength + 1];
        std::memset(text, 'Q', sizeof text);
        std::strcpy(text, c.text.c_str());
        InsertThousandSeparators(text);
        EXPECT_EQ(std::strlen(text), c.separated.size()) << c.text.size() << " characters";
        EXPECT_EQ(std::string(text), c.separated) << c.text.size() << " characters";
    }
}

// ------------------------------------------------------------ the block

class CycleTextBlock : public CycleTextFixture {};

TEST_F(CycleTextBlock, SizeIsTwiceTheLengthAndOne) {
    const std::string results[] = {"", "3", "-3", "1,234,567", "1.5e+006", std::string(MaxSeparatedLength, '9')};
    for (const std::string& result : results) {
        EXPECT_EQ(ClipboardBlockSize(result.c_str()), 2 * result.size() + 1) << result.size() << " bytes";
    }
    EXPECT_EQ(ClipboardBlockSize(std::string(MaxSeparatedLength, '9').c_str()), size_t(MaxClipboardBlock));
}

TEST_F(CycleTextBlock, FillsPlainOrFullWidthBytesAndLeavesTheTail) {
    const struct {
        const char* result;
        bool fullWidth;
        std::string written;  // the bytes written, the NUL included
    } cases[] = {
        {"3", false, std::string("3\0", 2)},
        {"3", true, std::string("\x82\x52\0", 3)},
        {"", false, std::string(1, '\0')},
        {"", true, std::string(1, '\0')},
        {"-1,234.5e+006", false, std::string("-1,234.5e+006\0", 14)},
        {"-1,234.5e+006", true,
         std::string("\x81\x7C\x82\x50\x81\x43\x82\x51\x82\x52\x82\x53\x81\x44\x82\x54\x82\x85\x81\x7B"
                     "\x82\x4F\x82\x4F\x82\x55\0",
                     27)},
        {"1.5E+006", true,
         std::string("\x82\x50\x81\x44\x82\x54\x82\x64\x81\x7B\x82\x4F\x82\x4F\x82\x55\0", 17)},
        {"&HFF", true, std::string("\x81\x95\x82\x67\x82\x65\x82\x65\0", 9)},
        {"0xff", true, std::string("\x82\x4F\x82\x98\x82\x86\x82\x86\0", 9)},
        {"+5", true, std::string("\x81\x7B\x82\x54\0", 5)},
        {" ~\x7F", true, std::string("\x81\x40\x81\x50\0\0\0", 7)},          // 0x7F is 00 00
        {"\x80\xD7\x1F" "1", true, std::string("\x80\xD7\x1F\x82\x50\0", 6)}, // others unchanged
        {"\x80\xD7\x1F" "1", false, std::string("\x80\xD7\x1F" "1\0", 5)},
    };
    for (const auto& c : cases) {
        const size_t size = ClipboardBlockSize(c.result);
        const size_t guard = 8;
        std::vector<char> block(size + guard, '\x5A');
        FillClipboardBlock(block.data(), c.result, c.fullWidth);
        std::string expected = c.written;
        expected.resize(size + guard, '\x5A');
        EXPECT_EQ(Printable(std::string(block.data(), block.size())), Printable(expected))
            << "result " << Printable(c.result) << (c.fullWidth ? ", full-width" : ", plain");
    }
}

TEST_F(CycleTextBlock, EveryPrintableByteIsWrittenAsItsPair) {
    // All of 0x20-0x7E in one result; the pairs come from the rows listed above.
    const std::vector<TableRow> rows = ExpectedFullWidthRows();
    std::string result;
    std::string expected;
    for (int c = 0x20; c <= 0x7E; c++) {
        result += char(c);
        for (const TableRow& row : rows) {
            if (row.byte == c) {
                expected += char(row.pair >> 8);
                expected += char(row.pair & 0xFF);
            }
        }
    }
    expected += '\0';
    ASSERT_EQ(expected.size(), 2 * result.size() + 1);
    const size_t size = ClipboardBlockSize(result.c_str());
    ASSERT_EQ(size, expected.size());
    std::vector<char> block(size + 4, '\x5A');
    FillClipboardBlock(block.data(), result.c_str(), true);
    EXPECT_EQ(Printable(std::string(block.data(), size)), Printable(expected));
    EXPECT_EQ(std::string(block.data() + size, 4), std::string(4, '\x5A')) << "written past the block";
}

}  // namespace
