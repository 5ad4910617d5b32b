// Tests of the settings storage against the real registry and ZARL.INI: what
// a first start creates, which store a start reads, the read rule of every
// stored option in each store, the forms and order in which options are
// written, the INI export, and damaged stores (wrong value types, over-long
// values, garbage lines), each of which must fall back value by value without
// disturbing the others.

#include <functional>

#include "tests/win/store_fixture.h"

namespace zarl_store_test {
namespace {

using S = SettingsRecord;

// Loads from one store, starting from a record in which every field holds a
// value no load produces (so an unassigned field shows).
void LoadRegistryFromPoison() {
    Settings = PoisonedRecord();
    AngleInFactor = AngleOutFactor = 7.0;
    LoadSettingsFromRegistry();
}

void LoadIniFromPoison() {
    Settings = PoisonedRecord();
    AngleInFactor = AngleOutFactor = 7.0;
    LoadSettingsFromIni();
}

// The angle factors must follow whatever AngleUnit was loaded.
void ExpectFactorsFollowAngleUnit() {
    double in = Settings.AngleUnit == 1 ? DegreesToRadians : 1.0;
    double out = Settings.AngleUnit == 1 ? RadiansToDegrees : 1.0;
    EXPECT_EQ(in, AngleInFactor);
    EXPECT_EQ(out, AngleOutFactor);
}

// A start as the program makes it: defaults and an empty table, then
// LoadSettings. The current positions are set apart from their defaults, so
// that "keeps the current value" and "falls back to the default" can be told
// apart.
void StartWithPositions(int rx, int ry, int ix, int iy) {
    ScribbleOverTable(0);
    PreviousResult = 0;
    SetDefaultSettings();
    BuildOutFormat(Settings.OutFormatSign, Settings.OutFormatType, Settings.OutFormatPrecision);
    Settings.ResultWindowPosX = rx;
    Settings.ResultWindowPosY = ry;
    Settings.ImdWindowPosX = ix;
    Settings.ImdWindowPosY = iy;
    LoadSettings();
}

// What the Settings key holds after a start that ended with the given record.
std::map<std::string, RegValue> RegistryAfterStart(const S& s) {
    auto values = ExpectedSettingsValues(s);
    auto positions = ExpectedPositionValues(s);
    values.insert(values.end(), positions.begin(), positions.end());
    return ValueMap(values);
}

std::vector<std::string> Replaced(std::vector<std::string> lines, const std::string& key,
                                  const std::vector<std::string>& replacement) {
    auto it = std::find_if(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.rfind(key + "=", 0) == 0; });
    EXPECT_NE(lines.end(), it) << "no line for " << key;
    if (it == lines.end()) return lines;
    it = lines.erase(it);
    lines.insert(it, replacement.begin(), replacement.end());
    return lines;
}

// ===========================================================================
// First start and the choice of store

using StoreFirstStart = StoreTest;

TEST_F(StoreFirstStart, CreatesBothKeysHoldingEveryDefault) {
    LoadSettings();

    EXPECT_EQ(Describe(DefaultRecord()), Describe(Settings));
    EXPECT_EQ(1.0, AngleInFactor);
    EXPECT_EQ(1.0, AngleOutFactor);
    EXPECT_EQ("0.333333333333333", EvaluateText("1/3"));

    // Written out byte for byte: texts carry their zero byte, numbers are
    // 4-byte DWORDs.
    const std::map<std::string, RegValue> expected = {
        {"Version", {REG_SZ, std::string("3.05\0", 5)}},
        {"EvalKey", {REG_SZ, std::string("=\0", 2)}},
        {"EvalKeyPosition", {REG_SZ, std::string("SUFFIX\0", 7)}},
        {"Delay", {REG_DWORD, std::string("\0\0\0\0", 4)}},
        {"AngleUnit", {REG_SZ, std::string("Rad\0", 4)}},
        {"OutFormatSign", {REG_SZ, std::string("-\0", 2)}},
        {"OutFormatType", {REG_SZ, std::string("g\0", 2)}},
        {"OutFormatPrecision", {REG_DWORD, std::string("\x0f\0\0\0", 4)}},
        {"InsThousandSep", {REG_SZ, std::string("No\0", 3)}},
        {"ShiftJIS", {REG_SZ, std::string("No\0", 3)}},
        {"HexadecimalForm", {REG_SZ, std::string("SIGNED\0", 7)}},
        {"NoCopy", {REG_SZ, std::string("No\0", 3)}},
        {"AttachResToImd", {REG_SZ, std::string("No\0", 3)}},
        {"ShowResultWindow", {REG_SZ, std::string("No\0", 3)}},
        {"ShowImdWindow", {REG_SZ, std::string("No\0", 3)}},
        {"ResultWindowFloat", {REG_SZ, std::string("No\0", 3)}},
        {"ImdWindowFloat", {REG_SZ, std::string("No\0", 3)}},
        {"WriteIni", {REG_SZ, std::string("No\0", 3)}},
        {"ResultWindowPosX", {REG_DWORD, std::string("\x0a\0\0\0", 4)}},
        {"ResultWindowPosY", {REG_DWORD, std::string("\x3c\0\0\0", 4)}},
        {"ImdWindowPosX", {REG_DWORD, std::string("\x0a\0\0\0", 4)}},
        {"ImdWindowPosY", {REG_DWORD, std::string("\x0a\0\0\0", 4)}},
    };
    EXPECT_EQ(expected, ValueMap(AllValues(kSettingsKey)));
    EXPECT_TRUE(KeyExists(kConstantsKey));
    EXPECT_TRUE(AllValues(kConstantsKey).empty());
    EXPECT_EQ(0, ConstCount);
    // The export is off, so the first start leaves the Windows directory alone.
    EXPECT_FALSE(IniExists());
}

TEST_F(StoreFirstStart, SavedRecordComesBackAtTheNextStart) {
    UseRecord(TunedRecord());
    SaveSettings();
    SaveResultWindowPos();
    SaveImdWindowPos();

    StartWithPositions(1, 2, 3, 4);
    EXPECT_EQ(Describe(TunedRecord()), Describe(Settings));
    ExpectFactorsFollowAngleUnit();
    EXPECT_EQ(DegreesToRadians, AngleInFactor);
    // The loaded format reaches the formatter: "+", "E", 7 digits.
    EXPECT_EQ("+3.3333333E-001", EvaluateText("1/3"));
    EXPECT_EQ(RegistryAfterStart(TunedRecord()), ValueMap(AllValues(kSettingsKey)));
}

TEST_F(StoreFirstStart, WriteIniIsOffAfterEveryStart) {
    // Stored "Yes" in the registry.
    WriteRegistryStore(TunedRecord(), "Yes");
    StartWithPositions(1, 2, 3, 4);
    EXPECT_EQ(0, Settings.WriteIni);
    EXPECT_EQ(SzValue("No"), ReadValue(kSettingsKey, "WriteIni"));
    EXPECT_FALSE(IniExists()) << "the start exported although WriteIni must be off";

    // And an INI file that names it (the program never writes that key).
    RemoveStores();
    std::vector<std::string> lines = IniZarlLines(TunedRecord());
    lines.push_back("WriteIni=Yes");
    const std::string file = IniFile(lines);
    WriteIniBytes(file);
    StartWithPositions(1, 2, 3, 4);
    EXPECT_EQ(Describe(TunedRecord()), Describe(Settings));
    EXPECT_EQ(file, ReadIniBytes()) << "the INI file changed although WriteIni must be off";
}

TEST_F(StoreFirstStart, KeysAreCreatedPersistentWithAnEmptyClass) {
    LoadSettings();
    for (const char* path :
         {kProductKey, "Software\\Brenmoor\\ZARL", kSettingsKey, kConstantsKey}) {
        SCOPED_TRACE(path);
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key));
        char cls[64] = "unread";
        DWORD cls_len = sizeof cls;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegQueryInfoKeyA(key, cls, &cls_len, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ("", std::string(cls, cls_len));
        // A volatile key (gone at the next log-on) refuses persistent children.
        HKEY child = nullptr;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(key, "PersistentChild", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &child, nullptr));
        if (child) {
            RegCloseKey(child);
            RegDeleteKeyA(key, "PersistentChild");
        }
        RegCloseKey(key);
    }
}

enum class Source { Registry, Ini, Defaults };

struct ChoiceCase {
    const char* label;
    bool registry;                    // a Settings key exists
    std::optional<RegValue> version;  // its "Version" value
    const char* ini_version;          // the INI "Version" text, or none
    Source expected;
};

TEST_F(StoreFirstStart, VersionValueDecidesWhichStoreIsRead) {
    const std::string s15(15, '9'), s16(16, '9'), s100(100, 'x');
    const ChoiceCase cases[] = {
        // Any registry "Version" that fits 16 bytes selects the registry.
        {"registry 0.00", true, SzValue("0.00"), "3.05", Source::Registry},
        {"registry 3.05", true, SzValue("3.05"), "3.05", Source::Registry},
        {"registry empty text", true, SzValue(""), "3.05", Source::Registry},
        {"registry text that is no number", true, SzValue("no number"), "3.05", Source::Registry},
        {"registry 15 characters", true, SzValue(s15), "3.05", Source::Registry},
        {"registry DWORD (types are not checked)", true, DwordValue(305), "3.05", Source::Registry},
        {"registry 16 bytes of binary", true, RegValue{REG_BINARY, std::string(16, '\x01')}, "3.05",
         Source::Registry},
        // One that does not fit counts as missing: the INI file is read.
        {"registry 16 characters", true, SzValue(s16), "3.05", Source::Ini},
        {"registry 100 characters", true, SzValue(s100), "3.05", Source::Ini},
        {"registry 17 bytes of binary", true, RegValue{REG_BINARY, std::string(17, '\x01')}, "3.05",
         Source::Ini},
        {"Settings key without Version", true, std::nullopt, "3.05", Source::Ini},
        // No registry: the INI file counts from version 2.0 on.
        {"INI 2", false, std::nullopt, "2", Source::Ini},
        {"INI 2.0", false, std::nullopt, "2.0", Source::Ini},
        {"INI 3.05", false, std::nullopt, "3.05", Source::Ini},
        {"INI 2abc (the number prefix counts)", false, std::nullopt, "2abc", Source::Ini},
        {"INI 1e1", false, std::nullopt, "1e1", Source::Ini},
        {"INI 000000002 (9 characters fit)", false, std::nullopt, "000000002", Source::Ini},
        {"INI 0000000002 (cut to 9 characters, 0)", false, std::nullopt, "0000000002",
         Source::Defaults},
        {"INI 1.99", false, std::nullopt, "1.99", Source::Defaults},
        {"INI -3", false, std::nullopt, "-3", Source::Defaults},
        {"INI abc", false, std::nullopt, "abc", Source::Defaults},
        {"INI empty Version", false, std::nullopt, "", Source::Defaults},
        {"INI without Version", false, std::nullopt, nullptr, Source::Defaults},
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.label);
        RemoveStores();
        if (c.registry) {
            if (c.version) SetValue(kSettingsKey, "Version", *c.version);
            SetText(kSettingsKey, "EvalKey", "?");
            SetText(kSettingsKey, "AngleUnit", "Deg");
        }
        std::vector<std::string> ini;
        if (c.ini_version) ini.push_back(std::string("Version=") + c.ini_version);
        ini.push_back("EvalKey=!");
        ini.push_back("Delay=1");
        ini.push_back("AngleUnit=Rad");
        ini.push_back("ImdWindowPosX=77");
        const std::string file = IniFile(ini, {"C0=INI,1"});
        WriteIniBytes(file);

        StartWithPositions(1, 2, 3, 4);

        S expected = DefaultRecord();
        expected.ResultWindowPosX = 1;
        expected.ResultWindowPosY = 2;
        expected.ImdWindowPosX = 3;
        expected.ImdWindowPosY = 4;
        switch (c.expected) {
            case Source::Registry:
                expected.EvalKey = '?';
                expected.AngleUnit = 1;
                // Missing registry positions fall back to their defaults.
                expected.ResultWindowPosX = 10;
                expected.ResultWindowPosY = 60;
                expected.ImdWindowPosX = 10;
                expected.ImdWindowPosY = 10;
                break;
            case Source::Ini:
                expected.EvalKey = '!';
                expected.Delay = 1;
                expected.ImdWindowPosX = 77;
                break;
            case Source::Defaults: break;
        }
        EXPECT_EQ(Describe(expected), Describe(Settings));
        EXPECT_EQ(c.expected == Source::Ini ? 1 : 0, ConstCount);
        // The INI file is only read: Delay is not 0, so nothing is written back.
        EXPECT_EQ(file, ReadIniBytes());
        // Every start rewrites the registry, with the current version.
        EXPECT_EQ(RegistryAfterStart(expected), ValueMap(AllValues(kSettingsKey)));
    }
}

TEST_F(StoreFirstStart, IniImportIsCopiedIntoTheRegistry) {
    const std::string file = IniFile(IniZarlLines(TunedRecord()), {"C0=PI,3.25", "C1=TWO,2"});
    WriteIniBytes(file);
    StartWithPositions(1, 2, 3, 4);

    EXPECT_EQ(Describe(TunedRecord()), Describe(Settings));
    ExpectFactorsFollowAngleUnit();
    EXPECT_EQ("+6.6666667E-001", EvaluateText("2/3"));
    EXPECT_EQ(RegistryAfterStart(TunedRecord()), ValueMap(AllValues(kSettingsKey)));
    EXPECT_EQ((std::map<std::string, RegValue>{{"PI", SzValue("3.25")}, {"TWO", SzValue("2")}}),
              ValueMap(AllValues(kConstantsKey)));
    EXPECT_EQ(file, ReadIniBytes());

    // From now on the registry is the store of record: a changed INI file is
    // not read again.
    WriteIniBytes(IniFile({"Version=3.05", "EvalKey=!", "Delay=1"}));
    StartWithPositions(1, 2, 3, 4);
    EXPECT_EQ(Describe(TunedRecord()), Describe(Settings));
    EXPECT_EQ(2, ConstCount);
}

// ===========================================================================
// Read rules, value by value, in both stores

struct RuleCase {
    std::string label;
    const char* reg_name;
    const char* ini_name;
    std::string text;
    std::function<void(S&)> expect;  // applied to EmptyStoreRecord()
};

std::vector<RuleCase> TextRuleCases() {
    std::vector<RuleCase> cases;
    auto add = [&](const char* reg, const char* ini, const std::string& text,
                   std::function<void(S&)> f) {
        cases.push_back({std::string(reg) + "=" + Escaped(text), reg, ini, text, std::move(f)});
    };

    // Stored texts match exactly, letter case included; prefixes and longer
    // texts match nothing.
    add("AngleUnit", "AngleUnit", "Deg", [](S& s) { s.AngleUnit = 1; });
    for (const char* t : {"deg", "DEG", "Rad", "De", "Degr", ""})
        add("AngleUnit", "AngleUnit", t, [](S& s) { s.AngleUnit = 0; });

    add("EvalKeyPosition", "EvalKeyPosition", "PREFIX", [](S& s) { s.EvalKeyPosition = 0; });
    for (const char* t : {"prefix", "Prefix", "SUFFIX", "suffix", "PREFI", "PREFIXE", ""})
        add("EvalKeyPosition", "EvalKeyPosition", t, [](S& s) { s.EvalKeyPosition = 1; });

    // The evaluation key: the first character, if it is one of the six.
    for (char key : std::string("=?!@#+"))
        add("EvalKey", "EvalKey", std::string(1, key), [key](S& s) { s.EvalKey = key; });
    add("EvalKey", "EvalKey", "", [](S& s) { s.EvalKey = '='; });
    add("EvalKey", "EvalKey", "a", [](S& s) { s.EvalKey = '='; });
    add("EvalKey", "EvalKey", "x?", [](S& s) { s.EvalKey = '='; });
    add("EvalKey", "EvalKey", "?!", [](S& s) { s.EvalKey = '?'; });
    add("EvalKey", "EvalKey", "#=", [](S& s) { s.EvalKey = '#'; });
    add("EvalKey", "EvalKey", "@" + std::string(14, 'x'), [](S& s) { s.EvalKey = '@'; });

    add("OutFormatSign", "OutFormatSign", "+", [](S& s) { SetText32(s.OutFormatSign, "+"); });
    for (const char* t : {"-", "++", "+-", "plus", ""})
        add("OutFormatSign", "OutFormatSign", t, [](S& s) { SetText32(s.OutFormatSign, "-"); });

    for (const char* t : {"g", "G", "e", "E", "f"})
        add("OutFormatType", "OutFormatType", t, [t](S& s) { SetText32(s.OutFormatType, t); });
    for (const char* t : {"F", "d", "x", "gg", "lg", "%g", ""})
        add("OutFormatType", "OutFormatType", t, [](S& s) { SetText32(s.OutFormatType, "g"); });

    add("HexadecimalForm", "HexadecimalForm", "COMPLEMENT_8BIT",
        [](S& s) { s.HexadecimalForm = 1; });
    add("HexadecimalForm", "HexadecimalForm", "COMPLEMENT_16BIT",
        [](S& s) { s.HexadecimalForm = 2; });
    add("HexadecimalForm", "HexadecimalForm", "COMPLEMENT_32BIT",
        [](S& s) { s.HexadecimalForm = 3; });
    for (const char* t : {"SIGNED", "signed", "complement_8bit", "COMPLEMENT_8", "COMPLEMENT_8BITS",
                          "COMPLEMENT_64BIT", "1", ""})
        add("HexadecimalForm", "HexadecimalForm", t, [](S& s) { s.HexadecimalForm = 0; });

    // Every flag: only "Yes" sets it, and it sets no other field.
    struct Flag {
        const char* reg;
        const char* ini;
        int S::*field;
    };
    const Flag flags[] = {
        {"InsThousandSep", "InsComma", &S::InsThousandSep},
        {"ShiftJIS", "ShiftJIS", &S::ShiftJIS},
        {"NoCopy", "NoCopy", &S::NoCopy},
        {"AttachResToImd", "AttachResToImd", &S::AttachResToImd},
        {"ShowResultWindow", "ShowResultWindow", &S::ShowResultWindow},
        {"ShowImdWindow", "ShowImdWindow", &S::ShowImdWindow},
        {"ResultWindowFloat", "ResultWindowFloat", &S::ResultWindowFloat},
        {"ImdWindowFloat", "ImdWindowFloat", &S::ImdWindowFloat},
    };
    for (const Flag& f : flags) {
        int S::*field = f.field;
        add(f.reg, f.ini, "Yes", [field](S& s) { s.*field = 1; });
        for (const char* t : {"yes", "YES", "Y", "Ye", "Yess", "No", "1", ""})
            add(f.reg, f.ini, t, [field](S& s) { s.*field = 0; });
    }
    return cases;
}

using StoreRegistryRules = StoreTest;
using StoreIniRules = StoreTest;

TEST_F(StoreRegistryRules, EachStoredTextLoadsByTheKeyTable) {
    for (const RuleCase& c : TextRuleCases()) {
        SCOPED_TRACE(c.label);
        RemoveStores();
        SetText(kSettingsKey, c.reg_name, c.text);
        LoadRegistryFromPoison();
        S expected = EmptyStoreRecord();
        c.expect(expected);
        EXPECT_EQ(Describe(expected), Describe(Settings));
        ExpectFactorsFollowAngleUnit();
    }
}

TEST_F(StoreIniRules, EachStoredTextLoadsByTheKeyTable) {
    for (const RuleCase& c : TextRuleCases()) {
        SCOPED_TRACE(c.label);
        RemoveStores();
        WriteIniBytes(IniFile({std::string(c.ini_name) + "=" + c.text}));
        LoadIniFromPoison();
        S expected = EmptyStoreRecord();
        c.expect(expected);
        EXPECT_EQ(Describe(expected), Describe(Settings));
        ExpectFactorsFollowAngleUnit();
    }
}

TEST_F(StoreRegistryRules, EmptyStoreGivesEveryFallbackAndKeepsWriteIniAndPositions) {
    // Neither the Settings key nor any value: every read counts as missing.
    LoadRegistryFromPoison();
    EXPECT_EQ(Describe(EmptyStoreRecord()), Describe(Settings));
    ExpectFactorsFollowAngleUnit();

    // A full store: the positions and WriteIni are not this load's business.
    RemoveStores();
    WriteRegistryStore(TunedRecord(), "Yes");
    LoadRegistryFromPoison();
    S expected = TunedRecord();
    const S poison = PoisonedRecord();
    expected.WriteIni = poison.WriteIni;
    expected.ResultWindowPosX = poison.ResultWindowPosX;
    expected.ResultWindowPosY = poison.ResultWindowPosY;
    expected.ImdWindowPosX = poison.ImdWindowPosX;
    expected.ImdWindowPosY = poison.ImdWindowPosY;
    EXPECT_EQ(Describe(expected), Describe(Settings));
    ExpectFactorsFollowAngleUnit();
}

TEST_F(StoreIniRules, EmptyStoreGivesEveryFallbackAndKeepsWriteIniAndPositions) {
    WriteIniBytes(IniFile({"Version=3.05"}));
    LoadIniFromPoison();
    EXPECT_EQ(Describe(EmptyStoreRecord()), Describe(Settings));
    ExpectFactorsFollowAngleUnit();

    RemoveStores();
    std::vector<std::string> lines = IniZarlLines(TunedRecord());
    lines.push_back("WriteIni=Yes");
    WriteIniBytes(IniFile(lines));
    LoadIniFromPoison();
    S expected = TunedRecord();
    const S poison = PoisonedRecord();
    expected.WriteIni = poison.WriteIni;
    expected.ResultWindowPosX = poison.ResultWindowPosX;
    expected.ResultWindowPosY = poison.ResultWindowPosY;
    expected.ImdWindowPosX = poison.ImdWindowPosX;
    expected.ImdWindowPosY = poison.ImdWindowPosY;
    EXPECT_EQ(Describe(expected), Describe(Settings));
}

TEST_F(StoreRegistryRules, EachStoreUsesItsOwnNameForThousandsSeparators) {
    SetText(kSettingsKey, "InsComma", "Yes");
    LoadRegistryFromPoison();
    EXPECT_EQ(0, Settings.InsThousandSep) << "the registry value is InsThousandSep, not InsComma";

    RemoveStores();
    WriteIniBytes(IniFile({"InsThousandSep=Yes"}));
    LoadIniFromPoison();
    EXPECT_EQ(0, Settings.InsThousandSep) << "the INI key is InsComma, not InsThousandSep";
}

TEST_F(StoreRegistryRules, TextBuffersBoundWhatMatches) {
    // Text values are read into 16 bytes: 15 characters and the zero byte fit,
    // one more character makes the value count as missing.
    const struct {
        const char* name;
        std::string text;
        std::function<void(S&)> expect;
    } cases[] = {
        {"EvalKey", "?" + std::string(14, 'x'), [](S& s) { s.EvalKey = '?'; }},
        {"EvalKey", "?" + std::string(15, 'x'), [](S& s) { s.EvalKey = '='; }},
        {"EvalKey", "?" + std::string(200, 'x'), [](S& s) { s.EvalKey = '='; }},
        // "HexadecimalForm" and "OutFormatType" are read into 32 bytes, which
        // is what lets "COMPLEMENT_16BIT" (17 bytes with its zero) load at all.
        {"HexadecimalForm", "COMPLEMENT_32BIT", [](S& s) { s.HexadecimalForm = 3; }},
        {"HexadecimalForm", "COMPLEMENT_32BIT" + std::string(15, ' '),
         [](S& s) { s.HexadecimalForm = 0; }},
        {"HexadecimalForm", "COMPLEMENT_32BIT" + std::string(16, ' '),
         [](S& s) { s.HexadecimalForm = 0; }},
        {"OutFormatType", "E" + std::string(30, ' '),
         [](S& s) { SetText32(s.OutFormatType, "g"); }},
        {"OutFormatType", "E" + std::string(31, ' '),
         [](S& s) { SetText32(s.OutFormatType, "g"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + Escaped(c.text));
        RemoveStores();
        SetText(kSettingsKey, c.name, c.text);
        LoadRegistryFromPoison();
        S expected = EmptyStoreRecord();
        c.expect(expected);
        EXPECT_EQ(Describe(expected), Describe(Settings));
    }
}

TEST_F(StoreIniRules, LongTextsArriveCutAndStillCountByTheirStart) {
    const struct {
        const char* name;
        std::string text;
        std::function<void(S&)> expect;
    } cases[] = {
        {"EvalKey", "?" + std::string(300, 'x'), [](S& s) { s.EvalKey = '?'; }},
        {"EvalKey", "+" + std::string(3000, '='), [](S& s) { s.EvalKey = '+'; }},
        {"AngleUnit", "Deg" + std::string(300, 'g'), [](S& s) { s.AngleUnit = 0; }},
        {"ShiftJIS", "Yes" + std::string(300, 's'), [](S& s) { s.ShiftJIS = 0; }},
        {"HexadecimalForm", "COMPLEMENT_8BIT" + std::string(300, 'T'),
         [](S& s) { s.HexadecimalForm = 0; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.text.substr(0, 20) + "...");
        RemoveStores();
        WriteIniBytes(IniFile({std::string(c.name) + "=" + c.text}));
        LoadIniFromPoison();
        S expected = EmptyStoreRecord();
        c.expect(expected);
        EXPECT_EQ(Describe(expected), Describe(Settings));
    }
}

TEST_F(StoreRegistryRules, DelayTakesTheLargestOfferedValueNotAbove) {
    const struct {
        uint32_t stored;
        int expected;
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
        {70000, 100},
        {0x80000000u, 100},
        {0xFFFFFFFFu, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("Delay " + std::to_string(c.stored));
        RemoveStores();
        SetDword(kSettingsKey, "Delay", c.stored);
        LoadRegistryFromPoison();
        EXPECT_EQ(c.expected, Settings.Delay);
    }
}

TEST_F(StoreIniRules, DelayIsTheLow16BitsAndZeroIsWrittenBack) {
    const struct {
        const char* line;  // the Delay line, or none
        int expected;
        bool written_back;
    } cases[] = {
        {"Delay=50", 50, false},      {"Delay=1", 1, false},      {"Delay=65535", 65535, false},
        {"Delay=70000", 4464, false}, {"Delay=-1", 65535, false}, {"Delay=0", 0, true},
        {"Delay=65536", 0, true},     {"Delay=131072", 0, true},  {"Delay=abc", 0, true},
        {nullptr, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line ? c.line : "no Delay line");
        RemoveStores();
        std::vector<std::string> lines;
        if (c.line) lines.push_back(c.line);
        lines.push_back("AngleUnit=Deg");
        WriteIniBytes(IniFile(lines));
        LoadIniFromPoison();
        EXPECT_EQ(c.expected, Settings.Delay);

        // A zero delay is written back as "0": in place of the line it came
        // from, or (when there was none) as a new key at the section's end.
        std::vector<std::string> expected_lines = lines;
        if (c.written_back) {
            if (c.line)
                expected_lines[0] = "Delay=0";
            else
                expected_lines.push_back("Delay=0");
        }
        EXPECT_EQ(expected_lines, IniSection("ZARL"));
    }
}

TEST_F(StoreIniRules, DelayOutsideTheOfferedValuesIsSnappedOnceSavedToTheRegistry) {
    const struct {
        const char* line;
        int first;   // loaded from the INI file
        int second;  // loaded from the registry at the next start
    } cases[] = {
        {"Delay=50", 50, 10},
        {"Delay=70000", 4464, 100},
        {"Delay=7", 7, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        RemoveStores();
        WriteIniBytes(IniFile({"Version=3.05", c.line}));
        StartWithPositions(10, 60, 10, 10);
        EXPECT_EQ(c.first, Settings.Delay);
        EXPECT_EQ(DwordValue(static_cast<uint32_t>(c.first)), ReadValue(kSettingsKey, "Delay"));
        StartWithPositions(10, 60, 10, 10);
        EXPECT_EQ(c.second, Settings.Delay);
    }
}

TEST_F(StoreRegistryRules, PrecisionAboveFifteenTakenUnsignedGivesFifteen) {
    const struct {
        uint32_t stored;
        int expected;
        const char* two_thirds;  // 2/3 in the loaded format
    } cases[] = {
        {0, 0, "0.7"},
        {7, 7, "0.6666667"},
        {15, 15, "0.666666666666667"},
        {16, 15, "0.666666666666667"},
        {20, 15, "0.666666666666667"},
        {0x7FFFFFFFu, 15, "0.666666666666667"},
        {0x80000000u, 15, "0.666666666666667"},
        {0xFFFFFFFDu, 15, "0.666666666666667"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("OutFormatPrecision " + std::to_string(c.stored));
        RemoveStores();
        SetDword(kSettingsKey, "OutFormatPrecision", c.stored);
        LoadRegistryFromPoison();
        EXPECT_EQ(c.expected, Settings.OutFormatPrecision);
        EXPECT_EQ(c.two_thirds, EvaluateText("2/3"));
    }
}

TEST_F(StoreIniRules, PrecisionIsLimitedToZeroThroughFifteen) {
    const struct {
        const char* line;  // or none
        int expected;
        const char* two_thirds;
    } cases[] = {
        {nullptr, 15, "0.666666666666667"},
        {"OutFormatPrecision=0", 0, "0.7"},
        {"OutFormatPrecision=7", 7, "0.6666667"},
        {"OutFormatPrecision=15", 15, "0.666666666666667"},
        {"OutFormatPrecision=16", 15, "0.666666666666667"},
        {"OutFormatPrecision=20", 15, "0.666666666666667"},
        {"OutFormatPrecision=-1", 0, "0.7"},
        {"OutFormatPrecision=-3", 0, "0.7"},
        {"OutFormatPrecision=-2147483648", 0, "0.7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line ? c.line : "no OutFormatPrecision line");
        RemoveStores();
        std::vector<std::string> lines{"Delay=1"};
        if (c.line) lines.push_back(c.line);
        WriteIniBytes(IniFile(lines));
        LoadIniFromPoison();
        EXPECT_EQ(c.expected, Settings.OutFormatPrecision);
        EXPECT_EQ(c.two_thirds, EvaluateText("2/3"));
    }
}

TEST_F(StoreRegistryRules, LoadedFormatReachesTheFormatter) {
    SetText(kSettingsKey, "OutFormatSign", "+");
    SetText(kSettingsKey, "OutFormatType", "f");
    SetDword(kSettingsKey, "OutFormatPrecision", 3);
    LoadRegistryFromPoison();
    EXPECT_EQ("+0.667", EvaluateText("2/3"));

    RemoveStores();
    SetText(kSettingsKey, "AngleUnit", "Deg");
    LoadRegistryFromPoison();
    EXPECT_EQ("1", EvaluateText("SIN(90)"));
}

TEST_F(StoreIniRules, LoadedFormatReachesTheFormatter) {
    WriteIniBytes(IniFile({"OutFormatSign=+", "OutFormatType=f", "OutFormatPrecision=3"}));
    LoadIniFromPoison();
    EXPECT_EQ("+0.667", EvaluateText("2/3"));

    RemoveStores();
    WriteIniBytes(IniFile({"AngleUnit=Deg"}));
    LoadIniFromPoison();
    EXPECT_EQ("1", EvaluateText("SIN(90)"));
}

TEST_F(StoreRegistryRules, MissingPositionsGiveTheirDefaults) {
    Settings.ResultWindowPosX = 1;
    Settings.ResultWindowPosY = 2;
    Settings.ImdWindowPosX = 3;
    Settings.ImdWindowPosY = 4;
    LoadResultWindowPos();
    EXPECT_EQ(10, Settings.ResultWindowPosX);
    EXPECT_EQ(60, Settings.ResultWindowPosY);
    EXPECT_EQ(3, Settings.ImdWindowPosX)
        << "the Result window's load touched the Immediate window's position";
    EXPECT_EQ(4, Settings.ImdWindowPosY);
    LoadImdWindowPos();
    EXPECT_EQ(10, Settings.ImdWindowPosX);
    EXPECT_EQ(10, Settings.ImdWindowPosY);

    // Stored positions are signed screen coordinates.
    SetDword(kSettingsKey, "ResultWindowPosX", static_cast<uint32_t>(-100));
    SetDword(kSettingsKey, "ResultWindowPosY", 2000);
    SetDword(kSettingsKey, "ImdWindowPosX", static_cast<uint32_t>(-1));
    SetDword(kSettingsKey, "ImdWindowPosY", 0x7FFFFFFF);
    LoadResultWindowPos();
    LoadImdWindowPos();
    EXPECT_EQ(-100, Settings.ResultWindowPosX);
    EXPECT_EQ(2000, Settings.ResultWindowPosY);
    EXPECT_EQ(-1, Settings.ImdWindowPosX);
    EXPECT_EQ(0x7FFFFFFF, Settings.ImdWindowPosY);
}

TEST_F(StoreIniRules, MissingPositionsKeepTheCurrentValue) {
    WriteIniBytes(IniFile({"Version=3.05", "ResultWindowPosX=-40", "ImdWindowPosY=5"}));
    StartWithPositions(1, 2, 3, 4);
    EXPECT_EQ(-40, Settings.ResultWindowPosX);
    EXPECT_EQ(2, Settings.ResultWindowPosY);
    EXPECT_EQ(3, Settings.ImdWindowPosX);
    EXPECT_EQ(5, Settings.ImdWindowPosY);
    // ... and the start copies them into the registry.
    EXPECT_EQ(DwordValue(static_cast<uint32_t>(-40)), ReadValue(kSettingsKey, "ResultWindowPosX"));
    EXPECT_EQ(DwordValue(2), ReadValue(kSettingsKey, "ResultWindowPosY"));
    EXPECT_EQ(DwordValue(3), ReadValue(kSettingsKey, "ImdWindowPosX"));
    EXPECT_EQ(DwordValue(5), ReadValue(kSettingsKey, "ImdWindowPosY"));
}

// ===========================================================================
// Saving

using StoreSave = StoreTest;

TEST_F(StoreSave, SaveSettingsWritesTheWholeRecordButThePositions) {
    UseRecord(TunedRecord());
    SaveSettings();
    EXPECT_EQ(ValueMap(ExpectedSettingsValues(TunedRecord())), ValueMap(AllValues(kSettingsKey)));
    EXPECT_TRUE(KeyExists(kConstantsKey));
    EXPECT_FALSE(IniExists());
}

struct FormCase {
    std::string label;
    std::function<void(S&)> set;
    const char* reg_name;
    RegValue reg;
    const char* ini_name;
    std::string ini_text;
};

TEST_F(StoreSave, EachFieldIsWrittenInItsStoredForm) {
    std::vector<FormCase> cases;
    auto text = [&](std::string label, std::function<void(S&)> set, const char* reg,
                    const char* ini, const std::string& form) {
        cases.push_back({label, set, reg, SzValue(form), ini, form});
    };
    auto number = [&](std::string label, std::function<void(S&)> set, const char* name, int32_t v) {
        cases.push_back(
            {label, set, name, DwordValue(static_cast<uint32_t>(v)), name, std::to_string(v)});
    };
    text(
        "EvalKey !", [](S& s) { s.EvalKey = '!'; }, "EvalKey", "EvalKey", "!");
    text(
        "EvalKey +", [](S& s) { s.EvalKey = '+'; }, "EvalKey", "EvalKey", "+");
    text(
        "prefix", [](S& s) { s.EvalKeyPosition = 0; }, "EvalKeyPosition", "EvalKeyPosition",
        "PREFIX");
    text(
        "suffix", [](S& s) { s.EvalKeyPosition = 1; }, "EvalKeyPosition", "EvalKeyPosition",
        "SUFFIX");
    text(
        "position 2", [](S& s) { s.EvalKeyPosition = 2; }, "EvalKeyPosition", "EvalKeyPosition",
        "SUFFIX");
    text(
        "position -1", [](S& s) { s.EvalKeyPosition = -1; }, "EvalKeyPosition", "EvalKeyPosition",
        "SUFFIX");
    number(
        "Delay 0", [](S& s) { s.Delay = 0; }, "Delay", 0);
    number(
        "Delay 4464", [](S& s) { s.Delay = 4464; }, "Delay", 4464);
    number(
        "Delay 65535", [](S& s) { s.Delay = 65535; }, "Delay", 65535);
    text(
        "degrees", [](S& s) { s.AngleUnit = 1; }, "AngleUnit", "AngleUnit", "Deg");
    text(
        "radians", [](S& s) { s.AngleUnit = 0; }, "AngleUnit", "AngleUnit", "Rad");
    text(
        "angle 2", [](S& s) { s.AngleUnit = 2; }, "AngleUnit", "AngleUnit", "Rad");
    text(
        "sign +", [](S& s) { SetText32(s.OutFormatSign, "+"); }, "OutFormatSign", "OutFormatSign",
        "+");
    text(
        "type f", [](S& s) { SetText32(s.OutFormatType, "f"); }, "OutFormatType", "OutFormatType",
        "f");
    number(
        "precision 0", [](S& s) { s.OutFormatPrecision = 0; }, "OutFormatPrecision", 0);
    number(
        "precision 15", [](S& s) { s.OutFormatPrecision = 15; }, "OutFormatPrecision", 15);
    for (int v = -1; v <= 4; ++v)
        text(
            "hex " + std::to_string(v), [v](S& s) { s.HexadecimalForm = v; }, "HexadecimalForm",
            "HexadecimalForm", HexText(v));
    text(
        "separators on", [](S& s) { s.InsThousandSep = 1; }, "InsThousandSep", "InsComma", "Yes");
    text(
        "separators off", [](S& s) { s.InsThousandSep = 0; }, "InsThousandSep", "InsComma", "No");
    const struct {
        const char* name;
        int S::*field;
    } flags[] = {
        {"ShiftJIS", &S::ShiftJIS},
        {"NoCopy", &S::NoCopy},
        {"AttachResToImd", &S::AttachResToImd},
        {"ShowResultWindow", &S::ShowResultWindow},
        {"ShowImdWindow", &S::ShowImdWindow},
        {"ResultWindowFloat", &S::ResultWindowFloat},
        {"ImdWindowFloat", &S::ImdWindowFloat},
    };
    for (const auto& f : flags) {
        int S::*field = f.field;
        text(
            std::string(f.name) + " on", [field](S& s) { s.*field = 1; }, f.name, f.name, "Yes");
        text(
            std::string(f.name) + " off", [field](S& s) { s.*field = 0; }, f.name, f.name, "No");
    }

    for (const FormCase& c : cases) {
        SCOPED_TRACE(c.label);
        RemoveStores();
        S record = TunedRecord();
        c.set(record);
        record.WriteIni = 1;
        Settings = record;
        SaveSettings();
        EXPECT_EQ(c.reg, ReadValue(kSettingsKey, c.reg_name));
        const std::vector<std::string> section = IniSection("ZARL");
        const std::string line = std::string(c.ini_name) + "=" + c.ini_text;
        EXPECT_EQ(1, std::count(section.begin(), section.end(), line)) << "no line " << line;
    }
    // WriteIni itself is stored in the registry only.
    EXPECT_EQ(SzValue("Yes"), ReadValue(kSettingsKey, "WriteIni"));
}

TEST_F(StoreSave, RegistryValuesAreWrittenInTheirOrder) {
    S record = TunedRecord();
    UseRecord(record);
    ASSERT_TRUE(AppendConstant("PI", "3.25"));
    ASSERT_TRUE(AppendConstant("E", "2.5"));

    std::vector<std::pair<std::string, RegValue>> settings_writes, position_writes;
    {
        RegistryRecorder recorder;
        SaveSettings();
        settings_writes = recorder.writes;
    }
    {
        RegistryRecorder recorder;
        SaveResultWindowPos();
        SaveImdWindowPos();
        position_writes = recorder.writes;
    }
    // The Settings key in its order, each text with its own length and zero
    // byte, then the constants in table order.
    auto expected = ExpectedSettingsValues(record);
    expected.push_back({"PI", SzValue("3.25")});
    expected.push_back({"E", SzValue("2.5")});
    EXPECT_EQ(expected, settings_writes);
    EXPECT_EQ(ExpectedPositionValues(record), position_writes);
}

TEST_F(StoreSave, RegistryEnumeratesValuesInWriteOrder) {
    // On a registry that keeps creation order (Windows) the enumeration index
    // shows the write order of a freshly created key. Wine keeps values sorted
    // by name, which this probe detects; the recorded calls above check the
    // order there.
    SetText("Software\\Brenmoor\\OrderProbe", "B", "1");
    SetText("Software\\Brenmoor\\OrderProbe", "A", "2");
    if (ValueNames("Software\\Brenmoor\\OrderProbe") != std::vector<std::string>{"B", "A"})
        GTEST_SKIP() << "this registry enumerates values by name, not in creation order";

    UseRecord(TunedRecord());
    SaveSettings();
    SaveResultWindowPos();
    SaveImdWindowPos();
    std::vector<std::string> expected;
    for (const auto& nv : ExpectedSettingsValues(TunedRecord())) expected.push_back(nv.first);
    for (const auto& nv : ExpectedPositionValues(TunedRecord())) expected.push_back(nv.first);
    EXPECT_EQ(expected, ValueNames(kSettingsKey));
}

TEST_F(StoreSave, NoKeyStaysOpenAfterAnOperation) {
    const struct {
        const char* label;
        std::function<void()> run;
    } operations[] = {
        {"OpenSettingsKey and CloseSettingsKey",
         [] {
             EXPECT_EQ(1, OpenSettingsKey());
             EXPECT_TRUE(KeyExists(kSettingsKey));
             CloseSettingsKey();
         }},
        {"OpenConstantsKey and CloseConstantsKey",
         [] {
             EXPECT_EQ(1, OpenConstantsKey());
             EXPECT_TRUE(KeyExists(kConstantsKey));
             CloseConstantsKey();
         }},
        {"LoadSettings without a Version value", [] { LoadSettings(); }},
        {"LoadSettings from the registry", [] { LoadSettings(); }},
        {"LoadSettingsFromRegistry", [] { LoadSettingsFromRegistry(); }},
        {"LoadResultWindowPos", [] { LoadResultWindowPos(); }},
        {"LoadImdWindowPos", [] { LoadImdWindowPos(); }},
        {"SaveSettings", [] { SaveSettings(); }},
        {"SaveResultWindowPos", [] { SaveResultWindowPos(); }},
        {"SaveImdWindowPos", [] { SaveImdWindowPos(); }},
        {"LoadConstantsFromRegistry", [] { LoadConstantsFromRegistry(); }},
        {"SaveConstantsToRegistry", [] { SaveConstantsToRegistry(); }},
    };
    ASSERT_TRUE(AppendConstant("PI", "3.25"));
    for (const auto& op : operations) {
        SCOPED_TRACE(op.label);
        RegistryRecorder recorder;
        op.run();
        EXPECT_FALSE(recorder.opened.empty()) << "the operation opened no key";
        EXPECT_TRUE(recorder.StillOpen().empty())
            << recorder.StillOpen().size() << " key(s) left open";
    }
}

TEST_F(StoreSave, PositionsGoToTheIniFileOnlyWhileWriteIniIsOn) {
    const struct {
        const char* label;
        void (*save)();
        void (*load)();
        const char* x_name;
        const char* y_name;
        int S::*x;
        int S::*y;
    } windows[] = {
        {"Result window", SaveResultWindowPos, LoadResultWindowPos, "ResultWindowPosX",
         "ResultWindowPosY", &S::ResultWindowPosX, &S::ResultWindowPosY},
        {"Immediate window", SaveImdWindowPos, LoadImdWindowPos, "ImdWindowPosX", "ImdWindowPosY",
         &S::ImdWindowPosX, &S::ImdWindowPosY},
    };
    for (const auto& w : windows) {
        for (int write_ini = 0; write_ini <= 1; ++write_ini) {
            SCOPED_TRACE(std::string(w.label) + (write_ini ? ", WriteIni on" : ", WriteIni off"));
            RemoveStores();
            Settings.WriteIni = write_ini;
            Settings.*w.x = -5;
            Settings.*w.y = 70000;
            w.save();
            EXPECT_EQ(DwordValue(static_cast<uint32_t>(-5)), ReadValue(kSettingsKey, w.x_name));
            EXPECT_EQ(DwordValue(70000), ReadValue(kSettingsKey, w.y_name));
            EXPECT_EQ(2u, AllValues(kSettingsKey).size())
                << "a position save wrote more than its pair";
            if (write_ini) {
                EXPECT_EQ((std::vector<std::string>{std::string(w.x_name) + "=-5",
                                                    std::string(w.y_name) + "=70000"}),
                          IniSection("ZARL"));
            } else {
                EXPECT_FALSE(IniExists());
            }
            Settings.*w.x = 0;
            Settings.*w.y = 0;
            w.load();
            EXPECT_EQ(-5, Settings.*w.x);
            EXPECT_EQ(70000, Settings.*w.y);
        }
    }
}

// ===========================================================================
// Keys that cannot be opened

// The key chain is opened one key at a time; a key the user may not open is
// simulated by refusing every open of a path through it.
using StoreUnopenableKey = StoreTest;

TEST_F(StoreUnopenableKey, OpenReportsFailureAndLeavesNoHandle) {
    const struct {
        const char* refused;
        int (*open)();
        void (*close)();
    } cases[] = {
        {"Software", OpenSettingsKey, CloseSettingsKey},
        {"Brenmoor", OpenSettingsKey, CloseSettingsKey},
        {"ZARL", OpenSettingsKey, CloseSettingsKey},
        {"Settings", OpenSettingsKey, CloseSettingsKey},
        {"Software", OpenConstantsKey, CloseConstantsKey},
        {"ZARL", OpenConstantsKey, CloseConstantsKey},
        {"Constants", OpenConstantsKey, CloseConstantsKey},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(
            std::string(c.open == OpenSettingsKey ? "Settings chain, " : "Constants chain, ") +
            "refusing " + c.refused);
        RegistryRecorder recorder(c.refused);
        EXPECT_EQ(0, c.open());
        c.close();
        EXPECT_EQ(1, recorder.refused) << "a step after the failed one was tried";
        EXPECT_TRUE(recorder.StillOpen().empty());
    }
    // The other leaf does not depend on the refused one.
    RegistryRecorder recorder("Settings");
    EXPECT_EQ(1, OpenConstantsKey());
    CloseConstantsKey();
    EXPECT_TRUE(recorder.StillOpen().empty());
}

TEST_F(StoreUnopenableKey, UnreadableRegistryCountsAsHoldingNoSettings) {
    // A full registry store that cannot be read, and an INI file to import.
    WriteRegistryStore(TunedRecord());
    S imported = TunedRecord();
    imported.EvalKey = '!';
    WriteIniBytes(IniFile(IniZarlLines(imported), {"C0=PI,3.25"}));
    std::vector<std::pair<std::string, RegValue>> writes;
    {
        RegistryRecorder recorder("Settings");
        StartWithPositions(1, 2, 3, 4);
        writes = recorder.writes;
        EXPECT_TRUE(recorder.StillOpen().empty());
    }
    EXPECT_EQ(Describe(imported), Describe(Settings));
    // The Settings key is skipped; the constants still go to their own key.
    EXPECT_EQ((std::vector<std::pair<std::string, RegValue>>{{"PI", SzValue("3.25")}}), writes);
    EXPECT_EQ(ValueMap(AllValues(kConstantsKey)),
              (std::map<std::string, RegValue>{{"PI", SzValue("3.25")}}));
    // The stored record was neither read nor overwritten.
    EXPECT_EQ(SzValue("#"), ReadValue(kSettingsKey, "EvalKey"));

    // Without an INI file the defaults stand, and the positions of the start.
    RemoveStores();
    WriteRegistryStore(TunedRecord());
    {
        RegistryRecorder recorder("Settings");
        StartWithPositions(1, 2, 3, 4);
    }
    S expected = DefaultRecord();
    expected.ResultWindowPosX = 1;
    expected.ResultWindowPosY = 2;
    expected.ImdWindowPosX = 3;
    expected.ImdWindowPosY = 4;
    EXPECT_EQ(Describe(expected), Describe(Settings));
}

TEST_F(StoreUnopenableKey, LoadsFallBackAndSavesStillExport) {
    WriteRegistryStore(TunedRecord());
    SetText(kConstantsKey, "OLD", "1");
    {
        RegistryRecorder recorder("Settings");
        LoadRegistryFromPoison();
        LoadResultWindowPos();
        LoadImdWindowPos();
    }
    S expected = EmptyStoreRecord();
    expected.ResultWindowPosX = 10;
    expected.ResultWindowPosY = 60;
    expected.ImdWindowPosX = 10;
    expected.ImdWindowPosY = 10;
    EXPECT_EQ(Describe(expected), Describe(Settings));
    EXPECT_EQ((std::vector<ConstantEntry>{{"OLD", "1", 1.0}}), TableEntries());

    // Nothing reaches the registry, but the export runs in full.
    S record = TunedRecord();
    record.WriteIni = 1;
    UseRecord(record);
    ScribbleOverTable(0);
    ASSERT_TRUE(AppendConstant("NEW", "2"));
    {
        RegistryRecorder recorder("ZARL");
        SaveSettings();
        SaveResultWindowPos();
        SaveImdWindowPos();
        EXPECT_TRUE(recorder.writes.empty());
        EXPECT_TRUE(recorder.StillOpen().empty());
    }
    EXPECT_EQ(IniZarlLines(TunedRecord()), IniSection("ZARL"));
    EXPECT_EQ((std::vector<std::string>{"C0=NEW,2"}), IniSection("CONSTANTS"));
    EXPECT_EQ(SzValue("No"), ReadValue(kSettingsKey, "WriteIni"));
    EXPECT_EQ((std::map<std::string, RegValue>{{"OLD", SzValue("1")}}),
              ValueMap(AllValues(kConstantsKey)));

    // A Constants key that cannot be opened: an empty table, nothing written.
    {
        RegistryRecorder recorder("Constants");
        ScribbleOverTable(5);
        LoadConstantsFromRegistry();
        EXPECT_EQ(0, ConstCount);
        ASSERT_TRUE(AppendConstant("NEW", "2"));
        SaveConstantsToRegistry();
        EXPECT_TRUE(recorder.writes.empty());
    }
    EXPECT_EQ((std::map<std::string, RegValue>{{"OLD", SzValue("1")}}),
              ValueMap(AllValues(kConstantsKey)));
}

// ===========================================================================
// The INI export

using StoreExport = StoreTest;

TEST_F(StoreExport, IniFileHoldsEveryKeyInWriteOrder) {
    S record = TunedRecord();
    record.Delay = 4464;
    record.WriteIni = 1;
    UseRecord(record);
    ASSERT_TRUE(AppendConstant("PI", "3.25"));
    ASSERT_TRUE(AppendConstant("_X1", "-2E-3"));
    SaveSettings();
    SaveResultWindowPos();
    SaveImdWindowPos();

    EXPECT_EQ((std::vector<std::string>{"ZARL", "CONSTANTS"}), IniSectionNames());
    // InsThousandSep is "InsComma" here, and WriteIni is not exported.
    const std::vector<std::string> zarl = {
        "Version=3.05",
        "Delay=4464",
        "EvalKey=#",
        "EvalKeyPosition=PREFIX",
        "AngleUnit=Deg",
        "OutFormatSign=+",
        "OutFormatType=E",
        "OutFormatPrecision=7",
        "InsComma=Yes",
        "ShiftJIS=Yes",
        "HexadecimalForm=COMPLEMENT_16BIT",
        "NoCopy=Yes",
        "AttachResToImd=Yes",
        "ShowResultWindow=Yes",
        "ShowImdWindow=Yes",
        "ResultWindowFloat=Yes",
        "ImdWindowFloat=Yes",
        "ResultWindowPosX=111",
        "ResultWindowPosY=-222",
        "ImdWindowPosX=333",
        "ImdWindowPosY=444",
    };
    EXPECT_EQ(zarl, IniSection("ZARL"));
    EXPECT_EQ((std::vector<std::string>{"C0=PI,3.25", "C1=_X1,-2E-3"}), IniSection("CONSTANTS"));
    EXPECT_EQ(SzValue("Yes"), ReadValue(kSettingsKey, "WriteIni"));

    // A restart reads the registry and begins with the export off again; the
    // file is left as it is. (The registry snaps the delay to an offered one.)
    const std::string file = ReadIniBytes();
    StartWithPositions(1, 2, 3, 4);
    S after = record;
    after.WriteIni = 0;
    after.Delay = 100;
    EXPECT_EQ(Describe(after), Describe(Settings));
    EXPECT_EQ(file, ReadIniBytes());

    // The exported file alone brings the same record back, its delay unsnapped.
    RegDeleteTreeA(HKEY_CURRENT_USER, kProductKey);
    StartWithPositions(1, 2, 3, 4);
    after.Delay = 4464;
    EXPECT_EQ(Describe(after), Describe(Settings));
    EXPECT_EQ((std::vector<ConstantEntry>{{"PI", "3.25", 3.25}, {"_X1", "-2E-3", -2E-3}}),
              TableEntries());
}

TEST_F(StoreExport, ExportReplacesTheWholeConstantsSection) {
    WriteIniBytes(
        IniFile({"Version=3.05"}, {"C0=OLD0,1", "C1=OLD1,2", "C2=OLD2,3", "C3=OLD3,4", "Other=5"}));
    Settings.WriteIni = 1;
    ASSERT_TRUE(AppendConstant("NEW", "7"));
    SaveSettings();
    EXPECT_EQ((std::vector<std::string>{"C0=NEW,7"}), IniSection("CONSTANTS"));

    ConstCount = 0;
    SaveSettings();
    EXPECT_TRUE(IniSection("CONSTANTS").empty());
}

TEST_F(StoreExport, NothingIsExportedWhileWriteIniIsOff) {
    const std::string file = IniFile({"Version=3.05", "Delay=1", "EvalKey=!"}, {"C0=A,1"});
    WriteIniBytes(file);
    UseRecord(TunedRecord());
    ASSERT_TRUE(AppendConstant("PI", "3.25"));
    SaveSettings();
    SaveResultWindowPos();
    SaveImdWindowPos();
    EXPECT_EQ(file, ReadIniBytes());
}

// ===========================================================================
// Damaged stores

using StoreBadRegistry = StoreTest;
using StoreBadIni = StoreTest;

struct DamageCase {
    std::string label;
    const char* name;
    std::optional<RegValue> value;   // none: the value is deleted
    std::function<void(S&)> expect;  // applied to TunedRecord()
};

// Starts from a full registry store with one value deleted or replaced, and
// checks the whole record: only the damaged value falls back.
void RunRegistryDamage(const std::vector<DamageCase>& cases) {
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.label);
        RemoveStores();
        WriteRegistryStore(TunedRecord());
        if (c.value)
            SetValue(kSettingsKey, c.name, *c.value);
        else
            DeleteValue(kSettingsKey, c.name);
        StartWithPositions(1, 2, 3, 4);
        S expected = TunedRecord();
        c.expect(expected);
        EXPECT_EQ(Describe(expected), Describe(Settings));
        ExpectFactorsFollowAngleUnit();
        // The start rewrote the damaged value in its proper form.
        EXPECT_EQ(RegistryAfterStart(expected), ValueMap(AllValues(kSettingsKey)));
    }
}

TEST_F(StoreBadRegistry, EachMissingValueFallsBackAlone) {
    RunRegistryDamage({
        {"EvalKey", "EvalKey", std::nullopt, [](S& s) { s.EvalKey = '='; }},
        {"EvalKeyPosition", "EvalKeyPosition", std::nullopt, [](S& s) { s.EvalKeyPosition = 1; }},
        {"Delay", "Delay", std::nullopt, [](S& s) { s.Delay = 0; }},
        {"AngleUnit", "AngleUnit", std::nullopt, [](S& s) { s.AngleUnit = 0; }},
        {"OutFormatSign", "OutFormatSign", std::nullopt,
         [](S& s) { SetText32(s.OutFormatSign, "-"); }},
        {"OutFormatType", "OutFormatType", std::nullopt,
         [](S& s) { SetText32(s.OutFormatType, "g"); }},
        {"OutFormatPrecision", "OutFormatPrecision", std::nullopt,
         [](S& s) { s.OutFormatPrecision = 15; }},
        {"InsThousandSep", "InsThousandSep", std::nullopt, [](S& s) { s.InsThousandSep = 0; }},
        {"ShiftJIS", "ShiftJIS", std::nullopt, [](S& s) { s.ShiftJIS = 0; }},
        {"HexadecimalForm", "HexadecimalForm", std::nullopt, [](S& s) { s.HexadecimalForm = 0; }},
        {"NoCopy", "NoCopy", std::nullopt, [](S& s) { s.NoCopy = 0; }},
        {"AttachResToImd", "AttachResToImd", std::nullopt, [](S& s) { s.AttachResToImd = 0; }},
        {"ShowResultWindow", "ShowResultWindow", std::nullopt,
         [](S& s) { s.ShowResultWindow = 0; }},
        {"ShowImdWindow", "ShowImdWindow", std::nullopt, [](S& s) { s.ShowImdWindow = 0; }},
        {"ResultWindowFloat", "ResultWindowFloat", std::nullopt,
         [](S& s) { s.ResultWindowFloat = 0; }},
        {"ImdWindowFloat", "ImdWindowFloat", std::nullopt, [](S& s) { s.ImdWindowFloat = 0; }},
        {"WriteIni", "WriteIni", std::nullopt, [](S&) {}},
        {"ResultWindowPosX", "ResultWindowPosX", std::nullopt,
         [](S& s) { s.ResultWindowPosX = 10; }},
        {"ResultWindowPosY", "ResultWindowPosY", std::nullopt,
         [](S& s) { s.ResultWindowPosY = 60; }},
        {"ImdWindowPosX", "ImdWindowPosX", std::nullopt, [](S& s) { s.ImdWindowPosX = 10; }},
        {"ImdWindowPosY", "ImdWindowPosY", std::nullopt, [](S& s) { s.ImdWindowPosY = 10; }},
    });
}

TEST_F(StoreBadRegistry, WrongTypesAndOverLongValuesFallBackAlone) {
    auto bytes = [](std::initializer_list<int> list) {
        std::string b;
        for (int v : list) b += static_cast<char>(v);
        return b;
    };
    // Types are not checked: the bytes are read as they are, as text or as a
    // 4-byte number. A value larger than its buffer counts as missing.
    RunRegistryDamage({
        {"EvalKey as DWORD '?'", "EvalKey", DwordValue('?'), [](S& s) { s.EvalKey = '?'; }},
        {"EvalKey 16 bytes", "EvalKey", SzValue("!" + std::string(14, 'x')),
         [](S& s) { s.EvalKey = '!'; }},
        {"EvalKey 17 bytes", "EvalKey", SzValue("!" + std::string(15, 'x')),
         [](S& s) { s.EvalKey = '='; }},
        {"EvalKey 200 bytes of binary", "EvalKey", RegValue{REG_BINARY, std::string(200, '?')},
         [](S& s) { s.EvalKey = '='; }},
        {"EvalKeyPosition over-long", "EvalKeyPosition", SzValue("PREFIX" + std::string(20, 'X')),
         [](S& s) { s.EvalKeyPosition = 1; }},
        {"EvalKeyPosition as DWORD 0", "EvalKeyPosition", DwordValue(0),
         [](S& s) { s.EvalKeyPosition = 1; }},
        {"EvalKeyPosition as binary text", "EvalKeyPosition", RegValue{REG_BINARY, Sz("PREFIX")},
         [](S& s) { s.EvalKeyPosition = 0; }},
        {"Delay as text 123", "Delay", SzValue("123"), [](S& s) { s.Delay = 100; }},  // 0x00333231
        {"Delay as text of 5 bytes", "Delay", SzValue("5000"), [](S& s) { s.Delay = 0; }},
        {"Delay as 4 binary bytes", "Delay", RegValue{REG_BINARY, bytes({5, 0, 0, 0})},
         [](S& s) { s.Delay = 1; }},
        {"Delay as QWORD", "Delay", RegValue{REG_QWORD, bytes({50, 0, 0, 0, 0, 0, 0, 0})},
         [](S& s) { s.Delay = 0; }},
        {"AngleUnit as DWORD holding Deg", "AngleUnit", DwordValue(0x00676544),
         [](S& s) { s.AngleUnit = 1; }},
        {"AngleUnit as DWORD 1", "AngleUnit", DwordValue(1), [](S& s) { s.AngleUnit = 0; }},
        {"AngleUnit without zero byte", "AngleUnit", RegValue{REG_SZ, "Deg"},
         [](S& s) { s.AngleUnit = 1; }},
        {"AngleUnit as REG_EXPAND_SZ", "AngleUnit", RegValue{REG_EXPAND_SZ, Sz("Deg")},
         [](S& s) { s.AngleUnit = 1; }},
        {"AngleUnit 16 bytes without zero byte", "AngleUnit", RegValue{REG_SZ, "DegDegDegDegDegD"},
         [](S& s) { s.AngleUnit = 0; }},
        {"ShiftJIS as binary text", "ShiftJIS", RegValue{REG_BINARY, Sz("Yes")},
         [](S& s) { s.ShiftJIS = 1; }},
        {"ShiftJIS as REG_MULTI_SZ", "ShiftJIS", RegValue{REG_MULTI_SZ, std::string("Yes\0\0", 5)},
         [](S& s) { s.ShiftJIS = 1; }},
        {"ShiftJIS as DWORD 1", "ShiftJIS", DwordValue(1), [](S& s) { s.ShiftJIS = 0; }},
        {"NoCopy 16 bytes without zero byte", "NoCopy", RegValue{REG_SZ, "YesYesYesYesYesY"},
         [](S& s) { s.NoCopy = 0; }},
        {"NoCopy 17 bytes", "NoCopy", SzValue("Yes" + std::string(13, ' ')),
         [](S& s) { s.NoCopy = 0; }},
        {"NoCopy 3000 bytes", "NoCopy", SzValue(std::string(2999, 'Y')),
         [](S& s) { s.NoCopy = 0; }},
        {"OutFormatSign as DWORD '+'", "OutFormatSign", DwordValue('+'),
         [](S& s) { SetText32(s.OutFormatSign, "+"); }},
        {"OutFormatSign 17 bytes", "OutFormatSign", SzValue("+" + std::string(15, '+')),
         [](S& s) { SetText32(s.OutFormatSign, "-"); }},
        {"OutFormatType as DWORD 'f'", "OutFormatType", DwordValue('f'),
         [](S& s) { SetText32(s.OutFormatType, "f"); }},
        {"OutFormatType 40 bytes of binary", "OutFormatType",
         RegValue{REG_BINARY, std::string(40, 'E')}, [](S& s) { SetText32(s.OutFormatType, "g"); }},
        {"OutFormatPrecision as text 123", "OutFormatPrecision", SzValue("123"),
         [](S& s) { s.OutFormatPrecision = 15; }},
        {"OutFormatPrecision as 4 binary bytes", "OutFormatPrecision",
         RegValue{REG_BINARY, bytes({3, 0, 0, 0})}, [](S& s) { s.OutFormatPrecision = 3; }},
        {"OutFormatPrecision as QWORD", "OutFormatPrecision",
         RegValue{REG_QWORD, bytes({3, 0, 0, 0, 0, 0, 0, 0})},
         [](S& s) { s.OutFormatPrecision = 15; }},
        {"HexadecimalForm as DWORD 3", "HexadecimalForm", DwordValue(3),
         [](S& s) { s.HexadecimalForm = 0; }},
        {"HexadecimalForm over 32 bytes", "HexadecimalForm",
         SzValue("COMPLEMENT_32BIT" + std::string(20, 'X')), [](S& s) { s.HexadecimalForm = 0; }},
        {"ResultWindowPosX as text 123", "ResultWindowPosX", SzValue("123"),
         [](S& s) { s.ResultWindowPosX = 0x00333231; }},
        {"ResultWindowPosX as text of 5 bytes", "ResultWindowPosX", SzValue("1234"),
         [](S& s) { s.ResultWindowPosX = 10; }},
        {"ImdWindowPosY as QWORD", "ImdWindowPosY",
         RegValue{REG_QWORD, bytes({5, 0, 0, 0, 0, 0, 0, 0})}, [](S& s) { s.ImdWindowPosY = 10; }},
        {"WriteIni as DWORD", "WriteIni", DwordValue(1), [](S&) {}},
    });
}

// Starts from a full INI file (and no registry) with one key's line replaced
// by other lines, and checks the whole record.
struct IniDamageCase {
    std::string label;
    const char* key;                       // the line replaced
    std::vector<std::string> replacement;  // empty: the line is removed
    std::function<void(S&)> expect;        // applied to TunedRecord()
    std::string before_sections = "";      // bytes put before "[ZARL]"
};

void RunIniDamage(const std::vector<IniDamageCase>& cases) {
    for (const IniDamageCase& c : cases) {
        SCOPED_TRACE(c.label);
        RemoveStores();
        const std::vector<std::string> lines =
            Replaced(IniZarlLines(TunedRecord()), c.key, c.replacement);
        WriteIniBytes(c.before_sections + IniFile(lines, {"C0=PI,3.25"}));
        StartWithPositions(1, 2, 3, 4);
        S expected = TunedRecord();
        c.expect(expected);
        EXPECT_EQ(Describe(expected), Describe(Settings));
        ExpectFactorsFollowAngleUnit();
        EXPECT_EQ(1, ConstCount);
        EXPECT_EQ(RegistryAfterStart(expected), ValueMap(AllValues(kSettingsKey)));
    }
}

TEST_F(StoreBadIni, EachMissingKeyFallsBackAlone) {
    RunIniDamage({
        {"EvalKey", "EvalKey", {}, [](S& s) { s.EvalKey = '='; }},
        {"EvalKeyPosition", "EvalKeyPosition", {}, [](S& s) { s.EvalKeyPosition = 1; }},
        {"Delay", "Delay", {}, [](S& s) { s.Delay = 0; }},
        {"AngleUnit", "AngleUnit", {}, [](S& s) { s.AngleUnit = 0; }},
        {"OutFormatSign", "OutFormatSign", {}, [](S& s) { SetText32(s.OutFormatSign, "-"); }},
        {"OutFormatType", "OutFormatType", {}, [](S& s) { SetText32(s.OutFormatType, "g"); }},
        {"OutFormatPrecision", "OutFormatPrecision", {}, [](S& s) { s.OutFormatPrecision = 15; }},
        {"InsComma", "InsComma", {}, [](S& s) { s.InsThousandSep = 0; }},
        {"ShiftJIS", "ShiftJIS", {}, [](S& s) { s.ShiftJIS = 0; }},
        {"HexadecimalForm", "HexadecimalForm", {}, [](S& s) { s.HexadecimalForm = 0; }},
        {"NoCopy", "NoCopy", {}, [](S& s) { s.NoCopy = 0; }},
        {"AttachResToImd", "AttachResToImd", {}, [](S& s) { s.AttachResToImd = 0; }},
        {"ShowResultWindow", "ShowResultWindow", {}, [](S& s) { s.ShowResultWindow = 0; }},
        {"ShowImdWindow", "ShowImdWindow", {}, [](S& s) { s.ShowImdWindow = 0; }},
        {"ResultWindowFloat", "ResultWindowFloat", {}, [](S& s) { s.ResultWindowFloat = 0; }},
        {"ImdWindowFloat", "ImdWindowFloat", {}, [](S& s) { s.ImdWindowFloat = 0; }},
        // A missing INI position keeps the value the start had.
        {"ResultWindowPosX", "ResultWindowPosX", {}, [](S& s) { s.ResultWindowPosX = 1; }},
        {"ResultWindowPosY", "ResultWindowPosY", {}, [](S& s) { s.ResultWindowPosY = 2; }},
        {"ImdWindowPosX", "ImdWindowPosX", {}, [](S& s) { s.ImdWindowPosX = 3; }},
        {"ImdWindowPosY", "ImdWindowPosY", {}, [](S& s) { s.ImdWindowPosY = 4; }},
    });
}

TEST_F(StoreBadIni, GarbageLinesDisturbNothingElse) {
    const std::string binary = "\x01\x02\x7f\x80\x81\x9f\xa0\xfe\xff binary";
    RunIniDamage({
        {"line without = before EvalKey", "EvalKey", {"JUST SOME TEXT", "EvalKey=#"}, [](S&) {}},
        {"line of binary bytes before AngleUnit",
         "AngleUnit",
         {binary, "AngleUnit=Deg"},
         [](S&) {}},
        {"binary byte after Yes", "ShiftJIS", {"ShiftJIS=Yes\xff"}, [](S& s) { s.ShiftJIS = 0; }},
        {"binary key before NoCopy", "NoCopy", {binary + "=Yes", "NoCopy=Yes"}, [](S&) {}},
        {"5000 characters without = before Delay",
         "Delay",
         {std::string(5000, 'x'), "Delay=10"},
         [](S&) {}},
        {"unknown key with 5000 characters",
         "ShowImdWindow",
         {"Junk=" + std::string(5000, 'y'), "ShowImdWindow=Yes"},
         [](S&) {}},
        {"EvalKey of 5000 characters",
         "EvalKey",
         {"EvalKey=!" + std::string(5000, 'z')},
         [](S& s) { s.EvalKey = '!'; }},
        {"AngleUnit of 5000 characters",
         "AngleUnit",
         {"AngleUnit=Deg" + std::string(5000, 'g')},
         [](S& s) { s.AngleUnit = 0; }},
        {"empty key name", "NoCopy", {"=Yes", "NoCopy=Yes"}, [](S&) {}},
        // The profile functions take the first of two equal keys.
        {"duplicate AngleUnit, Rad first",
         "AngleUnit",
         {"AngleUnit=Rad", "AngleUnit=Deg"},
         [](S& s) { s.AngleUnit = 0; }},
        {"duplicate HexadecimalForm",
         "HexadecimalForm",
         {"HexadecimalForm=COMPLEMENT_16BIT", "HexadecimalForm=COMPLEMENT_8BIT"},
         [](S&) {}},
        {"lines before any section",
         "ImdWindowFloat",
         {"ImdWindowFloat=Yes"},
         [](S&) {},
         "orphan line\r\nEvalKey=?\r\n[unclosed\r\nAngleUnit=Rad\r\n"},
    });
}

TEST_F(StoreBadIni, FilesWithoutAVersionAreIgnoredWhole) {
    const std::string files[] = {
        "",
        "\r\n\r\n",
        "[ZARL]\r\n",
        "[OTHER]\r\nVersion=3.05\r\n[ZARL]\r\nEvalKey=!\r\n",
        IniFile({"EvalKey=!", "AngleUnit=Deg"}, {"C0=PI,3.25"}),
        std::string(10000, 'x'),
    };
    for (const std::string& file : files) {
        SCOPED_TRACE(Escaped(file.substr(0, 60)));
        RemoveStores();
        WriteIniBytes(file);
        StartWithPositions(1, 2, 3, 4);
        S expected = DefaultRecord();
        expected.ResultWindowPosX = 1;
        expected.ResultWindowPosY = 2;
        expected.ImdWindowPosX = 3;
        expected.ImdWindowPosY = 4;
        EXPECT_EQ(Describe(expected), Describe(Settings));
        EXPECT_EQ(0, ConstCount);
        EXPECT_EQ(file, ReadIniBytes());
    }
}

}  // namespace
}  // namespace zarl_store_test
