// The constants group of the Settings dialog: the list of entries NAME=TEXT
// and the add and delete operations with their questions.
#include "settings/constants_edit.h"

#include <cstdio>
#include <cstring>

#include "res/resource.h"
#include "settings/constants.h"

namespace {

// The longest entry the list can hold: an 8-character name, "=", 40 characters
// of value text.
constexpr int EntrySize = ConstNameSize + ConstTextSize;

// A typed name goes through 8 bytes and a typed value through 40, so at most
// 7 and 39 characters reach the list.
constexpr int TypedNameSize = 8;
constexpr int TypedValueSize = 40;

// Reads entry index of the list; false when the list has no such entry or
// it does not fit (neither happens to entries this dialog made).
bool ReadEntry(HWND list, int index, char* entry) {
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR || length >= EntrySize) return false;
    return SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(entry)) != LB_ERR;
}

void ShowIllegalName(HWND dialog, TypedName check) {
    const char* text = check == TypedName::BeginsWithDigit
                           ? "A constant name cannot begin with numbers(0-9)."
                           : "A constant name cannot contain characters other than "
                             "alphabets(A-Z),numbers(0-9) and '_'.";
    MessageBoxA(dialog, text, "ZARL-Illegal constant name", MB_OK | MB_ICONHAND);
}

// Asks whether the listed definition of the same name may be replaced, and
// removes it when the answer is OK.
bool ReplaceExistingEntry(HWND dialog, HWND list, const char* name) {
    char prefix[TypedNameSize + 1];
    std::snprintf(prefix, sizeof prefix, "%s=", name);
    LRESULT found = SendMessageA(list, LB_FINDSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(prefix));
    if (found == LB_ERR) return true;
    char entry[EntrySize] = "";
    ReadEntry(list, int(found), entry);
    char question[EntrySize + 64];
    std::snprintf(question, sizeof question,
                  "A constant definition\n%s\nexists in the list.\nDo you want to replace it?",
                  entry);
    if (MessageBoxA(dialog, question, "ZARL", MB_OKCANCEL | MB_ICONQUESTION) != IDOK) return false;
    SendMessageA(list, LB_DELETESTRING, found, 0);
    return true;
}

}  // namespace

void ListConstants(HWND list) {
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    char entry[EntrySize];
    for (int i = 0; i < ConstCount; i++) {
        std::snprintf(entry, sizeof entry, "%s=%s", ConstName[i], ConstText[i]);
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    }
}

void AddConstantEntry(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_CONSTLIST);
    if (SendMessageA(list, LB_GETCOUNT, 0, 0) >= MaxConstants) {
        MessageBoxA(dialog, "No more constants can be added.", "ZARL-Too many constants",
                    MB_OK | MB_ICONHAND);
        return;
    }
    char name[TypedNameSize] = "";
    GetDlgItemTextA(dialog, IDC_CONSTNAME, name, sizeof name);
    TypedName check = CheckTypedConstantName(name);
    if (check == TypedName::BeginsWithDigit || check == TypedName::IllegalCharacter) {
        ShowIllegalName(dialog, check);
        return;
    }
    if (check == TypedName::Empty) return;
    if (!ReplaceExistingEntry(dialog, list, name)) return;

    char value[TypedValueSize] = "";
    GetDlgItemTextA(dialog, IDC_CONSTVALUE, value, sizeof value);
    UpperCaseAscii(value);
    char entry[EntrySize];
    std::snprintf(entry, sizeof entry, "%s=%s", name, value);
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
}

void DeleteConstantEntry(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_CONSTLIST);
    LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR) return;
    char entry[EntrySize] = "";
    ReadEntry(list, int(selected), entry);
    char question[EntrySize + 64];
    std::snprintf(question, sizeof question, "The constant\n%s\nwill be deleted.\nAre you sure?",
                  entry);
    if (MessageBoxA(dialog, question, "ZARL", MB_OKCANCEL | MB_ICONQUESTION) != IDOK) return;
    SendMessageA(list, LB_DELETESTRING, selected, 0);
}

void CommitConstantList(HWND list) {
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (count == LB_ERR) return;  // no list: the table stays as it was
    if (count > MaxConstants) count = MaxConstants;
    ConstCount = 0;
    char entry[EntrySize];
    for (int i = 0; i < int(count); i++) {
        if (!ReadEntry(list, i, entry)) entry[0] = '\0';
        SetConstantFromEntry(i, entry);
        ConstCount = i + 1;
    }
}
