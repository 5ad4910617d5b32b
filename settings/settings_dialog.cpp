// The Settings dialog. Every control edits a pending copy of its field; OK
// (or the title bar's close) commits them all, stores them and opens or
// closes the Result and Immediate windows; Cancel, Esc and "&END ZARL" drop
// them. The constants are pending in the dialog's list itself.
#include "settings/settings_dialog.h"

#include <cstring>

#include "app/app_state.h"
#include "eval/format.h"
#include "res/resource.h"
#include "settings/constants_edit.h"
#include "settings/persistence.h"
#include "settings/settings.h"

namespace {

// What the dialog shows and the user changes, committed only by OK.
struct PendingFields {
    int Operating;
    int NoCopy;
    int EvalKeyPosition;
    char EvalKey;
    int AngleUnit;
    int InsThousandSep;
    int ShiftJIS;
    unsigned Delay;
    char OutFormatType[sizeof Settings.OutFormatType];
    int OutFormatPrecision;
    char OutFormatSign[sizeof Settings.OutFormatSign];
    int HexadecimalForm;
    int WriteIni;
    int AttachResToImd;
    int ResultShown;
    int ImdShown;
};

PendingFields Pending;

// The drop-down lists. None is sorted: an item's index is its value.
const char* const DelayItems[] = {"0", "1", "10", "100"};
const unsigned DelayValues[] = {0, 1, 10, 100};
const char* const TypeItems[] = {"#.## or #.#e##", "#.## or #.#E##", "#.#e##", "#.#E##", "#.##"};
const char* const TypeValues[] = {"g", "G", "e", "E", "f"};
const char* const HexFormItems[] = {"With Sign", "2's Complement,8bit", "2's Complement,16bit",
                                    "2's Complement,32bit"};
constexpr int PrecisionItems = 16;
constexpr int KeyItems = sizeof EvalKeyChoices - 1;

// The help context of each control; every other control (the push buttons
// at the right) has the dialog's own.
struct HelpContext {
    int control;
    DWORD context;
};
const HelpContext HelpContexts[] = {
    {IDC_OPERATING, HIDC_OPERATING},
    {IDC_SHIFTJIS, HIDC_SHIFTJIS},
    {IDC_SEPARATORS, HIDC_SEPARATORS},
    {IDC_FORMATGROUP, HIDC_FORMATGROUP},
    {IDC_TYPE, HIDC_TYPE},
    {IDC_TYPELABEL, HIDC_TYPELABEL},
    {IDC_PRECISIONLABEL, HIDC_PRECISIONLABEL},
    {IDC_PRECISION, HIDC_PRECISION},
    {IDC_SIGN, HIDC_SIGN},
    {IDC_HEXFORM, HIDC_HEXFORM},
    {IDC_HEXLABEL, HIDC_HEXLABEL},
    {IDC_NOCOPY, HIDC_NOCOPY},
    {IDC_DELAY, HIDC_DELAY},
    {IDC_DELAYLABEL, HIDC_DELAYLABEL},
    {IDC_RESULTWINDOW, HIDC_RESULTWINDOW},
    {IDC_IMDWINDOW, HIDC_IMDWINDOW},
    {IDC_ATTACH, HIDC_ATTACH},
    {IDC_PREFIX, HIDC_PREFIX},
    {IDC_SUFFIX, HIDC_SUFFIX},
    {IDC_KEYLABEL, HIDC_KEYLABEL},
    {IDC_KEYGROUP, HIDC_KEYGROUP},
    {IDC_KEY, HIDC_KEY},
    {IDC_ANGLEGROUP, HIDC_ANGLEGROUP},
    {IDC_RADIAN, HIDC_RADIAN},
    {IDC_DEGREE, HIDC_DEGREE},
    {IDC_WRITEINI, HIDC_WRITEINI},
    {IDC_CONSTNAME, HIDC_CONSTNAME},
    {IDC_CONSTVALUE, HIDC_CONSTVALUE},
    {IDC_NAMELABEL, HIDC_NAMELABEL},
    {IDC_CONSTGROUP, HIDC_CONSTGROUP},
    {IDC_VALUELABEL, HIDC_VALUELABEL},
    {IDC_CONSTLIST, HIDC_CONSTLIST},
    {IDC_ADDCONST, HIDC_ADDCONST},
    {IDC_DELCONST, HIDC_DELCONST},
};

// ---------------------------------------------------------------------------
// Controls

void CheckBox(HWND dialog, int id, int on) {
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

int Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 1 : 0;
}

template <int N>
void FillList(HWND dialog, int id, const char* const (&items)[N]) {
    for (const char* item : items) {
        SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
}

void SelectItem(HWND dialog, int id, int index) {
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, WPARAM(index), 0);
}

// The selected item's index, or -1 when none is selected.
int SelectedItem(HWND dialog, int id) {
    LRESULT index = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : int(index);
}

int DelayItemFor(unsigned delay) {
    if (delay == 0) return 0;
    if (delay < 10) return 1;
    if (delay < 100) return 2;
    return 3;
}

int TypeItemFor(const char* type) {
    for (int i = 0; i < int(sizeof TypeValues / sizeof *TypeValues); i++) {
        if (std::strcmp(type, TypeValues[i]) == 0) return i;
    }
    return 0;
}

void CopyText(char* to, size_t size, const char* from) {
    size_t n = std::strlen(from);
    if (n >= size) n = size - 1;
    std::memcpy(to, from, n);
    to[n] = '\0';
}

// ---------------------------------------------------------------------------
// Opening

void FillKeyList(HWND dialog) {
    for (int i = 0; i < KeyItems; i++) {
        char item[2] = {EvalKeyChoices[i], '\0'};
        SendDlgItemMessageA(dialog, IDC_KEY, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    // A key outside the set is put right at once, whatever the dialog's end.
    const char* found =
        Settings.EvalKey != '\0' ? std::strchr(EvalKeyChoices, Settings.EvalKey) : nullptr;
    if (found == nullptr) {
        Settings.EvalKey = EvalKeyChoices[0];
        found = EvalKeyChoices;
    }
    Pending.EvalKey = Settings.EvalKey;
    SelectItem(dialog, IDC_KEY, int(found - EvalKeyChoices));
}

void FillPrecisionList(HWND dialog) {
    for (int i = 0; i < PrecisionItems; i++) {
        char item[4] = {char('0' + i / 10), char('0' + i % 10), '\0'};
        const char* text = i < 10 ? item + 1 : item;
        SendDlgItemMessageA(dialog, IDC_PRECISION, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
}

INT_PTR OnInitSettings(HWND dialog) {
    SettingsDialogOpen = 1;
    Pending.Operating = Operating;
    CheckBox(dialog, IDC_OPERATING, Pending.Operating);
    Pending.NoCopy = Settings.NoCopy;
    CheckBox(dialog, IDC_NOCOPY, Pending.NoCopy);
    Pending.EvalKeyPosition = Settings.EvalKeyPosition;
    CheckRadioButton(dialog, IDC_PREFIX, IDC_SUFFIX,
                     Pending.EvalKeyPosition == KeyPrefix ? IDC_PREFIX : IDC_SUFFIX);
    FillKeyList(dialog);
    Pending.AngleUnit = Settings.AngleUnit;
    CheckBox(dialog, IDC_RADIAN, Pending.AngleUnit == AngleRadians);
    CheckBox(dialog, IDC_DEGREE, Pending.AngleUnit == AngleDegrees);
    Pending.InsThousandSep = Settings.InsThousandSep;
    CheckBox(dialog, IDC_SEPARATORS, Pending.InsThousandSep);
    Pending.ShiftJIS = Settings.ShiftJIS;
    CheckBox(dialog, IDC_SHIFTJIS, Pending.ShiftJIS);
    // The exact delay stays pending until the list itself says something.
    Pending.Delay = Settings.Delay;
    FillList(dialog, IDC_DELAY, DelayItems);
    SelectItem(dialog, IDC_DELAY, DelayItemFor(Pending.Delay));
    FillList(dialog, IDC_TYPE, TypeItems);
    CopyText(Pending.OutFormatType, sizeof Pending.OutFormatType, Settings.OutFormatType);
    SelectItem(dialog, IDC_TYPE, TypeItemFor(Pending.OutFormatType));
    FillPrecisionList(dialog);
    Pending.OutFormatPrecision = Settings.OutFormatPrecision;
    SelectItem(dialog, IDC_PRECISION, Pending.OutFormatPrecision);
    CopyText(Pending.OutFormatSign, sizeof Pending.OutFormatSign, Settings.OutFormatSign);
    CheckBox(dialog, IDC_SIGN, std::strcmp(Pending.OutFormatSign, "+") == 0);
    FillList(dialog, IDC_HEXFORM, HexFormItems);
    Pending.HexadecimalForm = Settings.HexadecimalForm;
    SelectItem(dialog, IDC_HEXFORM, Pending.HexadecimalForm);
    Pending.WriteIni = Settings.WriteIni;
    CheckBox(dialog, IDC_WRITEINI, Pending.WriteIni);
    ListConstants(GetDlgItem(dialog, IDC_CONSTLIST));
    // The windows as they are now, not as stored.
    Pending.ResultShown = ResultWindowOpen;
    CheckBox(dialog, IDC_RESULTWINDOW, Pending.ResultShown);
    Pending.ImdShown = ImdWindowOpen;
    CheckBox(dialog, IDC_IMDWINDOW, Pending.ImdShown);
    Pending.AttachResToImd = Settings.AttachResToImd;
    CheckBox(dialog, IDC_ATTACH, Pending.AttachResToImd);
    return TRUE;  // the first tab stop takes the focus
}

// ---------------------------------------------------------------------------
// Commands

// A window box changed: with the pair attached, the partner box follows.
void OnWindowBox(HWND dialog, int id) {
    int shown = Checked(dialog, id);
    bool result = id == IDC_RESULTWINDOW;
    (result ? Pending.ResultShown : Pending.ImdShown) = shown;
    if (!Pending.AttachResToImd) return;
    CheckBox(dialog, result ? IDC_IMDWINDOW : IDC_RESULTWINDOW, shown);
    (result ? Pending.ImdShown : Pending.ResultShown) = shown;
}

// Attaching with one window box checked checks the other too.
void OnAttachBox(HWND dialog) {
    Pending.AttachResToImd = Checked(dialog, IDC_ATTACH);
    if (!Pending.AttachResToImd) return;
    int result = Checked(dialog, IDC_RESULTWINDOW);
    int imd = Checked(dialog, IDC_IMDWINDOW);
    if (result == imd) return;
    CheckBox(dialog, IDC_RESULTWINDOW, 1);
    CheckBox(dialog, IDC_IMDWINDOW, 1);
    Pending.ResultShown = 1;
    Pending.ImdShown = 1;
}

void UpdateAddButton(HWND dialog) {
    bool both = GetWindowTextLengthA(GetDlgItem(dialog, IDC_CONSTNAME)) > 0 &&
                GetWindowTextLengthA(GetDlgItem(dialog, IDC_CONSTVALUE)) > 0;
    EnableWindow(GetDlgItem(dialog, IDC_ADDCONST), both);
}

void UpdateDeleteButton(HWND dialog) {
    bool selected = SendDlgItemMessageA(dialog, IDC_CONSTLIST, LB_GETCURSEL, 0, 0) != LB_ERR;
    EnableWindow(GetDlgItem(dialog, IDC_DELCONST), selected);
}

void OnKeyList(HWND dialog) {
    int item = SelectedItem(dialog, IDC_KEY);
    Pending.EvalKey = item >= 0 && item < KeyItems ? EvalKeyChoices[item] : EvalKeyChoices[0];
}

void OnDelayList(HWND dialog) {
    int item = SelectedItem(dialog, IDC_DELAY);
    Pending.Delay = item >= 1 && item <= 3 ? DelayValues[item] : 0;
}

void OnTypeList(HWND dialog) {
    int item = SelectedItem(dialog, IDC_TYPE);
    const char* type = item >= 1 && item <= 4 ? TypeValues[item] : TypeValues[0];
    CopyText(Pending.OutFormatType, sizeof Pending.OutFormatType, type);
}

void OnPrecisionList(HWND dialog) {
    int item = SelectedItem(dialog, IDC_PRECISION);
    Pending.OutFormatPrecision = item >= 0 ? item : 15;
}

void OnHexFormList(HWND dialog) {
    int item = SelectedItem(dialog, IDC_HEXFORM);
    Pending.HexadecimalForm = item >= 0 ? item : 0;
}

// Opens or closes a window so that it matches its box: closing here, opening
// through the main window, which runs the Immediate window's own loop.
void ApplyWindowBoxes() {
    if (Pending.ResultShown != ResultWindowOpen) {
        if (ResultWindowOpen) {
            Settings.ShowResultWindow = 0;
            DestroyWindow(ResultWindow);
        } else {
            PostMessageA(MainWindow, WM_SYSCOMMAND, IDM_SHOWRESULT, ORIGIN_SETTINGS);
        }
    }
    if (Pending.ImdShown != ImdWindowOpen) {
        if (ImdWindowOpen) {
            Settings.ShowImdWindow = 0;
            DestroyWindow(ImdWindow);
        } else {
            PostMessageA(MainWindow, WM_SYSCOMMAND, IDM_SHOWIMD, ORIGIN_SETTINGS);
        }
    }
}

void OnSettingsOk(HWND dialog) {
    Operating = Pending.Operating;
    Settings.NoCopy = Pending.NoCopy;
    Settings.EvalKeyPosition = Pending.EvalKeyPosition;
    Settings.EvalKey = Pending.EvalKey;
    SetAngleUnit(Pending.AngleUnit);
    Settings.Delay = static_cast<unsigned short>(Pending.Delay);
    Settings.InsThousandSep = Pending.InsThousandSep;
    Settings.ShiftJIS = Pending.ShiftJIS;
    CopyText(Settings.OutFormatType, sizeof Settings.OutFormatType, Pending.OutFormatType);
    Settings.OutFormatPrecision = Pending.OutFormatPrecision;
    CopyText(Settings.OutFormatSign, sizeof Settings.OutFormatSign, Pending.OutFormatSign);
    BuildOutFormat(Settings.OutFormatSign, Settings.OutFormatType, Settings.OutFormatPrecision);
    Settings.HexadecimalForm = Pending.HexadecimalForm;
    Settings.WriteIni = Pending.WriteIni;
    CommitConstantList(GetDlgItem(dialog, IDC_CONSTLIST));

    Settings.AttachResToImd = Pending.AttachResToImd;
    if (Settings.AttachResToImd) {
        if (ResultWindowOpen) PostMessageA(ResultWindow, UM_PLACERESULT, 0, 0);
    } else {
        SaveImdWindowPos();
        SaveResultWindowPos();
    }
    ApplyWindowBoxes();
    SaveSettings();
    WinHelpA(dialog, HelpFile, HELP_QUIT, 0);
    EndDialog(dialog, 1);
}

void OnSettingsCancel(HWND dialog) {
    WinHelpA(dialog, HelpFile, HELP_QUIT, 0);
    EndDialog(dialog, 0);
}

// Ends the whole program without committing anything.
void OnEndProgram(HWND dialog) {
    WinHelpA(dialog, HelpFile, HELP_QUIT, 0);
    EndDialog(dialog, 0);
    SendMessageA(MainWindow, WM_CLOSE, 0, 0);
}

INT_PTR OnSettingsCommand(HWND dialog, int id) {
    switch (id) {
        case IDC_OPERATING: Pending.Operating = Checked(dialog, id); return TRUE;
        case IDC_NOCOPY: Pending.NoCopy = Checked(dialog, id); return TRUE;
        case IDC_SHIFTJIS: Pending.ShiftJIS = Checked(dialog, id); return TRUE;
        case IDC_SEPARATORS: Pending.InsThousandSep = Checked(dialog, id); return TRUE;
        case IDC_WRITEINI: Pending.WriteIni = Checked(dialog, id); return TRUE;
        case IDC_PREFIX:
            if (Checked(dialog, id)) Pending.EvalKeyPosition = KeyPrefix;
            return TRUE;
        case IDC_SUFFIX:
            if (Checked(dialog, id)) Pending.EvalKeyPosition = KeySuffix;
            return TRUE;
        case IDC_RADIAN:
            if (Checked(dialog, id)) Pending.AngleUnit = AngleRadians;
            return TRUE;
        case IDC_DEGREE:
            if (Checked(dialog, id)) Pending.AngleUnit = AngleDegrees;
            return TRUE;
        case IDC_DELAY: OnDelayList(dialog); return TRUE;
        case IDC_TYPE: OnTypeList(dialog); return TRUE;
        case IDC_PRECISION: OnPrecisionList(dialog); return TRUE;
        case IDC_SIGN:
            CopyText(Pending.OutFormatSign, sizeof Pending.OutFormatSign,
                     Checked(dialog, id) ? "+" : "-");
            return TRUE;
        case IDC_KEY: OnKeyList(dialog); return TRUE;
        case IDC_HEXFORM: OnHexFormList(dialog); return TRUE;
        case IDC_RESULTWINDOW:
        case IDC_IMDWINDOW: OnWindowBox(dialog, id); return TRUE;
        case IDC_ATTACH: OnAttachBox(dialog); return TRUE;
        case IDC_CONSTNAME:
        case IDC_CONSTVALUE: UpdateAddButton(dialog); return TRUE;
        case IDC_CONSTLIST: UpdateDeleteButton(dialog); return TRUE;
        case IDC_ADDCONST: AddConstantEntry(dialog); return TRUE;
        case IDC_DELCONST:
            DeleteConstantEntry(dialog);
            UpdateDeleteButton(dialog);
            return TRUE;
        case IDC_HELPBUTTON: WinHelpA(dialog, HelpFile, HELP_FINDER, 0); return TRUE;
        case IDC_ABOUTBUTTON:
            DialogBoxParamA(AppInstance, "ABOUTDLG", dialog, AboutDlgProc, 0);
            return TRUE;
        case IDOK: OnSettingsOk(dialog); return TRUE;
        case IDCANCEL: OnSettingsCancel(dialog); return TRUE;
        case IDC_END: OnEndProgram(dialog); return TRUE;
        default: return FALSE;
    }
}

INT_PTR OnSettingsHelp(HWND dialog, const HELPINFO* info) {
    DWORD context = HELP_SETTINGSDEFAULT;
    for (const HelpContext& entry : HelpContexts) {
        if (entry.control == info->iCtrlId) context = entry.context;
    }
    WinHelpA(dialog, HelpFile, HELP_CONTEXT, context);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return OnInitSettings(dialog);
        // The command id is a 16-bit word; "Hexadeci&mal" (-1) never commands.
        case WM_COMMAND: return OnSettingsCommand(dialog, LOWORD(wParam));
        case WM_HELP: return OnSettingsHelp(dialog, reinterpret_cast<const HELPINFO*>(lParam));
        case WM_CLOSE:
            // Closing through the title bar commits, as OK does.
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
            return TRUE;
        case WM_DESTROY:
        case WM_ENDSESSION: SettingsDialogOpen = 0; return FALSE;
        default: return FALSE;
    }
}
