// The stored form of the settings and the user constants: where they are
// stored, the name of every stored key, the buffer each stored text is read
// into, and the rules that turn a stored text or number into a field and a
// field into its stored text. Portable (no platform headers), so that the
// rules are tested in every build; the registry and INI calls wrap them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/constants.h"

// Where: HKEY_CURRENT_USER\Software\Brenmoor\ZARL\{Settings,Constants}, and
// the file ZARL.INI, which the profile functions resolve to the Windows
// directory because it is given without a path.
constexpr int StoreChainDepth = 4;  // Software, Brenmoor, ZARL, then the leaf
constexpr char StoreSoftwareKey[] = "Software";
constexpr char StoreMakerKey[] = "Brenmoor";
constexpr char StoreProgramKey[] = "ZARL";
constexpr char SettingsLeafKey[] = "Settings";
constexpr char ConstantsLeafKey[] = "Constants";
constexpr char IniFileName[] = "ZARL.INI";
constexpr char IniSettingsSection[] = "ZARL";
constexpr char IniConstantsSection[] = "CONSTANTS";

// The stored key of each field: the value name under the Settings key and the
// key name in the INI section, which are the same but for InsThousandSep.
constexpr char KeyVersion[] = "Version";  // the program's version, not a field
constexpr char KeyEvalKey[] = "EvalKey";
constexpr char KeyEvalKeyPosition[] = "EvalKeyPosition";
constexpr char KeyDelay[] = "Delay";
constexpr char KeyAngleUnit[] = "AngleUnit";
constexpr char KeyOutFormatSign[] = "OutFormatSign";
constexpr char KeyOutFormatType[] = "OutFormatType";
constexpr char KeyOutFormatPrecision[] = "OutFormatPrecision";
constexpr char KeyInsThousandSep[] = "InsThousandSep";  // registry only
constexpr char IniKeyInsComma[] = "InsComma";           // InsThousandSep in the INI file
constexpr char KeyShiftJIS[] = "ShiftJIS";
constexpr char KeyHexadecimalForm[] = "HexadecimalForm";
constexpr char KeyNoCopy[] = "NoCopy";
constexpr char KeyAttachResToImd[] = "AttachResToImd";
constexpr char KeyShowResultWindow[] = "ShowResultWindow";
constexpr char KeyShowImdWindow[] = "ShowImdWindow";
constexpr char KeyResultWindowFloat[] = "ResultWindowFloat";
constexpr char KeyImdWindowFloat[] = "ImdWindowFloat";
constexpr char KeyWriteIni[] = "WriteIni";  // written to the registry, never read
constexpr char KeyResultWindowPosX[] = "ResultWindowPosX";
constexpr char KeyResultWindowPosY[] = "ResultWindowPosY";
constexpr char KeyImdWindowPosX[] = "ImdWindowPosX";
constexpr char KeyImdWindowPosY[] = "ImdWindowPosY";

// The stored texts.
constexpr char TextYes[] = "Yes";
constexpr char TextNo[] = "No";
constexpr char TextPrefix[] = "PREFIX";
constexpr char TextSuffix[] = "SUFFIX";
constexpr char TextDegrees[] = "Deg";
constexpr char TextRadians[] = "Rad";
constexpr char TextSigned[] = "SIGNED";
constexpr char TextComplement8[] = "COMPLEMENT_8BIT";
constexpr char TextComplement16[] = "COMPLEMENT_16BIT";
constexpr char TextComplement32[] = "COMPLEMENT_32BIT";

// Buffer sizes on reading, terminating NUL included; they bound what can
// match. A registry value larger than its buffer counts as missing, an INI
// text longer than its buffer arrives cut to fit.
constexpr int RegVersionSize = 16;    // "Version" in the registry
constexpr int RegTextSize = 16;       // registry texts, but for the two below
constexpr int RegLongTextSize = 32;   // "HexadecimalForm" and "OutFormatType"
constexpr int IniShortTextSize = 10;  // "EvalKey", "EvalKeyPosition" and the three
                                      // window flags that default to "No"
constexpr int IniTextSize = 32;       // the other INI texts
constexpr int IniVersionSize = 10;
constexpr char NoVersion[] = "0.00";  // what an absent INI version reads as

// Fallbacks of the numbers when their stored value is missing.
constexpr int MissingPrecision = 15;   // either store
constexpr int MissingResultPosX = 10;  // the registry; the INI file keeps the
constexpr int MissingResultPosY = 60;  // current position instead
constexpr int MissingImdPosX = 10;
constexpr int MissingImdPosY = 10;

// Constants: a registry value is enumerated into a name buffer of 8
// characters and NUL and a data buffer of 81 bytes; an INI entry "NAME,TEXT"
// is read into 256 bytes and written from ConstEntrySize.
constexpr int RegConstNameSize = ConstNameSize;  // in characters, NUL included
constexpr int RegConstDataSize = 81;
constexpr int IniConstEntrySize = 256;
constexpr int ConstEntrySize = ConstNameSize + ConstTextSize;  // name "," text NUL
constexpr int IniConstKeySize = 16;                            // "C" and the slot number

// Flags: exactly "Yes" is 1, any other text (letter case counts) is 0;
// written as "Yes" for any nonzero value, else "No".
int FlagFromText(const char* text);
const char* FlagText(int flag);

// EvalKey: the first character when it is one of EvalKeyChoices, else "=".
// Written as a text of that one character into out (2 bytes).
char EvalKeyFromText(const char* text);
void EvalKeyText(char key, char* out);

// EvalKeyPosition: exactly "PREFIX" is KeyPrefix, anything else KeySuffix;
// written as "PREFIX" for KeyPrefix, "SUFFIX" for any other value.
int EvalKeyPositionFromText(const char* text);
const char* EvalKeyPositionText(int position);

// AngleUnit: exactly "Deg" is AngleDegrees, anything else AngleRadians;
// written as "Deg" for AngleDegrees, else "Rad".
int AngleUnitFromText(const char* text);
const char* AngleUnitText(int unit);

// OutFormatSign: exactly "+" stays "+", anything else becomes "-".
// OutFormatType: one of "g", "G", "e", "E", "f" stays, anything else becomes
// "g". Both return a constant text, never text itself, so the caller may copy
// the result over the field it read from.
const char* OutFormatSignFromText(const char* text);
const char* OutFormatTypeFromText(const char* text);

// HexadecimalForm: the three complement texts give HexComplement8/16/32,
// anything else HexSigned; written as those texts, and "SIGNED" for any other
// value.
int HexadecimalFormFromText(const char* text);
const char* HexadecimalFormText(int form);

// Delay from the registry's number: the largest offered delay (0, 1, 10,
// 100) not above it. From the INI file's number: its low 16 bits.
unsigned short DelayFromRegistry(uint32_t stored);
unsigned short DelayFromIni(int number);

// OutFormatPrecision from the registry's number, taken unsigned: above 15
// gives 15. From the INI file's number: limited to 0..15.
int PrecisionFromRegistry(uint32_t stored);
int PrecisionFromIni(int number);

// The INI file is imported when its version text reads (as by atof) as 2.0 or
// more; older, absent or unreadable versions are ignored.
bool IniVersionIsImported(const char* text);

// The INI key of constant slot n: "C" followed by n in decimal. out holds
// IniConstKeySize bytes.
void IniConstantKey(int slot, char* out);

// The INI entry of a constant, name "," text, into out (ConstEntrySize bytes).
void IniConstantEntry(const char* name, const char* text, char* out);

// The value text of an INI entry: it starts one separator character after
// the stored name (the name scan's at most 8 characters, whatever the entry
// holds beyond them). An entry too short to hold a separator and one
// character, or a value text over ConstTextSize - 1 characters, gives "".
const char* IniConstantValueText(const char* entry);

// The value text of enumerated registry data of size bytes: the first
// ConstTextSize - 1 characters, fewer when a NUL or the end of the data comes
// first. Never reads beyond size bytes; out holds ConstTextSize bytes.
void RegistryConstantText(const char* data, size_t size, char* out);
