// The Settings dialog as a user works with it: opened by restoring the
// minimized main window, its controls read and changed from outside, closed
// with OK, the title bar's close button, Cancel, Esc or "&END ZARL", and the
// outcome looked for where it lands: the registry, ZARL.INI, the clipboard
// and the Result and Immediate windows. Then the constants editor with its
// questions, the About box, and the help requests that F1 and the buttons
// make. Each case starts from a fresh store holding only what it writes
// before the start.
#include "zarl_test.h"

#include "res/resource.h"

#include <algorithm>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace e2e {
namespace {

using Texts = std::vector<std::string>;
using Constants = std::vector<std::pair<std::string, std::string>>;

// The five drop-down lists, in the order the user sees their items.
const Texts kKeyItems = {"=", "?", "!", "@", "#", "+"};
const Texts kDelayItems = {"0", "1", "10", "100"};
const Texts kTypeItems = {"#.## or #.#e##", "#.## or #.#E##", "#.#e##", "#.#E##", "#.##"};
const Texts kPrecisionItems = {"0", "1", "2",  "3",  "4",  "5",  "6",  "7",
                               "8", "9", "10", "11", "12", "13", "14", "15"};
const Texts kHexFormItems = {"With Sign", "2's Complement,8bit", "2's Complement,16bit",
                             "2's Complement,32bit"};

const char* const kIllegalNameTitle = "ZARL-Illegal constant name";

std::string Describe(const std::optional<Texts>& texts) {
    if (!texts) return "(no answer)";
    std::ostringstream out;
    out << "{";
    for (size_t i = 0; i < texts->size(); ++i) out << (i ? ", " : " ") << Printable((*texts)[i]);
    out << " }";
    return out.str();
}

// What a control of the dialog shows: a box's check mark, a list's selected
// item, a button's enabled state.
struct Shown {
    enum Kind { kChecked, kSelected, kEnabled };
    const char* what;
    int id;
    Kind kind;
    int value;
};
Shown Box(const char* what, int id, bool checked) {
    return {what, id, Shown::kChecked, checked ? 1 : 0};
}
Shown Item(const char* what, int id, int index) {
    return {what, id, Shown::kSelected, index};
}
Shown Usable(const char* what, int id, bool enabled) {
    return {what, id, Shown::kEnabled, enabled ? 1 : 0};
}

std::optional<int> Read(HWND dialog, const Shown& s) {
    HWND control = GetDlgItem(dialog, s.id);
    if (!control) return std::nullopt;
    switch (s.kind) {
        case Shown::kChecked: {
            std::optional<bool> checked = IsChecked(dialog, s.id);
            if (!checked) return std::nullopt;
            return *checked ? 1 : 0;
        }
        case Shown::kSelected: return ComboSelection(control);
        case Shown::kEnabled: return IsWindowEnabled(control) ? 1 : 0;
    }
    return std::nullopt;
}

std::string Show(const Shown& s, std::optional<int> value) {
    if (!value) return "(no answer)";
    switch (s.kind) {
        case Shown::kChecked: return *value ? "checked" : "unchecked";
        case Shown::kSelected: return "item " + std::to_string(*value);
        case Shown::kEnabled: return *value ? "enabled" : "disabled";
    }
    return "?";
}

// A value under the Settings key, as text or as a number.
struct StoredValue {
    const char* name;
    std::optional<std::string> text;
    std::optional<DWORD> number;
};
StoredValue StoredText(const char* name, const char* text) {
    return {name, std::string(text), std::nullopt};
}
StoredValue StoredNumber(const char* name, DWORD number) {
    return {name, std::nullopt, number};
}

class SettingsTest : public ZarlTest {
protected:
    DWORD Pid() const { return zarl_->Pid(); }
    HWND Main() const { return zarl_->Window(); }

    // Writes the settings (with "Version", so that the registry is read) and
    // the constants, then starts the program.
    void StartWith(std::vector<Setting> settings, const Constants& constants = {}) {
        if (settings.empty()) settings.push_back(Text("Version", "3.05"));
        ASSERT_TRUE(FreshStore(settings));
        for (const auto& [name, value] : constants)
            ASSERT_TRUE(WriteRegText(kConstantsKey, name, value)) << "constant " << name;
        StartOnly();
    }

    // Ends the running copy as a user does and starts it again on the same store.
    void Restart() {
        Zarl::Ending ending = zarl_->Close();
        ASSERT_TRUE(ending.exited)
            << "ZARL did not end within " << kCloseTimeout.count() << " ms of WM_CLOSE";
        zarl_.reset();
        StartOnly();
    }

    // Restart with only ZARL.INI left: the registry holds nothing, so the
    // program imports the file.
    void RestartFromIniOnly() {
        Zarl::Ending ending = zarl_->Close();
        ASSERT_TRUE(ending.exited)
            << "ZARL did not end within " << kCloseTimeout.count() << " ms of WM_CLOSE";
        zarl_.reset();
        ASSERT_TRUE(DeleteBrenmoorKey());
        StartOnly();
    }

    HWND OpenSettings() {
        HWND dialog = OpenSettingsDialog(Main(), Pid());
        if (!dialog) {
            ADD_FAILURE() << "no shown \"" << kSettingsTitle << "\" dialog within "
                          << kResultTimeout.count() << " ms of restoring the main window; windows: "
                          << DescribeWindows(Pid());
        }
        return dialog;
    }

    // Waits until every control shows what it should; on failure lists the
    // controls that do not.
    static testing::AssertionResult Shows(HWND dialog, const std::vector<Shown>& expected,
                                          Ms timeout = kResultTimeout) {
        std::string differences;
        bool ok = WaitUntil(
            [&] {
                differences.clear();
                for (const Shown& s : expected) {
                    std::optional<int> value = Read(dialog, s);
                    if (value != s.value)
                        differences += std::string(" ") + s.what + " is " + Show(s, value) +
                                       " (expected " + Show(s, s.value) + ");";
                }
                return differences.empty();
            },
            timeout);
        if (ok) return testing::AssertionSuccess();
        return testing::AssertionFailure() << "the Settings dialog shows:" << differences;
    }

    static testing::AssertionResult ListHolds(HWND dialog, const Texts& expected,
                                              Ms timeout = kResultTimeout) {
        std::optional<Texts> seen;
        bool ok = WaitUntil(
            [&] {
                seen = ListBoxItems(GetDlgItem(dialog, IDC_CONSTLIST));
                return seen == expected;
            },
            timeout);
        if (ok) return testing::AssertionSuccess();
        return testing::AssertionFailure() << "the constants list holds " << Describe(seen)
                                           << ", expected " << Describe(expected);
    }

    // The same, for entries whose order is the list box's collation: the list
    // sorts letter case aside, and where "_" goes is the platform's choice.
    static testing::AssertionResult ListHoldsInAnyOrder(HWND dialog, Texts expected,
                                                        Ms timeout = kResultTimeout) {
        std::sort(expected.begin(), expected.end());
        std::optional<Texts> seen;
        bool ok = WaitUntil(
            [&] {
                seen = ListBoxItems(GetDlgItem(dialog, IDC_CONSTLIST));
                if (!seen) return false;
                std::sort(seen->begin(), seen->end());
                return *seen == expected;
            },
            timeout);
        if (ok) return testing::AssertionSuccess();
        return testing::AssertionFailure() << "the constants list holds " << Describe(seen)
                                           << ", expected " << Describe(expected);
    }

    // Types both fields, waits for "Add &Constant" to become usable, clicks it.
    testing::AssertionResult Add(HWND dialog, const std::string& name, const std::string& value) {
        if (!TypeIntoEdit(dialog, IDC_CONSTNAME, name) ||
            !TypeIntoEdit(dialog, IDC_CONSTVALUE, value))
            return testing::AssertionFailure() << "could not type into the constant fields";
        testing::AssertionResult usable = Shows(dialog, {Usable("Add", IDC_ADDCONST, true)});
        if (!usable)
            return testing::AssertionFailure()
                   << "with " << Printable(name) << " and " << Printable(value)
                   << " typed: " << usable.message();
        if (!ClickButton(dialog, IDC_ADDCONST))
            return testing::AssertionFailure() << "could not click Add";
        return testing::AssertionSuccess();
    }

    // A message box of the program with that title and text, owned by the
    // dialog; null (with a failure) when none appears.
    HWND ExpectBox(HWND owner, const std::string& title, const std::string& text) {
        HWND box = FindMessageBox(Pid(), title, text, kResultTimeout);
        if (!box) {
            ADD_FAILURE() << "no box \"" << title << "\" saying " << Printable(text)
                          << "; windows: " << DescribeWindows(Pid());
            return nullptr;
        }
        EXPECT_EQ(GetWindow(box, GW_OWNER), owner) << "the box does not belong to the dialog";
        return box;
    }

    // Answers the box and waits for it to close.
    static testing::AssertionResult Answer(HWND box, int button) {
        if (!box) return testing::AssertionFailure() << "no box to answer";
        if (!AnswerMessageBox(box, button))
            return testing::AssertionFailure() << "could not press button " << button;
        if (!WaitUntil([&] { return !IsWindow(box); }, kCloseTimeout))
            return testing::AssertionFailure() << "the box did not close";
        return testing::AssertionSuccess();
    }

    // Presses a button that ends the dialog and waits for it to go.
    static testing::AssertionResult ClickAndClose(HWND dialog, int button) {
        if (!ClickButton(dialog, button))
            return testing::AssertionFailure() << "could not click button " << button;
        if (!WaitForWindowGone(dialog))
            return testing::AssertionFailure()
                   << "the Settings dialog stayed open after button " << button;
        return testing::AssertionSuccess();
    }

    // Waits until the stored values are these; a save that follows a window
    // opening may come a moment after the dialog has gone.
    static testing::AssertionResult Stored(const std::vector<StoredValue>& expected,
                                           Ms timeout = Ms{2000}) {
        std::string differences;
        bool ok = WaitUntil(
            [&] {
                differences.clear();
                for (const StoredValue& v : expected) {
                    if (v.text) {
                        std::optional<std::string> seen = ReadRegText(kSettingsKey, v.name);
                        if (seen != v.text)
                            differences += std::string(" ") + v.name + " is " +
                                           (seen ? Printable(*seen) : std::string("(missing)")) +
                                           " (expected " + Printable(*v.text) + ");";
                    } else {
                        std::optional<DWORD> seen = ReadRegDword(kSettingsKey, v.name);
                        if (seen != v.number)
                            differences +=
                                std::string(" ") + v.name + " is " +
                                (seen ? std::to_string(*seen) : std::string("(missing)")) +
                                " (expected " + std::to_string(*v.number) + ");";
                    }
                }
                return differences.empty();
            },
            timeout);
        if (ok) return testing::AssertionSuccess();
        return testing::AssertionFailure() << "stored under the Settings key:" << differences;
    }

    // The Constants key holds exactly these names and texts.
    static testing::AssertionResult StoredConstants(const Constants& expected) {
        std::optional<RegSnapshot> seen = SnapshotKey(kConstantsKey);
        if (!seen) return testing::AssertionFailure() << "no Constants key";
        RegSnapshot wanted;
        for (const auto& [name, text] : expected) wanted[name] = RegValue{REG_SZ, text + '\0'};
        if (*seen == wanted) return testing::AssertionSuccess();
        return testing::AssertionFailure() << "the Constants key differs from what was expected: "
                                           << DescribeSnapshotDifference(wanted, *seen);
    }

    // Section CONSTANTS of ZARL.INI holds exactly these entries C0, C1, ...
    static testing::AssertionResult IniConstants(const Texts& expected) {
        for (size_t i = 0; i <= expected.size(); ++i) {
            std::optional<std::string> seen = ReadIni("CONSTANTS", "C" + std::to_string(i));
            std::optional<std::string> wanted;
            if (i < expected.size()) wanted = expected[i];
            if (seen != wanted)
                return testing::AssertionFailure()
                       << "ZARL.INI [CONSTANTS] C" << i << " is "
                       << (seen ? Printable(*seen) : std::string("(missing)")) << ", expected "
                       << (wanted ? Printable(*wanted) : std::string("none"));
        }
        return testing::AssertionSuccess();
    }
};

// ---------------------------------------------------------------------------
// Opening: the dialog shows the stored options

struct OpeningCase {
    const char* name;
    std::vector<Setting> settings;  // empty: nothing stored at all
    Constants constants;
    bool paused;               // "&Operating" switched off from the system menu first
    bool resultOpen, imdOpen;  // windows that the start reopens from the store
    std::vector<Shown> expected;
    Texts list;              // the constants list, sorted
    const char* screenshot;  // taken while the dialog is open, or null
};
void PrintTo(const OpeningCase& c, std::ostream* out) {
    *out << c.name;
}

class SettingsOpening : public SettingsTest, public testing::WithParamInterface<OpeningCase> {};

TEST_P(SettingsOpening, RestoringTheMainWindowOpensTheDialogWithTheStoredOptions) {
    const OpeningCase& c = GetParam();
    if (c.settings.empty()) {
        ASSERT_NO_FATAL_FAILURE(StartFresh());
    } else {
        ASSERT_NO_FATAL_FAILURE(StartWith(c.settings, c.constants));
    }
    // The windows that the start reopens are there before the dialog opens.
    if (c.resultOpen) {
        ASSERT_TRUE(FindResultWindow(Pid())) << DescribeWindows(Pid());
    }
    if (c.imdOpen) {
        ASSERT_TRUE(FindImdWindow(Pid())) << DescribeWindows(Pid());
    }
    if (c.paused) {
        ASSERT_TRUE(ChooseSystemMenu(Main(), IDM_OPERATING));
        std::string title;
        ASSERT_TRUE(WaitForTitle(Main(), "ZARL-Pausing", kResultTimeout, &title)) << title;
    }

    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), Main())
        << "the dialog does not belong to the main window";
    EXPECT_TRUE(GetWindowLongPtrA(dialog, GWL_EXSTYLE) & WS_EX_CONTEXTHELP)
        << "no help button in the title bar";
    EXPECT_TRUE(IsIconic(Main())) << "restoring left the main window restored";

    EXPECT_EQ(ComboItems(GetDlgItem(dialog, IDC_KEY)), std::optional<Texts>(kKeyItems));
    EXPECT_EQ(ComboItems(GetDlgItem(dialog, IDC_DELAY)), std::optional<Texts>(kDelayItems));
    EXPECT_EQ(ComboItems(GetDlgItem(dialog, IDC_TYPE)), std::optional<Texts>(kTypeItems));
    EXPECT_EQ(ComboItems(GetDlgItem(dialog, IDC_PRECISION)), std::optional<Texts>(kPrecisionItems));
    EXPECT_EQ(ComboItems(GetDlgItem(dialog, IDC_HEXFORM)), std::optional<Texts>(kHexFormItems));
    EXPECT_TRUE(Shows(dialog, c.expected));
    // Nothing to add or delete before the user types or picks an entry.
    EXPECT_TRUE(Shows(dialog, {Usable("Add Constant", IDC_ADDCONST, false),
                               Usable("Delete Constant", IDC_DELCONST, false)}));
    EXPECT_TRUE(ListHolds(dialog, c.list));
    if (c.screenshot) {
        EXPECT_TRUE(WaitForPainting(dialog)) << "the dialog is not painted";
        EXPECT_TRUE(ControlsWhole(dialog));
        EXPECT_TRUE(TakeScreenshot(c.screenshot));
    }

    // A second restore while it is open opens no second dialog.
    ASSERT_TRUE(RestoreMainWindow(Main()));
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_EQ(ShownDialogs(Pid(), kSettingsTitle).size(), 1u) << DescribeWindows(Pid());

    EXPECT_TRUE(ClickAndClose(dialog, IDCANCEL));
    EXPECT_TRUE(IsIconic(Main()));
}

std::vector<Shown> Expected(bool operating, bool noCopy, bool prefix, bool degree, bool separators,
                            bool shiftJis, bool sign, bool attach, bool result, bool imd, int key,
                            int delay, int type, int precision, int hexForm) {
    return {Box("Operating", IDC_OPERATING, operating), Box("No Copy", IDC_NOCOPY, noCopy),
            Box("Prefix", IDC_PREFIX, prefix), Box("Suffix", IDC_SUFFIX, !prefix),
            Box("RADIAN", IDC_RADIAN, !degree), Box("DEGREE", IDC_DEGREE, degree),
            Box("Insert Separators", IDC_SEPARATORS, separators),
            Box("Use Shift-JIS Code", IDC_SHIFTJIS, shiftJis), Box("'+' sign", IDC_SIGN, sign),
            // Never loaded: every run begins with the export off.
            Box("Write ZARL.INI", IDC_WRITEINI, false), Box("Attach", IDC_ATTACH, attach),
            Box("Result Window", IDC_RESULTWINDOW, result),
            Box("Immediate Window", IDC_IMDWINDOW, imd), Item("Key", IDC_KEY, key),
            Item("Delay", IDC_DELAY, delay), Item("Type", IDC_TYPE, type),
            Item("Precision", IDC_PRECISION, precision), Item("Hexadecimal", IDC_HEXFORM, hexForm)};
}

const OpeningCase kOpeningCases[] = {
    {"NothingStored",
     {},
     {},
     false,
     false,
     false,
     Expected(true, false, false, false, false, false, false, false, false, false, 0, 0, 0, 15, 0),
     {},
     nullptr},
    {"EveryOptionChanged",
     {Text("EvalKey", "#"), Text("EvalKeyPosition", "PREFIX"), Dword("Delay", 100),
      Text("AngleUnit", "Deg"), Text("OutFormatSign", "+"), Text("OutFormatType", "E"),
      Dword("OutFormatPrecision", 3), Text("InsThousandSep", "Yes"), Text("ShiftJIS", "Yes"),
      Text("HexadecimalForm", "COMPLEMENT_16BIT"), Text("NoCopy", "Yes"), Text("WriteIni", "Yes"),
      Text("ShowResultWindow", "Yes")},
     {{"PI", "3.14159"}, {"G1", "9.81"}, {"E", "2.71828"}},
     true,
     true,
     false,
     Expected(false, true, true, true, true, true, true, false, true, false, 4, 3, 3, 3, 2),
     {"E=2.71828", "G1=9.81", "PI=3.14159"},
     "settings_dialog"},
    // A stored delay between the offered ones shows the largest not above it.
    {"OtherItemsAndTheImmediateWindowOpen",
     {Text("EvalKey", "+"), Dword("Delay", 5), Text("AngleUnit", "Rad"), Text("OutFormatType", "G"),
      Dword("OutFormatPrecision", 0), Text("HexadecimalForm", "COMPLEMENT_32BIT"),
      Text("ShowImdWindow", "Yes")},
     {},
     false,
     false,
     true,
     Expected(true, false, false, false, false, false, false, false, false, true, 5, 1, 1, 0, 3),
     {},
     nullptr},
    {"AttachedAndTheRemainingItems",
     {Text("EvalKey", "?"), Dword("Delay", 10), Text("OutFormatType", "e"),
      Dword("OutFormatPrecision", 9), Text("HexadecimalForm", "COMPLEMENT_8BIT"),
      Text("AttachResToImd", "Yes"), Text("EvalKeyPosition", "SUFFIX")},
     {},
     false,
     false,
     false,
     Expected(true, false, false, false, false, false, false, true, false, false, 1, 2, 2, 9, 1),
     {},
     nullptr},
};

INSTANTIATE_TEST_SUITE_P(Stores, SettingsOpening, testing::ValuesIn(kOpeningCases),
                         [](const testing::TestParamInfo<OpeningCase>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// Every control changed, and the five ways out of the dialog

enum class Way { kOk, kCloseBox, kCancel, kEsc, kEndZarl };

struct LeavingCase {
    const char* name;
    Way way;
};
void PrintTo(const LeavingCase& c, std::ostream* out) {
    *out << c.name;
}

class SettingsLeaving : public SettingsTest, public testing::WithParamInterface<LeavingCase> {
protected:
    // Changes every option from its default, each through its own control as
    // the mouse and the keyboard do, and waits until the dialog shows it all.
    void ChangeEveryOption(HWND dialog) {
        ASSERT_TRUE(ClickButton(dialog, IDC_PREFIX));
        ASSERT_TRUE(SelectComboItem(dialog, IDC_KEY, 4));  // "#"
        ASSERT_TRUE(ClickButton(dialog, IDC_DEGREE));
        ASSERT_TRUE(ClickButton(dialog, IDC_SEPARATORS));
        ASSERT_TRUE(ClickButton(dialog, IDC_SHIFTJIS));
        ASSERT_TRUE(SelectComboItem(dialog, IDC_DELAY, 2));      // "10"
        ASSERT_TRUE(SelectComboItem(dialog, IDC_TYPE, 4));       // "#.##"
        ASSERT_TRUE(SelectComboItem(dialog, IDC_PRECISION, 3));  // "3"
        ASSERT_TRUE(ClickButton(dialog, IDC_SIGN));
        ASSERT_TRUE(SelectComboItem(dialog, IDC_HEXFORM, 2));  // 16 bit
        ASSERT_TRUE(ClickButton(dialog, IDC_WRITEINI));
        ASSERT_TRUE(ClickButton(dialog, IDC_ATTACH));
        // Attached, the Immediate window's box follows.
        ASSERT_TRUE(ClickButton(dialog, IDC_RESULTWINDOW));
        ASSERT_TRUE(Add(dialog, "x1", "5"));
        ASSERT_TRUE(ListHolds(dialog, {"X1=5"}));
        std::vector<Shown> everything =
            Expected(true, false, true, true, true, true, true, true, true, true, 4, 2, 4, 3, 2);
        for (Shown& s : everything)
            if (s.id == IDC_WRITEINI) s.value = 1;
        ASSERT_TRUE(Shows(dialog, everything));
    }

    testing::AssertionResult Leave(HWND dialog, Way way) {
        bool sent = false;
        switch (way) {
            case Way::kOk: sent = ClickButton(dialog, IDOK); break;
            case Way::kCloseBox: sent = CloseWithCloseBox(dialog); break;
            case Way::kCancel: sent = ClickButton(dialog, IDCANCEL); break;
            case Way::kEndZarl: sent = ClickButton(dialog, IDC_END); break;
            case Way::kEsc:
                sent = PressKey(dialog, GetDlgItem(dialog, IDC_OPERATING), VK_ESCAPE);
                break;
        }
        if (!sent) return testing::AssertionFailure() << "could not leave the dialog";
        if (!WaitForWindowGone(dialog))
            return testing::AssertionFailure() << "the Settings dialog stayed open";
        return testing::AssertionSuccess();
    }
};

TEST_P(SettingsLeaving, EveryControlChangedThenLeft) {
    const Way way = GetParam().way;
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    // What start-up stored: the defaults.
    std::optional<RegSnapshot> settingsBefore = SnapshotKey(kSettingsKey);
    std::optional<RegSnapshot> constantsBefore = SnapshotKey(kConstantsKey);
    ASSERT_TRUE(settingsBefore && constantsBefore);

    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    ASSERT_NO_FATAL_FAILURE(ChangeEveryOption(dialog));
    ASSERT_TRUE(Leave(dialog, way));

    if (way == Way::kEndZarl) {
        DWORD code = 0;
        ASSERT_TRUE(WaitForProcessExit(zarl_->Process(), kCloseTimeout, &code))
            << "\"&END ZARL\" did not end the program; windows: " << DescribeWindows(Pid());
        EXPECT_EQ(code, 0u);
    }

    if (way == Way::kOk || way == Way::kCloseBox) {
        std::string title;
        EXPECT_TRUE(WaitForTitle(Main(), "ZARL-Operating", kResultTimeout, &title)) << title;
        // Both windows open, the pair attached, and shown as open in the store.
        HWND result = FindResultWindow(Pid());
        HWND imd = FindImdWindow(Pid());
        EXPECT_TRUE(result && imd)
            << "not both windows opened; windows: " << DescribeWindows(Pid());
        EXPECT_TRUE(
            Stored({StoredText("EvalKey", "#"), StoredText("EvalKeyPosition", "PREFIX"),
                    StoredNumber("Delay", 10), StoredText("AngleUnit", "Deg"),
                    StoredText("OutFormatSign", "+"), StoredText("OutFormatType", "f"),
                    StoredNumber("OutFormatPrecision", 3), StoredText("InsThousandSep", "Yes"),
                    StoredText("ShiftJIS", "Yes"),
                    StoredText("HexadecimalForm", "COMPLEMENT_16BIT"), StoredText("NoCopy", "No"),
                    StoredText("AttachResToImd", "Yes"), StoredText("WriteIni", "Yes"),
                    StoredText("ShowResultWindow", "Yes"), StoredText("ShowImdWindow", "Yes")}));
        EXPECT_TRUE(StoredConstants({{"X1", "5"}}));
        // The export is on: ZARL.INI holds the same.
        EXPECT_EQ(ReadIni("ZARL", "Version"), std::optional<std::string>("3.05"));
        EXPECT_EQ(ReadIni("ZARL", "EvalKey"), std::optional<std::string>("#"));
        EXPECT_EQ(ReadIni("ZARL", "InsComma"), std::optional<std::string>("Yes"));
        EXPECT_EQ(ReadIni("ZARL", "HexadecimalForm"),
                  std::optional<std::string>("COMPLEMENT_16BIT"));
        EXPECT_TRUE(IniConstants({"X1,5"}));

        // In effect: "#" in front is the key; degrees; fixed point with three
        // digits and a sign; separators; 16-bit complement; full-width text.
        EXPECT_TRUE(CopyAndExpectResult("#SIN(30)", "+0.500"));
        EXPECT_TRUE(CopyAndExpectResult("#1000*1000", "+1,000,000.000"));
        EXPECT_TRUE(CopyAndExpectResult("#-1@H", "&HFFFF"));
        EXPECT_TRUE(CopyAndExpectResult("#x1*2", "+10.000"));
        EXPECT_TRUE(CopyAndExpectResult(FullWidthShiftJis("#1+2"), FullWidthShiftJis("+3.000")));
        EXPECT_TRUE(CopyAndExpectNoChange("1+2="));
        // The Result window records every copy, the last one not evaluated.
        if (result) {
            EXPECT_TRUE(WaitUntil(
                [&] {
                    std::optional<Texts> history = ResultHistory(result);
                    return history && !history->empty() && history->front() == "Not Evaluated";
                },
                kResultTimeout))
                << "history: " << Describe(ResultHistory(result));
        }
        return;
    }

    // Cancel, Esc and "&END ZARL" commit nothing: the store is as start-up
    // left it, byte for byte, and nothing was exported.
    std::optional<RegSnapshot> settingsAfter = SnapshotKey(kSettingsKey);
    std::optional<RegSnapshot> constantsAfter = SnapshotKey(kConstantsKey);
    ASSERT_TRUE(settingsAfter && constantsAfter);
    EXPECT_TRUE(*settingsAfter == *settingsBefore)
        << DescribeSnapshotDifference(*settingsBefore, *settingsAfter);
    EXPECT_TRUE(*constantsAfter == *constantsBefore)
        << DescribeSnapshotDifference(*constantsBefore, *constantsAfter);
    EXPECT_EQ(GetFileAttributesA(IniPath().c_str()), INVALID_FILE_ATTRIBUTES)
        << "ZARL.INI was written";
    if (way == Way::kEndZarl) return;

    // Still the defaults at work, and no window opened.
    EXPECT_TRUE(CopyAndExpectResult("1+2=", "3"));
    EXPECT_TRUE(CopyAndExpectNoChange("#1+2"));
    EXPECT_TRUE(ShownDialogs(Pid(), kResultWindowTitle).empty()) << DescribeWindows(Pid());
    EXPECT_TRUE(ShownDialogs(Pid(), kImdWindowTitle).empty()) << DescribeWindows(Pid());
    EXPECT_EQ(zarl_->Title(), "ZARL-Operating");
}

const LeavingCase kLeavingCases[] = {
    {"Ok", Way::kOk},   {"TitleBarClose", Way::kCloseBox}, {"Cancel", Way::kCancel},
    {"Esc", Way::kEsc}, {"EndZarl", Way::kEndZarl},
};

INSTANTIATE_TEST_SUITE_P(Ways, SettingsLeaving, testing::ValuesIn(kLeavingCases),
                         [](const testing::TestParamInfo<LeavingCase>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// Single options

class SettingsOptions : public SettingsTest {};

TEST_F(SettingsOptions, OperatingAndNoCopy) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(ClickButton(dialog, IDC_OPERATING));
    ASSERT_TRUE(ClickButton(dialog, IDC_RESULTWINDOW));
    ASSERT_TRUE(Shows(dialog, {Box("Operating", IDC_OPERATING, false),
                               Box("Result Window", IDC_RESULTWINDOW, true)}));
    ASSERT_TRUE(ClickAndClose(dialog, IDOK));
    std::string title;
    EXPECT_TRUE(WaitForTitle(Main(), "ZARL-Pausing", kResultTimeout, &title)) << title;
    HWND result = FindResultWindow(Pid());
    ASSERT_TRUE(result) << DescribeWindows(Pid());
    // Paused: a copy is not even looked at.
    EXPECT_TRUE(CopyAndExpectNoChange("1+2="));
    EXPECT_EQ(ResultHistory(result), std::optional<Texts>(Texts{}));

    dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(
        Shows(dialog, {Box("Operating", IDC_OPERATING, false), Box("No Copy", IDC_NOCOPY, false),
                       Box("Result Window", IDC_RESULTWINDOW, true)}));
    ASSERT_TRUE(ClickButton(dialog, IDC_OPERATING));
    ASSERT_TRUE(ClickButton(dialog, IDC_NOCOPY));
    ASSERT_TRUE(
        Shows(dialog, {Box("Operating", IDC_OPERATING, true), Box("No Copy", IDC_NOCOPY, true)}));
    ASSERT_TRUE(ClickAndClose(dialog, IDOK));
    EXPECT_TRUE(WaitForTitle(Main(), "ZARL-Operating", kResultTimeout, &title)) << title;
    EXPECT_TRUE(Stored({StoredText("NoCopy", "Yes")}));
    // Evaluated, shown in the Result window, but the clipboard keeps the text.
    EXPECT_TRUE(CopyAndExpectNoChange("1+2="));
    EXPECT_TRUE(WaitUntil([&] { return ResultHistory(result) == std::optional<Texts>(Texts{"3"}); },
                          kResultTimeout))
        << "history: " << Describe(ResultHistory(result));
}

// A delay between the offered ones (only ZARL.INI can bring one in) shows as
// the largest item not above it and stays as it is until the list says
// something: picking an item, or the focus coming and going.
struct DelayCase {
    const char* name;
    enum Touch { kUntouched, kPicked, kFocusInAndOut } touch;
    DWORD stored;
};
void PrintTo(const DelayCase& c, std::ostream* out) {
    *out << c.name;
}

class SettingsDelay : public SettingsTest, public testing::WithParamInterface<DelayCase> {};

TEST_P(SettingsDelay, DelayBetweenTheItemsIsKeptUntilTheListIsTouched) {
    const DelayCase& c = GetParam();
    ASSERT_TRUE(FreshStore());
    ASSERT_TRUE(WriteIni("ZARL", "Version", "3.05"));
    ASSERT_TRUE(WriteIni("ZARL", "Delay", "50"));
    ASSERT_NO_FATAL_FAILURE(StartOnly());
    ASSERT_EQ(ReadRegDword(kSettingsKey, "Delay"), std::optional<DWORD>(50))
        << "the start did not take the delay 50 from ZARL.INI";

    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(Shows(dialog, {Item("Delay", IDC_DELAY, 2)}));
    EXPECT_EQ(ControlText(GetDlgItem(dialog, IDC_DELAY)), std::optional<std::string>("10"));
    HWND delay = GetDlgItem(dialog, IDC_DELAY);
    switch (c.touch) {
        case DelayCase::kUntouched: break;
        case DelayCase::kPicked: ASSERT_TRUE(SelectComboItem(dialog, IDC_DELAY, 2)); break;
        case DelayCase::kFocusInAndOut:
            ASSERT_TRUE(FocusControl(dialog, delay));
            ASSERT_TRUE(FocusControl(dialog, GetDlgItem(dialog, IDC_SHIFTJIS)));
            break;
    }
    ASSERT_TRUE(ClickAndClose(dialog, IDOK));
    EXPECT_TRUE(Stored({StoredNumber("Delay", c.stored)}));
}

const DelayCase kDelayCases[] = {
    {"OkWithoutTouchingTheList", DelayCase::kUntouched, 50},
    {"ItemPicked", DelayCase::kPicked, 10},
    {"FocusInAndOut", DelayCase::kFocusInAndOut, 10},
};

INSTANTIATE_TEST_SUITE_P(Touches, SettingsDelay, testing::ValuesIn(kDelayCases),
                         [](const testing::TestParamInfo<DelayCase>& info) {
                             return std::string(info.param.name);
                         });

// A stored key outside "=?!@#+" arrives as "=" (the load already puts it
// right); the dialog shows "=" and, cancelled, leaves "=" at work.
struct ForeignKeyCase {
    const char* name;
    bool fromIni;
};
void PrintTo(const ForeignKeyCase& c, std::ostream* out) {
    *out << c.name;
}

class SettingsForeignKey : public SettingsTest,
                           public testing::WithParamInterface<ForeignKeyCase> {};

TEST_P(SettingsForeignKey, KeyOutsideTheSetShowsAsEqualsSign) {
    if (GetParam().fromIni) {
        ASSERT_TRUE(FreshStore());
        ASSERT_TRUE(WriteIni("ZARL", "Version", "3.05"));
        ASSERT_TRUE(WriteIni("ZARL", "EvalKey", "A"));
        ASSERT_NO_FATAL_FAILURE(StartOnly());
    } else {
        ASSERT_NO_FATAL_FAILURE(StartWith({Text("EvalKey", "A")}));
    }
    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(Shows(dialog, {Item("Key", IDC_KEY, 0)}));
    ASSERT_TRUE(ClickAndClose(dialog, IDCANCEL));
    EXPECT_TRUE(CopyAndExpectResult("1+2=", "3"));
    EXPECT_TRUE(CopyAndExpectNoChange("1+2A"));
    EXPECT_TRUE(Stored({StoredText("EvalKey", "=")}));
}

const ForeignKeyCase kForeignKeyCases[] = {{"Registry", false}, {"Ini", true}};

INSTANTIATE_TEST_SUITE_P(Stores, SettingsForeignKey, testing::ValuesIn(kForeignKeyCases),
                         [](const testing::TestParamInfo<ForeignKeyCase>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// The Result and Immediate windows

class SettingsWindows : public SettingsTest {};

TEST_F(SettingsWindows, WindowBoxesOpenAndCloseTheWindowsOnOk) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(ClickButton(dialog, IDC_RESULTWINDOW));
    ASSERT_TRUE(Shows(dialog, {Box("Result Window", IDC_RESULTWINDOW, true),
                               Box("Immediate Window", IDC_IMDWINDOW, false)}));
    // Nothing opens before OK.
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_TRUE(ShownDialogs(Pid(), kResultWindowTitle).empty()) << DescribeWindows(Pid());
    ASSERT_TRUE(ClickAndClose(dialog, IDOK));
    HWND result = FindResultWindow(Pid());
    EXPECT_TRUE(result) << DescribeWindows(Pid());
    EXPECT_TRUE(Stored({StoredText("ShowResultWindow", "Yes"), StoredText("ShowImdWindow", "No")}));
    ASSERT_TRUE(ZarlCaughtUp(Main()));
    EXPECT_TRUE(ShownDialogs(Pid(), kImdWindowTitle).empty()) << DescribeWindows(Pid());

    dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(Shows(dialog, {Box("Result Window", IDC_RESULTWINDOW, true),
                               Box("Immediate Window", IDC_IMDWINDOW, false)}));
    ASSERT_TRUE(ClickButton(dialog, IDC_IMDWINDOW));
    ASSERT_TRUE(Shows(dialog, {Box("Immediate Window", IDC_IMDWINDOW, true)}));
    ASSERT_TRUE(ClickAndClose(dialog, IDOK));
    HWND imd = FindImdWindow(Pid());
    EXPECT_TRUE(imd) << DescribeWindows(Pid());
    EXPECT_TRUE(
        Stored({StoredText("ShowResultWindow", "Yes"), StoredText("ShowImdWindow", "Yes")}));

    dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(Shows(dialog, {Box("Result Window", IDC_RESULTWINDOW, true),
                               Box("Immediate Window", IDC_IMDWINDOW, true)}));
    ASSERT_TRUE(ClickButton(dialog, IDC_RESULTWINDOW));
    ASSERT_TRUE(ClickButton(dialog, IDC_IMDWINDOW));
    ASSERT_TRUE(Shows(dialog, {Box("Result Window", IDC_RESULTWINDOW, false),
                               Box("Immediate Window", IDC_IMDWINDOW, false)}));
    ASSERT_TRUE(ClickAndClose(dialog, IDOK));
    if (result) {
        EXPECT_TRUE(WaitForWindowGone(result)) << "the Result window stayed open";
    }
    if (imd) {
        EXPECT_TRUE(WaitForWindowGone(imd)) << "the Immediate window stayed open";
    }
    EXPECT_TRUE(Stored({StoredText("ShowResultWindow", "No"), StoredText("ShowImdWindow", "No")}));
    // Still at work after the Immediate window's loop has ended under the dialog.
    EXPECT_TRUE(CopyAndExpectResult("1+2=", "3"));
}

// "Attach (&Z) <" makes the two window boxes a pair: with it checked, either
// box takes the other along; checking it with one box checked checks the
// other; unchecking it changes neither.
TEST_F(SettingsWindows, AttachMakesTheWindowBoxesAPair) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    struct Step {
        int click;
        bool result, imd, attach;
    };
    const Step steps[] = {
        {IDC_RESULTWINDOW, true, false, false},  // alone
        {IDC_RESULTWINDOW, false, false, false},
        {IDC_ATTACH, false, false, true},      // nothing checked: nothing to pair
        {IDC_RESULTWINDOW, true, true, true},  // the pair
        {IDC_IMDWINDOW, false, false, true},   // the pair
        {IDC_ATTACH, false, false, false},
        {IDC_IMDWINDOW, false, true, false},  // alone
        {IDC_ATTACH, true, true, true},       // only Immediate checked: Result follows
        {IDC_ATTACH, true, true, false},      // unchecking changes neither
        {IDC_IMDWINDOW, true, false, false},  // alone
        {IDC_ATTACH, true, true, true},       // only Result checked: Immediate follows
        {IDC_ATTACH, true, true, false},
        {IDC_ATTACH, true, true, true},  // both checked: both stay
    };
    int n = 0;
    for (const Step& step : steps) {
        ++n;
        ASSERT_TRUE(ClickButton(dialog, step.click));
        ASSERT_TRUE(Shows(dialog, {Box("Result Window", IDC_RESULTWINDOW, step.result),
                                   Box("Immediate Window", IDC_IMDWINDOW, step.imd),
                                   Box("Attach", IDC_ATTACH, step.attach)}))
            << "after step " << n;
    }
    ASSERT_TRUE(ClickAndClose(dialog, IDOK));
    HWND result = FindResultWindow(Pid());
    HWND imd = FindImdWindow(Pid());
    ASSERT_TRUE(result && imd) << "not both windows opened; windows: " << DescribeWindows(Pid());
    EXPECT_TRUE(Stored({StoredText("AttachResToImd", "Yes"), StoredText("ShowResultWindow", "Yes"),
                        StoredText("ShowImdWindow", "Yes")}));
    // Attached: the Result window hangs below the Immediate window.
    RECT i{};
    RECT r{};
    EXPECT_TRUE(WaitUntil(
        [&] {
            i = WindowRect(imd);
            r = WindowRect(result);
            return r.left == i.left && r.top == i.bottom;
        },
        kResultTimeout))
        << "Result window " << DescribeRect(r) << ", Immediate window " << DescribeRect(i);

    // Unchecking one box of the pair closes both.
    dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(ClickButton(dialog, IDC_IMDWINDOW));
    ASSERT_TRUE(Shows(dialog, {Box("Result Window", IDC_RESULTWINDOW, false),
                               Box("Immediate Window", IDC_IMDWINDOW, false)}));
    ASSERT_TRUE(ClickAndClose(dialog, IDOK));
    EXPECT_TRUE(WaitForWindowGone(result)) << "the Result window stayed open";
    EXPECT_TRUE(WaitForWindowGone(imd)) << "the Immediate window stayed open";
    EXPECT_TRUE(Stored({StoredText("ShowResultWindow", "No"), StoredText("ShowImdWindow", "No")}));
}

// Attaching while both windows are open brings the Result window to its
// attached place below the Immediate window.
TEST_F(SettingsWindows, AttachingOpenWindowsMovesTheResultWindowBelow) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    ASSERT_TRUE(ShowResultWindow(Main()));
    HWND result = FindResultWindow(Pid());
    ASSERT_TRUE(result) << DescribeWindows(Pid());
    ASSERT_TRUE(ShowImdWindow(Main()));
    HWND imd = FindImdWindow(Pid());
    ASSERT_TRUE(imd) << DescribeWindows(Pid());
    ASSERT_TRUE(MoveWindowTo(result, 400, 300));

    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(Shows(
        dialog, {Box("Result Window", IDC_RESULTWINDOW, true),
                 Box("Immediate Window", IDC_IMDWINDOW, true), Box("Attach", IDC_ATTACH, false)}));
    ASSERT_TRUE(ClickButton(dialog, IDC_ATTACH));
    ASSERT_TRUE(Shows(dialog, {Box("Attach", IDC_ATTACH, true)}));
    ASSERT_TRUE(ClickAndClose(dialog, IDOK));
    RECT i{};
    RECT r{};
    EXPECT_TRUE(WaitUntil(
        [&] {
            i = WindowRect(imd);
            r = WindowRect(result);
            return r.left == i.left && r.top == i.bottom;
        },
        kResultTimeout))
        << "Result window " << DescribeRect(r) << ", Immediate window " << DescribeRect(i);
    EXPECT_TRUE(IsWindowVisible(result) && IsWindowVisible(imd));
    EXPECT_TRUE(Stored({StoredText("AttachResToImd", "Yes")}));
}

// ---------------------------------------------------------------------------
// Constants

class SettingsConstants : public SettingsTest {};

TEST_F(SettingsConstants, AddButtonFollowsTheFieldsAndTheConstantIsUsableAfterOk) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    struct Fields {
        const char* name;
        const char* value;
        bool addEnabled;
    };
    const Fields fields[] = {
        {"pi", "", false}, {"", "3.14159", false}, {"pi", "3.14159", true},
        {"pi", "", false}, {"", "", false},        {"pi", "3.14159", true},
    };
    for (const Fields& f : fields) {
        ASSERT_TRUE(TypeIntoEdit(dialog, IDC_CONSTNAME, f.name));
        ASSERT_TRUE(TypeIntoEdit(dialog, IDC_CONSTVALUE, f.value));
        EXPECT_TRUE(WaitUntil(
            [&] {
                return ControlText(GetDlgItem(dialog, IDC_CONSTNAME)) == std::string(f.name) &&
                       ControlText(GetDlgItem(dialog, IDC_CONSTVALUE)) == std::string(f.value);
            },
            kResultTimeout))
            << "typing did not arrive";
        EXPECT_TRUE(Shows(dialog, {Usable("Add Constant", IDC_ADDCONST, f.addEnabled)}))
            << "name " << Printable(f.name) << ", value " << Printable(f.value);
    }
    ASSERT_TRUE(ClickButton(dialog, IDC_ADDCONST));
    ASSERT_TRUE(ListHolds(dialog, {"PI=3.14159"}));
    // The fields keep what was typed, and the button stays as it was.
    EXPECT_EQ(ControlText(GetDlgItem(dialog, IDC_CONSTNAME)), std::optional<std::string>("pi"));
    EXPECT_TRUE(Shows(dialog, {Usable("Add Constant", IDC_ADDCONST, true),
                               Usable("Delete Constant", IDC_DELCONST, false)}));
    ASSERT_TRUE(ClickButton(dialog, IDC_WRITEINI));
    ASSERT_TRUE(Shows(dialog, {Box("Write ZARL.INI", IDC_WRITEINI, true)}));
    // Not in effect before OK.
    EXPECT_TRUE(CopyAndExpectNoChange("pi*2="));
    ASSERT_TRUE(ClickAndClose(dialog, IDOK));

    EXPECT_TRUE(CopyAndExpectResult("pi*2=", "6.28318"));
    EXPECT_TRUE(StoredConstants({{"PI", "3.14159"}}));
    EXPECT_TRUE(IniConstants({"PI,3.14159"}));
    // Not attached, OK stores both windows' places too, which the export
    // now carries (nothing stored: the places where nothing is stored).
    EXPECT_EQ(ReadIni("ZARL", "ImdWindowPosX"), std::optional<std::string>("10"));
    EXPECT_EQ(ReadIni("ZARL", "ImdWindowPosY"), std::optional<std::string>("10"));
    EXPECT_EQ(ReadIni("ZARL", "ResultWindowPosX"), std::optional<std::string>("10"));
    EXPECT_EQ(ReadIni("ZARL", "ResultWindowPosY"), std::optional<std::string>("60"));

    ASSERT_NO_FATAL_FAILURE(Restart());
    EXPECT_TRUE(CopyAndExpectResult("pi*2=", "6.28318"));
    dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(ListHolds(dialog, {"PI=3.14159"}));
    ASSERT_TRUE(ClickAndClose(dialog, IDCANCEL));

    ASSERT_NO_FATAL_FAILURE(RestartFromIniOnly());
    EXPECT_TRUE(CopyAndExpectResult("pi*2=", "6.28318"));
    EXPECT_TRUE(StoredConstants({{"PI", "3.14159"}}));
}

TEST_F(SettingsConstants, NamesAreCheckedUpperCasedAndCutToSevenCharacters) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    struct Illegal {
        const char* name;
        const char* message;
    };
    const Illegal illegal[] = {
        {"9lives", "A constant name cannot begin with numbers(0-9)."},
        {"my-pi",
         "A constant name cannot contain characters other than alphabets(A-Z),numbers(0-9) and "
         "'_'."},
        {"pi.2",
         "A constant name cannot contain characters other than alphabets(A-Z),numbers(0-9) and "
         "'_'."},
    };
    for (const Illegal& c : illegal) {
        ASSERT_TRUE(Add(dialog, c.name, "1"));
        HWND box = ExpectBox(dialog, kIllegalNameTitle, c.message);
        ASSERT_TRUE(box) << "name " << Printable(c.name);
        EXPECT_TRUE(Answer(box, IDOK));
        EXPECT_TRUE(ListHolds(dialog, {})) << "name " << Printable(c.name);
    }
    // A typed name reaches the list through 8 bytes: 7 characters.
    ASSERT_TRUE(Add(dialog, "abcdefghij", "1"));
    ASSERT_TRUE(ListHolds(dialog, {"ABCDEFG=1"}));
    ASSERT_TRUE(Add(dialog, "_x1", "2"));
    ASSERT_TRUE(ListHoldsInAnyOrder(dialog, {"ABCDEFG=1", "_X1=2"}));
    ASSERT_TRUE(ClickAndClose(dialog, IDOK));
    EXPECT_TRUE(CopyAndExpectResult("abcdefg+_x1=", "3"));
    EXPECT_TRUE(StoredConstants({{"ABCDEFG", "1"}, {"_X1", "2"}}));
}

TEST_F(SettingsConstants, AddingANameAgainAsksBeforeReplacing) {
    ASSERT_NO_FATAL_FAILURE(StartWith({}, {{"PI", "3.14159"}}));
    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(ListHolds(dialog, {"PI=3.14159"}));
    const std::string question =
        "A constant definition\nPI=3.14159\nexists in the list.\nDo you want to replace it?";

    ASSERT_TRUE(Add(dialog, "pi", "3"));
    HWND box = ExpectBox(dialog, "ZARL", question);
    ASSERT_TRUE(box);
    EXPECT_TRUE(Answer(box, IDCANCEL));
    EXPECT_TRUE(ListHolds(dialog, {"PI=3.14159"}));

    ASSERT_TRUE(ClickButton(dialog, IDC_ADDCONST));
    box = ExpectBox(dialog, "ZARL", question);
    ASSERT_TRUE(box);
    EXPECT_TRUE(Answer(box, IDOK));
    EXPECT_TRUE(ListHolds(dialog, {"PI=3"}));
    ASSERT_TRUE(ClickAndClose(dialog, IDOK));
    EXPECT_TRUE(CopyAndExpectResult("pi*2=", "6"));
    EXPECT_TRUE(StoredConstants({{"PI", "3"}}));
}

TEST_F(SettingsConstants, NoMoreThan256) {
    Constants stored;
    for (int i = 0; i < 256; ++i) stored.emplace_back("K" + std::to_string(i), "1");
    ASSERT_NO_FATAL_FAILURE(StartWith({}, stored));
    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    std::optional<Texts> items = ListBoxItems(GetDlgItem(dialog, IDC_CONSTLIST));
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 256u);

    // A new name and a listed one alike: the limit comes first.
    for (const char* name : {"new", "k0"}) {
        ASSERT_TRUE(Add(dialog, name, "2"));
        HWND box = ExpectBox(dialog, "ZARL-Too many constants", "No more constants can be added.");
        ASSERT_TRUE(box) << "name " << name;
        EXPECT_TRUE(Answer(box, IDOK));
        EXPECT_EQ(ListBoxItems(GetDlgItem(dialog, IDC_CONSTLIST)), items) << "name " << name;
    }

    // One deleted makes room for one.
    ASSERT_TRUE(SelectListBoxItem(dialog, IDC_CONSTLIST, 0));
    ASSERT_TRUE(Shows(dialog, {Usable("Delete Constant", IDC_DELCONST, true)}));
    const std::string first = items->front();
    ASSERT_TRUE(ClickButton(dialog, IDC_DELCONST));
    HWND box =
        ExpectBox(dialog, "ZARL", "The constant\n" + first + "\nwill be deleted.\nAre you sure?");
    ASSERT_TRUE(box);
    EXPECT_TRUE(Answer(box, IDOK));
    ASSERT_TRUE(Add(dialog, "new", "2"));
    Texts expected(items->begin() + 1, items->end());
    expected.push_back("NEW=2");
    EXPECT_TRUE(ListHoldsInAnyOrder(dialog, expected));
    ASSERT_TRUE(ClickAndClose(dialog, IDCANCEL));
}

TEST_F(SettingsConstants, DeleteAsksAndTheConstantStaysGone) {
    ASSERT_NO_FATAL_FAILURE(StartWith({}, {{"A1", "1"}, {"B2", "2"}, {"C3", "3"}}));
    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(ListHolds(dialog, {"A1=1", "B2=2", "C3=3"}));
    EXPECT_TRUE(Shows(dialog, {Usable("Delete Constant", IDC_DELCONST, false)}));
    ASSERT_TRUE(SelectListBoxItem(dialog, IDC_CONSTLIST, 1));
    ASSERT_TRUE(Shows(dialog, {Usable("Delete Constant", IDC_DELCONST, true)}));
    const std::string question = "The constant\nB2=2\nwill be deleted.\nAre you sure?";

    ASSERT_TRUE(ClickButton(dialog, IDC_DELCONST));
    HWND box = ExpectBox(dialog, "ZARL", question);
    ASSERT_TRUE(box);
    EXPECT_TRUE(Answer(box, IDCANCEL));
    EXPECT_TRUE(ListHolds(dialog, {"A1=1", "B2=2", "C3=3"}));
    EXPECT_TRUE(Shows(dialog, {Usable("Delete Constant", IDC_DELCONST, true)}));

    ASSERT_TRUE(ClickButton(dialog, IDC_DELCONST));
    box = ExpectBox(dialog, "ZARL", question);
    ASSERT_TRUE(box);
    EXPECT_TRUE(Answer(box, IDOK));
    EXPECT_TRUE(ListHolds(dialog, {"A1=1", "C3=3"}));
    // Nothing is selected after a deletion, and so nothing can be deleted.
    EXPECT_EQ(ListBoxSelection(GetDlgItem(dialog, IDC_CONSTLIST)), std::optional<int>(-1));
    EXPECT_TRUE(Shows(dialog, {Usable("Delete Constant", IDC_DELCONST, false)}));
    ASSERT_TRUE(ClickButton(dialog, IDC_WRITEINI));
    ASSERT_TRUE(Shows(dialog, {Box("Write ZARL.INI", IDC_WRITEINI, true)}));
    ASSERT_TRUE(ClickAndClose(dialog, IDOK));

    EXPECT_TRUE(CopyAndExpectNoChange("b2="));
    EXPECT_TRUE(CopyAndExpectResult("a1+c3=", "4"));
    EXPECT_TRUE(StoredConstants({{"A1", "1"}, {"C3", "3"}}));
    EXPECT_TRUE(IniConstants({"A1,1", "C3,3"}));

    ASSERT_NO_FATAL_FAILURE(Restart());
    EXPECT_TRUE(CopyAndExpectNoChange("b2="));
    dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(ListHolds(dialog, {"A1=1", "C3=3"}));
    ASSERT_TRUE(ClickAndClose(dialog, IDCANCEL));

    ASSERT_NO_FATAL_FAILURE(RestartFromIniOnly());
    EXPECT_TRUE(CopyAndExpectNoChange("b2="));
    EXPECT_TRUE(CopyAndExpectResult("a1+c3=", "4"));
}

// A value text is read as a number, not evaluated: what does not begin like
// a number gives 0, and only the leading number counts.
TEST_F(SettingsConstants, ValuesAreTheNumbersTheirTextsBeginWith) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    struct Value {
        const char* name;
        const char* typed;
        const char* entry;
        const char* stored;
        const char* expression;
        const char* result;
    };
    const Value values[] = {
        {"v1", "pi", "V1=PI", "PI", "v1+1=", "1"},
        {"v2", "2*3", "V2=2*3", "2*3", "v2=", "2"},
        {"v3", "1e3", "V3=1E3", "1E3", "v3=", "1000"},
        // A typed value reaches the list through 40 bytes: 39 characters.
        {"v4", "1234567890123456789012345678901234567890123",
         "V4=123456789012345678901234567890123456789", "123456789012345678901234567890123456789",
         "v4=", "1.23456789012346e+038"},
    };
    Texts entries;
    Constants stored;
    Texts ini;
    for (const Value& v : values) {
        ASSERT_TRUE(Add(dialog, v.name, v.typed));
        entries.push_back(v.entry);
        stored.emplace_back(std::string(v.entry).substr(0, 2), v.stored);
        ini.push_back(std::string(v.entry).substr(0, 2) + "," + v.stored);
        ASSERT_TRUE(ListHolds(dialog, entries));
    }
    ASSERT_TRUE(ClickButton(dialog, IDC_WRITEINI));
    ASSERT_TRUE(Shows(dialog, {Box("Write ZARL.INI", IDC_WRITEINI, true)}));
    ASSERT_TRUE(ClickAndClose(dialog, IDOK));
    for (const Value& v : values) EXPECT_TRUE(CopyAndExpectResult(v.expression, v.result));
    EXPECT_TRUE(StoredConstants(stored));
    EXPECT_TRUE(IniConstants(ini));

    ASSERT_NO_FATAL_FAILURE(Restart());
    for (const Value& v : values) EXPECT_TRUE(CopyAndExpectResult(v.expression, v.result));
    ASSERT_NO_FATAL_FAILURE(RestartFromIniOnly());
    for (const Value& v : values) EXPECT_TRUE(CopyAndExpectResult(v.expression, v.result));
    dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(ListHolds(dialog, entries));
    ASSERT_TRUE(ClickAndClose(dialog, IDCANCEL));
}

// ---------------------------------------------------------------------------
// The About box

TEST_F(SettingsTest, AboutBoxShowsTheVersionAndClosesOnOk) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(ClickButton(dialog, IDC_ABOUTBUTTON));
    HWND about = FindShownDialog(Pid(), kAboutTitle, kResultTimeout);
    ASSERT_TRUE(about) << "no \"" << kAboutTitle << "\" box; windows: " << DescribeWindows(Pid());
    EXPECT_EQ(GetWindow(about, GW_OWNER), dialog) << "the About box does not belong to the dialog";
    EXPECT_EQ(ControlText(GetDlgItem(about, IDC_VERSION)),
              std::optional<std::string>("Version 3.05"));
    // Its template puts its client area at (0, 0) of the dialog's.
    POINT aboutOrigin{0, 0};
    POINT dialogOrigin{0, 0};
    ClientToScreen(about, &aboutOrigin);
    ClientToScreen(dialog, &dialogOrigin);
    EXPECT_TRUE(aboutOrigin.x == dialogOrigin.x && aboutOrigin.y == dialogOrigin.y)
        << "the About box's client area is at (" << aboutOrigin.x << "," << aboutOrigin.y
        << "), the dialog's at (" << dialogOrigin.x << "," << dialogOrigin.y << ")";
    // On a display without a window manager, Wine leaves a window that lies
    // wholly inside another window of the same program black on the screen;
    // for the picture the box is moved clear of the dialog, as by a drag.
    RECT box = WindowRect(about);
    EXPECT_TRUE(MoveWindowTo(about, box.left, 20));
    EXPECT_TRUE(WaitForPainting(about)) << "the About box is not painted";
    EXPECT_TRUE(ControlsWhole(about));
    EXPECT_TRUE(TakeScreenshot("about_box"));
    ASSERT_TRUE(ClickButton(about, IDOK));
    EXPECT_TRUE(WaitForWindowGone(about)) << "the About box did not close on OK";
    EXPECT_TRUE(IsWindowVisible(dialog)) << "the Settings dialog closed with the About box";
    EXPECT_TRUE(ClickAndClose(dialog, IDCANCEL));
}

// ---------------------------------------------------------------------------
// Help: the requests the dialog makes of the help engine

class SettingsHelp : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        if (HasFatalFailure()) return;
        if (HelpTracePath().empty())
            GTEST_SKIP() << "the help engine's requests can only be seen in a run through "
                            "tests/e2e/run-with-help-trace.sh (ctest does that)";
        ASSERT_TRUE(CloseHelpEngine()) << "a help engine from before could not be ended";
    }

    void TearDown() override {
        // The engine outlives the program; it must not reach into later cases.
        EXPECT_TRUE(CloseHelpEngine()) << "the help engine could not be ended";
        SettingsTest::TearDown();
    }

    // Waits until the dialog takes posted messages again, i.e. its call to
    // the help engine has returned, answering the engine's questions meanwhile.
    testing::AssertionResult DialogTakesInputAgain(HWND dialog) {
        if (WaitForDialogToCatchUp(dialog, IDC_ABOUTBUTTON, Ms{10000},
                                   [] { AnswerHelpEngineBoxes(); }))
            return testing::AssertionSuccess();
        std::string engines;
        for (DWORD pid : HelpEnginePids()) engines += " " + DescribeWindows(pid);
        return testing::AssertionFailure()
               << "the dialog did not take input again within 10 s of the help request; the "
               << "program's windows: " << DescribeWindows(Pid())
               << "; the help engine's windows:" << (engines.empty() ? " none" : engines);
    }

    // One request and only that one since `offset`.
    static testing::AssertionResult OnlyRequest(std::uint64_t offset, unsigned command,
                                                unsigned data) {
        std::vector<HelpRequest> requests = HelpRequestsSince(offset);
        if (requests.size() == 1 && requests[0].command == command && requests[0].data == data)
            return testing::AssertionSuccess();
        return testing::AssertionFailure()
               << "the help engine got " << DescribeHelpRequests(requests) << ", expected only cmd "
               << command << " data " << data;
    }
};

TEST_F(SettingsHelp, F1OnAControlAsksForItsTopicAndTheButtonsForTheIndexAndQuit) {
    ASSERT_NO_FATAL_FAILURE(StartFresh());
    HWND dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    struct Topic {
        const char* what;
        HWND control;
        unsigned context;
    };
    const Topic topics[] = {
        {"Operating", GetDlgItem(dialog, IDC_OPERATING), 111},
        // The static text without an id of its own; F1 reaches it once it has
        // the focus, as the title bar's "?" would (which Wine does not offer).
        {"Hexadecimal text", ChildWithText(dialog, "Hexadeci&mal"), 131},
        {"Delay list", GetDlgItem(dialog, IDC_DELAY), 151},
        {"Cancel", GetDlgItem(dialog, IDCANCEL), 1},
        {"Constants list", GetDlgItem(dialog, IDC_CONSTLIST), 201},
        {"Attach", GetDlgItem(dialog, IDC_ATTACH), 168},
        {"DEGREE", GetDlgItem(dialog, IDC_DEGREE), 181},
        {"Value field", GetDlgItem(dialog, IDC_CONSTVALUE), 201},
    };
    for (const Topic& t : topics) {
        ASSERT_TRUE(t.control) << t.what << " not found";
        std::uint64_t offset = HelpTraceSize();
        ASSERT_TRUE(PressF1(dialog, t.control)) << t.what;
        EXPECT_TRUE(WaitForHelpRequest(offset, HELP_CONTEXT, t.context)) << "F1 on " << t.what;
        ASSERT_TRUE(DialogTakesInputAgain(dialog)) << "F1 on " << t.what;
        EXPECT_TRUE(OnlyRequest(offset, HELP_CONTEXT, t.context)) << "F1 on " << t.what;
    }

    // "&HELP" opens the index; Cancel closes the help window again.
    std::uint64_t offset = HelpTraceSize();
    ASSERT_TRUE(ClickButton(dialog, IDC_HELPBUTTON));
    EXPECT_TRUE(WaitForHelpRequest(offset, HELP_FINDER, 0));
    ASSERT_TRUE(DialogTakesInputAgain(dialog));
    ASSERT_FALSE(HelpEnginePids().empty()) << "the help engine is not running after \"&HELP\"";
    offset = HelpTraceSize();
    ASSERT_TRUE(ClickAndClose(dialog, IDCANCEL));
    EXPECT_TRUE(WaitForHelpRequest(offset, HELP_QUIT, 0)) << "Cancel";
    EXPECT_TRUE(WaitUntil([] { return HelpEnginePids().empty(); }, kCloseTimeout))
        << "the help engine is still running after Cancel";

    // And OK does the same.
    dialog = OpenSettings();
    ASSERT_TRUE(dialog);
    offset = HelpTraceSize();
    ASSERT_TRUE(ClickButton(dialog, IDC_HELPBUTTON));
    EXPECT_TRUE(WaitForHelpRequest(offset, HELP_FINDER, 0));
    ASSERT_TRUE(DialogTakesInputAgain(dialog));
    offset = HelpTraceSize();
    ASSERT_TRUE(ClickAndClose(dialog, IDOK));
    EXPECT_TRUE(WaitForHelpRequest(offset, HELP_QUIT, 0)) << "OK";
    EXPECT_TRUE(WaitUntil([] { return HelpEnginePids().empty(); }, kCloseTimeout))
        << "the help engine is still running after OK";
}

}  // namespace
}  // namespace e2e
