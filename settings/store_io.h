// The registry and INI primitives under the settings and constants storage:
// the open leaf keys, and reads and writes that never leave a buffer
// unterminated or read past it. Windows only; used by persistence.cpp and
// constants_store.cpp.
#pragma once

#include <windows.h>

// The leaf key between OpenSettingsKey (OpenConstantsKey) and its close; NULL
// when it is not open.
HKEY SettingsKeyHandle();
HKEY ConstantsKeyHandle();

// A registry text read with the buffer size its stored form allows (Size
// bytes, as the registry is told), plus one byte of our own so that a value
// stored without its terminating NUL still ends in one.
template <int Size>
struct RegText {
    char text[Size + 1];
};

// Reads value name of key into text, of which the registry is told size
// bytes; text holds size + 1. Returns true on success. On any failure (no
// key, no value, a value larger than size bytes) text is "", so that every
// read rule sees a missing value as an empty text. The value's type is not
// checked: a number reads as its bytes.
bool ReadRegTextInto(HKEY key, const char* name, char* text, DWORD size);

template <int Size>
bool ReadRegText(HKEY key, const char* name, RegText<Size>& value) {
    return ReadRegTextInto(key, name, value.text, Size);
}

// Reads a 4-byte number. A value of fewer bytes reads as those bytes with
// zeros above (little-endian); a larger one fails. Returns false on failure.
bool ReadRegDword(HKEY key, const char* name, DWORD* value);

// Writes a REG_SZ of the text and its NUL, or a REG_DWORD. Results are not
// checked: a failed write leaves the stored value as it was.
void WriteRegText(HKEY key, const char* name, const char* text);
void WriteRegDword(HKEY key, const char* name, DWORD value);

// Reads key of section from ZARL.INI into text (size bytes, NUL included),
// deflt when the key is missing; a longer text arrives cut to size - 1.
// Returns the number of characters placed.
DWORD ReadIniText(const char* section, const char* key, const char* deflt, char* text, DWORD size);

// Reads key of section as a decimal number, deflt when it is missing.
int ReadIniInt(const char* section, const char* key, int deflt);

// Writes key of section as text or as a "%d" number. Results are not checked.
void WriteIniText(const char* section, const char* key, const char* text);
void WriteIniInt(const char* section, const char* key, int value);

// Removes section and all its keys from ZARL.INI.
void DeleteIniSection(const char* section);

// Makes the next read see the file as it is on disk, not a cached copy.
void FlushIniCache();
