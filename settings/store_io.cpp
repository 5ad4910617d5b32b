// The key chains down to the Settings and Constants keys, and the registry and
// INI reads and writes. Every open is a short open, read or write, close: no
// key stays open between operations.
#include "settings/store_io.h"

#include <cstdio>
#include <cstring>

#include "settings/persistence.h"
#include "settings/settings_codec.h"

namespace {

// The handles of one chain, outermost first; NULL where not open.
struct KeyChain {
    HKEY step[StoreChainDepth];
};

KeyChain SettingsChain;
KeyChain ConstantsChain;

// Opens each step below the one before with RegCreateKeyExA, which creates a
// missing key. A step that fails leaves its handle NULL and the later steps
// are not tried; the handles got so far stay for the close.
int OpenChain(KeyChain& chain, const char* leaf) {
    const char* names[StoreChainDepth] = {StoreSoftwareKey, StoreMakerKey, StoreProgramKey, leaf};
    char noClass[] = "";
    HKEY parent = HKEY_CURRENT_USER;
    for (int i = 0; i < StoreChainDepth; i++) {
        HKEY child = nullptr;
        DWORD disposition;
        LONG result = RegCreateKeyExA(parent, names[i], 0, noClass, REG_OPTION_NON_VOLATILE,
                                      KEY_ALL_ACCESS, nullptr, &child, &disposition);
        if (result != ERROR_SUCCESS) return 0;
        chain.step[i] = child;
        parent = child;
    }
    return 1;
}

// Closes innermost first, then the root. Closing HKEY_CURRENT_USER only drops
// the process's cached handle of it; the system opens it again on next use.
void CloseChain(KeyChain& chain) {
    for (int i = StoreChainDepth - 1; i >= 0; i--) {
        if (chain.step[i] != nullptr) {
            RegCloseKey(chain.step[i]);
            chain.step[i] = nullptr;
        }
    }
    RegCloseKey(HKEY_CURRENT_USER);
}

}  // namespace

int OpenSettingsKey() {
    return OpenChain(SettingsChain, SettingsLeafKey);
}

void CloseSettingsKey() {
    CloseChain(SettingsChain);
}

int OpenConstantsKey() {
    return OpenChain(ConstantsChain, ConstantsLeafKey);
}

void CloseConstantsKey() {
    CloseChain(ConstantsChain);
}

HKEY SettingsKeyHandle() {
    return SettingsChain.step[StoreChainDepth - 1];
}

HKEY ConstantsKeyHandle() {
    return ConstantsChain.step[StoreChainDepth - 1];
}

bool ReadRegTextInto(HKEY key, const char* name, char* text, DWORD size) {
    text[0] = '\0';
    if (key == nullptr) return false;
    DWORD got = size;
    LONG result =
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &got);
    if (result != ERROR_SUCCESS) {
        // A value too large for the buffer may have been copied in part.
        text[0] = '\0';
        return false;
    }
    // A value stored without its NUL (by another program, or a number read
    // as text) ends at the bytes it has.
    text[got < size ? got : size] = '\0';
    return true;
}

bool ReadRegDword(HKEY key, const char* name, DWORD* value) {
    if (key == nullptr) return false;
    BYTE bytes[4] = {0, 0, 0, 0};
    DWORD got = sizeof bytes;
    if (RegQueryValueExA(key, name, nullptr, nullptr, bytes, &got) != ERROR_SUCCESS) return false;
    *value = DWORD(bytes[0]) | DWORD(bytes[1]) << 8 | DWORD(bytes[2]) << 16 | DWORD(bytes[3]) << 24;
    return true;
}

void WriteRegText(HKEY key, const char* name, const char* text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   DWORD(std::strlen(text) + 1));
}

void WriteRegDword(HKEY key, const char* name, DWORD value) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

DWORD ReadIniText(const char* section, const char* key, const char* deflt, char* text, DWORD size) {
    DWORD got = GetPrivateProfileStringA(section, key, deflt, text, size, IniFileName);
    if (got >= size) got = size - 1;
    text[got] = '\0';
    return got;
}

int ReadIniInt(const char* section, const char* key, int deflt) {
    return static_cast<int>(GetPrivateProfileIntA(section, key, deflt, IniFileName));
}

void WriteIniText(const char* section, const char* key, const char* text) {
    WritePrivateProfileStringA(section, key, text, IniFileName);
}

void WriteIniInt(const char* section, const char* key, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    WriteIniText(section, key, text);
}

void DeleteIniSection(const char* section) {
    WritePrivateProfileStringA(section, nullptr, nullptr, IniFileName);
}

void FlushIniCache() {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, IniFileName);
}
