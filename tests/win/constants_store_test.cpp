// Tests of the user constants' storage against the real registry and
// ZARL.INI: a full table's round trip, the name scan and the length limits
// applied to stored entries, values the program did not write, stale values
// and keys removed on save, a deleted constant staying gone in both stores,
// and a loaded constant reaching the evaluator.

#include "tests/win/store_fixture.h"

namespace zarl_store_test {
namespace {

using StoreConstantsRegistry = StoreTest;
using StoreConstantsIni = StoreTest;
using StoreConstantsSave = StoreTest;

// A name for slot i, unique by its first two characters (a letter and a
// digit), so that the names are in the same order whether the registry
// enumerates values in creation order (Windows) or by name (Wine). Lengths
// run from 1 to 8, with digits and "_" after the first character.
std::string SlotName(int i) {
    if (i == 0) return "A";
    std::string name;
    name += static_cast<char>('A' + i / 10);
    name += static_cast<char>('0' + i % 10);
    const std::string tail = "_Z9_Q8X";
    return name + tail.substr(0, static_cast<size_t>(i % 7));
}

// Value texts of every kind the table can hold: numbers, texts atof reads a
// prefix of, texts that are no number, the empty text and 40 characters.
std::string SlotText(int i) {
    static const char* const texts[] = {
        "3.14159",
        "-2.5E-3",
        "1E3",
        "2*3",
        "PI",
        "",
        "0x10",
        "  7",
        "-0",
        ".5",
        "1e308",
        "-1.7976931348623157E+308",
        "12abc",
        "1234567890123456789012345678901234567890",
        "0.000000000000000000000000000000000001",
    };
    constexpr int count = sizeof texts / sizeof texts[0];
    return texts[i % count];
}

// The expected table entry of a value under the Constants key, from its raw
// name, or none when the loader must pass over it.
struct RawConstant {
    std::string raw_name;
    RegValue data;
    bool loaded;
    ConstantEntry entry;
};

// The entries the loader must produce, in the registry's own index order.
std::vector<ConstantEntry> ExpectedInIndexOrder(const std::vector<RawConstant>& raws) {
    std::vector<ConstantEntry> expected;
    for (const std::string& name : ValueNames(kConstantsKey)) {
        auto it = std::find_if(raws.begin(), raws.end(),
                               [&](const RawConstant& r) { return r.raw_name == name; });
        EXPECT_NE(raws.end(), it) << "unexpected value " << name;
        if (it != raws.end() && it->loaded) expected.push_back(it->entry);
    }
    return expected;
}

// 39 zeros and a 1: forty characters whose value is exactly 1, however many
// digits follow them.
const std::string kForty = std::string(39, '0') + "1";

// ===========================================================================
// Registry

TEST_F(StoreConstantsRegistry, FullTableRoundTrip) {
    for (int i = 0; i < MaxConstants; ++i)
        ASSERT_TRUE(AppendConstant(SlotName(i).c_str(), SlotText(i).c_str())) << i;
    ASSERT_EQ(MaxConstants, ConstCount);
    ASSERT_FALSE(AppendConstant("MORE", "1")) << "the table took a 257th constant";
    const std::vector<ConstantEntry> saved = TableEntries();
    // Spot checks that the table holds what atof makes of each text.
    EXPECT_EQ((ConstantEntry{"A", "3.14159", saved[0].value}), saved[0]);
    EXPECT_EQ((ConstantEntry{"A2_Z", "1E3", 1000.0}), saved[2]);
    EXPECT_EQ((ConstantEntry{"A3_Z9", "2*3", 2.0}), saved[3]);
    EXPECT_EQ((ConstantEntry{"A4_Z9_", "PI", 0.0}), saved[4]);
    EXPECT_EQ((ConstantEntry{"A5_Z9_Q", "", 0.0}), saved[5]);

    SaveSettings();

    // The key holds one REG_SZ value per constant: its text and zero byte.
    std::map<std::string, RegValue> expected_values;
    for (const ConstantEntry& e : saved) expected_values[e.name] = SzValue(e.text);
    EXPECT_EQ(expected_values, ValueMap(AllValues(kConstantsKey)));

    // A restart brings back all three arrays exactly.
    ScribbleOverTable(3);
    SetDefaultSettings();
    LoadSettings();
    EXPECT_EQ(saved, TableEntries());

    // And so does the loader alone.
    ScribbleOverTable(MaxConstants);
    LoadConstantsFromRegistry();
    EXPECT_EQ(saved, TableEntries());
}

TEST_F(StoreConstantsRegistry, StoredEntriesGoThroughTheNameScanAndTheLengthLimits) {
    const std::vector<RawConstant> raws = {
        {"A_OK", SzValue("1.5"), true, {"A_OK", "1.5", 1.5}},
        {"pi", SzValue("3.25"), true, {"PI", "3.25", 3.25}},
        {"B-PI", SzValue("2"), true, {"B", "2", 2.0}},
        {"9LIVES", SzValue("9"), true, {"", "9", 9.0}},
        {"C_EIGHT8", SzValue("8"), true, {"C_EIGHT8", "8", 8.0}},
        {"D", SzValue(kForty), true, {"D", kForty, 1.0}},
        // 41 to 80 characters: cut to the first 40.
        {"E41", SzValue(kForty + "2"), true, {"E41", kForty, 1.0}},
        {"E80", SzValue(kForty + std::string(40, '7')), true, {"E80", kForty, 1.0}},
        {"F", SzValue(""), true, {"F", "", 0.0}},
        {"G", SzValue("2*3"), true, {"G", "2*3", 2.0}},
        // Types are not requested: the bytes are the text.
        {"H", DwordValue('7'), true, {"H", "7", 7.0}},
        {"I", RegValue{REG_SZ, "5"}, true, {"I", "5", 5.0}},
        {"J", SzValue("-0"), true, {"J", "-0", -0.0}},
    };
    for (const RawConstant& r : raws) SetValue(kConstantsKey, r.raw_name, r.data);
    ScribbleOverTable(99);
    LoadConstantsFromRegistry();
    EXPECT_EQ(ExpectedInIndexOrder(raws), TableEntries());
}

TEST_F(StoreConstantsRegistry, ValuesTheProgramDidNotWriteArePassedOver) {
    // A name longer than 8 characters or data longer than 80 bytes does not
    // fit the loader's buffers; the values after it must still load.
    const std::vector<RawConstant> raws = {
        {"A", SzValue("1"), true, {"A", "1", 1.0}},
        {"BNINECHRS", SzValue("2"), false, {}},
        {"C", SzValue("3"), true, {"C", "3", 3.0}},
        {"D", SzValue(kForty + std::string(41, '7')), false, {}},  // 82 bytes
        {"E", SzValue("5"), true, {"E", "5", 5.0}},
        {"F" + std::string(200, 'F'), SzValue("6"), false, {}},
        {"G", SzValue("7"), true, {"G", "7", 7.0}},
        {"H", SzValue(std::string(1000, '8')), false, {}},
        {"I", SzValue("9"), true, {"I", "9", 9.0}},
        {"J", RegValue{REG_BINARY, std::string(200, '\x05')}, false, {}},
        {"K", SzValue("11"), true, {"K", "11", 11.0}},
    };
    for (const RawConstant& r : raws) SetValue(kConstantsKey, r.raw_name, r.data);
    ScribbleOverTable(0);
    LoadConstantsFromRegistry();
    EXPECT_EQ(ExpectedInIndexOrder(raws), TableEntries());
    EXPECT_EQ(6, ConstCount);
}

TEST_F(StoreConstantsRegistry, LoadStopsAtAFullTable) {
    for (int i = 0; i < 300; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "V%03d", i);
        SetText(kConstantsKey, name, std::to_string(i));
    }
    ScribbleOverTable(0);
    LoadConstantsFromRegistry();
    ASSERT_EQ(MaxConstants, ConstCount);
    const std::vector<std::string> names = ValueNames(kConstantsKey);
    for (int i = 0; i < MaxConstants; ++i) {
        std::string text = names[i].substr(1);
        while (text.size() > 1 && text[0] == '0') text.erase(0, 1);
        EXPECT_EQ((ConstantEntry{names[i], text, static_cast<double>(std::stoi(text))}),
                  TableEntries()[i]);
    }
}

TEST_F(StoreConstantsRegistry, LoadReplacesTheWholeTable) {
    ASSERT_TRUE(AppendConstant("OLD1", "1"));
    ASSERT_TRUE(AppendConstant("OLD2", "2"));
    ASSERT_TRUE(AppendConstant("OLD3", "3"));
    SetText(kConstantsKey, "NEW", "4");
    LoadConstantsFromRegistry();
    EXPECT_EQ((std::vector<ConstantEntry>{{"NEW", "4", 4.0}}), TableEntries());

    // No Constants key at all: the table is empty.
    RemoveStores();
    ScribbleOverTable(3);
    LoadConstantsFromRegistry();
    EXPECT_EQ(0, ConstCount);
}

// ===========================================================================
// INI file

struct IniConstantCase {
    const char* label;
    std::vector<std::string> lines;  // section CONSTANTS
    std::vector<ConstantEntry> expected;
};

TEST_F(StoreConstantsIni, EntriesLoadByTheNameScanAndTheLengthLimits) {
    const std::string forty_one = std::string(40, '0') + "1";
    const IniConstantCase cases[] = {
        {"gap after C1",
         {"C0=PI,3.25", "C1=E,2.5", "C3=X,1"},
         {{"PI", "3.25", 3.25}, {"E", "2.5", 2.5}}},
        {"name over 8 characters", {"C0=ABCDEFGHIJ,5"}, {{"ABCDEFGH", "J,5", 0.0}}},
        {"name digits past 8 characters", {"C0=LONGNAME12,77"}, {{"LONGNAME", "2,77", 2.0}}},
        {"name beginning with a digit", {"C0=1X,5"}, {{"", "X,5", 0.0}}},
        {"empty name", {"C0=,5"}, {{"", "5", 5.0}}},
        {"41-character value", {"C0=N," + forty_one}, {{"N", "", 0.0}}},
        {"40-character value", {"C0=N," + kForty}, {{"N", kForty, 1.0}}},
        {"300-character entry", {"C0=N," + std::string(300, '3')}, {{"N", "", 0.0}}},
        {"name only", {"C0=PI"}, {{"PI", "", 0.0}}},
        {"name and separator only", {"C0=PI,"}, {{"PI", "", 0.0}}},
        {"one-character value", {"C0=PI,7"}, {{"PI", "7", 7.0}}},
        {"any separator is skipped", {"C0=PI;3"}, {{"PI", "3", 3.0}}},
        {"lower case name", {"C0=pi_2,0.5"}, {{"PI_2", "0.5", 0.5}}},
        {"value text is no expression",
         {"C0=K,2*3", "C1=L,PI", "C2=M,1E3", "C3=N,12abc"},
         {{"K", "2*3", 2.0}, {"L", "PI", 0.0}, {"M", "1E3", 1000.0}, {"N", "12abc", 12.0}}},
        {"a name twice", {"C0=A,1", "C1=A,2"}, {{"A", "1", 1.0}, {"A", "2", 2.0}}},
        {"empty C0 ends the table", {"C0=", "C1=B,2"}, {}},
        {"no C0", {"C1=B,2", "C2=C,3"}, {}},
        {"out of order keys", {"C1=B,2", "C0=A,1"}, {{"A", "1", 1.0}, {"B", "2", 2.0}}},
    };
    for (const IniConstantCase& c : cases) {
        SCOPED_TRACE(c.label);
        RemoveStores();
        WriteIniBytes(IniFile({"Version=3.05"}, c.lines));
        ScribbleOverTable(7);
        LoadConstantsFromIni();
        EXPECT_EQ(c.expected, TableEntries());
    }
}

TEST_F(StoreConstantsIni, AnEqualNameFindsTheFirstEntry) {
    WriteIniBytes(IniFile({"Version=3.05"}, {"C0=A,1", "C1=A,2"}));
    LoadSettings();
    EXPECT_EQ(0, FindConstant("A"));
    EXPECT_EQ("1", EvaluateText("A"));
}

TEST_F(StoreConstantsIni, LoadStopsAtAFullTable) {
    std::vector<std::string> lines;
    for (int i = 0; i <= MaxConstants; ++i)
        lines.push_back("C" + std::to_string(i) + "=N" + std::to_string(i) + "," +
                        std::to_string(i));
    WriteIniBytes(IniFile({"Version=3.05"}, lines));
    ScribbleOverTable(0);
    LoadConstantsFromIni();
    ASSERT_EQ(MaxConstants, ConstCount);
    const std::vector<ConstantEntry> entries = TableEntries();
    for (int i = 0; i < MaxConstants; ++i)
        EXPECT_EQ(
            (ConstantEntry{"N" + std::to_string(i), std::to_string(i), static_cast<double>(i)}),
            entries[i]);
}

TEST_F(StoreConstantsIni, ImportedConstantsAreCopiedIntoTheRegistry) {
    WriteIniBytes(
        IniFile({"Version=3.05", "Delay=1"}, {"C0=PI,3.25", "C1=ABCDEFGHIJ,5", "C2=1X,5"}));
    LoadSettings();
    const std::vector<ConstantEntry> expected = {
        {"PI", "3.25", 3.25}, {"ABCDEFGH", "J,5", 0.0}, {"", "X,5", 0.0}};
    EXPECT_EQ(expected, TableEntries());
    EXPECT_EQ((std::map<std::string, RegValue>{
                  {"PI", SzValue("3.25")}, {"ABCDEFGH", SzValue("J,5")}, {"", SzValue("X,5")}}),
              ValueMap(AllValues(kConstantsKey)));
}

// ===========================================================================
// Saving

TEST_F(StoreConstantsSave, ConstantsKeyHoldsExactlyTheCurrentTable) {
    // Stale values of every kind, the program's own and foreign ones: more
    // than 256, long names, long data, another type under a current name.
    for (int i = 0; i < 300; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "S%03d", i);
        SetText(kConstantsKey, name, "1");
    }
    SetText(kConstantsKey, "OLD", "2");
    SetText(kConstantsKey, std::string(200, 'L'), "3");
    SetRawValue(kConstantsKey, "BLOB", REG_BINARY, std::string(1000, '\x07'));
    SetDword(kConstantsKey, "PI", 3);
    ASSERT_TRUE(AppendConstant("PI", "3.25"));
    ASSERT_TRUE(AppendConstant("NEW", "5"));

    SaveSettings();
    EXPECT_EQ((std::map<std::string, RegValue>{{"PI", SzValue("3.25")}, {"NEW", SzValue("5")}}),
              ValueMap(AllValues(kConstantsKey)));

    // An empty table leaves the key in place and empty.
    ConstCount = 0;
    SaveSettings();
    EXPECT_TRUE(KeyExists(kConstantsKey));
    EXPECT_TRUE(AllValues(kConstantsKey).empty());
}

TEST_F(StoreConstantsSave, ConstantsAreWrittenInTableOrder) {
    // Table order is not name order here, so only the calls show it.
    ASSERT_TRUE(AppendConstant("ZETA", "1"));
    ASSERT_TRUE(AppendConstant("ALPHA", "2"));
    ASSERT_TRUE(AppendConstant("MID", "3"));
    std::vector<std::pair<std::string, RegValue>> writes;
    {
        RegistryRecorder recorder;
        SaveConstantsToRegistry();
        writes = recorder.writes;
    }
    EXPECT_EQ((std::vector<std::pair<std::string, RegValue>>{
                  {"ZETA", SzValue("1")}, {"ALPHA", SzValue("2")}, {"MID", SzValue("3")}}),
              writes);

    Settings.WriteIni = 1;
    SaveSettings();
    EXPECT_EQ((std::vector<std::string>{"C0=ZETA,1", "C1=ALPHA,2", "C2=MID,3"}),
              IniSection("CONSTANTS"));
}

TEST_F(StoreConstantsSave, ARepeatedNameKeepsTheValueExpressionsUse) {
    // A table imported from a hand-made file may hold a name twice; the
    // first slot is the one expressions find. The registry can hold the name
    // only once, so it keeps that first text: writing every slot would leave
    // the later one there, and the next start would quietly change what the
    // name means. The export keeps both entries as they were.
    WriteIniBytes(IniFile({"Version=3.05"}, {"C0=A,1", "C1=A,2", "C2=B,3"}));
    LoadConstantsFromIni();
    ASSERT_EQ(3, ConstCount);
    Settings.WriteIni = 1;
    std::vector<std::pair<std::string, RegValue>> writes;
    {
        RegistryRecorder recorder;
        SaveConstantsToRegistry();
        writes = recorder.writes;
    }
    EXPECT_EQ((std::vector<std::pair<std::string, RegValue>>{{"A", SzValue("1")},
                                                             {"B", SzValue("3")}}),
              writes);
    EXPECT_EQ(SzValue("1"), ReadValue(kConstantsKey, "A"));
    SaveSettings();
    EXPECT_EQ((std::vector<std::string>{"C0=A,1", "C1=A,2", "C2=B,3"}), IniSection("CONSTANTS"));

    // After a restart from the registry, A still means 1.
    ConstCount = 0;
    LoadConstantsFromRegistry();
    ASSERT_EQ(0, std::strcmp(ConstName[FindConstant("A")], "A"));
    EXPECT_EQ(1.0, ConstValue[FindConstant("A")]);
}

TEST_F(StoreConstantsSave, DeletedConstantStaysGoneInBothStores) {
    Settings.WriteIni = 1;
    ASSERT_TRUE(AppendConstant("A", "1"));
    ASSERT_TRUE(AppendConstant("B", "2"));
    ASSERT_TRUE(AppendConstant("C", "3"));
    SaveSettings();
    ASSERT_EQ(3u, AllValues(kConstantsKey).size());
    ASSERT_EQ(3u, IniSection("CONSTANTS").size());

    // B removed from the table, as the dialog's OK leaves it, then saved.
    std::memcpy(ConstName[1], ConstName[2], ConstNameSize);
    std::memcpy(ConstText[1], ConstText[2], ConstTextSize);
    ConstValue[1] = ConstValue[2];
    ConstCount = 2;
    SaveSettings();

    const std::vector<ConstantEntry> remaining = {{"A", "1", 1.0}, {"C", "3", 3.0}};
    EXPECT_EQ((std::map<std::string, RegValue>{{"A", SzValue("1")}, {"C", SzValue("3")}}),
              ValueMap(AllValues(kConstantsKey)));
    EXPECT_EQ((std::vector<std::string>{"C0=A,1", "C1=C,3"}), IniSection("CONSTANTS"));

    // A restart reads the registry ...
    ScribbleOverTable(0);
    SetDefaultSettings();
    LoadSettings();
    EXPECT_EQ(remaining, TableEntries());

    // ... and the exported file alone gives the same table.
    RegDeleteTreeA(HKEY_CURRENT_USER, kProductKey);
    ScribbleOverTable(0);
    SetDefaultSettings();
    LoadSettings();
    EXPECT_EQ(remaining, TableEntries());
}

// ===========================================================================
// A loaded constant in expressions

TEST_F(StoreConstantsSave, ConstantNamedLikeAFunctionHidesIt) {
    // Without the constant, SIN is the function.
    EXPECT_EQ("0", EvaluateText("SIN(0)"));
    EXPECT_EQ(kNotEvaluated, EvaluateText("SIN"));

    const struct {
        const char* label;
        void (*plant)();
    } stores[] = {
        {"registry",
         [] {
             SetText(kSettingsKey, "Version", "3.05");
             SetText(kConstantsKey, "SIN", "2.5");
         }},
        {"INI file", [] { WriteIniBytes(IniFile({"Version=3.05"}, {"C0=SIN,2.5"})); }},
    };
    for (const auto& store : stores) {
        SCOPED_TRACE(store.label);
        RemoveStores();
        ScribbleOverTable(0);
        SetDefaultSettings();
        BuildOutFormat(Settings.OutFormatSign, Settings.OutFormatType, Settings.OutFormatPrecision);
        store.plant();
        LoadSettings();
        EXPECT_EQ("2.5", EvaluateText("SIN"));
        EXPECT_EQ("5", EvaluateText("SIN*2"));
        EXPECT_EQ("5", EvaluateText("sin*2"));
    }
}

}  // namespace
}  // namespace zarl_store_test
