// Loading and saving the settings record: the registry as the store of
// record, ZARL.INI as the import source of a first start and, while WriteIni
// is on, as an export. The read rules and stored texts are the codec's; this
// file decides what is read or written, in which order, from which store.
#include "settings/persistence.h"

#include <cstdint>
#include <cstring>

#include "eval/format.h"
#include "settings/settings.h"
#include "settings/settings_codec.h"
#include "settings/store_io.h"

namespace {

// ---- Registry reads. A missing or oversized value reads as "", which every
// text rule maps to the field's fallback.

int RegFlag(HKEY key, const char* name) {
    RegText<RegTextSize> value;
    ReadRegText(key, name, value);
    return FlagFromText(value.text);
}

int RegPosition(HKEY key, const char* name, int missing) {
    DWORD value;
    if (!ReadRegDword(key, name, &value)) return missing;
    return static_cast<int>(static_cast<int32_t>(value));
}

void LoadKeyAndAngleFromRegistry(HKEY key) {
    RegText<RegTextSize> text;
    ReadRegText(key, KeyEvalKey, text);
    Settings.EvalKey = EvalKeyFromText(text.text);
    ReadRegText(key, KeyEvalKeyPosition, text);
    Settings.EvalKeyPosition = EvalKeyPositionFromText(text.text);
    DWORD delay;
    Settings.Delay = ReadRegDword(key, KeyDelay, &delay) ? DelayFromRegistry(delay) : 0;
    ReadRegText(key, KeyAngleUnit, text);
    SetAngleUnit(AngleUnitFromText(text.text));
}

void LoadCycleFlagsFromRegistry(HKEY key) {
    Settings.InsThousandSep = RegFlag(key, KeyInsThousandSep);
    Settings.ShiftJIS = RegFlag(key, KeyShiftJIS);
    RegText<RegLongTextSize> form;
    ReadRegText(key, KeyHexadecimalForm, form);
    Settings.HexadecimalForm = HexadecimalFormFromText(form.text);
    Settings.NoCopy = RegFlag(key, KeyNoCopy);
}

void LoadWindowFlagsFromRegistry(HKEY key) {
    Settings.AttachResToImd = RegFlag(key, KeyAttachResToImd);
    Settings.ShowResultWindow = RegFlag(key, KeyShowResultWindow);
    Settings.ShowImdWindow = RegFlag(key, KeyShowImdWindow);
    Settings.ResultWindowFloat = RegFlag(key, KeyResultWindowFloat);
    Settings.ImdWindowFloat = RegFlag(key, KeyImdWindowFloat);
}

void LoadOutFormatFromRegistry(HKEY key) {
    RegText<RegTextSize> sign;
    ReadRegText(key, KeyOutFormatSign, sign);
    std::strcpy(Settings.OutFormatSign, OutFormatSignFromText(sign.text));
    RegText<RegLongTextSize> type;
    ReadRegText(key, KeyOutFormatType, type);
    std::strcpy(Settings.OutFormatType, OutFormatTypeFromText(type.text));
    DWORD precision;
    Settings.OutFormatPrecision = ReadRegDword(key, KeyOutFormatPrecision, &precision)
                                      ? PrecisionFromRegistry(precision)
                                      : MissingPrecision;
}

// Both position loads: a key that cannot be opened reads as all missing.
void LoadWindowPos(const char* nameX, const char* nameY, int missingX, int missingY, int* x,
                   int* y) {
    HKEY key = OpenSettingsKey() ? SettingsKeyHandle() : nullptr;
    *x = RegPosition(key, nameX, missingX);
    *y = RegPosition(key, nameY, missingY);
    CloseSettingsKey();
}

bool RegistryHoldsSettings() {
    // Only the presence of "Version" counts, not what it says.
    RegText<RegVersionSize> version;
    bool found = OpenSettingsKey() && ReadRegText(SettingsKeyHandle(), KeyVersion, version);
    CloseSettingsKey();
    return found;
}

// ---- Registry writes

void WriteOptionsToRegistry(HKEY key) {
    char evalKey[2];
    EvalKeyText(Settings.EvalKey, evalKey);
    WriteRegText(key, KeyVersion, ProgramVersion);
    WriteRegText(key, KeyEvalKey, evalKey);
    WriteRegText(key, KeyEvalKeyPosition, EvalKeyPositionText(Settings.EvalKeyPosition));
    WriteRegDword(key, KeyDelay, Settings.Delay);
    WriteRegText(key, KeyAngleUnit, AngleUnitText(Settings.AngleUnit));
    WriteRegText(key, KeyOutFormatSign, Settings.OutFormatSign);
    WriteRegText(key, KeyOutFormatType, Settings.OutFormatType);
    WriteRegDword(key, KeyOutFormatPrecision, static_cast<DWORD>(Settings.OutFormatPrecision));
}

void WriteFlagsToRegistry(HKEY key) {
    WriteRegText(key, KeyInsThousandSep, FlagText(Settings.InsThousandSep));
    WriteRegText(key, KeyShiftJIS, FlagText(Settings.ShiftJIS));
    WriteRegText(key, KeyHexadecimalForm, HexadecimalFormText(Settings.HexadecimalForm));
    WriteRegText(key, KeyNoCopy, FlagText(Settings.NoCopy));
    WriteRegText(key, KeyAttachResToImd, FlagText(Settings.AttachResToImd));
    WriteRegText(key, KeyShowResultWindow, FlagText(Settings.ShowResultWindow));
    WriteRegText(key, KeyShowImdWindow, FlagText(Settings.ShowImdWindow));
    WriteRegText(key, KeyResultWindowFloat, FlagText(Settings.ResultWindowFloat));
    WriteRegText(key, KeyImdWindowFloat, FlagText(Settings.ImdWindowFloat));
    WriteRegText(key, KeyWriteIni, FlagText(Settings.WriteIni));
}

// Both position saves: the registry, then the INI file while exporting.
void SaveWindowPos(const char* nameX, const char* nameY, int x, int y) {
    if (OpenSettingsKey()) {
        WriteRegDword(SettingsKeyHandle(), nameX, static_cast<DWORD>(x));
        WriteRegDword(SettingsKeyHandle(), nameY, static_cast<DWORD>(y));
    }
    CloseSettingsKey();
    if (Settings.WriteIni) {
        WriteIniInt(IniSettingsSection, nameX, x);
        WriteIniInt(IniSettingsSection, nameY, y);
    }
}

// ---- INI reads and writes, all in section "ZARL"

// Reads key into text (size bytes at most IniTextSize).
void IniText(const char* key, const char* deflt, char* text, DWORD size) {
    ReadIniText(IniSettingsSection, key, deflt, text, size);
}

int IniFlag(const char* key, const char* deflt, DWORD size) {
    char text[IniTextSize];
    IniText(key, deflt, text, size);
    return FlagFromText(text);
}

int IniInt(const char* key, int deflt) {
    return ReadIniInt(IniSettingsSection, key, deflt);
}

void SetIni(const char* key, const char* text) {
    WriteIniText(IniSettingsSection, key, text);
}

void LoadKeyAndDelayFromIni() {
    char text[IniShortTextSize];
    IniText(KeyEvalKey, "=", text, sizeof text);
    Settings.EvalKey = EvalKeyFromText(text);
    IniText(KeyEvalKeyPosition, TextSuffix, text, sizeof text);
    Settings.EvalKeyPosition = EvalKeyPositionFromText(text);
    Settings.Delay = DelayFromIni(IniInt(KeyDelay, 0));
    if (Settings.Delay == 0) SetIni(KeyDelay, "0");
}

void LoadCycleOptionsFromIni() {
    char text[IniTextSize];
    IniText(KeyAngleUnit, "", text, sizeof text);
    SetAngleUnit(AngleUnitFromText(text));
    Settings.InsThousandSep = IniFlag(IniKeyInsComma, "", IniTextSize);
    Settings.ShiftJIS = IniFlag(KeyShiftJIS, "", IniTextSize);
    IniText(KeyHexadecimalForm, "", text, sizeof text);
    Settings.HexadecimalForm = HexadecimalFormFromText(text);
    Settings.NoCopy = IniFlag(KeyNoCopy, "", IniTextSize);
}

void LoadWindowFlagsFromIni() {
    Settings.AttachResToImd = IniFlag(KeyAttachResToImd, TextNo, IniShortTextSize);
    Settings.ShowResultWindow = IniFlag(KeyShowResultWindow, TextNo, IniShortTextSize);
    Settings.ShowImdWindow = IniFlag(KeyShowImdWindow, TextNo, IniShortTextSize);
    Settings.ResultWindowFloat = IniFlag(KeyResultWindowFloat, "", IniTextSize);
    Settings.ImdWindowFloat = IniFlag(KeyImdWindowFloat, "", IniTextSize);
}

// The two texts are read straight into their fields, then checked; the
// codec returns constant texts, so copying over the field is safe.
void LoadOutFormatFromIni() {
    IniText(KeyOutFormatSign, "-", Settings.OutFormatSign, sizeof Settings.OutFormatSign);
    std::strcpy(Settings.OutFormatSign, OutFormatSignFromText(Settings.OutFormatSign));
    IniText(KeyOutFormatType, "g", Settings.OutFormatType, sizeof Settings.OutFormatType);
    std::strcpy(Settings.OutFormatType, OutFormatTypeFromText(Settings.OutFormatType));
    Settings.OutFormatPrecision = PrecisionFromIni(IniInt(KeyOutFormatPrecision, MissingPrecision));
}

// A missing INI position keeps the current one.
void LoadPositionsFromIni() {
    Settings.ResultWindowPosX = IniInt(KeyResultWindowPosX, Settings.ResultWindowPosX);
    Settings.ResultWindowPosY = IniInt(KeyResultWindowPosY, Settings.ResultWindowPosY);
    Settings.ImdWindowPosX = IniInt(KeyImdWindowPosX, Settings.ImdWindowPosX);
    Settings.ImdWindowPosY = IniInt(KeyImdWindowPosY, Settings.ImdWindowPosY);
}

// A first start imports an INI file of version 2.0 or later; an older one,
// or none, leaves the defaults.
void ImportIniFile() {
    char version[IniVersionSize];
    IniText(KeyVersion, NoVersion, version, sizeof version);
    if (!IniVersionIsImported(version)) return;
    LoadSettingsFromIni();
    LoadPositionsFromIni();
}

void WriteOptionsToIni() {
    char evalKey[2];
    EvalKeyText(Settings.EvalKey, evalKey);
    SetIni(KeyVersion, ProgramVersion);
    WriteIniInt(IniSettingsSection, KeyDelay, Settings.Delay);
    SetIni(KeyEvalKey, evalKey);
    SetIni(KeyEvalKeyPosition, EvalKeyPositionText(Settings.EvalKeyPosition));
    SetIni(KeyAngleUnit, AngleUnitText(Settings.AngleUnit));
    SetIni(KeyOutFormatSign, Settings.OutFormatSign);
    SetIni(KeyOutFormatType, Settings.OutFormatType);
    WriteIniInt(IniSettingsSection, KeyOutFormatPrecision, Settings.OutFormatPrecision);
}

void WriteFlagsToIni() {
    SetIni(IniKeyInsComma, FlagText(Settings.InsThousandSep));
    SetIni(KeyShiftJIS, FlagText(Settings.ShiftJIS));
    SetIni(KeyHexadecimalForm, HexadecimalFormText(Settings.HexadecimalForm));
    SetIni(KeyNoCopy, FlagText(Settings.NoCopy));
    SetIni(KeyAttachResToImd, FlagText(Settings.AttachResToImd));
    SetIni(KeyShowResultWindow, FlagText(Settings.ShowResultWindow));
    SetIni(KeyShowImdWindow, FlagText(Settings.ShowImdWindow));
    SetIni(KeyResultWindowFloat, FlagText(Settings.ResultWindowFloat));
    SetIni(KeyImdWindowFloat, FlagText(Settings.ImdWindowFloat));
}

void RebuildOutFormat() {
    BuildOutFormat(Settings.OutFormatSign, Settings.OutFormatType, Settings.OutFormatPrecision);
}

}  // namespace

void LoadSettings() {
    if (RegistryHoldsSettings()) {
        LoadSettingsFromRegistry();
        LoadResultWindowPos();
        LoadImdWindowPos();
    } else {
        ImportIniFile();
    }
    // Every start rewrites the registry: a first start creates the keys, an
    // import copies the INI file's content into them.
    SaveSettings();
    SaveResultWindowPos();
    SaveImdWindowPos();
}

// WriteIni is never loaded: every run starts with the export off.
void LoadSettingsFromRegistry() {
    HKEY key = OpenSettingsKey() ? SettingsKeyHandle() : nullptr;
    LoadKeyAndAngleFromRegistry(key);
    LoadCycleFlagsFromRegistry(key);
    LoadWindowFlagsFromRegistry(key);
    LoadOutFormatFromRegistry(key);
    RebuildOutFormat();
    CloseSettingsKey();
    LoadConstantsFromRegistry();
}

void LoadSettingsFromIni() {
    FlushIniCache();
    LoadKeyAndDelayFromIni();
    LoadCycleOptionsFromIni();
    LoadWindowFlagsFromIni();
    LoadOutFormatFromIni();
    RebuildOutFormat();
    LoadConstantsFromIni();
}

void LoadResultWindowPos() {
    LoadWindowPos(KeyResultWindowPosX, KeyResultWindowPosY, MissingResultPosX, MissingResultPosY,
                  &Settings.ResultWindowPosX, &Settings.ResultWindowPosY);
}

void LoadImdWindowPos() {
    LoadWindowPos(KeyImdWindowPosX, KeyImdWindowPosY, MissingImdPosX, MissingImdPosY,
                  &Settings.ImdWindowPosX, &Settings.ImdWindowPosY);
}

void SaveSettings() {
    if (OpenSettingsKey()) {
        WriteOptionsToRegistry(SettingsKeyHandle());
        WriteFlagsToRegistry(SettingsKeyHandle());
    }
    CloseSettingsKey();
    SaveConstantsToRegistry();
    if (Settings.WriteIni) WriteIniFile();
}

void SaveResultWindowPos() {
    SaveWindowPos(KeyResultWindowPosX, KeyResultWindowPosY, Settings.ResultWindowPosX,
                  Settings.ResultWindowPosY);
}

void SaveImdWindowPos() {
    SaveWindowPos(KeyImdWindowPosX, KeyImdWindowPosY, Settings.ImdWindowPosX,
                  Settings.ImdWindowPosY);
}

// The positions are not written here but by the position saves.
void WriteIniFile() {
    WriteOptionsToIni();
    WriteFlagsToIni();
    WriteConstantsToIni();
}
