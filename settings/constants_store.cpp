// Storage of the user constant table. Registry: one REG_SZ per constant under
// the Constants key, named by the constant, holding its value text. INI file:
// keys C0, C1, ... of section "CONSTANTS", without gaps, each "NAME,TEXT".
// Every save rewrites the whole stored table; every load replaces the table.
#include <cstring>

#include "settings/constants.h"
#include "settings/persistence.h"
#include "settings/settings_codec.h"
#include "settings/store_io.h"

namespace {

enum class Enumerated { Constant, PassedOver, End };

// Reads the value at index into a constant's name and value text.
Enumerated EnumerateConstant(HKEY key, DWORD index, char* name, char* text) {
    char data[RegConstDataSize];
    DWORD nameLength = RegConstNameSize;
    DWORD dataSize = sizeof data;
    LONG result = RegEnumValueA(key, index, name, &nameLength, nullptr, nullptr,
                                reinterpret_cast<BYTE*>(data), &dataSize);
    // A value the program did not write, with a name over 8 characters or
    // data over 80 bytes, does not fit: it is passed over, not taken as the
    // end, so that the constants enumerated after it still load.
    if (result == ERROR_MORE_DATA) return Enumerated::PassedOver;
    if (result != ERROR_SUCCESS) return Enumerated::End;
    name[nameLength < DWORD(RegConstNameSize) ? nameLength : RegConstNameSize - 1] = '\0';
    RegistryConstantText(data, dataSize < sizeof data ? dataSize : sizeof data, text);
    return Enumerated::Constant;
}

// Fills the table from the values of key until it holds MaxConstants. A key
// with more values (put there by hand) loads its first MaxConstants that fit;
// the rest are not read, and the next save, which stores exactly the table,
// drops them.
void ReadConstantValues(HKEY key) {
    char name[RegConstNameSize];
    char text[ConstTextSize];
    for (DWORD index = 0; ConstCount < MaxConstants; index++) {
        Enumerated got = EnumerateConstant(key, index, name, text);
        if (got == Enumerated::End) break;
        if (got == Enumerated::Constant) AppendConstant(name, text);
    }
}

// The longest value name the registry allows (16,383 characters), in ANSI
// bytes of up to two per character, and its NUL.
constexpr DWORD AnyValueNameSize = 2 * 16383 + 1;

// Deletes every value of key, also values the program did not write, whose
// names may be of any length. Deleting index 0 until none is left; a value
// that cannot be named or deleted is stepped over, so the loop always ends.
void RemoveAllValues(HKEY key) {
    static char name[AnyValueNameSize];
    DWORD index = 0;
    for (;;) {
        DWORD length = AnyValueNameSize;
        LONG result = RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA) {
            index++;
        } else if (result != ERROR_SUCCESS) {
            break;
        } else if (RegDeleteValueA(key, name) != ERROR_SUCCESS) {
            index++;
        }
    }
}

// A table imported from a hand-made INI file may hold a name twice; the
// first one is the one expressions find. The registry can hold a name only
// once, and writing both would leave the later value in place of the one in
// use, so only the first is stored.
void WriteConstantValues(HKEY key) {
    for (int i = 0; i < ConstCount; i++) {
        if (FindConstant(ConstName[i]) != i) continue;
        WriteRegText(key, ConstName[i], ConstText[i]);
    }
}

}  // namespace

void LoadConstantsFromRegistry() {
    ConstCount = 0;
    if (OpenConstantsKey()) ReadConstantValues(ConstantsKeyHandle());
    CloseConstantsKey();
}

void LoadConstantsFromIni() {
    ConstCount = 0;
    for (int slot = 0; slot < MaxConstants; slot++) {
        char key[IniConstKeySize];
        char entry[IniConstEntrySize];
        IniConstantKey(slot, key);
        // The first key that is missing or empty ends the table.
        if (ReadIniText(IniConstantsSection, key, "", entry, sizeof entry) == 0) break;
        AppendConstant(entry, IniConstantValueText(entry));
    }
}

void SaveConstantsToRegistry() {
    if (OpenConstantsKey()) {
        RemoveAllValues(ConstantsKeyHandle());
        WriteConstantValues(ConstantsKeyHandle());
    }
    CloseConstantsKey();
}

void WriteConstantsToIni() {
    DeleteIniSection(IniConstantsSection);
    for (int slot = 0; slot < ConstCount; slot++) {
        char key[IniConstKeySize];
        char entry[ConstEntrySize];
        IniConstantKey(slot, key);
        IniConstantEntry(ConstName[slot], ConstText[slot], entry);
        WriteIniText(IniConstantsSection, key, entry);
    }
}
